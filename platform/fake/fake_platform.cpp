// The fake platform: see fake_platform.h.
#include "platform/fake/fake_platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <system_error>

#include "platform/fake/fake_internal.h"
#include "platform/command_line.h"
#include "platform/profile_text.h"
#include "platform/names.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <thread>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace mv {
namespace {


// ---- Host file system ----------------------------------------------------
// Names on the host are the GBK bytes themselves on Linux and their UTF-16
// form in the Windows builds. Characters that GBK cannot hold (the files the
// UTF-16 operations make) travel inside the fake's paths as "\x01" + their
// UTF-8 bytes + "\x02", and are kept that way on a Linux host.
constexpr char kWideOpen = '\x01', kWideClose = '\x02';

// Extended GBK (with escapes) from UTF-16.
std::string ExtFromWide(const std::u16string& w) {
  std::string out;
  for (size_t i = 0; i < w.size();) {
    size_t n = (w[i] >= 0xD800 && w[i] < 0xDC00 && i + 1 < w.size()) ? 2 : 1;
    std::u16string c = w.substr(i, n);
    std::string g = fake::Utf16ToGbk(c);
    if (c != u"?" && (g == "?" || fake::GbkToUtf16(g) != c)) {
      uint32_t cp = n == 2 ? 0x10000 + ((c[0] - 0xD800) << 10) + (c[1] - 0xDC00) : c[0];
      out += kWideOpen;
      if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
      } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      }
      out += static_cast<char>(0x80 | (cp & 0x3F));
      out += kWideClose;
    } else {
      out += g;
    }
    i += n;
  }
  return out;
}

// UTF-16 from extended GBK.
std::u16string WideFromExt(const std::string& ext) {
  std::u16string out;
  size_t i = 0;
  while (i < ext.size()) {
    size_t open = ext.find(kWideOpen, i);
    out += fake::GbkToUtf16(ext.substr(i, open == std::string::npos ? std::string::npos : open - i));
    if (open == std::string::npos) break;
    size_t close = ext.find(kWideClose, open);
    if (close == std::string::npos) close = ext.size();
    out += fake::Utf8ToUtf16(ext.substr(open + 1, close - open - 1));
    i = close + 1;
  }
  return out;
}

fs::path HostName(const std::string& gbk) {
#if defined(_WIN32)
  std::u16string w = WideFromExt(gbk);
  return fs::path(std::wstring(w.begin(), w.end()));
#else
  return fs::path(gbk);
#endif
}

std::string GbkName(const fs::path& p) {
#if defined(_WIN32)
  std::wstring w = p.wstring();
  return ExtFromWide(std::u16string(w.begin(), w.end()));
#else
  return p.string();
#endif
}

std::FILE* OpenHost(const fs::path& p, const char* mode) {
#if defined(_WIN32)
  std::wstring m(mode, mode + std::char_traits<char>::length(mode));
  return ::_wfopen(p.c_str(), m.c_str());
#else
  return std::fopen(p.c_str(), mode);
#endif
}

void RealSleep(uint32_t ms) {
#if defined(_WIN32)
  ::Sleep(ms);
#else
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
#endif
}

bool IsSep(char c) { return c == '\\' || c == '/'; }

// Windows drops trailing dots and blanks of a path component.
std::string CleanComponent(std::string c) {
  if (c == "." || c == "..") return c;
  while (!c.empty() && (c.back() == '.' || c.back() == ' ')) c.pop_back();
  return c;
}

struct RegValue {
  Text name;        // as first written
  uint32_t type = kRegSz;
  Bytes data;       // text types: GBK bytes with their terminator(s)
};

Bytes TextBytes(const Text& t) {
  Bytes b(t.begin(), t.end());
  b.push_back(0);
  return b;
}

struct RegKey {
  Text name;        // last component as first written
  std::map<std::string, RegValue> values;  // by folded name
};

struct Drive {
  int type = kDriveFixed;
  int64_t free_kb = 0;
  bool not_ready = false;  // an empty card reader or CD drive
};

struct OpenFile {
  std::FILE* f = nullptr;
  fs::path::string_type key;
};

struct Thread {
  std::function<void()> body;
  std::atomic<bool> stop{false};
  std::atomic<bool> pause{false};
  std::atomic<bool> done{false};
#if defined(_WIN32)
  HANDLE handle = nullptr;
#else
  std::thread thread;
#endif
};

thread_local Thread* t_current = nullptr;
// The calling thread's error mode (bit 1: no critical-error boxes).
thread_local uint32_t t_error_mode = 0;
constexpr uint32_t kFailCriticalErrors = 1;

struct Library {
  Text name;
  std::map<std::string, void*> functions;
};

}  // namespace

struct FakePlatform::Impl {
  Mutex mu;
  fs::path root;
  std::map<char, Drive> drives;  // upper-case letters
  Text system_dir = "C:\\WINDOWS\\system32";
  Text windows_dir = "C:\\WINDOWS";
  Text temp_dir = "C:\\Users\\user\\AppData\\Local\\Temp\\";
  std::map<int, Text> shell_folders;
  std::map<fs::path::string_type, uint32_t> attributes;
  std::set<fs::path::string_type> denied;  // folders that cannot be listed
  std::map<Handle, OpenFile> open_files;
  Handle next_handle = 0x100;

  std::map<std::string, RegKey> registry;  // "root\\folded\\path"

  std::map<std::string, Text> versions;    // by folded host path
  bool has_wow64 = false;
  bool under_wine = false;
  WindowRef first_own_window = 0;
  uint32_t firmware_error = 1;
  int battery_flag = 128;
  uint64_t memory_mb = 4096;
  std::map<int, std::pair<int, Bytes>> identify;
  std::map<int, std::pair<Text, Text>> device_props;
  std::vector<std::pair<Text, Text>> boards;
  std::vector<Library> libraries;
  std::vector<Text> library_loads;
  int redirection_depth = 0;
  bool wow64_program = false;
  bool administrator = true;
  bool long_mode = true;

  std::vector<std::pair<Text, CodeHandler>> commands;
  std::vector<Text> commands_run;
  std::vector<Text> shell_opens;
  int restarts = 0;
  int ended_with = -1;

  std::deque<int> answers;
  std::deque<std::pair<bool, Text>> text_answers;
  int default_answer = kResOk;
  std::function<int(const FakeDialog&)> dialog_handler;
  std::vector<FakeDialog> dialogs;
  std::deque<Text> picks_queued;
  std::vector<FakeFilePick> picks;

  bool fake_clock = false;
  LocalTime clock_start;
  uint32_t tick_start = 0;
  uint64_t advanced_ms = 0;
  std::function<void(uint32_t)> clock_hook;
  bool in_clock_hook = false;
  std::function<void()> event_hook;
  int event_calls = 0;
  bool locale24 = true;
#if defined(_WIN32)
  DWORD window_thread = 0;
#else
  std::thread::id window_thread;
#endif

  std::map<Text, Bytes> urls;
  std::function<Bytes(const Text&)> url_handler;
  std::vector<Text> urls_fetched;
  std::map<Text, int64_t> url_sizes;
  std::map<std::string, std::vector<std::pair<Text, Text>>> cookies;  // by folded host
  std::vector<std::vector<Text>> cookies_set;
  int cache_clears = 0;

  std::map<Handle, std::shared_ptr<Thread>> threads;

  // The path a 32-bit program on 64-bit Windows reaches while redirection
  // is on: the system directory is the WOW64 one ("SysWOW64"), and the
  // "Sysnative" alias names the real system directory.
  Text Redirected(const Text& path) const {
    if (!wow64_program) return path;
    auto under = [&](const Text& dir) {
      const std::string p = FoldCase(path), d = FoldCase(dir);
      return p.size() >= d.size() && p.compare(0, d.size(), d) == 0 &&
             (p.size() == d.size() || IsSep(p[d.size()]));
    };
    const Text system = windows_dir + "\\system32";
    const Text native = windows_dir + "\\Sysnative";
    if (redirection_depth == 0 && under(system)) return windows_dir + "\\SysWOW64" + path.substr(system.size());
    if (under(native)) return system + path.substr(native.size());
    return path;
  }

