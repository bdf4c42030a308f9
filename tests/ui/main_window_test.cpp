// The main window's handlers, fired as the view fires them: navigation,
// the wizard with and without the data-only mode, the busy state, the exit
// questions, the data-backup items, the links and the small handlers, and
// the start-up's window steps.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "boot/boot_names.h"
#include "boot/restart.h"
#include "core/job.h"
#include "core/service_host.h"
#include "core/startup.h"
#include "core/state.h"
#include "download/progress.h"
#include "download/progress_names.h"
#include "download/tasks.h"
#include "tests/ui/ui_fixture.h"
#include "ui/main_names.h"
#include "ui/main_window_logic.h"

namespace mv::ui::test {
namespace {

namespace n = mv::names;

class Window : public UiTest {
 protected:
  int Page() { return Model().Get(n::kPageHost).page; }
  int Step() { return Model().Get(n::kWizard).page; }
  void Click(const char* name) { ASSERT_TRUE(Fire(name, "click")) << name; }
  void Check(const char* name, bool on) { ASSERT_TRUE(Fire(name, "check", on ? "1" : "0")) << name; }
  // The selected look of the four navigation buttons and the data-backup one.
  std::string Selected() {
    std::string s;
    for (const char* b : {n::kNavReinstall, n::kNavBackup, n::kNavSoftware, n::kNavToolbox, n::kDataBackupButton})
      s += Model().Selected(b) ? '1' : '0';
    return s;
  }
  // Which step picture is highlighted, e.g. "00100".
  std::string Steps() {
    std::string s;
    for (const char* p : n::kStepImages) s += char('0' + Model().Get(p).image);
    return s;
  }
};

TEST_F(Window, NavigationButtonsShowTheirPageAndTheirSelectedLook) {
  Model().SetPage(n::kWizard, 2);
  Click(n::kNavReinstall);
  EXPECT_EQ(Page(), 0);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Steps(), "10000");
  EXPECT_EQ(Selected(), "10000");

  Click(n::kNavBackup);
  EXPECT_EQ(Page(), 1);
  EXPECT_EQ(Selected(), "01000");

  Click(n::kNavSoftware);
  EXPECT_EQ(Page(), 2);
  EXPECT_EQ(Selected(), "00100");
  EXPECT_EQ(Model().Get(n::kSoftwareBrowser).height, 450);
  EXPECT_TRUE(Model().Selected(n::kSoftwareMenu[0]));

  Click(n::kNavToolbox);
  EXPECT_EQ(Page(), 4);
  EXPECT_EQ(Selected(), "00010");
  EXPECT_EQ(Model().Get(n::kToolboxBrowser).height, 450);
  EXPECT_EQ(Model().Get(n::kToolboxBrowser).url, service::ToolboxUrl());
  EXPECT_FALSE(Model().Get(n::kToolboxBanner).images.empty());

