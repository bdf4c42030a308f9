#include "ui/win32/index_window.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "backup/wim_info.h"
#include "ui/win32/view.h"

namespace mv::ui::win32 {
namespace {

constexpr int kWidth = 560, kHeight = 330, kTitleHeight = 34;
const COLORREF kTitleBack = RGB(0x1E, 0x6F, 0xD9);
const COLORREF kBodyBack = RGB(0xF7, 0xF9, 0xFC);
const COLORREF kBorder = RGB(0x16, 0x55, 0xA8);

HINSTANCE g_instance = nullptr;

struct State {
  HWND hwnd = nullptr, list = nullptr, ok = nullptr, cancel = nullptr;
  HFONT font = nullptr, title_font = nullptr;
  std::vector<std::vector<std::string>> shown;  // rows the list view holds
  bool syncing = false;
  bool done = false;
};
State* g_state = nullptr;
// The report follows the window: opened, rows filled, selection, closed.
void Changed() { NoteReportPartChanged(); }

std::string ReportPart();

HFONT MakeFont(const std::wstring& face, int px, int weight) {
  LOGFONTW lf = {};
  lf.lfHeight = -px;
  lf.lfWeight = weight;
  lf.lfCharSet = GB2312_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&lf);
}

// Brings the list view and the window's life in line with the model.
void Sync(State& s) {
  if (!s.hwnd) return;
  WindowModel& m = IndexWindowModel();
  const Component list = m.Get(names::kIndexList);
  if (list.rows != s.shown) {
    s.syncing = true;
    ListView_DeleteAllItems(s.list);
    for (size_t r = 0; r < list.rows.size(); ++r) {
      const std::vector<std::string>& row = list.rows[r];
      LVITEMW item = {};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(r);
      std::wstring first = WideFromGbk(row.empty() ? std::string() : row[0]);
      item.pszText = &first[0];
      SendMessageW(s.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      for (size_t c = 1; c < row.size() && c < 4; ++c) {
        std::wstring text = WideFromGbk(row[c]);
        text.push_back(L'\0');
        LVITEMW sub = {};
        sub.iSubItem = static_cast<int>(c);
        sub.pszText = &text[0];
        SendMessageW(s.list, LVM_SETITEMTEXTW, r, reinterpret_cast<LPARAM>(&sub));
      }
    }
    s.shown = list.rows;
    s.syncing = false;
    Changed();
  }
  if (!m.Get(names::kIndexWindow).visible && !s.done) {
    s.done = true;
    DestroyWindow(s.hwnd);
  }
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  State* s = g_state;
  switch (msg) {
    case WM_NCHITTEST: {
      POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      ScreenToClient(hwnd, &p);
      return p.y < kTitleHeight ? HTCAPTION : HTCLIENT;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      HBRUSH body = CreateSolidBrush(kBodyBack);
      FillRect(dc, &r, body);
      DeleteObject(body);
      RECT title = {0, 0, r.right, kTitleHeight};
      HBRUSH tb = CreateSolidBrush(kTitleBack);
      FillRect(dc, &title, tb);
      DeleteObject(tb);
      HBRUSH border = CreateSolidBrush(kBorder);
      FrameRect(dc, &r, border);
      DeleteObject(border);
      if (s && s->title_font) {
        HGDIOBJ old = SelectObject(dc, s->title_font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        RECT tr = {14, 0, r.right, kTitleHeight};
        const std::wstring t = WideFromGbk(IndexWindowModel().Text(names::kIndexWindow));
        DrawTextW(dc, t.c_str(), -1, &tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, old);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_COMMAND:
      // Enter and Esc arrive as IDOK and IDCANCEL through the dialog keys.
      if (LOWORD(wp) == kIndexOkId || LOWORD(wp) == IDOK) Fire(names::kIndexOk, "click");
      if (LOWORD(wp) == kIndexCancelId || LOWORD(wp) == IDCANCEL) Fire(names::kIndexCancel, "click");
      if (s) Sync(*s);
      return 0;
    case WM_NOTIFY: {
      const NMHDR* h = reinterpret_cast<const NMHDR*>(lp);
      if (s && h->idFrom == kIndexListId && h->code == LVN_ITEMCHANGED && !s->syncing) {
        const int sel = static_cast<int>(SendMessageW(s->list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        IndexWindowModel().Update(names::kIndexList, [sel](Component& c) { c.value = sel; });
        Changed();
      }
      if (s && h->idFrom == kIndexListId && h->code == NM_DBLCLK) {
        Fire(names::kIndexOk, "click");
        Sync(*s);
      }
      return 0;
    }
    case kMsgCreated:
      OnImageIndexWindowCreated(reinterpret_cast<WindowRef>(hwnd));
      if (s) Sync(*s);
      return 0;
    case kMsgModelChanged:
      if (s) Sync(*s);
      return 0;
    case WM_CLOSE:
      Fire(names::kIndexCancel, "click");
      if (s) Sync(*s);
      return 0;
    case WM_DESTROY:
      if (s) {
        s->hwnd = nullptr;
        s->done = true;
      }
      Changed();
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void Run(WindowRef owner_ref) {
  HWND owner = reinterpret_cast<HWND>(owner_ref);
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(g_instance, kIndexWindowClass, &wc)) {
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = g_instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kIndexWindowClass;
    RegisterClassExW(&wc);
  }
  State state;
  State* outer = g_state;  // one window at a time; keep any earlier pointer
  g_state = &state;

  // Centred on the owner, or on the work area without one.
  RECT area;
  if (!owner || !GetWindowRect(owner, &area)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const int x = area.left + (area.right - area.left - kWidth) / 2;
  const int y = area.top + (area.bottom - area.top - kHeight) / 2;
  state.hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kIndexWindowClass,
                               WideFromGbk(IndexWindowModel().Text(names::kIndexWindow)).c_str(),
                               WS_POPUP | WS_CLIPCHILDREN, x, y, kWidth, kHeight, owner, nullptr, g_instance,
                               nullptr);
  if (!state.hwnd) {
    g_state = outer;
    return;
  }
  HDC dc = GetDC(state.hwnd);
  const std::wstring face = ChooseChineseFace(dc);
  ReleaseDC(state.hwnd, dc);
  state.font = MakeFont(face, 13, FW_NORMAL);
  state.title_font = MakeFont(face, 15, FW_BOLD);

  state.list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                               12, kTitleHeight + 10, kWidth - 24, kHeight - kTitleHeight - 66, state.hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIndexListId)), g_instance, nullptr);
  SendMessageW(state.list, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), TRUE);
  SendMessageW(state.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  struct Col {
    const char* title;
    int width;
  };
  const Col cols[4] = {{"", 0}, {"名称", 170}, {"描述", 250}, {"大小", 90}};
  for (int i = 0; i < 4; ++i) {
    std::wstring title = WideFromGbk(cols[i].title);
    title.push_back(L'\0');
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    c.cx = cols[i].width;
    c.pszText = &title[0];
    c.iSubItem = i;
    SendMessageW(state.list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
  }
  const int by = kHeight - 44;
  state.ok = CreateWindowExW(0, L"BUTTON", WideFromGbk("确定").c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                             kWidth - 212, by, 94, 30, state.hwnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIndexOkId)), g_instance, nullptr);
  state.cancel = CreateWindowExW(0, L"BUTTON", WideFromGbk("取消").c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                 kWidth - 108, by, 94, 30, state.hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIndexCancelId)), g_instance, nullptr);
  SendMessageW(state.ok, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), TRUE);
  SendMessageW(state.cancel, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), TRUE);

