// The engine's own view of the machine: locks, events, threads, a monotonic
// clock and files with 64-bit offsets. Win32 primitives in the Windows builds
// (the DLL must not depend on the program's platform layer), pthreads natively.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace xldl {

// Milliseconds from an arbitrary start; never goes backwards.
int64_t NowMs();
void SleepMs(int ms);
// Value of an environment variable, or "" when it is not set.
std::string GetEnv(const char* name);

class Lock {
 public:
  Lock();
  ~Lock();
  void lock();
  void unlock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  void* impl_;
};

class Guard {
 public:
  explicit Guard(Lock& l) : l_(l) { l_.lock(); }
  ~Guard() { l_.unlock(); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  Lock& l_;
};

// Manual-reset event.
class Event {
 public:
  Event();
  ~Event();
  void Set();
  void Reset();
  // True when the event is set (at once or within ms milliseconds).
  bool Wait(int ms);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

 private:
  void* impl_;
};

class Thread {
 public:
  Thread() = default;
  ~Thread();  // joins a thread that is still running
  bool Start(std::function<void()> fn);
  void Join();
  bool Running() const { return impl_ != nullptr; }
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

 private:
  void* impl_ = nullptr;
};

// A file opened for reading and writing at explicit offsets; several threads
// may write disjoint ranges at once.
class File {
 public:
  // Opens path, creating it when missing; never truncates. nullptr on failure.
  static std::unique_ptr<File> OpenOrCreate(const std::string& path);
  // Opens an existing file for reading only, sharing it with writers.
  static std::unique_ptr<File> OpenForReading(const std::string& path);
  ~File();
  bool WriteAt(int64_t offset, const void* data, size_t size);
  bool ReadAt(int64_t offset, void* data, size_t size);
  int64_t Size();  // -1 on failure
  bool SetSize(int64_t size);
  bool Flush();  // data reaches the disk

 private:
  File() = default;
  intptr_t h_ = -1;
};

// Paths are UTF-8 throughout the engine.
int64_t FileSize(const std::string& path);  // -1 when missing
bool RemoveFile(const std::string& path);    // true when gone afterwards
// Writes data to tmp, flushes it and moves it over path in one step.
bool WriteFileAtomic(const std::string& path, const std::string& tmp, const void* data, size_t size);
bool ReadWholeFile(const std::string& path, std::string* out, size_t max_size);

}  // namespace xldl
