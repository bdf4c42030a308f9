// The binding's filling and reading of the engine's records (their layout
// is asserted where the records are defined).
#include <gtest/gtest.h>

#include <cstring>

#include "download/engine_records.h"
#include "platform/fake/fake_platform.h"

namespace mv::dl {
namespace {

class Records : public ::testing::Test {
 protected:
  void SetUp() override { SetPlatform(&fake_); }
  void TearDown() override { SetPlatform(nullptr); }
  FakePlatform fake_;
};

TEST_F(Records, TaskSetupCarriesTheDownloadAsTheEngineReadsIt) {
  DownTaskSetup s;
  std::memset(&s, 0x5A, sizeof s);  // whatever was there before goes
  FillTaskSetup(s, "http://h/系统.wim", "系统.wim", "D:\\MV_OSR\\");
  EXPECT_EQ(FieldText(s.szTaskUrl), "http://h/系统.wim");
  EXPECT_EQ(s.szFilename[0], 0x7CFB);  // 系, as UTF-16
  EXPECT_EQ(FieldText(s.szFilename), "系统.wim");
  EXPECT_EQ(FieldText(s.szSavePath), "D:\\MV_OSR\\");
  EXPECT_EQ(FieldText(s.szRefUrl), "");
  EXPECT_EQ(FieldText(s.szCookies), "");
  EXPECT_EQ(s.nReserved1, 5);
  EXPECT_EQ(s.IsOnlyOriginal, 0);
  EXPECT_EQ(s.DisableAutoRename, 1);
  EXPECT_EQ(s.IsResume, 1);
  for (uint8_t b : s.reserved) ASSERT_EQ(b, 0);
}

TEST_F(Records, TextFieldsAreCutToLeaveTheirTerminator) {
  DownTaskSetup s;
  FillTaskSetup(s, "u", std::string(400, 'x'), "D:\\");
  EXPECT_EQ(FieldText(s.szFilename), std::string(259, 'x'));
  EXPECT_EQ(s.szFilename[259], 0);
  EXPECT_EQ(FieldText(s.szReserved0), "");  // the next field is left alone

  // A field of three units holds two characters and the terminator.
  char16_t field[3] = {'q', 'q', 'q'};
  SetFieldText(field, 3, "a系统");
  EXPECT_EQ(FieldText(field), "a系");
  EXPECT_EQ(field[2], 0);
}

TEST_F(Records, AFreshStatusRecordIsRunningAndOtherwiseZero) {
  DownTaskInfo info;
  std::memset(&info, 0x5A, sizeof info);
  ResetTaskInfo(info);
  EXPECT_EQ(info.stat, 2);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
  for (size_t i = 4; i < sizeof info; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

}  // namespace
}  // namespace mv::dl
