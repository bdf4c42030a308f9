// The browser element's fallback list: the page's choice links, read on a
// worker thread, shown in a list box when the page itself cannot be shown.
#include <memory>

#include "core/service_host.h"
#include "platform/platform.h"
#include "ui/model.h"
#include "ui/win32/browser_impl.h"

namespace mv::ui::win32 {

void BrowserElement::Impl::EnsureListWindows() {
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

void BrowserElement::Impl::SetListStatus(const std::string& text) {
  list_status = text;
  SetWindowTextW(status, WideFromGbk(text).c_str());
}

// Shows the list and reads the page's choice links on a worker thread.
void BrowserElement::Impl::ShowList(const std::string& url) {
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

void BrowserElement::Impl::HideList() {
  showing_list = false;
  generation = ++g_fetch_serial;  // a fetch still under way is dropped
  if (list) ShowWindow(list, SW_HIDE);
  if (status) ShowWindow(status, SW_HIDE);
}

void BrowserElement::Impl::OnLinks(FetchResult* r) {
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

void BrowserElement::Impl::SetHoverRow(int row) {
  if (row == hover_row) return;
  RECT r;
  for (int old_or_new : {hover_row, row}) {
    if (old_or_new >= 0 &&
        SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(old_or_new), reinterpret_cast<LPARAM>(&r)) != LB_ERR)
      InvalidateRect(list, &r, FALSE);
  }
  hover_row = row;
}

void BrowserElement::Impl::OnSelChange() {
  if (!keyboard_move) OnListClick();
}

void BrowserElement::Impl::OnListClick() {
  LRESULT row = SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (row < 0 || static_cast<size_t>(row) >= links.size()) return;
  const std::string url = links[static_cast<size_t>(row)].url;
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);  // a second click on the row counts again
  if (RequestNavigate(self->name_, url)) Load(url);
}

// One row of the list: a marker, the name, and on the right what a click does.
void BrowserElement::Impl::DrawRow(const DRAWITEMSTRUCT* d) {
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
  if (link.url.find(std::string(service::kLinkType) + service::kLinkLocalWim) != std::string::npos) action = "选择本地文件";
  if (link.url.find(std::string(service::kLinkType) + service::kLinkBlank) != std::string::npos) action = "在浏览器中打开";
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

}  // namespace mv::ui::win32
