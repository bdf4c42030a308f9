// What the main window's logic asks of the real windows: the few things the
// window model cannot express (moving and minimising the window, the pop-up
// menu, the about window, the shadow, the browser mouse hook, where the
// pointer is). The Win32 view implements it and sets it before the start-up;
// tests set a recording fake. Without one set, every call does nothing and
// the queries answer "nothing there".
#pragma once

#include <string>

#include "platform/platform.h"

namespace mv::ui {

struct ScreenPoint {
  int x = 0;
  int y = 0;
};

class WindowOps {
 public:
  virtual ~WindowOps() = default;

  // Minimises the main window.
  virtual void Minimize() = 0;
  // Starts moving the borderless main window with the mouse (the non-client
  // left-button-down of the caption area).
  virtual void BeginDrag() = 0;
  // The main window's top-left corner on the screen.
  virtual ScreenPoint WindowOrigin() = 0;
  // The mouse pointer on the screen.
  virtual ScreenPoint PointerPosition() = 0;
  // The name of the main window's component under the mouse pointer; empty
  // when the pointer is over none of them (or over another window). Called
  // from the forum panel's watcher thread: it must not touch the model lock
  // for long or send messages to the window thread.
  virtual std::string ComponentUnderPointer() = 0;
  // Opens the main pop-up menu with its top-left corner at a screen point.
  virtual void ShowPopupMenu(ScreenPoint at) = 0;
  // Shows the about window modally (returns when it has closed) / closes it.
  virtual void ShowAboutWindow() = 0;
  virtual void CloseAboutWindow() = 0;
  // Attaches the drop shadow to a window.
  virtual void AttachShadow(WindowRef window) = 0;
  // Installs the mouse hook on the catalogue browser's thread that keeps the
  // embedded browsers from showing their context menu.
  virtual void InstallBrowserMouseHook() = 0;
};

// The process-wide implementation; nullptr for none. Set before the start-up.
void SetWindowOps(WindowOps* ops);
WindowOps* CurrentWindowOps();

}  // namespace mv::ui
