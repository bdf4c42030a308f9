// The main window's view under Wine: the laid-out pages, the component
// kinds, the window timer, the report, the shadow and the about window.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "boot/boot_names.h"
#include "readiness/readiness_names.h"
#include "ui/main_names.h"
#include "ui/model.h"
#include "ui/win32/about.h"
#include "ui/win32/elements.h"
#include "ui/win32/layout.h"
#include "ui/win32/paint.h"
#include "ui/win32/shadow.h"
#include "ui/win32/view.h"

namespace {

namespace n = mv::names;
using mv::ui::WindowModel;
using mv::ui::win32::MainWindow;

void Pump(DWORD ms = 0) {
  DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (ms) Sleep(5);
  } while (GetTickCount() - start < ms);
}

// A laid-out main window on its own model (hidden: nothing here needs it on
// screen, and hidden windows close fast under Wine).
struct Laid : ::testing::Test {
  WindowModel model;
  MainWindow window{model};
  void SetUp() override {
    mv::ui::ClearHandlers();
    mv::ui::win32::LayOutMainWindow(window, model);
    window.SetQuitOnDestroy(false);
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr), false));
    Pump();
  }
  void TearDown() override {
    mv::ui::ClearHandlers();
    Pump();
  }
  RECT Client(const std::string& name) { return window.Find(name)->Bounds(model.Get(name)); }
  void Click(const std::string& name, int dx = 0, int dy = 0) {
    RECT r = Client(name);
    int x = (r.left + r.right) / 2 + dx, y = (r.top + r.bottom) / 2 + dy;
    SendMessageW(window.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(window.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }
};

// The laid-out components (a bar's track lies under its fill: only the fill is named).
std::vector<std::string> AllNames() {
  std::vector<std::string> names = {n::kMenuButton,        n::kMinimizeButton,   n::kCloseButton,  n::kNavReinstall,
                                    n::kNavBackup,         n::kNavSoftware,      n::kNavToolbox,   n::kDataBackupButton,
                                    n::kNextButton,        n::kBackButton,       n::kDataSelectAll, n::kCatalogueBrowser,
                                    n::kSelectionLabel,    n::kRestorePointList, n::kRestoreButton, n::kDeleteButton,
                                    n::kAddBackupButton,   n::kBackupFolderLabel, n::kSoftwareBrowser,
                                    n::kToolboxBrowser,    n::kToolboxBanner,    n::kRestartStatusLabel,
                                    n::kRestartNotice,     n::kDetectStatusLabel, n::kDetectProgressBar,
                                    n::kDataBackupBar2,   n::kDataBackupCancel, n::kRefreshButton,
                                    n::kForumButton,       n::kHelpButton,       n::kDetectAgainButton,
                                    n::kDetectProceedButton, n::kDataFolderLabel, n::kSearchBackupsButton,
                                    n::kReadinessButton};
  for (const char* s : n::kHardwareLabels) names.push_back(s);
  for (const char* s : n::kDataItems) names.push_back(s);
  for (const char* s : n::kSoftwareMenu) names.push_back(s);
  for (const char* s : n::kStepImages) names.push_back(s);
  for (const char* s : n::kContactPictures) names.push_back(s);
  return names;
}

TEST_F(Laid, EveryComponentOfEveryPageIsLaidOutInsideTheWindow) {
  RECT client;
  GetClientRect(window.hwnd(), &client);
  for (const std::string& name : AllNames()) {
    SCOPED_TRACE(name);
    ASSERT_NE(window.Find(name), nullptr);
    RECT r = Client(name);
    EXPECT_LT(r.left, r.right);
    EXPECT_LT(r.top, r.bottom);
    EXPECT_GE(r.left, 0);
    EXPECT_GE(r.top, 0);
    EXPECT_LE(r.right, client.right);
    EXPECT_LE(r.bottom, client.bottom);
  }
  // The two secondary browser panes are 715 x 450.
  for (const char* pane : {n::kSoftwareBrowser, n::kToolboxBrowser}) {
    RECT r = Client(pane);
    EXPECT_EQ(r.right - r.left, 715);
    EXPECT_EQ(r.bottom - r.top, 450);
  }
  // Texts of the window definition, where no module has written yet.
  EXPECT_EQ(model.Text(n::kHardwareLabels[0]), "电脑型号：正在获取...");
  EXPECT_EQ(model.Text(n::kHardwareLabels[7]), "硬盘：正在获取...");
  EXPECT_EQ(model.Text(n::kSelectionLabel), "已选择：");
  EXPECT_EQ(model.Text(n::kRestartNotice), "10秒后系统将重启，然后启动 PE 系统\r\n所有过程自动完成，请勿进行任何操作");
  EXPECT_FALSE(model.Get(n::kRestartNotice).visible);
  EXPECT_FALSE(model.Get(n::kRestartStatusLabel).visible);
  EXPECT_FALSE(model.Get(n::kHintBalloon).visible);
  EXPECT_EQ(model.Text(n::kHintBalloon), n::kHintText);
}

TEST_F(Laid, OnEveryPageAndStepTheClickableComponentsDoNotOverlap) {
  // Handlers on everything, so that labels with links count as clickable.
  for (const std::string& name : AllNames()) mv::ui::SetHandler(name, "click", [](const std::string&) {});
  for (int page = 0; page <= 4; ++page) {
    for (int step = 0; step <= (page == 0 ? 4 : 0); ++step) {
      model.SetPage(n::kPageHost, page);
      model.SetPage(n::kWizard, step);
      std::vector<std::pair<std::string, RECT>> shown;
      for (const std::string& name : AllNames())
        if (window.Shown(name)) shown.push_back({name, Client(name)});
      for (size_t i = 0; i < shown.size(); ++i)
        for (size_t j = i + 1; j < shown.size(); ++j) {
          RECT both;
          EXPECT_FALSE(IntersectRect(&both, &shown[i].second, &shown[j].second))
              << "page " << page << " step " << step << ": " << shown[i].first << " / " << shown[j].first;
        }
    }
  }
}

TEST_F(Laid, PagesAndStepsShowOnlyTheirOwnComponents) {
  model.SetPage(n::kPageHost, n::kPageBackup);
  EXPECT_TRUE(window.Shown(n::kRestorePointList));
  EXPECT_FALSE(window.Shown(n::kNextButton));
  EXPECT_FALSE(window.Shown(n::kHardwareLabels[0]));  // a step of page 0
  EXPECT_TRUE(window.Shown(n::kNavReinstall));        // outside the pages
  model.SetPage(n::kPageHost, n::kPageReinstall);
  model.SetPage(n::kWizard, n::kStepSystemChoice);
  EXPECT_TRUE(window.Shown(n::kCatalogueBrowser));
  EXPECT_FALSE(window.Shown(n::kHardwareLabels[0]));
  EXPECT_TRUE(window.Shown(n::kNextButton));
  // A hidden component is not shown on its page, and takes no click.
  int clicks = 0;
  mv::ui::SetHandler(n::kNextButton, "click", [&](const std::string&) { ++clicks; });
  model.SetVisible(n::kNextButton, false);
  EXPECT_FALSE(window.Shown(n::kNextButton));
  Click(n::kNextButton);
  EXPECT_EQ(clicks, 0);
  model.SetVisible(n::kNextButton, true);
  Click(n::kNextButton);
  EXPECT_EQ(clicks, 1);
  // Nor does a disabled one.
  model.SetEnabled(n::kNextButton, false);
  Click(n::kNextButton);
  EXPECT_EQ(clicks, 1);
}

TEST_F(Laid, ProgressTracksCarryTheirLaidOutWidthForTheFillToFollow) {
  // The progress routines size a fill as a share of its track's width in the
  // model; a track without one gives fills of 0, drawn as the whole bar.
  for (const char* track : {"标签_下载进度条底", "标签_PE下载进度条底", n::kDetectProgressTrack}) {
    const RECT r = Client(track);
    EXPECT_GT(r.right - r.left, 100) << track;
    EXPECT_EQ(model.Width(track), r.right - r.left) << track;
  }
}

TEST_F(Laid, CheckBoxFlipsItsStateThenFiresCheckAndClick) {
  model.SetPage(n::kWizard, n::kStepDataChoice);
  std::vector<std::string> seen;
  mv::ui::SetHandler(n::kDataItems[2], "check", [&](const std::string& arg) {
    // The model already holds the new state when the handler runs.
    seen.push_back("check " + arg + (model.Checked(n::kDataItems[2]) ? " on" : " off"));
  });
  mv::ui::SetHandler(n::kDataItems[2], "click", [&](const std::string&) { seen.push_back("click"); });
  Click(n::kDataItems[2]);
  Click(n::kDataItems[2]);
  EXPECT_EQ(seen, (std::vector<std::string>{"check 1 on", "click", "check 0 off", "click"}));
}

TEST_F(Laid, ListViewRowClickSelectsTheRow) {
  model.SetPage(n::kPageHost, n::kPageBackup);
  model.AddRow(n::kRestorePointList, {"1", "D:\\MV_OSR\\os_bak\\OS_Bak20260101.WIM", "2026-01-01"});
  model.AddRow(n::kRestorePointList, {"2", "E:\\OS_Bak.GHO", "2026-02-01"});
  std::vector<std::string> selected;
  mv::ui::SetHandler(n::kRestorePointList, "select", [&](const std::string& row) { selected.push_back(row); });
  RECT r = Client(n::kRestorePointList);
  const int header = mv::ui::win32::ListView::kHeaderHeight, row = mv::ui::win32::ListView::kRowHeight;
  auto click_y = [&](int y) {
    SendMessageW(window.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 100, y));
    SendMessageW(window.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(r.left + 100, y));
  };
  click_y(r.top + header + row + row / 2);  // second row
  EXPECT_EQ(model.SelectedRow(n::kRestorePointList), 1);
  click_y(r.top + header + 5 * row);  // below the rows: nothing selected
  EXPECT_EQ(model.SelectedRow(n::kRestorePointList), -1);
  click_y(r.top + header / 2);  // the header selects nothing and fires nothing
  EXPECT_EQ(selected, (std::vector<std::string>{"1", "-1"}));
  // Emptying the list forgets the selection.
  click_y(r.top + header + row / 2);
  model.ClearRows(n::kRestorePointList);
  EXPECT_EQ(model.SelectedRow(n::kRestorePointList), -1);
}

