// The start-up on the fake machine: the choice of the work directory, what it
// creates, the log lines of a first and a second start, the tool files, the
// fatal end without a usable drive, cookie and cache clearing.
#include <filesystem>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/window_names.h"
#include "core_fixture.h"
#include "tests/support/log_messages.h"
#include "ui/model.h"

namespace mv {
namespace {

constexpr WindowRef kMainWindow = 0x1234;

class WorkDirTest : public CoreTest {};

TEST_F(WorkDirTest, DriveDFirstWhateverItsFreeSpace) {
  fake_.AddDrive('D', kDriveFixed, 1);  // almost full
  fake_.AddDrive('E', kDriveFixed, 900LL * 1024 * 1024);
  EXPECT_EQ(ChooseWorkDirectory(), "D:\\MV_OSR\\");
  EXPECT_EQ(WorkDir(), "D:\\MV_OSR\\");
}

TEST_F(WorkDirTest, OtherwiseTheHighestFixedDriveWithReadableFreeSpace) {
  // D: is a CD-ROM; C: and E: are fixed.
  fake_.AddDrive('D', kDriveCdrom);
  fake_.AddDrive('E', kDriveFixed);
  EXPECT_EQ(ChooseWorkDirectory(), "E:\\MV_OSR\\");

  // Removable, network and RAM-disk drives above E: do not count.
  fake_.AddDrive('F', kDriveRemovable);
  fake_.AddDrive('G', kDriveRemote);
  fake_.AddDrive('H', kDriveRamdisk);
  EXPECT_EQ(ChooseWorkDirectory(), "E:\\MV_OSR\\");

  // A fixed D: whose free space cannot be read loses its precedence, and a
  // higher drive that fails the same way is passed over.
  fake_.AddDrive('D', kDriveFixed, -1);
  fake_.AddDrive('E', kDriveFixed, -1);
  EXPECT_EQ(ChooseWorkDirectory(), "C:\\MV_OSR\\");
}

TEST_F(WorkDirTest, OnlyTheSystemDriveOrNone) {
  EXPECT_EQ(ChooseWorkDirectory(), "C:\\MV_OSR\\");
  fake_.SetFreeSpaceKb('C', -1);
  EXPECT_EQ(ChooseWorkDirectory(), "");
  fake_.RemoveDrive('C');
  EXPECT_EQ(ChooseWorkDirectory(), "");
  EXPECT_EQ(WorkDir(), "");
}

class StartUpTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    fake_.AddDrive('D', kDriveCdrom);
    fake_.AddDrive('E', kDriveFixed);
  }
  // A new run of the program on the same machine.
  void Restart() {
    ResetProcessState();
    CloseLog();
  }
  std::string LogText() { return fake_.FileText("E:\\MV_OSR\\MV_OSR.log"); }
  std::vector<std::string> LogMessages() { return mv::test::LogMessages(LogText()); }
};

