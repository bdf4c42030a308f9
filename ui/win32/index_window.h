// The Win32 view of the image index window (backup/wim_info.h): a small
// modal popup with the image list (a report-style list view) and the OK and
// Cancel buttons. Install it once at start; ShowImageIndexWindow then runs it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace mv::ui::win32 {

// Makes ShowImageIndexWindow open the real window.
void InstallIndexWindowView(HINSTANCE instance);

// The class name of the window and the control ids, for tests that drive it.
constexpr wchar_t kIndexWindowClass[] = L"MV_OSR_IndexWindow";
constexpr int kIndexListId = 101;
constexpr int kIndexOkId = 102;
constexpr int kIndexCancelId = 103;

// The open index window for the report (a test aid: end-to-end tests click
// its rows and buttons where they are): screen rectangles of the window, of
// each row and of the two buttons, the rows' texts (GBK) and the selected
// row (-1: none). False while none is open. The report shows it as "index".
struct IndexWindowState {
  RECT window = {}, ok = {}, cancel = {};
  std::vector<RECT> rows;
  std::vector<std::vector<std::string>> texts;
  int selected = -1;
};
bool OpenIndexWindowState(IndexWindowState& out);

}  // namespace mv::ui::win32