// More restore points than fit: the wheel, the scroll bar's thumb and its
// track scroll the list, clicks select the row shown under the mouse, and
// the scroll stays within the rows.
TEST_F(Laid, ListViewScrollsByWheelAndScrollBarAndSelectsTheRowShown) {
  using mv::ui::win32::ListView;
  model.SetPage(n::kPageHost, n::kPageBackup);
  auto* list = static_cast<ListView*>(window.Find(n::kRestorePointList));
  for (int i = 1; i <= 30; ++i) model.AddRow(n::kRestorePointList, {std::to_string(i), "E:\\img" + std::to_string(i) + ".wim", ""});
  const mv::ui::Component c = model.Get(n::kRestorePointList);
  const int shown = list->RowsShown(c);
  ASSERT_GT(shown, 3);
  ASSERT_LT(shown, 30);
  const int last = 30 - shown;
  RECT r = Client(n::kRestorePointList);
  RECT track = list->Track(c);
  ASSERT_GT(track.bottom - track.top, 0);
  EXPECT_TRUE(track.right <= r.right && track.left > r.left + (r.right - r.left) / 2) << "at the right edge";
  auto scroll = [&] { return model.Get(n::kRestorePointList).scroll; };
  auto wheel = [&](int delta) {
    POINT at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(window.hwnd(), &at);
    SendMessageW(window.hwnd(), WM_MOUSEWHEEL, MAKEWPARAM(0, delta), MAKELPARAM(at.x, at.y));
  };
  auto press = [&](int x, int y) { SendMessageW(window.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); };
  auto move = [&](int x, int y) { SendMessageW(window.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y)); };
  auto release = [&](int x, int y) { SendMessageW(window.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(x, y)); };

  // The wheel: three rows a notch, never above the first or past the last row.
  wheel(-WHEEL_DELTA);
  EXPECT_EQ(scroll(), ListView::kWheelRows);
  wheel(2 * WHEEL_DELTA);
  EXPECT_EQ(scroll(), 0);
  for (int i = 0; i < 20; ++i) wheel(-WHEEL_DELTA);
  EXPECT_EQ(scroll(), last);

  // A click selects the row under the mouse, counted from the first row shown.
  const int row_y = r.top + ListView::kHeaderHeight + ListView::kRowHeight / 2;
  press(r.left + 100, row_y + ListView::kRowHeight);
  release(r.left + 100, row_y + ListView::kRowHeight);
  EXPECT_EQ(model.SelectedRow(n::kRestorePointList), last + 1);

  // The track: above the thumb a page up, below it a page down; no row is chosen.
  RECT thumb = list->Thumb(model.Get(n::kRestorePointList));
  EXPECT_GE(thumb.bottom, track.bottom - 3) << "at the end of the track when scrolled to the end";
  press(track.left + 5, track.top + 2);
  release(track.left + 5, track.top + 2);
  EXPECT_EQ(scroll(), last - (shown - 1));
  EXPECT_EQ(model.SelectedRow(n::kRestorePointList), last + 1);
  thumb = list->Thumb(model.Get(n::kRestorePointList));
  press(track.left + 5, track.bottom - 2);
  release(track.left + 5, track.bottom - 2);
  EXPECT_EQ(scroll(), last);

  // The thumb dragged to the top and back down to the middle; the release
  // may land outside the list.
  thumb = list->Thumb(model.Get(n::kRestorePointList));
  const int grab = (thumb.top + thumb.bottom) / 2;
  press(track.left + 5, grab);
  move(track.left + 5, grab - 1000);
  EXPECT_EQ(scroll(), 0);
  const int free = (track.bottom - track.top) - (thumb.bottom - thumb.top);
  move(track.left + 5, grab - (thumb.top - track.top) + free / 2);
  EXPECT_NEAR(scroll(), last / 2, 1);
  release(5, 300);
  const int kept = scroll();
  move(track.left + 5, track.bottom);  // released: no longer dragging
  EXPECT_EQ(scroll(), kept);

  // Searching again empties the list and starts at the top; rows that all
  // fit show no scroll bar and take no wheel.
  model.ClearRows(n::kRestorePointList);
  EXPECT_EQ(scroll(), 0);
  model.AddRow(n::kRestorePointList, {"31", "E:\\x.wim", ""});
  EXPECT_EQ(list->Track(model.Get(n::kRestorePointList)).bottom, 0);
  wheel(-WHEEL_DELTA);
  EXPECT_EQ(scroll(), 0);
}

