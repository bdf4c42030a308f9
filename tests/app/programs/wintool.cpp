// A small observer for tests of the real program under Wine. Runs in the same
// prefix (same wineserver) as the program and reports in UTF-8 on stdout.
//
//   wintool version PATH             the version resource: fixed and string values
//   wintool drive ROOT...            the drive type of each root such as "E:\\"
//   wintool attr PATH                the attribute word of a file or folder
//   wintool acp                      the ANSI code page the process runs with
//   wintool waitwin CLASS MS [TITLE] waits for a visible top-level window of the
//                                    class (with that title); prints title and size
//   wintool waitbox CAPTION MS       waits for a message box with the caption,
//                                    prints its text and owner
//   wintool pressbox CAPTION MS      the same, then presses the box's OK button
//   wintool answerbox CAPTION MS BUTTON  the same, then clicks the box's button with
//                                    that caption, or else the first whose caption
//                                    begins with it (boxes list theirs as Buttons=)
//   wintool filebox TITLE MS PATH    waits for an open-file dialog with that title,
//                                    types PATH as the file name and opens it
// Exit status 0 on success, 1 when not found / on time-out, 2 on bad usage.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// Writes bytes as they are (no console code page conversion).
void Out(const std::string& line) {
  std::string s = line + "\n";
  DWORD done = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), static_cast<DWORD>(s.size()), &done, nullptr);
}

std::wstring Escape(const std::wstring& s) {
  std::wstring out;
  for (wchar_t c : s) {
    if (c == L'\r') out += L"\\r";
    else if (c == L'\n') out += L"\\n";
    else if (c == L'\\') out += L"\\\\";
    else out += c;
  }
  return out;
}

std::wstring WindowText(HWND w) {
  wchar_t buf[1024] = {};
  GetWindowTextW(w, buf, 1024);
  return buf;
}

std::wstring ClassOf(HWND w) {
  wchar_t buf[256] = {};
  GetClassNameW(w, buf, 256);
  return buf;
}

int Version(const std::wstring& path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (!size) return 1;
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return 1;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) && fixed) {
    char buf[128];
    snprintf(buf, sizeof buf, "FixedFileVersion=%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
             LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    Out(buf);
    snprintf(buf, sizeof buf, "FixedProductVersion=%u.%u.%u.%u", HIWORD(fixed->dwProductVersionMS),
             LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
             LOWORD(fixed->dwProductVersionLS));
    Out(buf);
  }
  struct Lang {
    WORD lang, cp;
  }* langs = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&langs), &len) ||
      len < sizeof(Lang))
    return 1;
  wchar_t block[64];
  wsprintfW(block, L"%04x%04x", langs[0].lang, langs[0].cp);
  Out("Translation=" + Utf8(block));
  for (const wchar_t* key : {L"ProductName", L"FileVersion", L"ProductVersion", L"FileDescription"}) {
    std::wstring q = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + key;
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), q.c_str(), reinterpret_cast<void**>(&value), &len) && value)
      Out(Utf8(key) + "=" + Utf8(value));
  }
  return 0;
}

struct Search {
  std::wstring cls, caption;
  bool box = false;
  HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND w, LPARAM arg) {
  auto* s = reinterpret_cast<Search*>(arg);
  if (!IsWindowVisible(w)) return TRUE;
  if (s->box) {
    if (ClassOf(w) == L"#32770" && WindowText(w) == s->caption) s->found = w;
  } else if (ClassOf(w) == s->cls && (s->caption.empty() || WindowText(w) == s->caption)) {
    s->found = w;
  }
  return s->found ? FALSE : TRUE;
}

HWND WaitFor(Search& s, DWORD ms) {
  DWORD start = GetTickCount();
  do {
    s.found = nullptr;
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
    if (s.found) return s.found;
    Sleep(100);
  } while (GetTickCount() - start < ms);
  return nullptr;
}

// The box's message: the static control that is not the icon.
std::wstring BoxText(HWND box) {
  std::wstring text = WindowText(GetDlgItem(box, 0xFFFF));
  if (!text.empty()) return text;
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (ClassOf(c) == L"Static" && !WindowText(c).empty()) return WindowText(c);
  }
  return text;
}

