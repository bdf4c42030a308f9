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
#include <windows.h>

#include <cstdlib>

#include "core/startup.h"
#include "core/window_names.h"
#include "boot/boot_names.h"
#include "ui/main_names.h"
#include "ui/model.h"
#include "ui/shadow.h"
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

void RunStartUp(mv::ui::win32::MainWindow& window) {
#if defined(MV_HAVE_WIN32_PLATFORM)
  mv::StartUp(reinterpret_cast<mv::WindowRef>(window.hwnd()));
#else
  // Without the platform only the labels of the start-up can be shown.
  mv::ui::MainModel().SetText(mv::names::kTitleLabel, mv::kCaptionText);
  mv::ui::MainModel().SetText(mv::names::kVersionLabel, mv::kVersionText);
#endif
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#if defined(MV_HAVE_WIN32_PLATFORM)
  static mv::Win32Platform platform;
  mv::SetPlatform(&platform);
#endif

  // GDI+ once for the process, before any shadow is painted.
  mv::ui::win32::StartGdiplus();

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
  window.OnCreated([&window, close_after] {
    RunStartUp(window);
    ShowStartPage();
    if (close_after) window.CloseAfter(close_after);
  });
  if (!window.Create(instance, true)) return 1;

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