TEST_F(Laid, ComponentTimerIsARealWindowTimer) {
  int ticks = 0;
  mv::ui::SetHandler(n::kRestartTimer, "timer", [&](const std::string&) {
    if (++ticks == 3) model.SetTimer(n::kRestartTimer, 0);  // the handler stops it
  });
  model.SetTimer(n::kRestartTimer, 30);
  Pump(600);
  EXPECT_EQ(ticks, 3);
  // Started again at another interval.
  model.SetTimer(n::kRestartTimer, 20);
  Pump(300);
  EXPECT_GT(ticks, 3);
  model.SetTimer(n::kRestartTimer, 0);
  Pump();
  int stopped_at = ticks;
  Pump(200);
  EXPECT_EQ(ticks, stopped_at);
}

TEST_F(Laid, HoverFiresOnceWhenTheMouseEntersAComponent) {
  model.SetPage(n::kWizard, n::kStepDataChoice);
  int hovers = 0;
  mv::ui::SetHandler(n::kDataSelectAll, "hover", [&](const std::string&) { ++hovers; });
  RECT r = Client(n::kDataSelectAll);
  for (int dx = 0; dx < 3; ++dx)
    SendMessageW(window.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(r.left + 10 + dx, (r.top + r.bottom) / 2));
  EXPECT_EQ(hovers, 1);
  SendMessageW(window.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 300));
  SendMessageW(window.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(r.left + 10, (r.top + r.bottom) / 2));
  EXPECT_EQ(hovers, 2);
}

