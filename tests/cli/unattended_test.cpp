// The command line's unattended jobs on the fake machine, wired as the
// program wires them: each run ends with its exit code and the machine in
// the matching state, no box is ever shown, and what happened is said on the
// console.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "backup/data_backup.h"
#include "backup/requests.h"
#include "backup/wim_info.h"
#include "boot/readiness_gate.h"
#include "boot/restart.h"
#include "cli/commands.h"
#include "cli/unattended.h"
#include "core/command_line.h"
#include "core/console.h"
#include "core/service_host.h"
#include "core/window_names.h"
#include "platform/command_line.h"
#include "readiness/readiness_view.h"
#include "tests/reinstall/install_fixture.h"
#include "ui/main_window_logic.h"

namespace mv {
namespace {

class Unattended : public InstallTest {
 protected:
  void SetUp() override {
    InstallTest::SetUp();
    WireTheWizard();
    InstallReadinessCheck();
    SetImageIndexWindow([](WindowRef owner) { return ShowImageIndexWindow(owner); });
    BackupLinks backup;
    backup.set_busy = [](int busy) { ui::SetBusy(busy); };
    backup.prepare_pe = [] { PrepareBackupRestorePe(); };
    backup.show_index_window = [](WindowRef owner) { ShowImageIndexWindow(owner); };
    SetBackupLinks(backup);
    fake.SetUrlText(service::NetProbeUrl(), service::kNetProbeOk);
    SetConsoleWriter([this](const Text& line) { said_ += line + "\n"; });
  }
  void TearDown() override {
    ResetUnattendedJob();
    SetConsoleWriter({});
    SetReadinessGate(nullptr);
    SetIndexWindowRunner(nullptr);
    SetImageIndexWindow(nullptr);
    ResetJob();
    ui::ResetMainWindowLogic();
    SetBackupLinks(BackupLinks());
    ResetRestartState();
    InstallTest::TearDown();
  }

  // The program's way with a command line; `meanwhile` runs while the
  // window's timers do. The exit code.
  int Run(const std::vector<Text>& args, const std::function<void()>& meanwhile = {}) {
    const ProgramCommand c = ParseProgramArguments(args);
    const int code = RunCommandWithoutWindow(c, true);
    if (code >= 0) return code;
    PrepareUnattendedJob(c);
    try {
      RunUnattendedJob(1);
      for (int i = 0; i < 20000; ++i) {
        ui::Fire(kJobTimer, "timer");
        ui::Fire("时钟_无人值守", "timer");
        if (meanwhile) meanwhile();
        usleep(1000);
      }
    } catch (const FakeProcessEnded& end) {
      return end.code;
    }
    ADD_FAILURE() << "the run did not end: " << said_;
    return -1;
  }
  void ExpectFailure(const std::vector<Text>& extra, int code) {
    std::vector<Text> args = {"/install", Link(Md5Of(kImage)), "/restart", "no"};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(Run(args), code) << said_;
    EXPECT_FALSE(TaskFile());
    EXPECT_EQ(PeEntries(), 0);
    EXPECT_TRUE(fake.Dialogs().empty());
    EXPECT_TRUE(Said("（退出码 " + std::to_string(code) + "）")) << said_;
  }
  // A second run in the same test: the program starts afresh.
  void Again() {
    said_.clear();
    ResetUnattendedJob();
    ResetRestartState();
  }
  Text Link(const Text& md5) { return "http://h/images/Win10.wim?type=Win10.wim&md5=" + md5 + "&&os_name=Win10&"; }
  bool Said(const Text& text) { return said_.find(text) != Text::npos; }
  int PeEntries() {
    int n = 0;
    const bcdstandin::Store store = Store();
    for (const auto* e : store.OfKind("osloader")) n += e->Get("description") == "Win10PE By Marvolt OSR";
    return n;
  }

