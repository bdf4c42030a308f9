#include "ui/win32/about.h"

#include <string>

#include "ui/main_names.h"
#include "ui/model.h"
#include "ui/win32/paint.h"
#include "ui/win32/shadow.h"
#include "ui/win32/view.h"

namespace mv::ui::win32 {

namespace {

const wchar_t kAboutClass[] = L"MV_OSR_About";
constexpr int kStrip = 32;

struct AboutState {
  std::wstring version;
  Fonts fonts;
  int hover = 0;  // 1 close, 2 OK
  int pressed = 0;
};

RECT CloseRect() { return RECT{kAboutWidth - 36, 0, kAboutWidth, kStrip}; }
RECT OkRect() { return RECT{(kAboutWidth - 100) / 2, kAboutHeight - 50, (kAboutWidth + 100) / 2, kAboutHeight - 18}; }

int PartAt(POINT p) {
  RECT c = CloseRect(), o = OkRect();
  if (PtInRect(&c, p)) return 1;
  if (PtInRect(&o, p)) return 2;
  return 0;
}

void PaintAbout(HWND w, AboutState& s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(w, &ps);
  RECT client;
  GetClientRect(w, &client);
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, client.right, client.bottom);
  HGDIOBJ old = SelectObject(mem, bmp);
  Fill(mem, client, kPanelBack);
  Fill(mem, RECT{0, 0, client.right, kStrip}, kTitleBack);
  RECT title = {14, 0, client.right - 40, kStrip};
  std::wstring t = WideFromGbk(names::kAboutWindowTitle);
  HGDIOBJ of = SelectObject(mem, s.fonts.title);
  SetBkMode(mem, TRANSPARENT);
  SetTextColor(mem, RGB(0xFF, 0xFF, 0xFF));
  DrawTextW(mem, t.c_str(), -1, &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(mem, of);
  RECT cr = CloseRect();
  if (s.hover == 1) Fill(mem, cr, s.pressed == 1 ? RGB(0xB0, 0x0C, 0x1A) : RGB(0xE8, 0x11, 0x23));
  CentredText(mem, cr, L"\x2715", s.fonts.normal, RGB(0xFF, 0xFF, 0xFF));

  if (!DrawSkin(mem, "about_logo", RECT{24, 52, 88, 116})) RoundFill(mem, RECT{24, 52, 88, 116}, 12, kAccent, kAccent);
  RECT name = {104, 50, client.right - 16, 78};
  RECT line2 = {104, 80, client.right - 16, 100};
  RECT line3 = {104, 102, client.right - 16, 122};
  RECT line4 = {24, 136, client.right - 16, 176};
  auto draw = [&](RECT r, const std::wstring& text, HFONT f, COLORREF col, UINT extra) {
    HGDIOBJ o = SelectObject(mem, f);
    SetTextColor(mem, col);
    DrawTextW(mem, text.c_str(), -1, &r, DT_LEFT | DT_NOPREFIX | extra);
    SelectObject(mem, o);
  };
  draw(name, WideFromGbk("Marvolt系统云重装"), s.fonts.large, kTextDark, DT_SINGLELINE | DT_VCENTER);
  draw(line2, L"Marvolt System Cloud Reinstall", s.fonts.small, kTextSoft, DT_SINGLELINE | DT_VCENTER);
  draw(line3, WideFromGbk("版本：") + s.version, s.fonts.small, kTextSoft, DT_SINGLELINE | DT_VCENTER);
  draw(line4, WideFromGbk("一键重装系统、备份与还原系统、备份个人资料和驱动。\r\n请在重装前备份好重要数据。"),
       s.fonts.small, kTextDark, DT_WORDBREAK);
  RECT ok = OkRect();
  COLORREF fill = s.pressed == 2 && s.hover == 2 ? kAccentDark : (s.hover == 2 ? RGB(0x3A, 0x86, 0xE8) : kAccent);
  RoundFill(mem, ok, 5, fill, fill);
  CentredText(mem, ok, WideFromGbk("确定"), s.fonts.title, RGB(0xFF, 0xFF, 0xFF));
  Frame(mem, client, kBorder);
  BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  EndPaint(w, &ps);
}

LRESULT CALLBACK AboutProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  auto* s = reinterpret_cast<AboutState*>(GetWindowLongPtrW(w, GWLP_USERDATA));
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrW(w, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
      break;
    case WM_CREATE:
      s->fonts.Make(w);
      // The window's created handler gives it its shadow (by itself when no
      // handler is set).
      if (!Fire(names::kAboutWindowTitle, "created", std::to_string(reinterpret_cast<uintptr_t>(w))))
        SetWindowShadow(w, 0, 5, true);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      PaintAbout(w, *s);
      return 0;
    case WM_NCHITTEST: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      ScreenToClient(w, &p);
      if (p.y >= 0 && p.y < kStrip && PartAt(p) == 0) return HTCAPTION;
      return HTCLIENT;
    }
    case WM_MOUSEMOVE: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      int now = PartAt(p);
      if (now != s->hover) {
        s->hover = now;
        InvalidateRect(w, nullptr, FALSE);
      }
      return 0;
    }
    case WM_LBUTTONDOWN: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      s->pressed = s->hover = PartAt(p);
      if (s->pressed) SetCapture(w);
      InvalidateRect(w, nullptr, FALSE);
      return 0;
    }
    case WM_LBUTTONUP: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      int was = s->pressed;
      s->pressed = 0;
      if (GetCapture() == w) ReleaseCapture();
      InvalidateRect(w, nullptr, FALSE);
      if (was && PartAt(p) == was) {
        // The close button's handler closes the window; without one it closes itself.
        if (was == 2 || !Fire(names::kAboutCloseButton, "click")) DestroyWindow(w);
      }
      return 0;
    }
    case WM_KEYDOWN:
      if (wp == VK_ESCAPE || wp == VK_RETURN) DestroyWindow(w);
      return 0;
    case WM_CLOSE:
      DestroyWindow(w);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(w, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

RECT AboutCloseRect(HWND about) {
  RECT r = CloseRect();
  POINT tl = {r.left, r.top}, br = {r.right, r.bottom};
  ClientToScreen(about, &tl);
  ClientToScreen(about, &br);
  return RECT{tl.x, tl.y, br.x, br.y};
}

void RunAboutWindow(HWND owner, const std::string& version_gbk, HWND* window, const std::function<void()>& shown) {
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = AboutProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kAboutClass;
  RegisterClassExW(&wc);

  AboutState state;
  state.version = WideFromGbk(version_gbk);
  RECT o;
  GetWindowRect(owner, &o);
  int x = o.left + ((o.right - o.left) - kAboutWidth) / 2;
  int y = o.top + ((o.bottom - o.top) - kAboutHeight) / 2;
  HWND w = CreateWindowExW(0, kAboutClass, WideFromGbk(names::kAboutWindowTitle).c_str(), WS_POPUP, x, y,
                           kAboutWidth, kAboutHeight, owner, nullptr, instance, &state);
  if (!w) return;
  *window = w;
  EnableWindow(owner, FALSE);
  ShowWindow(w, SW_SHOW);
  UpdateWindow(w);
  SetForegroundWindow(w);
  if (shown) shown();
  MSG msg;
  bool quit = false;
  int quit_code = 0;
  while (IsWindow(w)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      quit = got == 0;
      quit_code = static_cast<int>(msg.wParam);
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (IsWindow(w)) DestroyWindow(w);
  *window = nullptr;
  EnableWindow(owner, TRUE);
  SetForegroundWindow(owner);
  if (quit) PostQuitMessage(quit_code);  // the outer loop must see it too
}

}  // namespace mv::ui::win32