  // Maps a Windows path onto the host; false when it is on no drive. The
  // program's own view (redirect) goes through WOW64 redirection when the
  // fake plays a 32-bit program on 64-bit Windows; the set-up helpers do not.
  bool Map(const Text& windows_path, fs::path& out, bool redirect = true) {
    const Text path = redirect ? Redirected(windows_path) : windows_path;
    if (path.size() < 2 || path[1] != ':') return false;
    char letter = path[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    auto d = drives.find(letter);
    if (d == drives.end() || d->second.type == kDriveNoRoot) return false;
    if (d->second.not_ready) {
      // Windows asks the user to insert a disk, unless the thread said not to.
      if (!(t_error_mode & kFailCriticalErrors)) {
        FakeDialog box;
        box.text = "驱动器中没有磁盘。请将磁盘插入驱动器 " + Text(1, letter) + ":。";
        box.caption = "Windows - 没有磁盘";
        box.flags = kMbIconError | kMbSystemModal;
        dialogs.push_back(box);
      }
      return false;
    }
    fs::path p = root / std::string(1, static_cast<char>(letter - 'A' + 'a'));
    std::vector<std::string> parts;
    size_t i = 2;
    while (i < path.size()) {
      while (i < path.size() && IsSep(path[i])) ++i;
      size_t j = i;
      while (j < path.size() && !IsSep(path[j])) j += GbkCharLength(path, j);
      if (j > path.size()) j = path.size();
      if (j > i) {
        std::string c = CleanComponent(path.substr(i, j - i));
        if (c == "..") {
          if (!parts.empty()) parts.pop_back();
        } else if (c != "." && !c.empty()) {
          parts.push_back(c);
        }
      }
      i = j;
    }
    bool exists = true;
    for (const std::string& c : parts) {
      fs::path next = p / HostName(c);
      std::error_code ec;
      if (exists && !fs::exists(next, ec)) {
        bool found = false;
        for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
          if (SameNameNoCase(GbkName(it->path().filename()), c)) {
            next = it->path();
            found = true;
            break;
          }
        }
        exists = found;
      }
      p = next;
    }
    out = p;
    return true;
  }

  bool IsOpen(const fs::path& p) {
    for (const auto& f : open_files) {
      if (f.second.key == p.native()) return true;
    }
    return false;
  }

  bool ReadOnly(const fs::path& p) {
    auto a = attributes.find(p.native());
    return a != attributes.end() && (a->second & kAttrReadOnly);
  }

  static std::string RegPath(RegRoot root, const Text& key) {
    std::string k = key;
    while (!k.empty() && k.front() == '\\') k.erase(0, 1);
    while (!k.empty() && k.back() == '\\') k.pop_back();
    return std::to_string(static_cast<int>(root)) + (k.empty() ? "" : "\\" + FoldCase(k));
  }

  RegKey* CreateKey(RegRoot r, const Text& key) {
    std::string k = key;
    while (!k.empty() && k.front() == '\\') k.erase(0, 1);
    while (!k.empty() && k.back() == '\\') k.pop_back();
    std::string path = std::to_string(static_cast<int>(r));
    RegKey* node = &registry[path];
    size_t i = 0;
    while (i < k.size()) {
      size_t j = k.find('\\', i);
      if (j == std::string::npos) j = k.size();
      if (j > i) {
        std::string part = k.substr(i, j - i);
        path += "\\" + FoldCase(part);
        node = &registry[path];
        if (node->name.empty()) node->name = part;
      }
      i = j + 1;
    }
    return node;
  }

  RegValue* FindValue(RegRoot r, const Text& key, const Text& name) {
    auto k = registry.find(RegPath(r, key));
    if (k == registry.end()) return nullptr;
    auto v = k->second.values.find(FoldCase(name));
    return v == k->second.values.end() ? nullptr : &v->second;
  }

  int Answer(FakeDialog d) {
    std::function<int(const FakeDialog&)> handler;
    {
      LockGuard g(mu);
      if (!answers.empty()) {
        d.answer = answers.front();
        answers.pop_front();
      } else {
        d.answer = default_answer;
      }
      handler = dialog_handler;
    }
    if (handler) d.answer = handler(d);
    LockGuard g(mu);
    dialogs.push_back(d);
    return d.answer;
  }
};

namespace {
std::string HostOf(const Text& url) {
  size_t s = url.find("://");
  size_t b = s == std::string::npos ? 0 : s + 3;
  size_t e = url.find_first_of("/:?", b);
  return FoldCase(url.substr(b, e == std::string::npos ? std::string::npos : e - b));
}

fs::path MakeRoot() {
#if defined(_WIN32)
  wchar_t tmp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, tmp);
  static LONG counter = 0;
  for (;;) {
    wchar_t name[64];
    ::wsprintfW(name, L"mvfake-%lu-%ld", ::GetCurrentProcessId(), ::InterlockedIncrement(&counter));
    fs::path p = fs::path(tmp) / name;
    if (::CreateDirectoryW(p.c_str(), nullptr)) return p;
  }
#else
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/mvfake-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) std::abort();
  return fs::path(buf.data());
#endif
}
}  // namespace

FakePlatform::FakePlatform() : impl_(new Impl) {
  impl_->root = MakeRoot();
#if defined(_WIN32)
  impl_->window_thread = ::GetCurrentThreadId();
#else
  impl_->window_thread = std::this_thread::get_id();
#endif
  AddDrive('C', kDriveFixed, 20LL * 1024 * 1024);
  const Text user = "C:\\Users\\user\\";
  const Text roaming = user + "AppData\\Roaming\\";
  const Text start = roaming + "Microsoft\\Windows\\Start Menu";
  impl_->shell_folders = {
      {5, user + "Documents"},
      {6, user + "Favorites"},
      {16, user + "Desktop"},
      {20, "C:\\WINDOWS\\Fonts"},
      {11, start},
      {2, start + "\\Programs"},
      {7, start + "\\Programs\\Startup"},
      {26, user + "AppData\\Roaming"},
      {32, user + "AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files"},
  };
  std::vector<Text> folders = {impl_->system_dir, impl_->temp_dir};
  for (const auto& s : impl_->shell_folders) folders.push_back(s.second);
  for (const Text& f : folders) {
    fs::path p;
    std::error_code ec;
    if (impl_->Map(f, p)) fs::create_directories(p, ec);
  }
}

FakePlatform::~FakePlatform() {
  std::map<Handle, std::shared_ptr<Thread>> threads;
  {
    LockGuard g(impl_->mu);
    threads = impl_->threads;
    for (auto& f : impl_->open_files) std::fclose(f.second.f);
    impl_->open_files.clear();
  }
  for (auto& t : threads) {
    t.second->stop = true;
    JoinThread(t.first, 10000);
    ReleaseThread(t.first);
  }
  std::error_code ec;
  fs::remove_all(impl_->root, ec);
}

// ---- Set-up ------------------------------------------------------------------

std::string FakePlatform::Root() const { return GbkName(impl_->root); }

void FakePlatform::AddDrive(char letter, int type, int64_t free_kb) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  LockGuard g(impl_->mu);
  impl_->drives[letter] = Drive{type, free_kb};
  std::error_code ec;
  fs::create_directories(impl_->root / std::string(1, static_cast<char>(letter - 'A' + 'a')), ec);
}

void FakePlatform::SetDriveNotReady(char letter, bool not_ready) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  LockGuard g(impl_->mu);
  impl_->drives[letter].not_ready = not_ready;
}

void FakePlatform::DenyListing(const Text& folder) {
  LockGuard g(impl_->mu);
  fs::path p;
  if (impl_->Map(folder, p)) impl_->denied.insert(p.native());
}

