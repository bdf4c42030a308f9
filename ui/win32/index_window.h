// The Win32 view of the image index window (backup/wim_info.h): a small
// modal popup with the image list (a report-style list view) and the OK and
// Cancel buttons. Install it once at start; ShowImageIndexWindow then runs it.
#pragma once

#include <windows.h>

namespace mv::ui::win32 {

// Makes ShowImageIndexWindow open the real window.
void InstallIndexWindowView(HINSTANCE instance);

// The class name of the window and the control ids, for tests that drive it.
constexpr wchar_t kIndexWindowClass[] = L"MV_OSR_IndexWindow";
constexpr int kIndexListId = 101;
constexpr int kIndexOkId = 102;
constexpr int kIndexCancelId = 103;

}  // namespace mv::ui::win32
