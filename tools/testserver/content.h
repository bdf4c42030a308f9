// Generated test content: a deterministic byte sequence of any length, so
// that a server can offer a multi-gigabyte file without storing it and a test
// can check any byte of the copy it received.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xlts {

// The n bytes at offset of the content with this seed.
void FillContent(uint64_t seed, int64_t offset, void* out, size_t n);

// MD5 (RFC 1321).
class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t n);
  std::string HexDigest();  // 32 lower-case digits; ends the digest

 private:
  void Block(const uint8_t* p);
  uint32_t a_, b_, c_, d_;
  uint64_t bytes_ = 0;
  uint8_t buf_[64];
  size_t used_ = 0;
};

std::string Md5OfContent(uint64_t seed, int64_t size);
std::string Md5OfFile(const std::string& path);  // "" when unreadable

}  // namespace xlts