bool FakePlatform::MakeLink(const Text& link, const Text& target) {
  LockGuard g(impl_->mu);
  fs::path l, t;
  std::error_code ec;
  if (!impl_->Map(link, l) || !impl_->Map(target, t)) return false;
  if (fs::is_directory(t, ec)) fs::create_directory_symlink(t, l, ec);
  else fs::create_symlink(t, l, ec);
  return !ec;
}

void FakePlatform::RemoveDrive(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  LockGuard g(impl_->mu);
  impl_->drives.erase(letter);
}

void FakePlatform::SetDriveType(char letter, int type) {
  int64_t kb = 50LL * 1024 * 1024;
  {
    LockGuard g(impl_->mu);
    char l = (letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 'a' + 'A') : letter;
    auto d = impl_->drives.find(l);
    if (d != impl_->drives.end()) kb = d->second.free_kb;
  }
  AddDrive(letter, type, kb);
}

void FakePlatform::SetFreeSpaceKb(char letter, int64_t kb) {
  int type = kDriveFixed;
  {
    LockGuard g(impl_->mu);
    char l = (letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 'a' + 'A') : letter;
    auto d = impl_->drives.find(l);
    if (d != impl_->drives.end()) type = d->second.type;
  }
  AddDrive(letter, type, kb);
}

std::string FakePlatform::HostPath(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  return impl_->Map(path, p, false) ? GbkName(p) : std::string();
}

bool FakePlatform::PutFile(const Text& path, const std::string& content) {
  fs::path p;
  {
    LockGuard g(impl_->mu);
    if (!impl_->Map(path, p, false)) return false;
  }
  std::error_code ec;
  fs::create_directories(p.parent_path(), ec);
  std::FILE* f = OpenHost(p, "wb");
  if (!f) return false;
  bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  return std::fclose(f) == 0 && ok;
}

std::string FakePlatform::FileText(const Text& path) {
  Bytes b;
  if (!ReadWholeFile(path, b)) return {};
  return std::string(b.begin(), b.end());
}

void FakePlatform::SetSystemDirectory(const Text& dir) {
  LockGuard g(impl_->mu);
  impl_->system_dir = dir;
}
void FakePlatform::SetWindowsDirectory(const Text& dir) {
  LockGuard g(impl_->mu);
  impl_->windows_dir = dir;
}
void FakePlatform::SetTempDirectory(const Text& dir) {
  LockGuard g(impl_->mu);
  impl_->temp_dir = dir;
}
void FakePlatform::SetShellFolder(int csidl, const Text& path) {
  LockGuard g(impl_->mu);
  impl_->shell_folders[csidl] = path;
}

void FakePlatform::SetFileVersion(const Text& path, const Text& version) {
  LockGuard g(impl_->mu);
  fs::path p;
  impl_->versions[impl_->Map(path, p, false) ? FoldCase(GbkName(p)) : FoldCase(path)] = version;
}
void FakePlatform::SetFirstVisibleOwnWindow(WindowRef window) {
  LockGuard g(impl_->mu);
  impl_->first_own_window = window;
}

void FakePlatform::SetHasWow64Directory(bool has) {
  LockGuard g(impl_->mu);
  impl_->has_wow64 = has;
}
void FakePlatform::SetWow64Program(bool wow64) {
  LockGuard g(impl_->mu);
  impl_->wow64_program = wow64;
  if (wow64) impl_->has_wow64 = true;
}
void FakePlatform::SetAdministrator(bool admin) {
  LockGuard g(impl_->mu);
  impl_->administrator = admin;
}
void FakePlatform::SetProcessorHasLongMode(bool long_mode) {
  LockGuard g(impl_->mu);
  impl_->long_mode = long_mode;
}
void FakePlatform::SetRunningUnderWine(bool wine) {
  LockGuard g(impl_->mu);
  impl_->under_wine = wine;
}
void FakePlatform::SetFirmwareProbeError(uint32_t error) {
  LockGuard g(impl_->mu);
  impl_->firmware_error = error;
}
void FakePlatform::SetBatteryFlag(int flag) {
  LockGuard g(impl_->mu);
  impl_->battery_flag = flag;
}
void FakePlatform::SetTotalMemoryMb(uint64_t mb) {
  LockGuard g(impl_->mu);
  impl_->memory_mb = mb;
}
void FakePlatform::SetDiskIdentify(int n, int result, const Bytes& block) {
  LockGuard g(impl_->mu);
  impl_->identify[n] = {result, block};
}
void FakePlatform::SetDiskDeviceProperty(int n, const Text& vendor, const Text& product) {
  LockGuard g(impl_->mu);
  impl_->device_props[n] = {vendor, product};
}
void FakePlatform::SetBoardRecords(std::vector<std::pair<Text, Text>> records) {
  LockGuard g(impl_->mu);
  impl_->boards = std::move(records);
}
void FakePlatform::AddLibrary(const Text& name, std::map<std::string, void*> functions) {
  LockGuard g(impl_->mu);
  impl_->libraries.push_back(Library{name, std::move(functions)});
}
std::vector<Text> FakePlatform::LibraryLoads() {
  LockGuard g(impl_->mu);
  return impl_->library_loads;
}
int FakePlatform::FsRedirectionDepth() {
  LockGuard g(impl_->mu);
  return impl_->redirection_depth;
}

void FakePlatform::OnCommand(const Text& program, CommandHandler handler) {
  OnCommandWithCode(program, [handler](const Text& line) { return CommandResult{handler(line), 0}; });
}
void FakePlatform::OnCommandWithCode(const Text& program, CodeHandler handler) {
  LockGuard g(impl_->mu);
  impl_->commands.emplace_back(program, std::move(handler));
}
std::vector<Text> FakePlatform::CommandsRun() {
  LockGuard g(impl_->mu);
  return impl_->commands_run;
}
std::vector<Text> FakePlatform::ShellOpens() {
  LockGuard g(impl_->mu);
  return impl_->shell_opens;
}
int FakePlatform::RestartRequests() {
  LockGuard g(impl_->mu);
  return impl_->restarts;
}

void FakePlatform::QueueAnswer(int answer) {
  LockGuard g(impl_->mu);
  impl_->answers.push_back(answer);
}
void FakePlatform::SetDefaultAnswer(int answer) {
  LockGuard g(impl_->mu);
  impl_->default_answer = answer;
}
void FakePlatform::SetDialogHandler(std::function<int(const FakeDialog&)> handler) {
  LockGuard g(impl_->mu);
  impl_->dialog_handler = std::move(handler);
}
std::vector<FakeDialog> FakePlatform::Dialogs() {
  LockGuard g(impl_->mu);
  return impl_->dialogs;
}
void FakePlatform::ClearDialogs() {
  LockGuard g(impl_->mu);
  impl_->dialogs.clear();
}

void FakePlatform::UseFakeClock(const LocalTime& start, uint32_t start_tick) {
  LockGuard g(impl_->mu);
  impl_->fake_clock = true;
  impl_->clock_start = start;
  impl_->clock_start.weekday = fake::WeekdayOf(start.year, start.month, start.day);
  impl_->tick_start = start_tick;
  impl_->advanced_ms = 0;
}
bool FakePlatform::FakeClock() {
  LockGuard g(impl_->mu);
  return impl_->fake_clock;
}
void FakePlatform::AdvanceClock(uint32_t ms) {
  std::function<void(uint32_t)> hook;
  uint32_t tick;
  {
    LockGuard g(impl_->mu);
    impl_->advanced_ms += ms;
    tick = static_cast<uint32_t>(impl_->tick_start + impl_->advanced_ms);
    if (impl_->in_clock_hook) return;  // a hook that sleeps does not re-enter itself
    hook = impl_->clock_hook;
    impl_->in_clock_hook = static_cast<bool>(hook);
  }
  if (hook) {
    hook(tick);
    LockGuard g(impl_->mu);
    impl_->in_clock_hook = false;
  }
}
void FakePlatform::SetClockHook(std::function<void(uint32_t)> hook) {
  LockGuard g(impl_->mu);
  impl_->clock_hook = std::move(hook);
}
void FakePlatform::SetEventHook(std::function<void()> hook) {
  LockGuard g(impl_->mu);
  impl_->event_hook = std::move(hook);
}
int FakePlatform::PendingEventCalls() {
  LockGuard g(impl_->mu);
  return impl_->event_calls;
}
void FakePlatform::SetLocale24Hour(bool on) {
  LockGuard g(impl_->mu);
  impl_->locale24 = on;
}
void FakePlatform::MakeThisTheWindowThread() {
  LockGuard g(impl_->mu);
#if defined(_WIN32)
  impl_->window_thread = ::GetCurrentThreadId();
#else
  impl_->window_thread = std::this_thread::get_id();
#endif
}

