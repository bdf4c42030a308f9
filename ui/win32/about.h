// The about window "关于程序": a small borderless window owned by the main
// window, shown modally, with its own shadow.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace mv::ui::win32 {

// Shows the about window over its owner and returns when it is closed (by
// its close button, its OK button, Esc, or DestroyWindow on *window). The
// owner is disabled meanwhile. *window holds the about window while it is
// open; shown runs once it is on screen.
void RunAboutWindow(HWND owner, const std::string& version_gbk, HWND* window, const std::function<void()>& shown);

// Screen rectangle of the about window's close button (for tests).
RECT AboutCloseRect(HWND about);

constexpr int kAboutWidth = 380, kAboutHeight = 240;

}  // namespace mv::ui::win32
