// The Win32 adapter, part 3: message boxes and the open-file dialog.
#include "platform/win32/win32_platform.h"

#include <commdlg.h>

namespace mv {

namespace {

// IDOK..IDNO (1..7) -> 0..6. A box that could not be shown counts as Cancel,
// never as a confirmation.
int BoxResult(int id) {
  if (id >= IDOK && id <= IDNO) return id - 1;
  if (id == 10 /* IDTRYAGAIN */) return kResRetry;
  if (id == 11 /* IDCONTINUE */) return kResIgnore;
  return kResCancel;
}

UINT BoxFlags(uint32_t flags) {
  UINT f = flags;
  if (!(f & MB_SYSTEMMODAL)) f |= MB_TASKMODAL;
  return f;
}

// The captions for the next box of this thread, read by the hook.
struct CaptionHook {
  HHOOK hook;
  std::wstring captions[7];
};
DWORD g_hook_slot = TLS_OUT_OF_INDEXES;

LRESULT CALLBACK CbtProc(int code, WPARAM wparam, LPARAM lparam) {
  CaptionHook* h = static_cast<CaptionHook*>(::TlsGetValue(g_hook_slot));
  if (!h) return ::CallNextHookEx(nullptr, code, wparam, lparam);
  HHOOK self = h->hook;
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wparam);
    for (int id = 1; id <= 7; ++id) ::SetDlgItemTextW(box, id, h->captions[id - 1].c_str());
    ::UnhookWindowsHookEx(self);
    h->hook = nullptr;
    return 0;
  }
  return ::CallNextHookEx(self, code, wparam, lparam);
}

}  // namespace

int Win32Platform::ShowMessageBox(const Text& text, uint32_t flags, const Text& caption, WindowRef owner) {
  std::wstring c = Wide(caption.empty() ? Text("信息：") : caption);
  return BoxResult(::MessageBoxW(reinterpret_cast<HWND>(owner), Wide(text).c_str(), c.c_str(), BoxFlags(flags)));
}

int Win32Platform::AskWithCaptions(const Text& text, uint32_t flags, const Text& caption, WindowRef owner,
                                   const std::vector<Text>& button_captions) {
  static const char* const kDefaults[7] = {"确认", "取消", "终止", "重试", "忽略", "是", "否"};
  if (g_hook_slot == TLS_OUT_OF_INDEXES) {
    DWORD slot = ::TlsAlloc();
    if (::InterlockedCompareExchange(reinterpret_cast<LONG*>(&g_hook_slot), static_cast<LONG>(slot),
                                     static_cast<LONG>(TLS_OUT_OF_INDEXES)) != static_cast<LONG>(TLS_OUT_OF_INDEXES)) {
      ::TlsFree(slot);
    }
  }
  CaptionHook h;
  for (size_t i = 0; i < 7; ++i) {
    h.captions[i] = Wide(i < button_captions.size() && !button_captions[i].empty() ? button_captions[i]
                                                                                  : Text(kDefaults[i]));
  }
  // The box is made by this thread, so the hook goes on this thread (the
  // owner window's thread when called there, as usual).
  ::TlsSetValue(g_hook_slot, &h);
  h.hook = ::SetWindowsHookExW(WH_CBT, CbtProc, nullptr, ::GetCurrentThreadId());
  std::wstring c = Wide(caption.empty() ? Text("提示：") : caption);
  int r = ::MessageBoxW(reinterpret_cast<HWND>(owner), Wide(text).c_str(), c.c_str(), BoxFlags(flags));
  if (h.hook) ::UnhookWindowsHookEx(h.hook);  // the box never came up
  ::TlsSetValue(g_hook_slot, nullptr);
  return BoxResult(r);
}

Text Win32Platform::PickImageFile(WindowRef owner, const Text& title, const Text& filter, const Text& initial_name) {
  // "label|pattern|..." becomes the zero-separated list the dialog takes,
  // closed by two zeros.
  std::wstring f = Wide(filter.empty() ? Text("所有文件(*.*)|*.*") : filter);
  for (wchar_t& c : f)
    if (c == L'|') c = L'\0';
  f.push_back(L'\0');
  f.push_back(L'\0');
  const std::wstring t = Wide(title.empty() ? Text("打开文件") : title);
  wchar_t file[512] = {0};
  const std::wstring init = Wide(initial_name);
  if (init.size() < 512) init.copy(file, init.size());

  // The dialog changes the current directory when the user moves through
  // folders; relative paths elsewhere in the program must not notice.
  wchar_t cwd[MAX_PATH + 1] = {0};
  const DWORD cwd_len = ::GetCurrentDirectoryW(MAX_PATH + 1, cwd);

  OPENFILENAMEW ofn;
  ZeroMemory(&ofn, sizeof ofn);
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;  // the size every system from 95/NT4 on accepts
  ofn.hwndOwner = reinterpret_cast<HWND>(owner);
  ofn.lpstrFilter = f.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = 512;
  ofn.lpstrTitle = t.c_str();
  const BOOL ok = ::GetOpenFileNameW(&ofn);
  if (cwd_len > 0 && cwd_len <= MAX_PATH) ::SetCurrentDirectoryW(cwd);
  if (!ok) return Text();
  return WideToAnsi(std::u16string(reinterpret_cast<const char16_t*>(file)));
}

}  // namespace mv