void FakePlatform::SetUrl(const Text& url, const Bytes& body) {
  LockGuard g(impl_->mu);
  impl_->urls[url] = body;
}
void FakePlatform::SetUrlText(const Text& url, const std::string& body) { SetUrl(url, Bytes(body.begin(), body.end())); }
void FakePlatform::SetUrlHandler(std::function<Bytes(const Text&)> handler) {
  LockGuard g(impl_->mu);
  impl_->url_handler = std::move(handler);
}
std::vector<Text> FakePlatform::UrlsFetched() {
  LockGuard g(impl_->mu);
  return impl_->urls_fetched;
}
void FakePlatform::AddCookie(const Text& url, const Text& name, const Text& value) {
  LockGuard g(impl_->mu);
  auto& list = impl_->cookies[HostOf(url)];
  for (auto& c : list) {
    if (c.first == name) {
      c.second = value;
      return;
    }
  }
  list.emplace_back(name, value);
}
std::vector<std::vector<Text>> FakePlatform::CookiesSet() {
  LockGuard g(impl_->mu);
  return impl_->cookies_set;
}
int FakePlatform::UrlCacheClears() {
  LockGuard g(impl_->mu);
  return impl_->cache_clears;
}
int FakePlatform::EndedWith() {
  LockGuard g(impl_->mu);
  return impl_->ended_with;
}

// ---- Character sets ----------------------------------------------------------

std::u16string FakePlatform::AnsiToWide(const Text& ansi) { return fake::GbkToUtf16(ansi); }
Text FakePlatform::WideToAnsi(const std::u16string& wide) { return fake::Utf16ToGbk(wide); }
Text FakePlatform::Utf8ToAnsi(const std::string& utf8) { return fake::Utf16ToGbk(fake::Utf8ToUtf16(utf8)); }

// ---- Files and folders -------------------------------------------------------

bool FakePlatform::FileExists(const Text& path) {
  if (path.find_first_of("*?") != std::string::npos) return !ListFolder(path).empty();
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  return impl_->Map(path, p) && fs::exists(p, ec);
}

void FakePlatform::CreateFolder(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (impl_->Map(path, p)) fs::create_directory(p, ec);
}

bool FakePlatform::RemoveFile(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::is_regular_file(p, ec)) return false;
  if (impl_->ReadOnly(p) || impl_->IsOpen(p)) return false;
  if (!fs::remove(p, ec)) return false;
  impl_->attributes.erase(p.native());
  return true;
}

bool FakePlatform::RemoveFolder(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::is_directory(p, ec)) return false;
  if (p.parent_path() == impl_->root) return false;  // a drive root
  if (!fs::remove(p, ec)) return false;
  impl_->attributes.erase(p.native());
  return true;
}

bool FakePlatform::CopyFileOver(const Text& from, const Text& to) {
  return CopyFileWithProgress(from, to, nullptr);
}

bool FakePlatform::RenameFile(const Text& from, const Text& to) {
  LockGuard g(impl_->mu);
  fs::path a, b;
  std::error_code ec;
  if (!impl_->Map(from, a) || !impl_->Map(to, b) || !fs::exists(a, ec)) return false;
  if (fs::exists(b, ec) && !fs::equivalent(a, b, ec)) return false;  // no overwriting
  if (!fs::is_directory(b.parent_path(), ec) || impl_->IsOpen(a)) return false;
  fs::rename(a, b, ec);
  if (ec) return false;
  auto attr = impl_->attributes.find(a.native());
  if (attr != impl_->attributes.end()) {
    uint32_t v = attr->second;
    impl_->attributes.erase(attr);
    impl_->attributes[b.native()] = v;
  }
  return true;
}

bool FakePlatform::SetAttributes(const Text& path, uint32_t attributes) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::exists(p, ec)) return false;
  impl_->attributes[p.native()] = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  return true;
}

uint32_t FakePlatform::GetAttributes(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::exists(p, ec)) return kAttrInvalid;
  bool dir = fs::is_directory(p, ec);
  auto a = impl_->attributes.find(p.native());
  if (a == impl_->attributes.end()) return dir ? kAttrDirectory : kAttrArchive;
  if (dir) return a->second | kAttrDirectory;
  return a->second == 0 ? 0x80u : a->second;  // "normal" when no bit is left
}

bool FakePlatform::WriteWholeFile(const Text& path, const std::vector<Bytes>& pieces) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (path.empty() || !impl_->Map(path, p)) return false;
  if (fs::is_directory(p, ec) || impl_->ReadOnly(p) || impl_->IsOpen(p)) return false;
  std::FILE* f = OpenHost(p, "wb");
  if (!f) return false;
  bool ok = true;
  for (const Bytes& b : pieces) {
    if (!b.empty() && std::fwrite(b.data(), 1, b.size(), f) != b.size()) ok = false;
  }
  return std::fclose(f) == 0 && ok;
}

bool FakePlatform::ReadWholeFile(const Text& path, Bytes& out) {
  fs::path p;
  {
    LockGuard g(impl_->mu);
    std::error_code ec;
    if (!impl_->Map(path, p) || !fs::is_regular_file(p, ec)) return false;
  }
  std::FILE* f = OpenHost(p, "rb");
  if (!f) return false;
  out.clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

int64_t FakePlatform::FileSize(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::is_regular_file(p, ec)) return -1;
  auto n = fs::file_size(p, ec);
  return ec ? -1 : static_cast<int64_t>(n);
}

std::vector<DirEntry> FakePlatform::ListFolder(const Text& pattern) {
  std::vector<DirEntry> out;
  size_t cut = LastSeparator(pattern);
  if (cut == std::string::npos) return out;
  Text folder = pattern.substr(0, cut + 1), mask = pattern.substr(cut + 1);
  if (mask.empty()) return out;
  LockGuard g(impl_->mu);
  fs::path dir;
  std::error_code ec;
  if (!impl_->Map(folder, dir) || !fs::is_directory(dir, ec) || impl_->denied.count(dir.native())) return out;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = GbkName(it->path().filename());
    if (!WildcardMatch(mask, name)) continue;
    DirEntry e;
    e.name = name;
    e.is_directory = it->is_directory(ec);
    if (!e.is_directory) e.size = it->file_size(ec);
    // The host keeps no creation time: the last write time stands in for it.
    auto wt = fs::last_write_time(it->path(), ec);
    auto sys = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        wt - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
    std::time_t tt = std::chrono::system_clock::to_time_t(sys);
    std::tm tm{};
#if defined(_WIN32)
    localtime_s(&tm, &tt);
#else
    localtime_r(&tt, &tm);
#endif
    e.created.year = tm.tm_year + 1900;
    e.created.month = tm.tm_mon + 1;
    e.created.day = tm.tm_mday;
    e.created.hour = tm.tm_hour;
    e.created.minute = tm.tm_min;
    e.created.second = tm.tm_sec;
    e.created.weekday = tm.tm_wday;
    out.push_back(e);
  }
  return out;
}

Handle FakePlatform::OpenRead(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::is_regular_file(p, ec)) return kNoHandle;
  std::FILE* f = OpenHost(p, "rb");
  if (!f) return kNoHandle;
  Handle h = impl_->next_handle++;
  impl_->open_files[h] = OpenFile{f, p.native()};
  return h;
}

