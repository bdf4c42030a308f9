#include "ui/win32/view.h"

#include <cstdio>
#include <functional>
#include <map>
#include <memory>

#include "core/window_names.h"
#include "ui/main_names.h"
#include "ui/win32/about.h"
#include "ui/win32/paint.h"

namespace mv::ui::win32 {

const char* const MainWindow::kTitleLabel = names::kTitleLabel;
const char* const MainWindow::kVersionLabel = names::kVersionLabel;
const char* const MainWindow::kCloseButton = names::kCloseButton;

namespace {

const wchar_t kClassName[] = L"MV_OSR_MainWindow";
constexpr UINT_PTR kCloseTimer = 1;

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

std::string Utf8FromWide(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
  return out;
}

void Fonts::Make(HWND window) {
  HDC dc = GetDC(window);
  face = ChooseChineseFace(dc);
  ReleaseDC(window, dc);
  title = MakeFont(face, 16, FW_BOLD);
  small = MakeFont(face, 13, FW_NORMAL);
  normal = MakeFont(face, 14, FW_NORMAL);
  large = MakeFont(face, 20, FW_BOLD);
}

Fonts::~Fonts() {
  for (HFONT f : {title, small, normal, large})
    if (f) DeleteObject(f);
}

std::wstring ChooseChineseFace(HDC dc) {
  if (FaceInstalled(dc, L"Microsoft YaHei")) return L"Microsoft YaHei";
  return L"SimSun";
}

RECT Element::Bounds(const Component& c) const {
  RECT r = bounds_;
  if (c.width > 0) r.right = r.left + c.width;
  if (c.height > 0) r.bottom = r.top + c.height;
  return r;
}

void Element::OnClick(MainWindow& window, POINT) { window.FireEvent(name_, "click"); }

void Label::Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool) {
  RECT r = Bounds(c);
  if (has_back_) Fill(dc, r, back_);
  last_drawn_ = WideFromGbk(c.text);
  HFONT font = fonts.small;
  if (size_ == Size::kTitle) font = fonts.title;
  if (size_ == Size::kNormal) font = fonts.normal;
  if (size_ == Size::kLarge) font = fonts.large;
  HFONT underlined = nullptr;
  if (link_ && hover) {
    LOGFONTW lf;
    GetObjectW(font, sizeof lf, &lf);
    lf.lfUnderline = TRUE;
    underlined = CreateFontIndirectW(&lf);
    font = underlined;
  }
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, c.enabled ? colour_ : RGB(0xA0, 0xA0, 0xA0));
  UINT format = format_ | DT_NOPREFIX;
  format |= multi_line_ ? DT_WORDBREAK : (DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
  DrawTextW(dc, last_drawn_.c_str(), static_cast<int>(last_drawn_.size()), &r, format);
  SelectObject(dc, old);
  if (underlined) DeleteObject(underlined);
}

void Button::Paint(HDC dc, const Component& c, const Fonts&, bool hover, bool pressed) {
  RECT r = Bounds(c);
  if (c.enabled && (hover || pressed)) Fill(dc, r, pressed ? RGB(0xB0, 0x0C, 0x1A) : RGB(0xE8, 0x11, 0x23));
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

void Button::OnClick(MainWindow& window, POINT) {
  window.NoteEvent(name(), "click");
  if (action_) action_(window.hwnd());
}

MainWindow::MainWindow(WindowModel& model) : model_(model) { AddBareComponents(); }

MainWindow::~MainWindow() {
  model_.SetChangeHook(nullptr);
  ForgetReportingWindow(this);
  if (hwnd_ && IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

void MainWindow::AddBareComponents() {
  const int w = kWidth, th = kTitleHeight;
  // Title, then the version just after it; the right end holds links and buttons.
  Add(kTitleLabel, std::make_unique<Label>(RECT{16, 0, 440, th}, Label::Size::kTitle, RGB(255, 255, 255), DT_LEFT));
  Add(kVersionLabel,
      std::make_unique<Label>(RECT{444, 2, 570, th}, Label::Size::kSmall, RGB(0xD8, 0xE6, 0xFA), DT_LEFT));
  Add(kCloseButton, std::make_unique<Button>(RECT{w - 44, 0, w, th}, Button::Glyph::kClose,
                                             [this](HWND) { RequestClose(); }));
}

Element* MainWindow::Add(const std::string& name, std::unique_ptr<Element> element, const std::string& host,
                         int page) {
  if (!elements_.count(name)) order_.push_back(name);
  element->name_ = name;
  Element* added = element.get();
  elements_[name] = std::move(element);
  if (host.empty()) {
    placements_.erase(name);
  } else {
    placements_[name] = Placement{host, page};
  }
  if (hwnd_) {
    added->Attach(hwnd_);
    InvalidateRect(hwnd_, nullptr, FALSE);
  }
  return added;
}

Element* MainWindow::Find(const std::string& name) const {
  auto it = elements_.find(name);
  return it == elements_.end() ? nullptr : it->second.get();
}

bool MainWindow::Shown(const std::string& name) const {
  std::string at = name;
  for (int depth = 0; depth < 8; ++depth) {  // tab hosts nest only a few levels
    if (!model_.Get(at).visible) return false;
    auto it = placements_.find(at);
    if (it == placements_.end()) return true;
    if (model_.Get(it->second.host).page != it->second.page) return false;
    at = it->second.host;
  }
  return false;
}

RECT MainWindow::ScreenRect(const std::string& name) const {
  RECT r = {0, 0, 0, 0};
  const Element* e = Find(name);
  if (!e || !hwnd_) return r;
  r = e->Bounds(model_.Get(name));
  POINT tl = {r.left, r.top}, br = {r.right, r.bottom};
  ClientToScreen(hwnd_, &tl);
  ClientToScreen(hwnd_, &br);
  return RECT{tl.x, tl.y, br.x, br.y};
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
  for (const std::string& name : order_) elements_.at(name)->Attach(hwnd_);

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
  SyncModel();
  PostMessageW(hwnd_, kMsgCreated, 0, 0);
  return true;
}

void MainWindow::CloseAfter(UINT ms) {
  if (hwnd_) SetTimer(hwnd_, kCloseTimer, ms, nullptr);
}

void MainWindow::Minimize() {
  if (hwnd_) ShowWindow(hwnd_, SW_MINIMIZE);
}

void MainWindow::BeginDrag() {
  if (!hwnd_) return;
  ReleaseCapture();
  pressed_.clear();
  SendMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

POINT MainWindow::CursorInClient() const {
  POINT p = {0, 0};
  GetCursorPos(&p);
  if (hwnd_) ScreenToClient(hwnd_, &p);
  return p;
}

std::string MainWindow::ComponentAt(POINT screen) const {
  HWND w = hwnd_;
  if (!w) return std::string();
  HWND under = WindowFromPoint(screen);
  if (!under || GetAncestor(under, GA_ROOT) != w) return std::string();
  RECT wr;
  GetWindowRect(w, &wr);  // client = window for this borderless popup
  POINT p = {screen.x - wr.left, screen.y - wr.top};
  for (auto it = order_.rbegin(); it != order_.rend(); ++it) {
    if (elements_.at(*it)->IsContainer()) continue;
    if (!Shown(*it)) continue;
    if (Inside(elements_.at(*it)->Bounds(model_.Get(*it)), p)) return *it;
  }
  return std::string();
}

void MainWindow::ShowPopupMenu(POINT screen) {
  if (!hwnd_) return;
  HMENU menu = CreatePopupMenu();
  const char* items[] = {names::kMenuHomeItem, names::kMenuReportItem, names::kMenuAboutItem};
  for (UINT i = 0; i < 3; ++i) AppendMenuW(menu, MF_STRING, i + 1, WideFromGbk(items[i]).c_str());
  events_.push_back({"菜单", "open", ""});
  WriteReport();
  SetForegroundWindow(hwnd_);
  UINT chosen = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY, screen.x, screen.y, 0, hwnd_,
                     nullptr));
  DestroyMenu(menu);
  if (chosen >= 1 && chosen <= 3) FireEvent(items[chosen - 1], "click");
  WriteReport();
}

void MainWindow::ShowAboutWindow() {
  if (!hwnd_ || about_) return;
  RunAboutWindow(hwnd_, model_.Text(kVersionLabel), &about_, [this] { WriteReport(); });
  about_ = nullptr;
  WriteReport();
}

void MainWindow::CloseAboutWindow() {
  if (about_) DestroyWindow(about_);
}

bool MainWindow::Interactive(const std::string& name, const Element& e) const {
  return e.TakesClicks() || HasHandler(name, "click") || HasHandler(name, "hover") || HasHandler(name, "down");
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
    if (!Interactive(*it, *e)) continue;
    Component c = model_.Get(*it);
    if (!c.enabled || !Shown(*it)) continue;
    if (Inside(e->Bounds(c), client)) return *it;
  }
  return std::string();
}

void MainWindow::FireEvent(const std::string& name, const std::string& event, const std::string& arg) {
  events_.push_back({name, event, arg});
  // Reported before the handler runs too: a handler may wait in a modal
  // loop (a message box) for a long time.
  if (hwnd_) WriteReport();
  const bool handled = Fire(name, event, arg);
  if (hwnd_) WriteReport();
  if (handled || event != "click" || !hwnd_) return;
  // The window's own menu works without the logic's handlers: the menu
  // button opens it below itself, "关于" opens the about window.
  if (name == names::kMenuButton) {
    RECT r = ScreenRect(name);
    ShowPopupMenu(POINT{r.left, r.bottom});
  } else if (name == names::kMenuAboutItem) {
    ShowAboutWindow();
  }
}

void MainWindow::NoteEvent(const std::string& name, const std::string& event, const std::string& arg) {
  events_.push_back({name, event, arg});
  if (hwnd_) WriteReport();
}

void MainWindow::RequestClose() {
  if (on_close_request_) {
    if (on_close_request_()) DestroyWindow(hwnd_);
    return;
  }
  if (HasHandler(names::kMainWindow, "close")) {
    FireEvent(names::kMainWindow, "close");
    return;
  }
  DestroyWindow(hwnd_);
}

void MainWindow::SyncModel() {
  if (!hwnd_) return;
  // Real window timers for the components that ask for one.
  for (const std::string& name : model_.Names()) {
    Component c = model_.Get(name);
    uint32_t& running = timer_ms_[name];
    if (c.timer_ms == running) continue;
    auto it = timers_.find(name);
    if (it != timers_.end()) {
      KillTimer(hwnd_, it->second);
      timer_names_.erase(it->second);
      timers_.erase(it);
    }
    if (c.timer_ms > 0) {
      UINT_PTR id = next_timer_++;
      SetTimer(hwnd_, id, c.timer_ms, nullptr);
      timers_[name] = id;
      timer_names_[id] = name;
    }
    running = c.timer_ms;
  }
  for (const std::string& name : order_) {
    Element* e = elements_.at(name).get();
    Component c = model_.Get(name);
    e->Sync(hwnd_, c, Shown(name), e->Bounds(c));
  }
  WriteReport();
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

  PaintBackdrop(mem, client, kTitleHeight);

  if (!fonts_.title) fonts_.Make(hwnd_);
  for (const std::string& name : order_) {
    if (!Shown(name)) continue;
    Component c = model_.Get(name);
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
    case WM_CREATE:
      return 0;  // the fonts come with the first paint: choosing the face enumerates the system's fonts
    case kMsgCreated:
      if (on_created_) on_created_();
      SyncModel();
      NoteEvent(names::kMainWindow, "created");  // the report tells tests the start-up is over
      return 0;
    case kMsgModelChanged: {
      // Clear the flag first: a change that lands while we redraw posts again.
      InterlockedExchange(repaint_pending_.get(), 0);
      ++repaints_requested_;
      std::wstring caption = WideFromGbk(model_.Text(kTitleLabel));
      SetWindowTextW(hwnd_, caption.c_str());
      InvalidateRect(hwnd_, nullptr, FALSE);
      SyncModel();
      return 0;
    }
    case WM_ACTIVATE:
      // Keyboard and wheel input go to the active window: the report says which.
      if (!report_path_.empty()) PostMessageW(hwnd_, kMsgModelChanged, 0, 0);
      break;
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
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT && !hover_.empty()) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      // A drag: the element the button went down on follows the mouse.
      if (!pressed_.empty() && GetCapture() == hwnd_ && (wp & MK_LBUTTON)) {
        elements_.at(pressed_)->OnDrag(*this, p);
        return 0;
      }
      std::string now = ElementAt(p);
      if (now != hover_) {
        hover_ = now;
        InvalidateRect(hwnd_, nullptr, FALSE);
        if (!now.empty() && HasHandler(now, "hover")) FireEvent(now, "hover");
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
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      pressed_ = ElementAt(p);
      hover_ = pressed_;
      if (!pressed_.empty() && HasHandler(pressed_, "down")) {
        // Elements that act on the press (the drag area) get no click.
        std::string name = pressed_;
        pressed_.clear();
        FireEvent(name, "down");
        return 0;
      }
      if (!pressed_.empty()) {
        SetCapture(hwnd_);
        elements_.at(pressed_)->OnPress(*this, p);
      }
      InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    }
    case WM_MOUSEWHEEL: {
      // Screen coordinates: the element under the pointer scrolls.
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      ScreenToClient(hwnd_, &p);
      std::string name = ElementAt(p);
      if (!name.empty() && elements_.at(name)->OnWheel(*this, p, GET_WHEEL_DELTA_WPARAM(wp))) return 0;
      break;
    }
    case WM_LBUTTONUP: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      std::string was = pressed_;
      pressed_.clear();
      if (GetCapture() == hwnd_) ReleaseCapture();
      InvalidateRect(hwnd_, nullptr, FALSE);
      if (!was.empty()) elements_.at(was)->OnRelease(*this, p);
      if (!was.empty() && ElementAt(p) == was) elements_.at(was)->OnClick(*this, p);
      return 0;
    }
    case WM_TIMER: {
      if (wp == kCloseTimer) {
        KillTimer(hwnd_, kCloseTimer);
        DestroyWindow(hwnd_);  // the test aid bypasses any confirmation
        return 0;
      }
      auto it = timer_names_.find(wp);
      if (it != timer_names_.end()) {
        std::string name = it->second;  // the handler may stop the timer
        FireEvent(name, "timer");
        return 0;
      }
      break;
    }
    case WM_CLOSE:
      RequestClose();
      return 0;
    case WM_DESTROY:
      model_.SetChangeHook(nullptr);
      for (const auto& t : timers_) KillTimer(hwnd_, t.second);
      timers_.clear();
      timer_names_.clear();
      timer_ms_.clear();
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