  Click(n::kDataBackupButton);
  EXPECT_EQ(Page(), 0);
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(Steps(), "01000");
  EXPECT_FALSE(Model().Get(n::kBackButton).visible);
  // The data-backup button leaves the toolbox's look alone, as no button clears its own.
  EXPECT_EQ(Selected(), "00011");
  Click(n::kNavBackup);
  EXPECT_EQ(Selected(), "01001") << "the data-only mode stays marked across the other pages";
}

TEST_F(Window, ReinstallLeavesTheDataOnlyModeSoTheSystemsCanBeChosen) {
  Click(n::kDataBackupButton);
  EXPECT_TRUE(DataOnlyMode());
  Click(n::kNavReinstall);
  EXPECT_FALSE(DataOnlyMode());
  Click(n::kNextButton);  // 0 -> 1
  Click(n::kNextButton);  // 1 -> 2: the system choice, not a data backup
  EXPECT_EQ(Step(), 2);
  EXPECT_TRUE(fake_.Dialogs().empty());
}

TEST_F(Window, WizardWalksForwardAndBackWithTheBackButtonShownFromStepOne) {
  bool backup_started = false;
  int installs = 0;
  SetWizardLinks({[&] { return ++installs, true; }, [&] { return backup_started = true; }, nullptr});
  Model().SetVisible(n::kBackButton, false);
  Model().SetPage(n::kWizard, 0);
  Click(n::kNextButton);
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(Steps(), "01000");
  EXPECT_TRUE(Model().Get(n::kBackButton).visible);
  EXPECT_TRUE(Model().Get(n::kBackButton).enabled);
  EXPECT_TRUE(Model().Get(dl::kDownloadPage.status).visible);

  Click(n::kNextButton);
  EXPECT_EQ(Step(), 2);
  Click(n::kNextButton);
  EXPECT_EQ(installs, 1);
  EXPECT_EQ(Step(), 3);
  EXPECT_EQ(Steps(), "00010");
  EXPECT_FALSE(backup_started) << "the install starts its own workers";

  // Back from the system choice re-enables next; back from the data choice hides back.
  Model().SetPage(n::kWizard, 2);
  Model().SetEnabled(n::kNextButton, false);
  Click(n::kBackButton);
  EXPECT_EQ(Step(), 1);
  EXPECT_TRUE(Model().Get(n::kNextButton).enabled);
  Click(n::kBackButton);
  EXPECT_EQ(Step(), 0);
  EXPECT_FALSE(Model().Get(n::kBackButton).visible);
  EXPECT_EQ(Steps(), "10000");
}

TEST_F(Window, NextOnTheSystemChoiceWithoutAChoiceShowsTheErrorAndStays) {
  Model().SetPage(n::kWizard, 2);
  Choice().file_name.clear();
  Click(n::kNextButton);
  EXPECT_EQ(Step(), 2);
  auto dialogs = fake_.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].text, "程序无法继续，请您选择需要安装的系统！");
  EXPECT_EQ(dialogs[0].caption, "错误：");
  EXPECT_EQ(dialogs[0].flags, kMbIconError);

  // An install starter that stops at its checks keeps the wizard there too.
  SetWizardLinks({[] { return false; }, nullptr, nullptr});
  Click(n::kNextButton);
  EXPECT_EQ(Step(), 2);
}

TEST_F(Window, FirstItemOnStepOneAsksAndIsUntickedUnlessTheUserGoesOn) {
  for (int answer : {kResNo, kResYes}) {
    fake_.ClearDialogs();
    Model().SetPage(n::kWizard, 1);
    Check(n::kDataSelectAll, true);
    fake_.QueueAnswer(answer);
    Click(n::kNextButton);
    auto dialogs = fake_.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].caption, "提示：");
    EXPECT_EQ(dialogs[0].buttons.at(5), "继续备份");
    EXPECT_EQ(dialogs[0].buttons.at(6), "取消备份");
    EXPECT_EQ(Model().Checked(n::kDataItems[0]), answer == kResYes);
    EXPECT_EQ(Model().Checked(n::kDataSelectAll), answer == kResYes) << "select-all follows the item";
    EXPECT_EQ(Step(), 2) << "the wizard goes on either way";
  }
  // Without the first item there is no question.
  fake_.ClearDialogs();
  Model().SetPage(n::kWizard, 1);
  Check(n::kDataItems[0], false);
  Click(n::kNextButton);
  EXPECT_TRUE(fake_.Dialogs().empty());
}

TEST_F(Window, DataOnlyModeNeedsAnItemThenStartsOneBackupOnly) {
  int started = 0;
  bool refuse = true;
  SetWizardLinks({nullptr, [&] { return ++started, !refuse; }, nullptr});
  Click(n::kDataBackupButton);
  for (const char* item : n::kDataItems) Check(item, false);
  Click(n::kNextButton);
  ASSERT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_EQ(fake_.Dialogs()[0].text, "请选择要备份的项目!");
  EXPECT_EQ(fake_.Dialogs()[0].caption, "提示");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(started, 0);

  Check(n::kDataItems[3], true);  // the drivers alone: no question in this mode
  Click(n::kNextButton);          // a backup that did not start keeps the choice of items
  EXPECT_EQ(Step(), 1);
  EXPECT_TRUE(Model().Get(n::kNextButton).visible);
  refuse = false;
  Click(n::kNextButton);
  EXPECT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_EQ(Step(), 3);
  EXPECT_EQ(Steps(), "00010");
  EXPECT_EQ(started, 2);
  EXPECT_FALSE(Model().Get(dl::kDownloadPage.status).visible);
  EXPECT_FALSE(Model().Get(dl::kPauseButton).visible);
  EXPECT_FALSE(Model().Get(n::kNextButton).visible) << "the backup's end brings it back";

  Click(n::kNextButton);  // while it runs: no second backup over the same files
  EXPECT_EQ(started, 2);
  EXPECT_EQ(Step(), 3);
}