Handle FakePlatform::OpenAppendShared(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || fs::is_directory(p, ec) || impl_->ReadOnly(p)) return kNoHandle;
  std::FILE* f = OpenHost(p, "ab");
  if (!f) return kNoHandle;
  Handle h = impl_->next_handle++;
  impl_->open_files[h] = OpenFile{f, p.native()};
  return h;
}

int64_t FakePlatform::Read(Handle file, void* buffer, uint32_t size) {
  std::FILE* f;
  {
    LockGuard g(impl_->mu);
    auto it = impl_->open_files.find(file);
    if (it == impl_->open_files.end()) return -1;
    f = it->second.f;
  }
  size_t n = std::fread(buffer, 1, size, f);
  if (n == 0 && std::ferror(f)) return -1;
  return static_cast<int64_t>(n);
}

bool FakePlatform::Write(Handle file, const void* data, uint32_t size) {
  // Under the lock: one call is one indivisible write, as on Windows.
  LockGuard g(impl_->mu);
  auto it = impl_->open_files.find(file);
  if (it == impl_->open_files.end()) return false;
  bool ok = std::fwrite(data, 1, size, it->second.f) == size;
  return std::fflush(it->second.f) == 0 && ok;
}

void FakePlatform::Close(Handle file) {
  LockGuard g(impl_->mu);
  auto it = impl_->open_files.find(file);
  if (it == impl_->open_files.end()) return;
  std::fclose(it->second.f);
  impl_->open_files.erase(it);
}

bool FakePlatform::CopyFileWithProgress(const Text& from, const Text& to, const CopyProgress& progress) {
  fs::path a, b;
  {
    LockGuard g(impl_->mu);
    std::error_code ec;
    if (!impl_->Map(from, a) || !impl_->Map(to, b) || !fs::is_regular_file(a, ec)) return false;
    if (fs::exists(b, ec) && fs::equivalent(a, b, ec)) return false;
    if (fs::is_directory(b, ec) || impl_->ReadOnly(b) || impl_->IsOpen(b)) return false;
  }
  std::FILE* in = OpenHost(a, "rb");
  if (!in) return false;
  std::FILE* out = OpenHost(b, "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  std::error_code ec;
  uint64_t total = fs::file_size(a, ec), copied = 0;
  bool ok = !progress || progress(total, 0);
  std::vector<uint8_t> buf(1 << 16);
  while (ok) {
    size_t n = std::fread(buf.data(), 1, buf.size(), in);
    if (n == 0) {
      ok = !std::ferror(in);
      break;
    }
    if (std::fwrite(buf.data(), 1, n, out) != n) ok = false;
    copied += n;
    if (ok && progress && !progress(total, copied)) ok = false;
  }
  std::fclose(in);
  ok = std::fclose(out) == 0 && ok;
  LockGuard g(impl_->mu);
  if (!ok) {
    fs::remove(b, ec);  // a cancelled or failed copy leaves no partial target
    return false;
  }
  auto attr = impl_->attributes.find(a.native());
  if (attr != impl_->attributes.end()) impl_->attributes[b.native()] = attr->second;
  else impl_->attributes.erase(b.native());
  return true;
}

// ---- Files by UTF-16 path ------------------------------------------------------


bool FakePlatform::PutFileWide(const std::u16string& path, const std::string& content) {
  return PutFile(ExtFromWide(path), content);
}

std::string FakePlatform::FileTextWide(const std::u16string& path) { return FileText(ExtFromWide(path)); }

bool FakePlatform::ListFolderWide(const std::u16string& folder, std::vector<WideEntry>& out) {
  out.clear();
  LockGuard g(impl_->mu);
  fs::path dir;
  std::error_code ec;
  if (!impl_->Map(ExtFromWide(folder), dir)) return false;
  if (!fs::is_directory(dir, ec) || impl_->denied.count(dir.native())) return false;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    WideEntry e;
    e.name = WideFromExt(GbkName(it->path().filename()));
    e.is_directory = it->is_directory(ec);
    e.is_link = it->is_symlink(ec);
    if (!e.is_directory) e.size = it->file_size(ec);
    out.push_back(e);
  }
  return !ec;
}

bool FakePlatform::ExistsWide(const std::u16string& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  return impl_->Map(ExtFromWide(path), p) && fs::exists(fs::symlink_status(p, ec));
}

bool FakePlatform::CreateFolderWide(const std::u16string& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(ExtFromWide(path), p)) return false;
  fs::create_directory(p, ec);
  return fs::is_directory(p, ec);
}

bool FakePlatform::CopyFileWide(const std::u16string& from, const std::u16string& to,
                                const std::function<bool()>& keep_going) {
  fs::path a, b, la, lb;
  {
    LockGuard g(impl_->mu);
    std::error_code ec;
    if (!impl_->Map(ExtFromWide(from), a) || !impl_->Map(ExtFromWide(to), b)) return false;
    la = a;
    lb = b;
    if (!fs::is_regular_file(la, ec)) return false;
    if (fs::exists(lb, ec) && fs::equivalent(la, lb, ec)) return false;
    if (fs::is_directory(lb, ec) || impl_->ReadOnly(b) || impl_->IsOpen(b)) return false;
  }
  // Into a side file first, then over the target in one rename.
  fs::path part = lb;
  part += ".mvpart";
  std::FILE* in = OpenHost(la, "rb");
  if (!in) return false;
  std::FILE* out = OpenHost(part, "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  bool ok = true;
  std::vector<uint8_t> buf(1 << 16);
  while (ok) {
    if (keep_going && !keep_going()) {
      ok = false;
      break;
    }
    size_t n = std::fread(buf.data(), 1, buf.size(), in);
    if (n == 0) {
      ok = !std::ferror(in);
      break;
    }
    if (std::fwrite(buf.data(), 1, n, out) != n) ok = false;
  }
  std::fclose(in);
  ok = std::fclose(out) == 0 && ok;
  std::error_code ec;
  LockGuard g(impl_->mu);
  if (ok) fs::rename(part, lb, ec);
  if (!ok || ec) {
    fs::remove(part, ec);
    return false;
  }
  impl_->attributes.erase(b.native());
  return true;
}

std::u16string FakePlatform::ShellFolderWide(int csidl) { return WideFromExt(ShellFolder(csidl)); }

// ---- Drives and folders --------------------------------------------------------

int FakePlatform::DriveType(const Text& root) {
  if (root.size() < 2 || root[1] != ':') return kDriveNoRoot;
  char l = root[0];
  if (l >= 'a' && l <= 'z') l = static_cast<char>(l - 'a' + 'A');
  LockGuard g(impl_->mu);
  auto d = impl_->drives.find(l);
  return d == impl_->drives.end() ? kDriveNoRoot : d->second.type;
}

int64_t FakePlatform::FreeSpaceKb(const Text& drive) {
  char l = drive.empty() ? 'C' : drive[0];
  if (l >= 'a' && l <= 'z') l = static_cast<char>(l - 'a' + 'A');
  LockGuard g(impl_->mu);
  auto d = impl_->drives.find(l);
  if (d == impl_->drives.end() || d->second.type == kDriveNoRoot) return -1;
  return d->second.free_kb;
}

Text FakePlatform::SystemDirectory() {
  LockGuard g(impl_->mu);
  return impl_->system_dir;
}
Text FakePlatform::WindowsDirectory() {
  LockGuard g(impl_->mu);
  return impl_->windows_dir;
}
Text FakePlatform::TempDirectory() {
  LockGuard g(impl_->mu);
  return impl_->temp_dir;
}
Text FakePlatform::ShellFolder(int csidl) {
  LockGuard g(impl_->mu);
  auto s = impl_->shell_folders.find(csidl);
  return s == impl_->shell_folders.end() ? Text() : s->second;
}

// ---- Registry ------------------------------------------------------------------

bool FakePlatform::RegReadString(RegRoot root, const Text& key, const Text& name, Text& value) {
  LockGuard g(impl_->mu);
  RegValue* v = impl_->FindValue(root, key, name);
  if (!v || (v->type != kRegSz && v->type != kRegExpandSz)) return false;
  value.assign(v->data.begin(), v->data.end());
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return true;
}

bool FakePlatform::RegReadDword(RegRoot root, const Text& key, const Text& name, uint32_t& value) {
  LockGuard g(impl_->mu);
  RegValue* v = impl_->FindValue(root, key, name);
  if (!v || v->type != kRegDword || v->data.size() < 4) return false;
  value = static_cast<uint32_t>(v->data[0]) | (static_cast<uint32_t>(v->data[1]) << 8) |
          (static_cast<uint32_t>(v->data[2]) << 16) | (static_cast<uint32_t>(v->data[3]) << 24);
  return true;
}

bool FakePlatform::RegWriteString(RegRoot root, const Text& key, const Text& name, const Text& value) {
  return RegWriteRaw(root, key, name, kRegSz, TextBytes(value));
}

bool FakePlatform::RegWriteDword(RegRoot root, const Text& key, const Text& name, uint32_t value) {
  Bytes b = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
             static_cast<uint8_t>(value >> 24)};
  return RegWriteRaw(root, key, name, kRegDword, b);
}

