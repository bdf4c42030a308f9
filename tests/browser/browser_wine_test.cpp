// The browser panes under Wine, with real windows, the system's WebBrowser
// control (no HTML engine: pages never show, but the control is created and
// reports its navigations and their errors), WinINet against a loopback HTTP
// server run by this test, and real mouse input for the hook.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <exdispid.h>

#include "platform/win32/win32_platform.h"
#include "ui/main_names.h"
#include "ui/model.h"
#include "ui/win32/browser.h"

namespace mv::ui::win32 {
namespace {

// ---- A loopback HTTP server: fixed pages by path, 404 otherwise ------------------
class PageServer {
 public:
  PageServer() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    InitializeCriticalSection(&mu_);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener_, 16);
    int len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    base_ = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    thread_ = CreateThread(nullptr, 0, &PageServer::Run, this, 0, nullptr);
  }
  ~PageServer() {
    closesocket(listener_);
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
    DeleteCriticalSection(&mu_);
  }
  const std::string& base() const { return base_; }
  void Set(const std::string& path, const std::string& body) {
    EnterCriticalSection(&mu_);
    pages_[path] = body;
    LeaveCriticalSection(&mu_);
  }
  int Requests(const std::string& path) {
    EnterCriticalSection(&mu_);
    int n = requests_[path];
    LeaveCriticalSection(&mu_);
    return n;
  }

 private:
  static DWORD WINAPI Run(void* p) {
    auto* self = static_cast<PageServer*>(p);
    for (;;) {
      SOCKET c = accept(self->listener_, nullptr, nullptr);
      if (c == INVALID_SOCKET) return 0;
      std::string req;
      char buf[2048];
      while (req.find("\r\n\r\n") == std::string::npos) {
        int n = recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        req.append(buf, static_cast<size_t>(n));
      }
      std::string path;
      size_t sp = req.find(' ');
      if (sp != std::string::npos) path = req.substr(sp + 1, req.find(' ', sp + 1) - sp - 1);
      std::string body, status = "404 Not Found";
      EnterCriticalSection(&self->mu_);
      ++self->requests_[path];
      auto it = self->pages_.find(path);
      if (it != self->pages_.end()) body = it->second, status = "200 OK";
      LeaveCriticalSection(&self->mu_);
      std::string resp = "HTTP/1.1 " + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      send(c, resp.data(), static_cast<int>(resp.size()), 0);
      shutdown(c, SD_SEND);
      closesocket(c);
    }
  }
  SOCKET listener_;
  HANDLE thread_;
  CRITICAL_SECTION mu_;
  std::string base_;
  std::map<std::string, std::string> pages_;
  std::map<std::string, int> requests_;
};

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Pumps messages until done() or the time runs out.
template <typename F>
bool PumpUntil(F done, DWORD ms = 10000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    Pump();
  }
  return true;
}

// What the list shows, for a failure's message.
std::string ListedNames(const BrowserElement& b) {
  std::string out = b.ListStatus();
  for (const PageLink& l : b.ListedLinks()) out += " [" + l.name + " " + l.url + "]";
  return out;
}

// A window that paints the browser elements it holds, off screen as the main
// window does, and can leave them out (their page is not shown).
struct Host {
  std::vector<BrowserElement*> elements;
  WindowModel* model = nullptr;
  bool paint_elements = true;
  HWND hwnd = nullptr;

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Host*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_PAINT && self) {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      HDC mem = CreateCompatibleDC(dc);
      HBITMAP bmp = CreateCompatibleBitmap(dc, 800, 560);
      HGDIOBJ old = SelectObject(mem, bmp);
      RECT all = {0, 0, 800, 560};
      FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
      Fonts fonts;
      if (self->paint_elements) {
        for (BrowserElement* e : self->elements) e->Paint(mem, self->model->Get(e->name()), fonts, false, false);
      }
      BitBlt(dc, 0, 0, 800, 560, mem, 0, 0, SRCCOPY);
      SelectObject(mem, old);
      DeleteObject(bmp);
      DeleteDC(mem);
      EndPaint(hwnd, &ps);
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  void Create() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Host::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MvBrowserTestHost";
    RegisterClassExW(&wc);
    hwnd = CreateWindowExW(0, L"MvBrowserTestHost", L"host", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 800, 560, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(hwnd, SW_SHOW);
  }
  void Repaint() {
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
    Pump();
  }
};

