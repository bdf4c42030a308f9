// The Win32 adapter, part 2: processes, threads, time, machine facts and
// dynamic libraries.
#include "platform/win32/win32_platform.h"

#include <shellapi.h>

#include <cstdio>
#include <memory>

#include "platform/command_line.h"
#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

#include "support/wmi.h"

namespace mv {

namespace {

// The Windows 95/98/Me family (no command interpreter "cmd.exe" there).
bool Is9x() { return (::GetVersion() & 0x80000000u) != 0; }

}  // namespace

Win32Platform::Win32Platform() : window_thread_(::GetCurrentThreadId()) {}
Win32Platform::~Win32Platform() = default;

// ---- Processes ---------------------------------------------------------------

namespace {

// Starts the line (with application, that program by its full path and no
// search) with both output streams on one pipe, hidden, and collects what it
// writes until it ends; window events are processed between polls.
CommandResult RunPiped(const std::wstring& application, const std::wstring& line, bool real_system_directory,
                       Win32Platform& p) {
  CommandResult result;
  SECURITY_ATTRIBUTES sa;
  sa.nLength = sizeof sa;  // 12 in the 32-bit program
  sa.lpSecurityDescriptor = nullptr;
  sa.bInheritHandle = TRUE;
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &sa, 0)) return result;
  // Only the write end goes to the child.
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;  // 68 in the 32-bit program
  si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.wShowWindow = SW_HIDE;
  si.hStdOutput = write_end;
  si.hStdError = write_end;

  std::wstring wline = line;
  wline.push_back(L'\0');
  PROCESS_INFORMATION pi;
  ZeroMemory(&pi, sizeof pi);
  // Redirection is off only while the process is made (the interpreter is
  // then the system's own, and it sees the real system directory), never
  // while window messages run on this thread.
  void* redirection = real_system_directory ? p.DisableFsRedirection() : nullptr;
  BOOL started = ::CreateProcessW(application.empty() ? nullptr : application.c_str(), &wline[0], nullptr, nullptr,
                                  TRUE, 0, nullptr, nullptr, &si, &pi);
  p.RevertFsRedirection(redirection);
  ::CloseHandle(write_end);
  if (!started) {
    ::CloseHandle(read_end);
    return result;
  }
  ::CloseHandle(pi.hThread);

  Text& out = result.output;
  // Takes what is waiting in the pipe; false when nothing was.
  auto drain = [&]() {
    DWORD avail = 0;
    if (!::PeekNamedPipe(read_end, nullptr, 0, nullptr, &avail, nullptr) || avail == 0) return false;
    std::string buf(avail, '\0');
    DWORD got = 0;
    if (!::ReadFile(read_end, &buf[0], avail, &got, nullptr) || got == 0) return false;
    buf.resize(got);
    out.append(buf.c_str());  // each piece stops at a zero byte
    return true;
  };
  for (;;) {
    if (drain()) {
      p.ProcessPendingEvents();
      continue;
    }
    if (::WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
      // The process may have written its last output after the look above,
      // and a program the line ran (the interpreter's child) wrote into the
      // same pipe: read on until every writer has closed it (the pipe then
      // reports itself broken), for at most two seconds, so that a program
      // the line left running cannot hold the caller.
      const DWORD ended = ::GetTickCount();
      for (;;) {
        if (drain()) continue;
        DWORD avail = 0;
        if (!::PeekNamedPipe(read_end, nullptr, 0, nullptr, &avail, nullptr) || ::GetTickCount() - ended > 2000)
          break;
        ::Sleep(5);
      }
      break;
    }
    p.ProcessPendingEvents();
    // A short wait between polls, woken early by window input or by the end
    // of the process, so that waiting does not burn a core.
    ::MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 5, QS_ALLINPUT);
  }
  DWORD code = 0;
  result.exit_code = ::GetExitCodeProcess(pi.hProcess, &code) ? static_cast<int>(code) : -1;
  ::CloseHandle(pi.hProcess);
  ::CloseHandle(read_end);
  return result;
}

}  // namespace

Text Win32Platform::RunHidden(const Text& command, const Text& interpreter) {
  Text line;
  if (Is9x()) line = "command.com /c " + command;
  else if (!interpreter.empty()) line = interpreter + " " + command;
  else line = "cmd.exe /c " + command;
  return RunPiped(std::wstring(), Wide(line), false, *this).output;
}