bool FakePlatform::RegRemoveValue(RegRoot root, const Text& key, const Text& name) {
  LockGuard g(impl_->mu);
  auto k = impl_->registry.find(Impl::RegPath(root, key));
  return k != impl_->registry.end() && k->second.values.erase(FoldCase(name)) > 0;
}

bool FakePlatform::RegKeyOpens(RegRoot root, const Text& key, bool create) {
  if (root < kHkeyClassesRoot || root > kHkeyCurrentConfig) return false;
  LockGuard g(impl_->mu);
  if (create) {
    impl_->CreateKey(root, key);
    return true;
  }
  std::string path = Impl::RegPath(root, key);
  return path.find('\\') == std::string::npos || impl_->registry.count(path) > 0;
}

bool FakePlatform::RegReadRaw(RegRoot root, const Text& key, const Text& name, uint32_t& type, Bytes& data) {
  LockGuard g(impl_->mu);
  RegValue* v = impl_->FindValue(root, key, name);
  if (!v) return false;
  type = v->type;
  data = v->data;
  return true;
}

bool FakePlatform::RegWriteRaw(RegRoot root, const Text& key, const Text& name, uint32_t type, const Bytes& data) {
  if (root < kHkeyClassesRoot || root > kHkeyCurrentConfig) return false;
  LockGuard g(impl_->mu);
  RegValue& v = impl_->CreateKey(root, key)->values[FoldCase(name)];
  if (v.name.empty()) v.name = name;
  v.type = type;
  v.data = data;
  return true;
}

bool FakePlatform::RegListValues(RegRoot root, const Text& key, std::vector<std::pair<Text, uint32_t>>& values) {
  values.clear();
  if (!RegKeyOpens(root, key, false)) return false;
  LockGuard g(impl_->mu);
  auto k = impl_->registry.find(Impl::RegPath(root, key));
  if (k == impl_->registry.end()) return true;
  for (const auto& v : k->second.values) values.emplace_back(v.second.name, v.second.type);
  return true;
}

bool FakePlatform::RegRemoveKey(RegRoot root, const Text& key) {
  LockGuard g(impl_->mu);
  std::string path = Impl::RegPath(root, key);
  if (path.find('\\') == std::string::npos) return false;  // a root stays
  auto k = impl_->registry.find(path);
  if (k == impl_->registry.end()) return false;
  auto child = impl_->registry.lower_bound(path + "\\");
  if (child != impl_->registry.end() && child->first.compare(0, path.size() + 1, path + "\\") == 0) return false;
  impl_->registry.erase(k);
  return true;
}

bool FakePlatform::RegFlush(RegRoot root, const Text& key) { return RegKeyOpens(root, key, false); }

std::vector<Text> FakePlatform::RegSubKeys(RegRoot root, const Text& key) {
  LockGuard g(impl_->mu);
  std::vector<Text> out;
  std::string prefix = Impl::RegPath(root, key) + "\\";
  for (auto it = impl_->registry.lower_bound(prefix); it != impl_->registry.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    if (it->first.find('\\', prefix.size()) == std::string::npos) out.push_back(it->second.name);
  }
  return out;
}

// ---- INI files -----------------------------------------------------------------

Text FakePlatform::IniRead(const Text& file, const Text& section, const Text& key, const Text& def) {
  Bytes b;
  Text value;
  if (ReadWholeFile(file, b) &&
      ProfileLookup(std::string(b.begin(), b.end()), section, key, value)) {
    return value;
  }
  // The profile call trims trailing blanks of the default.
  Text d = def;
  while (!d.empty() && d.back() == ' ') d.pop_back();
  return d;
}

bool FakePlatform::IniWrite(const Text& file, const Text& section, const Text& key, const Text& value) {
  fs::path p;
  {
    LockGuard g(impl_->mu);
    std::error_code ec;
    if (!impl_->Map(file, p) || !fs::is_directory(p.parent_path(), ec)) return false;
  }
  Bytes b;
  std::string content;
  if (ReadWholeFile(file, b)) content.assign(b.begin(), b.end());
  std::string updated = ProfileUpdate(content, section, key, value);
  return WriteWholeFile(file, {Bytes(updated.begin(), updated.end())});
}

// ---- Version resources -----------------------------------------------------------

Text FakePlatform::FileVersionText(const Text& path) {
  LockGuard g(impl_->mu);
  fs::path p;
  std::error_code ec;
  if (!impl_->Map(path, p) || !fs::is_regular_file(p, ec)) return {};
  auto v = impl_->versions.find(FoldCase(GbkName(p)));
  return v == impl_->versions.end() ? Text() : v->second;
}

// ---- Processes ---------------------------------------------------------------------

namespace {
std::string StripExe(std::string s) {
  s = FoldCase(s);
  if (s.size() > 4 && s.compare(s.size() - 4, 4, ".exe") == 0) s.resize(s.size() - 4);
  return s;
}

bool ProgramMatches(const Text& command_line, const Text& program) {
  size_t b = command_line.find_first_not_of(' ');
  if (b == std::string::npos) return false;
  std::string first;
  if (command_line[b] == '"') {
    size_t e = command_line.find('"', b + 1);
    first = command_line.substr(b + 1, e == std::string::npos ? std::string::npos : e - b - 1);
  } else {
    size_t e = command_line.find(' ', b);
    first = command_line.substr(b, e == std::string::npos ? std::string::npos : e - b);
  }
  std::string f = StripExe(first), p = StripExe(program);
  if (f == p) return true;
  return f.size() > p.size() && f.compare(f.size() - p.size(), p.size(), p) == 0 &&
         (f[f.size() - p.size() - 1] == '\\' || f[f.size() - p.size() - 1] == '/');
}
}  // namespace

namespace {
// The first word of a command line, without its quotes.
std::string ProgramOf(const Text& command_line) {
  size_t b = command_line.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  if (command_line[b] == '"') {
    size_t e = command_line.find('"', b + 1);
    return command_line.substr(b + 1, e == std::string::npos ? std::string::npos : e - b - 1);
  }
  size_t e = command_line.find(' ', b);
  return command_line.substr(b, e == std::string::npos ? std::string::npos : e - b);
}
}  // namespace