TEST_F(StartUpTest, FirstStartPreparesTheWorkDirectory) {
  At(9, 5, 7);
  StartUp(kMainWindow);

  EXPECT_EQ(WorkDir(), "E:\\MV_OSR\\");
  EXPECT_EQ(PeTaskFilePath(), "C:\\\\WinPE\\DaVidAZ.INI");
  EXPECT_EQ(BcdeditPath(), "E:\\MV_OSR\\tools\\bcdedit.exe");
  EXPECT_EQ(WimlibPath(), "E:\\MV_OSR\\tools\\wimlib.exe");
  EXPECT_EQ(LibraryFolder(), "E:\\MV_OSR\\");
  EXPECT_EQ(ui::MainModel().Text(names::kTitleLabel), "Marvolt系统云重装 - Marvolt System Cloud Reinstall");
  EXPECT_EQ(ui::MainModel().Text(names::kVersionLabel), "OSR1.1.19.819");

  for (const char* folder : {"tools", "bakfile", "os_bak", "download"})
    EXPECT_NE(fake_.GetAttributes(std::string("E:\\MV_OSR\\") + folder) & kAttrDirectory, 0u) << folder;
  EXPECT_EQ(fake_.GetAttributes("E:\\MV_OSR\\tools") & ~kAttrDirectory, kAttrHidden);

  const std::string notice = fake_.FileText("E:\\MV_OSR\\此目录为重要文件请勿删除.txt");
  EXPECT_EQ(notice, "Marvolt系统云重装提醒您：此目录存放系统备份还原所需重要标识文件(包括本文件)，请勿删除，谢谢。");
  EXPECT_EQ(notice.back(), '\xA3');  // ends with the GBK full stop: no line break, no zero

  // Every file of the manifest but the separately written one, with its bytes.
  size_t n = 0;
  const PayloadEntry* t = PayloadTable(&n);
  for (size_t i = 0; i < n; ++i) {
    const Text path = PayloadTargetPath(t[i]);
    if (t[i].rule == PayloadRule::kSeparate) {
      EXPECT_FALSE(fake_.FileExists(path)) << path;
      continue;
    }
    EXPECT_EQ(fake_.FileText(path), Carried(t[i].id)) << path;
  }
  EXPECT_EQ(fake_.FileText("C:\\boot\\boot.sdi").substr(0, 8), "$SDI0001");

  const std::string ts = "2019年8月19日9时5分7秒";
  EXPECT_EQ(LogText(), ts + "     " + ts + " main_sub\r\n" +  //
                           ts + "     WriteFile_bcdedit.exe\r\n" + ts + "     真\r\n" +  //
                           ts + "     WriteFile_boot.sdi\r\n" + ts + "     真\r\n" +     //
                           ts + "     WriteFile_bootsect.exe\r\n" + ts + "     真\r\n");
}

TEST_F(StartUpTest, SecondStartKeepsEverythingAndAppends) {
  At(10, 0, 0);
  StartUp(kMainWindow);
  // Between the runs: old files, an edited notice, a damaged bcdedit, an
  // engine library that an update changed.
  ASSERT_TRUE(fake_.PutFile("E:\\MV_OSR\\os_bak\\OS_Bak1.WIM", "image"));
  ASSERT_TRUE(fake_.PutFile("E:\\MV_OSR\\此目录为重要文件请勿删除.txt", "edited"));
  ASSERT_TRUE(fake_.PutFile("E:\\MV_OSR\\tools\\bcdedit.exe", "damaged"));
  ASSERT_TRUE(fake_.PutFile("E:\\MV_OSR\\xldl.dll", "old engine"));
  const std::string first_log = LogText();

  Restart();
  At(10, 5, 0);
  StartUp(kMainWindow);

  EXPECT_EQ(fake_.FileText("E:\\MV_OSR\\os_bak\\OS_Bak1.WIM"), "image");
  EXPECT_EQ(fake_.FileText("E:\\MV_OSR\\此目录为重要文件请勿删除.txt"),
            "Marvolt系统云重装提醒您：此目录存放系统备份还原所需重要标识文件(包括本文件)，请勿删除，谢谢。");
  EXPECT_EQ(fake_.FileText("E:\\MV_OSR\\tools\\bcdedit.exe"), "damaged");  // present: never replaced
  EXPECT_EQ(fake_.FileText("E:\\MV_OSR\\xldl.dll"), Carried(kPayloadXldl));  // rewritten at every start
  EXPECT_EQ(LogText(), first_log + "2019年8月19日10时5分     2019年8月19日10时5分 main_sub\r\n");
}

TEST_F(StartUpTest, PresentBootImageIsNotTouched) {
  ASSERT_TRUE(fake_.PutFile("C:\\boot\\boot.sdi", "earlier image"));
  StartUp(kMainWindow);
  EXPECT_EQ(fake_.FileText("C:\\boot\\boot.sdi"), "earlier image");
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{LogMessages()[0], "WriteFile_bcdedit.exe", "真",
                                                     "WriteFile_bootsect.exe", "真"}));
}

