// The program: sets the Win32 platform, shows the main window, runs the
// start-up routine on the window's "created" event and pumps messages until
// the window closes.
//
// Test aids:
// - MV_OSR_CLOSE_AFTER_MS: a number of milliseconds; the window closes by
//   itself that long after the start-up routine has finished (no
//   confirmation), so that tests can run the real program to its end.
// - MV_OSR_REPORT: a file path; the window writes there, after every change,
//   every component's screen rectangle and state and the events fired (UTF-8
//   JSON), so that end-to-end tests can click the components by name.
// - MV_OSR_PAYLOAD_WITHOUT: file names of carried files ("bcdedit.exe;boot.sdi")
//   the program then behaves as if it did not carry, as a build without a
//   deployer's files nor the project's stand-ins for them.
//
// The command line (core/command_line.h): no argument opens the window;
// "/check" and "/report" run without it; "/install", "/backup-system" and
// "/restore" run their job in the window, unattended (cli/unattended.h).
// Their lines go to the console they were started from.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <set>

#include "backup/backup_page.h"
#include "backup/data_backup.h"
#include "backup/requests.h"
#include "backup/wim_info.h"
#include "cli/commands.h"
#include "cli/console_win32.h"
#include "cli/unattended.h"
#include "core/command_line.h"
#include "core/console.h"
#include "core/payload.h"
#include "readiness/check_command.h"
#include "readiness/readiness_view.h"
#include "report/report_command.h"
#include "version.h"
#include "download/pe_prepare.h"
#include "download/tasks.h"
#include "ui/image_choice.h"
#include "core/startup.h"
#include "core/window_names.h"
#include "boot/boot_names.h"
#include "download/install_job.h"
#include "ui/main_names.h"
#include "ui/main_window_logic.h"
#include "ui/model.h"
#include "ui/shadow.h"
#include "ui/win32/index_window.h"
#include "ui/win32/layout.h"
#include "ui/win32/shadow.h"
#include "ui/win32/view.h"
#include "ui/win32/window_ops_win32.h"

#if defined(MV_HAVE_WIN32_PLATFORM)
#include "platform/win32/win32_platform.h"
#endif