TEST_F(Window, NextOnTheProgressStepNeverSkipsToTheLastStep) {
  // A download under way: nothing is ready, whatever the button's look.
  Model().SetPage(n::kWizard, 3);
  Click(n::kNextButton);
  EXPECT_EQ(Step(), 3);
  EXPECT_EQ(Steps(), "00000");
}

TEST_F(Window, BackOnTheProgressStepCancelsTheJobOnlyOnYes) {
  SetBusy(1);
  Model().SetPage(n::kWizard, 3);
  std::atomic<int> rounds{0};
  int cancelled = 0;
  ASSERT_TRUE(BeginJob(JobKind::kInstall, {nullptr, nullptr, nullptr, [&] {
                                             ++cancelled;
                                             SetBusy(0);
                                           }}));
  StartJobWorker([&rounds] {
    while (plat().Checkpoint()) ++rounds, plat().Sleep(5);
  });

  fake_.QueueAnswer(kResNo);
  Click(n::kBackButton);
  EXPECT_EQ(Step(), 3);
  EXPECT_TRUE(JobRunning());
  EXPECT_EQ(dl::BusyFlag(), 1);

  fake_.QueueAnswer(kResYes);
  Click(n::kBackButton);
  EXPECT_EQ(fake_.Dialogs().back().text, "程序正在执行任务，是否取消当前所有任务！");
  EXPECT_EQ(Step(), 2);
  EXPECT_EQ(CurrentJobState(), JobState::kCancelled);
  EXPECT_EQ(cancelled, 1) << "after its worker had ended";
  const int after = rounds;
  fake_.Sleep(20);
  EXPECT_EQ(rounds, after) << "the worker was waited for";
  EXPECT_EQ(dl::BusyFlag(), 0);
  EXPECT_TRUE(Model().Get(n::kNavBackup).enabled);
}

TEST_F(Window, SetBusyDisablesNavigationAndReachesTheDownloadPart) {
  const char* const buttons[] = {n::kNavReinstall, n::kNavBackup, n::kNavSoftware, n::kNavToolbox,
                                 n::kMenuButton,   n::kDataBackupButton, n::kHelpButton};
  SetBusy(1);
  EXPECT_EQ(dl::BusyFlag(), 1);
  for (const char* b : buttons) EXPECT_FALSE(Model().Get(b).enabled) << b;
  EXPECT_TRUE(Model().Get(n::kNextButton).enabled) << "the wizard's buttons stay usable";
  EXPECT_TRUE(Model().Get(n::kCloseButton).enabled);
  SetBusy(0);
  for (const char* b : buttons) EXPECT_TRUE(Model().Get(b).enabled) << b;
}