TEST_F(StartUpTest, HooksRunInTheirPlaces) {
  std::vector<std::string> order;
  auto note = [this, &order](const char* what) {
    return [this, &order, what](WindowRef w) {
      EXPECT_EQ(w, kMainWindow);
      order.push_back(std::string(what) + (WorkDir().empty() ? " nowd" : "") + (LogIsOpen() ? " log" : "") +
                      (fake_.FileExists("E:\\MV_OSR\\xldl.dll") ? " tools" : ""));
    };
  };
  SetStartupHook(StartupHook::kStartBackupSearch, note("search"));
  SetStartupHook(StartupHook::kResizeBrowserPanes, note("panes"));
  SetStartupHook(StartupHook::kShowFirstPage, note("page"));
  SetStartupHook(StartupHook::kAttachShadow, note("shadow"));
  SetStartupHook(StartupHook::kPublishBackupFolders, note("publish"));
  SetStartupHook(StartupHook::kInstallBrowserHook, note("mousehook"));
  StartUp(kMainWindow);
  EXPECT_EQ(order, (std::vector<std::string>{"panes nowd", "shadow nowd", "page nowd", "publish", "mousehook log tools",
                                             "search log tools"}));
}

TEST_F(StartUpTest, NoUsableDriveShowsTheErrorAndEndsWithNothingCreated) {
  fake_.RemoveDrive('E');
  fake_.SetDriveType('C', kDriveRemote);
  bool published = false;
  SetStartupHook(StartupHook::kPublishBackupFolders, [&](WindowRef) { published = true; });
  try {
    StartUp(kMainWindow);
    ADD_FAILURE() << "the start-up went on without a work directory";
  } catch (const FakeProcessEnded& e) {
    EXPECT_NE(e.code, 0);
  }
  const auto dialogs = fake_.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].text, "程序运行出错，计算机上没有符合程序运行的要求。\r\n没有多余可写的硬盘分区用于存储临时文件");
  EXPECT_EQ(dialogs[0].caption, "错误");
  EXPECT_EQ(dialogs[0].flags & 0xF0, kMbIconError);
  EXPECT_EQ(dialogs[0].owner, kMainWindow);
  EXPECT_FALSE(published);
  EXPECT_FALSE(LogIsOpen());
  namespace fs = std::filesystem;
  for (const auto& e : fs::recursive_directory_iterator(fake_.Root()))
    EXPECT_EQ(e.path().filename().string().find("MV_OSR"), std::string::npos) << e.path();
  EXPECT_FALSE(fake_.FileExists("C:\\boot"));
}

class ToolFilesTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    SetWorkDir("C:\\MV_OSR\\");
    fake_.CreateFolder("C:\\MV_OSR");
    fake_.CreateFolder("C:\\MV_OSR\\tools");
  }
};

TEST_F(ToolFilesTest, OnlySetOneWritesAnything) {
  WriteToolFiles(2, 0);
  WriteToolFiles(0, 1);
  EXPECT_EQ(BcdeditPath(), "");
  EXPECT_FALSE(fake_.FileExists("C:\\MV_OSR\\xldl.dll"));
  EXPECT_FALSE(fake_.FileExists("C:\\MV_OSR\\download"));
}

TEST_F(ToolFilesTest, AFileInUseKeepsItsContentAndTheRestIsWritten) {
  ASSERT_TRUE(fake_.PutFile("C:\\MV_OSR\\xldl.dll", "loaded engine"));
  const Handle in_use = fake_.OpenRead("C:\\MV_OSR\\xldl.dll");
  ASSERT_NE(in_use, kNoHandle);
  WriteToolFiles(1, 0);
  fake_.Close(in_use);
  EXPECT_EQ(fake_.FileText("C:\\MV_OSR\\xldl.dll"), "loaded engine");
  EXPECT_EQ(fake_.FileText("C:\\MV_OSR\\tools\\bootsect.exe"), Carried(kPayloadBootsect));
}

TEST_F(ToolFilesTest, SeparateEntryIsWrittenOnRequest) {
  EXPECT_TRUE(WritePayloadFile(kPayloadQzDir));
  EXPECT_EQ(fake_.FileText("C:\\MV_OSR\\tools\\QzDir.exe"), Carried(kPayloadQzDir));
  EXPECT_FALSE(WritePayloadFile(1));
}

