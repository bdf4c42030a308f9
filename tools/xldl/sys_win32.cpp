// Win32 side of the engine's system layer: critical sections, manual-reset
// events, CRT-aware threads, the performance counter, wide file APIs.
// Everything here exists on Windows XP.
#include "tools/xldl/sys.h"

#include <windows.h>
#include <process.h>

#include <cstdlib>

#include "tools/xldl/text.h"

namespace xldl {

int64_t NowMs() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return int64_t(c.QuadPart / (freq.QuadPart / 1000 ? freq.QuadPart / 1000 : 1));
}

void SleepMs(int ms) {
  if (ms > 0) ::Sleep(DWORD(ms));
}

std::string GetEnv(const char* name) {
  wchar_t buf[512];
  std::wstring wname = Utf8ToWide(name);
  DWORD n = GetEnvironmentVariableW(wname.c_str(), buf, 512);
  if (n == 0 || n >= 512) return "";
  return WideToUtf8(std::wstring(buf, n));
}

Lock::Lock() {
  auto* cs = new CRITICAL_SECTION;
  InitializeCriticalSection(cs);
  impl_ = cs;
}
Lock::~Lock() {
  DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(impl_));
  delete static_cast<CRITICAL_SECTION*>(impl_);
}
void Lock::lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(impl_)); }
void Lock::unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(impl_)); }

Event::Event() { impl_ = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
Event::~Event() { CloseHandle(static_cast<HANDLE>(impl_)); }
void Event::Set() { SetEvent(static_cast<HANDLE>(impl_)); }
void Event::Reset() { ResetEvent(static_cast<HANDLE>(impl_)); }
bool Event::Wait(int ms) {
  return WaitForSingleObject(static_cast<HANDLE>(impl_), DWORD(ms < 0 ? 0 : ms)) == WAIT_OBJECT_0;
}

namespace {
struct ThreadImpl {
  HANDLE h = nullptr;
  std::function<void()> fn;
};
unsigned __stdcall ThreadMain(void* p) {
  static_cast<ThreadImpl*>(p)->fn();
  return 0;
}
}  // namespace

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> fn) {
  Join();
  auto* t = new ThreadImpl;
  t->fn = std::move(fn);
  uintptr_t h = _beginthreadex(nullptr, 0, ThreadMain, t, 0, nullptr);
  if (h == 0) {
    delete t;
    return false;
  }
  t->h = reinterpret_cast<HANDLE>(h);
  impl_ = t;
  return true;
}

void Thread::Join() {
  if (!impl_) return;
  auto* t = static_cast<ThreadImpl*>(impl_);
  WaitForSingleObject(t->h, INFINITE);
  CloseHandle(t->h);
  delete t;
  impl_ = nullptr;
}

std::unique_ptr<File> File::OpenOrCreate(const std::string& path) {
  HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  std::unique_ptr<File> f(new File);
  f->h_ = reinterpret_cast<intptr_t>(h);
  return f;
}

std::unique_ptr<File> File::OpenForReading(const std::string& path) {
  HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  std::unique_ptr<File> f(new File);
  f->h_ = reinterpret_cast<intptr_t>(h);
  return f;
}

File::~File() {
  if (h_ != -1) CloseHandle(reinterpret_cast<HANDLE>(h_));
}

bool File::WriteAt(int64_t offset, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : DWORD(size);
    OVERLAPPED ov = {};
    ov.Offset = DWORD(uint64_t(offset) & 0xFFFFFFFFu);
    ov.OffsetHigh = DWORD(uint64_t(offset) >> 32);
    DWORD done = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(h_), p, chunk, &done, &ov) || done == 0) return false;
    p += done;
    size -= done;
    offset += done;
  }
  return true;
}

bool File::ReadAt(int64_t offset, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : DWORD(size);
    OVERLAPPED ov = {};
    ov.Offset = DWORD(uint64_t(offset) & 0xFFFFFFFFu);
    ov.OffsetHigh = DWORD(uint64_t(offset) >> 32);
    DWORD done = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(h_), p, chunk, &done, &ov) || done == 0) return false;
    p += done;
    size -= done;
    offset += done;
  }
  return true;
}

int64_t File::Size() {
  LARGE_INTEGER s;
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(h_), &s)) return -1;
  return int64_t(s.QuadPart);
}

bool File::SetSize(int64_t size) {
  LARGE_INTEGER pos;
  pos.QuadPart = size;
  HANDLE h = reinterpret_cast<HANDLE>(h_);
  return SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && SetEndOfFile(h);
}

bool File::Flush() { return FlushFileBuffers(reinterpret_cast<HANDLE>(h_)) != 0; }

int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExW(Utf8ToWide(path).c_str(), GetFileExInfoStandard, &a)) return -1;
  if (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return int64_t((uint64_t(a.nFileSizeHigh) << 32) | a.nFileSizeLow);
}

bool RemoveFile(const std::string& path) {
  std::wstring w = Utf8ToWide(path);
  if (DeleteFileW(w.c_str())) return true;
  DWORD e = GetLastError();
  return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
}

bool WriteFileAtomic(const std::string& path, const std::string& tmp, const void* data, size_t size) {
  std::wstring wtmp = Utf8ToWide(tmp);
  HANDLE h = CreateFileW(wtmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  bool ok = WriteFile(h, data, DWORD(size), &done, nullptr) && done == size;
  ok = FlushFileBuffers(h) && ok;
  ok = CloseHandle(h) && ok;
  if (ok) {
    ok = MoveFileExW(wtmp.c_str(), Utf8ToWide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!ok) DeleteFileW(wtmp.c_str());
  return ok;
}

bool ReadWholeFile(const std::string& path, std::string* out, size_t max_size) {
  HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  out->clear();
  char buf[4096];
  bool ok = true;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      ok = false;
      break;
    }
    if (n == 0) break;
    out->append(buf, n);
    if (out->size() > max_size) {
      ok = false;
      break;
    }
  }
  CloseHandle(h);
  return ok;
}

}  // namespace xldl
