#include "ui/win32/browser.h"

#include <exdisp.h>
#include <exdispid.h>
#include <ole2.h>
#include <oleidl.h>

#include <map>

#include "core/web_address.h"
#include "platform/platform.h"
#include "ui/main_names.h"
#include "ui/model.h"

namespace mv::ui::win32 {
namespace {

constexpr wchar_t kPaneClass[] = L"MvBrowserPane";
constexpr wchar_t kHostProcProp[] = L"MvBrowserHostProc";
constexpr wchar_t kListProcProp[] = L"MvBrowserListProc";
constexpr UINT kMsgSync = WM_APP + 40;          // create the control when due, then navigate
constexpr UINT kMsgLinksFetched = WM_APP + 41;  // lParam: FetchResult*, owned by the receiver
constexpr int kListId = 101;
constexpr int kStatusId = 102;
constexpr int kStatusHeight = 28;
constexpr int kRowHeight = 34;

// Texts of the list shown instead of the page.
const char kListLoading[] = "正在读取系统列表……";
const char kListIntro[] = "网页无法显示，请直接点击下面的系统进行选择：";
const char kListEmpty[] = "无法读取系统列表，请检查网络后点击这里重试。";

bool g_simulate_failure = false;
// Numbers fetches across all panes: a window handle may be reused by a new
// pane, and a late answer for the old one must not be taken for its own.
unsigned g_fetch_serial = 0;

std::string GbkFromWide(const wchar_t* w, int n = -1) {
  if (!w) return std::string();
  int len = WideCharToMultiByte(936, 0, w, n, nullptr, 0, nullptr, nullptr);
  if (len <= 0) return std::string();
  std::string out(static_cast<size_t>(len), '\0');
  WideCharToMultiByte(936, 0, w, n, &out[0], len, nullptr, nullptr);
  if (n < 0 && !out.empty() && out.back() == '\0') out.pop_back();
  return out;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buf[256];
  int n = hwnd ? GetClassNameW(hwnd, buf, 256) : 0;
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// A BSTR argument of an event, passed directly or by reference.
std::string BstrArg(const VARIANT& v) {
  const VARIANT* p = &v;
  if (p->vt == (VT_BYREF | VT_VARIANT) && p->pvarVal) p = p->pvarVal;
  if (p->vt == VT_BSTR) return GbkFromWide(p->bstrVal, static_cast<int>(SysStringLen(p->bstrVal)));
  if (p->vt == (VT_BYREF | VT_BSTR) && p->pbstrVal)
    return GbkFromWide(*p->pbstrVal, static_cast<int>(SysStringLen(*p->pbstrVal)));
  return std::string();
}

void SetCancel(const VARIANT& v) {
  if (v.vt == (VT_BYREF | VT_BOOL) && v.pboolVal) *v.pboolVal = VARIANT_TRUE;
}

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

struct FetchResult {
  unsigned generation;
  std::string url;
  std::vector<PageLink> links;
};

// The OLE site of the control and the sink of its events.
class BrowserSite : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame, public IDispatch {
 public:
  explicit BrowserSite(BrowserElement::Impl* owner) : owner_(owner) {}
  void Detach() { owner_ = nullptr; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
      *out = static_cast<IDispatch*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** c) override {
    if (c) *c = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the site and the frame)
  STDMETHODIMP GetWindow(HWND* hwnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow and IOleInPlaceFrame
  STDMETHODIMP GetBorder(LPRECT) override { return E_NOTIMPL; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDispatch: the control's events
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

 private:
  virtual ~BrowserSite() = default;
  LONG refs_ = 1;
  BrowserElement::Impl* owner_;
};

LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

struct BrowserElement::Impl {
  BrowserElement* self = nullptr;
  HWND list = nullptr, status = nullptr;
  HFONT font = nullptr;
  bool ole_initialised = false;
  bool control_tried = false;
  BrowserSite* site = nullptr;
  IOleObject* ole = nullptr;
  IWebBrowser2* web = nullptr;
  IConnectionPoint* events = nullptr;
  DWORD cookie = 0;
  std::string model_url;    // the model's url last acted on
  std::string pending_url;  // waiting for the pane's sync message
  bool nav_pending = false;
  bool showing_list = false;
  std::vector<PageLink> links;
  std::string list_url;  // the page the list was read from
  bool list_loading = false;
  std::string list_status;
  unsigned generation = 0;
  std::string status_link;      // the address the page last showed in its status line
  bool new_window3_seen = false;
  DWORD last_new_window3 = 0;   // tick of the last NewWindow3 (NewWindow2 then adds nothing)
  bool shown = false;
  bool synced_by_view = false;  // the view calls Sync: paints no longer show or hide the pane

  ~Impl() { DestroyControl(); }

  HWND ControlWindow() const {
    HWND w = nullptr;
    IOleInPlaceObject* ip = nullptr;
    if (ole && SUCCEEDED(ole->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
      ip->GetWindow(&w);
      ip->Release();
    }
    return w;
  }

  void Resize() {
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

  bool CreateControl() {
    control_tried = true;
    if (g_simulate_failure) return false;
    if (!ole_initialised) ole_initialised = SUCCEEDED(OleInitialize(nullptr));
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&ole)))) {
      ole = nullptr;
      return false;
    }
    site = new BrowserSite(this);
    RECT r;
    GetClientRect(self->pane_, &r);
    if (FAILED(ole->SetClientSite(static_cast<IOleClientSite*>(site)))) {
      DestroyControl();
      return false;
    }
    OleSetContainedObject(ole, TRUE);
    if (FAILED(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site), 0, self->pane_,
                           &r)) ||
        FAILED(ole->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&web)))) {
      web = nullptr;
      DestroyControl();
      return false;
    }
    web->put_Silent(VARIANT_TRUE);  // no script-error boxes over the window
    IConnectionPointContainer* cpc = nullptr;
    if (SUCCEEDED(web->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)))) {
      if (SUCCEEDED(cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, &events))) {
        if (FAILED(events->Advise(static_cast<IDispatch*>(site), &cookie))) {
          events->Release();
          events = nullptr;
        }
      }
      cpc->Release();
    }
    if (!events) {  // without its events the pane could not ask the navigation handler
      DestroyControl();
      return false;
    }
    Resize();
    return true;
  }

  void DestroyControl() {
    if (events) {
      events->Unadvise(cookie);
      events->Release();
      events = nullptr;
    }
    if (web) {
      web->Stop();
      web->Release();
      web = nullptr;
    }
    if (ole) {
      IOleInPlaceObject* ip = nullptr;
      if (SUCCEEDED(ole->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
        ip->InPlaceDeactivate();
        ip->Release();
      }
      ole->Close(OLECLOSE_NOSAVE);
      ole->SetClientSite(nullptr);
      ole->Release();
      ole = nullptr;
    }
    if (site) {
      site->Detach();
      site->Release();
      site = nullptr;
    }
  }

  void ShowControl(bool show) {
    HWND w = ControlWindow();
    if (w) ShowWindow(w, show ? SW_SHOW : SW_HIDE);
  }

  void Navigate(const std::string& url) {
    if (showing_list) HideList();
    ShowControl(true);
    std::wstring wide = WideFromGbk(url);
    BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    VARIANT empty;
    VariantInit(&empty);
    HRESULT hr = web->Navigate(b, &empty, &empty, &empty, &empty);
    SysFreeString(b);
    if (FAILED(hr)) ShowList(url);
  }

  // Loads the address: into the control, or into the list when there is no control.
  void Load(const std::string& url) {
    if (url.empty()) return;
    if (!control_tried) CreateControl();
    if (web) {
      Navigate(url);
    } else if (self->list_fallback_) {
      ShowList(url);
    }
  }

  void EnsureListWindows() {
    if (list) return;
    HDC dc = GetDC(self->pane_);
    std::wstring face = ChooseChineseFace(dc);
    ReleaseDC(self->pane_, dc);
    LOGFONTW lf = {};
    lf.lfHeight = -15;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = GB2312_CHARSET;
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    font = CreateFontIndirectW(&lf);
    status = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | SS_NOTIFY, 0, 0,
                             0, 0, self->pane_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusId)),
                             GetModuleHandleW(nullptr), nullptr);
    list = CreateWindowExW(0, L"LISTBOX", L"",
                           WS_CHILD | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS |
                               LBS_OWNERDRAWFIXED,
                           0, 0, 0, 0,
                           self->pane_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)),
                           GetModuleHandleW(nullptr), nullptr);
    SendMessageW(status, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(list, LB_SETITEMHEIGHT, 0, kRowHeight);
    SetPropW(list, kListProcProp,
             reinterpret_cast<HANDLE>(SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListProc))));
    Resize();
  }

  void SetListStatus(const std::string& text) {
    list_status = text;
    SetWindowTextW(status, WideFromGbk(text).c_str());
  }

  // Shows the list and reads the page's choice links on a worker thread.
  void ShowList(const std::string& url) {
    EnsureListWindows();
    ShowControl(false);
    showing_list = true;
    list_url = url;
    list_loading = true;
    links.clear();
    hover_row = -1;
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    SetListStatus(kListLoading);
    ShowWindow(status, SW_SHOW);
    ShowWindow(list, SW_SHOW);
    const unsigned gen = generation = ++g_fetch_serial;
    HWND pane = self->pane_;
    Handle t = plat().StartThread([pane, gen, url] {
      auto* r = new FetchResult{gen, url, FetchChoiceLinks(url)};
      if (!PostMessageW(pane, kMsgLinksFetched, 0, reinterpret_cast<LPARAM>(r))) delete r;
    });
    plat().ReleaseThread(t);
  }

  void HideList() {
    showing_list = false;
    generation = ++g_fetch_serial;  // a fetch still under way is dropped
    if (list) ShowWindow(list, SW_HIDE);
    if (status) ShowWindow(status, SW_HIDE);
  }

  void OnLinks(FetchResult* r) {
    std::unique_ptr<FetchResult> owned(r);
    if (!showing_list || r->generation != generation) return;
    list_loading = false;
    links = r->links;
    hover_row = -1;
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const PageLink& l : links) {
      std::wstring row = WideFromGbk(l.name);
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    }
    SetListStatus(links.empty() ? kListEmpty : kListIntro);
  }

  // The list chooses on a click, or on Enter or Space for the row the arrow
  // keys moved to; moving with the keys alone chooses nothing.
  bool keyboard_move = false;
  int hover_row = -1;  // the row under the mouse, drawn highlighted

  void SetHoverRow(int row) {
    if (row == hover_row) return;
    RECT r;
    for (int old_or_new : {hover_row, row}) {
      if (old_or_new >= 0 &&
          SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(old_or_new), reinterpret_cast<LPARAM>(&r)) != LB_ERR)
        InvalidateRect(list, &r, FALSE);
    }
    hover_row = row;
  }
  void OnSelChange() {
    if (!keyboard_move) OnListClick();
  }

  void OnListClick() {
    LRESULT row = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (row < 0 || static_cast<size_t>(row) >= links.size()) return;
    const std::string url = links[static_cast<size_t>(row)].url;
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);  // a second click on the row counts again
    if (RequestNavigate(self->name_, url)) Load(url);
  }

  // One row of the list: a marker, the name, and on the right what a click does.
  void DrawRow(const DRAWITEMSTRUCT* d) {
    if (d->itemID == static_cast<UINT>(-1) || d->itemID >= links.size()) return;
    const PageLink& link = links[d->itemID];
    HDC dc = d->hDC;
    RECT r = d->rcItem;
    const bool sel = (d->itemState & ODS_SELECTED) != 0 || static_cast<int>(d->itemID) == hover_row;
    HBRUSH back = CreateSolidBrush(sel ? RGB(0xE3, 0xEF, 0xFC) : (d->itemID % 2 ? RGB(0xF7, 0xFA, 0xFD) : RGB(255, 255, 255)));
    FillRect(dc, &r, back);
    DeleteObject(back);
    RECT mark = {r.left + 12, (r.top + r.bottom) / 2 - 4, r.left + 20, (r.top + r.bottom) / 2 + 4};
    HBRUSH blue = CreateSolidBrush(RGB(0x2B, 0x7C, 0xD8));
    FillRect(dc, &mark, blue);
    DeleteObject(blue);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    const char* action = "点击选择";
    if (link.url.find("?type=localWIM") != std::string::npos) action = "选择本地文件";
    if (link.url.find("?type=blank") != std::string::npos) action = "在浏览器中打开";
    std::wstring act = WideFromGbk(action);
    RECT right = {r.right - 130, r.top, r.right - 12, r.bottom};
    SetTextColor(dc, RGB(0x88, 0x99, 0xAA));
    DrawTextW(dc, act.c_str(), -1, &right, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    std::wstring name = WideFromGbk(link.name);
    RECT text = {r.left + 30, r.top, right.left - 8, r.bottom};
    SetTextColor(dc, RGB(0x22, 0x33, 0x44));
    DrawTextW(dc, name.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, old);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0xE6, 0xEB, 0xF0));
    HGDIOBJ old_pen = SelectObject(dc, pen);
    MoveToEx(dc, r.left, r.bottom - 1, nullptr);
    LineTo(dc, r.right, r.bottom - 1);
    SelectObject(dc, old_pen);
    DeleteObject(pen);
  }

  // Events of the control.
  void OnBeforeNavigate(const std::string& url, const VARIANT& cancel) {
    if (!RequestNavigate(self->name_, url)) SetCancel(cancel);
  }
  void OnNewWindow(const std::string& url, const VARIANT& cancel) {
    SetCancel(cancel);
    // A page may ask for a window on any address; only web addresses go on
    // (a "file:" address or a local path would end up running a program).
    if (IsWebAddress(url)) Fire(self->name_, "newwindow", url);
  }
  void OnNavigateError(IDispatch* frame, const std::string& url, const VARIANT& cancel) {
    if (!self->list_fallback_ || !IsTopFrame(frame)) return;
    SetCancel(cancel);  // no error page: the list takes its place
    ShowList(url);
  }
  bool IsTopFrame(IDispatch* frame) const {
    if (!frame || !web) return true;
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    bool same = true;
    if (SUCCEEDED(frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a))) &&
        SUCCEEDED(web->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)))) {
      same = (a == b);
    }
    if (a) a->Release();
    if (b) b->Release();
    return same;
  }
};

