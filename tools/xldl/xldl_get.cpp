// Command-line driver of the engine over libcurl: downloads one URL into one
// file and exits 0 when the task completed. For benchmarks and for tests that
// need a download in a process of its own (to kill it mid-way).
//   xldl_get [--connections N] [--no-resume] [--progress] [--no-md5] URL FILE
// The last line says "done SIZE bytes, ..., md5 DIGEST, lag MS": the engine's
// running digest and the milliseconds from the moment the last byte was on
// disk to the moment the digest was ready (watched every millisecond).
// --no-md5 downloads without the running digest.
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
    else if (a == "--no-md5") cfg.running_md5 = false;
    else break;
  }
  if (argc - i != 2 || cfg.max_connections < 1) {
    fprintf(stderr, "usage: xldl_get [--connections N] [--no-resume] [--progress] [--no-md5] URL FILE\n");
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
  int64_t all_on_disk_ms = -1;
  const int64_t start_ms = xldl::NowMs();
  for (;;) {
    engine.QueryTask(h, &st);
    const int64_t now = xldl::NowMs();
    if (all_on_disk_ms < 0 && st.total > 0 && st.done == st.total) all_on_disk_ms = now;
    if (st.stat == xldl::kStatDone || st.stat == xldl::kStatFailed) break;
    static int64_t last_progress = 0;
    if (progress && now - last_progress >= 500) {
      last_progress = now;
      printf("progress %lld %lld %d %d\n", (long long)st.done, (long long)st.total, st.speed, st.connections);
      fflush(stdout);
    }
    xldl::SleepMs(1);
  }
  const int64_t end_ms = xldl::NowMs();
  printf("%s %lld bytes, %d requests, fail code %d, md5 %s, lag %lld\n", st.stat == xldl::kStatDone ? "done" : "failed",
         (long long)st.total, st.requests, st.fail_code, st.md5.empty() ? "-" : st.md5.c_str(),
         (long long)(end_ms - (all_on_disk_ms >= 0 ? all_on_disk_ms : start_ms)));
  return st.stat == xldl::kStatDone ? 0 : 1;
}