TEST_F(ToolFilesTest, AFailedConditionalWriteIsLoggedAsFalse) {
  // The "boot" folder cannot be made: a file of that name is in the way.
  ASSERT_TRUE(fake_.PutFile("C:\\boot", "not a folder"));
  OpenLog();
  WriteToolFiles(1, 0);
  const std::string log = fake_.FileText("C:\\MV_OSR\\MV_OSR.log");
  EXPECT_NE(log.find("WriteFile_boot.sdi\r\n"), std::string::npos);
  EXPECT_NE(log.find("     假\r\n"), std::string::npos) << log;
}

// A build with the real boot files meets a machine where an earlier build
// left stand-ins: those are replaced (and logged like a first write); the
// real files already there are kept, and a stand-in is never replaced by a
// stand-in.
TEST_F(ToolFilesTest, AStandInOnDiskGivesWayToTheRealFile) {
  class RealBootFiles : public PayloadSource {
   public:
    bool Read(int id, Bytes& out) override {
      const std::string real = id == kPayloadBcdedit ? "MZ real bcdedit" : id == kPayloadBootSdi ? "$SDI0001 real" : "";
      if (real.empty()) return BuiltInPayload().Read(id, out);
      out.assign(real.begin(), real.end());
      return true;
    }
  } real;
  ASSERT_FALSE(IsStandIn(Bytes{'M', 'Z'}));
  const std::string carried = Carried(kPayloadBootsect);
  ASSERT_TRUE(IsStandIn(Bytes(carried.begin(), carried.end())));
  SetPayloadSource(&real);
  ASSERT_TRUE(fake_.PutFile("C:\\MV_OSR\\tools\\bcdedit.exe", Carried(kPayloadBcdedit)));
  ASSERT_TRUE(fake_.PutFile("C:\\MV_OSR\\tools\\bootsect.exe", Carried(kPayloadBootsect)));
  fake_.CreateFolder("C:\\boot");
  ASSERT_TRUE(fake_.PutFile("C:\\boot\\boot.sdi", "$SDI0001 the machine's own"));
  OpenLog();
  WriteToolFiles(1, 0);
  EXPECT_EQ(fake_.FileText("C:\\MV_OSR\\tools\\bcdedit.exe"), "MZ real bcdedit");
  EXPECT_EQ(fake_.FileText("C:\\boot\\boot.sdi"), "$SDI0001 the machine's own");
  EXPECT_EQ(fake_.FileText("C:\\MV_OSR\\tools\\bootsect.exe"), Carried(kPayloadBootsect))
      << "only a stand-in is carried for it: nothing to gain";
  const std::string log = fake_.FileText("C:\\MV_OSR\\MV_OSR.log");
  EXPECT_NE(log.find("WriteFile_bcdedit.exe\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("WriteFile_boot.sdi"), std::string::npos) << log;
  EXPECT_EQ(log.find("WriteFile_bootsect.exe"), std::string::npos) << log;

  // The next start finds the real file and leaves it alone.
  WriteToolFiles(1, 0);
  const std::string again = fake_.FileText("C:\\MV_OSR\\MV_OSR.log");
  EXPECT_EQ(again.find("WriteFile_bcdedit.exe", log.find("WriteFile_bcdedit.exe") + 1), std::string::npos) << again;

  // A tool that is not what the program carries (damaged, or another
  // version) is replaced too; the boot image is the machine's and stays.
  ASSERT_TRUE(fake_.PutFile("C:\\MV_OSR\\tools\\bcdedit.exe", "MZ damaged"));
  WriteToolFiles(1, 0);
  EXPECT_EQ(fake_.FileText("C:\\MV_OSR\\tools\\bcdedit.exe"), "MZ real bcdedit");
  EXPECT_EQ(fake_.FileText("C:\\boot\\boot.sdi"), "$SDI0001 the machine's own");
}

class BrowserTest : public CoreTest {};

TEST_F(BrowserTest, SiteDomainKeepsTheLastTwoLabels) {
  EXPECT_EQ(SiteDomain("http://www.marvolt.example/"), "marvolt.example");
  EXPECT_EQ(SiteDomain("https://a.b.shop.example.com:8080/x/y"), "example.com");
  EXPECT_EQ(SiteDomain("http://example.com"), "example.com");
  EXPECT_EQ(SiteDomain("http://localhost:18080/"), "localhost");
}

TEST_F(BrowserTest, CookiesAreExpiredTwiceEachWithTrimmedNames) {
  const Text url = "http://www.marvolt.example/";
  fake_.AddCookie(url, "sid", "abc");
  fake_.AddCookie(url, " theme ", "dark");
  fake_.AddCookie(url, "gone", "deleted");
  ClearSiteCookies(url);
  const Text a = "deleted; expires=Fri, 1-Jan-1999 1:1:1 GMT; path=/;";
  const Text b = a + " domain=marvolt.example";
  EXPECT_EQ(fake_.CookiesSet(), (std::vector<std::vector<Text>>{
                                    {url, "sid", a}, {url, "sid", b}, {url, "theme", a}, {url, "theme", b}}));
}

TEST_F(BrowserTest, CacheFolderIsEmptiedButKept) {
  const Text cache = SpecialFolder(12);
  ASSERT_FALSE(cache.empty());
  ASSERT_TRUE(fake_.PutFile(cache + "a.htm", "x"));
  ASSERT_TRUE(fake_.PutFile(cache + "Content.IE5\\X1\\b.gif", "y"));
  fake_.SetAttributes(cache + "a.htm", kAttrReadOnly);
  ASSERT_TRUE(fake_.PutFile("C:\\keep.txt", "z"));
  ClearBrowserCache();
  EXPECT_EQ(fake_.UrlCacheClears(), 1);
  EXPECT_TRUE(fake_.ListFolder(cache + "*").empty());
  EXPECT_TRUE(fake_.FileExists(cache));
  // With no cache folder known, nothing else is touched.
  fake_.SetShellFolder(32, "");
  ClearBrowserCache();
  EXPECT_EQ(fake_.FileText("C:\\keep.txt"), "z");
}

class FolderTest : public CoreTest {};

TEST_F(FolderTest, SpecialFoldersEndWithABackslash) {
  fake_.SetWindowsDirectory("C:\\WINDOWS");
  fake_.SetSystemDirectory("C:\\WINDOWS\\system32");
  EXPECT_EQ(SpecialFolder(9), "C:\\WINDOWS\\");
  EXPECT_EQ(SpecialFolder(10), "C:\\WINDOWS\\system32\\");
  EXPECT_EQ(SpecialFolder(0), SpecialFolder(3));
  EXPECT_EQ(SpecialFolder(3), fake_.ShellFolder(16) + "\\");
  EXPECT_TRUE(EndsWith(SpecialFolder(11), "\\"));
  EXPECT_FALSE(EndsWith(SpecialFolder(11), "\\\\"));
  EXPECT_EQ(SpecialFolder(13), "");
  EXPECT_EQ(SpecialFolder(-1), "");
  fake_.SetShellFolder(5, "");
  EXPECT_EQ(SpecialFolder(1), "");
  EXPECT_EQ(SystemDrive(), "C:\\");
  fake_.SetWindowsDirectory("E:\\WIN");
  EXPECT_EQ(WindowsDrive(), "E:\\");
}

TEST_F(FolderTest, UrlDecodeOfUtf8GivesGbk) {
  // "中" as three upper-case UTF-8 escapes becomes its two GBK bytes.
  EXPECT_EQ(UrlDecode("%E4%B8%AD", true), "\xD6\xD0");
  EXPECT_EQ(UrlDecode("Win10+%E4%B8%93%E4%B8%9A%E7%89%88", true), "Win10+专业版");
  // Lower-case escapes stay as they are, with or without the flag.
  EXPECT_EQ(UrlDecode("%e4%b8%ad", true), "%e4%b8%ad");
}

}  // namespace
}  // namespace mv