STDMETHODIMP BrowserSite::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  *hwnd = owner_ ? owner_->self->pane() : nullptr;
  return *hwnd ? S_OK : E_FAIL;
}

STDMETHODIMP BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                           LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (frame) {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
  }
  if (doc) *doc = nullptr;
  HWND pane = owner_ ? owner_->self->pane() : nullptr;
  RECT r = {0, 0, 0, 0};
  if (pane) GetClientRect(pane, &r);
  if (pos) *pos = r;
  if (clip) *clip = r;
  if (info) {
    info->fMDIApp = FALSE;
    info->hwndFrame = pane ? GetAncestor(pane, GA_ROOT) : nullptr;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

STDMETHODIMP BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) {
  if (owner_ && p) owner_->self->HandleEvent(id, p);
  return S_OK;
}

void BrowserElement::HandleEvent(DISPID id, DISPPARAMS* p) {
  Impl* o = impl_.get();
  const UINT n = p->cArgs;
  VARIANT* a = p->rgvarg;  // arguments in reverse order
  switch (id) {
    case DISPID_BEFORENAVIGATE2:  // pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel
      if (n >= 7) o->OnBeforeNavigate(BstrArg(a[5]), a[0]);
      break;
    case DISPID_NEWWINDOW3:  // ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl
      if (n >= 5) {
        o->new_window3_seen = true;
        o->last_new_window3 = GetTickCount();
        o->OnNewWindow(BstrArg(a[0]), a[3]);
      }
      break;
    case DISPID_NEWWINDOW2:  // ppDisp, Cancel: no address; the one the page last pointed at
      if (n >= 2) {
        if (o->new_window3_seen && GetTickCount() - o->last_new_window3 < 1000) {
          SetCancel(a[0]);
        } else {
          o->OnNewWindow(o->status_link, a[0]);
        }
      }
      break;
    case DISPID_STATUSTEXTCHANGE:
      if (n >= 1) {
        std::string text = BstrArg(a[0]);
        if (text.compare(0, 7, "http://") == 0 || text.compare(0, 8, "https://") == 0) o->status_link = text;
      }
      break;
    case DISPID_NAVIGATEERROR:  // pDisp, URL, Frame, StatusCode, Cancel
      if (n >= 5) o->OnNavigateError(a[4].vt == VT_DISPATCH ? a[4].pdispVal : nullptr, BstrArg(a[3]), a[0]);
      break;
    default:
      break;
  }
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

LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto old = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kListProcProp));
  if (!old) return DefWindowProcW(hwnd, msg, wp, lp);
  auto* self = reinterpret_cast<BrowserElement::Impl*>(GetWindowLongPtrW(GetParent(hwnd), GWLP_USERDATA));
  if (msg == WM_KEYDOWN && self) {
    if (wp == VK_RETURN || wp == VK_SPACE) {
      self->OnListClick();
      return 0;
    }
    self->keyboard_move = true;
    LRESULT r = CallWindowProcW(old, hwnd, msg, wp, lp);
    self->keyboard_move = false;
    return r;
  }
  if (msg == WM_MOUSEMOVE && self) {
    LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lp);
    const int row = HIWORD(hit) ? -1 : static_cast<int>(LOWORD(hit));
    self->SetHoverRow(row < static_cast<int>(self->links.size()) ? row : -1);
    TRACKMOUSEEVENT t = {sizeof(t), TME_LEAVE, hwnd, 0};
    TrackMouseEvent(&t);
  }
  if (msg == WM_MOUSELEAVE && self) self->SetHoverRow(-1);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropW(hwnd, kListProcProp);
  }
  return CallWindowProcW(old, hwnd, msg, wp, lp);
}

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

HHOOK g_mouse_hook = nullptr;

LRESULT CALLBACK MouseHookProc(int code, WPARAM wp, LPARAM lp) {
  const auto* m = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lp);
  if (m && SwallowsMouseMessage(code, static_cast<UINT>(wp), m->hwnd)) return 1;
  return CallNextHookEx(g_mouse_hook, code, wp, lp);
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

bool SwallowsMouseMessage(int hook_code, UINT message, HWND target) {
  // Negative codes must go down the chain untouched.
  return hook_code >= 0 && message == WM_RBUTTONUP && ClassOf(target) == kBrowserServerClass;
}

bool InstallBrowserMouseHook(HWND pane) {
  if (g_mouse_hook) return true;
  const DWORD thread = pane ? GetWindowThreadProcessId(pane, nullptr) : GetCurrentThreadId();
  if (!thread) return false;
  g_mouse_hook = SetWindowsHookExW(WH_MOUSE, &MouseHookProc, nullptr, thread);
  return g_mouse_hook != nullptr;
}

void RemoveBrowserMouseHook() {
  if (g_mouse_hook) UnhookWindowsHookEx(g_mouse_hook);
  g_mouse_hook = nullptr;
}

}  // namespace mv::ui::win32
