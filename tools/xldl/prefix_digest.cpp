#include "tools/xldl/prefix_digest.h"

#include <algorithm>

namespace xldl {

bool PrefixDigest::Start(const std::string& path, Frontier frontier) {
  Stop();
  path_ = path;
  frontier_ = std::move(frontier);
  md5_.Reset();
  hashed_ = 0;
  stop_ = drain_ = failed_ = false;
  idle_ = false;
  if (!buffer_) buffer_.reset(new char[kChunk]);
  return thread_.Start([this] { Run(); });
}

void PrefixDigest::Stop() {
  stop_ = true;
  wake_.Set();
  thread_.Join();
}

bool PrefixDigest::Complete(int64_t total, std::string* hex) {
  if (!thread_.Running()) return false;
  drain_ = true;
  wake_.Set();
  thread_.Join();
  if (stop_ || failed_ || hashed_ != total) return false;
  uint8_t digest[16];
  md5_.Final(digest);
  *hex = mv::Md5::Hex(digest, true);
  return true;
}

void PrefixDigest::Run() {
  std::unique_ptr<File> file = File::OpenForReading(path_);
  if (!file) {
    failed_ = true;
    return;
  }
  while (!stop_) {
    // Reset before looking, so that a poke between the look and the wait
    // is not lost.
    wake_.Reset();
    const int64_t at = hashed_;
    const int64_t limit = frontier_();
    if (limit <= at) {
      if (drain_) return;
      idle_ = true;
      wake_.Wait(50);
      idle_ = false;
      continue;
    }
    const size_t n = size_t(std::min<int64_t>(limit - at, int64_t(kChunk)));
    if (!file->ReadAt(at, buffer_.get(), n)) {
      failed_ = true;
      return;
    }
    md5_.Update(buffer_.get(), n);
    hashed_ = at + int64_t(n);
  }
}

}  // namespace xldl