TEST_F(Laid, ComponentAtFindsTheTopmostShownComponentOnlyOverThisWindow) {
  ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
  Pump();
  auto at = [&](const std::string& name) {
    RECT r = window.ScreenRect(name);
    return window.ComponentAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  };
  EXPECT_EQ(at(n::kNextButton), n::kNextButton);
  EXPECT_EQ(at(n::kForumButton), n::kForumButton);
  // A shown panel lies over the page below it.
  model.SetVisible(n::kForumPanel, true);
  EXPECT_EQ(at(n::kForumPanel), n::kForumPanel);
  model.SetVisible(n::kForumPanel, false);
  EXPECT_NE(at(n::kForumPanel), n::kForumPanel);
  // Components of pages not shown are not there; tab hosts never are.
  RECT list = window.ScreenRect(n::kRestorePointList);
  std::string below = window.ComponentAt(POINT{list.left + 5, list.bottom - 5});
  EXPECT_NE(below, n::kRestorePointList);
  EXPECT_NE(below, n::kPageHost);
  // Outside the window: nothing.
  RECT wr;
  GetWindowRect(window.hwnd(), &wr);
  EXPECT_EQ(window.ComponentAt(POINT{wr.right + 40, wr.bottom + 40}), "");
  ShowWindow(window.hwnd(), SW_HIDE);
}

