#include "ui/win32/elements.h"

#include <algorithm>

#include "ui/win32/paint.h"

namespace mv::ui::win32 {

int PictureButton::LookIndex(const Component& c, bool hover, bool pressed) {
  const int n = static_cast<int>(c.images.size());
  if (n == 0) return -1;
  int want = 0;
  if (!c.enabled) {
    want = 3;
  } else if (pressed || c.selected) {
    want = 2;
  } else if (hover) {
    want = 1;
  }
  return want < n ? want : 0;
}

void PictureButton::Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) {
  RECT r = Bounds(c);
  int look = LookIndex(c, hover, pressed);
  std::wstring caption = c.text.empty() ? caption_ : WideFromGbk(c.text);
  bool down = c.enabled && (pressed || c.selected);
  if (look >= 0 && DrawSkin(dc, c.images[static_cast<size_t>(look)], r)) {
    // The worded images (next, back, restart now, restart later ...) say
    // what the button does; only a blank face gets the caption.
    if (!SkinIsBlankFace(c.images[static_cast<size_t>(look)])) return;
    if (style_ == Style::kPrimary) {
      CentredText(dc, r, caption, fonts.title, RGB(0xFF, 0xFF, 0xFF));
    } else if (style_ == Style::kPlain) {
      CentredText(dc, r, caption, fonts.normal, c.enabled ? kAccent : RGB(0xA0, 0xA0, 0xA0));
    } else if (style_ == Style::kTab) {
      CentredText(dc, r, caption, fonts.title, down ? RGB(0xFF, 0xFF, 0xFF) : kTextDark);
    }
    return;
  }
  // No skin image: a plain look in the window's colours.
  switch (style_) {
    case Style::kNavigation: {
      if (down) {
        RoundFill(dc, r, 6, RGB(0xFF, 0xFF, 0xFF), RGB(0xFF, 0xFF, 0xFF));
      } else if (hover && c.enabled) {
        RoundFill(dc, r, 6, RGB(0x3A, 0x86, 0xE8), RGB(0x3A, 0x86, 0xE8));
      }
      COLORREF ink = !c.enabled ? RGB(0x8F, 0xAE, 0xDB) : (down ? kAccent : RGB(0xFF, 0xFF, 0xFF));
      CentredText(dc, r, caption, fonts.title, ink);
      break;
    }
    case Style::kTitle: {
      if (c.enabled && (hover || pressed)) Fill(dc, r, pressed ? kAccentDark : RGB(0x3A, 0x86, 0xE8));
      CentredText(dc, r, caption, fonts.normal, c.enabled ? RGB(0xFF, 0xFF, 0xFF) : RGB(0x8F, 0xAE, 0xDB));
      break;
    }
    case Style::kPrimary: {
      COLORREF fill = !c.enabled ? RGB(0xB8, 0xC4, 0xD4) : (pressed ? kAccentDark : (hover ? RGB(0x3A, 0x86, 0xE8) : kAccent));
      RoundFill(dc, r, 5, fill, fill);
      CentredText(dc, r, caption, fonts.title, RGB(0xFF, 0xFF, 0xFF));
      break;
    }
    case Style::kTab:
    case Style::kPlain: {
      COLORREF fill = pressed && c.enabled ? kTrack : (hover && c.enabled ? RGB(0xEE, 0xF4, 0xFC) : kPanelBack);
      RoundFill(dc, r, 5, fill, c.enabled ? kAccent : kPanelLine);
      CentredText(dc, r, caption, fonts.normal, c.enabled ? kAccent : RGB(0xA0, 0xA0, 0xA0));
      break;
    }
  }
}

