// The web browser panes of the main window: the system's WebBrowser control
// hosted in a child window of its own (an OLE in-place site, no framework).
//
// - The pane navigates whenever the model's url of its component changes.
// - Every navigation is first put to ui::RequestNavigate(name, url); when the
//   handler says no, the browser stays where it is.
// - A page that wants a new window fires ui::Fire(name, "newwindow", url) and
//   no window opens.
// - The catalogue pane (names::kCatalogueBrowser) falls back to a native list
//   of the page's choice links when the control cannot be created or reports
//   a navigation error (a broken browser on the PC, or none at all): a click on
//   a row asks the same navigation handler, so a system can still be chosen.
//
// The pane is a child of the window the element is painted into; it is shown
// while the view paints the element and hidden when a repaint skips it (its
// page is not shown). Everything here runs on the window thread.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/catalogue_links.h"
#include "ui/win32/view.h"

namespace mv::ui::win32 {

// The element for a browser component; the view registers it under the name.
std::unique_ptr<Element> MakeBrowserElement(const std::string& name, RECT bounds);

class BrowserElement : public Element {
 public:
  // list_fallback: show the choice-link list when the page cannot be shown.
  BrowserElement(std::string name, RECT bounds, bool list_fallback);
  ~BrowserElement() override;
  BrowserElement(const BrowserElement&) = delete;
  BrowserElement& operator=(const BrowserElement&) = delete;

  // Places and shows the pane (creating it under the window being painted on
  // first use) and navigates when the model's url moved. Draws nothing itself.
  void Paint(HDC dc, const Component& c, const Fonts& fonts, bool hover, bool pressed) override;

  // Creates the pane under parent now (Paint does it by itself otherwise).
  bool AttachTo(HWND parent);
  // Shows or hides the pane (the view's page changes do it through Paint).
  void SetShown(bool shown);

  // For a view that drives child windows itself: Attach once the window
  // exists, Sync after every model change with whether the element is on the
  // page shown now and where it sits. Once Sync is called, it alone shows and
  // hides the pane.
  void Attach(HWND window);
  void Sync(HWND window, const Component& c, bool shown, RECT bounds);
  bool SyncedByView() const;

  const std::string& name() const { return name_; }
  HWND pane() const { return pane_; }

  // State, for tests and the positions report.
  bool HasControl() const;        // the WebBrowser control runs in the pane
  bool ShowingList() const;       // the choice-link list is shown instead
  std::vector<PageLink> ListedLinks() const;
  std::string ListStatus() const;  // GBK: the line above the list
  HWND ListWindow() const;         // the list box (null before the first fallback)
  // Where row (0-based) of the list is on the screen; false when not shown.
  bool ListRowScreenRect(int row, RECT* screen) const;

  // One event of the control (DWebBrowserEvents2; the arguments in reverse
  // order, as the control passes them). Tests pass made-up ones.
  void HandleEvent(DISPID id, DISPPARAMS* params);

  // Makes the control's creation fail, as on a PC whose browser is broken.
  static void SimulateControlFailure(bool fail);

  struct Impl;

 private:
  // Places and shows the pane at r and navigates when the model's url moved.
  void Place(const Component& c, RECT r);

  std::string name_;
  bool list_fallback_;
  HWND pane_ = nullptr;
  std::unique_ptr<Impl> impl_;
};

// The pane window of the browser element registered under name; null when
// there is none or it is not created yet.
HWND BrowserPaneWindow(const std::string& name);

// The class of the window in which the control shows its page.
constexpr wchar_t kBrowserServerClass[] = L"Internet Explorer_Server";

// Installs, once per process, a mouse hook on the thread that owns pane: a
// right-button release aimed at an "Internet Explorer_Server" window is
// swallowed, so the embedded browsers show no context menu; every other mouse
// message passes. False when the hook cannot be installed.
bool InstallBrowserMouseHook(HWND pane);
void RemoveBrowserMouseHook();
// The hook's decision for one mouse message aimed at target.
bool SwallowsMouseMessage(int hook_code, UINT message, HWND target);

}  // namespace mv::ui::win32
