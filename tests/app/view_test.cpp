// The Win32 view of the main window, run under Wine: real windows, real
// messages.
#include <gtest/gtest.h>
#include <windows.h>

#include "ui/model.h"
#include "ui/win32/view.h"

namespace {

using mv::ui::WindowModel;
using mv::ui::win32::Label;
using mv::ui::win32::MainWindow;

// Dispatches what waits for this thread; stops at a WM_QUIT and reports it.
bool Pump() {
  MSG msg;
  bool quit = false;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) quit = true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return quit;
}

// Under Wine without a window manager, hiding or destroying a shown window
// waits about two seconds for the X server: the tests that draw share one
// shown window; the ones that close windows use hidden ones.
struct Window : ::testing::Test {
  static WindowModel* model_;
  static MainWindow* window_;
  static int created_runs_;
  static bool created_visible_;
  static DWORD created_thread_;

  static void SetUpTestSuite() {
    model_ = new WindowModel;
    window_ = new MainWindow(*model_);
    window_->OnCreated([] {
      ++created_runs_;
      created_visible_ = IsWindowVisible(window_->hwnd()) != FALSE;
      created_thread_ = GetCurrentThreadId();
    });
    model_->SetText(MainWindow::kTitleLabel, "Marvolt系统云重装 - Marvolt System Cloud Reinstall");
    model_->SetText(MainWindow::kVersionLabel, "OSR1.1.19.819");
    ASSERT_TRUE(window_->Create(GetModuleHandleW(nullptr), true));
  }
  static void TearDownTestSuite() {
    delete window_;
    delete model_;
    Pump();
  }
  void SetUp() override { Pump(); }

  WindowModel& model = *model_;
  MainWindow& window = *window_;
  const Label& TitleLabel() { return *static_cast<Label*>(window.Find(MainWindow::kTitleLabel)); }
};
WindowModel* Window::model_;
MainWindow* Window::window_;
int Window::created_runs_;
bool Window::created_visible_;
DWORD Window::created_thread_;

// A hidden window of its own, for the tests that close it.
struct HiddenWindow : ::testing::Test {
  WindowModel model;
  MainWindow window{model};
  void SetUp() override {
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr), false));
    Pump();
  }
  void TearDown() override { Pump(); }
  void Click(int x, int y, int release_x, int release_y) {
    SendMessageW(window.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(window.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(release_x, release_y));
  }
};

TEST(Text, GbkBecomesUtf16) {
  EXPECT_EQ(mv::ui::win32::WideFromGbk("系统云重装 OSR"), std::wstring(L"系统云重装 OSR"));
  EXPECT_EQ(mv::ui::win32::WideFromGbk(""), std::wstring());
}

TEST_F(Window, IsABorderlessPopupOfTheMainWindowSize) {
  LONG style = GetWindowLongW(window.hwnd(), GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & WS_CAPTION);
  EXPECT_FALSE(style & WS_THICKFRAME);
  RECT r;
  GetWindowRect(window.hwnd(), &r);
  EXPECT_EQ(r.right - r.left, 880);
  EXPECT_EQ(r.bottom - r.top, 600);
}