CommandResult Win32Platform::RunHiddenCode(const Text& command, bool real_system_directory) {
  return RunPiped(std::wstring(), Wide((Is9x() ? "command.com /c " : "cmd.exe /c ") + command),
                  real_system_directory, *this);
}

Text Win32Platform::RunProgram(const Text& program, const std::vector<Text>& args) {
  // The program by its full path: no search, no interpreter in between.
  if (program.empty()) return {};
  return RunPiped(Wide(program), Wide(BuildCommandLine(program, args)), false, *this).output;
}

bool Win32Platform::ShellOpen(const Text& target) {
  HINSTANCE r = ::ShellExecuteW(nullptr, L"open", Wide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(r) > 32;
}

void Win32Platform::Restart() {
  HANDLE token;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    TOKEN_PRIVILEGES tp;
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &tp.Privileges[0].Luid)) {
      ::AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
    }
    ::CloseHandle(token);
  }
  ::ExitWindowsEx(EWX_REBOOT, 0);
}

void Win32Platform::EndProcess(int code) {
  ::ExitProcess(static_cast<UINT>(code));
}

// ---- Threads -------------------------------------------------------------------
// Workers are paused and stopped at their checkpoints (events), never with
// SuspendThread or TerminateThread: a thread held or killed at an arbitrary
// point may own the heap lock or be half-way through a file, and the rest of
// the program would then hang or see a torn file.

namespace {

struct Worker {
  std::function<void()> body;
  HANDLE thread = nullptr;
  HANDLE running = nullptr;  // manual-reset; reset while paused
  volatile LONG stop = 0;
  volatile LONG refs = 2;    // the creator's handle and the thread itself
};

DWORD g_worker_slot = TLS_OUT_OF_INDEXES;

void Unref(Worker* w) {
  if (::InterlockedDecrement(&w->refs) == 0) {
    if (w->thread) ::CloseHandle(w->thread);
    ::CloseHandle(w->running);
    delete w;
  }
}

DWORD WINAPI WorkerMain(LPVOID arg) {
  Worker* w = static_cast<Worker*>(arg);
  ::TlsSetValue(g_worker_slot, w);
  w->body();
  ::TlsSetValue(g_worker_slot, nullptr);
  Unref(w);
  return 0;
}

Worker* AsWorker(Handle h) { return reinterpret_cast<Worker*>(h); }

}  // namespace

Handle Win32Platform::StartThread(std::function<void()> body) {
  if (g_worker_slot == TLS_OUT_OF_INDEXES) {
    DWORD slot = ::TlsAlloc();
    if (::InterlockedCompareExchange(reinterpret_cast<LONG*>(&g_worker_slot), static_cast<LONG>(slot),
                                     static_cast<LONG>(TLS_OUT_OF_INDEXES)) != static_cast<LONG>(TLS_OUT_OF_INDEXES)) {
      ::TlsFree(slot);
    }
  }
  Worker* w = new Worker;
  w->body = std::move(body);
  w->running = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
  if (!w->running) {
    delete w;
    return kNoHandle;
  }
  w->thread = ::CreateThread(nullptr, 0, WorkerMain, w, 0, nullptr);
  if (!w->thread) {
    ::CloseHandle(w->running);
    delete w;
    return kNoHandle;
  }
  return reinterpret_cast<Handle>(w);
}

void Win32Platform::RequestStop(Handle thread) {
  if (thread == kNoHandle) return;
  Worker* w = AsWorker(thread);
  ::InterlockedExchange(&w->stop, 1);
  ::SetEvent(w->running);  // a paused worker wakes to see the request
}

void Win32Platform::PauseThread(Handle thread) {
  if (thread != kNoHandle && !AsWorker(thread)->stop) ::ResetEvent(AsWorker(thread)->running);
}

void Win32Platform::ResumeThread(Handle thread) {
  if (thread != kNoHandle) ::SetEvent(AsWorker(thread)->running);
}

bool Win32Platform::Checkpoint() {
  if (g_worker_slot == TLS_OUT_OF_INDEXES) return true;
  Worker* w = static_cast<Worker*>(::TlsGetValue(g_worker_slot));
  if (!w) return true;  // the window thread is never held
  if (w->stop) return false;
  ::WaitForSingleObject(w->running, INFINITE);
  return !w->stop;
}

bool Win32Platform::JoinThread(Handle thread, uint32_t timeout_ms) {
  if (thread == kNoHandle) return false;
  DWORD wait = timeout_ms == ~0u ? INFINITE : timeout_ms;
  return ::WaitForSingleObject(AsWorker(thread)->thread, wait) == WAIT_OBJECT_0;
}

