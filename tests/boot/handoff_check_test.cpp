// On a Windows PC the hand-off must never run with the project's stand-in
// boot files: the stand-in bcdedit only edits its own text store, so the
// machine would restart into the old system while the program said the PE
// was set up. These tests run the hand-off on a fake machine that is not
// Wine and check that it refuses before touching anything and that no
// restart follows; and that the real files (or Wine) let it through.
#include <gtest/gtest.h>

#include <map>

#include "boot/boot_entries.h"
#include "boot/boot_names.h"
#include "boot/restart.h"
#include "boot_machine.h"
#include "core/log.h"
#include "core/payload.h"
#include "download/tasks.h"
#include "ui/model.h"

using boottest::BootMachine;
using mv::Text;
namespace names = mv::names;

namespace {

const char kRecord[] = "C:\\WINDOWS\\ZaRuzoVev.ini";
const char kTool[] = "D:\\MV_OSR\\tools\\bcdedit.exe";
const char kSdi[] = "C:\\boot\\boot.sdi";
const mv::WindowRef kMainWindow = 0x5150;

// A deployer's build: real bytes for the boot tool and image, the rest as built.
class DeployerBootFiles : public mv::PayloadSource {
 public:
  std::map<int, mv::Bytes> real;
  DeployerBootFiles() {
    real[mv::kPayloadBcdedit] = Bytes("MZ\x90 boot configuration editor");
    real[mv::kPayloadBootSdi] = Bytes("$SDI0001 RAM-disk image");
  }
  static mv::Bytes Bytes(const std::string& s) { return mv::Bytes(s.begin(), s.end()); }
  bool Read(int id, mv::Bytes& out) override {
    auto it = real.find(id);
    if (it == real.end()) return mv::BuiltInPayload().Read(id, out);
    out = it->second;
    return true;
  }
};

std::string Carried(int id) {
  mv::Bytes b;
  EXPECT_TRUE(mv::BuiltInPayload().Read(id, b));
  return std::string(b.begin(), b.end());
}

class HandOffOnWindows : public BootMachine {
 protected:
  DeployerBootFiles deployer;
  void SetUp() override {
    BootMachine::SetUp();
    fake.SetRunningUnderWine(false);  // a Windows PC
    fake.SetFirstVisibleOwnWindow(kMainWindow);
    fake.PutFile("C:\\WinPE\\boot.wim", "MSWIM");
    mv::ResetRestartState();
    mv::dl::SetBusyFlag(1);
    mv::OpenLog();
  }
  void TearDown() override {
    mv::CloseLog();
    mv::SetPayloadSource(nullptr);
    mv::ResetRestartState();
    BootMachine::TearDown();
  }
  Text LogText() { return fake.FileText("D:\\MV_OSR\\MV_OSR.log"); }

  // The hand-off was refused for the named files: one error box owned by the
  // main window, no command run, the boot configuration and record untouched.
  void ExpectRefused(const Text& files, const std::string& store_before) {
    const auto dialogs = fake.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "无法添加PE启动项：启动文件（" + files +
                                   "）是测试用的替代文件，不是Windows的正式文件，用它无法进入PE系统。\r\n"
                                   "为保证电脑能正常启动，本次没有修改启动配置，也不会重启电脑，请到官网下载完整版本后再试。");
    EXPECT_EQ(dialogs[0].caption, "错误：");
    EXPECT_EQ(dialogs[0].flags & 0xF0, mv::kMbIconError);
    EXPECT_EQ(dialogs[0].owner, kMainWindow);
    EXPECT_TRUE(fake.CommandsRun().empty()) << fake.CommandsRun()[0];
    EXPECT_EQ(bcdstandin::Serialize(Store()), store_before);
    EXPECT_FALSE(fake.FileExists(kRecord));
    EXPECT_EQ(fake.IniRead("C:\\WinPE\\DaVidAZ.INI", "SYSTEM", "UID", "<none>"), "<none>");
  }
};

