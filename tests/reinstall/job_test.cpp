// The install as one job, driven through the window's own handlers wired as
// the program wires them: every cancel path stops both workers and hands
// nothing off, the running job keeps its own choice, and what the user must
// be asked before a hand-off or a data backup on the system drive.
#include <atomic>

#include "backup/data_backup.h"
#include "backup/requests.h"
#include "boot/boot_names.h"
#include "boot/pe_task.h"
#include "boot/restart.h"
#include "core/startup.h"
#include "tests/reinstall/install_fixture.h"
#include "ui/main_window_logic.h"

namespace mv {
namespace {

using dl::test::FakeStatus;

class JobTest : public InstallTest {
 protected:
  void SetUp() override {
    InstallTest::SetUp();
    WireTheWizard();
    BackupLinks backup;
    backup.set_busy = [](int busy) { ui::SetBusy(busy); };
    backup.data_only_navigate = [] { ui::Fire(names::kDataBackupButton, "click"); };
    SetBackupLinks(backup);
    ui::MainModel().SetWidth(names::kDataBackupBar1, 300);
  }
  void TearDown() override {
    ResetJob();
    ui::ResetMainWindowLogic();
    SetBackupLinks(BackupLinks());
    ResetRestartState();
    InstallTest::TearDown();
  }
  void Click(const char* name) { ASSERT_TRUE(ui::Fire(name, "click")) << name; }
  // From the system step with a choice made: next, as the user clicks it.
  void StartFromTheWizard() {
    ui::MainModel().SetPage(names::kWizard, names::kStepSystemChoice);
    Click(names::kNextButton);
    ASSERT_EQ(Step(), names::kStepProgress);
  }
  // A data backup that runs until it is released or stopped; true once it ran.
  std::atomic<bool> release_{false}, data_started_{false}, data_stopped_{false};
  void HoldTheDataBackup() {
    SetDataBackupJob([this](CopyTally&) {
      data_started_ = true;
      while (!release_ && plat().Checkpoint()) usleep(1000);
      data_stopped_ = !plat().Checkpoint();
      return !data_stopped_;
    });
  }
  // The image download runs until it is cancelled; an interrupted earlier
  // one lies in the work directory.
  void SlowImage() {
    fake.PutFile("D:\\MV_OSR\\Win10.wim", std::string(1000, 'x'));
    fake.PutFile("D:\\MV_OSR\\Win10.wim.dlctl", "control");
    engine_.ScriptNextTask({FakeStatus{true, 0, 300000, 1000, 0.01f, 100}});
  }
  // An install whose image download and data backup both run, and the Yes
  // to the next question.
  void StartWhileBothRun() {
    Choose(Md5Of(kImage));
    HoldTheDataBackup();
    SlowImage();
    StartFromTheWizard();
    for (int i = 0; i < 20000 && (!data_started_ || engine_.Count("query:101") < 1); ++i) usleep(1000);
    ASSERT_TRUE(data_started_);
    fake.QueueAnswer(kResYes);
  }
  // What must hold after any cancel: nothing handed off, now or later.
  void ExpectNothingHandedOff() {
    EXPECT_EQ(CurrentJobState(), JobState::kCancelled);
    EXPECT_TRUE(data_stopped_) << "the data backup was left running";
    release_ = true;
    for (int i = 0; i < 20; ++i) ui::Fire(kJobTimer, "timer"), usleep(1000);
    EXPECT_FALSE(TaskFile());
    EXPECT_FALSE(HasPeEntry());
    EXPECT_EQ(engine_.Count("delete:101"), 1);
    EXPECT_EQ(Step(), names::kStepSystemChoice);
    EXPECT_EQ(dl::BusyFlag(), 0);
    EXPECT_TRUE(ui::MainModel().Get(names::kNavBackup).enabled);
    EXPECT_EQ(M(names::kDataBackupStep), "备份资料：已取消");
  }
  void SecondAttemptCompletes() {
    release_ = true;
    data_stopped_ = false;
    fake.ClearDialogs();
    Choose(Md5Of(kImage));
    StartFromTheWizard();
    RunToEnd();
    EXPECT_TRUE(Messages().empty()) << Messages()[0];
    EXPECT_EQ(CurrentJobState(), JobState::kCountingDown);
    EXPECT_EQ(Ini("FilePtah"), "\\MV_OSR\\Win10.wim");
    EXPECT_TRUE(HasPeEntry());
  }
};

TEST_F(JobTest, BackOnTheProgressStepStopsBothWorkersAndHandsNothingOff) {
  StartWhileBothRun();
  Click(names::kBackButton);
  ExpectNothingHandedOff();
  SecondAttemptCompletes();
}

TEST_F(JobTest, CancellingTheDataBackupGivesTheWholeInstallUp) {
  StartWhileBothRun();
  Click(names::kDataBackupCancel);
  EXPECT_EQ(fake.Dialogs().back().text, "程序正在备份资料，是否取消！");
  ExpectNothingHandedOff();
  EXPECT_EQ(Choice().file_name, "") << "the install is chosen afresh";
  SecondAttemptCompletes();
}

TEST_F(JobTest, ClosingTheWindowStopsTheDataOnlyBackupBetweenFiles) {
  const std::string big(40 << 20, 'd');
  fake.PutFileWide(u"C:\\Users\\user\\Documents\\big.bin", big);
  Click(names::kDataBackupButton);
  ui::MainModel().SetChecked(names::kDataItems[0], true);
  Click(names::kNextButton);
  ASSERT_EQ(Step(), names::kStepProgress);
  EXPECT_EQ(dl::BusyFlag(), 1) << "navigation is off while files are copied";
  EXPECT_FALSE(ui::MainModel().Get(names::kNavReinstall).enabled);
  const Handle worker = DataBackupThread();
  ASSERT_NE(worker, kNoHandle);
  // Held inside the copy of the file.
  const Text folder = "D:\\MV_OSR\\bakfile\\我的文档\\";
  for (int i = 0; i < 2000000 && fake.ListFolder(folder + "*").empty(); ++i) {
  }
  fake.PauseThread(worker);
  fake.QueueAnswer(kResYes);
  EXPECT_THROW(ui::Fire(names::kMainWindow, "close"), FakeProcessEnded);
  EXPECT_EQ(CurrentJobState(), JobState::kCancelled);
  for (const DirEntry& e : fake.ListFolder(folder + "*"))
    EXPECT_EQ(e.size, big.size()) << e.name << " left half-copied";
}

TEST_F(JobTest, TheRunningInstallKeepsItsOwnChoice) {
  // A plain page of the catalogue after the choice keeps it whole.
  Choose(Md5Of(kImage));
  EXPECT_TRUE(ui::RequestNavigate(names::kCatalogueBrowser, "http://h/sys_img/mbr.html"));
  EXPECT_EQ(Choice().url, "http://h/images/Win10.wim");
  // While the install runs (the image is in, the data backup goes on) the
  // pane goes nowhere, and a link carrying the same digest for a file that
  // was never checked changes nothing.
  fake.PutFile("D:\\MV_OSR\\Other.wim", "never checked");
  HoldTheDataBackup();
  StartFromTheWizard();
  for (int i = 0; i < 20000 && !fake.FileExists("C:\\WinPE\\boot.wim"); ++i) usleep(1000);
  EXPECT_FALSE(ui::RequestNavigate(names::kCatalogueBrowser,
                                   "http://h/images/Other.wim?type=Other.wim&md5=" + Md5Of(kImage) + "&&os_name=O&"));
  EXPECT_FALSE(ui::RequestNavigate(names::kCatalogueBrowser, "http://h/sys_img/mbr.html"));
  release_ = true;
  RunToEnd();
  EXPECT_EQ(Choice().file_name, "Win10.wim");
  EXPECT_EQ(Ini("FilePtah"), "\\MV_OSR\\Win10.wim");
  EXPECT_TRUE(HasPeEntry());
}

TEST_F(JobTest, FailedCopiesAreNamedBeforeTheHandOffAndNoStopsIt) {
  Choose(Md5Of(kImage));
  ui::MainModel().SetChecked(names::kDataItems[0], true);
  SetDataBackupJob([](CopyTally& t) {
    t.copied = 7;
    t.failed = 3;
    return true;
  });
  fake.QueueAnswer(kResNo);
  StartFromTheWizard();
  RunToEnd();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("3 个文件未能备份"), std::string::npos) << Messages()[0];
  EXPECT_EQ(CurrentJobState(), JobState::kCancelled);
  EXPECT_FALSE(TaskFile());
  EXPECT_FALSE(HasPeEntry());
  EXPECT_EQ(Step(), names::kStepSystemChoice);
  EXPECT_EQ(dl::BusyFlag(), 0);

