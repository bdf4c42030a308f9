// The OS, firmware and hardware probes and the partition listing, against
// the fake platform.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/state.h"
#include "detect/hardware.h"
#include "detect/partition_listing.h"
#include "detect/system.h"
#include "platform/fake/fake_platform.h"
#include "tools/qzdir/listing.h"

namespace {

class Probes : public ::testing::Test {
 protected:
  void SetUp() override {
    mv::SetPlatform(&fake_);
    mv::SetSystemPartitionValues("", "");
  }
  void TearDown() override {
    mv::ResetProcessState();
    mv::SetPlatform(nullptr);
  }
  // A Windows whose command interpreter has the given file version.
  void Windows(const mv::Text& version, bool wow64 = false, char drive = 'C') {
    mv::Text dir = std::string(1, drive) + ":\\WINDOWS\\system32";
    if (drive != 'C') {
      fake_.AddDrive(drive);
      fake_.SetSystemDirectory(dir);
    }
    mv::Text cmd = std::string(1, drive) + ":\\windows\\system32\\CMD.EXE";
    fake_.PutFile(cmd, "MZ");
    fake_.SetFileVersion(cmd, version);
    fake_.SetHasWow64Directory(wow64);
  }
  mv::FakePlatform fake_;
};

TEST_F(Probes, OsNameFollowsTheVersionTable) {
  const struct {
    const char* version;
    bool wow64;
    const char* name;
  } cases[] = {
      {"5.0.2195.6717", false, "Windows 2000 x32"},
      {"5.1.2600.5512 (xpsp.080413-2111)", false, "Windows XP x32"},
      {"5.2.3790.3959", true, "Windows 2003 x64"},
      {"6.0.6002.18005", false, "Windows Vista x32"},
      {"6.1.7601.17514 (win7sp1_rtm.101119-1850)", false, "Windows 7 x32"},
      {"6.2.9200.16384", true, "Windows 8 x64"},
      {"6.3.9600.17415", true, "Windows 8.1 x64"},
      {"6.4.9841.0", false, "Windows 10 x32"},
      {"10.0.19041.746 (WinBuild.160101.0800)", true, "Windows 10 x64"},
      {"6.5.1.0", true, "未知"},
      {"11.0.1", false, "未知"},
      {"", true, "未知"},
  };
  for (const auto& c : cases) {
    Windows(c.version, c.wow64);
    EXPECT_EQ(mv::OsName(), c.name) << c.version;
  }
}

TEST_F(Probes, OsNamePeSuffixOnlyForExactlyMinint) {
  Windows("10.0.10240.16384", false);
  const mv::Text key = "SYSTEM\\CurrentControlSet\\Control";
  fake_.RegWriteString(mv::kHkeyLocalMachine, key, "SystemStartOptions", "MININT");
  EXPECT_EQ(mv::OsName(), "Windows 10 x32 PE");
  for (const char* other : {"MININT REDIRECT", " MININT", "minint", ""}) {
    fake_.RegWriteString(mv::kHkeyLocalMachine, key, "SystemStartOptions", other);
    EXPECT_EQ(mv::OsName(), "Windows 10 x32") << other;
  }
  fake_.RegWriteString(mv::kHkeyLocalMachine, key, "SystemStartOptions", "MININT");
  fake_.SetFileVersion("C:\\windows\\system32\\CMD.EXE", "3.51");
  EXPECT_EQ(mv::OsName(), "未知") << "an unknown version gives the word alone";
}

TEST_F(Probes, OsNameLooksForTheInterpreterOnTheSystemDirectorysDrive) {
  EXPECT_EQ(mv::OsName(), "无") << "no cmd.exe at all";
  Windows("6.1.7601.17514", true, 'D');
  EXPECT_EQ(mv::OsName(), "Windows 7 x64");
  fake_.RemoveFile("D:\\windows\\system32\\CMD.EXE");
  fake_.PutFile("C:\\windows\\system32\\CMD.EXE", "MZ");
  EXPECT_EQ(mv::OsName(), "无") << "C:'s interpreter does not count when Windows is on D:";
}

TEST_F(Probes, BitnessFirmwareAndProductName) {
  fake_.SetHasWow64Directory(true);
  EXPECT_TRUE(mv::Is64Bit());
  fake_.SetHasWow64Directory(false);
  EXPECT_FALSE(mv::Is64Bit());
  fake_.SetFirmwareProbeError(1);
  EXPECT_TRUE(mv::FirmwareIsLegacy());
  for (uint32_t uefi : {203u, 1314u, 0u}) {
    fake_.SetFirmwareProbeError(uefi);
    EXPECT_FALSE(mv::FirmwareIsLegacy()) << uefi;
  }
  EXPECT_EQ(mv::ProductName(), "");
  fake_.RegWriteString(mv::kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName",
                       "Windows 7 Ultimate");
  EXPECT_EQ(mv::ProductName(), "Windows 7 Ultimate");
}

TEST_F(Probes, BoardRecordsKeepWmisOrder) {
  EXPECT_TRUE(mv::BoardRecords().empty());
  fake_.SetBoardRecords({{"B85M-D3H", "Gigabyte Technology Co., Ltd."}, {"X", "Y"}});
  auto r = mv::BoardRecords();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].product, "B85M-D3H");
  EXPECT_EQ(r[0].manufacturer, "Gigabyte Technology Co., Ltd.");
}