void Picture::Paint(HDC dc, const Component& c, const Fonts& fonts, bool, bool) {
  RECT r = Bounds(c);
  if (!c.images.empty()) {
    size_t i = c.image < 0 ? 0 : std::min(static_cast<size_t>(c.image), c.images.size() - 1);
    if (DrawSkin(dc, c.images[i], r)) return;
  }
  std::wstring caption = c.text.empty() ? caption_ : WideFromGbk(c.text);
  bool high = c.image > 0;
  RoundFill(dc, r, 6, high ? kAccent : kTrack, high ? kAccent : kPanelLine);
  CentredText(dc, r, caption, fonts.normal, high ? RGB(0xFF, 0xFF, 0xFF) : kTextSoft);
}

void CheckBox::Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool) {
  RECT r = Bounds(c);
  int mid = (r.top + r.bottom) / 2;
  RECT box = {r.left, mid - 8, r.left + 16, mid + 8};
  if (!(c.checked ? DrawSkin(dc, "check_on", box) : DrawSkin(dc, "check_off", box))) {
    COLORREF line = !c.enabled ? kPanelLine : (hover ? kAccentDark : kAccent);
    RoundFill(dc, box, 2, c.checked && c.enabled ? kAccent : kPanelBack, line);
    if (c.checked) {
      HPEN pen = CreatePen(PS_SOLID, 2, RGB(0xFF, 0xFF, 0xFF));
      HGDIOBJ old = SelectObject(dc, pen);
      MoveToEx(dc, box.left + 3, mid, nullptr);
      LineTo(dc, box.left + 7, mid + 4);
      LineTo(dc, box.left + 13, mid - 4);
      SelectObject(dc, old);
      DeleteObject(pen);
    }
  }
  RECT text = {r.left + 24, r.top, r.right, r.bottom};
  std::wstring w = WideFromGbk(c.text);
  HGDIOBJ old = SelectObject(dc, fonts.normal);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, c.enabled ? kTextDark : RGB(0xA0, 0xA0, 0xA0));
  DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
}

void CheckBox::OnClick(MainWindow& window, POINT) {
  WindowModel& model = model_ ? *model_ : MainModel();
  bool now = !model.Checked(name());
  model.SetChecked(name(), now);
  window.FireEvent(name(), "check", now ? "1" : "0");
  window.FireEvent(name(), "click");
}

void ProgressBar::Paint(HDC dc, const Component& c, const Fonts&, bool, bool) {
  RECT r = Bounds(c);
  RoundFill(dc, r, (r.bottom - r.top) / 2, kTrack, kTrack);
  int max = c.max_value > 0 ? c.max_value : 1;
  int v = std::max(0, std::min(c.value, max));
  long w = static_cast<long>((static_cast<long long>(r.right - r.left) * v) / max);
  if (w > 0) {
    RECT f = {r.left, r.top, r.left + std::max<long>(w, r.bottom - r.top), r.bottom};
    RoundFill(dc, f, (r.bottom - r.top) / 2, kGreen, kGreen);
  }
}

int ListView::RowsShown(const Component& c) const {
  RECT r = Bounds(c);
  return std::max(0, static_cast<int>(r.bottom - r.top - kHeaderHeight) / kRowHeight);
}

int ListView::FirstRow(const Component& c) const {
  const int last = std::max(0, static_cast<int>(c.rows.size()) - RowsShown(c));
  return std::max(0, std::min(c.scroll, last));
}

RECT ListView::Track(const Component& c) const {
  if (static_cast<int>(c.rows.size()) <= RowsShown(c)) return RECT{0, 0, 0, 0};
  RECT r = Bounds(c);
  return RECT{r.right - 1 - kScrollBarWidth, r.top + kHeaderHeight, r.right - 1, r.bottom - 1};
}

RECT ListView::Thumb(const Component& c) const {
  RECT t = Track(c);
  if (t.bottom <= t.top) return t;
  const int rows = static_cast<int>(c.rows.size()), shown = RowsShown(c);
  const int height = t.bottom - t.top;
  const int thumb = std::max(24, static_cast<int>(static_cast<long long>(height) * shown / rows));
  const int range = rows - shown;
  const int top = t.top + static_cast<int>(static_cast<long long>(height - thumb) * FirstRow(c) / range);
  return RECT{t.left + 2, top, t.right - 2, top + thumb};
}

