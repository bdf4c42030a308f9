// The inside of the browser element (see browser.h), shared by its parts:
// the pane itself (browser.cpp), the hosted control and its OLE site
// (browser_control.cpp), the fallback list and its fetch (browser_list.cpp)
// and the mouse hook (browser_hook.cpp).
#pragma once

#include <exdisp.h>
#include <ole2.h>
#include <oleidl.h>

#include <string>
#include <vector>

#include "ui/win32/browser.h"

namespace mv::ui::win32 {

constexpr wchar_t kPaneClass[] = L"MvBrowserPane";
constexpr wchar_t kHostProcProp[] = L"MvBrowserHostProc";
constexpr wchar_t kListProcProp[] = L"MvBrowserListProc";
constexpr UINT kMsgSync = WM_APP + 40;          // create the control when due, then navigate
constexpr UINT kMsgLinksFetched = WM_APP + 41;  // lParam: FetchResult*, owned by the receiver
constexpr int kListId = 101;
constexpr int kStatusId = 102;
constexpr int kStatusHeight = 28;
constexpr int kRowHeight = 34;

// Texts of the list shown instead of the page.
const char kListLoading[] = "正在读取系统列表……";
const char kListIntro[] = "网页无法显示，请直接点击下面的系统进行选择：";
const char kListEmpty[] = "无法读取系统列表，请检查网络后点击这里重试。";

inline bool g_simulate_failure = false;
// Numbers fetches across all panes: a window handle may be reused by a new
// pane, and a late answer for the old one must not be taken for its own.
inline unsigned g_fetch_serial = 0;

struct FetchResult {
  unsigned generation;
  std::string url;
  std::vector<PageLink> links;
};

class BrowserSite;

LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

struct BrowserElement::Impl {
  BrowserElement* self = nullptr;
  HWND list = nullptr, status = nullptr;
  HFONT font = nullptr;
  bool ole_initialised = false;
  bool control_tried = false;
  BrowserSite* site = nullptr;
  IOleObject* ole = nullptr;
  IWebBrowser2* web = nullptr;
  IConnectionPoint* events = nullptr;
  DWORD cookie = 0;
  std::string model_url;    // the model's url last acted on
  std::string pending_url;  // waiting for the pane's sync message
  bool nav_pending = false;
  bool showing_list = false;
  std::vector<PageLink> links;
  std::string list_url;  // the page the list was read from
  bool list_loading = false;
  std::string list_status;
  unsigned generation = 0;
  std::string status_link;      // the address the page last showed in its status line
  bool new_window3_seen = false;
  DWORD last_new_window3 = 0;   // tick of the last NewWindow3 (NewWindow2 then adds nothing)
  bool shown = false;
  bool synced_by_view = false;  // the view calls Sync: paints no longer show or hide the pane

  ~Impl() { DestroyControl(); }

  HWND ControlWindow() const;

  void Resize();

  bool CreateControl();

  void DestroyControl();

  void ShowControl(bool show);

  void Navigate(const std::string& url);

  // Loads the address: into the control, or into the list when there is no control.
  void Load(const std::string& url);

  void EnsureListWindows();

  void SetListStatus(const std::string& text);

  // Shows the list and reads the page's choice links on a worker thread.
  void ShowList(const std::string& url);

  void HideList();

  void OnLinks(FetchResult* r);

  // The list chooses on a click, or on Enter or Space for the row the arrow
  // keys moved to; moving with the keys alone chooses nothing.
  bool keyboard_move = false;
  int hover_row = -1;  // the row under the mouse, drawn highlighted

  void SetHoverRow(int row);
  void OnSelChange();

  void OnListClick();

  // One row of the list: a marker, the name, and on the right what a click does.
  void DrawRow(const DRAWITEMSTRUCT* d);

  // Events of the control.
  void OnBeforeNavigate(const std::string& url, const VARIANT& cancel);
  void OnNewWindow(const std::string& url, const VARIANT& cancel);
  void OnNavigateError(IDispatch* frame, const std::string& url, const VARIANT& cancel);
  bool IsTopFrame(IDispatch* frame) const;
};

}  // namespace mv::ui::win32