struct Browsers : ::testing::Test {
  static Win32Platform* platform_;
  static PageServer* server_;
  static Host* host_;
  static WindowModel* model_;

  static void SetUpTestSuite() {
    platform_ = new Win32Platform;
    SetPlatform(platform_);
    server_ = new PageServer;
    model_ = new WindowModel;
    host_ = new Host;
    host_->model = model_;
    host_->Create();
  }
  static void TearDownTestSuite() {
    DestroyWindow(host_->hwnd);
    Pump();
    delete host_;
    delete model_;
    delete server_;
    SetPlatform(nullptr);
    delete platform_;
  }
  void TearDown() override {
    host_->elements.clear();
    BrowserElement::SimulateControlFailure(false);
    ClearHandlers();
    Pump();
  }

  // A catalogue page in the service host's shape (UTF-8, escaped "&").
  std::string CataloguePage() {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>t</title></head><body><ul>\n"
           "<li><a href=\"" + server_->base() +
           "/images/A.wim?type=A.wim&amp;md5=0123456789ABCDEF0123456789ABCDEF&amp;&amp;os_name=Win10&amp;\">"
           "Windows 10 \xE4\xB8\x93\xE4\xB8\x9A\xE7\x89\x88</a></li>\n"
           "<li><a href=\"/sys_img/gpt.html?type=localWIM\">local</a></li>\n"
           "<li><a href=\"/soft/1.html\">no choice</a></li>\n</ul></body></html>\n";
  }

  std::unique_ptr<BrowserElement> Make(const std::string& name) {
    auto e = MakeBrowserElement(name, RECT{20, 60, 620, 460});
    auto* b = static_cast<BrowserElement*>(e.release());
    host_->elements.push_back(b);
    return std::unique_ptr<BrowserElement>(b);
  }
};
Win32Platform* Browsers::platform_;
PageServer* Browsers::server_;
Host* Browsers::host_;
WindowModel* Browsers::model_;

