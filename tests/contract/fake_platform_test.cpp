// The fake's own knobs, which the contract cases cannot reach: scripted
// answers, the fake clock, recorded commands and the machine facts tests set.
#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace mv {
namespace {

LocalTime At(int y, int mo, int d, int h, int mi, int s) {
  LocalTime t;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  return t;
}

TEST(FakePlatform, DialogsAreAnsweredFromTheQueueAndRecorded) {
  FakePlatform fake;
  fake.QueueAnswer(kResYes);
  fake.SetDefaultAnswer(kResNo);
  EXPECT_EQ(fake.ShowMessageBox("确定吗？", kMbYesNo | kMbIconQuestion, "提示", 42), kResYes);
  EXPECT_EQ(fake.ShowMessageBox("又一次", kMbYesNo, "", 0), kResNo);
  EXPECT_EQ(fake.AskWithCaptions("离线", kMbYesNo, "", 7, {"", "", "", "", "", "继续", "退出"}), kResNo);
  std::vector<FakeDialog> shown = fake.Dialogs();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "确定吗？");
  EXPECT_EQ(shown[0].caption, "提示");
  EXPECT_EQ(shown[0].flags, kMbYesNo | kMbIconQuestion);
  EXPECT_EQ(shown[0].owner, 42u);
  EXPECT_EQ(shown[0].answer, kResYes);
  EXPECT_EQ(shown[1].caption, "信息：");
  EXPECT_TRUE(shown[1].buttons.empty());
  EXPECT_EQ(shown[2].caption, "提示：");
  EXPECT_EQ(shown[2].buttons,
            (std::vector<Text>{"确认", "取消", "终止", "重试", "忽略", "继续", "退出"}));

  fake.SetDialogHandler([](const FakeDialog& d) { return d.text == "ok?" ? kResOk : kResCancel; });
  EXPECT_EQ(fake.ShowMessageBox("ok?", kMbOkCancel, "", 0), kResOk);
  EXPECT_EQ(fake.Dialogs().back().answer, kResOk);
}

TEST(FakePlatform, FakeClockMovesOnlyWhenAdvancedAndRollsOverDates) {
  FakePlatform fake;
  fake.UseFakeClock(At(2019, 12, 31, 23, 59, 58), 0xFFFFFF00u);
  std::vector<uint32_t> ticks;
  fake.SetClockHook([&](uint32_t tick) {
    ticks.push_back(tick);
    fake.Sleep(5);  // a hook that sleeps does not re-enter itself
  });
  EXPECT_EQ(fake.Now().second, 58);
  fake.Sleep(3000);
  LocalTime t = fake.Now();
  EXPECT_EQ(t.year, 2020);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.second, 1);
  EXPECT_EQ(t.milliseconds, 5);
  EXPECT_EQ(t.weekday, 3);  // a Wednesday
  EXPECT_EQ(ticks, std::vector<uint32_t>{0xFFFFFF00u + 3000u});
  EXPECT_EQ(fake.TickCount(), static_cast<uint32_t>(0xFFFFFF00u + 3005u)) << "wraps like GetTickCount";

  int events = 0;
  fake.SetEventHook([&] { ++events; });
  ticks.clear();
  fake.SleepPumping(120);
  EXPECT_EQ(ticks.size(), 3u) << "pumping waits advance in slices";
  EXPECT_GE(events, 3);
  t = fake.Now();
  fake.UseFakeClock(At(2020, 2, 28, 12, 0, 0));
  fake.AdvanceClock(24u * 3600 * 1000);
  EXPECT_EQ(fake.Now().day, 29) << "leap day";
}

TEST(FakePlatform, CommandsGoToTheirHandlersAndAreRecorded) {
  FakePlatform fake;
  fake.OnCommand("bcdedit.exe", [](const Text& line) { return "ran " + line; });
  fake.OnCommand("attrib", [](const Text&) { return Text("A"); });
  int events_before = fake.PendingEventCalls();
  EXPECT_EQ(fake.RunHidden("\"D:\\MV_OSR\\tools\\BCDEDIT.EXE\" /enum"), "ran \"D:\\MV_OSR\\tools\\BCDEDIT.EXE\" /enum");
  EXPECT_EQ(fake.RunHidden("bcdedit /v"), "ran bcdedit /v");
  EXPECT_EQ(fake.RunHidden("attrib -s -h C:\\boot.ini"), "A");
  EXPECT_EQ(fake.RunHidden("attribx"), "");
  EXPECT_EQ(fake.RunHidden("x", "C:\\bin\\attrib.exe"), "A") << "the interpreter is the program";
  EXPECT_GT(fake.PendingEventCalls(), events_before);
  EXPECT_EQ(fake.CommandsRun(),
            (std::vector<Text>{"\"D:\\MV_OSR\\tools\\BCDEDIT.EXE\" /enum", "bcdedit /v", "attrib -s -h C:\\boot.ini",
                               "attribx", "C:\\bin\\attrib.exe x"}));
}