CommandResult FakePlatform::Run(const Text& command_line, bool real_system_directory) {
  CodeHandler handler;
  bool missing = false;
  {
    LockGuard g(impl_->mu);
    impl_->commands_run.push_back(command_line);
    for (auto it = impl_->commands.rbegin(); it != impl_->commands.rend(); ++it) {
      if (ProgramMatches(command_line, it->first)) {
        handler = it->second;
        break;
      }
    }
    // A 32-bit program on 64-bit Windows that names a tool in the system
    // directory reaches the WOW64 one unless it asked for the real one: a
    // tool that lies only in the real directory is not found there.
    const Text program = ProgramOf(command_line);
    if (impl_->wow64_program && program.size() > 2 && program[1] == ':') {
      if (real_system_directory) ++impl_->redirection_depth;
      fs::path p;
      std::error_code ec;
      missing = !impl_->Map(program, p) || !fs::is_regular_file(p, ec);
      if (real_system_directory) --impl_->redirection_depth;
    }
  }
  ProcessPendingEvents();
  if (missing || !handler) return CommandResult{Text(), 9009};  // the interpreter's "not recognized"
  return handler(command_line);
}

Text FakePlatform::RunHidden(const Text& command, const Text& interpreter) {
  return Run(interpreter.empty() ? command : interpreter + " " + command, false).output;
}

CommandResult FakePlatform::RunHiddenCode(const Text& command, bool real_system_directory) {
  return Run(command, real_system_directory);
}

Text FakePlatform::RunProgram(const Text& program, const std::vector<Text>& args) {
  return RunHidden(BuildCommandLine(program, args), Text());
}

bool FakePlatform::ShellOpen(const Text& target) {
  LockGuard g(impl_->mu);
  impl_->shell_opens.push_back(target);
  return true;
}

void FakePlatform::Restart() {
  LockGuard g(impl_->mu);
  ++impl_->restarts;
}

void FakePlatform::EndProcess(int code) {
  {
    LockGuard g(impl_->mu);
    impl_->ended_with = code;
  }
  throw FakeProcessEnded{code};
}

// ---- Dialogs -------------------------------------------------------------------------

int FakePlatform::ShowMessageBox(const Text& text, uint32_t flags, const Text& caption, WindowRef owner) {
  FakeDialog d;
  d.text = text;
  d.caption = caption.empty() ? Text("信息：") : caption;
  d.flags = flags;
  d.owner = owner;
  return impl_->Answer(d);
}

bool FakePlatform::AskText(const Text& prompt, const Text& title, const Text& initial, WindowRef owner,
                           Text& answer) {
  FakeDialog d;
  d.text = prompt;
  d.caption = title;
  d.owner = owner;
  d.input_box = true;
  d.input = initial;
  bool ok = true;
  Text typed = initial;
  {
    LockGuard g(impl_->mu);
    if (!impl_->text_answers.empty()) {
      ok = impl_->text_answers.front().first;
      typed = impl_->text_answers.front().second;
      impl_->text_answers.pop_front();
    }
    d.answer = ok ? kResOk : kResCancel;
    impl_->dialogs.push_back(d);
  }
  if (ok) answer = typed;
  return ok;
}

void FakePlatform::QueueTextAnswer(const Text& text) {
  LockGuard g(impl_->mu);
  impl_->text_answers.emplace_back(true, text);
}

void FakePlatform::QueueTextCancel() {
  LockGuard g(impl_->mu);
  impl_->text_answers.emplace_back(false, Text());
}

int FakePlatform::AskWithCaptions(const Text& text, uint32_t flags, const Text& caption, WindowRef owner,
                                  const std::vector<Text>& button_captions) {
  static const char* const kDefaults[7] = {"确认", "取消", "终止", "重试", "忽略", "是", "否"};
  FakeDialog d;
  d.text = text;
  d.caption = caption.empty() ? Text("提示：") : caption;
  d.flags = flags;
  d.owner = owner;
  for (size_t i = 0; i < 7; ++i) {
    d.buttons.push_back(i < button_captions.size() && !button_captions[i].empty() ? button_captions[i]
                                                                                  : Text(kDefaults[i]));
  }
  return impl_->Answer(d);
}

// ---- Threads ----------------------------------------------------------------------------

namespace {
// The worker owns a reference to its record, so that a released (detached)
// worker can still reach it.
void RunThreadBody(std::shared_ptr<Thread> t) {
  t_current = t.get();
  try {
    t->body();
  } catch (...) {
    // An EndProcess on a worker ends only the worker here; EndedWith() tells.
  }
  t_current = nullptr;
  t->done = true;
}

#if defined(_WIN32)
DWORD WINAPI ThreadMain(LPVOID arg) {
  std::unique_ptr<std::shared_ptr<Thread>> t(static_cast<std::shared_ptr<Thread>*>(arg));
  RunThreadBody(*t);
  return 0;
}
#endif
}  // namespace

Handle FakePlatform::StartThread(std::function<void()> body) {
  auto t = std::make_shared<Thread>();
  t->body = std::move(body);
  LockGuard g(impl_->mu);
#if defined(_WIN32)
  auto* ref = new std::shared_ptr<Thread>(t);
  t->handle = ::CreateThread(nullptr, 0, ThreadMain, ref, 0, nullptr);
  if (!t->handle) {
    delete ref;
    return kNoHandle;
  }
#else
  t->thread = std::thread(RunThreadBody, t);
#endif
  Handle h = reinterpret_cast<Handle>(t.get());
  impl_->threads[h] = t;
  return h;
}

void FakePlatform::RequestStop(Handle thread) {
  LockGuard g(impl_->mu);
  auto t = impl_->threads.find(thread);
  if (t != impl_->threads.end()) t->second->stop = true;
}

void FakePlatform::PauseThread(Handle thread) {
  LockGuard g(impl_->mu);
  auto t = impl_->threads.find(thread);
  if (t != impl_->threads.end()) t->second->pause = true;
}

void FakePlatform::ResumeThread(Handle thread) {
  LockGuard g(impl_->mu);
  auto t = impl_->threads.find(thread);
  if (t != impl_->threads.end()) t->second->pause = false;
}

bool FakePlatform::Checkpoint() {
  Thread* t = t_current;
  if (!t) return true;  // the window thread is never paused or stopped
  while (t->pause && !t->stop) RealSleep(1);
  return !t->stop;
}

bool FakePlatform::JoinThread(Handle thread, uint32_t timeout_ms) {
  std::shared_ptr<Thread> t;
  {
    LockGuard g(impl_->mu);
    auto it = impl_->threads.find(thread);
    if (it == impl_->threads.end()) return false;
    t = it->second;
  }
  auto start = std::chrono::steady_clock::now();
  while (!t->done) {
    if (timeout_ms != ~0u &&
        std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeout_ms)) {
      return false;
    }
    RealSleep(1);
  }
#if defined(_WIN32)
  ::WaitForSingleObject(t->handle, INFINITE);
#endif
  return true;
}

void FakePlatform::ReleaseThread(Handle thread) {
  std::shared_ptr<Thread> t;
  {
    LockGuard g(impl_->mu);
    auto it = impl_->threads.find(thread);
    if (it == impl_->threads.end()) return;
    t = it->second;
    impl_->threads.erase(it);
  }
#if defined(_WIN32)
  if (t->done) ::WaitForSingleObject(t->handle, INFINITE);
  ::CloseHandle(t->handle);
#else
  if (t->done) t->thread.join();
  else t->thread.detach();
#endif
}

bool FakePlatform::OnWindowThread() {
  LockGuard g(impl_->mu);
#if defined(_WIN32)
  return ::GetCurrentThreadId() == impl_->window_thread;
#else
  return std::this_thread::get_id() == impl_->window_thread;
#endif
}

// ---- Time -----------------------------------------------------------------------------------

LocalTime FakePlatform::Now() {
  {
    LockGuard g(impl_->mu);
    if (impl_->fake_clock) return fake::AddMilliseconds(impl_->clock_start, static_cast<int64_t>(impl_->advanced_ms));
  }
  auto now = std::chrono::system_clock::now();
  std::time_t tt = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
#if defined(_WIN32)
  localtime_s(&tm, &tt);
#else
  localtime_r(&tt, &tm);
#endif
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.weekday = tm.tm_wday;
  t.milliseconds = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return t;
}