void Win32Platform::ReleaseThread(Handle thread) {
  if (thread != kNoHandle) Unref(AsWorker(thread));
}

bool Win32Platform::OnWindowThread() { return ::GetCurrentThreadId() == window_thread_; }

// ---- Time ------------------------------------------------------------------------

namespace {
SYSTEMTIME ToSystemTime(const LocalTime& t) {
  SYSTEMTIME st;
  ZeroMemory(&st, sizeof st);
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wDayOfWeek = static_cast<WORD>(t.weekday);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  st.wMilliseconds = static_cast<WORD>(t.milliseconds);
  return st;
}
}  // namespace

LocalTime Win32Platform::Now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.weekday = st.wDayOfWeek;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.milliseconds = st.wMilliseconds;
  return t;
}

uint32_t Win32Platform::TickCount() { return ::GetTickCount(); }

void Win32Platform::Sleep(uint32_t ms) { ::Sleep(ms); }

void Win32Platform::SleepPumping(uint32_t ms) {
  DWORD start = ::GetTickCount();
  for (;;) {
    ProcessPendingEvents();
    DWORD spent = ::GetTickCount() - start;
    if (spent >= ms) break;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
  }
}

void Win32Platform::ProcessPendingEvents() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Left for the message loop that owns the program's end.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

bool Win32Platform::Locale24Hour() {
  wchar_t buf[8] = {0};
  if (!::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ITIME, buf, 8)) return true;
  return buf[0] == L'1';
}

Text Win32Platform::FormatDate(const LocalTime& t, const Text& pattern) {
  SYSTEMTIME st = ToSystemTime(t);
  std::wstring p = Wide(pattern);
  wchar_t buf[256];
  int n = ::GetDateFormatW(LOCALE_USER_DEFAULT, 0, &st, p.c_str(), buf, 256);
  return n > 0 ? Gbk(buf, n - 1) : Text();
}

Text Win32Platform::FormatTime(const LocalTime& t, const Text& pattern) {
  SYSTEMTIME st = ToSystemTime(t);
  std::wstring p = Wide(pattern);
  wchar_t buf[256];
  int n = ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, p.c_str(), buf, 256);
  return n > 0 ? Gbk(buf, n - 1) : Text();
}

// ---- Machine facts --------------------------------------------------------------------

namespace {
BOOL CALLBACK FindOwnVisibleWindow(HWND hwnd, LPARAM found) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(hwnd)) return TRUE;
  *reinterpret_cast<HWND*>(found) = hwnd;
  return FALSE;  // the first one, in z-order
}
}  // namespace

WindowRef Win32Platform::FirstVisibleOwnWindow() {
  HWND found = nullptr;
  ::EnumWindows(FindOwnVisibleWindow, reinterpret_cast<LPARAM>(&found));
  return reinterpret_cast<WindowRef>(found);
}

bool Win32Platform::HasWow64Directory() {
  typedef UINT(WINAPI * GetWow64Dir)(LPSTR, UINT);
  GetWow64Dir f = Resolve<GetWow64Dir>(L"kernel32.dll", "GetSystemWow64DirectoryA");
  char buf[MAX_PATH];
  return f && f(buf, MAX_PATH) > 0;
}

bool Win32Platform::RunningUnderWine() {
  typedef const char*(__cdecl * WineGetVersion)();
  return Resolve<WineGetVersion>(L"ntdll.dll", "wine_get_version") != nullptr;
}

bool Win32Platform::IsAdministrator() {
  typedef BOOL(WINAPI * CheckMembership)(HANDLE, PSID, PBOOL);
  CheckMembership check = Resolve<CheckMembership>(L"advapi32.dll", "CheckTokenMembership");
  if (!check) return true;  // before Windows 2000 there are no user rights to lack
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &admins))
    return false;
  // The group counts only where it is enabled in the token: an unelevated
  // token under UAC holds it for denial only.
  BOOL member = FALSE;
  if (!check(nullptr, admins, &member)) member = FALSE;
  ::FreeSid(admins);
  return member != FALSE;
}

bool Win32Platform::ProcessorHasLongMode() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  // __get_cpuid checks that the extended leaf exists before executing it.
  if (!__get_cpuid(0x80000001u, &a, &b, &c, &d)) return false;
  return (d & (1u << 29)) != 0;
