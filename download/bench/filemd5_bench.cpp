// Throughput of the whole-file digest as the install uses it (8 MiB chunks,
// progress after each): prints the digest and MiB/s for one file.
//   filemd5_bench FILE
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "download/file_md5.h"
#include "download/progress.h"
#include "platform/fake/fake_platform.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  mv::FakePlatform fake;
  mv::SetPlatform(&fake);
  // The fake maps drive letters onto folders of its root: put the file's
  // folder on a drive of its own.
  const std::string path = std::filesystem::absolute(argv[1]).string();
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  fake.AddDrive('B');
  const std::string link = fake.HostPath("B:\\") + "/data";
  if (std::system(("ln -sfn '" + dir + "' '" + link + "'").c_str()) != 0) return 1;
  const auto start = std::chrono::steady_clock::now();
  const std::string digest = mv::dl::FileMd5("B:\\data\\" + name, mv::dl::ShowHashProgress);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int64_t size = fake.FileSize("B:\\data\\" + name);
  std::printf("%s %.1f\n", digest.c_str(), size / 1048576.0 / s);
  mv::SetPlatform(nullptr);
  return digest.empty() ? 1 : 0;
}
