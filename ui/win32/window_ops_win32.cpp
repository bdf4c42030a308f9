#include "ui/win32/window_ops_win32.h"

#include "ui/main_names.h"
#include "ui/shadow.h"
#include "ui/win32/shadow.h"

#if __has_include("ui/window_ops.h")
#include "ui/window_ops.h"
#define MV_HAVE_WINDOW_OPS 1
#endif
#if __has_include("ui/win32/browser.h")
#include "ui/win32/browser.h"
#define MV_HAVE_BROWSER_HOOK 1
#endif

namespace mv::ui::win32 {

#if defined(MV_HAVE_WINDOW_OPS)

namespace {

class Win32WindowOps : public WindowOps {
 public:
  explicit Win32WindowOps(MainWindow& window) : window_(window) {}

  void Minimize() override { window_.Minimize(); }
  void BeginDrag() override { window_.BeginDrag(); }
  ScreenPoint WindowOrigin() override {
    RECT r = {0, 0, 0, 0};
    if (window_.hwnd()) GetWindowRect(window_.hwnd(), &r);
    return ScreenPoint{r.left, r.top};
  }
  ScreenPoint PointerPosition() override {
    POINT p = {0, 0};
    GetCursorPos(&p);
    return ScreenPoint{p.x, p.y};
  }
  std::string ComponentUnderPointer() override {
    POINT p = {0, 0};
    GetCursorPos(&p);
    return window_.ComponentAt(p);
  }
  void ShowPopupMenu(ScreenPoint at) override { window_.ShowPopupMenu(POINT{at.x, at.y}); }
  void ShowAboutWindow() override { window_.ShowAboutWindow(); }
  void CloseAboutWindow() override { window_.CloseAboutWindow(); }
  void AttachShadow(WindowRef window) override {
    SetWindowShadow(reinterpret_cast<HWND>(window), kShadowColour, kShadowSize, true);
  }
  void InstallBrowserMouseHook() override {
#if defined(MV_HAVE_BROWSER_HOOK)
    win32::InstallBrowserMouseHook(BrowserPaneWindow(names::kCatalogueBrowser));
#endif
  }

 private:
  MainWindow& window_;
};

}  // namespace

void InstallWin32WindowOps(MainWindow& window) {
  static Win32WindowOps* ops = nullptr;
  delete ops;
  ops = new Win32WindowOps(window);
  SetWindowOps(ops);
}

#else

void InstallWin32WindowOps(MainWindow&) {}

#endif

}  // namespace mv::ui::win32
