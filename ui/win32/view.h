// The Win32 view of the window model: a borderless main window that draws the
// model's components and turns mouse input into the model's events.
//
// Every drawn component is an Element registered under its model name; the
// window keeps them in a registry and paints each from the model's current
// state. An element may sit on a page of a tab host (the page host's pages,
// the wizard's steps): it is shown only while every tab host above it shows
// its page. Clicks fire "click" on the element's name (check boxes also
// "check", list views "select"), the mouse entering an element fires
// "hover", a component with a timer interval gets a real window timer that
// fires "timer", and the close request fires "close" on names::kMainWindow.
//
// Threads: the model's change hook may fire on any thread; it only posts a
// message to the window. Everything else here runs on the window thread.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/model.h"

namespace mv::ui::win32 {

// GBK (code page 936) text to UTF-16 for the wide APIs, whatever the
// machine's own ANSI code page is; and UTF-16 to UTF-8 for reports.
std::wstring WideFromGbk(const std::string& gbk);
std::string Utf8FromWide(const std::wstring& wide);

// Message posted by the model's change hook; the window redraws.
constexpr UINT kMsgModelChanged = WM_APP + 1;
// Message posted once the window is shown: runs the "created" handler.
constexpr UINT kMsgCreated = WM_APP + 2;

// Fonts shared by the elements; made once per window.
// JSON of the report: a GBK text as a string (UTF-8 inside), a rectangle
// as [left,top,right,bottom].
std::string JsonText(const std::string& gbk);
std::string JsonRect(const RECT& r);

// Another window of the program that opens over the main window (the image
// index window) adds its part to the report: "key": part() whenever part()
// gives a JSON value (empty: nothing, for example while it is closed). Its
// changes reach the report through NoteReportPartChanged (window thread).
void SetReportPart(const std::string& key, std::function<std::string()> part);
void NoteReportPartChanged();
// A window being destroyed stops writing the report.
class MainWindow;
void ForgetReportingWindow(const MainWindow* window);

struct Fonts {
  HFONT title = nullptr;   // 16 px bold
  HFONT small = nullptr;   // 13 px
  HFONT normal = nullptr;  // 14 px
  HFONT large = nullptr;   // 20 px bold
  std::wstring face;       // the face actually chosen
  void Make(HWND window);
  ~Fonts();
};

// The face for Chinese text: "Microsoft YaHei" when installed, else "SimSun".
std::wstring ChooseChineseFace(HDC dc);

class MainWindow;

class Element {
 public:
  explicit Element(RECT bounds) : bounds_(bounds) {}
  virtual ~Element() = default;

  // Where the element sits in client coordinates, given its model state (a
  // width or height set in the model overrides the default one).
  virtual RECT Bounds(const Component& c) const;
  virtual void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) = 0;
  // Elements that take clicks are not part of the drag area. Elements that
  // do not take clicks by themselves still do when a handler waits for them.
  virtual bool TakesClicks() const { return false; }
  // Tab hosts hold other elements and are never "the component under the mouse".
  virtual bool IsContainer() const { return false; }
  // A click (press and release inside); point in client coordinates. The
  // default fires "click" on the element's name.
  virtual void OnClick(MainWindow& window, POINT point);
  // The left button going down on the element, and the moves of the mouse
  // while it stays down (the window captures the mouse meanwhile); points in
  // client coordinates. OnClick still follows a release inside.
  virtual void OnPress(MainWindow& /*window*/, POINT /*point*/) {}
  virtual void OnDrag(MainWindow& /*window*/, POINT /*point*/) {}
  // The release of the button the element was pressed with, wherever it is.
  virtual void OnRelease(MainWindow& /*window*/, POINT /*point*/) {}
  // The mouse wheel over the element: delta in WHEEL_DELTA units (positive:
  // turned away from the user). False when the element does not scroll.
  virtual bool OnWheel(MainWindow& /*window*/, POINT /*point*/, int /*delta*/) { return false; }
  // Elements that own a child window (browsers) create it here, once the
  // main window exists, and follow the model in Sync (after every change:
  // shown says whether the element is visible on the current page).
  virtual void Attach(HWND /*window*/) {}
  virtual void Sync(HWND /*window*/, const Component& /*c*/, bool /*shown*/, RECT /*bounds*/) {}

  const std::string& name() const { return name_; }

 protected:
  RECT bounds_;

 private:
  friend class MainWindow;
  std::string name_;
};

// A text label: the component's text, in a font, colour and alignment, on
// an optional background (a background also makes it usable as a bar).
class Label : public Element {
 public:
  enum class Size { kTitle, kSmall, kNormal, kLarge };
  Label(RECT bounds, Size size, COLORREF colour, UINT format)
      : Element(bounds), size_(size), colour_(colour), format_(format) {}
  Label* WithBackground(COLORREF back) {
    back_ = back;
    has_back_ = true;
    return this;
  }
  // Several lines ("\r\n" breaks, long lines wrap); top aligned.
  Label* MultiLine() {
    multi_line_ = true;
    return this;
  }
  // Underlined when the mouse is over it (labels that are links).
  Label* AsLink() {
    link_ = true;
    return this;
  }
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;
  // What was last drawn, for tests.
  const std::wstring& LastDrawn() const { return last_drawn_; }

 private:
  Size size_;
  COLORREF colour_;
  UINT format_;
  COLORREF back_ = 0;
  bool has_back_ = false;
  bool multi_line_ = false;
  bool link_ = false;
  std::wstring last_drawn_;
};

