// The browser element's hosted control: the system's WebBrowser control in
// the pane, its OLE site and the events it sends.
#include <exdispid.h>

#include "core/web_address.h"
#include "ui/model.h"
#include "ui/win32/browser_impl.h"

namespace mv::ui::win32 {
namespace {

std::string GbkFromWide(const wchar_t* w, int n = -1) {
  if (!w) return std::string();
  int len = WideCharToMultiByte(936, 0, w, n, nullptr, 0, nullptr, nullptr);
  if (len <= 0) return std::string();
  std::string out(static_cast<size_t>(len), '\0');
  WideCharToMultiByte(936, 0, w, n, &out[0], len, nullptr, nullptr);
  if (n < 0 && !out.empty() && out.back() == '\0') out.pop_back();
  return out;
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

}  // namespace

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

HWND BrowserElement::Impl::ControlWindow() const {
  HWND w = nullptr;
  IOleInPlaceObject* ip = nullptr;
  if (ole && SUCCEEDED(ole->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip)))) {
    ip->GetWindow(&w);
    ip->Release();
  }
  return w;
}

bool BrowserElement::Impl::CreateControl() {
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

void BrowserElement::Impl::DestroyControl() {
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

void BrowserElement::Impl::ShowControl(bool show) {
  HWND w = ControlWindow();
  if (w) ShowWindow(w, show ? SW_SHOW : SW_HIDE);
}

void BrowserElement::Impl::Navigate(const std::string& url) {
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
void BrowserElement::Impl::Load(const std::string& url) {
  if (url.empty()) return;
  if (!control_tried) CreateControl();
  if (web) {
    Navigate(url);
  } else if (self->list_fallback_) {
    ShowList(url);
  }
}

// Events of the control.
void BrowserElement::Impl::OnBeforeNavigate(const std::string& url, const VARIANT& cancel) {
  if (!RequestNavigate(self->name_, url)) SetCancel(cancel);
}

void BrowserElement::Impl::OnNewWindow(const std::string& url, const VARIANT& cancel) {
  SetCancel(cancel);
  // A page may ask for a window on any address; only web addresses go on
  // (a "file:" address or a local path would end up running a program).
  if (IsWebAddress(url)) Fire(self->name_, "newwindow", url);
}

void BrowserElement::Impl::OnNavigateError(IDispatch* frame, const std::string& url, const VARIANT& cancel) {
  if (!self->list_fallback_ || !IsTopFrame(frame)) return;
  SetCancel(cancel);  // no error page: the list takes its place
  ShowList(url);
}

bool BrowserElement::Impl::IsTopFrame(IDispatch* frame) const {
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

}  // namespace mv::ui::win32