#else
  return false;
#endif
}

uint32_t Win32Platform::FirmwareProbeError() {
  typedef DWORD(WINAPI * GetFirmwareVar)(LPCSTR, LPCSTR, PVOID, DWORD);
  GetFirmwareVar f = Resolve<GetFirmwareVar>(L"kernel32.dll", "GetFirmwareEnvironmentVariableA");
  if (!f) return ERROR_INVALID_FUNCTION;  // no such call: a legacy machine
  ::SetLastError(0);
  f("", "{00000000-0000-0000-0000-000000000000}", nullptr, 0);
  return ::GetLastError();
}

int Win32Platform::BatteryFlag() {
  SYSTEM_POWER_STATUS s;
  if (!::GetSystemPowerStatus(&s)) return 255;
  return s.BatteryFlag;
}

uint64_t Win32Platform::TotalMemoryMb() {
  MEMORYSTATUSEX m;
  m.dwLength = sizeof m;
  if (!::GlobalMemoryStatusEx(&m)) return 0;
  return m.ullTotalPhys / (1024 * 1024);
}

namespace {
HANDLE OpenPhysicalDrive(int n, DWORD access) {
  wchar_t name[40];
  ::wsprintfW(name, L"\\\\.\\PhysicalDrive%d", n);
  return ::CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}
}  // namespace

int Win32Platform::DiskIdentify(int n, Bytes& block) {
  HANDLE h = OpenPhysicalDrive(n, GENERIC_READ | GENERIC_WRITE);
  if (h == INVALID_HANDLE_VALUE) return 1;
  // The SMART "receive drive data" request with the IDENTIFY command: a
  // 32-byte request (buffer size, the eight IDE registers, the drive number)
  // and an answer of a 16-byte header and the 512-byte block.
  uint8_t in[32] = {0};
  uint8_t out[528] = {0};
  in[0] = 0x00;
  in[1] = 0x02;             // buffer size 512
  in[4] = 0;                // features
  in[5] = 1;                // sector count
  in[6] = 1;                // sector number
  in[7] = 0;                // cylinder low
  in[8] = 0;                // cylinder high
  // The opened device already selects the disk: master on the drive/head
  // register and drive number 0, whatever n is.
  in[9] = 0xA0;             // drive/head
  in[10] = 0xEC;            // IDENTIFY DEVICE
  in[12] = 0;               // drive number
  DWORD got = 0;
  BOOL ok = ::DeviceIoControl(h, 0x0007C088, in, sizeof in, out, sizeof out, &got, nullptr);
  ::CloseHandle(h);
  if (!ok || got < sizeof out) return 2;
  block.assign(out + 16, out + 528);
  return 0;
}

bool Win32Platform::DiskDeviceProperty(int n, Text& vendor, Text& product) {
  HANDLE h = OpenPhysicalDrive(n, 0);  // the query needs no access rights
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD query[3] = {0 /* StorageDeviceProperty */, 0 /* PropertyStandardQuery */, 0};
  uint8_t out[1024] = {0};
  DWORD got = 0;
  BOOL ok = ::DeviceIoControl(h, 0x002D1400 /* IOCTL_STORAGE_QUERY_PROPERTY */, query, sizeof query, out,
                              sizeof out, &got, nullptr);
  ::CloseHandle(h);
  if (!ok || got < 24) return false;
  auto at = [&](size_t field) -> Text {
    DWORD off = out[field] | (out[field + 1] << 8) | (out[field + 2] << 16) | (static_cast<DWORD>(out[field + 3]) << 24);
    if (off == 0 || off >= got) return {};
    const char* s = reinterpret_cast<const char*>(out + off);
    size_t len = 0;
    while (off + len < got && s[len]) ++len;
    return Text(s, len);
  };
  vendor = at(12);   // VendorIdOffset
  product = at(16);  // ProductIdOffset
  return true;
}

std::vector<std::pair<Text, Text>> Win32Platform::BoardRecords() {
  // WMI (Win32_BaseBoard) through the COM automation helper in support/.
  return com::QueryBoardRecords();
}

namespace {
struct RedirectionCookie {
  PVOID old;
};
}  // namespace