void ListView::Paint(HDC dc, const Component& c, const Fonts& fonts, bool, bool) {
  RECT r = Bounds(c);
  Fill(dc, r, kPanelBack);
  const RECT track = Track(c);
  // The rows give the scroll bar its room.
  const int right = track.right > track.left ? track.left : r.right;
  RECT head = {r.left, r.top, r.right, r.top + kHeaderHeight};
  Fill(dc, head, RGB(0xEA, 0xF1, 0xFB));
  HGDIOBJ old = SelectObject(dc, fonts.normal);
  SetBkMode(dc, TRANSPARENT);
  int x = r.left;
  for (size_t i = 0; i < columns_.size(); ++i) {
    int w = i + 1 == columns_.size() ? r.right - x : columns_[i].width;
    RECT cell = {x + 10, head.top, x + w - 4, head.bottom};
    SetTextColor(dc, kTextDark);
    DrawTextW(dc, columns_[i].title.c_str(), -1, &cell, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    x += w;
  }
  int y = head.bottom;
  for (size_t row = static_cast<size_t>(FirstRow(c)); row < c.rows.size() && y + kRowHeight <= r.bottom;
       ++row, y += kRowHeight) {
    RECT line = {r.left + 1, y, right - 1, y + kRowHeight};
    bool sel = static_cast<int>(row) == c.selected_row;
    if (sel) Fill(dc, line, RGB(0xCC, 0xE0, 0xFA));
    else if (row % 2) Fill(dc, line, RGB(0xF8, 0xFA, 0xFD));
    x = r.left;
    for (size_t i = 0; i < columns_.size(); ++i) {
      int w = i + 1 == columns_.size() ? right - x : columns_[i].width;
      std::wstring t = i < c.rows[row].size() ? WideFromGbk(c.rows[row][i]) : std::wstring();
      RECT cell = {x + 10, line.top, x + w - 4, line.bottom};
      SetTextColor(dc, kTextDark);
      DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), &cell,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
      x += w;
    }
  }
  SelectObject(dc, old);
  if (track.right > track.left) {
    Fill(dc, track, RGB(0xF0, 0xF3, 0xF8));
    RECT thumb = Thumb(c);
    RoundFill(dc, thumb, 4, dragging_ ? kAccentDark : RGB(0xB8, 0xC8, 0xDE), dragging_ ? kAccentDark : RGB(0xB8, 0xC8, 0xDE));
  }
  Frame(dc, r, kPanelLine);
}

void ListView::ScrollTo(int first) {
  Model().Update(name(), [this, first](Component& c) {
    c.scroll = first;
    c.scroll = FirstRow(c);
  });
}

void ListView::OnPress(MainWindow&, POINT p) {
  dragging_ = false;
  const Component c = Model().Get(name());
  const RECT track = Track(c);
  press_on_bar_ = track.right > track.left && p.x >= track.left && p.y >= track.top;
  if (!press_on_bar_) return;
  const RECT thumb = Thumb(c);
  if (p.y >= thumb.top && p.y < thumb.bottom) {
    dragging_ = true;
    grab_ = p.y - thumb.top;
    Model().Update(name(), [](Component&) {});  // repaint: the thumb shows it is held
  } else {
    // A page up or down, as far as the thumb.
    const int page = std::max(1, RowsShown(c) - 1);
    ScrollTo(FirstRow(c) + (p.y < thumb.top ? -page : page));
  }
}