  fake.QueueAnswer(kResYes);
  StartFromTheWizard();
  RunToEnd();
  EXPECT_EQ(CurrentJobState(), JobState::kCountingDown);
  EXPECT_TRUE(HasPeEntry());
}

TEST_F(JobTest, OnOneDriveTheUserIsToldBeforeTheBackupStarts) {
  SetWorkDir("C:\\MV_OSR\\");
  fake.CreateFolder("C:\\MV_OSR");
  Choose(Md5Of(kImage));
  ui::MainModel().SetChecked(names::kDataItems[2], true);
  fake.QueueAnswer(kResNo);
  ui::MainModel().SetPage(names::kWizard, names::kStepSystemChoice);
  Click(names::kNextButton);
  EXPECT_EQ(Step(), names::kStepSystemChoice);
  EXPECT_FALSE(JobRunning());
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("工作目录在系统盘（C:）上"), std::string::npos) << Messages()[0];
  EXPECT_TRUE(engine_.Setups().empty());
}

TEST_F(JobTest, AnUnknownSystemPartitionGetsNoTaskFileAndNoBootEntry) {
  SetSystemPartitionValues("", "");
  Choose(Md5Of(kImage));
  StartFromTheWizard();
  RunToEnd();
  EXPECT_EQ(Messages(), (std::vector<Text>{kPeTaskFailedMessage}));
  EXPECT_FALSE(TaskFile());
  EXPECT_FALSE(HasPeEntry());
  EXPECT_EQ(CurrentJobState(), JobState::kFailed);
  EXPECT_EQ(Step(), names::kStepSystemChoice);
  EXPECT_EQ(ui::MainModel().Get(names::kRestartTimer).timer_ms, 0u);
}