// The build as it is here (stand-ins carried), on a PC that is not Wine:
// refused, and neither the countdown nor the request's ending restarts.
TEST_F(HandOffOnWindows, CarriedStandInsAreRefusedAndNothingRestarts) {
  const std::string before = bcdstandin::Serialize(Store());
  EXPECT_FALSE(mv::PrepareBootEntries());
  ExpectRefused("bcdedit.exe、boot.sdi", before);
  EXPECT_NE(LogText().find("bcdedit_sub: 启动文件为测试用替代文件（bcdedit.exe、boot.sdi）"), Text::npos) << LogText();

  // A caller that goes on regardless: the request's ending returns at once.
  const uint32_t start = fake.TickCount();
  mv::FinishRequestWithRestart();
  EXPECT_EQ(fake.RestartRequests(), 0);
  EXPECT_EQ(fake.EndedWith(), -1);
  EXPECT_FALSE(mv::ui::MainModel().Get(names::kRestartNotice).visible);
  EXPECT_EQ(fake.TickCount(), start) << "no ten-second wait";
  EXPECT_EQ(mv::dl::BusyFlag(), 0);

  // ...and the countdown does not start, so the buttons keep their navigation.
  mv::StartRestartCountdown();
  EXPECT_EQ(mv::ui::MainModel().Get(names::kRestartTimer).timer_ms, 0);
  int navigated = 0;
  mv::OnNextButtonClick([&] { ++navigated; });
  EXPECT_EQ(navigated, 1);
  EXPECT_EQ(fake.RestartRequests(), 0);
  EXPECT_EQ(fake.Dialogs().size(), 1u) << "one box for the refusal, no restart question";
}

// The real tool carried, but a stand-in left on disk where the hand-off runs
// it (it could not be replaced): still refused, naming only that file. A
// stand-in RAM-disk image on disk is replaced by the real one carried.
TEST_F(HandOffOnWindows, AStandInToolOnDiskIsRefusedAStandInImageReplaced) {
  mv::SetPayloadSource(&deployer);
  fake.PutFile(kTool, Carried(mv::kPayloadBcdedit));
  fake.PutFile(kSdi, "$SDI0001 RAM-disk image");
  const std::string before = bcdstandin::Serialize(Store());
  EXPECT_FALSE(mv::PrepareBootEntries());
  ExpectRefused("bcdedit.exe", before);

  fake.ClearDialogs();
  fake.PutFile(kTool, "MZ real tool");
  fake.PutFile(kSdi, Carried(mv::kPayloadBootSdi));
  EXPECT_TRUE(mv::PrepareBootEntries());
  EXPECT_TRUE(fake.Dialogs().empty());
  EXPECT_EQ(fake.FileText(kSdi), "$SDI0001 RAM-disk image");
}

// A deployer's build on Windows: the hand-off goes ahead and the restart follows.
TEST_F(HandOffOnWindows, RealBootFilesLetTheHandOffThrough) {
  mv::SetPayloadSource(&deployer);
  fake.PutFile(kTool, "MZ real tool");
  fake.PutFile(kSdi, "$SDI0001 RAM-disk image");
  EXPECT_TRUE(mv::PrepareBootEntries());
  EXPECT_TRUE(fake.Dialogs().empty());
  EXPECT_FALSE(Store().OfKind("device").empty()) << "the PE entries were made";
  EXPECT_THROW(mv::FinishRequestWithRestart(), mv::FakeProcessEnded);
  EXPECT_EQ(fake.RestartRequests(), 1);
}

// Under Wine the stand-ins serve: the test harness, where nothing reboots.
TEST_F(HandOffOnWindows, UnderWineTheStandInsServe) {
  fake.SetRunningUnderWine(true);
  fake.PutFile(kTool, Carried(mv::kPayloadBcdedit));
  fake.PutFile(kSdi, Carried(mv::kPayloadBootSdi));
  EXPECT_TRUE(mv::PrepareBootEntries());
  EXPECT_TRUE(fake.Dialogs().empty());
  mv::StartRestartCountdown();
  EXPECT_EQ(mv::ui::MainModel().Get(names::kRestartTimer).timer_ms, 1000);
}

}  // namespace
