// Layout of the engine's records, byte for byte, and the record builder.
#include <gtest/gtest.h>

#include <cstring>

#include "download/task_records.h"
#include "platform/fake/fake_platform.h"

namespace mv::dl {
namespace {

class Records : public ::testing::Test {
 protected:
  void SetUp() override { SetPlatform(&fake_); }
  void TearDown() override { SetPlatform(nullptr); }
  FakePlatform fake_;
};

int32_t I32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<int32_t>(p[3]) << 24; }

TEST_F(Records, FlatRecordLaysFieldsOutInOrderWithPaddingAndGrowth) {
  FlatRecord r;
  ASSERT_TRUE(r.Initialise(6, 4, 16, 0xCC));
  const uint8_t v[] = {1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(r.AddField("a", 3, v, 6));  // only 3 bytes copied, padded to 4
  ASSERT_TRUE(r.AddField("b", 4));
  EXPECT_FALSE(r.AddField("a", 1));       // names are unique
  EXPECT_EQ(r.FindField("a")->offset, 0u);
  EXPECT_EQ(r.FindField("b")->offset, 4u);
  EXPECT_EQ(r.UsedLength(), 8u);
  EXPECT_EQ(r.Capacity(), 22u);  // 6, grown once by 16
  const uint8_t* d = r.Data();
  EXPECT_EQ(d[2], 3);
  EXPECT_EQ(d[3], 0xCC);
  EXPECT_EQ(d[4], 0);
  EXPECT_EQ(r.FindField("c"), nullptr);
  EXPECT_TRUE(r.GetField("c").empty());

  // Raw set: cut to the width, the rest zeroed.
  const uint8_t w[] = {9, 9, 9, 9, 9};
  ASSERT_TRUE(r.SetField("b", w, 5));
  ASSERT_TRUE(r.SetField("a", w, 1));
  EXPECT_EQ(r.GetField("a"), (std::vector<uint8_t>{9, 0, 0}));
  EXPECT_EQ(r.GetField("b"), (std::vector<uint8_t>{9, 9, 9, 9}));
  EXPECT_EQ(r.Data()[3], 0xCC);  // padding untouched

  // A copy owns its block; initialising starts afresh.
  FlatRecord copy = r;
  ASSERT_TRUE(copy.SetField("b", v, 4));
  EXPECT_EQ(r.GetField("b")[0], 9);
  ASSERT_TRUE(r.Initialise(4));
  EXPECT_EQ(r.UsedLength(), 0u);
  EXPECT_EQ(r.FindField("a"), nullptr);
  EXPECT_TRUE(r.AddField("a", 4));
  EXPECT_EQ(copy.GetField("b")[0], 1);
  r.Release();
  EXPECT_EQ(r.Data(), nullptr);
  EXPECT_FALSE(r.AddField("x", 1));
}

TEST_F(Records, TaskSetupHasTheEngineLayout) {
  DownTaskSetup s;
  ASSERT_TRUE(s.Build("http://h/a.wim", "", "", "a.wim", "D:\\MV_OSR\\", false, true));
  ASSERT_EQ(s.UsedLength(), 26564u);
  const std::pair<const char*, size_t> offsets[] = {
      {"nReserved", 0},          {"szTaskUrl", 4},      {"szRefUrl", 4172},       {"szCookies", 8340},
      {"szFilename", 16532},     {"szReserved0", 17052}, {"szSavePath", 17572},   {"hReserved", 18092},
      {"bReserved", 18096},      {"szReserved1", 18100}, {"szReserved2", 18228},  {"IsOnlyOriginal", 18356},
      {"nReserved1", 18360},     {"DisableAutoRename", 18364}, {"IsResume", 18368}, {"reserved", 18372}};
  ASSERT_EQ(s.Fields().size(), 16u);
  for (size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(s.Fields()[i].name, offsets[i].first);
    EXPECT_EQ(s.Fields()[i].offset, offsets[i].second) << offsets[i].first;
  }
  const uint8_t* d = s.Data();
  EXPECT_EQ(I32(d + 18360), 5);
  EXPECT_EQ(I32(d + 18356), 0);
  EXPECT_EQ(I32(d + 18364), 1);
  EXPECT_EQ(I32(d + 18368), 1);  // the default of the last argument
  EXPECT_EQ(d[4], 'h');
  EXPECT_EQ(d[5], 0);
  EXPECT_EQ(d[17572 + 2 * 9], '\\');
  for (size_t i = 18372; i < 26564; ++i) ASSERT_EQ(d[i], 0);
  EXPECT_EQ(s.szSavePath(), "D:\\MV_OSR\\");

  ASSERT_TRUE(s.Build("u", "", "", "f", "p", false, true, false));
  EXPECT_EQ(I32(s.Data() + 18368), 0);
  EXPECT_FALSE(s.IsResume());
  EXPECT_EQ(s.szTaskUrl(), "u");  // rebuilt, not appended
}

TEST_F(Records, TaskSetupTextsAreUtf16CutToTheirWidth) {
  DownTaskSetup s;
  ASSERT_TRUE(s.Build("u", "", "", "系统.wim", "D:\\", false, true));
  const uint8_t* d = s.Data() + 16532;
  EXPECT_EQ(d[0] | d[1] << 8, 0x7CFB);  // 系
  EXPECT_EQ(d[2] | d[3] << 8, 0x7EDF);  // 统
  EXPECT_EQ(s.szFilename(), "系统.wim");

  // A name longer than the field keeps its terminator and leaves the next field alone.
  const std::string long_name(400, 'x');
  ASSERT_TRUE(s.szFilename(long_name));
  EXPECT_EQ(s.szFilename(), std::string(259, 'x'));
  EXPECT_EQ(s.Data()[16532 + 518], 0);
  EXPECT_EQ(s.Data()[17052], 0);
  ASSERT_TRUE(s.szFilename("b"));
  EXPECT_EQ(s.szFilename(), "b");
  EXPECT_EQ(s.Data()[16532 + 2], 0);
}

TEST_F(Records, TaskInfoIsPackedWithTheHashPercentUnaligned) {
  DownTaskInfo info;
  const uintptr_t built = info.Build();
  ASSERT_NE(built, 0u);
  EXPECT_EQ(built, reinterpret_cast<uintptr_t>(info.Data()));
  ASSERT_EQ(info.UsedLength(), 1429u);
  const std::pair<const char*, size_t> offsets[] = {
      {"stat", 0},          {"fail_code", 4},        {"szFilename", 8},     {"szReserved0", 528},
      {"nTotalSize", 1048}, {"nTotalDownload", 1056}, {"fPercent", 1064},   {"nSrcTotal", 1072},
      {"nSrcUsing", 1076},  {"nReserved5", 1096},    {"nDonationP2P", 1104}, {"nDonationOrgin", 1120},
      {"nDonationP2S", 1128}, {"nReserved8", 1144},  {"nSpeed", 1152},      {"nSpeedP2S", 1156},
      {"nSpeedP2P", 1160},  {"bIsOriginUsable", 1164}, {"fHashPercent", 1165}, {"IsCreatingFile", 1169},
      {"reserved", 1173}};
  for (const auto& o : offsets) EXPECT_EQ(info.FindField(o.first)->offset, o.second) << o.first;
  EXPECT_EQ(info.stat(), 2);
  for (size_t i = 4; i < 1429; ++i) ASSERT_EQ(info.Data()[i], 0);

  // Typed values land little-endian at their offsets, the engine's way round.
  ASSERT_TRUE(info.fHashPercent(0.5f));
  ASSERT_TRUE(info.bIsOriginUsable(7));
  ASSERT_TRUE(info.nTotalSize(0x123456789LL));
  ASSERT_TRUE(info.IsCreatingFile(-1));
  const uint8_t* d = info.Data();
  float f;
  std::memcpy(&f, d + 1165, 4);
  EXPECT_EQ(f, 0.5f);
  EXPECT_EQ(d[1164], 7);
  EXPECT_EQ(d[1048], 0x89);
  EXPECT_EQ(d[1052], 0x01);
  EXPECT_EQ(I32(d + 1169), -1);
  EXPECT_EQ(info.nTotalSize(), 0x123456789LL);
  EXPECT_EQ(info.fHashPercent(), 0.5f);

  DownTaskInfo copy = info;  // its own block: no shared or double-freed memory
  ASSERT_TRUE(copy.stat(4));
  EXPECT_EQ(info.stat(), 2);
  EXPECT_NE(copy.Data(), info.Data());
}

}  // namespace
}  // namespace mv::dl
