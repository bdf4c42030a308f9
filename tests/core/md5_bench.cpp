// Prints the MD5 throughput of the core's digest against md5sum over the same
// file in the same run:  md5_bench FILE
// (not a test: speed goals are read from its figures, never asserted on).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/md5.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: md5_bench FILE\n");
    return 2;
  }
  const std::string path = argv[1];
  auto now = [] { return std::chrono::steady_clock::now(); };
  auto secs = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };

  // Interleaved rounds, best of each: the machine is shared, so single
  // timings are noisy. md5sum runs once first to warm the page cache.
  std::string cmd = "md5sum '" + path + "' >/dev/null";
  if (std::system(cmd.c_str()) != 0) return 1;
  std::vector<unsigned char> buf(1 << 20);
  double peer = 1e9, ours = 1e9;
  uint64_t total = 0;
  uint8_t d[16];
  for (int round = 0; round < 3; ++round) {
    auto t0 = now();
    if (std::system(cmd.c_str()) != 0) return 1;
    peer = std::min(peer, secs(t0, now()));

    t0 = now();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 1;
    mv::Md5 m;
    total = 0;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
      m.Update(buf.data(), n);
      total += n;
    }
    std::fclose(f);
    m.Final(d);
    ours = std::min(ours, secs(t0, now()));
  }
  const double mb = total / 1048576.0;
  std::printf("md5 %s  %.0f MB: core %.0f MB/s, md5sum %.0f MB/s, ratio %.3f\n", mv::Md5::Hex(d, false).c_str(), mb,
              mb / ours, mb / peer, peer / ours);
  return 0;
}
