#include "tools/testserver/content.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace xlts {

namespace {

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Word k of the content is table[k mod 2^17] xor a per-mebibyte key: cheap
// to produce at memory speed, and no two mebibytes are alike.
const uint64_t* Table() {
  static const std::vector<uint64_t> t = [] {
    std::vector<uint64_t> v(1u << 17);
    for (size_t i = 0; i < v.size(); ++i) v[i] = Mix(i * 0x632BE59BD9B4E019ull + 7);
    return v;
  }();
  return t.data();
}

inline uint64_t Word(uint64_t seed, uint64_t k, const uint64_t* t) { return t[k & 0x1FFFF] ^ Mix(seed * 0x100000001B3ull + (k >> 17)); }

}  // namespace

void FillContent(uint64_t seed, int64_t offset, void* out, size_t n) {
  const uint64_t* t = Table();
  uint8_t* p = static_cast<uint8_t*>(out);
  uint64_t off = uint64_t(offset);
  while (n > 0 && (off & 7)) {
    uint64_t w = Word(seed, off >> 3, t);
    *p++ = uint8_t(w >> (8 * (off & 7)));
    ++off;
    --n;
  }
  uint64_t k = off >> 3;
  uint64_t key = Mix(seed * 0x100000001B3ull + (k >> 17));
  while (n >= 8) {
    if ((k & 0x1FFFF) == 0) key = Mix(seed * 0x100000001B3ull + (k >> 17));
    uint64_t w = t[k & 0x1FFFF] ^ key;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    memcpy(p, &w, 8);
#else
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(w >> (8 * i));
#endif
    p += 8;
    n -= 8;
    ++k;
  }
  off = k << 3;
  while (n > 0) {
    uint64_t w = Word(seed, off >> 3, t);
    *p++ = uint8_t(w >> (8 * (off & 7)));
    ++off;
    --n;
  }
}

// ---- MD5 ----

namespace {
const uint32_t kK[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
const int kS[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,
                    14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                    4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
inline uint32_t Rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }
}  // namespace

Md5::Md5() : a_(0x67452301), b_(0xefcdab89), c_(0x98badcfe), d_(0x10325476) {}

void Md5::Block(const uint8_t* p) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 | uint32_t(p[4 * i + 2]) << 16 | uint32_t(p[4 * i + 3]) << 24;
  uint32_t a = a_, b = b_, c = c_, d = d_;
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    uint32_t tmp = d;
    d = c;
    c = b;
    b = b + Rotl(a + f + kK[i] + m[g], kS[i]);
    a = tmp;
  }
  a_ += a;
  b_ += b;
  c_ += c;
  d_ += d;
}

void Md5::Update(const void* data, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  bytes_ += n;
  if (used_) {
    size_t take = std::min(n, 64 - used_);
    memcpy(buf_ + used_, p, take);
    used_ += take;
    p += take;
    n -= take;
    if (used_ < 64) return;
    Block(buf_);
    used_ = 0;
  }
  while (n >= 64) {
    Block(p);
    p += 64;
    n -= 64;
  }
  memcpy(buf_, p, n);
  used_ = n;
}

std::string Md5::HexDigest() {
  uint64_t bits = bytes_ * 8;
  uint8_t pad[72] = {0x80};
  size_t padlen = (used_ < 56) ? 56 - used_ : 120 - used_;
  Update(pad, padlen);
  uint8_t len[8];
  for (int i = 0; i < 8; ++i) len[i] = uint8_t(bits >> (8 * i));
  Update(len, 8);
  char out[33];
  uint32_t v[4] = {a_, b_, c_, d_};
  for (int i = 0; i < 16; ++i) snprintf(out + 2 * i, 3, "%02x", (v[i / 4] >> (8 * (i % 4))) & 0xFF);
  return std::string(out, 32);
}

std::string Md5OfContent(uint64_t seed, int64_t size) {
  Md5 m;
  std::vector<char> buf(1 << 20);
  for (int64_t at = 0; at < size;) {
    size_t n = size_t(std::min<int64_t>(int64_t(buf.size()), size - at));
    FillContent(seed, at, buf.data(), n);
    m.Update(buf.data(), n);
    at += int64_t(n);
  }
  return m.HexDigest();
}

std::string Md5OfFile(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return "";
  Md5 m;
  std::vector<char> buf(1 << 20);
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), f)) > 0) m.Update(buf.data(), n);
  bool ok = !ferror(f);
  fclose(f);
  return ok ? m.HexDigest() : "";
}

}  // namespace xlts