TEST_F(Window, DrawsTheLabelsFromTheModel) {
  UpdateWindow(window.hwnd());
  RedrawWindow(window.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(TitleLabel().LastDrawn(), std::wstring(L"Marvolt系统云重装 - Marvolt System Cloud Reinstall"));
  auto* version = static_cast<Label*>(window.Find(MainWindow::kVersionLabel));
  EXPECT_EQ(version->LastDrawn(), std::wstring(L"OSR1.1.19.819"));
}

DWORD WINAPI ChangeTitleManyTimes(void* arg) {
  auto* model = static_cast<WindowModel*>(arg);
  for (int i = 0; i < 100; ++i) model->SetText(MainWindow::kTitleLabel, i == 99 ? "第二个标题" : "中间");
  return 0;
}

TEST_F(Window, ChangesFromAWorkerAreDrawnByTheWindowThread) {
  int before = window.RepaintsRequested();
  HANDLE worker = CreateThread(nullptr, 0, ChangeTitleManyTimes, &model, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  ASSERT_EQ(WaitForSingleObject(worker, 10000), WAIT_OBJECT_0);
  CloseHandle(worker);
  // Nothing was drawn while the window thread did not pump.
  EXPECT_NE(TitleLabel().LastDrawn(), std::wstring(L"第二个标题"));
  Pump();
  UpdateWindow(window.hwnd());
  // A hundred changes while the window thread was busy: one redraw request.
  EXPECT_EQ(window.RepaintsRequested() - before, 1);
  EXPECT_EQ(TitleLabel().LastDrawn(), std::wstring(L"第二个标题"));
  EXPECT_EQ(window.LastPaintThread(), GetCurrentThreadId());
  wchar_t caption[128] = {};
  GetWindowTextW(window.hwnd(), caption, 128);
  EXPECT_EQ(std::wstring(caption), std::wstring(L"第二个标题"));
}

TEST_F(Window, HiddenLabelIsNotDrawn) {
  model.SetText(MainWindow::kTitleLabel, "看不见");
  model.SetVisible(MainWindow::kTitleLabel, false);
  Pump();
  UpdateWindow(window.hwnd());
  EXPECT_NE(TitleLabel().LastDrawn(), std::wstring(L"看不见"));
  model.SetVisible(MainWindow::kTitleLabel, true);
  Pump();
  UpdateWindow(window.hwnd());
  EXPECT_EQ(TitleLabel().LastDrawn(), std::wstring(L"看不见"));
}

TEST_F(HiddenWindow, TitleStripDragsTheWindowExceptOverTheCloseButton) {
  auto nc_hit = [&](int x, int y) {
    POINT p = {x, y};
    ClientToScreen(window.hwnd(), &p);
    return SendMessageW(window.hwnd(), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
  };
  EXPECT_EQ(nc_hit(100, 20), HTCAPTION);
  EXPECT_EQ(nc_hit(700, 5), HTCAPTION);
  EXPECT_EQ(nc_hit(860, 20), HTCLIENT);  // close button
  EXPECT_EQ(nc_hit(400, 300), HTCLIENT);  // body
  EXPECT_EQ(nc_hit(100, 40), HTCLIENT);  // just below the strip
  // A disabled close button is part of the drag area and takes no click.
  model.SetEnabled(MainWindow::kCloseButton, false);
  EXPECT_EQ(nc_hit(860, 20), HTCAPTION);
  Click(860, 20, 860, 20);
  EXPECT_TRUE(IsWindow(window.hwnd()));
}

TEST_F(HiddenWindow, CloseButtonEndsTheMessageLoop) {
  HWND hwnd = window.hwnd();
  // Pressed on the button but released elsewhere: nothing happens.
  Click(860, 20, 400, 300);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_FALSE(Pump());
  Click(860, 20, 861, 21);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(Pump());  // WM_QUIT
}

TEST_F(HiddenWindow, CloseRequestHandlerCanKeepTheWindowOpen) {
  int asked = 0;
  bool allow = false;
  window.OnCloseRequest([&] {
    ++asked;
    return allow;
  });
  HWND hwnd = window.hwnd();
  Click(860, 20, 860, 20);
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(IsWindow(hwnd));
  allow = true;
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(Pump());
}

TEST_F(Window, CreatedHandlerRanOnceOnTheWindowThreadWithTheWindowShown) {
  EXPECT_EQ(created_runs_, 1);
  EXPECT_TRUE(created_visible_);
  EXPECT_EQ(created_thread_, GetCurrentThreadId());
}

TEST_F(HiddenWindow, CloseAfterEndsTheLoopByItself) {
  window.CloseAfter(50);
  DWORD start = GetTickCount();
  MSG msg;
  int got;
  while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0 && GetTickCount() - start < 10000) DispatchMessageW(&msg);
  EXPECT_EQ(got, 0);  // WM_QUIT arrived
  EXPECT_EQ(window.hwnd(), nullptr);
}

}  // namespace
