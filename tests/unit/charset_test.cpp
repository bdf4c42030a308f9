// The build stores string literals as GBK: every text the program shows,
// logs or writes for the PE depends on it.
#include <gtest/gtest.h>

#include <string>

TEST(Charset, LiteralsAreGbkBytes) {
  const std::string ok = "正常";
  ASSERT_EQ(ok.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(ok[0]), 0xD5);
  EXPECT_EQ(static_cast<unsigned char>(ok[1]), 0xFD);
  EXPECT_EQ(static_cast<unsigned char>(ok[2]), 0xB3);
  EXPECT_EQ(static_cast<unsigned char>(ok[3]), 0xA3);
  // ASCII stays ASCII.
  EXPECT_EQ(std::string("MV_OSR").size(), 6u);
}
