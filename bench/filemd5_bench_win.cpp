// Benchmark driver, Windows builds: the program's whole-file digest (FileMd5)
// through the Win32 adapter, as the program runs it.
//   filemd5_bench.exe FILE    prints the digest and the seconds it took
//                             (wall, then CPU), exits 0 when there is a digest
#include <windows.h>

#include <cstdio>
#include <string>

#include "download/file_md5.h"
#include "platform/win32/win32_platform.h"

namespace {
double CpuSeconds() {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
  auto secs = [](const FILETIME& f) {
    return double((uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
  };
  return secs(kernel) + secs(user);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: filemd5_bench FILE\n");
    return 2;
  }
  mv::Win32Platform win;
  mv::SetPlatform(&win);
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  const double cpu0 = CpuSeconds();
  QueryPerformanceCounter(&t0);
  std::string digest = mv::dl::FileMd5(argv[1], nullptr);
  QueryPerformanceCounter(&t1);
  const double cpu = CpuSeconds() - cpu0;
  printf("%s %.3f %.3f\n", digest.c_str(), double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart), cpu);
  mv::SetPlatform(nullptr);
  return digest.empty() ? 1 : 0;
}
