// The running MD5 of a download: a thread of its own reads back, through a
// handle of its own, the bytes the connections have written from byte 0 up to
// the first gap, and feeds them to the digest as that prefix grows. Reading
// back (from the page cache, just after the write) makes the digest the one of
// what is on disk, so a write that went wrong is caught as a full pass over
// the file would catch it; when the last byte lands only the last few blocks
// are left to hash.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/md5.h"
#include "tools/xldl/sys.h"

namespace xldl {

class PrefixDigest {
 public:
  // How many bytes from byte 0 are on disk now; called on the hashing thread.
  using Frontier = std::function<int64_t()>;

  PrefixDigest() = default;
  ~PrefixDigest() { Stop(); }

  // Starts hashing path from byte 0 (a resumed file's bytes on disk are
  // hashed once, then the new ones as they come). Any earlier run is stopped
  // and forgotten. False when the thread cannot start.
  bool Start(const std::string& path, Frontier frontier);
  // The frontier may have moved: cheap, callable from any thread.
  void Poke() {
    if (idle_.load(std::memory_order_relaxed)) wake_.Set();
  }
  // Stops the thread; the digest is then unusable until the next Start.
  void Stop();
  // Hashes up to total (the frontier must reach it), ends the thread and
  // gives the digest as 32 upper-case hexadecimal digits. False, with no
  // digest, when the file could not be read back.
  bool Complete(int64_t total, std::string* hex);
  int64_t Hashed() const { return hashed_.load(std::memory_order_relaxed); }

  PrefixDigest(const PrefixDigest&) = delete;
  PrefixDigest& operator=(const PrefixDigest&) = delete;

 private:
  void Run();

  static constexpr size_t kChunk = 1 << 20;

  Thread thread_;
  Event wake_;
  std::string path_;
  Frontier frontier_;
  mv::Md5 md5_;
  std::unique_ptr<char[]> buffer_;
  std::atomic<int64_t> hashed_{0};
  std::atomic<bool> idle_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> drain_{false};  // end once the frontier is reached
  std::atomic<bool> failed_{false};
};

}  // namespace xldl
