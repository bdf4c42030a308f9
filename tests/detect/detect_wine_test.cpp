// The probes on the Win32 adapter under Wine. The prefix is the disk-listing
// test's: physicaldrive0 an MBR image, physicaldrive1 a GPT image whose
// basic data partition carries the serial number of C:. WMI's and the
// processor's values are the host's, so only their shapes are checked.
#include <windows.h>
#include <ole2.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "core/state.h"
#include "core/text.h"
#include "detect/hardware.h"
#include "detect/partition_listing.h"
#include "detect/system.h"
#include "platform/win32/win32_platform.h"

namespace mv {
namespace {

bool Printable(const Text& t) {
  for (unsigned char c : t) {
    if (c < 0x20) return false;
  }
  return true;
}

class OnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatform(&win_);
    OleInitialize(nullptr);
  }
  void TearDown() override {
    OleUninitialize();
    ResetProcessState();
    SetPlatform(nullptr);
  }
  Win32Platform win_;
};

TEST_F(OnWindows, BoardProcessorAndOsProbesGiveWellFormedTexts) {
  std::vector<BoardRecord> boards = BoardRecords();
  ASSERT_EQ(boards.size(), 1u) << "WMI reports one board";
  EXPECT_TRUE(Printable(boards[0].product) && Printable(boards[0].manufacturer));

  Text cpu = ProcessorName();
  EXPECT_FALSE(cpu.empty());
  EXPECT_LE(cpu.size(), 48u);
  EXPECT_TRUE(Printable(cpu)) << cpu;

  std::set<Text> names;
  for (const char* n : {"Windows 2000", "Windows XP", "Windows 2003", "Windows Vista", "Windows 7", "Windows 8",
                        "Windows 8.1", "Windows 10"}) {
    for (const char* a : {" x32", " x64"}) {
      names.insert(Text(n) + a);
      names.insert(Text(n) + a + " PE");
    }
  }
  names.insert("未知");
  names.insert("无");
  Text os = OsName();
  EXPECT_EQ(names.count(os), 1u) << os;
  EXPECT_TRUE(Is64Bit()) << "the test prefix is a 64-bit one";
  EXPECT_TRUE(FirmwareIsLegacy()) << "Wine answers the firmware probe as a legacy BIOS";
  EXPECT_TRUE(Printable(ProductName()));
}

TEST_F(OnWindows, DiskWalkEndsCleanlyWhereNeitherRequestIsAnswered) {
  // The image-backed drives open, but answer neither the SMART nor the
  // storage-property request here; the walk must stop, not report junk.
  DiskRecord r;
  if (DiskModel(0, r)) {
    EXPECT_FALSE(r.model.empty());
    EXPECT_TRUE(Printable(r.model));
  }
  EXPECT_FALSE(DiskModel(23, r)) << "no disk 23";
}

TEST_F(OnWindows, ListPartitionsRunsTheCarriedToolAndFindsTheSystemDrive) {
  Text wd = SystemDrive() + "MV_OSR_detect\\";
  plat().CreateFolder(wd);
  plat().CreateFolder(wd + "tools");
  SetWorkDir(wd);
  SetSystemPartitionValues("", "");
  ListPartitions();
  EXPECT_TRUE(plat().FileExists(wd + "tools\\QzDir.exe"));
  EXPECT_EQ(SystemPartitionNumber(), "2:3") << "C: is the GPT disk's third partition";
  EXPECT_EQ(SystemDiskStyle(), "GPT");
  plat().RemoveFile(wd + "tools\\QzDir.exe");
  plat().RemoveFolder(wd + "tools");
  plat().RemoveFolder(wd);
}

}  // namespace
}  // namespace mv
