// The window model: every window component the logic writes into, as plain
// data. Worker threads and the window thread change it through the setters
// below (under one lock); the Win32 view reads it and draws, on the window
// thread only. Tests read it directly.
//
// Components are addressed by their names ("标签_标题", "图形按钮_下一步"):
// a kind word and a role, as the window definition names them. A component
// springs into being on first use, so each module declares the names it uses
// next to its own code.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/sync.h"

namespace mv::ui {

struct Component {
  std::string text;        // GBK
  bool visible = true;
  bool enabled = true;
  int x = 0, y = 0, width = 0, height = 0;
  int page = -1;           // selected page of a tab/page component; step of a wizard
  uint32_t timer_ms = 0;   // interval of a timer component; 0 = stopped
  std::string role;        // what a button currently does (for example "restart-now")
  std::vector<std::string> images;  // names of the skin images a picture/button carries
  bool checked = false;    // check boxes
  bool selected = false;   // the selected look of a navigation picture button
  int value = 0;           // progress bars: current position ...
  int max_value = 100;     // ... out of this
  int image = 0;           // which of `images` a picture shows now (step indicator: 0 normal, 1 highlighted)
  std::vector<std::vector<std::string>> rows;  // list views: one row of column texts per item
  std::string url;         // web browsers: the address last asked for
  int selected_row = -1;   // list views: the row the user picked (-1: none)
  int scroll = 0;          // list views: the first row shown (rows above it are scrolled away)
};

class WindowModel {
 public:
  // Called (from any thread) after every change; the view uses it to post a
  // repaint request to the window thread. Set before any worker starts.
  using ChangeHook = std::function<void(const std::string& name)>;
  void SetChangeHook(ChangeHook hook);

  // A copy of the component's current state (an empty one when never used).
  Component Get(const std::string& name) const;
  // Applies a change to the component and reports it.
  void Update(const std::string& name, const std::function<void(Component&)>& change);

  // Shorthands for the common changes.
  void SetText(const std::string& name, const std::string& text);
  std::string Text(const std::string& name) const;
  void SetVisible(const std::string& name, bool visible);
  void SetEnabled(const std::string& name, bool enabled);
  void SetWidth(const std::string& name, int width);
  int Width(const std::string& name) const;
  void SetPage(const std::string& name, int page);
  void SetTimer(const std::string& name, uint32_t interval_ms);
  void SetRole(const std::string& name, const std::string& role);
  void SetChecked(const std::string& name, bool checked);
  bool Checked(const std::string& name) const;
  void SetSelected(const std::string& name, bool selected);
  bool Selected(const std::string& name) const;
  void SetValue(const std::string& name, int value, int max_value = 100);
  void SetImages(const std::string& name, const std::vector<std::string>& images);
  void SetImage(const std::string& name, int image);
  void AddRow(const std::string& name, const std::vector<std::string>& row);
  void ClearRows(const std::string& name);
  std::vector<std::vector<std::string>> Rows(const std::string& name) const;
  void SetSelectedRow(const std::string& name, int row);
  int SelectedRow(const std::string& name) const;
  void SetUrl(const std::string& name, const std::string& url);

  // Names of every component used so far, for the view and for tests.
  std::vector<std::string> Names() const;
  // Increases with every change; the view redraws when it moved.
  uint64_t Version() const;

 private:
  mutable Mutex mu_;
  std::map<std::string, Component> components_;
  uint64_t version_ = 0;
  ChangeHook hook_;
};

// The main window's model, one per process.
WindowModel& MainModel();

// Event handlers by component name and event ("click", "check", "hover",
// "timer", "navigate", "newwindow", ...). The view fires them on the window
// thread; tests fire them directly. A handler set again replaces the earlier
// one. Fire returns false when no handler is set.
using EventHandler = std::function<void(const std::string& arg)>;
void SetHandler(const std::string& name, const std::string& event, EventHandler handler);
bool Fire(const std::string& name, const std::string& event, const std::string& arg = std::string());
bool HasHandler(const std::string& name, const std::string& event);
void ClearHandlers();  // tests

// Web browsers: a navigation request goes to the browser's handler, which
// says whether the browser may follow the address (true when none is set).
// To load a page, logic sets the browser's url (WindowModel::SetUrl); the
// view navigates when it changes.
using NavigateHandler = std::function<bool(const std::string& url)>;
void SetNavigateHandler(const std::string& browser, NavigateHandler handler);
bool RequestNavigate(const std::string& browser, const std::string& url);

}  // namespace mv::ui