TEST_F(Browsers, ControlAsksTheHandlerWithTheAddressAndTheListReplacesAFailedPage) {
  server_->Set("/sys_img/mbr.html", CataloguePage());
  auto browser = Make(names::kCatalogueBrowser);
  std::vector<std::string> asked;
  SetNavigateHandler(names::kCatalogueBrowser, [&](const std::string& url) {
    asked.push_back(url);
    return url.find("?type=") == std::string::npos;
  });
  const std::string page = server_->base() + "/sys_img/mbr.html";
  model_->SetUrl(names::kCatalogueBrowser, page);
  host_->Repaint();
  ASSERT_TRUE(PumpUntil([&] { return !asked.empty(); })) << "no BeforeNavigate2";
  EXPECT_TRUE(browser->HasControl());
  EXPECT_EQ(asked[0], page);
  EXPECT_NE(BrowserPaneWindow(names::kCatalogueBrowser), nullptr);
  EXPECT_TRUE(IsWindowVisible(browser->pane()));

  // Without an HTML engine the page fails: the list shows the page's choices.
  ASSERT_TRUE(PumpUntil([&] { return browser->ShowingList() && !browser->ListedLinks().empty(); }))
      << "status: " << browser->ListStatus();
  auto links = browser->ListedLinks();
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].name, "Windows 10 专业版");
  EXPECT_EQ(links[1].url, server_->base() + "/sys_img/gpt.html?type=localWIM");
  EXPECT_TRUE(IsWindowVisible(browser->ListWindow()));
  EXPECT_EQ(SendMessageW(browser->ListWindow(), LB_GETCOUNT, 0, 0), 2);
  // MV_BROWSER_HOLD_MS keeps the list on the screen for a look (a screenshot).
  char hold[16] = {};
  if (GetEnvironmentVariableA("MV_BROWSER_HOLD_MS", hold, sizeof hold)) {
    host_->Repaint();
    PumpUntil([] { return false; }, static_cast<DWORD>(atoi(hold)));
  }

  // A click on a row goes to the same handler; refused, the list stays.
  asked.clear();
  RECT row;
  SendMessageW(browser->ListWindow(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
  LPARAM at = MAKELPARAM(row.left + 10, (row.top + row.bottom) / 2);
  SendMessageW(browser->ListWindow(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(browser->ListWindow(), WM_LBUTTONUP, 0, at);
  Pump();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], links[0].url);
  EXPECT_TRUE(browser->ShowingList());
  // The same row again counts again.
  SendMessageW(browser->ListWindow(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(browser->ListWindow(), WM_LBUTTONUP, 0, at);
  Pump();
  EXPECT_EQ(asked.size(), 2u);

  // Arrow keys only move; Enter chooses the row they moved to.
  SetFocus(browser->ListWindow());
  SendMessageW(browser->ListWindow(), WM_KEYDOWN, VK_DOWN, 0);
  SendMessageW(browser->ListWindow(), WM_KEYDOWN, VK_DOWN, 0);
  Pump();
  EXPECT_EQ(asked.size(), 2u);
  SendMessageW(browser->ListWindow(), WM_KEYDOWN, VK_RETURN, 0);
  Pump();
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[2], links[1].url);
}

TEST_F(Browsers, RefusedNavigationIsCancelled) {
  // The handler refuses everything: the control never tries the page, so no
  // error comes back and no list appears.
  auto browser = Make(names::kCatalogueBrowser);
  int asked = 0;
  SetNavigateHandler(names::kCatalogueBrowser, [&](const std::string&) {
    ++asked;
    return false;
  });
  model_->SetUrl(names::kCatalogueBrowser, server_->base() + "/refused.html?type=blank");
  host_->Repaint();
  ASSERT_TRUE(PumpUntil([&] { return asked > 0; }));
  PumpUntil([] { return false; }, 1500);
  EXPECT_FALSE(browser->ShowingList());
  EXPECT_EQ(server_->Requests("/refused.html?type=blank"), 0);
}

TEST_F(Browsers, WithoutTheControlTheCatalogueIsAListAndFollowsLinks) {
  BrowserElement::SimulateControlFailure(true);
  server_->Set("/sys_img/gpt.html", CataloguePage());
  server_->Set("/more.html?type=more", "<a href=\"/x.wim?type=x.wim&amp;md5=1&amp;\">x</a>");
  server_->Set("/sys_img/list.html", "<a href=\"/more.html?type=more\">more</a>");
  auto browser = Make(names::kCatalogueBrowser);
  std::vector<std::string> asked;
  SetNavigateHandler(names::kCatalogueBrowser, [&](const std::string& url) {
    asked.push_back(url);
    return url.find("more") != std::string::npos;  // this one the pane may follow
  });
  model_->SetUrl(names::kCatalogueBrowser, server_->base() + "/sys_img/gpt.html");
  host_->Repaint();
  ASSERT_TRUE(PumpUntil([&] { return !browser->ListedLinks().empty(); })) << browser->ListStatus();
  EXPECT_FALSE(browser->HasControl());
  EXPECT_TRUE(asked.empty());  // loading the model's page is no link click
  EXPECT_EQ(browser->ListedLinks().size(), 2u);

  // A new page from the model replaces the list; a followed row loads its page.
  model_->SetUrl(names::kCatalogueBrowser, server_->base() + "/sys_img/list.html");
  host_->Repaint();
  ASSERT_TRUE(PumpUntil([&] {
    auto l = browser->ListedLinks();
    return l.size() == 1 && l[0].name == "more";
  }));
  SendMessageW(browser->ListWindow(), LB_SETCURSEL, 0, 0);
  SendMessageW(browser->pane(), WM_COMMAND, MAKEWPARAM(101, LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(browser->ListWindow()));
  ASSERT_TRUE(PumpUntil([&] {
    auto l = browser->ListedLinks();
    return l.size() == 1 && l[0].name == "x";
  }));
  EXPECT_EQ(asked.back(), server_->base() + "/more.html?type=more");

  // A page that cannot be read leaves a message, not an empty pane.
  model_->SetUrl(names::kCatalogueBrowser, server_->base() + "/missing.html");
  host_->Repaint();
  ASSERT_TRUE(PumpUntil([&] { return browser->ListStatus().find("无法读取") != std::string::npos; }));
  EXPECT_TRUE(browser->ListedLinks().empty());
  // Once the page is there, a click on the message reads it again.
  server_->Set("/missing.html", "<a href=\"/late.wim?type=late.wim&amp;md5=1&amp;\">late</a>");
  SendMessageW(browser->pane(), WM_COMMAND, MAKEWPARAM(102, STN_CLICKED), 0);
  ASSERT_TRUE(PumpUntil([&] { return browser->ListedLinks().size() == 1; }));
  EXPECT_EQ(browser->ListedLinks()[0].name, "late");
}

TEST_F(Browsers, OtherPanesKeepTheControlOnErrorsAndHideWithTheirPage) {
  auto soft = Make(names::kSoftwareBrowser);
  std::vector<std::string> asked;
  SetNavigateHandler(names::kSoftwareBrowser, [&](const std::string& url) {
    asked.push_back(url);
    return true;
  });
  model_->SetUrl(names::kSoftwareBrowser, server_->base() + "/soft/1.html?type=x");
  host_->Repaint();
  ASSERT_TRUE(PumpUntil([&] { return !asked.empty(); }));
  PumpUntil([] { return false; }, 1500);
  EXPECT_TRUE(soft->HasControl());
  EXPECT_FALSE(soft->ShowingList());  // only the catalogue lists choices
  EXPECT_TRUE(IsWindowVisible(soft->pane()));

  host_->paint_elements = false;  // its page is left
  host_->Repaint();
  EXPECT_FALSE(IsWindowVisible(soft->pane()));
  host_->paint_elements = true;
  host_->Repaint();
  EXPECT_TRUE(IsWindowVisible(soft->pane()));

  // A height from the model (the panes' start-up size) is honoured.
  model_->Update(names::kSoftwareBrowser, [](Component& c) {
    c.width = 715;
    c.height = 450;
  });
  host_->Repaint();
  RECT r;
  GetClientRect(soft->pane(), &r);
  EXPECT_EQ(r.right, 715);
  EXPECT_EQ(r.bottom, 450);
}

TEST_F(Browsers, TheMainWindowCarriesTheCataloguePane) {
  // The program's own window and its repaints after model changes.
  server_->Set("/sys_img/gpt.html", CataloguePage());
  // The model still names the page of an earlier case: the new window must
  // load only this case's page, or a late answer for that one may win.
  model_->SetUrl(names::kCatalogueBrowser, std::string());
  MainWindow window(*model_);
  window.SetQuitOnDestroy(false);
  window.Add(names::kCatalogueBrowser, MakeBrowserElement(names::kCatalogueBrowser, RECT{40, 80, 740, 520}));
  ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr), true));
  model_->SetUrl(names::kCatalogueBrowser, server_->base() + "/sys_img/gpt.html");
  auto* browser = static_cast<BrowserElement*>(window.Find(names::kCatalogueBrowser));
  // A loaded machine may take long over the first fetch of the process.
  ASSERT_TRUE(PumpUntil([&] { return browser->ListedLinks().size() == 2; }, 30000)) << ListedNames(*browser);
  HWND pane = BrowserPaneWindow(names::kCatalogueBrowser);
  ASSERT_EQ(pane, browser->pane());
  EXPECT_EQ(GetParent(pane), window.hwnd());
  EXPECT_TRUE(IsWindowVisible(pane));
  // The start-up hook finds the pane's thread: this one.
  ASSERT_TRUE(InstallBrowserMouseHook(pane));
  RemoveBrowserMouseHook();
  model_->SetUrl(names::kCatalogueBrowser, std::string());
}

