// The kinds of component the main window draws besides labels: picture
// buttons, check boxes, progress bars, pictures, the list view, the hint
// balloon and empty panes (where a browser is not available).
#pragma once

#include <string>
#include <vector>

#include "ui/win32/view.h"

namespace mv::ui::win32 {

// A button drawn from its skin images: Component::images holds the normal,
// hover, pressed and disabled looks (the pressed look also shows while the
// component is selected). Without images it draws a plain rounded button
// with its caption. Primary, plain and tab buttons carry blank images and
// draw their caption (the component's text, else the default one) on them.
class PictureButton : public Element {
 public:
  enum class Style { kPrimary, kPlain, kTab, kNavigation, kTitle };
  PictureButton(RECT bounds, std::wstring caption, Style style)
      : Element(bounds), caption_(std::move(caption)), style_(style) {}
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;
  bool TakesClicks() const override { return true; }
  // Which image of the component's images the button shows now (-1: none).
  static int LookIndex(const Component& c, bool hover, bool pressed);

 private:
  std::wstring caption_;
  Style style_;
};

// A picture: Component::images[Component::image] (the step indicator shows
// image 0 normally, 1 highlighted); a caption drawn when no image exists.
class Picture : public Element {
 public:
  Picture(RECT bounds, std::wstring caption = std::wstring()) : Element(bounds), caption_(std::move(caption)) {}
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;

 private:
  std::wstring caption_;
};

// A check box with its text; a click flips Component::checked and fires
// "check" (argument "1" or "0"), then "click".
class CheckBox : public Element {
 public:
  using Element::Element;
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;
  bool TakesClicks() const override { return true; }
  void OnClick(MainWindow& window, POINT point) override;
  void SetModel(WindowModel* model) { model_ = model; }

 private:
  WindowModel* model_ = nullptr;
};

// A progress bar: Component::value out of Component::max_value.
class ProgressBar : public Element {
 public:
  using Element::Element;
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;
};

// The list view of the restore points: a header of columns and one line
// per row; a click on a row selects it (Component::selected_row) and fires
// "select" with the row number. When there are more rows than fit, a scroll
// bar runs down the right edge (drag its thumb, or click above or below it
// for a page) and the mouse wheel scrolls three rows a notch;
// Component::scroll is the first row shown.
class ListView : public Element {
 public:
  struct Column {
    std::wstring title;
    int width;
  };
  ListView(RECT bounds, std::vector<Column> columns) : Element(bounds), columns_(std::move(columns)) {}
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;
  bool TakesClicks() const override { return true; }
  void OnClick(MainWindow& window, POINT point) override;
  void OnPress(MainWindow& window, POINT point) override;
  void OnDrag(MainWindow& window, POINT point) override;
  void OnRelease(MainWindow& window, POINT point) override;
  bool OnWheel(MainWindow& window, POINT point, int delta) override;
  void SetModel(WindowModel* model) { model_ = model; }
  static constexpr int kHeaderHeight = 30, kRowHeight = 28, kScrollBarWidth = 14, kWheelRows = 3;

  // How many whole rows fit below the header.
  int RowsShown(const Component& c) const;
  // The first row shown, kept within 0 .. rows - RowsShown.
  int FirstRow(const Component& c) const;
  // The scroll bar's track and thumb (empty rectangles when all rows fit).
  RECT Track(const Component& c) const;
  RECT Thumb(const Component& c) const;

 private:
  WindowModel& Model() const { return model_ ? *model_ : MainModel(); }
  void ScrollTo(int first);
  std::vector<Column> columns_;
  WindowModel* model_ = nullptr;
  bool dragging_ = false;    // the thumb follows the mouse
  bool press_on_bar_ = false;  // the press was on the scroll bar: no row is selected
  int grab_ = 0;             // where on the thumb it was taken, from its top
};

// The hint balloon: the component's text in a bubble whose tip points at
// (Component::x, Component::y), a point on the screen (the mouse pointer).
class Balloon : public Element {
 public:
  Balloon() : Element(RECT{0, 0, 0, 0}) {}
  RECT Bounds(const Component& c) const override;
  void Sync(HWND window, const Component& c, bool shown, RECT bounds) override;
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;

 private:
  POINT origin_ = {0, 0};  // the window's top-left corner on the screen
  POINT Tip(const Component& c) const { return POINT{c.x - origin_.x, c.y - origin_.y}; }
};

// A tab host (page host, wizard): draws nothing itself; elements placed on
// its pages are shown while Component::page names their page.
class TabHost : public Element {
 public:
  using Element::Element;
  void Paint(HDC, const Component&, const Fonts&, bool, bool) override {}
  bool IsContainer() const override { return true; }
};

// An empty framed pane: where a browser cannot be shown.
class Pane : public Element {
 public:
  using Element::Element;
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;
};

}  // namespace mv::ui::win32
