#include "ui/win32/browser.h"

#include <map>

#include "ui/main_names.h"
#include "ui/win32/browser_impl.h"

namespace mv::ui::win32 {
namespace {

// Browser elements by name and by the window they are painted into.
std::map<std::string, BrowserElement*>& Registry() {
  static std::map<std::string, BrowserElement*> r;
  return r;
}
std::map<HWND, std::vector<BrowserElement*>>& HostedBy() {
  static std::map<HWND, std::vector<BrowserElement*>> r;
  return r;
}
std::map<BrowserElement*, bool>& PaintedThisPass() {
  static std::map<BrowserElement*, bool> r;
  return r;
}

}  // namespace

void BrowserElement::Impl::Resize() {
  RECT r;
  GetClientRect(self->pane_, &r);
  if (ole) {
    IOleInPlaceObject* ip = nullptr;
    if (SUCCEEDED(ole->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
      ip->SetObjectRects(&r, &r);
      ip->Release();
    }
  }
  if (status) MoveWindow(status, 8, 4, r.right - 16, kStatusHeight - 6, TRUE);
  if (list) MoveWindow(list, 0, kStatusHeight, r.right, r.bottom - kStatusHeight, TRUE);
}

namespace {

LRESULT CALLBACK PaneProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<BrowserElement::Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_SIZE:
      if (self) self->Resize();
      return 0;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      return 1;
    }
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wp), RGB(255, 255, 255));
      SetTextColor(reinterpret_cast<HDC>(wp), RGB(0x33, 0x55, 0x88));
      return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case WM_COMMAND:
      if (self && LOWORD(wp) == kListId && HIWORD(wp) == LBN_SELCHANGE) self->OnSelChange();
      // An unreadable page is read again when its message is clicked.
      if (self && LOWORD(wp) == kStatusId && HIWORD(wp) == STN_CLICKED && self->showing_list &&
          !self->list_loading && self->links.empty()) {
        self->ShowList(self->list_url);
      }
      return 0;
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->itemHeight = kRowHeight;
      return TRUE;
    case WM_DRAWITEM:
      if (self && wp == kListId) self->DrawRow(reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case WM_SETCURSOR:
      if (self && ((reinterpret_cast<HWND>(wp) == self->list && !self->links.empty()) ||
                   (reinterpret_cast<HWND>(wp) == self->status && !self->list_loading && self->links.empty()))) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      return DefWindowProcW(hwnd, msg, wp, lp);
    case kMsgSync:
      if (self && self->nav_pending) {
        self->nav_pending = false;
        self->Load(self->pending_url);
      }
      return 0;
    case kMsgLinksFetched: {
      auto* r = reinterpret_cast<FetchResult*>(lp);
      if (self) {
        self->OnLinks(r);
      } else {
        delete r;
      }
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

namespace {

// The window that browser panes are painted into is subclassed once: after
// each of its paints, a pane whose element was not painted (its page is not
// shown) is hidden, and one that was is shown.
LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto old = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kHostProcProp));
  if (!old) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_PAINT) {
    auto it = HostedBy().find(hwnd);
    if (it != HostedBy().end()) {
      std::vector<BrowserElement*> hosted = it->second;
      for (BrowserElement* e : hosted) PaintedThisPass()[e] = false;
      LRESULT r = CallWindowProcW(old, hwnd, msg, wp, lp);
      for (BrowserElement* e : hosted) {
        auto p = PaintedThisPass().find(e);
        if (p == PaintedThisPass().end()) continue;  // destroyed while painting
        if (!e->SyncedByView()) e->SetShown(p->second);
        PaintedThisPass().erase(p);
      }
      return r;
    }
  }
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropW(hwnd, kHostProcProp);
    HostedBy().erase(hwnd);
  }
  return CallWindowProcW(old, hwnd, msg, wp, lp);
}

void HostOn(HWND parent, BrowserElement* e) {
  auto& list = HostedBy()[parent];
  list.push_back(e);
  if (!GetPropW(parent, kHostProcProp)) {
    LONG_PTR old = SetWindowLongPtrW(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HostProc));
    SetPropW(parent, kHostProcProp, reinterpret_cast<HANDLE>(old));
  }
}

void Unhost(BrowserElement* e) {
  for (auto& [parent, list] : HostedBy()) {
    for (auto it = list.begin(); it != list.end();) it = (*it == e) ? list.erase(it) : it + 1;
  }
  PaintedThisPass().erase(e);
}

// The window Paint draws into when the view paints off screen: the visible,
// unowned top-level window of this thread that is not a layered overlay.
BOOL CALLBACK FindPaintTarget(HWND w, LPARAM lp) {
  if (!IsWindowVisible(w) || GetWindow(w, GW_OWNER)) return TRUE;
  LONG_PTR ex = GetWindowLongPtrW(w, GWL_EXSTYLE);
  if (ex & (WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW)) return TRUE;
  *reinterpret_cast<HWND*>(lp) = w;
  return FALSE;
}