namespace {

// Milliseconds from MV_OSR_CLOSE_AFTER_MS, 0 when unset or not a number.
UINT CloseAfterMs() {
  wchar_t buf[32];
  DWORD n = GetEnvironmentVariableW(L"MV_OSR_CLOSE_AFTER_MS", buf, 32);
  if (n == 0 || n >= 32) return 0;
  wchar_t* end = nullptr;
  unsigned long ms = wcstoul(buf, &end, 10);
  if (end == buf || *end != L'\0' || ms > 600000) return 0;
  return static_cast<UINT>(ms);
}

// The value of an environment variable ("" when unset).
std::wstring Env(const wchar_t* name) {
  wchar_t buf[1024];
  DWORD n = GetEnvironmentVariableW(name, buf, 1024);
  if (n == 0 || n >= 1024) return std::wstring();
  return std::wstring(buf, n);
}

// MV_OSR_START_PAGE (test aid, for screenshots): "P" shows page P of the page
// host, "0.S" step S of the wizard, once the start-up has run, with the
// navigation button and the step picture of that page marked.
void ShowStartPage() {
  std::wstring v = Env(L"MV_OSR_START_PAGE");
  if (v.empty() || v[0] < L'0' || v[0] > L'4') return;
  const int page = v[0] - L'0';
  mv::ui::MainModel().SetPage(mv::names::kPageHost, page);
  const char* nav[4] = {mv::names::kNavReinstall, mv::names::kNavBackup, mv::names::kNavSoftware,
                        mv::names::kNavToolbox};
  const int nav_page[4] = {mv::names::kPageReinstall, mv::names::kPageBackup, mv::names::kPageSoftware,
                           mv::names::kPageToolbox};
  for (int i = 0; i < 4; ++i) mv::ui::MainModel().SetSelected(nav[i], nav_page[i] == page);
  if (v.size() == 3 && v[1] == L'.' && v[2] >= L'0' && v[2] <= L'4') {
    const int step = v[2] - L'0';
    mv::ui::MainModel().SetPage(mv::names::kWizard, step);
    for (int i = 0; i < 5; ++i) mv::ui::MainModel().SetImage(mv::names::kStepImages[i], i == step ? 1 : 0);
  }
}

// What one part of the program needs from another: the image index window
// for the local-image choice and the restore, the PE preparation for the
// backup page's requests, the data backup inside an install and on its own.
void ConnectParts() {
  mv::SetIndexWindowShadow([](mv::WindowRef w) {
    mv::ui::win32::SetWindowShadow(reinterpret_cast<HWND>(w), mv::ui::kShadowColour, mv::ui::kShadowSize, true);
  });
  mv::SetImageIndexWindow([](mv::WindowRef owner) { return mv::ShowImageIndexWindow(owner); });
  // Inside an install the second worker runs the data backup's sequence;
  // the install reads what it copied.
  mv::SetDataBackupJob([](mv::CopyTally& tally) { return mv::RunDataBackup(tally); });

  mv::ui::WizardLinks wizard;
  wizard.start_cloud_install = [] { return mv::StartCloudInstall(); };
  wizard.start_data_backup = [] { return mv::StartDataBackup() != mv::kNoHandle; };
  wizard.cancel_data_backup = [] { mv::CancelDataBackup(); };
  mv::ui::SetWizardLinks(wizard);

  mv::BackupLinks backup;
  backup.set_busy = [](int busy) { mv::ui::SetBusy(busy); };
  backup.prepare_pe = [] {
    // The PE preparation copies the restore point into the work directory
    // and points the path at the copy.
    mv::SetRestoreImagePath(mv::RestorePointPath());
    mv::PrepareBackupRestorePe();
    if (!mv::RestoreImagePath().empty()) mv::RestorePointPath() = mv::RestoreImagePath();
  };
  backup.show_index_window = [](mv::WindowRef owner) { mv::ShowImageIndexWindow(owner); };
  backup.data_only_navigate = [] { mv::ui::Fire(mv::names::kDataBackupButton, "click"); };
  mv::SetBackupLinks(backup);
}

#if defined(MV_HAVE_WIN32_PLATFORM)
// The carried files MV_OSR_PAYLOAD_WITHOUT names are not read (test aid).
class PayloadWithout : public mv::PayloadSource {
 public:
  std::set<int> hidden;
  bool Read(int id, mv::Bytes& out) override { return !hidden.count(id) && mv::BuiltInPayload().Read(id, out); }
};

void HideCarriedFiles(PayloadWithout& payload) {
  const std::wstring names = L";" + Env(L"MV_OSR_PAYLOAD_WITHOUT") + L";";
  if (names.size() <= 2) return;
  size_t n = 0;
  const mv::PayloadEntry* table = mv::PayloadTable(&n);
  for (size_t i = 0; i < n; ++i) {
    const std::string path = table[i].path;
    const std::string base = path.substr(path.rfind('\\') == std::string::npos ? 0 : path.rfind('\\') + 1);
    if (names.find(L";" + std::wstring(base.begin(), base.end()) + L";") != std::wstring::npos)
      payload.hidden.insert(table[i].id);
  }
  if (!payload.hidden.empty()) mv::SetPayloadSource(&payload);
}

// The arguments after the program's name, in GBK.
std::vector<mv::Text> Arguments() {
  std::vector<mv::Text> out;
  // The program's name ends at its closing quote, or at the first blank when
  // unquoted. Without anything after it the shell's parser (and its DLLs)
  // stays unloaded: the usual start has no arguments.
  const wchar_t* p = GetCommandLineW();
  if (*p == L'"') {
    for (++p; *p && *p != L'"'; ++p) {
    }
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  if (!*p) return out;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return out;
  for (int i = 1; i < count; ++i) {
    const std::wstring w(argv[i]);
    out.push_back(mv::plat().WideToAnsi(std::u16string(w.begin(), w.end())));
  }
  LocalFree(argv);
  return out;
}
#endif

// The build, for the diagnostics file.
mv::Text BuildText() {
  return mv::Text("文件版本 ") + MV_VERSION_TEXT + (sizeof(void*) == 8 ? "，64 位" : "，32 位") + "，GCC " +
         __VERSION__ + "，编译于 " + __DATE__ + " " + __TIME__;
}

void RunStartUp(mv::ui::win32::MainWindow& window) {
#if defined(MV_HAVE_WIN32_PLATFORM)
  mv::StartUp(reinterpret_cast<mv::WindowRef>(window.hwnd()));
#else
  (void)window;  // without the platform the labels set before the window are all there is
#endif
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  mv::ProgramCommand command;
  bool unattended = false;
#if defined(MV_HAVE_WIN32_PLATFORM)
  // Libraries only from the system directory and the program's folder.
  mv::RestrictLibrarySearch();
  static mv::Win32Platform platform;
  mv::SetPlatform(&platform);
  static PayloadWithout payload;
  HideCarriedFiles(payload);
  command = mv::ParseProgramArguments(Arguments());
  unattended = command.mode != mv::ProgramCommand::kWindow;
  mv::SetReportBuild(BuildText());
  if (unattended) {
    const auto console = mv::OpenConsoleWriter();
    mv::SetConsoleWriter(console);
    const int code = mv::RunCommandWithoutWindow(command, static_cast<bool>(console));
    if (code >= 0) return code;
  }
  mv::InstallBackupPage();
  // The readiness check's button on the environment step, and its gate in
  // front of the install, the system backup and the restore.
  mv::InstallReadinessCheck();
#endif
  // The reinstall flow's handlers (catalogue links, pause, cancels).
  mv::InstallReinstallFlow();

  mv::ui::win32::InstallIndexWindowView(instance);

  // Every handler of the window, the start-up's window steps and the
  // engine's links, before the window exists.
  mv::ui::InstallMainWindowLogic();
  ConnectParts();
#if defined(MV_HAVE_WIN32_PLATFORM)
  mv::InstallReportMenuItem();
  // An unattended job: its answers instead of the boxes, its restart and exit code.
  if (unattended) mv::PrepareUnattendedJob(command);
#endif

  // GDI+ (and the COM DLLs it pulls in) starts with the first shadow that
  // is painted, once the window shows, not before it.

  // The caption and the version are fixed texts: the window shows them from
  // its first paint and is named by its caption from the moment it appears,
  // not only once the start-up has run (which sets them again).
  mv::ui::MainModel().SetText(mv::names::kTitleLabel, mv::kCaptionText);
  mv::ui::MainModel().SetText(mv::names::kVersionLabel, mv::kVersionText);
  mv::ui::win32::MainWindow window(mv::ui::MainModel());
  mv::ui::win32::LayOutMainWindow(window, mv::ui::MainModel());
  window.ReportTo(Env(L"MV_OSR_REPORT"));
  mv::ui::win32::InstallWin32WindowOps(window);
  // The window's part of the start-up: its shadow.
  mv::SetStartupHook(mv::StartupHook::kAttachShadow, [](mv::WindowRef main_window) {
    mv::ui::win32::SetWindowShadow(reinterpret_cast<HWND>(main_window), mv::ui::kShadowColour, mv::ui::kShadowSize,
                                   true);
  });
  const UINT close_after = CloseAfterMs();
  window.OnCloseRequest([] { return mv::ui::ConfirmExit(); });
  window.OnCreated([&window, close_after, unattended] {
    mv::dl::SetMessageOwner(reinterpret_cast<mv::WindowRef>(window.hwnd()));
    mv::SetBackupOwner(reinterpret_cast<mv::WindowRef>(window.hwnd()));
#if defined(MV_HAVE_WIN32_PLATFORM)
    if (unattended) {
      if (close_after) window.CloseAfter(close_after);
      // The check, the start-up, the survey and the job (the rest runs from timers).
      mv::RunUnattendedJob(reinterpret_cast<mv::WindowRef>(window.hwnd()));
      return;
    }
#endif
    RunStartUp(window);
    ShowStartPage();
    if (close_after) window.CloseAfter(close_after);
#if defined(MV_HAVE_WIN32_PLATFORM)
    // Step 0 of the wizard: the survey of the machine.
    mv::ui::OnStartUpFinished();
#endif
  });
  if (!window.Create(instance, true)) return 1;

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
#if defined(MV_HAVE_WIN32_PLATFORM)
  if (unattended) return mv::UnattendedExitCode();
#endif
  return 0;
}
