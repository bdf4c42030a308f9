#include "ui/main_window_logic.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "boot/boot_names.h"
#include "boot/restart.h"
#include "core/job.h"
#include "core/log.h"
#include "core/service_host.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/web_address.h"
#include "detect/survey.h"
#include "download/engine.h"
#include "download/progress.h"
#include "download/progress_names.h"
#include "download/tasks.h"
#include "platform/sync.h"
#include "ui/main_names.h"
#include "ui/model.h"
#include "ui/window_ops.h"

#ifndef MV_HELP_HOST
#define MV_HELP_HOST "http://help.marvolt.example"
#endif
#ifndef MV_FORUM_HOST
#define MV_FORUM_HOST "http://bbs.marvolt.example"
#endif
#ifndef MV_SUPPORT_GROUP_URL
#define MV_SUPPORT_GROUP_URL "http://chat.marvolt.example/wpa/qunwpa?idkey=0"
#endif

namespace mv::ui {

const char kExitQuestion[] = "程序正在运行，是否退出！";
const char kExitBusyQuestion[] = "程序正在执行任务，是否放弃所有操作并退出！";

namespace {

constexpr char kStepAdvice[] =
    "建议到C盘目录下查看文件大小，根据占用的空间，可能需要很长时间备份，如无重要文档建议不要备份";
constexpr char kNoItemMessage[] = "请选择要备份的项目!";
constexpr char kCancelTasksQuestion[] = "程序正在执行任务，是否取消当前所有任务！";
constexpr char kToolboxBannerImage[] = "toolbox_banner";
constexpr int kPaneWidth = 715, kPaneHeight = 450;
constexpr uint32_t kForumWatchMs = 500;

struct LogicState {
  Mutex mu;
  WizardLinks links;
  WindowOps* ops = nullptr;
  Handle forum_watcher = kNoHandle;
};

LogicState& S() {
  static LogicState s;
  return s;
}

WizardLinks Links() {
  LockGuard g(S().mu);
  return S().links;
}

WindowOps* Ops() {
  LockGuard g(S().mu);
  return S().ops;
}

WindowModel& M() { return MainModel(); }

WindowRef Owner() { return dl::MessageOwner(); }

int Step() {
  const int step = M().Get(names::kWizard).page;
  return step < 0 ? 0 : step;
}

// Each navigation button shows the selected look while its page is shown.
void SelectNav(const char* selected, std::vector<const char*> cleared) {
  for (const char* name : cleared) M().SetSelected(name, false);
  M().SetSelected(selected, true);
}

// The download page's components, shown while the cloud install runs and
// hidden for a data backup of its own.
void ShowDownloadProgress(bool visible) {
  for (const char* name : {dl::kDownloadPage.status, dl::kDownloadPage.progress, dl::kDownloadPage.percent,
                           dl::kDownloadPage.track, dl::kDownloadPage.fill, dl::kPauseButton,
                           dl::kSecondActionButton})
    M().SetVisible(name, visible);
}

bool AnyDataItem() {
  for (const char* item : names::kDataItems)
    if (M().Checked(item)) return true;
  return false;
}

// Select-all follows the three personal folders (the drivers item does not count).
void SyncSelectAll() {
  M().SetChecked(names::kDataSelectAll, M().Checked(names::kDataItems[0]) && M().Checked(names::kDataItems[1]) &&
                                            M().Checked(names::kDataItems[2]));
}

// A check box's event: the view passes the new state ("1"/"0"); without it
// the model already holds it.
void TakeCheck(const char* name, const std::string& arg) {
  if (arg == "1" || arg == "0") M().SetChecked(name, arg == "1");
}

// Back on the progress step: the running job is stopped (every worker of
// it, waited for) once the user agrees. False when the wizard stays.
bool CancelProgressStep() {
  if (AskAboutJob(kCancelTasksQuestion, kMbYesNo | kMbIconQuestion, "提示", Owner()) != kResYes) return false;
  return CancelJob();
}

void ShowHint() {
  ScreenPoint at;
  if (WindowOps* ops = Ops()) at = ops->PointerPosition();
  M().Update(names::kHintBalloon, [&](Component& c) {
    c.text = names::kHintText;
    c.x = at.x;
    c.y = at.y;
    c.visible = true;
  });
}

void OpenMenu() {
  WindowOps* ops = Ops();
  if (!ops) return;
  const Component button = M().Get(names::kMenuButton);
  const ScreenPoint origin = ops->WindowOrigin();
  ops->ShowPopupMenu({origin.x + button.x, origin.y + button.y + button.height});
}

// The forum panel stays while the pointer is over it or over the button.
void WatchForumPanel() {
  WindowOps* ops = Ops();
  while (plat().Checkpoint()) {
    plat().Sleep(kForumWatchMs);
    if (!plat().Checkpoint()) break;
    const std::string under = ops ? ops->ComponentUnderPointer() : std::string();
    if (under != names::kForumPanel && under != names::kForumButton) {
      M().SetVisible(names::kForumPanel, false);
      break;
    }
  }
}

void OnForumButton() {
  if (M().Get(names::kForumPanel).visible) return;
  plat().ShellOpen(ForumPageUrl());
  M().SetVisible(names::kForumPanel, true);
  Handle old;
  {
    LockGuard g(S().mu);
    old = S().forum_watcher;
    S().forum_watcher = kNoHandle;
  }
  if (old != kNoHandle) {  // the last watcher has ended: the panel was hidden
    plat().JoinThread(old, ~0u);
    plat().ReleaseThread(old);
  }
  const Handle watcher = plat().StartThread(WatchForumPanel);
  LockGuard g(S().mu);
  S().forum_watcher = watcher;
}

void StopForumWatcher() {
  Handle w;
  {
    LockGuard g(S().mu);
    w = S().forum_watcher;
    S().forum_watcher = kNoHandle;
  }
  if (w == kNoHandle) return;
  plat().RequestStop(w);
  plat().JoinThread(w, ~0u);
  plat().ReleaseThread(w);
}

// Opens a folder label's folder in Explorer; an empty label opens nothing.
void OpenFolderOf(const char* label) {
  const Text folder = M().Text(label);
  if (!folder.empty()) plat().ShellOpen(folder);
}

void Click(const std::string& name, std::function<void()> fn) {
  SetHandler(name, "click", [fn = std::move(fn)](const std::string&) { fn(); });
}

void RegisterHandlers() {
  // Navigation.
  Click(names::kNavReinstall, ShowReinstallPage);
  Click(names::kNavBackup, ShowBackupPage);
  Click(names::kNavSoftware, ShowSoftwarePage);
  Click(names::kNavToolbox, ShowToolboxPage);
  Click(names::kDataBackupButton, ShowDataBackupMode);

  // The wizard's two buttons: navigation, or their restart roles.
  Click(names::kNextButton, [] { OnNextButtonClick(WizardNext); });
  Click(names::kBackButton, [] { OnBackButtonClick(WizardBack); });
  SetHandler(names::kRestartTimer, "timer", [](const std::string&) { RestartCountdownTick(); });

  // Step 0: the survey.
  Click(names::kDetectAgainButton, SurveyAgain);
  Click(names::kDetectProceedButton, SurveyAgain);
  Click(names::kRefreshButton, Survey);

  // Step 1: the data-backup items.
  SetHandler(names::kDataSelectAll, "check", [](const std::string& arg) {
    TakeCheck(names::kDataSelectAll, arg);
    const bool all = M().Checked(names::kDataSelectAll);
    for (const char* item : names::kDataItems) M().SetChecked(item, all);
  });
  for (const char* item : names::kDataItems)
    SetHandler(item, "check", [item](const std::string& arg) {
      TakeCheck(item, arg);
      SyncSelectAll();
    });
  Click(names::kDataBackupCancel, [] {
    if (auto cancel = Links().cancel_data_backup) cancel();
  });
  for (const char* step : names::kStepImages) SetHandler(step, "hover", [](const std::string&) { ShowHint(); });

  // Title area, menu and about window.
  Click(names::kMenuButton, OpenMenu);
  Click(names::kMinimizeButton, [] {
    if (WindowOps* ops = Ops()) ops->Minimize();
  });
  SetHandler(names::kDragArea, "down", [](const std::string&) {
    if (WindowOps* ops = Ops()) ops->BeginDrag();
  });
  Click(names::kMenuHomeItem, [] { plat().ShellOpen(HomePageUrl()); });
  Click(names::kMenuAboutItem, [] {
    if (WindowOps* ops = Ops()) ops->ShowAboutWindow();
  });
  Click(names::kAboutCloseButton, [] {
    if (WindowOps* ops = Ops()) ops->CloseAboutWindow();
  });
  SetHandler(names::kAboutWindowTitle, "created", [](const std::string& arg) {
    // The about window passes its handle in decimal.
    const WindowRef window = static_cast<WindowRef>(std::strtoull(arg.c_str(), nullptr, 10));
    if (WindowOps* ops = Ops())
      if (window) ops->AttachShadow(window);
  });
  Click(names::kHelpButton, [] { plat().ShellOpen(HelpPageUrl()); });
  Click(names::kForumButton, OnForumButton);
  Click(names::kContactPictures[0], [] { plat().ShellOpen(SupportGroupUrl()); });
  SetHandler(names::kMainWindow, "close", [](const std::string&) { ConfirmExit(); });

  // Pages: software tabs, backup folders.
  for (int n = 1; n <= 5; ++n) Click(names::kSoftwareMenu[n - 1], [n] { ShowSoftwareTab(n); });
  Click(names::kBackupFolderLabel, [] { OpenFolderOf(names::kBackupFolderLabel); });
  Click(names::kDataFolderLabel, [] { OpenFolderOf(names::kDataFolderLabel); });

  // New windows of the browsers: the catalogue keeps them, the others go out.
  SetHandler(names::kCatalogueBrowser, "newwindow",
             [](const std::string& url) { M().SetUrl(names::kCatalogueBrowser, url); });
  for (const char* browser : {names::kToolboxBrowser, names::kSoftwareBrowser})
    SetHandler(browser, "newwindow", [](const std::string& url) { OpenWebAddress(url); });
}

void RegisterStartupHooks() {
  SetStartupHook(StartupHook::kResizeBrowserPanes, [](WindowRef) {
    for (const char* pane : {names::kSoftwareBrowser, names::kToolboxBrowser})
      M().Update(pane, [](Component& c) {
        c.width = kPaneWidth;
        c.height = kPaneHeight;
      });
  });
  SetStartupHook(StartupHook::kAttachShadow, [](WindowRef main_window) {
    dl::SetMessageOwner(main_window);
    if (WindowOps* ops = Ops()) ops->AttachShadow(main_window);
  });
  SetStartupHook(StartupHook::kShowFirstPage, [](WindowRef) {
    M().SetPage(names::kWizard, names::kStepEnvironment);
    ShowStep();
    M().SetPage(names::kPageHost, names::kPageReinstall);
    SelectNav(names::kNavReinstall, {names::kNavBackup, names::kNavSoftware, names::kNavToolbox});
  });
  SetStartupHook(StartupHook::kInstallBrowserHook, [](WindowRef) {
    if (WindowOps* ops = Ops()) ops->InstallBrowserMouseHook();
  });
}

}  // namespace

void SetWizardLinks(WizardLinks links) {
  LockGuard g(S().mu);
  S().links = std::move(links);
}

void SetWindowOps(WindowOps* ops) {
  LockGuard g(S().mu);
  S().ops = ops;
}
WindowOps* CurrentWindowOps() { return Ops(); }

Text HomePageUrl() {
  Text home = service::MakerHomePage();
  if (home.empty() || home.back() != '/') home += "/";
  return home;
}
Text HelpPageUrl() { return Text(MV_HELP_HOST) + "/"; }
Text ForumPageUrl() { return Text(MV_FORUM_HOST) + "/"; }
Text SupportGroupUrl() { return MV_SUPPORT_GROUP_URL; }

void InstallMainWindowLogic() {
  RegisterHandlers();
  RegisterStartupHooks();
  SetLocalInstallPage(ShowBackupPage);
  dl::InstallDownloadHooks();
  dl::SetDownloadLinks({[](int busy) { SetBusy(busy); }});
}

void OnStartUpFinished() { SurveyAgain(); }

void SetBusy(int busy) {
  dl::SetBusyFlag(busy);
  for (const char* name : {names::kNavReinstall, names::kNavBackup, names::kNavSoftware, names::kNavToolbox,
                           names::kMenuButton, names::kDataBackupButton, names::kHelpButton})
    M().SetEnabled(name, busy == 0);
}

void ShowStep() {
  const int step = Step();
  for (int i = 0; i < 5; ++i) M().SetImage(names::kStepImages[i], i == step ? 1 : 0);
}

bool ConfirmExit() {
  if (dl::BusyFlag()) {
    if (AskAboutJob(kExitBusyQuestion, kMbYesNo | kMbIconWarning, "提示", Owner()) == kResYes) {
      // A hand-off under way is not broken off halfway.
      if (!CancelJob()) return false;
      ShutDown();
    }
  }
  if (plat().ShowMessageBox(kExitQuestion, kMbYesNo | kMbIconWarning, "提示", Owner()) == kResYes) ShutDown();
  return false;
}

void ShowReinstallPage() {
  M().SetPage(names::kPageHost, names::kPageReinstall);
  M().SetPage(names::kWizard, names::kStepEnvironment);
  ShowStep();
  // The reinstall starts the wizard over: it leaves the data-only mode, or
  // its next button would back data up instead of offering the systems.
  SelectNav(names::kNavReinstall,
            {names::kNavBackup, names::kNavSoftware, names::kNavToolbox, names::kDataBackupButton});
}

void ShowBackupPage() {
  M().SetPage(names::kPageHost, names::kPageBackup);
  SelectNav(names::kNavBackup, {names::kNavReinstall, names::kNavSoftware, names::kNavToolbox});
}

void ShowSoftwarePage() {
  M().SetPage(names::kPageHost, names::kPageSoftware);
  M().Update(names::kSoftwareBrowser, [](Component& c) { c.height = kPaneHeight; });
  M().SetSelected(names::kSoftwareMenu[0], true);
  SelectNav(names::kNavSoftware, {names::kNavReinstall, names::kNavBackup, names::kNavToolbox});
}

void ShowToolboxPage() {
  M().SetPage(names::kPageHost, names::kPageToolbox);
  M().Update(names::kToolboxBrowser, [](Component& c) { c.height = kPaneHeight; });
  M().SetImages(names::kToolboxBanner, {kToolboxBannerImage});
  M().SetUrl(names::kToolboxBrowser, service::ToolboxUrl());
  SelectNav(names::kNavToolbox, {names::kNavReinstall, names::kNavBackup, names::kNavSoftware});
}

void ShowDataBackupMode() {
  M().SetPage(names::kPageHost, names::kPageReinstall);
  M().SetPage(names::kWizard, names::kStepDataChoice);
  M().SetVisible(names::kBackButton, false);
  ShowStep();
  SelectNav(names::kDataBackupButton, {names::kNavReinstall, names::kNavBackup, names::kNavSoftware});
}

bool DataOnlyMode() { return M().Selected(names::kDataBackupButton); }

void WizardNext() {
  const int step = Step();
  const bool data_only = DataOnlyMode();
  if (step == names::kStepDataChoice && !data_only && M().Checked(names::kDataItems[0])) {
    const std::vector<Text> captions = {"", "", "", "", "", "继续备份", "取消备份"};
    if (plat().AskWithCaptions(kStepAdvice, kMbYesNo | kMbIconInformation, "提示：", Owner(), captions) !=
        kResYes) {
      M().SetChecked(names::kDataItems[0], false);
      SyncSelectAll();
    }
  }
  if (step == names::kStepSystemChoice) {
    if (auto start = Links().start_cloud_install) {
      if (!start()) return;
    } else if (Choice().file_name.empty()) {
      plat().ShowMessageBox("程序无法继续，请您选择需要安装的系统！", kMbIconError, "错误：", Owner());
      M().SetPage(names::kWizard, names::kStepSystemChoice);
      return;
    }
  }
  if (step == names::kStepEnvironment) {
    M().SetVisible(names::kBackButton, true);
    M().SetEnabled(names::kBackButton, true);
  }
  // The last step: nothing further. On the progress step nothing is ready
  // until the job hands off (and a data backup that runs is never started
  // twice over the same files).
  if (step >= names::kStepProgress) return;
  ShowDownloadProgress(true);
  if (data_only) {
    if (!AnyDataItem()) {
      plat().ShowMessageBox(kNoItemMessage, kMbIconInformation, "提示", Owner());
      return;
    }
    if (auto start = Links().start_data_backup)
      if (!start()) return;
    M().SetPage(names::kWizard, names::kStepProgress);
    ShowDownloadProgress(false);
    // The backup's end shows it again (and returns to the choice).
    M().SetVisible(names::kNextButton, false);
  } else {
    M().SetPage(names::kWizard, step + 1);
  }
  ShowStep();
}

void WizardBack() {
  const int step = Step();
  if (step == names::kStepDataChoice) M().SetVisible(names::kBackButton, false);
  if (step == names::kStepProgress && !CancelProgressStep()) return;
  if (step == names::kStepSystemChoice) M().SetEnabled(names::kNextButton, true);
  if (step > 0) M().SetPage(names::kWizard, step - 1);
  ShowStep();
}

void ShowSoftwareTab(int n) {
  if (n < 1 || n > 5) return;
  M().SetUrl(names::kSoftwareBrowser, service::SoftPageUrl(n));
  for (int i = 1; i <= 5; ++i) M().SetSelected(names::kSoftwareMenu[i - 1], i == n);
}

void ResetMainWindowLogic() {
  StopForumWatcher();
  ClearHandlers();
  ClearStartupHooks();
  SetWizardLinks({});
  SetWindowOps(nullptr);
  SetLocalInstallPage(nullptr);
  dl::SetDownloadLinks({});
}

}  // namespace mv::ui