TEST_F(JobTest, LocalImagesFromTheWorkDirectoryAndPausedCopies) {
  // Picked from the work directory itself: taken as it is.
  fake.PutFile("D:\\MV_OSR\\mine.gho", kImage);
  fake.QueueImageFile("D:\\MV_OSR\\mine.gho");
  ASSERT_FALSE(OnCatalogueNavigate("http://h/sys_img/local.html?type=localWIM"));
  StartFromTheWizard();
  RunToEnd();
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  EXPECT_EQ(fake.FileText("D:\\MV_OSR\\mine.gho"), kImage);
  EXPECT_EQ(Ini("task"), "1");

  // A copy from elsewhere holds while paused and finishes once resumed.
  ResetRestartState();
  UseStore(bcdstandin::DefaultStore('C', false));
  const std::string big(48 << 20, 'g');
  fake.PutFile("E:\\imgs\\big.gho", big);
  fake.QueueImageFile("E:\\imgs\\big.gho");
  ASSERT_FALSE(OnCatalogueNavigate("http://h/sys_img/local.html?type=localWIM"));
  StartFromTheWizard();
  ToggleDownloadPause();
  usleep(300000);
  const int64_t held = fake.FileSize("D:\\MV_OSR\\big.gho");
  EXPECT_LT(held, static_cast<int64_t>(big.size()));
  usleep(200000);
  EXPECT_EQ(fake.FileSize("D:\\MV_OSR\\big.gho"), held) << "the copy went on while paused";
  ToggleDownloadPause();
  RunToEnd();
  EXPECT_EQ(fake.FileSize("D:\\MV_OSR\\big.gho"), static_cast<int64_t>(big.size()));
  EXPECT_EQ(Ini("FilePtah"), "\\MV_OSR\\big.gho");
  EXPECT_TRUE(HasPeEntry());
}

TEST_F(JobTest, HugeAnnouncedSizesDoNotAddUpToRoomOnTheDisk) {
  fake.SetUrlSize("http://h/images/Win10.wim", INT64_MAX - 5);
  fake.SetUrlSize("http://h/pe/pe.wim", INT64_MAX - 5);
  Choose(Md5Of(kImage));
  StartFromTheWizard();
  RunToEnd();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind(kDiskFullMessageStart, 0), 0u) << Messages()[0];
  EXPECT_TRUE(engine_.Setups().empty());
  EXPECT_EQ(SpaceNeeded({INT64_MAX - 5, INT64_MAX - 5, -1}), INT64_MAX);
  EXPECT_EQ(SpaceNeeded({3, -1, 4}), 7);
}

}  // namespace
}  // namespace mv