TEST_F(Window, ClosingAsksOnceWhenIdleAndUpToTwiceWhenBusy) {
  fake_.QueueAnswer(kResNo);
  EXPECT_FALSE(Ends([] { Fire(n::kMainWindow, "close"); }));
  ASSERT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_EQ(fake_.Dialogs()[0].text, "程序正在运行，是否退出！");
  EXPECT_EQ(fake_.Dialogs()[0].flags, kMbYesNo | kMbIconWarning);
  EXPECT_EQ(fake_.Dialogs()[0].caption, "提示");

  dl::SetBusyFlag(1);
  fake_.ClearDialogs();
  fake_.QueueAnswer(kResNo);
  fake_.QueueAnswer(kResNo);
  EXPECT_FALSE(Ends([] { ConfirmExit(); }));
  ASSERT_EQ(fake_.Dialogs().size(), 2u);
  EXPECT_EQ(fake_.Dialogs()[0].text, "程序正在执行任务，是否放弃所有操作并退出！");
  EXPECT_EQ(fake_.Dialogs()[1].text, "程序正在运行，是否退出！");

  // Busy, Yes at once: one question, the job's worker stopped and waited
  // for, the orderly end.
  std::atomic<bool> worker_done{false};
  ASSERT_TRUE(BeginJob(JobKind::kDataBackup, {}));
  StartJobWorker([&worker_done] {
    while (plat().Checkpoint()) plat().Sleep(5);
    plat().Sleep(20);  // the file under way is finished or removed
    worker_done = true;
  });
  fake_.ClearDialogs();
  fake_.QueueAnswer(kResYes);
  EXPECT_TRUE(Ends([] { ConfirmExit(); }));
  EXPECT_EQ(fake_.Dialogs().size(), 1u);
  EXPECT_TRUE(worker_done) << "ended before the program";
  EXPECT_EQ(fake_.EndedWith(), 0);
  EXPECT_EQ(LogLines().back(), "Main_END");

  // A hand-off under way is not broken off: the window stays.
  ASSERT_TRUE(BeginJob(JobKind::kInstall, {}));
  ASSERT_TRUE(MoveJobState({JobState::kDownloading}, JobState::kHandingOff));
  fake_.ClearDialogs();
  fake_.QueueAnswer(kResYes);
  fake_.QueueAnswer(kResYes);
  EXPECT_FALSE(Ends([] { ConfirmExit(); }));
  EXPECT_EQ(fake_.Dialogs().size(), 1u);
  ResetJob();
}

TEST_F(Window, SelectAllSetsEveryItemAndFollowsTheFirstThree) {
  Check(n::kDataSelectAll, true);
  for (const char* item : n::kDataItems) EXPECT_TRUE(Model().Checked(item)) << item;
  Check(n::kDataItems[3], false);
  EXPECT_TRUE(Model().Checked(n::kDataSelectAll)) << "the drivers item does not take part";
  Check(n::kDataItems[1], false);
  EXPECT_FALSE(Model().Checked(n::kDataSelectAll));
  Check(n::kDataItems[1], true);
  EXPECT_TRUE(Model().Checked(n::kDataSelectAll));
  Check(n::kDataSelectAll, false);
  for (const char* item : n::kDataItems) EXPECT_FALSE(Model().Checked(item)) << item;
}

TEST_F(Window, LinksOpenOutsideAndSoftwareTabsLoadInTheirBrowser) {
  Click(n::kMenuHomeItem);
  Click(n::kHelpButton);
  Click(n::kContactPictures[0]);
  auto opened = fake_.ShellOpens();
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[0], HomePageUrl());
  EXPECT_EQ(opened[0].back(), '/');
  EXPECT_EQ(opened[1], HelpPageUrl());
  EXPECT_NE(opened[2].find("/wpa/qunwpa?idkey="), std::string::npos);

  for (int tab = 1; tab <= 5; ++tab) {
    Click(n::kSoftwareMenu[tab - 1]);
    EXPECT_EQ(Model().Get(n::kSoftwareBrowser).url, service::Host() + "/soft/" + std::to_string(tab) + ".html");
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(Model().Selected(n::kSoftwareMenu[i - 1]), i == tab);
  }
}

TEST_F(Window, NewWindowsStayInTheCatalogueAndGoOutFromTheToolbox) {
  Model().SetUrl(n::kCatalogueBrowser, "http://a/sys_img/mbr.html");
  Fire(n::kCatalogueBrowser, "newwindow", "http://a/more.html");
  EXPECT_EQ(Model().Get(n::kCatalogueBrowser).url, "http://a/more.html");
  EXPECT_TRUE(fake_.ShellOpens().empty());
  Fire(n::kToolboxBrowser, "newwindow", "http://a/tool.html");
  ASSERT_EQ(fake_.ShellOpens().size(), 1u);
  EXPECT_EQ(fake_.ShellOpens()[0], "http://a/tool.html");
  EXPECT_NE(Model().Get(n::kToolboxBrowser).url, "http://a/tool.html");
}

