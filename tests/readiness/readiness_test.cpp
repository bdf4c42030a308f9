// The readiness check on the fake machine: a real PC (not Wine) running the
// 32-bit program on 64-bit Windows 7, with the build's stand-ins carried and
// the system's own bcdedit and boot.sdi in place. Everything passes there;
// each check made to fail on its own gives its own line and stops the jobs.
#include <gtest/gtest.h>

#include <functional>

#include "boot/readiness_gate.h"
#include "boot_machine.h"
#include "platform/fake/fake_platform.h"
#include "core/command_line.h"
#include "core/log.h"
#include "core/service_host.h"
#include "core/state.h"
#include "detect/partition_listing.h"
#include "download/pe_prepare.h"
#include "download/reinstall.h"
#include "readiness/check_command.h"
#include "readiness/readiness.h"
#include "readiness/readiness_names.h"
#include "readiness/readiness_view.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {
namespace {

const char kMd5[] = "0123456789ABCDEF0123456789ABCDEF";
const std::vector<Text> kNames = {"管理员权限", "固件与系统分区", "工作盘剩余空间", "启动配置工具",
                                  "启动镜像",   "目录写入",       "PE下载页"};

class Readiness : public boottest::BootMachine {
 protected:
  void SetUp() override {
    BootMachine::SetUp();
    fake.SetRunningUnderWine(false);
    fake.SetWow64Program(true);
    fake.PutFile("C:\\WINDOWS\\system32\\bcdedit.exe", "MZ the system's bcdedit");
    fake.PutFile("C:\\WINDOWS\\Boot\\DVD\\PCAT\\boot.sdi", "$SDI0001 the system's image");
    SetSystemPartitionValues("0:1", "MBR");
    fake.SetUrlText(service::PePageUrl(false), Text("x http://h/pe/pe.wim&filename=pe.wim&md5=") + kMd5 + "&");
    fake.SetUrlSize("http://h/pe/pe.wim", 300LL << 20);
    ui::MainModel().SetVisible(names::kDetectBusyIndicator, false);  // the survey has ended
  }
  void TearDown() override {
    SetReadinessGate(nullptr);
    ui::ClearHandlers();
    BootMachine::TearDown();
  }
  std::vector<ReadinessLine> Check(ReadinessJob job = ReadinessJob::kInstall) {
    ReadinessRequest r;
    r.job = job;
    return RunReadinessCheck(r);
  }
  // The names of the lines that failed.
  std::vector<Text> Failed(const std::vector<ReadinessLine>& lines) {
    std::vector<Text> out;
    for (const ReadinessLine& l : lines)
      if (!l.passed) out.push_back(l.name);
    return out;
  }
  // Host-side listing of a folder, to see that nothing was left behind.
  std::vector<Text> Listing(const Text& pattern) {
    std::vector<Text> out;
    for (const DirEntry& e : fake.ListFolder(pattern)) out.push_back(e.name);
    return out;
  }
};

TEST_F(Readiness, EverythingPassesOnARealPcWithTheSystemsOwnTools) {
  const std::vector<Text> work_before = Listing("D:\\MV_OSR\\*"), root_before = Listing("C:\\*");
  const std::string store_before = bcdstandin::Serialize(Store());
  const std::vector<ReadinessLine> lines = Check();
  ASSERT_EQ(lines.size(), kNames.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].name, kNames[i]);
    EXPECT_TRUE(lines[i].passed) << ReadinessLineText(lines[i]);
  }
  EXPECT_EQ(lines[1].reason, "BIOS + MBR，系统分区 0:1");
  EXPECT_NE(lines[3].reason.find("系统自带的 C:\\WINDOWS\\system32\\bcdedit.exe"), Text::npos) << lines[3].reason;
  EXPECT_NE(lines[4].reason.find("C:\\WINDOWS\\Boot\\DVD\\PCAT\\boot.sdi"), Text::npos) << lines[4].reason;
  EXPECT_EQ(lines[6].reason, Text("PE文件 pe.wim，MD5 ") + kMd5);
  EXPECT_NE(lines[2].reason.find("需要 300 MB"), Text::npos) << lines[2].reason;
  // Nothing changed: no probe file, no folder, no boot.sdi copied, the store as it was.
  EXPECT_EQ(Listing("D:\\MV_OSR\\*"), work_before);
  EXPECT_EQ(Listing("C:\\*"), root_before);
  EXPECT_EQ(bcdstandin::Serialize(Store()), store_before);
  EXPECT_EQ(fake.CommandsRun(), std::vector<Text>{"C:\\WINDOWS\\system32\\bcdedit.exe"}) << "only the listing";
}

// One check made to fail, by the name of its line.
struct Fault {
  const char* line;
  std::function<void(FakePlatform&)> make;
};
const Fault kFaults[] = {
    {"管理员权限", [](FakePlatform& f) { f.SetAdministrator(false); }},
    {"固件与系统分区", [](FakePlatform&) { SetSystemPartitionValues("", ""); }},
    {"工作盘剩余空间", [](FakePlatform& f) { f.SetFreeSpaceKb('D', 100 * 1024); }},
    {"启动配置工具",
     [](FakePlatform& f) {
       f.OnCommandWithCode("bcdedit.exe", [](const Text&) { return CommandResult{"拒绝访问。\r\n", 5}; });
     }},
    {"启动镜像", [](FakePlatform& f) { f.PutFile("C:\\WINDOWS\\Boot\\DVD\\PCAT\\boot.sdi", "MZ"); }},
    {"目录写入", [](FakePlatform& f) { f.PutFile("C:\\WinPE", "a file where the folder goes"); }},
    {"PE下载页",
     [](FakePlatform& f) { f.SetUrlText(service::PePageUrl(false), "x http://h/pe/pe.wim&filename=pe.wim&"); }},
};

