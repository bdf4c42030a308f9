// The mouse hook of the browser panes: the control's own context menu never
// comes up.
#include "ui/win32/browser.h"

namespace mv::ui::win32 {
namespace {

std::wstring ClassOf(HWND hwnd) {
  wchar_t buf[256];
  int n = hwnd ? GetClassNameW(hwnd, buf, 256) : 0;
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

HHOOK g_mouse_hook = nullptr;

LRESULT CALLBACK MouseHookProc(int code, WPARAM wp, LPARAM lp) {
  const auto* m = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lp);
  if (m && SwallowsMouseMessage(code, static_cast<UINT>(wp), m->hwnd)) return 1;
  return CallNextHookEx(g_mouse_hook, code, wp, lp);
}

}  // namespace

bool SwallowsMouseMessage(int hook_code, UINT message, HWND target) {
  // Negative codes must go down the chain untouched.
  return hook_code >= 0 && message == WM_RBUTTONUP && ClassOf(target) == kBrowserServerClass;
}

bool InstallBrowserMouseHook(HWND pane) {
  if (g_mouse_hook) return true;
  const DWORD thread = pane ? GetWindowThreadProcessId(pane, nullptr) : GetCurrentThreadId();
  if (!thread) return false;
  g_mouse_hook = SetWindowsHookExW(WH_MOUSE, &MouseHookProc, nullptr, thread);
  return g_mouse_hook != nullptr;
}

void RemoveBrowserMouseHook() {
  if (g_mouse_hook) UnhookWindowsHookEx(g_mouse_hook);
  g_mouse_hook = nullptr;
}

}  // namespace mv::ui::win32
