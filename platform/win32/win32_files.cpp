// The Win32 adapter, part 1: character sets, files and folders, drives,
// registry, profile files and version resources.
#include "platform/win32/win32_platform.h"

#include <shlobj.h>

#include <cwchar>

#include "platform/names.h"
#include "platform/profile_text.h"

namespace mv {

std::wstring Wide(const Text& gbk) {
  if (gbk.empty()) return {};
  int n = ::MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(n, L'\0');
  ::MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), &w[0], n);
  return w;
}

Text Gbk(const wchar_t* wide, int length) {
  if (!wide) return {};
  if (length < 0) length = static_cast<int>(std::wcslen(wide));
  if (length == 0) return {};
  int n = ::WideCharToMultiByte(936, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  Text s(n, '\0');
  ::WideCharToMultiByte(936, 0, wide, length, &s[0], n, nullptr, nullptr);
  return s;
}

namespace {

// A wide path with a trailing separator removed, except after a drive
// ("D:\\" stays): the directory search does not accept one.
std::wstring SearchPath(const Text& path) {
  std::wstring w = Wide(path);
  while (w.size() > 3 && (w.back() == L'\\' || w.back() == L'/')) w.pop_back();
  return w;
}

bool IsRoot(const std::wstring& w) {
  return w.size() == 3 && w[1] == L':' && (w[2] == L'\\' || w[2] == L'/');
}

LocalTime FromFileTime(const FILETIME& ft) {
  FILETIME local;
  SYSTEMTIME st;
  LocalTime t;
  if (::FileTimeToLocalFileTime(&ft, &local) && ::FileTimeToSystemTime(&local, &st)) {
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.milliseconds = st.wMilliseconds;
    t.weekday = st.wDayOfWeek;
  }
  return t;
}

HANDLE AsFile(Handle h) { return reinterpret_cast<HANDLE>(h); }

bool WriteAll(HANDLE f, const uint8_t* data, size_t size) {
  while (size > 0) {
    DWORD chunk = size > (1u << 24) ? (1u << 24) : static_cast<DWORD>(size), done = 0;
    if (!::WriteFile(f, data, chunk, &done, nullptr) || done != chunk) return false;
    data += done;
    size -= done;
  }
  return true;
}

// "D:", "d:\\anything" -> L"D:\\"; empty when there is no drive letter.
std::wstring RootOf(const Text& text) {
  if (text.empty()) return {};
  wchar_t l = static_cast<wchar_t>(static_cast<unsigned char>(text[0]));
  if (l >= L'a' && l <= L'z') l = static_cast<wchar_t>(l - L'a' + L'A');
  if (l < L'A' || l > L'Z') return {};
  return std::wstring(1, l) + L":\\";
}

}  // namespace

// ---- Character sets ----------------------------------------------------------

std::u16string Win32Platform::AnsiToWide(const Text& ansi) {
  std::wstring w = Wide(ansi);
  return std::u16string(w.begin(), w.end());
}

Text Win32Platform::WideToAnsi(const std::u16string& wide) {
  std::wstring w(wide.begin(), wide.end());
  return Gbk(w);
}

Text Win32Platform::Utf8ToAnsi(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(n, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
  return Gbk(w);
}

// ---- Files and folders -------------------------------------------------------

bool Win32Platform::FileExists(const Text& path) {
  if (path.find_first_of("*?") != Text::npos) return !ListFolder(path).empty();
  std::wstring w = SearchPath(path);
  if (w.empty()) return false;
  if (IsRoot(w)) return ::GetFileAttributesW(w.c_str()) != INVALID_FILE_ATTRIBUTES;
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW(w.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::FindClose(h);
  return true;
}

void Win32Platform::CreateFolder(const Text& path) { ::CreateDirectoryW(Wide(path).c_str(), nullptr); }

bool Win32Platform::RemoveFile(const Text& path) { return ::DeleteFileW(Wide(path).c_str()) != 0; }

bool Win32Platform::RemoveFolder(const Text& path) { return ::RemoveDirectoryW(SearchPath(path).c_str()) != 0; }

bool Win32Platform::CopyFileOver(const Text& from, const Text& to) {
  return ::CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE) != 0;
}

bool Win32Platform::RenameFile(const Text& from, const Text& to) {
  return ::MoveFileW(Wide(from).c_str(), Wide(to).c_str()) != 0;
}

bool Win32Platform::SetAttributes(const Text& path, uint32_t attributes) {
  DWORD a = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  return ::SetFileAttributesW(SearchPath(path).c_str(), a ? a : FILE_ATTRIBUTE_NORMAL) != 0;
}

uint32_t Win32Platform::GetAttributes(const Text& path) {
  return ::GetFileAttributesW(SearchPath(path).c_str());
}

bool Win32Platform::WriteWholeFile(const Text& path, const std::vector<Bytes>& pieces) {
  if (path.empty()) return false;
  // Opened exclusively and cut to nothing; OPEN_ALWAYS rather than
  // CREATE_ALWAYS, which refuses an existing hidden or system file.
  HANDLE f = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  bool ok = ::SetEndOfFile(f) != 0;
  for (const Bytes& b : pieces) {
    if (ok && !b.empty()) ok = WriteAll(f, b.data(), b.size());
  }
  return ::CloseHandle(f) && ok;
}

bool Win32Platform::ReadWholeFile(const Text& path, Bytes& out) {
  HANDLE f = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  out.clear();
  uint8_t buf[65536];
  DWORD got = 0;
  bool ok = true;
  for (;;) {
    if (!::ReadFile(f, buf, sizeof buf, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    out.insert(out.end(), buf, buf + got);
  }
  ::CloseHandle(f);
  return ok;
}

int64_t Win32Platform::FileSize(const Text& path) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!::GetFileAttributesExW(SearchPath(path).c_str(), GetFileExInfoStandard, &d)) return -1;
  if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<int64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

std::vector<DirEntry> Win32Platform::ListFolder(const Text& pattern) {
  std::vector<DirEntry> out;
  // The mask is matched again against the long name: the directory search
  // also matches 8.3 names, so that "*.wim" would find "a.wimx" as "A~1.WIM".
  size_t cut = LastSeparator(pattern);
  Text mask = cut == Text::npos ? pattern : pattern.substr(cut + 1);
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW(Wide(pattern).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    if (std::wcscmp(fd.cFileName, L".") == 0 || std::wcscmp(fd.cFileName, L"..") == 0) continue;
    DirEntry e;
    e.name = Gbk(fd.cFileName);
    if (!WildcardMatch(mask, e.name)) continue;
    e.is_directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.size = e.is_directory ? 0 : ((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
    e.created = FromFileTime(fd.ftCreationTime);
    out.push_back(e);
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
  return out;
}

Handle Win32Platform::OpenRead(const Text& path) {
  HANDLE f = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return f == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<Handle>(f);
}

Handle Win32Platform::OpenAppendShared(const Text& path) {
  // Append-only access: every write lands at the current end of the file,
  // also when another handle or process has appended in the meantime.
  HANDLE f = ::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return kNoHandle;
  ::SetFilePointer(f, 0, nullptr, FILE_END);
  return reinterpret_cast<Handle>(f);
}

int64_t Win32Platform::Read(Handle file, void* buffer, uint32_t size) {
  DWORD got = 0;
  if (!::ReadFile(AsFile(file), buffer, size, &got, nullptr)) return -1;
  return got;
}

bool Win32Platform::Write(Handle file, const void* data, uint32_t size) {
  DWORD done = 0;
  return ::WriteFile(AsFile(file), data, size, &done, nullptr) && done == size;
}

void Win32Platform::Close(Handle file) {
  if (file != kNoHandle) ::CloseHandle(AsFile(file));
}

bool Win32Platform::CopyFileWithProgress(const Text& from, const Text& to, const CopyProgress& progress) {
  // A copy loop of its own rather than CopyFileEx: the progress reaches the
  // caller in steps of 1 MB on every system (Wine never calls the progress
  // routine of CopyFileEx and cannot cancel it), and a cancelled or failed
  // copy deletes its target, so that no half-copied image is left behind.
  std::wstring src = Wide(from), dst = Wide(to);
  HANDLE in = ::CreateFileW(src.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(in, &info)) {
    ::CloseHandle(in);
    return false;
  }
  HANDLE out = ::CreateFileW(dst.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    ::CloseHandle(in);
    return false;
  }
  const uint64_t total = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  uint64_t copied = 0;
  bool ok = ::SetEndOfFile(out) && (!progress || progress(total, 0));
  std::vector<uint8_t> buf(1 << 20);
  while (ok) {
    DWORD got = 0;
    if (!::ReadFile(in, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    ok = WriteAll(out, buf.data(), got);
    copied += got;
    if (ok && progress && !progress(total, copied)) ok = false;
  }
  if (ok) ::SetFileTime(out, nullptr, nullptr, &info.ftLastWriteTime);
  ok = ::CloseHandle(out) && ok;
  ::CloseHandle(in);
  if (!ok) {
    ::DeleteFileW(dst.c_str());
    return false;
  }
  ::SetFileAttributesW(dst.c_str(), info.dwFileAttributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive));
  return true;
}

// ---- Drives and folders --------------------------------------------------------

int Win32Platform::DriveType(const Text& root) {
  std::wstring r = RootOf(root);
  if (r.empty() || root.size() < 2 || root[1] != ':') return kDriveNoRoot;
  return static_cast<int>(::GetDriveTypeW(r.c_str()));
}

int64_t Win32Platform::FreeSpaceKb(const Text& drive) {
  std::wstring root = RootOf(drive);
  if (root.empty()) {
    wchar_t cur[MAX_PATH];
    if (!::GetCurrentDirectoryW(MAX_PATH, cur)) return -1;
    root = RootOf(Gbk(cur));
    if (root.empty()) return -1;
  }
  typedef BOOL(WINAPI * FreeEx)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  FreeEx ex = reinterpret_cast<FreeEx>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetDiskFreeSpaceExW")));
  if (ex) {
    ULARGE_INTEGER avail, total, free_total;
    if (!ex(root.c_str(), &avail, &total, &free_total)) return -1;
    return static_cast<int64_t>(avail.QuadPart / 1024);
  }
  DWORD spc, bps, free_clusters, clusters;
  if (!::GetDiskFreeSpaceW(root.c_str(), &spc, &bps, &free_clusters, &clusters)) return -1;
  return static_cast<int64_t>(static_cast<uint64_t>(spc) * bps * free_clusters / 1024);
}

Text Win32Platform::SystemDirectory() {
  wchar_t buf[MAX_PATH];
  UINT n = ::GetSystemDirectoryW(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? Gbk(buf, n) : Text();
}

Text Win32Platform::WindowsDirectory() {
  wchar_t buf[MAX_PATH];
  UINT n = ::GetWindowsDirectoryW(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? Gbk(buf, n) : Text();
}

Text Win32Platform::TempDirectory() {
  wchar_t buf[MAX_PATH + 1];
  DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH) return {};
  Text t = Gbk(buf, n);
  if (!t.empty() && t.back() != '\\') t += '\\';
  return t;
}

Text Win32Platform::ShellFolder(int csidl) {
  wchar_t buf[MAX_PATH] = {0};
  if (!::SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE)) return {};
  std::wstring w(buf);
  while (w.size() > 3 && w.back() == L'\\') w.pop_back();
  return Gbk(w);
}

// ---- Registry ------------------------------------------------------------------
// Every key is opened in the machine's native view (KEY_WOW64_64KEY): the
// 32-bit program on 64-bit Windows reads and writes the same keys as the
// system's own tools and the PE, not the Wow6432Node copies. The flag is
// ignored on 32-bit Windows.

namespace {
HKEY RootKey(RegRoot r) {
  switch (r) {
    case kHkeyClassesRoot: return HKEY_CLASSES_ROOT;
    case kHkeyCurrentUser: return HKEY_CURRENT_USER;
    case kHkeyLocalMachine: return HKEY_LOCAL_MACHINE;
    case kHkeyUsers: return HKEY_USERS;
    case kHkeyCurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return HKEY_CURRENT_USER;
}

const REGSAM kView = KEY_WOW64_64KEY;

bool QueryValue(RegRoot root, const Text& key, const Text& name, DWORD& type, std::vector<BYTE>& data) {
  HKEY k;
  if (::RegOpenKeyExW(RootKey(root), Wide(key).c_str(), 0, KEY_QUERY_VALUE | kView, &k) != ERROR_SUCCESS) {
    return false;
  }
  std::wstring n = Wide(name);
  DWORD size = 0;
  LONG r = ::RegQueryValueExW(k, n.c_str(), nullptr, &type, nullptr, &size);
  while (r == ERROR_SUCCESS || r == ERROR_MORE_DATA) {
    data.resize(size + 2);
    DWORD got = size;
    r = ::RegQueryValueExW(k, n.c_str(), nullptr, &type, data.data(), &got);
    if (r == ERROR_SUCCESS) {
      data.resize(got);
      break;
    }
    if (r != ERROR_MORE_DATA) break;
    size = got > size ? got : size * 2 + 16;
  }
  ::RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

bool SetValue(RegRoot root, const Text& key, const Text& name, DWORD type, const BYTE* data, DWORD size) {
  HKEY k;
  if (::RegCreateKeyExW(RootKey(root), Wide(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr, &k,
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG r = ::RegSetValueExW(k, Wide(name).c_str(), 0, type, data, size);
  ::RegCloseKey(k);
  return r == ERROR_SUCCESS;
}
}  // namespace

bool Win32Platform::RegReadString(RegRoot root, const Text& key, const Text& name, Text& value) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!QueryValue(root, key, name, type, data) || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  const wchar_t* w = reinterpret_cast<const wchar_t*>(data.data());
  size_t n = data.size() / sizeof(wchar_t);
  while (n > 0 && w[n - 1] == L'\0') --n;  // stored with or without terminators
  value = Gbk(w, static_cast<int>(n));
  return true;
}

bool Win32Platform::RegReadDword(RegRoot root, const Text& key, const Text& name, uint32_t& value) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!QueryValue(root, key, name, type, data) || type != REG_DWORD || data.size() < 4) return false;
  value = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
          (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
  return true;
}

bool Win32Platform::RegWriteString(RegRoot root, const Text& key, const Text& name, const Text& value) {
  std::wstring w = Wide(value);
  return SetValue(root, key, name, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                  static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
}

bool Win32Platform::RegWriteDword(RegRoot root, const Text& key, const Text& name, uint32_t value) {
  DWORD v = value;
  return SetValue(root, key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

bool Win32Platform::RegRemoveValue(RegRoot root, const Text& key, const Text& name) {
  HKEY k;
  if (::RegOpenKeyExW(RootKey(root), Wide(key).c_str(), 0, KEY_SET_VALUE | kView, &k) != ERROR_SUCCESS) {
    return false;
  }
  LONG r = ::RegDeleteValueW(k, Wide(name).c_str());
  ::RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

std::vector<Text> Win32Platform::RegSubKeys(RegRoot root, const Text& key) {
  std::vector<Text> out;
  HKEY k;
  if (::RegOpenKeyExW(RootKey(root), Wide(key).c_str(), 0, KEY_ENUMERATE_SUB_KEYS | kView, &k) != ERROR_SUCCESS) {
    return out;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD len = 256;
    LONG r = ::RegEnumKeyExW(k, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_MORE_DATA) continue;  // longer than a key name may be
    if (r != ERROR_SUCCESS) break;
    out.push_back(Gbk(name, static_cast<int>(len)));
  }
  ::RegCloseKey(k);
  return out;
}

// ---- Profile files ---------------------------------------------------------------
// The system's profile calls store a file that is not UTF-16 in the machine's
// own ANSI code page: on a Windows whose code page is not 936 every Chinese
// character would turn to "?". Such files are read and edited here on their
// bytes, with the profile rules (platform/profile_text.h), so that they hold
// GBK on any machine. A UTF-16 file (byte-order mark FF FE) is left to the
// system's calls, which keep it UTF-16.

namespace {

bool IsUtf16Profile(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  unsigned char mark[2] = {0, 0};
  DWORD got = 0;
  const bool utf16 = ::ReadFile(h, mark, 2, &got, nullptr) && got == 2 && mark[0] == 0xFF && mark[1] == 0xFE;
  ::CloseHandle(h);
  return utf16;
}

bool ReadAll(HANDLE h, std::string& out) {
  out.clear();
  char buf[4096];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(h, buf, sizeof buf, &got, nullptr)) return false;
    if (got == 0) return true;
    out.append(buf, got);
  }
}

}  // namespace

Text Win32Platform::IniRead(const Text& file, const Text& section, const Text& key, const Text& def) {
  const std::wstring f = Wide(file);
  if (IsUtf16Profile(f)) {
    std::wstring s = Wide(section), k = Wide(key), d = Wide(def);
    // The value is cut at the buffer's end without notice: grow until it fits.
    for (DWORD size = 1024; size <= (1u << 20); size *= 4) {
      std::wstring buf(size, L'\0');
      DWORD n = ::GetPrivateProfileStringW(s.c_str(), k.c_str(), d.c_str(), &buf[0], size, f.c_str());
      if (n < size - 1) return Gbk(buf.c_str(), static_cast<int>(n));
    }
  }
  Bytes bytes;
  std::string value;
  if (ReadWholeFile(file, bytes) && ProfileLookup(std::string(bytes.begin(), bytes.end()), section, key, value)) {
    return value;
  }
  // The profile calls drop the default's trailing blanks.
  Text d = def;
  while (!d.empty() && d.back() == ' ') d.pop_back();
  return d;
}

bool Win32Platform::IniWrite(const Text& file, const Text& section, const Text& key, const Text& value) {
  const std::wstring f = Wide(file);
  if (f.empty()) return false;
  if (IsUtf16Profile(f)) {
    return ::WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(), f.c_str()) !=
           0;
  }
  // Opened for ourselves alone while it is read and rewritten; made when
  // missing (its folder must exist). An existing hidden or system file (boot.ini)
  // opens as it is.
  HANDLE h = ::CreateFileW(f.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string content;
  bool ok = ReadAll(h, content);
  if (ok) {
    const std::string updated = ProfileUpdate(content, section, key, value);
    if (updated != content) {
      DWORD put = 0;
      ok = ::SetFilePointer(h, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ::WriteFile(h, updated.data(), static_cast<DWORD>(updated.size()), &put, nullptr) &&
           put == updated.size() && ::SetEndOfFile(h);
    }
  }
  ok = ::CloseHandle(h) && ok;
  return ok;
}

// ---- Version resources -------------------------------------------------------------

Text Win32Platform::FileVersionText(const Text& path) {
  std::wstring w = Wide(path);
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeW(w.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> info(size);
  if (!::GetFileVersionInfoW(w.c_str(), 0, size, info.data())) return {};
  struct Translation {
    WORD language;
    WORD codepage;
  };
  Translation* tr = nullptr;
  UINT len = 0;
  if (::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len) &&
      tr && len >= sizeof(Translation)) {
    wchar_t query[64];
    ::wsprintfW(query, L"\\StringFileInfo\\%04x%04x\\FileVersion", tr->language, tr->codepage);
    wchar_t* text = nullptr;
    UINT tlen = 0;
    if (::VerQueryValueW(info.data(), query, reinterpret_cast<void**>(&text), &tlen) && text && tlen > 0) {
      std::wstring v(text, tlen);
      while (!v.empty() && v.back() == L'\0') v.pop_back();
      if (!v.empty()) return Gbk(v);
    }
  }
  // No version string: the numbers of the fixed part.
  VS_FIXEDFILEINFO* fixed = nullptr;
  if (::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) && fixed &&
      len >= sizeof(VS_FIXEDFILEINFO)) {
    char buf[64];
    ::wsprintfA(buf, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return buf;
  }
  return {};
}

}  // namespace mv
