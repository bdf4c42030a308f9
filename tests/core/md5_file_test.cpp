// The digest of a generated file agrees with md5sum's (native build only:
// md5sum is the reference implementation on the build machine).
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/md5.h"

namespace mv {
namespace {

TEST(Md5File, AgreesWithMd5sum) {
  char path[] = "/tmp/mv_md5_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  // 3 MB and an odd tail, from a simple generator (all byte values occur).
  std::vector<unsigned char> data(3 * 1024 * 1024 + 4093);
  uint32_t x = 2463534242u;
  for (auto& b : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<unsigned char>(x);
  }
  ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  close(fd);

  // Fed in uneven chunks, as a file reader would.
  Md5 m;
  for (size_t at = 0; at < data.size(); at += 65531) m.Update(data.data() + at, std::min<size_t>(65531, data.size() - at));
  uint8_t d[16];
  m.Final(d);

  std::string cmd = std::string("md5sum ") + path;
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char out[64] = {};
  ASSERT_EQ(std::fread(out, 1, 32, p), 32u);
  pclose(p);
  unlink(path);
  EXPECT_EQ(Md5::Hex(d, false), std::string(out, 32));
}

}  // namespace
}  // namespace mv
#endif