// A 32-bit program on 64-bit Windows: the system directory it names is the
// WOW64 one, which lacks the 64-bit-only tools, unless it asks for the real one.
TEST(FakePlatform, Wow64ProgramReachesTheRealSystemDirectoryOnlyWhenAsked) {
  FakePlatform fake;
  const Text tool = "C:\\WINDOWS\\system32\\bcdedit.exe";
  fake.PutFile(tool, "MZ");
  fake.OnCommandWithCode("bcdedit", [](const Text&) { return CommandResult{"listed", 0}; });
  EXPECT_EQ(fake.RunHiddenCode(tool).exit_code, 0) << "a 64-bit program sees it";
  fake.SetWow64Program(true);
  EXPECT_TRUE(fake.HasWow64Directory());
  EXPECT_FALSE(fake.FileExists(tool));
  EXPECT_TRUE(fake.FileExists("C:\\WINDOWS\\Sysnative\\bcdedit.exe"));
  void* cookie = fake.DisableFsRedirection();
  EXPECT_TRUE(fake.FileExists(tool));
  fake.RevertFsRedirection(cookie);
  EXPECT_EQ(fake.RunHiddenCode(tool + " /enum").exit_code, 9009);
  const CommandResult real = fake.RunHiddenCode(tool + " /enum", true);
  EXPECT_EQ(real.exit_code, 0);
  EXPECT_EQ(real.output, "listed");
  EXPECT_EQ(fake.FsRedirectionDepth(), 0);
}

TEST(FakePlatform, DrivesCanFailTheirFreeSpaceQueryOrVanish) {
  FakePlatform fake;
  fake.AddDrive('D', kDriveFixed, -1);
  EXPECT_EQ(fake.DriveType("D:\\"), kDriveFixed);
  EXPECT_EQ(fake.FreeSpaceKb("d:"), -1);
  fake.SetFreeSpaceKb('D', 12);
  EXPECT_EQ(fake.FreeSpaceKb("D:\\"), 12);
  ASSERT_TRUE(fake.PutFile("D:\\a\\b.txt", "x"));
  EXPECT_EQ(fake.FileText("d:\\A\\B.TXT"), "x");
  EXPECT_NE(fake.HostPath("D:\\a\\b.txt").find(fake.Root()), std::string::npos);
  fake.SetDriveType('D', kDriveCdrom);
  EXPECT_EQ(fake.FreeSpaceKb("D:"), 12);
  fake.RemoveDrive('D');
  EXPECT_EQ(fake.DriveType("D:"), kDriveNoRoot);
  EXPECT_FALSE(fake.FileExists("D:\\a\\b.txt"));
  EXPECT_EQ(fake.HostPath("D:\\a"), "");
  EXPECT_EQ(fake.HostPath("relative\\path"), "");
}

TEST(FakePlatform, EndProcessThrowsTheCode) {
  FakePlatform fake;
  EXPECT_EQ(fake.EndedWith(), -1);
  try {
    fake.EndProcess(3);
    ADD_FAILURE() << "EndProcess returned";
  } catch (const FakeProcessEnded& e) {
    EXPECT_EQ(e.code, 3);
  }
  EXPECT_EQ(fake.EndedWith(), 3);
}

TEST(FakePlatform, NetworkAndLibrariesAreScripted) {
  FakePlatform fake;
  fake.SetUrlText("http://h/a.txt", "正常");
  fake.SetUrlHandler([](const Text& url) { return url == "http://h/b" ? Bytes{1, 2} : Bytes(); });
  EXPECT_EQ(fake.FetchUrl("http://h/a.txt").size(), 4u);
  EXPECT_EQ(fake.FetchUrl("http://h/b"), (Bytes{1, 2}));
  EXPECT_TRUE(fake.FetchUrl("http://h/c").empty());
  EXPECT_EQ(fake.UrlsFetched().size(), 3u);

  fake.AddCookie("http://www.example.com/", "sid", "1");
  fake.AddCookie("http://www.example.com/x", "u", "2");
  EXPECT_EQ(fake.GetCookies("http://WWW.example.com/", 0), "sid=1; u=2");
  EXPECT_TRUE(fake.SetCookie("http://www.example.com/", "sid", "deleted; expires=Fri, 1-Jan-1999 1:1:1 GMT; path=/;"));
  EXPECT_EQ(fake.GetCookies("http://www.example.com/", 8192), "sid=deleted; u=2");
  ASSERT_EQ(fake.CookiesSet().size(), 1u);
  EXPECT_EQ(fake.CookiesSet()[0][1], "sid");

  static int marker;
  fake.AddLibrary("xldl.dll", {{"XL_Init", &marker}});
  Handle lib = fake.LoadLibraryFrom("D:\\MV_OSR\\", "D:\\MV_OSR\\XLDL.DLL");
  ASSERT_NE(lib, kNoHandle);
  EXPECT_EQ(fake.FindFunction(lib, "XL_Init"), &marker);
  EXPECT_EQ(fake.FindFunction(lib, "XL_Other"), nullptr);
  EXPECT_EQ(fake.LoadLibraryFrom("D:\\", "other.dll"), kNoHandle);
  EXPECT_EQ(fake.LibraryLoads(), (std::vector<Text>{"D:\\MV_OSR\\", "D:\\"}));
}

TEST(FakePlatform, VersionTextsFollowTheirFile) {
  FakePlatform fake;
  ASSERT_TRUE(fake.PutFile("C:\\WINDOWS\\system32\\ntoskrnl.exe", "MZ"));
  fake.SetFileVersion("C:\\Windows\\System32\\NTOSKRNL.EXE", "6.1.7601.17514 (win7sp1_rtm.101119-1850)");
  EXPECT_EQ(fake.FileVersionText("c:\\windows\\system32\\ntoskrnl.exe"), "6.1.7601.17514 (win7sp1_rtm.101119-1850)");
  EXPECT_EQ(fake.FileVersionText("C:\\WINDOWS\\system32\\missing.exe"), "");
}

}  // namespace
}  // namespace mv