void LeftClickAt(const RECT& r) {
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
}

TEST_F(Browsers, AViewThatSyncsDrivesThePaneAlone) {
  BrowserElement::SimulateControlFailure(true);
  server_->Set("/sync.html", "<meta charset=gbk><a href=\"/s.wim?type=s.wim&amp;md5=1&amp;\">同步镜像</a>");
  BrowserElement e(names::kCatalogueBrowser, RECT{0, 0, 10, 10}, true);
  std::vector<std::string> asked;
  SetNavigateHandler(names::kCatalogueBrowser, [&](const std::string& url) {
    asked.push_back(url);
    return false;
  });
  Component c;
  c.url = server_->base() + "/sync.html";
  e.Attach(host_->hwnd);
  const RECT where = {30, 70, 530, 470};
  e.Sync(host_->hwnd, c, false, where);
  EXPECT_FALSE(IsWindowVisible(e.pane()));
  ASSERT_TRUE(PumpUntil([&] { return !e.ListedLinks().empty(); }));
  EXPECT_EQ(e.ListedLinks()[0].name, "同步镜像");

  e.Sync(host_->hwnd, c, true, where);
  EXPECT_TRUE(IsWindowVisible(e.pane()));
  RECT r;
  GetWindowRect(e.pane(), &r);
  MapWindowPoints(nullptr, host_->hwnd, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_TRUE(EqualRect(&r, &where));
  host_->Repaint();  // a paint that does not draw it no longer hides it
  EXPECT_TRUE(IsWindowVisible(e.pane()));

  // A real click on the row's place on the screen.
  RECT row;
  ASSERT_TRUE(e.ListRowScreenRect(0, &row));
  LeftClickAt(row);
  ASSERT_TRUE(PumpUntil([&] { return !asked.empty(); }, 3000));
  EXPECT_EQ(asked[0], server_->base() + "/s.wim?type=s.wim&md5=1&");
  e.Sync(host_->hwnd, c, false, where);
  EXPECT_FALSE(IsWindowVisible(e.pane()));
}

// ---- The control's events, with the arguments the control passes ----------------
struct Args {
  std::vector<VARIANT> v;  // reverse order, as the control passes them
  std::vector<BSTR> strings;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT url_holder;
  DISPPARAMS params = {};
  explicit Args(size_t n) : v(n) {
    for (VARIANT& x : v) VariantInit(&x);
    VariantInit(&url_holder);
  }
  ~Args() {
    for (BSTR b : strings) SysFreeString(b);
  }
  BSTR Str(const wchar_t* s) {
    strings.push_back(SysAllocString(s));
    return strings.back();
  }
  void Cancel(size_t i) {
    v[i].vt = VT_BYREF | VT_BOOL;
    v[i].pboolVal = &cancel;
  }
  void Bstr(size_t i, const wchar_t* s) {
    v[i].vt = VT_BSTR;
    v[i].bstrVal = Str(s);
  }
  void ByrefUrl(size_t i, const wchar_t* s) {  // BeforeNavigate2 and NavigateError pass VARIANT*
    url_holder.vt = VT_BSTR;
    url_holder.bstrVal = Str(s);
    v[i].vt = VT_BYREF | VT_VARIANT;
    v[i].pvarVal = &url_holder;
  }
  DISPPARAMS* Params() {
    params.rgvarg = v.data();
    params.cArgs = static_cast<UINT>(v.size());
    return &params;
  }
};

// Some other frame of the page.
struct OtherFrame : IDispatch {
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

TEST_F(Browsers, NewWindowsAreRefusedAndReportedWithTheirAddress) {
  auto toolbox = Make(names::kToolboxBrowser);
  std::vector<std::string> fired;
  SetHandler(names::kToolboxBrowser, "newwindow", [&](const std::string& url) { fired.push_back(url); });

  Args nw3(5);  // ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl
  nw3.Cancel(3);
  nw3.Bstr(1, L"http://h/page.html");
  nw3.Bstr(0, L"http://h/\u4E2D.html");
  toolbox->HandleEvent(DISPID_NEWWINDOW3, nw3.Params());
  EXPECT_EQ(nw3.cancel, VARIANT_TRUE);
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_EQ(fired[0], "http://h/中.html");  // in the code page, as every text

  // The older event that follows adds nothing.
  Args nw2(2);
  nw2.Cancel(0);
  toolbox->HandleEvent(DISPID_NEWWINDOW2, nw2.Params());
  EXPECT_EQ(nw2.cancel, VARIANT_TRUE);
  EXPECT_EQ(fired.size(), 1u);

  // Alone (older systems), it takes the address the page last pointed at.
  auto soft = Make(names::kSoftwareBrowser);
  SetHandler(names::kSoftwareBrowser, "newwindow", [&](const std::string& url) { fired.push_back(url); });
  Args status(1);
  status.Bstr(0, L"http://h/popup.html");
  soft->HandleEvent(DISPID_STATUSTEXTCHANGE, status.Params());
  Args other_status(1);
  other_status.Bstr(0, L"完成");
  soft->HandleEvent(DISPID_STATUSTEXTCHANGE, other_status.Params());
  Args alone(2);
  alone.Cancel(0);
  soft->HandleEvent(DISPID_NEWWINDOW2, alone.Params());
  EXPECT_EQ(alone.cancel, VARIANT_TRUE);
  ASSERT_EQ(fired.size(), 2u);
  EXPECT_EQ(fired[1], "http://h/popup.html");

  // A window on a local file or another scheme is refused and goes nowhere.
  for (const wchar_t* local : {L"file:///C:/windows/system32/calc.exe", L"C:\\windows\\notepad.exe"}) {
    Args nw(5);
    nw.Cancel(3);
    nw.Bstr(0, local);
    toolbox->HandleEvent(DISPID_NEWWINDOW3, nw.Params());
    EXPECT_EQ(nw.cancel, VARIANT_TRUE);
  }
  EXPECT_EQ(fired.size(), 2u);
}

TEST_F(Browsers, NavigationEventsReachTheHandlerAndOnlyTheTopPageFallsBack) {
  auto browser = Make(names::kCatalogueBrowser);
  std::string asked;
  SetNavigateHandler(names::kCatalogueBrowser, [&](const std::string& url) {
    asked = url;
    return false;
  });
  Args before(7);  // pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel
  before.ByrefUrl(5, L"http://h/a.wim?type=a.wim&md5=1&&os_name=%E4%B8%AD&");
  before.Cancel(0);
  browser->HandleEvent(DISPID_BEFORENAVIGATE2, before.Params());
  EXPECT_EQ(asked, "http://h/a.wim?type=a.wim&md5=1&&os_name=%E4%B8%AD&");
  EXPECT_EQ(before.cancel, VARIANT_TRUE);

  // An error in a frame of the page leaves the page; one of the page itself
  // gives way to the list of its choices (read from the failed address).
  model_->SetUrl(names::kCatalogueBrowser, server_->base() + "/first.html");
  host_->Repaint();
  ASSERT_TRUE(PumpUntil([&] { return browser->HasControl(); }));
  OtherFrame frame;
  Args in_frame(5);  // pDisp, URL, Frame, StatusCode, Cancel
  in_frame.v[4].vt = VT_DISPATCH;
  in_frame.v[4].pdispVal = &frame;
  const std::wstring frame_url = WideFromGbk(server_->base() + "/frame.html");
  in_frame.ByrefUrl(3, frame_url.c_str());
  in_frame.Cancel(0);
  browser->HandleEvent(DISPID_NAVIGATEERROR, in_frame.Params());
  EXPECT_EQ(in_frame.cancel, VARIANT_FALSE);

  Args top(5);
  const std::wstring top_url = WideFromGbk(server_->base() + "/top.html");
  top.ByrefUrl(3, top_url.c_str());
  top.Cancel(0);
  browser->HandleEvent(DISPID_NAVIGATEERROR, top.Params());
  EXPECT_EQ(top.cancel, VARIANT_TRUE);  // no error page under the list
  EXPECT_TRUE(browser->ShowingList());
  ASSERT_TRUE(PumpUntil([&] { return server_->Requests("/top.html") > 0; }));
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(server_->Requests("/frame.html"), 0);
}

// ---- The mouse hook, with real input --------------------------------------------
struct Clicks {
  std::map<HWND, std::vector<UINT>> seen;
};
Clicks* g_clicks;

LRESULT CALLBACK RecordProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (g_clicks && (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP)) g_clicks->seen[hwnd].push_back(msg);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void RightClickAt(HWND target) {
  RECT r;
  GetWindowRect(target, &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
  SendInput(2, in, sizeof(INPUT));
}

TEST(BrowserMouseHook, SwallowsOnlyTheRightReleaseOverTheBrowserPage) {
  EXPECT_FALSE(SwallowsMouseMessage(-1, WM_RBUTTONUP, nullptr));
  Clicks clicks;
  g_clicks = &clicks;
  HINSTANCE inst = GetModuleHandleW(nullptr);
  for (const wchar_t* cls : {kBrowserServerClass, L"MvOtherPane", L"MvHookHost"}) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &RecordProc;
    wc.hInstance = inst;
    wc.lpszClassName = cls;
    RegisterClassExW(&wc);
  }
  HWND top = CreateWindowExW(0, L"MvHookHost", L"hook", WS_POPUP | WS_VISIBLE, 100, 100, 400, 200, nullptr,
                             nullptr, inst, nullptr);
  HWND page = CreateWindowExW(0, kBrowserServerClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 200, top, nullptr,
                              inst, nullptr);
  HWND other = CreateWindowExW(0, L"MvOtherPane", L"", WS_CHILD | WS_VISIBLE, 200, 0, 200, 200, top, nullptr,
                               inst, nullptr);
  Pump();
  EXPECT_TRUE(SwallowsMouseMessage(HC_ACTION, WM_RBUTTONUP, page));
  EXPECT_FALSE(SwallowsMouseMessage(HC_ACTION, WM_RBUTTONDOWN, page));
  EXPECT_FALSE(SwallowsMouseMessage(HC_ACTION, WM_RBUTTONUP, other));
  EXPECT_FALSE(SwallowsMouseMessage(-1, WM_RBUTTONUP, page));

  // Before the hook both panes see both halves of a right click.
  RightClickAt(page);
  ASSERT_TRUE(PumpUntil([&] { return clicks.seen[page].size() == 2; }, 3000)) << "input did not arrive";
  clicks.seen.clear();

  ASSERT_TRUE(InstallBrowserMouseHook(page));
  EXPECT_TRUE(InstallBrowserMouseHook(page));  // once per process
  RightClickAt(page);
  PumpUntil([&] { return !clicks.seen[page].empty(); }, 3000);
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(clicks.seen[page], std::vector<UINT>{WM_RBUTTONDOWN});

  // With the keyboard focus in the page, a right click elsewhere is untouched.
  SetFocus(page);
  RightClickAt(other);
  ASSERT_TRUE(PumpUntil([&] { return clicks.seen[other].size() == 2; }, 3000));
  EXPECT_EQ(clicks.seen[other], (std::vector<UINT>{WM_RBUTTONDOWN, WM_RBUTTONUP}));

  RemoveBrowserMouseHook();
  clicks.seen.clear();
  RightClickAt(page);
  EXPECT_TRUE(PumpUntil([&] { return clicks.seen[page].size() == 2; }, 3000));
  g_clicks = nullptr;
  DestroyWindow(top);
  Pump();
}

}  // namespace
}  // namespace mv::ui::win32