TEST_F(Laid, DragAreaActsOnThePressAndTakesNoClick) {
  std::vector<std::string> seen;
  mv::ui::SetHandler(n::kDragArea, "down", [&](const std::string&) { seen.push_back("down"); });
  mv::ui::SetHandler(n::kDragArea, "click", [&](const std::string&) { seen.push_back("click"); });
  SendMessageW(window.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 20));
  SendMessageW(window.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(100, 20));
  EXPECT_EQ(seen, std::vector<std::string>{"down"});
  // The buttons of the strip are not part of it.
  mv::ui::SetHandler(n::kMenuButton, "click", [&](const std::string&) { seen.push_back("menu"); });
  Click(n::kMenuButton);
  EXPECT_EQ(seen, (std::vector<std::string>{"down", "menu"}));
  seen.clear();
  SendMessageW(window.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 20));
  EXPECT_EQ(seen, std::vector<std::string>{"down"});
}

TEST_F(Laid, HintBalloonPointsAtAScreenPosition) {
  RECT wr;
  GetWindowRect(window.hwnd(), &wr);
  model.Update(n::kHintBalloon, [&](mv::ui::Component& c) {
    c.x = wr.left + 300;  // the pointer, on the screen
    c.y = wr.top + 200;
    c.visible = true;
  });
  Pump();
  RECT r = Client(n::kHintBalloon);
  EXPECT_LT(r.left, 300);
  EXPECT_GT(r.right, 300);
  EXPECT_LT(r.bottom, 200);  // above the tip
  EXPECT_GT(r.bottom, 180);
}

TEST_F(Laid, CloseRequestGoesToTheWindowsCloseHandler) {
  int asked = 0;
  mv::ui::SetHandler(n::kMainWindow, "close", [&](const std::string&) { ++asked; });
  SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
  Click(n::kCloseButton);
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(IsWindow(window.hwnd()));  // the handler decides whether to end
}

std::string Slurp(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::string();
  std::string out(1 << 20, '\0');
  DWORD got = 0;
  ReadFile(f, &out[0], static_cast<DWORD>(out.size()), &got, nullptr);
  CloseHandle(f);
  out.resize(got);
  return out;
}

TEST_F(Laid, ReportHasScreenRectanglesStatesAndFiredEvents) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  std::wstring path = std::wstring(dir) + L"mv_view_report.json";
  DeleteFileW(path.c_str());
  window.ReportTo(path);
  model.SetText(n::kHardwareLabels[0], "电脑型号：\"引号\" \\ 斜杠");
  mv::ui::SetHandler(n::kNextButton, "click", [](const std::string&) {});
  Pump();
  Click(n::kNextButton);
  std::string json = Slurp(path);
  ASSERT_FALSE(json.empty());
  // UTF-8 names and texts, quotes and backslashes escaped.
  EXPECT_NE(json.find(u8"\"标签8\":{\"rect\":["), std::string::npos);
  EXPECT_NE(json.find(u8"电脑型号：\\\"引号\\\" \\\\ 斜杠"), std::string::npos);
  EXPECT_NE(json.find(u8"[\"图形按钮_下一步\",\"click\",\"\"]"), std::string::npos);
  // The next button's rectangle in screen coordinates.
  RECT r = window.ScreenRect(n::kNextButton);
  char want[128];
  snprintf(want, sizeof want, u8"\"图形按钮_下一步\":{\"rect\":[%ld,%ld,%ld,%ld],\"shown\":true", r.left, r.top,
           r.right, r.bottom);
  EXPECT_NE(json.find(want), std::string::npos) << want;
  EXPECT_NE(json.find("\"handlers\":[\"click\"]"), std::string::npos);
  DeleteFileW(path.c_str());
}

TEST(Skin, CarriedImagesAreDrawnWithTheirAlpha) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 200, 60);
  HGDIOBJ old = SelectObject(mem, bmp);
  RECT all = {0, 0, 200, 60};
  mv::ui::win32::Fill(mem, all, RGB(255, 0, 0));
  EXPECT_TRUE(mv::ui::win32::DrawSkin(mem, "next_normal", RECT{0, 0, 144, 40}));
  EXPECT_FALSE(mv::ui::win32::DrawSkin(mem, "no_such_image", RECT{0, 0, 144, 40}));
  EXPECT_EQ(GetPixel(mem, 8, 20), RGB(0x1E, 0x6F, 0xD9));  // the button's blue
  EXPECT_EQ(GetPixel(mem, 170, 20), RGB(255, 0, 0));        // outside: untouched
  // A transparent corner keeps what was below it.
  COLORREF corner = GetPixel(mem, 0, 0);
  EXPECT_GT(GetRValue(corner), 0x60);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

