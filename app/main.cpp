// The program: sets the Win32 platform, shows the main window, runs the
// start-up routine on the window's "created" event and pumps messages until
// the window closes.
//
// Test aid: when the environment variable MV_OSR_CLOSE_AFTER_MS holds a
// number of milliseconds, the window closes by itself that long after the
// start-up routine has finished (no confirmation), so that tests can run the
// real program to its end without killing it.
#include <windows.h>

#include <cstdlib>

#include "backup/backup_page.h"
#include "core/startup.h"
#include "core/window_names.h"
#include "download/reinstall.h"
#include "ui/main_window_logic.h"
#include "ui/model.h"
#include "ui/win32/index_window.h"
#include "ui/win32/view.h"

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
  mv::InstallBackupPage();
#endif
  // The reinstall flow's handlers (catalogue links, pause, cancels).
  mv::InstallReinstallFlow();

  mv::ui::win32::InstallIndexWindowView(instance);

  // Every handler of the window, the start-up's window steps and the
  // engine's links, before the window exists.
  mv::ui::InstallMainWindowLogic();

  mv::ui::win32::MainWindow window(mv::ui::MainModel());
  const UINT close_after = CloseAfterMs();
  window.OnCloseRequest([] { return mv::ui::ConfirmExit(); });
  window.OnCreated([&window, close_after] {
    RunStartUp(window);
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
  return 0;
}