uint32_t FakePlatform::TickCount() {
  {
    LockGuard g(impl_->mu);
    if (impl_->fake_clock) return static_cast<uint32_t>(impl_->tick_start + impl_->advanced_ms);
  }
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void FakePlatform::Sleep(uint32_t ms) {
  if (FakeClock()) {
    AdvanceClock(ms);
    RealSleep(0);  // let other threads run
    return;
  }
  RealSleep(ms);
}

void FakePlatform::SleepPumping(uint32_t ms) {
  if (FakeClock()) {
    // Slices of 50 ms, as a pumping wait wakes for the window's messages.
    while (ms > 0) {
      uint32_t step = ms < 50 ? ms : 50;
      ProcessPendingEvents();
      AdvanceClock(step);
      ms -= step;
    }
    ProcessPendingEvents();
    return;
  }
  uint32_t start = TickCount();
  for (;;) {
    ProcessPendingEvents();
    uint32_t spent = TickCount() - start;
    if (spent >= ms) break;
    RealSleep(ms - spent < 10 ? ms - spent : 10);
  }
}

void FakePlatform::ProcessPendingEvents() {
  std::function<void()> hook;
  {
    LockGuard g(impl_->mu);
    ++impl_->event_calls;
    hook = impl_->event_hook;
  }
  if (hook) hook();
}

bool FakePlatform::Locale24Hour() {
  LockGuard g(impl_->mu);
  return impl_->locale24;
}

Text FakePlatform::FormatDate(const LocalTime& t, const Text& pattern) { return FormatDatePicture(t, pattern); }

Text FakePlatform::FormatTime(const LocalTime& t, const Text& pattern) {
  return FormatTimePicture(t, pattern, "上午", "下午");
}

// ---- Network ------------------------------------------------------------------------------------

Bytes FakePlatform::FetchUrl(const Text& url) {
  std::function<Bytes(const Text&)> handler;
  Bytes body;
  {
    LockGuard g(impl_->mu);
    impl_->urls_fetched.push_back(url);
    auto it = impl_->urls.find(url);
    if (it != impl_->urls.end()) body = it->second;
    else handler = impl_->url_handler;
  }
  if (handler) body = handler(url);
  if (body.size() > kFetchLimitBytes) body.clear();  // as the adapter: too long is a failure
  return body;
}

int64_t FakePlatform::UrlContentLength(const Text& url) {
  LockGuard g(impl_->mu);
  auto s = impl_->url_sizes.find(url);
  if (s != impl_->url_sizes.end()) return s->second;
  auto it = impl_->urls.find(url);
  return it != impl_->urls.end() ? static_cast<int64_t>(it->second.size()) : -1;
}

void FakePlatform::SetUrlSize(const Text& url, int64_t size) {
  LockGuard g(impl_->mu);
  impl_->url_sizes[url] = size;
}

void FakePlatform::QueueImageFile(const Text& path) {
  LockGuard g(impl_->mu);
  impl_->picks_queued.push_back(path);
}

std::vector<FakeFilePick> FakePlatform::FilePicks() {
  LockGuard g(impl_->mu);
  return impl_->picks;
}

Text FakePlatform::PickImageFile(WindowRef owner, const Text& title, const Text& filter, const Text& initial_name) {
  LockGuard g(impl_->mu);
  FakeFilePick p{owner, title.empty() ? Text("打开文件") : title, filter.empty() ? Text("所有文件(*.*)|*.*") : filter,
                 initial_name, Text()};
  if (!impl_->picks_queued.empty()) {
    p.answer = impl_->picks_queued.front();
    impl_->picks_queued.pop_front();
  }
  impl_->picks.push_back(p);
  return p.answer;
}

Text FakePlatform::GetCookies(const Text& url, uint32_t flags) {
  LockGuard g(impl_->mu);
  Text out;
  auto it = impl_->cookies.find(HostOf(url));
  if (it == impl_->cookies.end()) return out;
  for (const auto& c : it->second) {
    if (!out.empty()) out += "; ";
    out += c.first + "=" + c.second;
  }
  return out;
}

bool FakePlatform::SetCookie(const Text& url, const Text& name, const Text& data) {
  {
    LockGuard g(impl_->mu);
    impl_->cookies_set.push_back({url, name, data});
  }
  Text value = data.substr(0, data.find(';'));
  AddCookie(url, name, value);
  return true;
}

void FakePlatform::ClearUrlCache() {
  LockGuard g(impl_->mu);
  ++impl_->cache_clears;
}

// ---- Machine facts ----------------------------------------------------------------------------------

WindowRef FakePlatform::FirstVisibleOwnWindow() {
  LockGuard g(impl_->mu);
  return impl_->first_own_window;
}

bool FakePlatform::HasWow64Directory() {
  LockGuard g(impl_->mu);
  return impl_->has_wow64;
}
bool FakePlatform::RunningUnderWine() {
  LockGuard g(impl_->mu);
  return impl_->under_wine;
}
bool FakePlatform::IsAdministrator() {
  LockGuard g(impl_->mu);
  return impl_->administrator;
}
bool FakePlatform::ProcessorHasLongMode() {
  LockGuard g(impl_->mu);
  return impl_->long_mode;
}
uint32_t FakePlatform::FirmwareProbeError() {
  LockGuard g(impl_->mu);
  return impl_->firmware_error;
}
int FakePlatform::BatteryFlag() {
  LockGuard g(impl_->mu);
  return impl_->battery_flag;
}
uint64_t FakePlatform::TotalMemoryMb() {
  LockGuard g(impl_->mu);
  return impl_->memory_mb;
}
int FakePlatform::DiskIdentify(int n, Bytes& block) {
  LockGuard g(impl_->mu);
  auto it = impl_->identify.find(n);
  if (it == impl_->identify.end()) return 1;
  if (it->second.first == 0) block = it->second.second;
  return it->second.first;
}
bool FakePlatform::DiskDeviceProperty(int n, Text& vendor, Text& product) {
  LockGuard g(impl_->mu);
  auto it = impl_->device_props.find(n);
  if (it == impl_->device_props.end()) return false;
  vendor = it->second.first;
  product = it->second.second;
  return true;
}
std::vector<std::pair<Text, Text>> FakePlatform::BoardRecords() {
  LockGuard g(impl_->mu);
  return impl_->boards;
}
uint32_t FakePlatform::FailCriticalErrors() {
  const uint32_t old = t_error_mode;
  t_error_mode |= kFailCriticalErrors;
  return old;
}
void FakePlatform::RestoreErrorMode(uint32_t previous) { t_error_mode = previous; }

void* FakePlatform::DisableFsRedirection() {
  LockGuard g(impl_->mu);
  ++impl_->redirection_depth;
  return reinterpret_cast<void*>(static_cast<uintptr_t>(impl_->redirection_depth));
}
void FakePlatform::RevertFsRedirection(void* cookie) {
  LockGuard g(impl_->mu);
  if (cookie && impl_->redirection_depth > 0) --impl_->redirection_depth;
}

// ---- Dynamic libraries --------------------------------------------------------------------------------

Handle FakePlatform::LoadLibraryFrom(const Text& folder, const Text& name) {
  LockGuard g(impl_->mu);
  impl_->library_loads.push_back(folder);
  size_t cut = LastSeparator(name);
  Text base = cut == std::string::npos ? name : name.substr(cut + 1);
  for (size_t i = 0; i < impl_->libraries.size(); ++i) {
    if (SameNameNoCase(impl_->libraries[i].name, base)) return static_cast<Handle>(i + 1);
  }
  return kNoHandle;
}

void* FakePlatform::FindFunction(Handle library, const char* name) {
  LockGuard g(impl_->mu);
  if (library == kNoHandle || library > impl_->libraries.size() || !name) return nullptr;
  auto& fns = impl_->libraries[library - 1].functions;
  auto it = fns.find(name);
  return it == fns.end() ? nullptr : it->second;
}

}  // namespace mv