void ListView::OnDrag(MainWindow&, POINT p) {
  if (!dragging_) return;
  const Component c = Model().Get(name());
  const RECT track = Track(c), thumb = Thumb(c);
  const int free = (track.bottom - track.top) - (thumb.bottom - thumb.top);
  const int range = static_cast<int>(c.rows.size()) - RowsShown(c);
  if (free <= 0 || range <= 0) return;
  const int top = std::max(0, std::min(free, static_cast<int>(p.y - grab_ - track.top)));
  // The nearest row to where the thumb is put.
  ScrollTo(static_cast<int>((static_cast<long long>(top) * range + free / 2) / free));
}

bool ListView::OnWheel(MainWindow&, POINT, int delta) {
  const Component c = Model().Get(name());
  if (static_cast<int>(c.rows.size()) <= RowsShown(c)) return false;
  int notches = delta / WHEEL_DELTA;
  if (notches == 0) notches = delta > 0 ? 1 : -1;  // fine-grained wheels
  ScrollTo(FirstRow(c) - notches * kWheelRows);
  return true;
}

void ListView::OnRelease(MainWindow&, POINT) {
  if (!dragging_) return;
  dragging_ = false;
  Model().Update(name(), [](Component&) {});  // repaint the released thumb
}

void ListView::OnClick(MainWindow& window, POINT p) {
  const bool on_bar = press_on_bar_;
  press_on_bar_ = false;
  if (on_bar) return;  // scrolling, not choosing
  WindowModel& model = Model();
  Component c = model.Get(name());
  RECT r = Bounds(c);
  int y = p.y - r.top - kHeaderHeight;
  if (y < 0) return;
  int row = FirstRow(c) + y / kRowHeight;
  if (y / kRowHeight >= RowsShown(c) || row >= static_cast<int>(c.rows.size())) row = -1;
  model.SetSelectedRow(name(), row);
  window.FireEvent(name(), "select", std::to_string(row));
}

void Balloon::Sync(HWND window, const Component&, bool, RECT) {
  RECT r;
  if (GetWindowRect(window, &r)) origin_ = POINT{r.left, r.top};
}

RECT Balloon::Bounds(const Component& c) const {
  // Wide enough for the hint; above and to the right of the tip.
  const POINT tip = Tip(c);
  int w = c.width > 0 ? c.width : 236, h = c.height > 0 ? c.height : 34;
  return RECT{tip.x - 20, tip.y - h - 10, tip.x - 20 + w, tip.y - 10};
}

void Balloon::Paint(HDC dc, const Component& comp, const Fonts& fonts, bool, bool) {
  RECT r = Bounds(comp);
  Component c = comp;
  const POINT at = Tip(comp);
  c.x = at.x;
  c.y = at.y;
  const COLORREF back = RGB(0xFF, 0xFB, 0xE6), line = RGB(0xE0, 0xB8, 0x4C);
  RoundFill(dc, r, 6, back, line);
  POINT tip[3] = {{c.x - 6, r.bottom - 1}, {c.x, c.y - 1}, {c.x + 6, r.bottom - 1}};
  HBRUSH b = CreateSolidBrush(back);
  HPEN p = CreatePen(PS_SOLID, 1, line);
  HGDIOBJ ob = SelectObject(dc, b), op = SelectObject(dc, p);
  Polygon(dc, tip, 3);
  SelectObject(dc, ob);
  SelectObject(dc, op);
  DeleteObject(b);
  DeleteObject(p);
  RECT cover = {c.x - 5, r.bottom - 2, c.x + 6, r.bottom};
  Fill(dc, cover, back);
  CentredText(dc, r, WideFromGbk(c.text), fonts.normal, RGB(0x6A, 0x4A, 0x00));
}

void Pane::Paint(HDC dc, const Component& c, const Fonts& fonts, bool, bool) {
  RECT r = Bounds(c);
  Fill(dc, r, kPanelBack);
  Frame(dc, r, kPanelLine);
  if (!c.text.empty()) CentredText(dc, r, WideFromGbk(c.text), fonts.normal, kTextSoft);
}

}  // namespace mv::ui::win32