mv::Bytes Identify(const std::string& model) {
  mv::Bytes b(512, 0);
  std::string m = model;
  m.resize(40, ' ');
  for (size_t i = 0; i < 40; i += 2) {
    b[54 + i] = uint8_t(m[i + 1]);
    b[54 + i + 1] = uint8_t(m[i]);
  }
  return b;
}

TEST_F(Probes, DiskModelUsesIdentifyThenTheDevicePropertyAndStopsAtAMissingDisk) {
  fake_.SetDiskIdentify(0, 0, Identify("ST1000DM003-1SB102"));
  fake_.SetDiskIdentify(1, 2);  // opens, but ignores the SMART request (NVMe)
  fake_.SetDiskDeviceProperty(1, "Samsung ", " SSD 970 EVO Plus 500GB ");
  fake_.SetDiskIdentify(2, 1);  // cannot be opened: the walk ends here
  fake_.SetDiskIdentify(3, 0, Identify("never asked"));
  std::vector<mv::Text> models;
  mv::DiskRecord r;
  for (int n = 0; mv::DiskModel(n, r); ++n) models.push_back(r.model);
  EXPECT_EQ(models, (std::vector<mv::Text>{"ST1000DM003-1SB102", "Samsung SSD 970 EVO Plus 500GB"}));

  // A bridge that gives only a product string; one that gives nothing.
  fake_.SetDiskDeviceProperty(1, "", "USB3.0 Disk");
  ASSERT_TRUE(mv::DiskModel(1, r));
  EXPECT_EQ(r.model, "USB3.0 Disk");
  EXPECT_EQ(r.serial_tail, "");
  fake_.SetDiskDeviceProperty(1, " ", "");
  EXPECT_FALSE(mv::DiskModel(1, r));
}

// ---- The partition listing ---------------------------------------------------

class Listing : public Probes {
 protected:
  void SetUp() override {
    Probes::SetUp();
    mv::SetWorkDir("C:\\MV_OSR\\");
    fake_.CreateFolder("C:\\MV_OSR");
    fake_.CreateFolder("C:\\MV_OSR\\tools");
  }
  // The tool prints `output`; returns the command lines run.
  void ToolPrints(const mv::Text& output) {
    fake_.OnCommand("QzDir.exe", [output](const mv::Text&) { return output; });
  }
};

const char kGptEfiFirst[] =
    "1:1\t  \t0.10GB\tunknown\tGPT\tEFI\t\tGPT\t1\r\n"
    "1:2\t  \t0.02GB\tunknown\tGPT\tMSR\t\tGPT\t2\r\n"
    "1:3\tC:\t59.88GB\t20.14GB\tGPT\tNTFS\t\tGPT\t3\r\n"
    "1:4\tD:\t400.00GB\t120.50GB\tGPT\tNTFS\tData\tGPT\t4\r\n";

TEST_F(Listing, WritesAndRunsTheToolAndFindsTheSystemPartition) {
  ToolPrints(kGptEfiFirst);
  mv::ListPartitions();
  EXPECT_EQ(mv::SystemPartitionNumber(), "1:3");
  EXPECT_EQ(mv::SystemDiskStyle(), "GPT");
  ASSERT_EQ(fake_.CommandsRun().size(), 1u);
  EXPECT_NE(fake_.CommandsRun()[0].find("\"C:\\MV_OSR\\tools\\QzDir.exe\" -tavrin"), std::string::npos)
      << fake_.CommandsRun()[0];
  EXPECT_TRUE(fake_.FileExists("C:\\MV_OSR\\tools\\QzDir.exe"));
}