class OneFault : public Readiness, public ::testing::WithParamInterface<size_t> {};

TEST_P(OneFault, GivesItsOwnLineAndStopsTheJobs) {
  const Fault& fault = kFaults[GetParam()];
  fault.make(fake);
  EXPECT_EQ(Failed(Check()), std::vector<Text>{fault.line});

  // The install does not start: no PE lookup; the box names the check.
  InstallReadinessCheck();
  Choice().file_name = "Win10.wim";
  Choice().url = "http://h/images/Win10.wim";
  EXPECT_FALSE(StartCloudInstall());
  EXPECT_TRUE(Pe().file_name.empty());
  ASSERT_EQ(fake.Dialogs().size(), 1u);
  EXPECT_EQ(fake.Dialogs()[0].caption, "错误：");
  EXPECT_NE(fake.Dialogs()[0].text.find("无法开始安装系统"), Text::npos);
  EXPECT_NE(fake.Dialogs()[0].text.find(Text(fault.line) + "："), Text::npos) << fake.Dialogs()[0].text;
  // Nor a backup or a restore; the lines are shown on the environment step.
  EXPECT_FALSE(PassReadinessGate(ReadinessJob::kBackup));
  EXPECT_FALSE(PassReadinessGate(ReadinessJob::kRestore, "E:\\bak.wim"));
  EXPECT_TRUE(ui::MainModel().Get(names::kReadinessList).visible);
  EXPECT_EQ(ui::MainModel().Rows(names::kReadinessList).size(), kNames.size());
}

INSTANTIATE_TEST_SUITE_P(EachCheck, OneFault, ::testing::Range<size_t>(0, sizeof kFaults / sizeof kFaults[0]));

TEST_F(Readiness, OnXpTheChainFilesAreChecked) {
  fake.SetFileVersion("C:\\WINDOWS\\regedit.exe", "5.1.2600.5512 (xpsp.080413-2111)");
  const std::vector<ReadinessLine> lines = Check(ReadinessJob::kBackup);
  EXPECT_EQ(lines[3].name, "XP启动文件");
  EXPECT_EQ(Failed(lines), std::vector<Text>{"XP启动文件"}) << "the build carries only stand-ins for them";
}

// The space a job needs: the PE and, for a catalogue image, the image as the
// server announces them; what is in the work directory whole needs nothing.
TEST_F(Readiness, FreeSpaceCountsWhatTheJobStillBrings) {
  Choice().file_name = "Win10.wim";
  Choice().url = "http://h/images/Win10.wim";
  fake.SetUrlSize(Choice().url, 4LL << 30);
  fake.SetUrlSize("http://h/pe/pe.wim", 1000);
  fake.SetFreeSpaceKb('D', 4LL * 1024 * 1024);  // 4 GB: not enough for both
  EXPECT_EQ(Failed(Check()), std::vector<Text>{"工作盘剩余空间"});
  EXPECT_TRUE(Check(ReadinessJob::kBackup)[2].passed) << "a backup brings only the PE";
  fake.PutFile("D:\\MV_OSR\\pe.wim", std::string(1000, 'p'));
  EXPECT_EQ(Failed(Check()), std::vector<Text>{}) << "the PE is there already";
}

TEST_F(Readiness, TheButtonShowsTheLinesAndTheSurveyHidesThemAgain) {
  InstallReadinessCheck();
  fake.SetAdministrator(false);
  ASSERT_TRUE(ui::Fire(names::kReadinessButton, "click"));
  const ui::Component list = ui::MainModel().Get(names::kReadinessList);
  EXPECT_TRUE(list.visible);
  ASSERT_EQ(list.rows.size(), kNames.size());
  EXPECT_EQ(list.rows[0], (std::vector<std::string>{"管理员权限", "× 未通过",
                                                    "没有管理员权限，请右键单击程序，选择“以管理员身份运行”"}));
  EXPECT_EQ(list.rows[6][1], "√ 通过");
  EXPECT_EQ(ui::MainModel().Text(names::kDetectStatusLabel), "安装前检查：1 项未通过，处理后才能开始安装。");
  EXPECT_TRUE(fake.Dialogs().empty()) << "the button only shows";
  // While the survey runs the button does nothing.
  ui::MainModel().SetVisible(names::kReadinessList, false);
  ui::MainModel().SetVisible(names::kDetectBusyIndicator, true);
  ui::Fire(names::kReadinessButton, "click");
  EXPECT_FALSE(ui::MainModel().Get(names::kReadinessList).visible);
}

// "/check": the report in the log and beside it, the verdict as exit code.
TEST_F(Readiness, TheCheckCommandWritesItsReportAndExitCode) {
  EXPECT_EQ(RunCheckCommand(), 0);
  const std::string report = fake.FileText("D:\\MV_OSR\\MV_OSR_check.txt");
  EXPECT_NE(report.find("[通过] 管理员权限：已获得管理员权限\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("结果：全部通过"), std::string::npos) << report;
  EXPECT_NE(fake.FileText("D:\\MV_OSR\\MV_OSR.log").find("安装前检查[通过] PE下载页：PE文件 pe.wim"),
            std::string::npos);
  EXPECT_FALSE(fake.FileExists("C:\\boot\\boot.sdi")) << "nothing on the system drive";

  fake.SetUrlText(service::PePageUrl(false), "");  // the service host is down
  EXPECT_EQ(RunCheckCommand(), 1);
  EXPECT_NE(fake.FileText("D:\\MV_OSR\\MV_OSR_check.txt").find("[未通过] PE下载页：无法打开 "), std::string::npos);
}

}  // namespace
}  // namespace mv
