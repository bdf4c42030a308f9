// The fake platform: see fake_platform.h.
#include "platform/fake/fake_platform.h"

#include <cstdlib>

#include "platform/fake/fake_impl.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace mv {

namespace {
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

}  // namespace mv