TEST_F(Listing, ParseCases) {
  const struct {
    const char* what;
    const char* output;
    const char* system_drive;
    const char* number;
    const char* style;
  } cases[] = {
      {"EFI partition before Windows", kGptEfiFirst, "C:\\", "1:3", "GPT"},
      {"other drive of the same listing", kGptEfiFirst, "D:\\", "1:4", "GPT"},
      {"lower-case letters", "1:1\tc:\t30.00GB\t9.00GB\tPrimary\tNTFS\tWin7\tMBR\t1\r\n", "C:\\", "1:1", "MBR"},
      {"system drive on the second disk",
       "1:1\tD:\t100.00GB\t50.00GB\tPrimary\tNTFS\t\tMBR\t1\r\n"
       "2:1\t  \t0.49GB\tunknown\tPrimary\tNTFS\tSystem Reserved\tMBR\t1\r\n"
       "2:2\tC:\t60.00GB\t10.00GB\tPrimary\tNTFS\t\tDYNMBR\t2\r\n",
       "c:\\", "2:2", "DYNMBR"},
      {"first matching line wins",
       "1:1\tC:\t1.00GB\t1.00GB\tPrimary\tNTFS\t\tMBR\t1\r\n2:1\tC:\t1.00GB\t1.00GB\tGPT\tNTFS\t\tGPT\t1\r\n",
       "C:\\", "1:1", "MBR"},
      {"no match", "1:1\tD:\t1.00GB\tunknown\tPrimary\tNTFS\t\tMBR\t1\r\n", "C:\\", "", ""},
      {"a dynamic volume has no partition number",
       "1:1\t  \t60.00GB\tunknown\tPrimary\tNTFS\t\tDYNMBR\t1\r\n  \tC:\t60.00GB\t10.00GB\tDynamic\tNTFS\t\r\n",
       "C:\\", "", ""},
      {"empty output", "", "C:\\", "", ""},
  };
  for (const auto& c : cases) {
    mv::Text number, style;
    bool found = mv::ParsePartitionListing(c.output, c.system_drive, number, style);
    EXPECT_EQ(found, *c.number != 0) << c.what;
    EXPECT_EQ(number, c.number) << c.what;
    EXPECT_EQ(style, c.style) << c.what;
  }
}

TEST_F(Listing, EmptyOutputLeavesTheValuesAsTheyWere) {
  ToolPrints("");
  mv::ListPartitions();
  EXPECT_EQ(mv::SystemPartitionNumber(), "");
  EXPECT_EQ(mv::SystemDiskStyle(), "");
  mv::SetSystemPartitionValues("1:2", "MBR");
  mv::ListPartitions();
  EXPECT_EQ(mv::SystemPartitionNumber(), "1:2");
  EXPECT_EQ(mv::SystemDiskStyle(), "MBR");
  // Without a work directory there is no tool to run.
  mv::SetWorkDir("");
  size_t runs = fake_.CommandsRun().size();
  mv::ListPartitions();
  EXPECT_EQ(fake_.CommandsRun().size(), runs);
}

TEST_F(Listing, TheToolsOwnOutputParsesAsIntended) {
  // The listing as the tool formats it, with a dynamic volume line before
  // the system drive's partition.
  mv::qzdir::DiskLayout dyn;
  dyn.style = mv::qzdir::DiskStyle::kDynMbr;
  mv::qzdir::PartitionEntry ldm;
  ldm.start_lba = 63;
  ldm.sector_count = 1u << 21;
  ldm.type_name = "LDM";
  ldm.slot = 1;
  dyn.partitions = {ldm};
  mv::qzdir::DiskLayout gpt;
  gpt.style = mv::qzdir::DiskStyle::kGpt;
  mv::qzdir::PartitionEntry esp, win;
  esp.kind = win.kind = mv::qzdir::EntryKind::kGpt;
  esp.start_lba = 2048, esp.sector_count = 204800, esp.type_name = "EFI", esp.slot = 1;
  win.start_lba = 239616, win.sector_count = 8146944, win.type_name = "BasicData", win.slot = 3;
  gpt.partitions = {esp, win};
  mv::qzdir::MountedVolume d, c;
  d.letter = 'D';
  d.extents = {{0, 4096 * 512, 1u << 30}};
  d.fs_name = "NTFS";
  d.label = "NTFS";  // a label equal to the file system name
  c.letter = 'C';
  c.extents = {{1, 239616ull * 512, 8146944ull * 512}};
  c.free_bytes = 1u << 30;
  c.fs_name = "NTFS";
  c.label = "Windows 10";
  std::string text = mv::qzdir::FormatListing({{0, dyn}, {1, gpt}}, {d, c});
  // The console turns "\n" into CR LF.
  std::string console;
  for (char ch : text) console += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  mv::Text number, style;
  ASSERT_TRUE(mv::ParsePartitionListing(console, "C:\\", number, style)) << text;
  EXPECT_EQ(number, "2:2");
  EXPECT_EQ(style, "GPT");
  // A dynamic volume's line has no partition number to give: "|D:" in the
  // task file would send the PE nowhere.
  EXPECT_FALSE(mv::ParsePartitionListing(console, "D:\\", number, style)) << text;
  EXPECT_EQ(number, "2:2");
}

}  // namespace
