// The Wine baseline of the start-up benchmark: the least a Win32 program does
// to show a window. It shows one, writes {"window": {"visible": true}} to the
// file named by MV_OSR_REPORT (as the program's report says it), and ends
// when the window is closed or after MV_OSR_CLOSE_AFTER_MS.
#include <windows.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  if (msg == WM_TIMER) {
    DestroyWindow(hwnd);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"MinimalWindow";
  RegisterClassExW(&wc);
  HWND hwnd = CreateWindowExW(WS_EX_APPWINDOW, L"MinimalWindow", L"minimal", WS_POPUP | WS_SYSMENU, 100, 100, 780, 560,
                              nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  wchar_t path[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"MV_OSR_REPORT", path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      const char text[] = "{\"window\": {\"visible\": true}}";
      DWORD done = 0;
      WriteFile(f, text, sizeof text - 1, &done, nullptr);
      CloseHandle(f);
    }
  }
  wchar_t ms[16];
  n = GetEnvironmentVariableW(L"MV_OSR_CLOSE_AFTER_MS", ms, 16);
  if (n > 0 && n < 16) SetTimer(hwnd, 1, UINT(_wtoi(ms)), nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