// A button that runs an action when clicked (press and release inside it).
class Button : public Element {
 public:
  enum class Glyph { kClose };
  Button(RECT bounds, Glyph glyph, std::function<void(HWND)> action)
      : Element(bounds), glyph_(glyph), action_(std::move(action)) {}
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;
  bool TakesClicks() const override { return true; }
  void OnClick(MainWindow& window, POINT) override;

 private:
  Glyph glyph_;
  std::function<void(HWND)> action_;
};

class MainWindow {
 public:
  // Component names drawn by the bare window.
  static const char* const kTitleLabel;
  static const char* const kVersionLabel;
  static const char* const kCloseButton;

  static constexpr int kWidth = 880;
  static constexpr int kHeight = 600;
  static constexpr int kTitleHeight = 36;

  explicit MainWindow(WindowModel& model);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Runs on the window thread once the window exists and is shown.
  void OnCreated(std::function<void()> handler) { on_created_ = std::move(handler); }
  // Asked when the user closes the window; false keeps it open. Without a
  // handler here the "close" handler of names::kMainWindow decides (it ends
  // the program itself when it wants to); without either the window closes.
  void OnCloseRequest(std::function<bool()> handler) { on_close_request_ = std::move(handler); }

  // Whether destroying the window ends the message loop (the default).
  void SetQuitOnDestroy(bool quit) { quit_on_destroy_ = quit; }

  // Creates the window (centred on the work area) and, when show is set,
  // shows it. Installs the model's change hook.
  bool Create(HINSTANCE instance, bool show);
  HWND hwnd() const { return hwnd_; }

  // Registers an element under its model name (replacing an earlier one),
  // optionally on page `page` of the tab host `host` (a model name).
  Element* Add(const std::string& name, std::unique_ptr<Element> element, const std::string& host = std::string(),
               int page = 0);
  Element* Find(const std::string& name) const;
  // Whether the element is shown now: visible in the model and every tab
  // host above it shows its page.
  bool Shown(const std::string& name) const;
  // The element's rectangle in screen coordinates (empty when unknown).
  RECT ScreenRect(const std::string& name) const;

  // Closes the window ms milliseconds from now (a test aid: the program ends
  // by itself).
  void CloseAfter(UINT ms);
  // Writes a report of every component (screen rectangle, state, handlers)
  // and of the events fired so far to this file after every change, as UTF-8
  // JSON (a test aid: end-to-end tests find the components by name).
  void ReportTo(const std::wstring& path);
  // Writes the report now (nothing without a report file).
  void WriteReport();

  // Window operations for the logic.
  void Minimize();
  void BeginDrag();  // the borderless window follows the mouse
  POINT CursorInClient() const;
  // The topmost shown component at a screen point ("" outside the window, or
  // over another window). Safe from other threads: it reads the model under
  // its lock only and sends no message.
  std::string ComponentAt(POINT screen) const;
  // The pop-up menu (names::kMenuHomeItem, kMenuReportItem, kMenuAboutItem) at a screen
  // point; the chosen item fires "click".
  void ShowPopupMenu(POINT screen);
  // The about window, modal; returns when it closes.
  void ShowAboutWindow();
  void CloseAboutWindow();
  HWND AboutWindow() const { return about_; }

  // Redraws handled since creation (model changes that reached the window).
  int RepaintsRequested() const { return repaints_requested_; }
  // Thread that painted last, for tests.
  DWORD LastPaintThread() const { return last_paint_thread_; }

  // Hit test in client coordinates: HTCAPTION over the title strip outside
  // clickable elements, HTCLIENT elsewhere.
  LRESULT HitTest(POINT client) const;

  // Fires an event on a component's name and records it for the report.
  // Without a handler, a click on the menu button opens the pop-up menu below
  // it and the menu's "关于" opens the about window.
  void FireEvent(const std::string& name, const std::string& event, const std::string& arg = std::string());
  // Only records an event (elements that act by themselves, like the close button).
  void NoteEvent(const std::string& name, const std::string& event, const std::string& arg = std::string());

 private:
  struct Placement {
    std::string host;
    int page = 0;
  };
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Paint();
  bool Interactive(const std::string& name, const Element& e) const;
  std::string ElementAt(POINT client) const;
  void RequestClose();
  void AddBareComponents();
  void SyncModel();  // timers, child windows, report

  WindowModel& model_;
  HWND hwnd_ = nullptr;
  HWND about_ = nullptr;
  Fonts fonts_;
  std::map<std::string, std::unique_ptr<Element>> elements_;
  std::map<std::string, Placement> placements_;
  std::vector<std::string> order_;  // paint order: registration order
  std::map<std::string, UINT_PTR> timers_;      // component -> window timer id
  std::map<UINT_PTR, std::string> timer_names_;
  std::map<std::string, uint32_t> timer_ms_;
  UINT_PTR next_timer_ = 100;
  std::function<void()> on_created_;
  std::function<bool()> on_close_request_;
  std::string hover_, pressed_;
  bool tracking_ = false;
  bool quit_on_destroy_ = true;
  std::wstring report_path_;
  std::vector<std::vector<std::string>> events_;
  // Shared with the change hook, which may outlive a call into this object.
  std::shared_ptr<volatile LONG> repaint_pending_ = std::make_shared<volatile LONG>(0);
  int repaints_requested_ = 0;
  DWORD last_paint_thread_ = 0;
};

}  // namespace mv::ui::win32
