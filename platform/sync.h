// Locks for the few places that need them (the window model, the engine's
// task table). Win32 critical sections in the Windows builds, std::mutex in
// the native one; never std::thread.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

namespace mv {

class Mutex {
 public:
#if defined(_WIN32)
  Mutex() { ::InitializeCriticalSection(&cs_); }
  ~Mutex() { ::DeleteCriticalSection(&cs_); }
  void lock() { ::EnterCriticalSection(&cs_); }
  void unlock() { ::LeaveCriticalSection(&cs_); }
#else
  Mutex() = default;
  void lock() { m_.lock(); }
  void unlock() { m_.unlock(); }
#endif
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

 private:
#if defined(_WIN32)
  CRITICAL_SECTION cs_;
#else
  std::recursive_mutex m_;
#endif
};

class LockGuard {
 public:
  explicit LockGuard(Mutex& m) : m_(m) { m_.lock(); }
  ~LockGuard() { m_.unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Mutex& m_;
};

}  // namespace mv