HWND PaintTarget(HDC dc) {
  if (HWND w = WindowFromDC(dc)) return w;
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindPaintTarget, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

std::unique_ptr<Element> MakeBrowserElement(const std::string& name, RECT bounds) {
  return std::make_unique<BrowserElement>(name, bounds, name == names::kCatalogueBrowser);
}

BrowserElement::BrowserElement(std::string name, RECT bounds, bool list_fallback)
    : Element(bounds), name_(std::move(name)), list_fallback_(list_fallback), impl_(std::make_unique<Impl>()) {
  impl_->self = this;
  Registry()[name_] = this;
}

BrowserElement::~BrowserElement() {
  auto it = Registry().find(name_);
  if (it != Registry().end() && it->second == this) Registry().erase(it);
  Unhost(this);
  impl_->DestroyControl();
  if (pane_ && IsWindow(pane_)) {
    SetWindowLongPtrW(pane_, GWLP_USERDATA, 0);
    DestroyWindow(pane_);
  }
  if (impl_->font) DeleteObject(impl_->font);
  const bool ole = impl_->ole_initialised;
  impl_.reset();
  if (ole) OleUninitialize();
}

bool BrowserElement::AttachTo(HWND parent) {
  if (pane_) return true;
  if (!parent) return false;
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &PaneProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kPaneClass;
    registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }
  const RECT& b = bounds_;
  pane_ = CreateWindowExW(0, kPaneClass, WideFromGbk(name_).c_str(), WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                          b.left, b.top, b.right - b.left, b.bottom - b.top, parent, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  if (!pane_) return false;
  SetWindowLongPtrW(pane_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl_.get()));
  HostOn(parent, this);
  return true;
}

void BrowserElement::SetShown(bool shown) {
  if (!pane_ || impl_->shown == shown) return;
  impl_->shown = shown;
  ShowWindow(pane_, shown ? SW_SHOWNA : SW_HIDE);
}

void BrowserElement::Paint(HDC dc, const Component& c, const Fonts&, bool, bool) {
  RECT r = Bounds(c);
  if (c.height > 0) r.bottom = r.top + c.height;
  if (impl_->synced_by_view) return;  // the view places the pane itself
  if (!pane_ && !AttachTo(PaintTarget(dc))) {
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return;
  }
  PaintedThisPass()[this] = true;
  SetShown(true);
  Place(c, r);
}

void BrowserElement::Attach(HWND window) { AttachTo(window); }

void BrowserElement::Sync(HWND window, const Component& c, bool shown, RECT bounds) {
  impl_->synced_by_view = true;
  if (!pane_ && !AttachTo(window)) return;
  SetShown(shown);
  Place(c, bounds);
}

void BrowserElement::Place(const Component& c, RECT r) {
  RECT now;
  GetWindowRect(pane_, &now);
  MapWindowPoints(nullptr, GetParent(pane_), reinterpret_cast<POINT*>(&now), 2);
  if (!EqualRect(&now, &r)) {
    SetWindowPos(pane_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The control navigates from the pane's own message, never inside a paint:
  // the navigation handler may open a dialog.
  if (c.url != impl_->model_url) {
    impl_->model_url = c.url;
    impl_->pending_url = c.url;
    impl_->nav_pending = true;
    PostMessageW(pane_, kMsgSync, 0, 0);
  }
}

bool BrowserElement::ListRowScreenRect(int row, RECT* screen) const {
  if (!impl_->showing_list || !impl_->list || !IsWindowVisible(impl_->list)) return false;
  RECT r;
  if (SendMessageW(impl_->list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r)) == LB_ERR)
    return false;
  MapWindowPoints(impl_->list, nullptr, reinterpret_cast<POINT*>(&r), 2);
  *screen = r;
  return true;
}

bool BrowserElement::SyncedByView() const { return impl_->synced_by_view; }
bool BrowserElement::HasControl() const { return impl_->web != nullptr; }
bool BrowserElement::ShowingList() const { return impl_->showing_list; }
std::vector<PageLink> BrowserElement::ListedLinks() const { return impl_->links; }
std::string BrowserElement::ListStatus() const { return impl_->list_status; }
HWND BrowserElement::ListWindow() const { return impl_->list; }
void BrowserElement::SimulateControlFailure(bool fail) { g_simulate_failure = fail; }

HWND BrowserPaneWindow(const std::string& name) {
  auto it = Registry().find(name);
  return it == Registry().end() ? nullptr : it->second->pane();
}

}  // namespace mv::ui::win32
