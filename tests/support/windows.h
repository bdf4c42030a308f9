// Finding and answering the windows a test drives from a helper thread
// while the code under test shows them (Windows builds only).
#pragma once

#include <windows.h>

namespace mv::test {

// The visible top-level window of class cls (and title, when not null),
// polled every poll_ms for up to tries times; null when none appeared.
HWND WaitForWindow(const wchar_t* cls, const wchar_t* title, int tries = 1000, DWORD poll_ms = 20);

// A visible message box with this caption, as WaitForWindow.
inline HWND WaitForMessageBox(const wchar_t* caption, int tries = 1000, DWORD poll_ms = 20) {
  return WaitForWindow(L"#32770", caption, tries, poll_ms);
}

// Presses the dialog's button `id` as a click does (posted: the dialog's own
// thread handles it).
void PressButton(HWND dialog, int id);

}  // namespace mv::test