// A button painted the way the window paints it, and its skin image alone,
// over the same backdrop: how many pixels the caption changed.
int CaptionPixels(mv::ui::win32::PictureButton::Style style, const std::vector<std::string>& images,
                  const char* caption) {
  using namespace mv::ui::win32;
  const int w = 144, h = 40;
  HDC screen = GetDC(nullptr);
  HDC painted = CreateCompatibleDC(screen), bare = CreateCompatibleDC(screen);
  HBITMAP b1 = CreateCompatibleBitmap(screen, w, h), b2 = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ o1 = SelectObject(painted, b1), o2 = SelectObject(bare, b2);
  const RECT r = {0, 0, w, h};
  Fill(painted, r, kBodyBack);
  Fill(bare, r, kBodyBack);
  Fonts fonts;
  fonts.Make(nullptr);
  mv::ui::Component c;
  c.images = images;
  PictureButton button(r, L"", style);
  c.text = caption;
  button.Paint(painted, c, fonts, false, false);
  EXPECT_TRUE(DrawSkin(bare, images[0], r)) << images[0];
  int differ = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) differ += GetPixel(painted, x, y) != GetPixel(bare, x, y);
  SelectObject(painted, o1);
  SelectObject(bare, o2);
  DeleteObject(b1);
  DeleteObject(b2);
  DeleteDC(painted);
  DeleteDC(bare);
  ReleaseDC(nullptr, screen);
  return differ;
}

TEST(Skin, WordedButtonImagesGetNoCaptionOverThemAndBlankFacesDo) {
  using S = mv::ui::win32::PictureButton::Style;
  // The restart roles put worded images on the next and back buttons, whose
  // captions still say "下一步" and "上一步".
  const std::vector<std::string> now(std::begin(n::kRestartNowImages), std::end(n::kRestartNowImages));
  const std::vector<std::string> later(std::begin(n::kRestartLaterImages), std::end(n::kRestartLaterImages));
  EXPECT_EQ(CaptionPixels(S::kPrimary, now, "下一步"), 0);
  EXPECT_EQ(CaptionPixels(S::kPlain, later, "上一步"), 0);
  EXPECT_EQ(CaptionPixels(S::kPrimary, {"next_normal", "next_hover", "next_down", "next_disabled"}, "下一步"), 0);
  // A blank face shows the caption.
  EXPECT_GT(CaptionPixels(S::kPrimary, {"primary_normal"}, "还原备份点"), 50);
  EXPECT_GT(CaptionPixels(S::kPlain, {"plain_normal"}, "取消"), 20);
}

// ---- The shadow.

struct Owner : ::testing::Test {
  HWND owner = nullptr;
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }
  void SetUp() override {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MvShadowOwner";
    RegisterClassW(&wc);
    owner = CreateWindowExW(0, L"MvShadowOwner", L"", WS_POPUP | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 100, 80, 300, 200,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
  }
  void TearDown() override {
    if (IsWindow(owner)) DestroyWindow(owner);
    Pump();
  }
  HWND Shadow() { return static_cast<HWND>(GetPropW(owner, mv::ui::win32::kShadowProp)); }
  RECT ShadowRect() {
    RECT r = {};
    GetWindowRect(Shadow(), &r);
    return r;
  }
};

