// The Win32 adapter, part 3: files by UTF-16 path (the user's own files, whose
// names need not fit code page 936 and whose paths may pass 260 characters),
// raw registry access, and the text input box.
#include "platform/win32/win32_platform.h"

#include <shlobj.h>

#include <cstring>
#include <vector>

namespace mv {

namespace {

std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
std::u16string U(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

// The "\\?\" form of a drive path, which passes the 260-character limit: the
// system then takes the path as it is, so separators are made single first.
std::wstring LongForm(const std::u16string& path) {
  std::wstring w = W(path);
  for (wchar_t& c : w) {
    if (c == L'/') c = L'\\';
  }
  if (w.size() >= 2 && w[0] == L'\\' && w[1] == L'\\') return w;  // already a device or UNC path
  std::wstring out;
  for (size_t i = 0; i < w.size(); ++i) {
    if (w[i] == L'\\' && !out.empty() && out.back() == L'\\') continue;
    out += w[i];
  }
  while (out.size() > 3 && out.back() == L'\\') out.pop_back();
  if (out.size() >= 2 && out[1] == L':') return L"\\\\?\\" + out;
  return out;
}

// Copies the bytes of an open source into a new file, asking keep_going
// between blocks; keeps the source's times. False on any failure or cancel.
bool CopyBytes(HANDLE in, const std::wstring& to, const std::function<bool()>& keep_going) {
  HANDLE out = ::CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  std::vector<char> buf(1 << 16);
  bool ok = true;
  for (;;) {
    if (keep_going && !keep_going()) {
      ok = false;
      break;
    }
    DWORD got = 0, put = 0;
    if (!::ReadFile(in, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!::WriteFile(out, buf.data(), got, &put, nullptr) || put != got) {
      ok = false;
      break;
    }
  }
  FILETIME created, accessed, written;
  if (ok && ::GetFileTime(in, &created, &accessed, &written)) ::SetFileTime(out, &created, &accessed, &written);
  ok = ::CloseHandle(out) && ok;
  return ok;
}

}  // namespace

bool Win32Platform::ListFolderWide(const std::u16string& folder, std::vector<WideEntry>& out) {
  out.clear();
  std::wstring pattern = LongForm(folder);
  if (pattern.empty()) return false;
  if (pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW(pattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (std::wcscmp(fd.cFileName, L".") == 0 || std::wcscmp(fd.cFileName, L"..") == 0) continue;
    WideEntry e;
    e.name = U(fd.cFileName);
    e.is_directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Junctions, symbolic links and mounted folders are name surrogates
    // (bit 29 of the tag); other reparse points (cloud placeholders,
    // compressed system files) are files like any other. Where the search
    // gives no tag (Wine, for its symbolic links) the entry counts as a link.
    const bool reparse = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    e.is_link = reparse && (fd.dwReserved0 == 0 || (fd.dwReserved0 & 0x20000000u) != 0);
    e.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    out.push_back(e);
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
  return true;
}

bool Win32Platform::ExistsWide(const std::u16string& path) {
  const std::wstring w = LongForm(path);
  if (w.empty()) return false;
  if (::GetFileAttributesW(w.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return false;
    default:
      return true;  // there, but not to be read (access denied, in use)
  }
}

bool Win32Platform::CreateFolderWide(const std::u16string& path) {
  std::wstring w = LongForm(path);
  if (::CreateDirectoryW(w.c_str(), nullptr)) return true;
  DWORD a = ::GetFileAttributesW(w.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Platform::CopyFileWide(const std::u16string& from, const std::u16string& to,
                                 const std::function<bool()>& keep_going) {
  std::wstring a = LongForm(from), b = LongForm(to);
  HANDLE in = ::CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  // Into a side file first, then over the target in one rename: a failed or
  // cancelled copy never leaves a partial file under the target's name.
  std::wstring part = b + L".mvpart";
  bool ok = CopyBytes(in, part, keep_going);
  DWORD attributes = ::GetFileAttributesW(a.c_str());
  ::CloseHandle(in);
  if (ok) ok = ::MoveFileExW(part.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  if (!ok) {
    ::DeleteFileW(part.c_str());
    return false;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    ::SetFileAttributesW(b.c_str(), attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
  }
  return true;
}

std::u16string Win32Platform::ShellFolderWide(int csidl) {
  wchar_t buf[MAX_PATH] = {0};
  if (!::SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE)) return {};
  std::wstring w(buf);
  while (w.size() > 3 && w.back() == L'\\') w.pop_back();
  return U(w);
}

// ---- Raw registry access --------------------------------------------------------
// The same native view as the typed operations (see win32_files.cpp).

namespace {

const REGSAM kRawView = KEY_WOW64_64KEY;

bool RawRoot(RegRoot r, HKEY& out) {
  switch (r) {
    case kHkeyClassesRoot: out = HKEY_CLASSES_ROOT; return true;
    case kHkeyCurrentUser: out = HKEY_CURRENT_USER; return true;
    case kHkeyLocalMachine: out = HKEY_LOCAL_MACHINE; return true;
    case kHkeyUsers: out = HKEY_USERS; return true;
    case kHkeyCurrentConfig: out = HKEY_CURRENT_CONFIG; return true;
  }
  return false;
}

bool OpenRaw(RegRoot root, const Text& key, REGSAM access, bool create, HKEY& k) {
  HKEY r;
  if (!RawRoot(root, r)) return false;
  if (create) {
    return ::RegCreateKeyExW(r, Wide(key).c_str(), 0, nullptr, 0, access | kRawView, nullptr, &k, nullptr) ==
           ERROR_SUCCESS;
  }
  return ::RegOpenKeyExW(r, Wide(key).c_str(), 0, access | kRawView, &k) == ERROR_SUCCESS;
}

bool IsTextType(uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

}  // namespace

bool Win32Platform::RegKeyOpens(RegRoot root, const Text& key, bool create) {
  HKEY k;
  if (!OpenRaw(root, key, KEY_READ, create, k)) return false;
  ::RegCloseKey(k);
  return true;
}

bool Win32Platform::RegReadRaw(RegRoot root, const Text& key, const Text& name, uint32_t& type, Bytes& data) {
  HKEY k;
  if (!OpenRaw(root, key, KEY_QUERY_VALUE, false, k)) return false;
  std::wstring n = Wide(name);
  DWORD t = 0, size = 0;
  LONG r = ::RegQueryValueExW(k, n.c_str(), nullptr, &t, nullptr, &size);
  std::vector<BYTE> buf;
  while (r == ERROR_SUCCESS || r == ERROR_MORE_DATA) {
    buf.resize(size + 2);
    DWORD got = size;
    r = ::RegQueryValueExW(k, n.c_str(), nullptr, &t, buf.data(), &got);
    if (r == ERROR_SUCCESS) {
      buf.resize(got);
      break;
    }
    if (r != ERROR_MORE_DATA) break;
    size = got > size ? got : size * 2 + 16;
  }
  ::RegCloseKey(k);
  if (r != ERROR_SUCCESS) return false;
  type = t;
  if (IsTextType(t)) {
    Text g = Gbk(reinterpret_cast<const wchar_t*>(buf.data()), static_cast<int>(buf.size() / sizeof(wchar_t)));
    data.assign(g.begin(), g.end());
  } else {
    data.assign(buf.begin(), buf.end());
  }
  return true;
}

bool Win32Platform::RegWriteRaw(RegRoot root, const Text& key, const Text& name, uint32_t type, const Bytes& data) {
  HKEY k;
  if (!OpenRaw(root, key, KEY_SET_VALUE, true, k)) return false;
  LONG r;
  if (IsTextType(type)) {
    std::wstring w = Wide(Text(data.begin(), data.end()));
    r = ::RegSetValueExW(k, Wide(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(w.data()),
                         static_cast<DWORD>(w.size() * sizeof(wchar_t)));
  } else {
    r = ::RegSetValueExW(k, Wide(name).c_str(), 0, type, data.empty() ? nullptr : data.data(),
                         static_cast<DWORD>(data.size()));
  }
  ::RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

bool Win32Platform::RegListValues(RegRoot root, const Text& key, std::vector<std::pair<Text, uint32_t>>& values) {
  values.clear();
  HKEY k;
  if (!OpenRaw(root, key, KEY_QUERY_VALUE, false, k)) return false;
  DWORD count = 0, longest = 0;
  if (::RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS) {
    ::RegCloseKey(k);
    return false;
  }
  std::vector<wchar_t> name(longest + 2);
  for (DWORD i = 0; i < count; ++i) {
    DWORD len = static_cast<DWORD>(name.size()), type = 0;
    if (::RegEnumValueW(k, i, name.data(), &len, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
    values.emplace_back(Gbk(name.data(), static_cast<int>(len)), type);
  }
  ::RegCloseKey(k);
  return true;
}

bool Win32Platform::RegRemoveKey(RegRoot root, const Text& key) {
  HKEY r;
  if (!RawRoot(root, r) || key.empty()) return false;
  // RegDeleteKeyEx (with the view) is missing on XP: the view matters only
  // under WOW64, where the function exists.
  typedef LONG(WINAPI * DeleteKeyEx)(HKEY, LPCWSTR, REGSAM, DWORD);
  DeleteKeyEx del = reinterpret_cast<DeleteKeyEx>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
  std::wstring w = Wide(key);
  if (del) return del(r, w.c_str(), kRawView, 0) == ERROR_SUCCESS;
  return ::RegDeleteKeyW(r, w.c_str()) == ERROR_SUCCESS;
}

bool Win32Platform::RegFlush(RegRoot root, const Text& key) {
  HKEY k;
  if (!OpenRaw(root, key, KEY_READ, false, k)) return false;
  LONG r = ::RegFlushKey(k);
  ::RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

// ---- Text input box ---------------------------------------------------------------
// A dialog built in memory: prompt, edit field, OK and Cancel.

namespace {

struct InputBoxData {
  std::wstring prompt, title, text;
};

enum { kIdEdit = 100, kIdPrompt = 101 };

INT_PTR CALLBACK InputBoxProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG: {
      InputBoxData* d = reinterpret_cast<InputBoxData*>(lparam);
      ::SetWindowLongPtrW(dlg, DWLP_USER, lparam);
      ::SetWindowTextW(dlg, d->title.c_str());
      ::SetDlgItemTextW(dlg, kIdPrompt, d->prompt.c_str());
      ::SetDlgItemTextW(dlg, kIdEdit, d->text.c_str());
      ::SendDlgItemMessageW(dlg, kIdEdit, EM_SETSEL, 0, -1);
      ::SetFocus(::GetDlgItem(dlg, kIdEdit));
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        InputBoxData* d = reinterpret_cast<InputBoxData*>(::GetWindowLongPtrW(dlg, DWLP_USER));
        int n = ::GetWindowTextLengthW(::GetDlgItem(dlg, kIdEdit));
        std::wstring t(static_cast<size_t>(n) + 1, L'\0');
        ::GetDlgItemTextW(dlg, kIdEdit, &t[0], n + 1);
        t.resize(static_cast<size_t>(n));
        d->text = t;
        ::EndDialog(dlg, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        ::EndDialog(dlg, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

// Appends one item of a DLGTEMPLATE to the buffer (WORD aligned pieces).
void Align(std::vector<WORD>& t, size_t words) {
  while (t.size() % words) t.push_back(0);
}

void AddItem(std::vector<WORD>& t, DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls,
             const wchar_t* text) {
  Align(t, 2);  // DLGITEMTEMPLATE is DWORD aligned
  DLGITEMTEMPLATE item = {};
  item.style = style | WS_CHILD | WS_VISIBLE;
  item.x = x;
  item.y = y;
  item.cx = cx;
  item.cy = cy;
  item.id = id;
  const WORD* p = reinterpret_cast<const WORD*>(&item);
  t.insert(t.end(), p, p + sizeof item / sizeof(WORD));
  t.push_back(0xFFFF);
  t.push_back(cls);
  for (const wchar_t* c = text; *c; ++c) t.push_back(static_cast<WORD>(*c));
  t.push_back(0);
  t.push_back(0);  // no creation data
}

}  // namespace

bool Win32Platform::AskText(const Text& prompt, const Text& title, const Text& initial, WindowRef owner,
                            Text& answer) {
  std::vector<WORD> t;
  DLGTEMPLATE head = {};
  head.style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  head.cdit = 4;
  head.cx = 240;
  head.cy = 86;
  const WORD* p = reinterpret_cast<const WORD*>(&head);
  t.insert(t.end(), p, p + sizeof head / sizeof(WORD));
  t.push_back(0);  // no menu
  t.push_back(0);  // standard class
  t.push_back(0);  // title set at initialisation
  t.push_back(9);  // font size, then name
  for (const wchar_t* c = L"MS Shell Dlg"; *c; ++c) t.push_back(static_cast<WORD>(*c));
  t.push_back(0);
  AddItem(t, SS_LEFT, 8, 6, 224, 28, kIdPrompt, 0x0082, L"");
  AddItem(t, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 8, 38, 224, 14, kIdEdit, 0x0081, L"");
  AddItem(t, BS_DEFPUSHBUTTON | WS_TABSTOP, 120, 62, 52, 16, IDOK, 0x0080, L"\x786e\x5b9a");
  AddItem(t, BS_PUSHBUTTON | WS_TABSTOP, 180, 62, 52, 16, IDCANCEL, 0x0080, L"\x53d6\x6d88");
  InputBoxData d{Wide(prompt), Wide(title), Wide(initial)};
  INT_PTR r = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()),
                                        reinterpret_cast<HWND>(owner), InputBoxProc, reinterpret_cast<LPARAM>(&d));
  if (r != IDOK) return false;
  answer = Gbk(d.text.c_str(), static_cast<int>(d.text.size()));
  return true;
}

}  // namespace mv
