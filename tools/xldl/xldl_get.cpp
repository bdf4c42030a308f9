// Command-line driver of the engine over libcurl: downloads one URL into one
// file and exits 0 when the task completed. For benchmarks and for tests that
// need a download in a process of its own (to kill it mid-way).
//   xldl_get [--connections N] [--no-resume] [--progress] URL FILE
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/xldl/engine.h"
#include "tools/xldl/records.h"
#include "tools/xldl/transport_curl.h"

int main(int argc, char** argv) {
  xldl::EngineConfig cfg = xldl::EngineConfig::FromEnvironment();
  xldl::TaskParams p;
  bool progress = false;
  int i = 1;
  for (; i < argc && strncmp(argv[i], "--", 2) == 0; ++i) {
    std::string a = argv[i];
    if (a == "--connections" && i + 1 < argc) cfg.max_connections = atoi(argv[++i]);
    else if (a == "--no-resume") p.resume = false;
    else if (a == "--progress") progress = true;
    else break;
  }
  if (argc - i != 2 || cfg.max_connections < 1) {
    fprintf(stderr, "usage: xldl_get [--connections N] [--no-resume] [--progress] URL FILE\n");
    return 2;
  }
  p.url = argv[i];
  p.path = argv[i + 1];
  xldl::Engine engine(xldl::NewCurlTransport(), cfg);
  uint32_t h = engine.CreateTask(p);
  if (!h || !engine.StartTask(h)) {
    fprintf(stderr, "xldl_get: cannot start the task\n");
    return 1;
  }
  xldl::TaskStatus st;
  for (int tick = 0;; ++tick) {
    engine.QueryTask(h, &st);
    if (st.stat == xldl::kStatDone || st.stat == xldl::kStatFailed) break;
    if (progress && tick % 50 == 0) {
      printf("progress %lld %lld %d %d\n", (long long)st.done, (long long)st.total, st.speed, st.connections);
      fflush(stdout);
    }
    xldl::SleepMs(10);
  }
  printf("%s %lld bytes, %d requests, fail code %d\n", st.stat == xldl::kStatDone ? "done" : "failed", (long long)st.total,
         st.requests, st.fail_code);
  return st.stat == xldl::kStatDone ? 0 : 1;
}