TEST_F(Owner, ShadowIsALayeredClickThroughWindowFiveLargerOnEverySide) {
  using namespace mv::ui::win32;
  EXPECT_EQ(SetWindowShadow(nullptr, 0, 5, true), 0);  // not a window
  ShowWindow(owner, SW_SHOWNOACTIVATE);
  ASSERT_EQ(SetWindowShadow(owner, 0, 5, true), 1);
  HWND s = Shadow();
  ASSERT_TRUE(IsWindow(s));
  EXPECT_EQ(GetWindow(s, GW_OWNER), owner);
  LONG ex = GetWindowLongW(s, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_LAYERED);
  EXPECT_TRUE(ex & WS_EX_TRANSPARENT);
  EXPECT_EQ(reinterpret_cast<UINT_PTR>(GetPropW(s, kShadowColourProp)), 0u);
  EXPECT_EQ(reinterpret_cast<UINT_PTR>(GetPropW(s, kShadowSizeProp)), 5u);
  RECT r = ShadowRect();
  EXPECT_EQ(r.left, 95);
  EXPECT_EQ(r.top, 75);
  EXPECT_EQ(r.right, 405);
  EXPECT_EQ(r.bottom, 285);
  EXPECT_TRUE(IsWindowVisible(s));
  // It follows the owner's moves.
  SetWindowPos(owner, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  r = ShadowRect();
  EXPECT_EQ(r.left, 195);
  EXPECT_EQ(r.top, 145);
}

TEST_F(Owner, MinimisedOrMaximisedOwnerHidesTheShadowAndRestoringShowsIt) {
  using namespace mv::ui::win32;
  ShowWindow(owner, SW_SHOWNOACTIVATE);
  ASSERT_EQ(SetWindowShadow(owner, 0, 5, true), 1);
  ShowWindow(owner, SW_MINIMIZE);
  Pump();
  EXPECT_FALSE(IsWindowVisible(Shadow()));
  ShowWindow(owner, SW_RESTORE);
  Pump();
  EXPECT_TRUE(IsWindowVisible(Shadow()));
  RECT o, r = ShadowRect();
  GetWindowRect(owner, &o);
  EXPECT_EQ(r.left, o.left - 5);
  EXPECT_EQ(r.bottom, o.bottom + 5);
  ShowWindow(owner, SW_MAXIMIZE);
  Pump();
  EXPECT_FALSE(IsWindowVisible(Shadow()));
  ShowWindow(owner, SW_RESTORE);
  ShowWindow(owner, SW_HIDE);
  Pump();
  EXPECT_FALSE(IsWindowVisible(Shadow()));
}

TEST_F(Owner, SubclassedOnceAndRemovalRestoresTheProcedure) {
  using namespace mv::ui::win32;
  LONG_PTR original = GetWindowLongPtrW(owner, GWLP_WNDPROC);
  ASSERT_EQ(SetWindowShadow(owner, 0, 5, true), 1);
  LONG_PTR subclassed = GetWindowLongPtrW(owner, GWLP_WNDPROC);
  EXPECT_NE(subclassed, original);
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetPropW(owner, kShadowProcProp)), original);
  HWND first = Shadow();
  // Again, with another colour and size: same window, same subclass.
  ASSERT_EQ(SetWindowShadow(owner, RGB(10, 20, 30), 9, true), 1);
  EXPECT_EQ(Shadow(), first);
  EXPECT_EQ(GetWindowLongPtrW(owner, GWLP_WNDPROC), subclassed);
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetPropW(owner, kShadowProcProp)), original);
  EXPECT_EQ(reinterpret_cast<UINT_PTR>(GetPropW(first, kShadowSizeProp)), 9u);
  EXPECT_EQ(reinterpret_cast<UINT_PTR>(GetPropW(first, kShadowColourProp)), RGB(10, 20, 30));
  // Without a size: 5.
  ASSERT_EQ(SetWindowShadow(owner, 0, 0, false), 1);
  EXPECT_EQ(reinterpret_cast<UINT_PTR>(GetPropW(first, kShadowSizeProp)), 5u);
  // Removal.
  EXPECT_EQ(SetWindowShadow(owner, 0, 0, true), 0);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(GetPropW(owner, kShadowProp), nullptr);
  EXPECT_EQ(GetPropW(owner, kShadowProcProp), nullptr);
  EXPECT_EQ(GetWindowLongPtrW(owner, GWLP_WNDPROC), original);
  // The owner still works after removal.
  SetWindowPos(owner, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(Shadow(), nullptr);
}

int Alpha(const std::vector<uint32_t>& px, int w, int x, int y) { return static_cast<int>(px[y * w + x] >> 24); }

TEST(ShadowBitmap, RingAlphasRiseTowardsTheOwnerAndLeaveItsAreaClear) {
  using namespace mv::ui::win32;
  const int w = 120, h = 90;
  std::vector<uint32_t> px = RenderShadowPixels(w, h, 5, 0);
  ASSERT_EQ(px.size(), static_cast<size_t>(w * h));
  // The owner's area (inside the 5-pixel border) stays fully transparent.
  for (int y = 5; y < h - 5; y += 7)
    for (int x = 5; x < w - 5; x += 7) ASSERT_EQ(px[y * w + x], 0u) << x << "," << y;
  // Across the left edge, in the middle: ring i (alpha 20 i) is drawn at
  // x = i - 1. Smoothing may spread a ring over two pixels, so each pixel's
  // alpha lies near its ring's, the inner ones are stronger, none above 100.
  int prev = -1;
  for (int x = 0; x < 5; ++x) {
    int a = Alpha(px, w, x, h / 2);
    EXPECT_GT(a, 0) << x;
    EXPECT_LE(a, 100 + 2) << x;
    EXPECT_GE(a, prev) << x;
    EXPECT_NEAR(a, 20 * (x + 1), 20) << x;
    prev = a;
    // Black: premultiplied colour channels are zero.
    EXPECT_EQ(px[(h / 2) * w + x] & 0x00FFFFFFu, 0u);
  }
  // The same on the bottom edge.
  EXPECT_GT(Alpha(px, w, w / 2, h - 1), 0);
  EXPECT_LT(Alpha(px, w, w / 2, h - 1), Alpha(px, w, w / 2, h - 5));
  // The rounded outer corner is lighter than the middle of the edge.
  EXPECT_LT(Alpha(px, w, 0, 0), Alpha(px, w, 0, h / 2));
}