  // Worker threads may change the model: they only post a message.
  HWND target = state.hwnd;
  IndexWindowModel().SetChangeHook([target](const std::string&) { PostMessageW(target, kMsgModelChanged, 0, 0); });

  const bool owner_was_enabled = owner && IsWindowEnabled(owner);
  if (owner) EnableWindow(owner, FALSE);
  ShowWindow(state.hwnd, SW_SHOW);
  UpdateWindow(state.hwnd);
  Changed();
  PostMessageW(state.hwnd, kMsgCreated, 0, 0);

  bool quit = false;
  WPARAM quit_code = 0;
  MSG msg;
  while (!state.done) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      quit = got == 0;
      quit_code = msg.wParam;
      break;
    }
    if (!IsDialogMessageW(state.hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  IndexWindowModel().SetChangeHook(nullptr);
  if (owner && owner_was_enabled) EnableWindow(owner, TRUE);
  if (state.hwnd) {
    state.done = true;
    DestroyWindow(state.hwnd);
  }
  if (owner) SetForegroundWindow(owner);
  DeleteObject(state.font);
  DeleteObject(state.title_font);
  g_state = outer;
  if (quit) PostQuitMessage(static_cast<int>(quit_code));  // the program is ending: let its loop see it
}

}  // namespace

bool OpenIndexWindowState(IndexWindowState& out) {
  const State* s = g_state;
  if (!s || !s->hwnd || s->done || !IsWindowVisible(s->hwnd)) return false;
  out = IndexWindowState();
  GetWindowRect(s->hwnd, &out.window);
  GetWindowRect(s->ok, &out.ok);
  GetWindowRect(s->cancel, &out.cancel);
  const int n = static_cast<int>(SendMessageW(s->list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    RECT r = {};
    r.left = LVIR_BOUNDS;
    SendMessageW(s->list, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    MapWindowPoints(s->list, nullptr, reinterpret_cast<POINT*>(&r), 2);
    out.rows.push_back(r);
  }
  out.texts = s->shown;
  out.selected = static_cast<int>(SendMessageW(s->list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  return true;
}

namespace {

std::string ReportPart() {
  IndexWindowState st;
  if (!OpenIndexWindowState(st)) return std::string();
  std::string json = "{\"rect\":" + JsonRect(st.window) + ",\"ok\":" + JsonRect(st.ok) +
                     ",\"cancel\":" + JsonRect(st.cancel) + ",\"selected\":" + std::to_string(st.selected) +
                     ",\"rows\":[";
  for (size_t i = 0; i < st.rows.size(); ++i) {
    json += std::string(i ? "," : "") + "{\"rect\":" + JsonRect(st.rows[i]) + ",\"texts\":[";
    if (i < st.texts.size())
      for (size_t j = 0; j < st.texts[i].size(); ++j) json += (j ? "," : "") + JsonText(st.texts[i][j]);
    json += "]}";
  }
  return json + "]}";
}

}  // namespace

void InstallIndexWindowView(HINSTANCE instance) {
  g_instance = instance;
  SetReportPart("index", ReportPart);
  SetIndexWindowRunner(Run);
}

}  // namespace mv::ui::win32
