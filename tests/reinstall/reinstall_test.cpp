// The wizard's install from the next button to the countdown, and the PE
// preparation of the restore and backup requests, on the fake machine with
// the fake engine and the bcdedit stand-in.
#include <atomic>

#include "boot/boot_names.h"
#include "boot/pe_task.h"
#include "boot/restart.h"
#include "tests/reinstall/install_fixture.h"

namespace mv {
namespace {

using dl::test::FakeStatus;

TEST_F(InstallTest, CatalogueImageEndsInTheCountdownWithEverythingInPlace) {
  Choose(Md5Of(kImage));
  int backups = 0;
  SetDataBackupJob([&backups](CopyTally&) { return ++backups, true; });
  ASSERT_TRUE(StartCloudInstall());
  EXPECT_FALSE(ui::MainModel().Get(names::kNextButton).enabled) << "nothing is ready before the hand-off";
  RunToEnd();

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
  EXPECT_TRUE(ui::MainModel().Get(names::kNextButton).enabled);
  EXPECT_EQ(CurrentJobState(), JobState::kCountingDown);
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
  RunToEnd();
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
  RunToEnd();
  EXPECT_EQ(Messages(), (std::vector<Text>{"文件验证错误，请重新选择下载！"}));
  EXPECT_FALSE(fake.FileExists("D:\\MV_OSR\\Win10.wim"));
  EXPECT_EQ(ui::MainModel().Get(names::kWizard).page, names::kStepSystemChoice);
  EXPECT_EQ(Choice().file_name, "");
  EXPECT_FALSE(fake.FileExists("C:\\WinPE\\DaVidAZ.INI"));
  EXPECT_FALSE(HasPeEntry());
  EXPECT_EQ(dl::BusyFlag(), 0);
  EXPECT_EQ(CurrentJobState(), JobState::kFailed);

  // A fresh download that is wrong: the other message. An expected digest in
  // lower case never matches.
  fake.ClearDialogs();
  Choose(Text("0123456789abcdef") + "0123456789abcdef");
  ASSERT_TRUE(StartCloudInstall());
  RunToEnd();
  EXPECT_EQ(Messages(), (std::vector<Text>{"程序验证错误，请重新选择下载！"}));
}

// What is compared after a download is the digest the engine read back while
// writing: a write that went wrong fails the check even where the file that
// finally lies there would pass.
TEST_F(InstallTest, TheEnginesRunningDigestIsWhatTheDownloadIsCheckedBy) {
  engine_.complete_md5 = "0123456789ABCDEF0123456789ABCDEF";
  const int64_t size = static_cast<int64_t>(kImage.size());
  engine_.default_script = {FakeStatus{true, 4, size, size, 1.0f, 0}};
  Choose(Md5Of(kImage));
  ASSERT_TRUE(StartCloudInstall());
  RunToEnd();
  EXPECT_EQ(Messages(), (std::vector<Text>{"程序验证错误，请重新选择下载！"}));
  EXPECT_NE(Log().find("云端系统本地副本MD5：0123456789ABCDEF0123456789ABCDEF"), std::string::npos);
  EXPECT_FALSE(fake.FileExists("D:\\MV_OSR\\Win10.wim"));
  EXPECT_FALSE(HasPeEntry());
}

TEST_F(InstallTest, UnfinishedDownloadIsResumedNotHashedAndDeleted) {
  fake.PutFile("D:\\MV_OSR\\Win10.wim", std::string(kImage.size(), '\0'));  // preallocated by the engine
  fake.PutFile("D:\\MV_OSR\\Win10.wim.dlctl", "control");
  Choose(Md5Of(kImage));
  ASSERT_TRUE(StartCloudInstall());
  RunToEnd();
  EXPECT_EQ(Log().find("已存在系统文件："), std::string::npos);
  EXPECT_EQ(engine_.Setups().size(), 2u);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(fake.FileText("D:\\MV_OSR\\Win10.wim"), kImage);
}

TEST_F(InstallTest, WrongExistingPeIsRemovedSoThatTheNextAttemptCanSucceed) {
  fake.PutFile("D:\\MV_OSR\\pe.wim", "damaged");
  Choose(Md5Of(kImage));
  ASSERT_TRUE(StartCloudInstall());
  RunToEnd();
  EXPECT_EQ(Messages(), (std::vector<Text>{"文件下载错误，请重新选择下载！"}));
  EXPECT_FALSE(fake.FileExists("D:\\MV_OSR\\pe.wim"));
  EXPECT_FALSE(HasPeEntry());
  fake.ClearDialogs();
  Choose(Md5Of(kImage));
  ASSERT_TRUE(StartCloudInstall());
  RunToEnd();
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(HasPeEntry());
}

TEST_F(InstallTest, TooLittleFreeSpaceIsToldBeforeAnyDownload) {
  fake.SetUrlSize("http://h/images/Win10.wim", 5LL * 1024 * 1024 * 1024);
  fake.SetFreeSpaceKb('D', 1024 * 1024);  // 1 GB
  Choose(Md5Of(kImage));
  ASSERT_TRUE(StartCloudInstall());
  RunToEnd();
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
  ASSERT_TRUE(ui::Fire(dl::kCancelDownloadButton, "click"));
  EXPECT_EQ(dl::TaskList().size(), 1u) << "No leaves the download alone";
  fake.QueueAnswer(kResYes);
  ASSERT_TRUE(ui::Fire(dl::kCancelDownloadButton, "click"));
  RunToEnd();
  EXPECT_EQ(Messages(), (std::vector<Text>{"程序正在下载系统，是否取消！", "程序正在下载系统，是否取消！"}));
  EXPECT_EQ(engine_.Count("delete:101"), 1);
  EXPECT_TRUE(dl::TaskList().empty());
  EXPECT_EQ(ui::MainModel().Get(names::kWizard).page, names::kStepSystemChoice);
  EXPECT_EQ(dl::BusyFlag(), 0);
  EXPECT_FALSE(fake.FileExists("C:\\WinPE\\DaVidAZ.INI"));

  // Again: this time the engine finishes.
  fake.ClearDialogs();
  ASSERT_TRUE(StartCloudInstall());
  RunToEnd();
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(HasPeEntry());
}

TEST_F(InstallTest, HandOffWaitsForBothWorkersAndHappensOnce) {
  // The data backup outlasts the downloads: the window thread looks at the
  // job and hands nothing off while it runs.
  Choose(Md5Of(kImage));
  std::atomic<bool> release{false};
  SetDataBackupJob([&release](CopyTally&) {
    while (!release && plat().Checkpoint()) usleep(1000);
    return true;
  });
  ASSERT_TRUE(StartCloudInstall());
  for (int i = 0; i < 20000 && !fake.FileExists("C:\\WinPE\\boot.wim"); ++i) usleep(1000);
  usleep(20000);
  for (int i = 0; i < 5; ++i) ui::Fire(kJobTimer, "timer");
  EXPECT_FALSE(TaskFile()) << "handed off while the data backup still ran";
  EXPECT_TRUE(JobRunning());
  release = true;
  RunToEnd();
  EXPECT_EQ(Ini("task"), "3");
  EXPECT_TRUE(HasPeEntry());
  for (int i = 0; i < 5; ++i) ui::Fire(kJobTimer, "timer");  // late ticks change nothing
  const std::string log = Log();
  size_t hand_offs = 0;
  for (size_t at = 0; (at = log.find("SetFile_Win10.wim", at)) != std::string::npos; ++at) ++hand_offs;
  EXPECT_EQ(hand_offs, 1u);
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
}

TEST_F(InstallTest, CatalogueLinkWithAnEmptyDigestNeverPasses) {
  // No digest to check against: the download is not taken as right.
  Choose("");
  ASSERT_EQ(Choice().md5, "");
  ASSERT_TRUE(StartCloudInstall());
  RunToEnd();
  EXPECT_EQ(Messages(), (std::vector<Text>{"程序验证错误，请重新选择下载！"}));
  EXPECT_FALSE(fake.FileExists("D:\\MV_OSR\\Win10.wim"));
  EXPECT_FALSE(fake.FileExists("C:\\WinPE\\DaVidAZ.INI"));
  EXPECT_FALSE(HasPeEntry());

  // Nor is a file already there.
  fake.ClearDialogs();
  fake.PutFile("D:\\MV_OSR\\Win10.wim", kImage);
  Choose("");
  ASSERT_TRUE(StartCloudInstall());
  RunToEnd();
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
  RunToEnd();
  ui::WindowModel& m = ui::MainModel();
  EXPECT_EQ(m.Get(names::kRestartTimer).timer_ms, 0u);
  EXPECT_FALSE(m.Get(names::kRestartStatusLabel).visible);
  EXPECT_EQ(m.Get(names::kNextButton).role, "");
  EXPECT_EQ(m.Get(names::kBackButton).role, "");
  EXPECT_EQ(m.Get(names::kWizard).page, names::kStepSystemChoice);
  EXPECT_EQ(dl::BusyFlag(), 0);
  EXPECT_EQ(fake.RestartRequests(), 0);
  EXPECT_FALSE(HasPeEntry());
  EXPECT_FALSE(TaskFile()) << "no task for a PE that will not start";
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
  RunToEnd();
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

TEST_F(PePrepareTest, AWrongPeNeverGetsABootEntryNorBlocksTheNextAttempt) {
  // A wrong PE in the work directory is downloaded again, not used.
  fake.PutFile("D:\\MV_OSR\\pe.wim", "not the PE");
  EXPECT_THROW(PrepareBackupRestorePe(), FakeProcessEnded);
  EXPECT_EQ(fake.FileText("C:\\WinPE\\boot.wim"), kPe);
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  EXPECT_EQ(engine_.Setups().size(), 1u);

  // The server hands out a wrong one: nothing is left to be taken next time.
  fake.RemoveFile("D:\\MV_OSR\\pe.wim");
  UseStore(bcdstandin::DefaultStore('C', false));
  served_["pe.wim"] = "a damaged PE";
  PrepareBackupRestorePe();  // returns: no restart
  EXPECT_EQ(Messages(), (std::vector<Text>{kInstalledPeBadMessage}));
  EXPECT_FALSE(fake.FileExists("D:\\MV_OSR\\pe.wim"));
  EXPECT_FALSE(HasPeEntry());
  EXPECT_EQ(fake.RestartRequests(), 1);
  served_["pe.wim"] = kPe;
  EXPECT_THROW(PrepareBackupRestorePe(), FakeProcessEnded);
  EXPECT_TRUE(HasPeEntry());

  // A page without a digest cannot vouch for any PE: nothing is fetched.
  fake.ClearDialogs();
  SetPePage("http://h/pe/pe.wim&filename=pe.wim&");
  EXPECT_THROW(PrepareBackupRestorePe(), FakeProcessEnded);
  EXPECT_EQ(Messages(), (std::vector<Text>{kPeLookupMessage}));
  EXPECT_EQ(engine_.Setups().size(), 3u);
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

  // One that cannot be copied: the PE would look for it in vain.
  UseStore(bcdstandin::DefaultStore('C', false));
  fake.PutFile("E:\\OS_Bak3.WIM", "third");
  fake.CreateFolder("D:\\MV_OSR\\OS_Bak3.WIM");  // in the copy's way
  fake.ClearDialogs();
  SetRestoreImagePath("E:\\OS_Bak3.WIM");
  PrepareBackupRestorePe();  // returns
  SetRestoreImagePath("");
  EXPECT_EQ(Messages(), (std::vector<Text>{"文件复制错误，请重新选择文件！"}));
  EXPECT_FALSE(HasPeEntry());
  EXPECT_EQ(fake.RestartRequests(), 2);
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
