// The fake platform: processes, threads, time, machine facts and dynamic
// libraries.
#include "platform/fake/fake_impl.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "platform/command_line.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace mv {

namespace fake {
thread_local Thread* t_current = nullptr;
// The calling thread's error mode (bit 1: no critical-error boxes).
thread_local uint32_t t_error_mode = 0;
}  // namespace fake

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
