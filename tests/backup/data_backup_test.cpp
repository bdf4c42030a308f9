// The data and driver backup on the fake machine: the user's folders with
// names outside GBK and long paths, the progress, cancel, the summary, and
// both driver methods against a class-key tree in the fake registry.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>

#include "backup/backup_page.h"
#include "backup/data_warnings.h"
#include "core/job.h"
#include "boot/boot_names.h"
#include "support/registry.h"
#include "tests/backup/backup_fixture.h"
#include "tests/support/file_tree.h"

namespace mv {
namespace {

const std::u16string kDocs = u"C:\\Users\\user\\Documents";
const std::u16string kBak = u"D:\\MV_OSR\\bakfile\\\u6211\u7684\u6587\u6863";  // 我的文档

std::string Content(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 7 + (i >> 9));
  return s;
}

class DataBackup : public BackupTest {
 protected:
  // Every file below folder (UTF-16 relative paths) with its content.
  test::FileTreeMap Tree(const std::u16string& folder) {
    return test::FileTree(fake_, folder, [this](const std::u16string& f) { return fake_.FileTextWide(f); });
  }
};

TEST_F(DataBackup, DocumentsArriveWithTheirNamesLongPathsAndEmptyFolders) {
  std::u16string deep = kDocs;
  for (int i = 0; deep.size() <= 300; ++i) deep += u"\\\u6df1\u5c42\u6587\u4ef6\u5939abcdefghijklmnopqrstuvwxyz0123456789" + std::u16string(1, u'0' + i);
  ASSERT_GT(deep.size(), 300u);
  ASSERT_TRUE(fake_.PutFileWide(kDocs + u"\\\u4e2d\u6587\u62a5\u544a.txt", Content(5000, 'a')));      // 中文报告
  ASSERT_TRUE(fake_.PutFileWide(kDocs + u"\\\u30c6\u30b9\u30c8.doc", Content(70000, 'b')));           // テスト
  ASSERT_TRUE(fake_.PutFileWide(kDocs + u"\\smile \U0001F600.png", Content(3, 'c')));
  ASSERT_TRUE(fake_.PutFileWide(kDocs + u"\\sub\\\u65e5\u672c\u8a9e\\n.txt", Content(0, 'd')));
  ASSERT_TRUE(fake_.PutFileWide(deep + u"\\long.bin", Content(123457, 'e')));
  ASSERT_TRUE(fake_.PutFileWide(kDocs + u"\\.hidden\\secret.txt", "s"));
  ASSERT_TRUE(fake_.CreateFolderWide(kDocs + u"\\empty"));
  ui::MainModel().SetChecked(names::kDataItems[0], true);

  BackUpData();

  auto want = Tree(kDocs);
  want.erase(u".hidden\\");
  want.erase(u".hidden\\secret.txt");
  EXPECT_EQ(Tree(kBak), want);
  EXPECT_EQ(want.count(u"empty\\"), 1u);
  EXPECT_NE(LogText().find("资料备份：已复制 5 个文件，失败 0 个"), std::string::npos);
  EXPECT_EQ(ui::MainModel().Text(names::kDataBackupStep), "备份资料：完成");
  EXPECT_EQ(ui::MainModel().Text(names::kDataBackupPercent), "100%");
  EXPECT_EQ(ui::MainModel().Width(names::kDataBackupBar2), 309);
  EXPECT_FALSE(ui::MainModel().Get(names::kDataBackupCancel).enabled);
}

TEST_F(DataBackup, NothingCheckedStillRunsToTheEnd) {
  fake_.PutFile("C:\\Users\\user\\Desktop\\a.txt", "a");
  CopyTally tally;
  EXPECT_TRUE(RunDataBackup(tally));
  EXPECT_EQ(tally.copied + tally.failed, 0);
  EXPECT_FALSE(fake_.FileExists("D:\\MV_OSR\\bakfile\\桌面"));
  EXPECT_EQ(ui::MainModel().Text(names::kDataBackupPercent), "100%");
  EXPECT_EQ(ui::MainModel().Width(names::kDataBackupBar2), 309);
  EXPECT_TRUE(fake_.Dialogs().empty());  // not the data-only mode: no message
}

TEST_F(DataBackup, DataOnlyModeSaysHowManyFilesFailed) {
  fake_.PutFile("C:\\Users\\user\\Desktop\\a.txt", "a");
  fake_.PutFile("C:\\Users\\user\\Desktop\\b.txt", "new");
  fake_.PutFile("C:\\Users\\user\\Favorites\\site.url", "u");
  // An earlier backup's read-only copy cannot be replaced.
  fake_.PutFile("D:\\MV_OSR\\bakfile\\桌面\\b.txt", "old");
  fake_.SetAttributes("D:\\MV_OSR\\bakfile\\桌面\\b.txt", kAttrReadOnly);
  ui::MainModel().SetChecked(names::kDataItems[1], true);
  ui::MainModel().SetChecked(names::kDataItems[2], true);
  ui::MainModel().SetSelected(names::kDataBackupButton, true);
  ui::MainModel().SetVisible(names::kNextButton, false);
  int navigations = 0;
  BackupLinks links;
  links.data_only_navigate = [&] { ++navigations; };
  SetBackupLinks(links);

  BackUpData();

  EXPECT_EQ(fake_.FileText("D:\\MV_OSR\\bakfile\\桌面\\a.txt"), "a");
  EXPECT_EQ(fake_.FileText("D:\\MV_OSR\\bakfile\\桌面\\b.txt"), "old");  // untouched, not half-written
  EXPECT_EQ(fake_.FileText("D:\\MV_OSR\\bakfile\\收藏夹\\site.url"), "u");
  EXPECT_TRUE(ui::MainModel().Get(names::kNextButton).visible);
  EXPECT_EQ(navigations, 1);
  ASSERT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_EQ(fake_.Dialogs()[0].text, "资料备份未全部完成：已备份 2 个文件，1 个文件未能备份（详见日志 MV_OSR.log）。");
  EXPECT_EQ(fake_.Dialogs()[0].caption, "提示");
  EXPECT_NE(LogText().find("备份失败：C:\\Users\\user\\Desktop\\b.txt"), std::string::npos);
  EXPECT_EQ(DataBackupSummary(CopyTally{3, 0}), "资料备份完成！\r\n共备份 3 个文件。");
}

TEST_F(DataBackup, CancelStopsBetweenFilesAndLeavesNoPartialFile) {
  const int kFiles = 24;
  for (int i = 0; i < kFiles; ++i) {
    fake_.PutFileWide(kDocs + u"\\f" + std::u16string(1, u'A' + i) + u".bin", Content(1 << 20, static_cast<char>(i)));
  }
  ui::MainModel().SetChecked(names::kDataItems[0], true);
  ui::MainModel().SetSelected(names::kDataBackupButton, true);
  ui::MainModel().SetVisible(names::kNextButton, false);
  std::vector<int> busy;
  BackupLinks links;
  links.set_busy = [&busy](int b) { busy.push_back(b); };
  SetBackupLinks(links);
  InstallBackupPage();
  Handle h = StartDataBackup();
  ASSERT_NE(h, kNoHandle);
  EXPECT_EQ(StartDataBackup(), kNoHandle);  // one at a time
  // Hold the worker wherever it is (inside a copy or between two), then cancel.
  // (A cheap look: reading the copies back would let the worker finish first.)
  std::vector<WideEntry> first;
  for (int i = 0; i < 5000 && (!fake_.ListFolderWide(kBak, first) || first.empty()); ++i) fake_.Sleep(1);
  fake_.PauseThread(h);
  fake_.QueueAnswer(kResYes);
  ASSERT_TRUE(ui::Fire(names::kDataBackupCancel, "click"));

  // The cancel returned once the worker had ended: nothing half-copied.
  auto copied = Tree(kBak);
  EXPECT_LT(copied.size(), static_cast<size_t>(kFiles));
  for (const auto& kv : copied) {
    EXPECT_EQ(kv.second, fake_.FileTextWide(kDocs + u"\\" + kv.first)) << "partial file";
  }
  EXPECT_EQ(fake_.Dialogs()[0].text, "程序正在备份资料，是否取消！");
  EXPECT_EQ(CurrentJobState(), JobState::kCancelled);
  EXPECT_EQ(busy, (std::vector<int>{1, 0})) << "busy while it ran";
  EXPECT_TRUE(ui::MainModel().Get(names::kNextButton).visible) << "the items can be chosen again";
  EXPECT_EQ(ui::MainModel().Text(names::kDataBackupStep), "备份资料：已取消");
  EXPECT_FALSE(ui::MainModel().Get(names::kDataBackupCancel).enabled);
}

TEST_F(DataBackup, DataOnlyJobEndsWithItsSummaryOnTheWindowThread) {
  fake_.PutFile("C:\\Users\\user\\Desktop\\a.txt", "a");
  ui::MainModel().SetChecked(names::kDataItems[2], true);
  ui::MainModel().SetSelected(names::kDataBackupButton, true);
  const Handle h = StartDataBackup();
  ASSERT_NE(h, kNoHandle);
  fake_.QueueAnswer(kResNo);
  CancelDataBackup();  // No: it goes on
  ASSERT_TRUE(WaitDataBackup(30000));
  EXPECT_TRUE(JobRunning()) << "its end waits for the window thread";
  ASSERT_TRUE(ui::Fire(kJobTimer, "timer"));
  EXPECT_EQ(CurrentJobState(), JobState::kDone);
  EXPECT_EQ(fake_.FileText("D:\\MV_OSR\\bakfile\\桌面\\a.txt"), "a");
  ASSERT_EQ(fake_.Dialogs().size(), 2u);
  EXPECT_EQ(fake_.Dialogs()[1].text, "资料备份完成！\r\n共备份 1 个文件。");
}

TEST_F(DataBackup, OnTheSystemDriveTheUserIsToldFirst) {
  // One drive: the work directory, and so the backup, is on C:.
  SetWorkDir("C:\\MV_OSR\\");
  fake_.CreateFolder("C:\\MV_OSR");
  ui::MainModel().SetChecked(names::kDataItems[2], true);
  fake_.QueueAnswer(kResNo);
  EXPECT_EQ(StartDataBackup(), kNoHandle);
  ASSERT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_NE(fake_.Dialogs()[0].text.find("工作目录在系统盘（C:）上"), std::string::npos);
  EXPECT_FALSE(JobRunning());
  // Before an install hands off: failed copies are named, the drive said again.
  fake_.QueueAnswer(kResYes);
  EXPECT_TRUE(ConfirmDataBeforeHandOff(CopyTally{5, 2}, true));
  const Text asked = fake_.Dialogs().back().text;
  EXPECT_NE(asked.find("2 个文件未能备份"), std::string::npos) << asked;
  EXPECT_NE(asked.find("重装系统会将其覆盖"), std::string::npos) << asked;
  SetWorkDir("D:\\MV_OSR\\");
  EXPECT_TRUE(ConfirmDataBeforeHandOff(CopyTally{5, 0}, true));
  EXPECT_EQ(fake_.Dialogs().size(), 2u) << "nothing to say: no question";
}

// ---- Drivers -------------------------------------------------------------------

class Drivers : public BackupTest {
 protected:
  const Text kClass = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Class\\";
  void Device(const Text& cls, const Text& class_name, const Text& inst, const Text& desc, const Text& provider,
              const Text& inf, const Text& section) {
    Registry r;
    r.WriteText(kClass + cls, "Class", class_name);
    r.WriteText(kClass + cls + "\\" + inst, "DriverDesc", desc);
    r.WriteText(kClass + cls + "\\" + inst, "ProviderName", provider);
    r.WriteText(kClass + cls + "\\" + inst, "DriverVersion", "1.2.3.4");
    r.WriteText(kClass + cls + "\\" + inst, "InfPath", inf);
    r.WriteText(kClass + cls + "\\" + inst, "InfSection", section);
    r.WriteText(kClass + cls + "\\" + inst, "InfSectionExt", ".NT");
  }
  void SetUp() override {
    BackupTest::SetUp();
    Device("{4d36e972}", "Net", "0000", "Realtek PCIe GbE", "Realtek", "oem1.inf", "RTL8168");
    Device("{4d36e972}", "Net", "0001", "WAN Miniport", "Microsoft", "netrasa.inf", "Ndi");
    Device("{4d36e968}", "Display", "0000", " Intel(R) HD/UHD Graphics ", "Microsoft Corporation", "oem2.inf", "iHD");
    Registry().WriteText(kClass + "{4d36e968}\\Properties", "Security", "x");  // no DriverDesc
    ui::MainModel().SetChecked(names::kDataItems[3], true);
    fake_.PutFile("C:\\WINDOWS\\system32\\cmd.exe", "MZ");
  }
};

TEST_F(Drivers, ListSkipsExactlyMicrosoftAndLogsEachDevice) {
  auto list = ListDrivers();
  ASSERT_EQ(list.size(), 2u);
  std::set<Text> descs = {list[0].description, list[1].description};
  EXPECT_EQ(descs.count("Realtek PCIe GbE"), 1u);
  EXPECT_EQ(descs.count(" Intel(R) HD/UHD Graphics "), 1u);
  for (const auto& r : list) {
    if (r.provider == "Realtek") {
      EXPECT_EQ(r.class_name, "Net");
      EXPECT_EQ(r.section, "RTL8168.NT");
    }
  }
  EXPECT_NE(LogText().find("Realtek PCIe GbE|Net|Realtek|1.2.3.4|oem1.inf|RTL8168.NT"), std::string::npos);
  EXPECT_EQ(LogText().find("WAN Miniport"), std::string::npos);
}

TEST_F(Drivers, DriverStoreFoldersOnWindows10) {
  fake_.SetFileVersion("C:\\WINDOWS\\system32\\cmd.exe", "10.0.19041.1 (WinBuild.160101.0800)");
  fake_.SetHasWow64Directory(true);
  fake_.PutFile("C:\\WINDOWS\\inf\\oem1.inf", "[Version]\r\nCatalogFile=rt640x64.cat\r\n");
  fake_.PutFile("C:\\WINDOWS\\inf\\oem2.inf", "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\n");
  const Text store = "C:\\WINDOWS\\system32\\DriverStore\\FileRepository\\";
  fake_.PutFile(store + "rt640x64.inf_amd64_1\\rt640x64.sys", "sys1");
  fake_.PutFile(store + "rt640x64.inf_amd64_2\\rt640x64.sys", "sys2");
  fake_.PutFile(store + "oem2.inf_amd64_9\\igfx.dll", "dll");
  fake_.PutFile(store + "other.inf_amd64_1\\x.sys", "no");

  CopyTally tally;
  ASSERT_TRUE(BackUpDrivers(tally));
  const Text bak = "D:\\MV_OSR\\bakfile\\DriverBak\\";
  std::set<std::string> sys = {fake_.FileText(bak + "Realtek PCIe GbE\\rt640x64.sys")};
  // The device's further folders go to "<description> (<position in the list>)".
  auto folders = fake_.ListFolder(bak + "Realtek PCIe GbE (*");
  ASSERT_EQ(folders.size(), 1u);
  sys.insert(fake_.FileText(bak + folders[0].name + "\\rt640x64.sys"));
  EXPECT_EQ(sys, (std::set<std::string>{"sys1", "sys2"}));
  // "/" cannot stand in a folder name.
  EXPECT_EQ(fake_.FileText(bak + "Intel(R) HD_UHD Graphics\\igfx.dll"), "dll");
  EXPECT_FALSE(fake_.FileExists(bak + "Realtek PCIe GbE\\x.sys"));
  EXPECT_NE(LogText().find("x64"), std::string::npos);
  EXPECT_EQ(fake_.FsRedirectionDepth(), 0);
  EXPECT_EQ(LogText().find("Ver <= 3"), std::string::npos);
}

TEST_F(Drivers, InfDirectedOnXpAndWithoutAVersion) {
  for (const char* version : {"5.1.2600.5512 (xpsp.080413-2111)", ""}) {
    fake_.SetFileVersion("C:\\WINDOWS\\system32\\cmd.exe", version);
    fake_.PutFile("C:\\WINDOWS\\inf\\oem1.inf",
                  "[Version]\r\nCatalogFile = rtnic.cat ; signed\r\n"
                  "[DestinationDirs]\r\nDefaultDestDir = 11\r\nRtl.Sys = 12\r\nRtl.Help = 18,rtl\r\n"
                  "[RTL8168.NT]\r\nInclude = netrtl.inf\r\nCopyFiles = Rtl.Sys, Rtl.Dll,Rtl.Help\r\nAddReg=x\r\n"
                  "[Rtl.Sys]\r\nrtl8168.sys,,,2\r\n\r\n[Rtl.Dll]\r\n\trtlco.dll ; helper\r\n"
                  "[Rtl.Help]\r\nrtl.chm");
    fake_.PutFile("C:\\WINDOWS\\inf\\oem1.PNF", "pnf");
    fake_.PutFile("C:\\WINDOWS\\inf\\netrtl.inf", "inc");
    fake_.PutFile("C:\\WINDOWS\\system32\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\oem1.cat", "cat");
    fake_.PutFile("C:\\WINDOWS\\system32\\drivers\\rtl8168.sys", "sys");
    fake_.PutFile("C:\\WINDOWS\\system32\\rtlco.dll", "dll");
    fake_.PutFile("C:\\WINDOWS\\help\\rtl\\rtl.chm", "chm");
    CopyTally tally;
    ASSERT_TRUE(BackUpDrivers(tally));
    const Text d = "D:\\MV_OSR\\bakfile\\DriverBak\\Realtek PCIe GbE\\";
    EXPECT_EQ(fake_.FileText(d + "rtnic.cat"), "cat") << version;
    EXPECT_EQ(fake_.FileText(d + "rtnic.inf").substr(0, 9), "[Version]");
    EXPECT_EQ(fake_.FileText(d + "rtnic.pnf"), "pnf");
    EXPECT_EQ(fake_.FileText(d + "netrtl.inf"), "inc");
    EXPECT_EQ(fake_.FileText(d + "rtl8168.sys"), "sys");
    EXPECT_EQ(fake_.FileText(d + "rtlco.dll"), "dll");
    EXPECT_EQ(fake_.FileText(d + "rtl.chm"), "chm");
    EXPECT_NE(LogText().find("Ver <= 3"), std::string::npos);
    EXPECT_NE(LogText().find("Realtek PCIe GbE|" + d), std::string::npos);
  }
}

TEST_F(Drivers, VersionCodes) {
  EXPECT_EQ(WindowsVersionCodeOf("5.0.2195"), 1);
  EXPECT_EQ(WindowsVersionCodeOf("5.2.3790"), 3);
  EXPECT_EQ(WindowsVersionCodeOf("6.0.6002"), 4);
  EXPECT_EQ(WindowsVersionCodeOf("6.1.7601.17514 (win7sp1_rtm.101119-1850)"), 5);
  EXPECT_EQ(WindowsVersionCodeOf("6.3.9600"), 7);
  EXPECT_EQ(WindowsVersionCodeOf("10.0.19041"), 9);
  EXPECT_EQ(WindowsVersionCodeOf("4.0"), -1);
  EXPECT_EQ(WindowsVersionCodeOf(""), -1);
  fake_.SetFileVersion("C:\\WINDOWS\\system32\\cmd.exe", "6.2.9200.16384");
  EXPECT_EQ(WindowsVersionCode(), 6);
}

TEST_F(Drivers, TwoDevicesOfOneDescriptionShareAFolder) {
  fake_.SetFileVersion("C:\\WINDOWS\\system32\\cmd.exe", "5.1.2600");
  Device("{4d36e972}", "Net", "0002", "Realtek PCIe GbE", "Realtek", "oem3.inf", "X");
  fake_.PutFile("C:\\WINDOWS\\inf\\oem1.inf", "[Version]\r\n");
  fake_.PutFile("C:\\WINDOWS\\inf\\oem3.inf", "[Version]\r\n");
  CopyTally tally;
  ASSERT_TRUE(BackUpDrivers(tally));
  const Text d = "D:\\MV_OSR\\bakfile\\DriverBak\\Realtek PCIe GbE\\";
  EXPECT_TRUE(fake_.FileExists(d + "oem1.inf"));
  EXPECT_TRUE(fake_.FileExists(d + "oem3.inf"));
}

// Many packages name their catalog only under the decorated key; a package
// the store does not hold counts as a failure instead of passing unnoticed.
TEST_F(Drivers, DecoratedCatalogKeysFindTheStoreFolder) {
  fake_.SetFileVersion("C:\\WINDOWS\\system32\\cmd.exe", "10.0.19041.1");
  fake_.SetHasWow64Directory(true);
  fake_.PutFile("C:\\WINDOWS\\inf\\oem1.inf",
                "[Version]\r\nCatalogFile.NTx86 = rt86.cat\r\nCatalogFile.NTamd64 = rt640x64.cat ; 64-bit\r\n");
  const Text store = "C:\\WINDOWS\\system32\\DriverStore\\FileRepository\\";
  fake_.PutFile(store + "rt640x64.inf_amd64_1\\rt640x64.sys", "sys");
  fake_.PutFile(store + "rt86.inf_x86_1\\rt86.sys", "x86");
  CopyTally tally;
  ASSERT_TRUE(BackUpDrivers(tally));
  const Text bak = "D:\\MV_OSR\\bakfile\\DriverBak\\";
  EXPECT_EQ(fake_.FileText(bak + "Realtek PCIe GbE\\rt640x64.sys"), "sys");
  EXPECT_FALSE(fake_.FileExists(bak + "Realtek PCIe GbE\\rt86.sys"));
  EXPECT_EQ(tally.failed, 1) << "oem2.inf's package is not in the store";
  EXPECT_NE(LogText().find("驱动程序包未找到：Intel(R) HD/UHD Graphics|oem2.inf"), std::string::npos) << LogText();
}

// Names in an INF that would leave the driver's folder (a parent, a root or
// another drive) are skipped: nothing is written outside it.
TEST_F(Drivers, InfNamesNeverWriteOutsideTheDriverFolder) {
  fake_.SetFileVersion("C:\\WINDOWS\\system32\\cmd.exe", "5.1.2600");
  fake_.PutFile("C:\\WINDOWS\\inf\\oem1.inf",
                "[Version]\r\nCatalogFile=..\\..\\..\\evil.cat\r\n"
                "[DestinationDirs]\r\nDefaultDestDir = 11\r\n"
                "[RTL8168.NT]\r\nInclude = ..\\..\\up.inf\r\nCopyFiles = Files\r\n"
                "[Files]\r\n..\\..\\..\\x.dll\r\nC:\\boot.ini\r\nD:\\MV_OSR\\y.dll\r\n.. \r\nok.dll\r\n");
  fake_.PutFile("C:\\WINDOWS\\system32\\ok.dll", "ok");
  fake_.PutFile("C:\\x.dll", "x");
  fake_.PutFile("C:\\WINDOWS\\up.inf", "up");
  fake_.PutFile("D:\\MV_OSR\\y.dll", "y");
  CopyTally tally;
  ASSERT_TRUE(BackUpDrivers(tally));
  const Text d = "D:\\MV_OSR\\bakfile\\DriverBak\\Realtek PCIe GbE\\";
  EXPECT_EQ(fake_.FileText(d + "ok.dll"), "ok");
  EXPECT_EQ(fake_.FileText(d + "oem1.inf").substr(0, 9), "[Version]") << "named after itself, not the catalog";
  for (const Text& outside : {"D:\\MV_OSR\\bakfile\\x.dll", "D:\\MV_OSR\\x.dll", "D:\\x.dll", "D:\\evil.cat",
                              "D:\\MV_OSR\\bakfile\\evil.cat", "D:\\MV_OSR\\bakfile\\up.inf", "D:\\MV_OSR\\up.inf"}) {
    EXPECT_FALSE(fake_.FileExists(outside)) << outside;
  }
  EXPECT_EQ(fake_.FileText("D:\\MV_OSR\\y.dll"), "y");
  EXPECT_NE(LogText().find("INF名称无效，已跳过：..\\..\\..\\x.dll"), std::string::npos) << LogText();
  EXPECT_EQ(DriverFolderName(".."), "_");
}

}  // namespace
}  // namespace mv
