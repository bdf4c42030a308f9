// The number and time texts of the progress lines.
#include <gtest/gtest.h>

#include "download/format.h"

namespace mv::dl {
namespace {

std::string Size(int64_t bytes) {
  const Scaled s = ScaleSize(bytes);
  return s.number + (s.large ? "GB  " : "MB  ");
}

TEST(Format, SizesSwitchToGbAtExactly1024Mb) {
  EXPECT_EQ(Size(1073741824), "1GB  ");
  EXPECT_EQ(Size(1073741823), "1024MB  ");  // rounds to 1024.0 but stays in MB
  EXPECT_EQ(Size(0), "0MB  ");
  EXPECT_EQ(Size(1572864), "1.5MB  ");
  EXPECT_EQ(Size(int64_t(5) << 30), "5GB  ");
  // Above 4 GiB and beyond 32-bit counts.
  EXPECT_EQ(Size(4509715660LL), "4.2GB  ");
  EXPECT_EQ(Size(int64_t(1) << 42), "4096GB  ");
}

TEST(Format, OneDecimalInShortestForm) {
  EXPECT_EQ(OneDecimal(2.0), "2");
  EXPECT_EQ(OneDecimal(1.5), "1.5");
  EXPECT_EQ(OneDecimal(35.24), "35.2");
  EXPECT_EQ(OneDecimal(35.26), "35.3");
  EXPECT_EQ(OneDecimal(0.04), "0");
  EXPECT_EQ(OneDecimal(123456.78), "123456.8");
}

TEST(Format, SpeedUnits) {
  const Scaled mbps = ScaleSpeedKb(1048576);
  EXPECT_EQ(mbps.number, "1");
  EXPECT_TRUE(mbps.large);
  const Scaled kbps = ScaleSpeedKb(1048575);
  EXPECT_EQ(kbps.number, "1024");
  EXPECT_FALSE(kbps.large);
  EXPECT_EQ(ScaleSpeedKb(0).number, "0");
  EXPECT_EQ(ScaleSpeedKb(1536).number, "1.5");
  // Read speeds: MB/s, GB/s from 1024 MB/s.
  EXPECT_EQ(ScaleSpeedMb(8388608).number, "8");
  EXPECT_FALSE(ScaleSpeedMb(8388608).large);
  EXPECT_TRUE(ScaleSpeedMb(1073741824).large);
}

TEST(Format, RemainingTime) {
  EXPECT_EQ(FormatRemaining(0), "0分0秒");
  EXPECT_EQ(FormatRemaining(59), "0分59秒");
  EXPECT_EQ(FormatRemaining(77), "1分17秒");
  EXPECT_EQ(FormatRemaining(3599), "59分59秒");
  EXPECT_EQ(FormatRemaining(3600), "1时0分0秒");
  EXPECT_EQ(FormatRemaining(3725), "1时2分5秒");
  EXPECT_EQ(FormatRemaining(90061), "25时1分1秒");
}

TEST(Format, RemainingSecondsOfStalledOrOddTransfers) {
  EXPECT_EQ(RemainingSeconds(1000, 0), 0);    // stalled
  EXPECT_EQ(RemainingSeconds(1000, 300), 3);  // truncated
  EXPECT_EQ(RemainingSeconds(-5, 100), 0);    // more done than the size said
  // 5 GiB at 1 byte per second does not wrap into a negative time.
  EXPECT_EQ(RemainingSeconds(int64_t(5) << 30, 1), 2147483647);
}

}  // namespace
}  // namespace mv::dl
