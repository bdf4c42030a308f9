#include "tests/support/windows.h"

namespace mv::test {

HWND WaitForWindow(const wchar_t* cls, const wchar_t* title, int tries, DWORD poll_ms) {
  for (int i = 0; i < tries; ++i) {
    HWND w = ::FindWindowW(cls, title);
    if (w && ::IsWindowVisible(w)) return w;
    ::Sleep(poll_ms);
  }
  return nullptr;
}

void PressButton(HWND dialog, int id) {
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

}  // namespace mv::test
