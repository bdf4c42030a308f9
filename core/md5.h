// MD5 (RFC 1321) over byte streams: file checks of downloaded images and the
// text digests written for the PE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mv {

class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  // Finishes the digest; the object must be Reset() before it is used again.
  void Final(uint8_t digest[16]);
  void Reset();

  // 32 hexadecimal digits of a finished digest.
  static std::string Hex(const uint8_t digest[16], bool upper);

 private:
  uint32_t a_, b_, c_, d_;
  uint64_t length_;       // bytes fed so far
  uint8_t block_[64];     // a partial block waiting for more input
  size_t used_;           // bytes held in block_
};

// Digest of a byte range as 32 hexadecimal digits.
std::string Md5Hex(const void* data, size_t size, bool upper);

}  // namespace mv