TEST(ShadowBitmap, LargerShadowsUseTheSmallerStep) {
  using namespace mv::ui::win32;
  std::vector<uint32_t> px = RenderShadowPixels(100, 100, 9, RGB(255, 0, 0));
  // Innermost ring of size 9: 16 x 9 = 144, in red premultiplied.
  int a = Alpha(px, 100, 8, 50);
  EXPECT_NEAR(a, 144, 20);
  uint32_t p = px[50 * 100 + 8];
  EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), a, 2);  // COLORREF red is ARGB red
  EXPECT_EQ(p & 0xFFFFu, 0u);
}

// ---- The about window.

struct AboutProbe {
  MainWindow* window = nullptr;
  bool was_disabled = false, had_shadow = false;
  HWND seen = nullptr;
  std::wstring title;
  HWND owner = nullptr;
};
AboutProbe probe;

// Looks at the about window from a timer inside its modal loop, then closes it.
void CALLBACK LookAtAbout(HWND, UINT, UINT_PTR id, DWORD) {
  HWND about = probe.window->AboutWindow();
  if (!about) return;
  KillTimer(nullptr, id);
  probe.seen = about;
  probe.was_disabled = !IsWindowEnabled(probe.window->hwnd());
  probe.had_shadow = GetPropW(about, mv::ui::win32::kShadowProp) != nullptr;
  wchar_t title[64] = {};
  GetWindowTextW(about, title, 64);
  probe.title = title;
  probe.owner = GetWindow(about, GW_OWNER);
  SendMessageW(about, WM_KEYDOWN, VK_ESCAPE, 0);
}

TEST_F(Laid, AboutWindowIsModalWithItsOwnShadowAndClosesOnEscape) {
  ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
  probe = AboutProbe();
  probe.window = &window;
  ASSERT_NE(SetTimer(nullptr, 0, 50, LookAtAbout), 0u);
  window.ShowAboutWindow();  // returns once closed
  ASSERT_NE(probe.seen, nullptr);
  EXPECT_TRUE(probe.was_disabled);
  EXPECT_TRUE(probe.had_shadow);
  EXPECT_EQ(probe.title, std::wstring(L"关于程序"));
  EXPECT_EQ(probe.owner, window.hwnd());
  EXPECT_FALSE(IsWindow(probe.seen));
  EXPECT_EQ(window.AboutWindow(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(window.hwnd()));
  ShowWindow(window.hwnd(), SW_HIDE);
}

// ---- The pop-up menu.

std::vector<std::wstring> menu_items;
bool menu_seen = false;

// Reads the open menu's items, then picks the second one with the keyboard.
void CALLBACK LookAtMenu(HWND, UINT, UINT_PTR id, DWORD) {
  HWND menu = FindWindowW(L"#32768", nullptr);
  if (!menu || !IsWindowVisible(menu)) return;
  KillTimer(nullptr, id);
  menu_seen = true;
  HMENU h = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
  for (int i = 0; h && i < GetMenuItemCount(h); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(h, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    menu_items.push_back(text);
  }
  for (WORD key : {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}) {
    PostMessageW(menu, WM_KEYDOWN, key, 0);
    PostMessageW(menu, WM_KEYUP, key, 0);
  }
}

TEST_F(Laid, PopupMenuOffersItsItemsAndFiresTheChosenOne) {
  ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
  std::vector<std::string> clicked;
  mv::ui::SetHandler(n::kMenuHomeItem, "click", [&](const std::string&) { clicked.push_back("home"); });
  mv::ui::SetHandler(n::kMenuAboutItem, "click", [&](const std::string&) { clicked.push_back("about"); });
  menu_items.clear();
  menu_seen = false;
  ASSERT_NE(SetTimer(nullptr, 0, 50, LookAtMenu), 0u);
  RECT r = window.ScreenRect(n::kMenuButton);
  window.ShowPopupMenu(POINT{r.left, r.bottom});
  ASSERT_TRUE(menu_seen);
  EXPECT_EQ(menu_items, (std::vector<std::wstring>{L"官方网站", L"导出诊断信息", L"关于"}));
  EXPECT_EQ(clicked, (std::vector<std::string>{"about"}));
  ShowWindow(window.hwnd(), SW_HIDE);
}

}  // namespace
