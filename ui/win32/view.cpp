#include "ui/win32/view.h"

#include <memory>

#include "core/window_names.h"

namespace mv::ui::win32 {

const char* const MainWindow::kTitleLabel = names::kTitleLabel;
const char* const MainWindow::kVersionLabel = names::kVersionLabel;
const char* const MainWindow::kCloseButton = "图形按钮_关闭";

namespace {

const wchar_t kClassName[] = L"MV_OSR_MainWindow";
constexpr UINT_PTR kCloseTimer = 1;

const COLORREF kTitleBack = RGB(0x1E, 0x6F, 0xD9);
const COLORREF kBodyBack = RGB(0xF7, 0xF9, 0xFC);
const COLORREF kBorder = RGB(0x16, 0x55, 0xA8);
const COLORREF kCloseHover = RGB(0xE8, 0x11, 0x23);
const COLORREF kCloseDown = RGB(0xB0, 0x0C, 0x1A);

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one match is enough
}

bool FaceInstalled(HDC dc, const wchar_t* face) {
  LOGFONTW lf = {};
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExW(dc, &lf, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

HFONT MakeFont(const std::wstring& face, int pixel_height, int weight) {
  LOGFONTW lf = {};
  lf.lfHeight = -pixel_height;
  lf.lfWeight = weight;
  lf.lfCharSet = GB2312_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&lf);
}

void Fill(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH b = CreateSolidBrush(colour);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

bool Inside(const RECT& r, POINT p) { return PtInRect(&r, p) != FALSE; }

}  // namespace

std::wstring WideFromGbk(const std::string& gbk) {
  if (gbk.empty()) return std::wstring();
  int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), &out[0], n);
  return out;
}

Fonts::~Fonts() {
  if (title) DeleteObject(title);
  if (small) DeleteObject(small);
}

std::wstring ChooseChineseFace(HDC dc) {
  if (FaceInstalled(dc, L"Microsoft YaHei")) return L"Microsoft YaHei";
  return L"SimSun";
}

RECT Element::Bounds(const Component& c) const {
  RECT r = bounds_;
  if (c.width > 0) r.right = r.left + c.width;
  return r;
}

void Label::Paint(HDC dc, const Component& c, const Fonts& fonts, bool, bool) {
  RECT r = Bounds(c);
  last_drawn_ = WideFromGbk(c.text);
  HGDIOBJ old = SelectObject(dc, size_ == Size::kTitle ? fonts.title : fonts.small);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour_);
  DrawTextW(dc, last_drawn_.c_str(), static_cast<int>(last_drawn_.size()), &r,
            format_ | DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
  SelectObject(dc, old);
}

void Button::Paint(HDC dc, const Component& c, const Fonts&, bool hover, bool pressed) {
  RECT r = Bounds(c);
  if (c.enabled && (hover || pressed)) Fill(dc, r, pressed ? kCloseDown : kCloseHover);
  if (glyph_ == Glyph::kClose) {
    // A cross of two strokes, centred.
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2, h = 6;
    HPEN pen = CreatePen(PS_SOLID, 2, c.enabled ? RGB(255, 255, 255) : RGB(0xA0, 0xB8, 0xE0));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, cx - h, cy - h, nullptr);
    LineTo(dc, cx + h + 1, cy + h + 1);
    MoveToEx(dc, cx + h, cy - h, nullptr);
    LineTo(dc, cx - h - 1, cy + h + 1);
    SelectObject(dc, old);
    DeleteObject(pen);
  }
}

MainWindow::MainWindow(WindowModel& model) : model_(model) { AddBareComponents(); }