TEST_F(Window, TitleAreaHandlersGoThroughTheWindow) {
  Model().Update(n::kMenuButton, [](Component& c) {
    c.x = 700;
    c.y = 8;
    c.height = 24;
  });
  Click(n::kMenuButton);
  Click(n::kMinimizeButton);
  Fire(n::kDragArea, "down");
  Click(n::kMenuAboutItem);
  Click(n::kAboutCloseButton);
  Fire(n::kAboutWindowTitle, "created", "4660");
  Fire(n::kAboutWindowTitle, "created", "not a window");  // nothing to attach to
  EXPECT_EQ(ops_.Calls(), (std::vector<std::string>{"menu:800,82", "minimize", "drag", "about", "about-close",
                                                     "shadow:4660"}));
  // The hint balloon at the pointer.
  Fire(n::kStepImages[1], "hover");
  Component hint = Model().Get(n::kHintBalloon);
  EXPECT_EQ(hint.text, "请按右下角按钮继续操作");
  EXPECT_TRUE(hint.visible);
  EXPECT_EQ(hint.x, 300);
  EXPECT_EQ(hint.y, 200);
}

TEST_F(Window, BackupFolderLabelsOpenTheirFolders) {
  Model().SetText(n::kBackupFolderLabel, "D:\\MV_OSR\\os_bak\\");
  Model().SetText(n::kDataFolderLabel, "");
  Click(n::kBackupFolderLabel);
  Click(n::kDataFolderLabel);
  ASSERT_EQ(fake_.ShellOpens().size(), 1u) << "an empty label opens nothing";
  EXPECT_EQ(fake_.ShellOpens()[0], "D:\\MV_OSR\\os_bak\\");
}

TEST_F(Window, ForumPanelOpensOnceAndHidesWhenThePointerLeaves) {
  ops_.SetUnder(n::kForumButton);
  Model().SetVisible(n::kForumPanel, false);
  Click(n::kForumButton);
  EXPECT_TRUE(Model().Get(n::kForumPanel).visible);
  Click(n::kForumButton);  // shown: no second browser window
  ASSERT_EQ(fake_.ShellOpens().size(), 1u);
  EXPECT_EQ(fake_.ShellOpens()[0], ForumPageUrl());
  ops_.SetUnder(n::kForumPanel);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_TRUE(Model().Get(n::kForumPanel).visible) << "over the panel it stays";
  ops_.SetUnder("");
  for (int i = 0; i < 100 && Model().Get(n::kForumPanel).visible; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(Model().Get(n::kForumPanel).visible);
  Click(n::kForumButton);  // hidden again: a new click opens again
  EXPECT_EQ(fake_.ShellOpens().size(), 2u);
}

TEST_F(Window, StartUpStepsOfTheWindowAndTheCountdownTimer) {
  Model().SetPage(n::kWizard, 3);
  Model().SetPage(n::kPageHost, 2);
  StartUp(0x1234);
  EXPECT_EQ(Model().Get(n::kSoftwareBrowser).width, 715);
  EXPECT_EQ(Model().Get(n::kToolboxBrowser).height, 450);
  EXPECT_EQ(Page(), 0);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Steps(), "10000");
  EXPECT_EQ(Selected(), "10000");
  EXPECT_EQ(dl::MessageOwner(), 0x1234u);
  EXPECT_EQ(ops_.Calls(), (std::vector<std::string>{"shadow:4660", "hook"}));

  StartRestartCountdown();
  ASSERT_TRUE(Fire(n::kRestartTimer, "timer"));
  EXPECT_EQ(RestartCountdownSeconds(), 98);
  // In its restart role the next button asks instead of navigating.
  fake_.QueueAnswer(kResNo);
  Click(n::kNextButton);
  EXPECT_EQ(fake_.Dialogs().back().caption, "是否立即重启？");
  EXPECT_EQ(Step(), 0);
}

}  // namespace
}  // namespace mv::ui::test
