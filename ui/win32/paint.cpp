#include "ui/win32/paint.h"

namespace mv::ui::win32 {

void Fill(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH b = CreateSolidBrush(colour);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

void Frame(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH b = CreateSolidBrush(colour);
  FrameRect(dc, &r, b);
  DeleteObject(b);
}

void RoundFill(HDC dc, const RECT& r, int radius, COLORREF fill, COLORREF line) {
  HBRUSH b = CreateSolidBrush(fill);
  HPEN p = CreatePen(PS_SOLID, 1, line);
  HGDIOBJ ob = SelectObject(dc, b), op = SelectObject(dc, p);
  RoundRect(dc, r.left, r.top, r.right, r.bottom, radius * 2, radius * 2);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(b);
  DeleteObject(p);
}

void CentredText(HDC dc, const RECT& r, const std::wstring& text, HFONT font, COLORREF colour) {
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour);
  RECT box = r;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
}

void PaintBackdrop(HDC dc, const RECT& client, int title_height) {
  if (!DrawSkin(dc, "backdrop", client)) {
    Fill(dc, client, kBodyBack);
    Fill(dc, RECT{0, 0, client.right, title_height}, kTitleBack);
    Fill(dc, RECT{0, title_height, client.right, 112}, kNavBack);
  }
  Frame(dc, client, kBorder);
}

}  // namespace mv::ui::win32