  Text said_;
};

TEST_F(Unattended, CatalogueInstallLeavesTheMachineReadyWithoutAnyBox) {
  EXPECT_EQ(Run({"/install", Link(Md5Of(kImage)), "/restart", "no"}), kExitReady) << said_;
  EXPECT_EQ(Ini("task"), "3");
  EXPECT_EQ(Ini("FilePtah"), "\\MV_OSR\\Win10.wim");
  EXPECT_EQ(PeEntries(), 1);
  EXPECT_EQ(fake.FileText("C:\\WinPE\\boot.wim"), kPe);
  EXPECT_EQ(fake.RestartRequests(), 0);
  EXPECT_TRUE(fake.Dialogs().empty());
  EXPECT_TRUE(Said("安装前检查[通过] PE下载页")) << said_;
  EXPECT_TRUE(Said("下载文件：完成")) << said_;
  EXPECT_TRUE(Said("结果：已就绪，PE任务文件和启动项已写入，未重启（退出码 0）"));
  EXPECT_NE(Log().find("结果：已就绪"), std::string::npos) << "every line goes to the run log too";
}

TEST_F(Unattended, AFailedCheckWritesNothingOutsideTheWorkDirectory) {
  const std::string store = bcdstandin::Serialize(Store());
  SetPePage("");  // the service host does not answer
  EXPECT_EQ(Run({"/install", Link(Md5Of(kImage))}), kExitCheckFailed);
  EXPECT_TRUE(Said("安装前检查[未通过] PE下载页"));
  EXPECT_FALSE(fake.FileExists("C:\\WinPE"));
  EXPECT_FALSE(fake.FileExists("C:\\boot\\boot.sdi")) << "the start-up did not run";
  EXPECT_FALSE(fake.FileExists("D:\\MV_OSR\\Win10.wim"));
  EXPECT_EQ(bcdstandin::Serialize(Store()), store);
  EXPECT_TRUE(fake.Dialogs().empty());
}

// Each way an install can fail ends with its own exit code, no hand-off
// and no box.
TEST_F(Unattended, ADownloadThatFailsEndsWithItsCode) {
  engine_.ScriptNextTask({dl::test::FakeStatus{true, 1}});
  ExpectFailure({}, kExitDownloadFailed);
}

TEST_F(Unattended, AnImageWithTheWrongDigestEndsWithItsCode) {
  served_["Win10.wim"] = "another image";
  ExpectFailure({}, kExitVerifyFailed);
}

TEST_F(Unattended, RefusedBootEntriesEndWithTheHandOffCode) {
  fake.OnCommandWithCode("bcdedit.exe", [this](const Text& line) {
    return line.find("/create") != Text::npos ? CommandResult{"refused", 1} : BcdeditRun(line);
  });
  ExpectFailure({}, kExitHandOffFailed);
}

TEST_F(Unattended, DocumentsThatCouldNotBeSavedStopTheHandOff) {
  const Text documents = SpecialFolder(1);
  fake.PutFile(documents + "letter.txt", "x");
  fake.DenyListing(documents.substr(0, documents.size() - 1));
  ExpectFailure({"/backup", "docs"}, kExitHandOffFailed);
  EXPECT_TRUE(Said("是否继续安装系统？ —— 无人值守回答：否")) << said_;
}

TEST_F(Unattended, ClosingTheWindowStopsTheJob) {
  engine_.ScriptNextTask({dl::test::FakeStatus{true, 0, 300000, 10, 0.01f, 100}});  // never ends
  bool closed = false;
  const int code = Run({"/install", Link(Md5Of(kImage))}, [&] {
    if (!closed && engine_.Count("query:101") > 0) {
      closed = true;
      ui::Fire(names::kMainWindow, "close");
    }
  });
  EXPECT_EQ(code, kExitCancelled) << said_;
  EXPECT_FALSE(TaskFile());
  EXPECT_TRUE(fake.Dialogs().empty());
}

TEST_F(Unattended, LocalWimNeedsItsIndexWhenItHoldsSeveral) {
  std::ifstream xml(MV_WIM_TEST_DATA "/editions.xml", std::ios::binary);
  const std::string editions((std::istreambuf_iterator<char>(xml)), std::istreambuf_iterator<char>());
  fake.PutFile("E:\\imgs\\three.wim", "WIM");
  fake.OnCommand("wimlib.exe", [this, editions](const Text& line) {
    fake.PutFile(SplitCommandLine(line).back(), editions);
    return Text();
  });
  EXPECT_EQ(Run({"/install", "E:\\imgs\\three.wim", "/restart", "no"}), kExitCheckFailed);
  EXPECT_TRUE(Said("镜像中有 3 个映像，请用 /index N 指定")) << said_;
  EXPECT_TRUE(Said("  2  Windows 10 Pro"));
  EXPECT_FALSE(TaskFile());

  Again();
  EXPECT_EQ(Run({"/install", "E:\\imgs\\three.wim", "/index", "2", "/restart", "no"}), kExitReady) << said_;
  EXPECT_EQ(Ini("Index"), "2");
  EXPECT_EQ(fake.FileText("D:\\MV_OSR\\three.wim"), "WIM");
  EXPECT_TRUE(fake.Dialogs().empty());
}

TEST_F(Unattended, BackupAndRestoreRequestsHandOffAsTheirButtonsDo) {
  EXPECT_EQ(Run({"/backup-system", "装机前", "/restart", "no"}), kExitReady) << said_;
  EXPECT_EQ(Ini("task"), "4");
  EXPECT_EQ(PeEntries(), 1);
  EXPECT_TRUE(Said("备份名称：装机前 —— 无人值守回答：是"));

  Again();
  fake.PutFile("E:\\os_bak\\old.GHO", "ghost");
  EXPECT_EQ(Run({"/restore", "E:\\os_bak\\old.GHO", "/restart", "now"}), kExitReady) << said_;
  EXPECT_EQ(Ini("task"), "1");
  EXPECT_EQ(fake.RestartRequests(), 1);
  EXPECT_TRUE(fake.Dialogs().empty());
}

// Nothing on the machine changes for arguments that are wrong.
TEST(UnattendedArguments, BadArgumentsChangeNothing) {
  FakePlatform fake;
  SetPlatform(&fake);
  ResetProcessState();
  fake.AddDrive('D');
  auto files = [&] {
    std::set<std::string> all;
    for (const auto& e : std::filesystem::recursive_directory_iterator(fake.Root())) all.insert(e.path().string());
    return all;
  };
  const std::set<std::string> before = files();
  Text said;
  SetConsoleWriter([&](const Text& line) { said += line; });
  for (const std::vector<Text>& args : std::vector<std::vector<Text>>{
           {"/install"}, {"/install", "D:\\missing.wim"}, {"/restore", "D:\\x.iso"}, {"/install", "D:\\a.wim", "/zap"}})
    EXPECT_EQ(RunCommandWithoutWindow(ParseProgramArguments(args), true), kExitBadArguments) << args[0];
  EXPECT_EQ(files(), before);
  EXPECT_NE(said.find("镜像文件不存在：D:\\missing.wim"), Text::npos);
  EXPECT_NE(said.find(kProgramUsage), Text::npos);
  EXPECT_TRUE(fake.Dialogs().empty());
  SetConsoleWriter({});
  SetPlatform(nullptr);
}

}  // namespace
}  // namespace mv
