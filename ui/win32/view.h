// The Win32 view of the window model: a borderless main window that draws the
// model's components and turns clicks into actions.
//
// Every drawn component is an Element registered under its model name; the
// window keeps them in a registry and paints each from the model's current
// state. Later pages, buttons, pictures and timers are further Element kinds
// registered the same way.
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
// machine's own ANSI code page is.
std::wstring WideFromGbk(const std::string& gbk);

// Message posted by the model's change hook; the window redraws.
constexpr UINT kMsgModelChanged = WM_APP + 1;
// Message posted once the window is shown: runs the "created" handler.
constexpr UINT kMsgCreated = WM_APP + 2;

// Fonts shared by the elements; made once per window.
struct Fonts {
  HFONT title = nullptr;
  HFONT small = nullptr;
  std::wstring face;  // the face actually chosen
  ~Fonts();
};

// The face for Chinese text: "Microsoft YaHei" when installed, else "SimSun".
std::wstring ChooseChineseFace(HDC dc);

class Element {
 public:
  explicit Element(RECT bounds) : bounds_(bounds) {}
  virtual ~Element() = default;

  // Where the element sits, given its model state (a width set in the model
  // overrides the default one).
  RECT Bounds(const Component& c) const;
  virtual void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) = 0;
  // Elements that take clicks are not part of the drag area.
  virtual bool TakesClicks() const { return false; }
  virtual void OnClick(HWND window) {}

 protected:
  RECT bounds_;
};

// A text label: the component's text, in a font, colour and alignment.
class Label : public Element {
 public:
  enum class Size { kTitle, kSmall };
  Label(RECT bounds, Size size, COLORREF colour, UINT format)
      : Element(bounds), size_(size), colour_(colour), format_(format) {}
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;
  // What was last drawn, for tests.
  const std::wstring& LastDrawn() const { return last_drawn_; }

 private:
  Size size_;
  COLORREF colour_;
  UINT format_;
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
  void OnClick(HWND window) override {
    if (action_) action_(window);
  }

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

  static constexpr int kWidth = 800;
  static constexpr int kHeight = 560;
  static constexpr int kTitleHeight = 40;

  explicit MainWindow(WindowModel& model);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Runs on the window thread once the window exists and is shown.
  void OnCreated(std::function<void()> handler) { on_created_ = std::move(handler); }
  // Asked when the user closes the window; false keeps it open. Without a
  // handler the window closes.
  void OnCloseRequest(std::function<bool()> handler) { on_close_request_ = std::move(handler); }

  // Whether destroying the window ends the message loop (the default).
  void SetQuitOnDestroy(bool quit) { quit_on_destroy_ = quit; }

  // Creates the window (centred on the work area) and, when show is set,
  // shows it. Installs the model's change hook.
  bool Create(HINSTANCE instance, bool show);
  HWND hwnd() const { return hwnd_; }

  // Registers an element under its model name (replacing an earlier one).
  void Add(const std::string& name, std::unique_ptr<Element> element);
  Element* Find(const std::string& name) const;

  // Closes the window ms milliseconds from now (a test aid: the program ends
  // by itself).
  void CloseAfter(UINT ms);

  // Redraws handled since creation (model changes that reached the window).
  int RepaintsRequested() const { return repaints_requested_; }
  // Thread that painted last, for tests.
  DWORD LastPaintThread() const { return last_paint_thread_; }

  // Hit test in client coordinates: HTCAPTION over the title strip outside
  // clickable elements, HTCLIENT elsewhere.
  LRESULT HitTest(POINT client) const;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Paint();
  std::string ElementAt(POINT client) const;
  void RequestClose();
  void AddBareComponents();

  WindowModel& model_;
  HWND hwnd_ = nullptr;
  Fonts fonts_;
  std::map<std::string, std::unique_ptr<Element>> elements_;
  std::vector<std::string> order_;  // paint order: registration order
  std::function<void()> on_created_;
  std::function<bool()> on_close_request_;
  std::string hover_, pressed_;
  bool tracking_ = false;
  bool quit_on_destroy_ = true;
  // Shared with the change hook, which may outlive a call into this object.
  std::shared_ptr<volatile LONG> repaint_pending_ = std::make_shared<volatile LONG>(0);
  int repaints_requested_ = 0;
  DWORD last_paint_thread_ = 0;
};

}  // namespace mv::ui::win32