MainWindow::~MainWindow() {
  model_.SetChangeHook(nullptr);
  if (hwnd_ && IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

void MainWindow::AddBareComponents() {
  const int w = kWidth, th = kTitleHeight;
  Add(kTitleLabel, std::make_unique<Label>(RECT{16, 0, 560, th}, Label::Size::kTitle, RGB(255, 255, 255),
                                           DT_LEFT));
  Add(kVersionLabel, std::make_unique<Label>(RECT{w - 200, 0, w - 52, th}, Label::Size::kSmall,
                                             RGB(0xD8, 0xE6, 0xFA), DT_RIGHT));
  Add(kCloseButton, std::make_unique<Button>(RECT{w - 44, 0, w, th}, Button::Glyph::kClose,
                                             [this](HWND) { RequestClose(); }));
}

void MainWindow::Add(const std::string& name, std::unique_ptr<Element> element) {
  if (!elements_.count(name)) order_.push_back(name);
  elements_[name] = std::move(element);
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

Element* MainWindow::Find(const std::string& name) const {
  auto it = elements_.find(name);
  return it == elements_.end() ? nullptr : it->second.get();
}

bool MainWindow::Create(HINSTANCE instance, bool show) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &MainWindow::Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIcon(instance, MAKEINTRESOURCE(1));
  if (!wc.hIcon) wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);  // a second window of the same class finds it registered

  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  int x = work.left + ((work.right - work.left) - kWidth) / 2;
  int y = work.top + ((work.bottom - work.top) - kHeight) / 2;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;

  std::wstring caption = WideFromGbk(model_.Text(kTitleLabel));
  hwnd_ = CreateWindowExW(WS_EX_APPWINDOW, kClassName, caption.c_str(),
                          WS_POPUP | WS_CLIPCHILDREN | WS_MINIMIZEBOX | WS_SYSMENU, x, y, kWidth, kHeight,
                          nullptr, nullptr, instance, this);
  if (!hwnd_) return false;

  // Worker threads change the model; the hook only posts to the window, and
  // at most one such message waits at a time.
  HWND target = hwnd_;
  auto pending = repaint_pending_;
  model_.SetChangeHook([target, pending](const std::string&) {
    if (InterlockedExchange(pending.get(), 1) == 0) {
      if (!PostMessageW(target, kMsgModelChanged, 0, 0)) InterlockedExchange(pending.get(), 0);
    }
  });

  if (show) {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
  }
  PostMessageW(hwnd_, kMsgCreated, 0, 0);
  return true;
}

void MainWindow::CloseAfter(UINT ms) {
  if (hwnd_) SetTimer(hwnd_, kCloseTimer, ms, nullptr);
}

LRESULT MainWindow::HitTest(POINT client) const {
  if (client.y < 0 || client.y >= kTitleHeight) return HTCLIENT;
  if (!ElementAt(client).empty()) return HTCLIENT;
  return HTCAPTION;
}

std::string MainWindow::ElementAt(POINT client) const {
  // Topmost first: the last registered is painted last.
  for (auto it = order_.rbegin(); it != order_.rend(); ++it) {
    const Element* e = elements_.at(*it).get();
    if (!e->TakesClicks()) continue;
    Component c = model_.Get(*it);
    if (!c.visible || !c.enabled) continue;
    if (Inside(e->Bounds(c), client)) return *it;
  }
  return std::string();
}

void MainWindow::RequestClose() {
  if (on_close_request_ && !on_close_request_()) return;
  DestroyWindow(hwnd_);
}

void MainWindow::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  last_paint_thread_ = GetCurrentThreadId();
  RECT client;
  GetClientRect(hwnd_, &client);
  // Drawn off screen, then copied: no flicker while labels change.
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, client.right, client.bottom);
  HGDIOBJ old_bmp = SelectObject(mem, bmp);

  Fill(mem, client, kBodyBack);
  Fill(mem, RECT{0, 0, client.right, kTitleHeight}, kTitleBack);
  HBRUSH border = CreateSolidBrush(kBorder);
  FrameRect(mem, &client, border);
  DeleteObject(border);

  for (const std::string& name : order_) {
    Component c = model_.Get(name);
    if (!c.visible) continue;
    elements_.at(name)->Paint(mem, c, fonts_, hover_ == name, pressed_ == name && hover_ == name);
  }

  BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old_bmp);
  DeleteObject(bmp);
  DeleteDC(mem);
  EndPaint(hwnd_, &ps);
}

LRESULT CALLBACK MainWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    auto* self = static_cast<MainWindow*>(cs->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->Handle(msg, wp, lp);
}

LRESULT MainWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE: {
      HDC dc = GetDC(hwnd_);
      fonts_.face = ChooseChineseFace(dc);
      ReleaseDC(hwnd_, dc);
      fonts_.title = MakeFont(fonts_.face, 16, FW_BOLD);
      fonts_.small = MakeFont(fonts_.face, 13, FW_NORMAL);
      return 0;
    }
    case kMsgCreated:
      if (on_created_) on_created_();
      return 0;
    case kMsgModelChanged: {
      // Clear the flag first: a change that lands while we redraw posts again.
      InterlockedExchange(repaint_pending_.get(), 0);
      ++repaints_requested_;
      std::wstring caption = WideFromGbk(model_.Text(kTitleLabel));
      SetWindowTextW(hwnd_, caption.c_str());
      InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // Paint covers everything
    case WM_PAINT:
      Paint();
      return 0;
    case WM_NCHITTEST: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      ScreenToClient(hwnd_, &p);
      return HitTest(p);
    }
    case WM_MOUSEMOVE: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      std::string now = ElementAt(p);
      if (now != hover_) {
        hover_ = now;
        InvalidateRect(hwnd_, nullptr, FALSE);
      }
      if (!tracking_) {
        TRACKMOUSEEVENT t = {sizeof(t), TME_LEAVE, hwnd_, 0};
        tracking_ = TrackMouseEvent(&t) != FALSE;
      }
      return 0;
    }
    case WM_MOUSELEAVE:
      tracking_ = false;
      if (!hover_.empty()) {
        hover_.clear();
        InvalidateRect(hwnd_, nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONDOWN: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      pressed_ = ElementAt(p);
      hover_ = pressed_;
      if (!pressed_.empty()) SetCapture(hwnd_);
      InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    }
    case WM_LBUTTONUP: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      std::string was = pressed_;
      pressed_.clear();
      if (GetCapture() == hwnd_) ReleaseCapture();
      InvalidateRect(hwnd_, nullptr, FALSE);
      if (!was.empty() && ElementAt(p) == was) elements_.at(was)->OnClick(hwnd_);
      return 0;
    }
    case WM_TIMER:
      if (wp == kCloseTimer) {
        KillTimer(hwnd_, kCloseTimer);
        DestroyWindow(hwnd_);  // the test aid bypasses any confirmation
        return 0;
      }
      break;
    case WM_CLOSE:
      RequestClose();
      return 0;
    case WM_DESTROY:
      model_.SetChangeHook(nullptr);
      if (quit_on_destroy_) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      HWND self = hwnd_;
      SetWindowLongPtrW(self, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      return DefWindowProcW(self, msg, wp, lp);
    }
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace mv::ui::win32
