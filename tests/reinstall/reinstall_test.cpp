// The wizard's install from the next button to the countdown, and the PE
// preparation of the restore and backup requests, on the fake machine with
// the fake engine ("downloaded" files appear when a task reports complete)
// and the bcdedit stand-in.
#include <unistd.h>

#include <atomic>
#include <map>

#include "boot_machine.h"
#include "core/log.h"
#include "core/md5.h"
#include "core/service_host.h"
#include "detect/partition_listing.h"
#include "boot/boot_names.h"
#include "boot/pe_task.h"
#include "boot/restart.h"
#include "download/engine.h"
#include "download/pe_prepare.h"
#include "download/progress.h"
#include "download/reinstall.h"
#include "download/tasks.h"
#include "tests/download/fake_engine.h"
#include "ui/image_choice.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv {
namespace {

using dl::test::FakeEngine;
using dl::test::FakeStatus;

Text Md5Of(const std::string& s) {
  Md5 m;
  m.Update(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  uint8_t d[16];
  m.Final(d);
  return Md5::Hex(d, true);
}

const std::string kImage(300000, 'i');
const std::string kPe(120000, 'p');

class InstallTest : public boottest::BootMachine {
 protected:
  void SetUp() override {
    BootMachine::SetUp();
    fake.CreateFolder("D:\\MV_OSR");
    OpenLog();
    dl::BindEngine(FakeEngine::Table());
    dl::ClearTaskList();
    dl::SetBusyFlag(0);
    dl::SetJobThreads(kNoHandle, kNoHandle);
    ui::MainModel().SetWidth(dl::kDownloadPage.track, 400);
    ui::MainModel().SetWidth(dl::kPeArea.track, 300);
    SetSystemPartitionValues("0:2", "MBR");
    InstallReinstallFlow();
    // What the server holds, by file name; the engine "downloads" it.
    served_["Win10.wim"] = kImage;
    served_["pe.wim"] = kPe;
    engine_.default_script = {FakeStatus{true, 0, 1000, 500, 0.5f, 100}, FakeStatus{true, 4, 1000, 1000, 1.0f, 0}};
    engine_.on_complete = [this](dl::XlHandle h) {
      const auto& raw = engine_.tasks[h].file_name;
      std::string name;
      for (size_t i = 0; i + 1 < raw.size() && raw[i]; i += 2) name += static_cast<char>(raw[i]);
      fake.PutFile("D:\\MV_OSR\\" + name, served_[name]);
      fake.RemoveFile("D:\\MV_OSR\\" + name + ".dlctl");
    };
    SetPePage("http://h/pe/pe.wim&filename=pe.wim&md5=" + Md5Of(kPe) + "&");
  }
  void TearDown() override {
    JoinWorkers();
    engine_.on_complete = nullptr;
    SetDataBackupJob({});
    SetSystemPartitionNumberSource({});
    CloseLog();
    dl::BindEngineLibrary();
    BootMachine::TearDown();
  }
  void SetPePage(const std::string& text) { fake.SetUrlText(service::PePageUrl(false), text); }
  void Choose(const Text& md5) {
    ASSERT_FALSE(OnCatalogueNavigate("http://h/images/Win10.wim?type=Win10.wim&md5=" + md5 + "&&os_name=Win10&"));
  }
  void JoinWorkers() {
    for (Handle h : {dl::DownloadWorker(), dl::SecondWorker()})
      if (h != kNoHandle) ASSERT_TRUE(fake.JoinThread(h, 20000));
  }
  std::vector<Text> Messages() {
    std::vector<Text> out;
    for (const auto& d : fake.Dialogs()) out.push_back(d.text);
    return out;
  }
  std::string Log() { return fake.FileText("D:\\MV_OSR\\MV_OSR.log"); }
  Text Ini(const Text& key) { return fake.IniRead("C:\\WinPE\\DaVidAZ.INI", "SYSTEM", key, "<none>"); }
  bool HasPeEntry() { return Store().entries.size() > bcdstandin::DefaultStore('C', false).entries.size(); }
  std::string M(const char* name) { return ui::MainModel().Text(name); }

  FakeEngine engine_;
  std::map<std::string, std::string> served_;
};

TEST_F(InstallTest, CatalogueImageEndsInTheCountdownWithEverythingInPlace) {
  Choose(Md5Of(kImage));
  int backups = 0;
  SetDataBackupJob([&backups] { ++backups; });
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();

  EXPECT_EQ(backups, 1);
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  EXPECT_EQ(engine_.Count("create:101") + engine_.Count("create:102"), 2) << "image and PE downloaded";
  EXPECT_EQ(fake.FileText("C:\\WinPE\\boot.wim"), kPe);
  EXPECT_EQ(Ini("task"), "3");
  EXPECT_EQ(Ini("Index"), "1");
  EXPECT_EQ(Ini("FilePtah"), "\\MV_OSR\\Win10.wim");
  EXPECT_EQ(Ini("PartitionNumber"), "0:2");
  EXPECT_EQ(fake.IniRead("D:\\MV_OSR\\config.ini", "info", "FileName", ""), "Win10.wim");
  EXPECT_TRUE(HasPeEntry());
  EXPECT_EQ(ui::MainModel().Get(names::kRestartTimer).timer_ms, 1000u);
  EXPECT_EQ(ui::MainModel().Get(names::kNextButton).role, names::kRoleRestartNow);
  EXPECT_EQ(M(dl::kDownloadPage.status), "下载文件：完成");
  EXPECT_EQ(M(dl::kDownloadPage.percent), "100%");
  const std::string log = Log();
  for (const char* line : {"PE下载地址：http://h/pe/pe.wim&filename=pe.wim", "mode=1", "云端系统本地副本：MD5校验通过",
                           "云端PE本地副本：MD5值检验通过", "工作目录内PE文件已经安装到系统目录", "SetFile_Win10.wim"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(InstallTest, ExistingRightImageIsNotDownloadedAndAGhostImageIsTaskOne) {
  served_["sys.GHO"] = kImage;
  fake.PutFile("D:\\MV_OSR\\sys.GHO", kImage);
  ASSERT_FALSE(OnCatalogueNavigate("http://h/sys.GHO?type=sys.GHO&md5=" + Md5Of(kImage) + "&&os_name=G&"));
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_EQ(engine_.Setups().size(), 1u) << "only the PE";
  EXPECT_NE(Log().find("已存在系统文件：MD5值正确，无需重新下载"), std::string::npos);
  EXPECT_EQ(Ini("task"), "1");
  EXPECT_TRUE(HasPeEntry());
}

TEST_F(InstallTest, WrongImagesAreDeletedAndTheWizardGoesBackWithoutABootEntry) {
  // A wrong file already there is replaced; the new one is wrong too.
  fake.PutFile("D:\\MV_OSR\\Win10.wim", "old and wrong");
  Choose("0123456789ABCDEF0123456789ABCDEF");
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_EQ(Messages(), (std::vector<Text>{"文件验证错误，请重新选择下载！"}));
  EXPECT_FALSE(fake.FileExists("D:\\MV_OSR\\Win10.wim"));
  EXPECT_EQ(ui::MainModel().Get(names::kWizard).page, names::kStepSystemChoice);
  EXPECT_EQ(Choice().file_name, "");
  EXPECT_FALSE(fake.FileExists("C:\\WinPE\\DaVidAZ.INI"));
  EXPECT_FALSE(HasPeEntry());
  EXPECT_EQ(dl::BusyFlag(), 0);
  EXPECT_EQ(dl::StartedJobs(), 0) << "the data backup's end hands nothing off";

  // A fresh download that is wrong: the other message. An expected digest in
  // lower case never matches.
  fake.ClearDialogs();
  Choose(Text("0123456789abcdef") + "0123456789abcdef");
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_EQ(Messages(), (std::vector<Text>{"程序验证错误，请重新选择下载！"}));
}

TEST_F(InstallTest, UnfinishedDownloadIsResumedNotHashedAndDeleted) {
  fake.PutFile("D:\\MV_OSR\\Win10.wim", std::string(kImage.size(), '\0'));  // preallocated by the engine
  fake.PutFile("D:\\MV_OSR\\Win10.wim.dlctl", "control");
  Choose(Md5Of(kImage));
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_EQ(Log().find("已存在系统文件："), std::string::npos);
  EXPECT_EQ(engine_.Setups().size(), 2u);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(fake.FileText("D:\\MV_OSR\\Win10.wim"), kImage);
}

TEST_F(InstallTest, WrongExistingPeIsRemovedSoThatTheNextAttemptCanSucceed) {
  fake.PutFile("D:\\MV_OSR\\pe.wim", "damaged");
  Choose(Md5Of(kImage));
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_EQ(Messages(), (std::vector<Text>{"文件下载错误，请重新选择下载！"}));
  EXPECT_FALSE(fake.FileExists("D:\\MV_OSR\\pe.wim"));
  EXPECT_FALSE(HasPeEntry());
  fake.ClearDialogs();
  Choose(Md5Of(kImage));
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(HasPeEntry());
}

TEST_F(InstallTest, TooLittleFreeSpaceIsToldBeforeAnyDownload) {
  fake.SetUrlSize("http://h/images/Win10.wim", 5LL * 1024 * 1024 * 1024);
  fake.SetFreeSpaceKb('D', 1024 * 1024);  // 1 GB
  Choose(Md5Of(kImage));
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind(kDiskFullMessageStart, 0), 0u);
  EXPECT_NE(Messages()[0].find("需要5GB，可用1GB"), std::string::npos) << Messages()[0];
  EXPECT_TRUE(engine_.Setups().empty());
  EXPECT_EQ(ui::MainModel().Get(names::kWizard).page, names::kStepSystemChoice);
}

TEST_F(InstallTest, NoChoiceOrNoPeStopsBeforeAnythingIsWritten) {
  EXPECT_FALSE(StartCloudInstall());
  EXPECT_EQ(Messages(), (std::vector<Text>{kNoSystemChosenMessage}));

  fake.ClearDialogs();
  Choose(Md5Of(kImage));
  SetPePage("http://h/pe/pe.wim&md5=" + Md5Of(kPe) + "&");  // no file name
  EXPECT_THROW(StartCloudInstall(), FakeProcessEnded);
  EXPECT_EQ(Messages(), (std::vector<Text>{kPeLookupMessage}));
  EXPECT_EQ(fake.ShellOpens(), (std::vector<Text>{service::MakerHomePage()}));
  EXPECT_TRUE(engine_.Setups().empty());
  EXPECT_FALSE(fake.FileExists("C:\\WinPE"));

  // A PE file name that would leave the work directory counts as none.
  SetPePage("http://h/pe/x&filename=..\\..\\boot.wim&md5=" + Md5Of(kPe) + "&");
  EXPECT_THROW(StartCloudInstall(), FakeProcessEnded);
  EXPECT_TRUE(engine_.Setups().empty());
}

TEST_F(InstallTest, CancelDuringTheDownloadShowsNoErrorAndTheNextAttemptGoesOn) {
  Choose(Md5Of(kImage));
  // The download runs until it is cancelled.
  engine_.ScriptNextTask({FakeStatus{true, 0, 1000, 10, 0.01f, 100}});
  ASSERT_TRUE(StartCloudInstall());
  while (engine_.Count("query:101") < 2) usleep(1000);

  ToggleDownloadPause();
  EXPECT_TRUE(DownloadPaused());
  EXPECT_EQ(M(dl::kPauseButton), "继续下载");
  ToggleDownloadPause();
  EXPECT_EQ(M(dl::kPauseButton), "暂停下载");

  fake.QueueAnswer(kResNo);
  ASSERT_TRUE(ui::Fire(dl::kSecondActionButton, "click"));
  EXPECT_EQ(dl::TaskList().size(), 1u) << "No leaves the download alone";
  fake.QueueAnswer(kResYes);
  ASSERT_TRUE(ui::Fire(dl::kSecondActionButton, "click"));
  JoinWorkers();
  EXPECT_EQ(Messages(), (std::vector<Text>{"程序正在下载系统，是否取消！", "程序正在下载系统，是否取消！"}));
  EXPECT_EQ(engine_.Count("delete:101"), 1);
  EXPECT_TRUE(dl::TaskList().empty());
  EXPECT_EQ(ui::MainModel().Get(names::kWizard).page, names::kStepSystemChoice);
  EXPECT_EQ(dl::BusyFlag(), 0);
  EXPECT_FALSE(fake.FileExists("C:\\WinPE\\DaVidAZ.INI"));

  // Again: this time the engine finishes.
  fake.ClearDialogs();
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(HasPeEntry());
}

TEST_F(InstallTest, OnlyTheJobThatEndsLastHandsOffAndOnlyOnce) {
  // The data backup outlasts the downloads: the download job's end counts
  // itself and leaves the hand-off to the backup.
  Choose(Md5Of(kImage));
  std::atomic<bool> task_file_early{false};
  SetDataBackupJob([this, &task_file_early] {
    for (int i = 0; i < 20000 && dl::FinishedJobs() < 1; ++i) usleep(1000);
    ASSERT_EQ(dl::FinishedJobs(), 1) << "the download job did not end";
    task_file_early = fake.FileExists("C:\\WinPE\\DaVidAZ.INI");
  });
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_FALSE(task_file_early) << "handed off while the data backup still ran";
  EXPECT_EQ(dl::FinishedJobs(), 2);
  EXPECT_EQ(Ini("task"), "3");
  EXPECT_TRUE(HasPeEntry());

  // The other way round: the backup is done while the PE still downloads.
  fake.RemoveFile("D:\\MV_OSR\\pe.wim");
  fake.RemoveFile("C:\\WinPE\\DaVidAZ.INI");
  SetDataBackupJob({});
  engine_.on_complete = [this, inner = engine_.on_complete, &task_file_early](dl::XlHandle h) {
    for (int i = 0; i < 20000 && dl::FinishedJobs() < 1; ++i) usleep(1000);
    task_file_early = fake.FileExists("C:\\WinPE\\DaVidAZ.INI");
    inner(h);
  };
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_FALSE(task_file_early) << "the data backup handed off before the PE was there";
  EXPECT_EQ(dl::FinishedJobs(), 2);
  EXPECT_EQ(Ini("task"), "3");
  // One hand-off per install: twice in all.
  const std::string log = Log();
  size_t hand_offs = 0;
  for (size_t at = 0; (at = log.find("SetFile_Win10.wim", at)) != std::string::npos; ++at) ++hand_offs;
  EXPECT_EQ(hand_offs, 2u);
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
}

TEST_F(InstallTest, CatalogueLinkWithAnEmptyDigestNeverPasses) {
  // No digest to check against: the download is not taken as right.
  Choose("");
  ASSERT_EQ(Choice().md5, "");
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_EQ(Messages(), (std::vector<Text>{"程序验证错误，请重新选择下载！"}));
  EXPECT_FALSE(fake.FileExists("D:\\MV_OSR\\Win10.wim"));
  EXPECT_FALSE(fake.FileExists("C:\\WinPE\\DaVidAZ.INI"));
  EXPECT_FALSE(HasPeEntry());

  // Nor is a file already there.
  fake.ClearDialogs();
  fake.PutFile("D:\\MV_OSR\\Win10.wim", kImage);
  Choose("");
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  EXPECT_EQ(Messages(), (std::vector<Text>{"文件验证错误，请重新选择下载！"}));
  EXPECT_NE(Log().find("已存在系统文件：MD5值不正确，文件删除"), std::string::npos);
  EXPECT_FALSE(HasPeEntry());
}

TEST_F(InstallTest, NoCountdownWhenTheBootEntriesCannotBeMade) {
  // A boot configuration tool that answers nothing (blocked, say): no entry
  // can be created.
  fake.OnCommand("bcdedit.exe", [](const Text&) { return Text(); });
  ResetRestartState();  // the window model outlives the tests before
  ui::MainModel().SetPage(names::kWizard, names::kStepSystemChoice + 1);
  Choose(Md5Of(kImage));
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  ui::WindowModel& m = ui::MainModel();
  EXPECT_EQ(m.Get(names::kRestartTimer).timer_ms, 0u);
  EXPECT_FALSE(m.Get(names::kRestartStatusLabel).visible);
  EXPECT_EQ(m.Get(names::kNextButton).role, "");
  EXPECT_EQ(m.Get(names::kBackButton).role, "");
  EXPECT_EQ(m.Get(names::kWizard).page, names::kStepSystemChoice);
  EXPECT_EQ(dl::BusyFlag(), 0);
  EXPECT_EQ(fake.RestartRequests(), 0);
  EXPECT_FALSE(HasPeEntry());
}

TEST_F(InstallTest, LocalWimInstallsTheIndexPickedInTheIndexWindow) {
  fake.PutFile("E:\\imgs\\win.wim", kImage);
  SetImageIndexWindow([](WindowRef) {
    Choice().image_index = 3;
    return true;
  });
  fake.QueueImageFile("E:\\imgs\\win.wim");
  ASSERT_FALSE(OnCatalogueNavigate("http://h/sys_img/local.html?type=localWIM"));
  // A later click in the catalogue pane that is no choice keeps the choice
  // and its index.
  EXPECT_TRUE(OnCatalogueNavigate("http://h/sys_img/mbr.html"));
  ASSERT_TRUE(StartCloudInstall());
  JoinWorkers();
  SetImageIndexWindow({});
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  EXPECT_EQ(engine_.Setups().size(), 1u) << "only the PE is downloaded";
  EXPECT_EQ(fake.FileText("D:\\MV_OSR\\win.wim"), kImage);
  EXPECT_EQ(Ini("task"), "3");
  EXPECT_EQ(Ini("Index"), "3");
  EXPECT_EQ(Ini("FilePtah"), "\\MV_OSR\\win.wim");
  EXPECT_EQ(fake.IniRead("D:\\MV_OSR\\config.ini", "info", "FileName", ""), "win.wim");
  EXPECT_NE(Log().find("mode=0"), std::string::npos);
  EXPECT_TRUE(HasPeEntry());
}

class PePrepareTest : public InstallTest {};

TEST_F(PePrepareTest, ExistingPeIsCopiedWithProgressCheckedAndTheMachineRestarts) {
  fake.PutFile("D:\\MV_OSR\\pe.wim", kPe);
  EXPECT_THROW(PrepareBackupRestorePe(), FakeProcessEnded);
  EXPECT_EQ(fake.FileText("C:\\WinPE\\boot.wim"), kPe);
  EXPECT_EQ(M(dl::kPeArea.percent), "100%");
  EXPECT_EQ(M(dl::kPeArea.status), "下载文件：完成");
  EXPECT_TRUE(HasPeEntry());
  EXPECT_EQ(fake.RestartRequests(), 1);
  EXPECT_TRUE(engine_.Setups().empty());
  EXPECT_FALSE(fake.FileExists("C:\\temp.temp")) << "a backup copies no image and makes no probe";
}

TEST_F(PePrepareTest, APeThatDoesNotMatchThePageGetsNoBootEntry) {
  fake.PutFile("D:\\MV_OSR\\pe.wim", "not the PE");
  PrepareBackupRestorePe();  // returns: no restart
  EXPECT_EQ(Messages(), (std::vector<Text>{kInstalledPeBadMessage}));
  EXPECT_FALSE(fake.FileExists("C:\\WinPE\\boot.wim"));
  EXPECT_FALSE(HasPeEntry());
  EXPECT_EQ(fake.RestartRequests(), 0);
}

TEST_F(PePrepareTest, DownloadFailureTellsAndACancelEndsQuietly) {
  engine_.ScriptNextTask({FakeStatus{true, 1}});
  PrepareBackupRestorePe();
  EXPECT_EQ(Messages(), (std::vector<Text>{"文件下载错误，请稍后再试！"}));
  EXPECT_TRUE(dl::TaskList().empty());

  // Cancelled from the PE area while the wait runs on this thread.
  fake.ClearDialogs();
  engine_.ScriptNextTask({FakeStatus{true, 0, 1000, 10, 0.01f, 100}});
  fake.SetEventHook([this] {
    if (engine_.Count("query:102") == 2 && PeDownloadStarted()) {
      fake.QueueAnswer(kResYes);
      ui::Fire(dl::kPeCancelButton, "click");
    }
  });
  PrepareBackupRestorePe();
  fake.SetEventHook({});
  EXPECT_EQ(Messages(), (std::vector<Text>{"程序正在下载组件，是否取消？"}));
  EXPECT_EQ(engine_.Count("delete:102"), 1);
  EXPECT_FALSE(HasPeEntry());
}

TEST_F(PePrepareTest, RestoreImageAlreadyInTheWorkDirectoryIsNotCopiedOntoItself) {
  // A restore point kept in the work directory itself (its name in other
  // letter case): a copy onto itself would fail and tell the user so.
  fake.PutFile("D:\\MV_OSR\\OS_Bak1.WIM", kImage);
  fake.PutFile("D:\\MV_OSR\\pe.wim", kPe);
  SetRestoreImagePath("d:\\mv_osr\\OS_Bak1.WIM");
  EXPECT_THROW(PrepareBackupRestorePe(), FakeProcessEnded);
  SetRestoreImagePath("");
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  EXPECT_EQ(fake.FileText("D:\\MV_OSR\\OS_Bak1.WIM"), kImage);
  EXPECT_NE(Log().find("copyfile=turn"), std::string::npos);
  EXPECT_EQ(fake.RestartRequests(), 1);

  // One elsewhere is copied in.
  fake.PutFile("E:\\OS_Bak2.WIM", "second");
  SetRestoreImagePath("E:\\OS_Bak2.WIM");
  EXPECT_THROW(PrepareBackupRestorePe(), FakeProcessEnded);
  EXPECT_EQ(RestoreImagePath(), "D:\\MV_OSR\\OS_Bak2.WIM");
  SetRestoreImagePath("");
  EXPECT_EQ(fake.FileText("D:\\MV_OSR\\OS_Bak2.WIM"), "second");
}

TEST_F(PePrepareTest, PePageFollowsTheCommandInterpreterVersion) {
  fake.PutFile("C:\\Windows\\System32\\cmd.exe", "MZ");
  fake.SetFileVersion("C:\\Windows\\System32\\cmd.exe", "6.1.7601.17514");
  EXPECT_EQ(PePageAddress(), service::PePageUrl(true));
  fake.SetFileVersion("C:\\Windows\\System32\\cmd.exe", "6.0.6002.18005");
  EXPECT_EQ(PePageAddress(), service::PePageUrl(false));
  fake.SetFileVersion("C:\\Windows\\System32\\cmd.exe", "10.0.19041.1");
  EXPECT_EQ(PePageAddress(), service::PePageUrl(true));
  // A 32-bit Windows 7 on a processor without long mode cannot start a 64-bit PE.
  fake.SetFileVersion("C:\\Windows\\System32\\cmd.exe", "6.1.7601.17514");
  fake.SetProcessorHasLongMode(false);
  EXPECT_EQ(PePageAddress(), service::PePageUrl(false));

  const PeLinks pe = ParsePePage("x http://h/p.wim&filename=p.wim&md5=AB&");
  EXPECT_EQ(pe.url, "http://h/p.wim");
  EXPECT_EQ(pe.file_name, "p.wim");
  EXPECT_EQ(pe.md5, "AB");
  EXPECT_EQ(ParsePePage("http://h/p.wim&filename=p.wim&md5=AB").md5, "") << "a last value needs its &";
}

TEST_F(PePrepareTest, CopyProgressShowsWholePercentsRoundedDown) {
  ShowCopyProgress(1000, 999);
  EXPECT_EQ(M(dl::kPeArea.percent), "99%");
  EXPECT_EQ(ui::MainModel().Width(dl::kPeArea.fill), 297);
  ShowCopyProgress(1000, 1000);
  EXPECT_EQ(M(dl::kPeArea.percent), "100%");
  ShowCopyProgress(0, 0);
  EXPECT_EQ(M(dl::kPeArea.percent), "100%");
}

}  // namespace
}  // namespace mv
