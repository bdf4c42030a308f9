// Benchmark driver: the program's whole-file digest (FileMd5) over a host
// file, through the fake platform (a drive folder holding a link to it).
//   filemd5_bench FILE      prints the digest, exits 0 when there is one
#include <unistd.h>

#include <cstdio>
#include <string>

#include "download/file_md5.h"
#include "platform/fake/fake_platform.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] != '/') {
    fprintf(stderr, "usage: filemd5_bench /ABSOLUTE/PATH\n");
    return 2;
  }
  mv::FakePlatform fake;
  mv::SetPlatform(&fake);
  fake.AddDrive('D');
  if (!fake.PutFile("D:\\bench.bin", "")) return 1;
  std::string host = fake.HostPath("D:\\bench.bin");
  if (host.empty() || unlink(host.c_str()) != 0 || symlink(argv[1], host.c_str()) != 0) {
    fprintf(stderr, "filemd5_bench: cannot link the file into the fake drive\n");
    return 1;
  }
  std::string digest = mv::dl::FileMd5("D:\\bench.bin", nullptr);
  printf("%s\n", digest.c_str());
  mv::SetPlatform(nullptr);
  return digest.empty() ? 1 : 0;
}
