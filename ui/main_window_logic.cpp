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
#include "ui/wizard_logic.h"

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

// Each navigation button shows the selected look while its page is shown.
void SelectNav(const char* selected, std::vector<const char*> cleared) {
  for (const char* name : cleared) M().SetSelected(name, false);
  M().SetSelected(selected, true);
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

  RegisterWizardHandlers();

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
WizardLinks CurrentWizardLinks() { return Links(); }

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