// The push buttons of a box, in window order.
std::vector<HWND> Buttons(HWND box) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (ClassOf(c) == L"Button" && IsWindowVisible(c)) out.push_back(c);
  }
  return out;
}

// A caption without its accelerator mark: "&Yes" -> "Yes".
std::wstring Plain(std::wstring s) {
  std::wstring out;
  for (wchar_t c : s) {
    if (c != L'&') out += c;
  }
  return out;
}

BOOL CALLBACK FindEdit(HWND w, LPARAM arg) {
  if (ClassOf(w) == L"Edit" && IsWindowVisible(w)) {
    *reinterpret_cast<HWND*>(arg) = w;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv && argc == 2 && std::wstring(argv[1]) == L"acp") {
    Out("ACP=" + std::to_string(GetACP()));  // the code page the process runs with
    return 0;
  }
  if (!argv || argc < 3) return 2;
  std::wstring cmd = argv[1];
  if (cmd == L"version") return Version(argv[2]);
  if (cmd == L"drive") {
    for (int i = 2; i < argc; ++i) Out(Utf8(argv[i]) + "=" + std::to_string(GetDriveTypeW(argv[i])));
    return 0;
  }
  if (cmd == L"attr") {
    DWORD a = GetFileAttributesW(argv[2]);
    if (a == INVALID_FILE_ATTRIBUTES) return 1;
    Out("Attributes=" + std::to_string(a));
    return 0;
  }
  if (argc < 4) return 2;
  DWORD ms = wcstoul(argv[3], nullptr, 10);
  Search s;
  if (cmd == L"waitwin") {
    s.cls = argv[2];
    if (argc > 4) s.caption = argv[4];
  } else if (cmd == L"waitbox" || cmd == L"pressbox" || cmd == L"filebox") {
    s.caption = argv[2];
    s.box = true;
  } else if (cmd == L"answerbox" && argc > 4) {
    s.caption = argv[2];
    s.box = true;
  } else {
    return 2;
  }
  Out("Waiting");  // the caller may start the program now
  HWND w = WaitFor(s, ms);
  if (!w) return 1;
  RECT r;
  GetWindowRect(w, &r);
  Out("Title=" + Utf8(Escape(WindowText(w))));
  Out("Size=" + std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
  Out("Style=" + std::to_string(static_cast<unsigned long>(GetWindowLongW(w, GWL_STYLE))));
  if (s.box) {
    HWND owner = GetWindow(w, GW_OWNER);
    Out("Text=" + Utf8(Escape(BoxText(w))));
    Out("OwnerClass=" + Utf8(owner ? ClassOf(owner) : std::wstring()));
    std::wstring names;
    for (HWND b : Buttons(w)) names += (names.empty() ? L"" : L"|") + Plain(WindowText(b));
    Out("Buttons=" + Utf8(names));
    if (cmd == L"pressbox") PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    if (cmd == L"answerbox") {
      // The caption itself, else the first caption that begins with it
      // ("是" for "是(Y)").
      HWND pick = nullptr;
      for (HWND b : Buttons(w)) {
        if (Plain(WindowText(b)) == argv[4]) pick = b;
      }
      for (HWND b : Buttons(w)) {
        if (!pick && Plain(WindowText(b)).rfind(argv[4], 0) == 0) pick = b;
      }
      for (HWND b : Buttons(w)) {
        if (b == pick) {
          PostMessageW(w, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(b), BN_CLICKED), reinterpret_cast<LPARAM>(b));
          Out("Answered=" + Utf8(argv[4]));
          return 0;
        }
      }
      return 1;
    }
    if (cmd == L"filebox") {
      if (argc < 5) return 2;
      HWND edit = nullptr;
      EnumChildWindows(w, FindEdit, reinterpret_cast<LPARAM>(&edit));
      if (!edit) return 1;
      SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
      PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      Out("Opened=" + Utf8(argv[4]));
    }
  }
  return 0;
}