uint32_t Win32Platform::FailCriticalErrors() {
  // Per thread where the system can (Windows 7 and later), else for the process.
  typedef DWORD(WINAPI * GetThreadMode)();
  typedef BOOL(WINAPI * SetThreadMode)(DWORD, LPDWORD);
  GetThreadMode get = Resolve<GetThreadMode>(L"kernel32.dll", "GetThreadErrorMode");
  SetThreadMode set = Resolve<SetThreadMode>(L"kernel32.dll", "SetThreadErrorMode");
  if (get && set) {
    DWORD old = get();
    set(old | SEM_FAILCRITICALERRORS, nullptr);
    return old;
  }
  UINT old = ::SetErrorMode(SEM_FAILCRITICALERRORS);
  ::SetErrorMode(old | SEM_FAILCRITICALERRORS);
  return old;
}

void Win32Platform::RestoreErrorMode(uint32_t previous) {
  typedef BOOL(WINAPI * SetThreadMode)(DWORD, LPDWORD);
  SetThreadMode set = Resolve<SetThreadMode>(L"kernel32.dll", "SetThreadErrorMode");
  if (set && Resolve<void*>(L"kernel32.dll", "GetThreadErrorMode")) {
    set(previous, nullptr);
    return;
  }
  ::SetErrorMode(previous);
}

void* Win32Platform::DisableFsRedirection() {
  typedef BOOL(WINAPI * Disable)(PVOID*);
  Disable f = Resolve<Disable>(L"kernel32.dll", "Wow64DisableWow64FsRedirection");
  if (!f) return nullptr;  // no WOW64 here: nothing to turn off
  RedirectionCookie* c = new RedirectionCookie{nullptr};
  if (!f(&c->old)) {
    delete c;
    return nullptr;
  }
  return c;
}

void Win32Platform::RevertFsRedirection(void* cookie) {
  if (!cookie) return;
  RedirectionCookie* c = static_cast<RedirectionCookie*>(cookie);
  typedef BOOL(WINAPI * Revert)(PVOID);
  Revert f = Resolve<Revert>(L"kernel32.dll", "Wow64RevertWow64FsRedirection");
  if (f) f(c->old);
  delete c;
}

// ---- Dynamic libraries ---------------------------------------------------------------

namespace {
// LoadLibraryEx flags of Windows 8 (and of Vista/7 with the 2011 loader
// update): a library's own folder and the system directory only.
constexpr DWORD kSearchDllLoadDir = 0x00000100;   // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
constexpr DWORD kSearchApplicationDir = 0x00000200;  // LOAD_LIBRARY_SEARCH_APPLICATION_DIR
constexpr DWORD kSearchSystem32 = 0x00000800;     // LOAD_LIBRARY_SEARCH_SYSTEM32

// The loader knows the flags above when it has SetDefaultDllDirectories.
bool HasSearchFlags() {
  return ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories") != nullptr;
}
}  // namespace

void RestrictLibrarySearch() {
  // The current directory leaves the search order (XP SP1 and later).
  typedef BOOL(WINAPI * SetDllDir)(LPCWSTR);
  SetDllDir set_dir = Resolve<SetDllDir>(L"kernel32.dll", "SetDllDirectoryW");
  if (set_dir) set_dir(L"");
  // Where the loader can: the program's folder and the system directory only.
  typedef BOOL(WINAPI * SetDefaultDirs)(DWORD);
  SetDefaultDirs set_default = Resolve<SetDefaultDirs>(L"kernel32.dll", "SetDefaultDllDirectories");
  if (set_default) set_default(kSearchApplicationDir | kSearchSystem32);
}

Handle Win32Platform::LoadLibraryFrom(const Text& folder, const Text& name) {
  std::wstring file = Wide(name);
  const bool has_path = name.find('\\') != Text::npos || name.find('/') != Text::npos || name.find(':') != Text::npos;
  if (!has_path) {
    std::wstring dir = Wide(folder);
    if (dir.empty()) return kNoHandle;  // a bare name would be looked for along the search path
    if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
    file = dir + file;
  }
  // By its full path; what it needs comes from its own folder and the system
  // directory (on XP: its own folder first, then the usual order, which no
  // longer holds the current directory).
  const DWORD flags = HasSearchFlags() ? (kSearchDllLoadDir | kSearchSystem32) : LOAD_WITH_ALTERED_SEARCH_PATH;
  HMODULE m = ::LoadLibraryExW(file.c_str(), nullptr, flags);
  return reinterpret_cast<Handle>(m);
}

void* Win32Platform::FindFunction(Handle library, const char* name) {
  if (library == kNoHandle || !name) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(library), name));
}

}  // namespace mv
