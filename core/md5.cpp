#include "core/md5.h"

#include <cstring>

namespace mv {
namespace {

inline uint32_t Load32(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
#else
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
#endif
}

inline uint32_t Rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// The round functions are written so that the newest value (x, the b of the
// step) enters last: everything else is computed while it is still being
// made, which shortens the chain each step waits on. G is
// (x & z) | (y & ~z) as a sum of two disjoint parts.
#define MV_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MV_H(x, y, z) (((y) ^ (z)) ^ (x))
#define MV_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MV_STEP(f, a, b, c, d, x, t, s) \
  a += (x) + (t);                       \
  a += f(b, c, d);                      \
  a = Rotl(a, s) + b;
#define MV_STEP_G(a, b, c, d, x, t, s) \
  a += (x) + (t);                      \
  a += (c) & ~(d);                     \
  a += (b) & (d);                      \
  a = Rotl(a, s) + b;

// Processes n whole 64-byte blocks.
void Transform(uint32_t state[4], const uint8_t* p, size_t n) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; n > 0; --n, p += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = Load32(p + 4 * i);
    const uint32_t sa = a, sb = b, sc = c, sd = d;

    MV_STEP(MV_F, a, b, c, d, x[0], 0xd76aa478, 7)
    MV_STEP(MV_F, d, a, b, c, x[1], 0xe8c7b756, 12)
    MV_STEP(MV_F, c, d, a, b, x[2], 0x242070db, 17)
    MV_STEP(MV_F, b, c, d, a, x[3], 0xc1bdceee, 22)
    MV_STEP(MV_F, a, b, c, d, x[4], 0xf57c0faf, 7)
    MV_STEP(MV_F, d, a, b, c, x[5], 0x4787c62a, 12)
    MV_STEP(MV_F, c, d, a, b, x[6], 0xa8304613, 17)
    MV_STEP(MV_F, b, c, d, a, x[7], 0xfd469501, 22)
    MV_STEP(MV_F, a, b, c, d, x[8], 0x698098d8, 7)
    MV_STEP(MV_F, d, a, b, c, x[9], 0x8b44f7af, 12)
    MV_STEP(MV_F, c, d, a, b, x[10], 0xffff5bb1, 17)
    MV_STEP(MV_F, b, c, d, a, x[11], 0x895cd7be, 22)
    MV_STEP(MV_F, a, b, c, d, x[12], 0x6b901122, 7)
    MV_STEP(MV_F, d, a, b, c, x[13], 0xfd987193, 12)
    MV_STEP(MV_F, c, d, a, b, x[14], 0xa679438e, 17)
    MV_STEP(MV_F, b, c, d, a, x[15], 0x49b40821, 22)

    MV_STEP_G(a, b, c, d, x[1], 0xf61e2562, 5)
    MV_STEP_G(d, a, b, c, x[6], 0xc040b340, 9)
    MV_STEP_G(c, d, a, b, x[11], 0x265e5a51, 14)
    MV_STEP_G(b, c, d, a, x[0], 0xe9b6c7aa, 20)
    MV_STEP_G(a, b, c, d, x[5], 0xd62f105d, 5)
    MV_STEP_G(d, a, b, c, x[10], 0x02441453, 9)
    MV_STEP_G(c, d, a, b, x[15], 0xd8a1e681, 14)
    MV_STEP_G(b, c, d, a, x[4], 0xe7d3fbc8, 20)
    MV_STEP_G(a, b, c, d, x[9], 0x21e1cde6, 5)
    MV_STEP_G(d, a, b, c, x[14], 0xc33707d6, 9)
    MV_STEP_G(c, d, a, b, x[3], 0xf4d50d87, 14)
    MV_STEP_G(b, c, d, a, x[8], 0x455a14ed, 20)
    MV_STEP_G(a, b, c, d, x[13], 0xa9e3e905, 5)
    MV_STEP_G(d, a, b, c, x[2], 0xfcefa3f8, 9)
    MV_STEP_G(c, d, a, b, x[7], 0x676f02d9, 14)
    MV_STEP_G(b, c, d, a, x[12], 0x8d2a4c8a, 20)

    MV_STEP(MV_H, a, b, c, d, x[5], 0xfffa3942, 4)
    MV_STEP(MV_H, d, a, b, c, x[8], 0x8771f681, 11)
    MV_STEP(MV_H, c, d, a, b, x[11], 0x6d9d6122, 16)
    MV_STEP(MV_H, b, c, d, a, x[14], 0xfde5380c, 23)
    MV_STEP(MV_H, a, b, c, d, x[1], 0xa4beea44, 4)
    MV_STEP(MV_H, d, a, b, c, x[4], 0x4bdecfa9, 11)
    MV_STEP(MV_H, c, d, a, b, x[7], 0xf6bb4b60, 16)
    MV_STEP(MV_H, b, c, d, a, x[10], 0xbebfbc70, 23)
    MV_STEP(MV_H, a, b, c, d, x[13], 0x289b7ec6, 4)
    MV_STEP(MV_H, d, a, b, c, x[0], 0xeaa127fa, 11)
    MV_STEP(MV_H, c, d, a, b, x[3], 0xd4ef3085, 16)
    MV_STEP(MV_H, b, c, d, a, x[6], 0x04881d05, 23)
    MV_STEP(MV_H, a, b, c, d, x[9], 0xd9d4d039, 4)
    MV_STEP(MV_H, d, a, b, c, x[12], 0xe6db99e5, 11)
    MV_STEP(MV_H, c, d, a, b, x[15], 0x1fa27cf8, 16)
    MV_STEP(MV_H, b, c, d, a, x[2], 0xc4ac5665, 23)

    MV_STEP(MV_I, a, b, c, d, x[0], 0xf4292244, 6)
    MV_STEP(MV_I, d, a, b, c, x[7], 0x432aff97, 10)
    MV_STEP(MV_I, c, d, a, b, x[14], 0xab9423a7, 15)
    MV_STEP(MV_I, b, c, d, a, x[5], 0xfc93a039, 21)
    MV_STEP(MV_I, a, b, c, d, x[12], 0x655b59c3, 6)
    MV_STEP(MV_I, d, a, b, c, x[3], 0x8f0ccc92, 10)
    MV_STEP(MV_I, c, d, a, b, x[10], 0xffeff47d, 15)
    MV_STEP(MV_I, b, c, d, a, x[1], 0x85845dd1, 21)
    MV_STEP(MV_I, a, b, c, d, x[8], 0x6fa87e4f, 6)
    MV_STEP(MV_I, d, a, b, c, x[15], 0xfe2ce6e0, 10)
    MV_STEP(MV_I, c, d, a, b, x[6], 0xa3014314, 15)
    MV_STEP(MV_I, b, c, d, a, x[13], 0x4e0811a1, 21)
    MV_STEP(MV_I, a, b, c, d, x[4], 0xf7537e82, 6)
    MV_STEP(MV_I, d, a, b, c, x[11], 0xbd3af235, 10)
    MV_STEP(MV_I, c, d, a, b, x[2], 0x2ad7d2bb, 15)
    MV_STEP(MV_I, b, c, d, a, x[9], 0xeb86d391, 21)

    a += sa;
    b += sb;
    c += sc;
    d += sd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MV_F
#undef MV_STEP_G
#undef MV_H
#undef MV_I
#undef MV_STEP

}  // namespace

Md5::Md5() { Reset(); }

void Md5::Reset() {
  a_ = 0x67452301;
  b_ = 0xefcdab89;
  c_ = 0x98badcfe;
  d_ = 0x10325476;
  length_ = 0;
  used_ = 0;
}

void Md5::Update(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  length_ += size;
  uint32_t state[4] = {a_, b_, c_, d_};
  if (used_ > 0) {
    size_t take = 64 - used_;
    if (take > size) take = size;
    std::memcpy(block_ + used_, p, take);
    used_ += take;
    p += take;
    size -= take;
    if (used_ < 64) return;
    Transform(state, block_, 1);
    used_ = 0;
  }
  if (size >= 64) {
    Transform(state, p, size / 64);
    p += size & ~size_t(63);
    size &= 63;
  }
  if (size > 0) {
    std::memcpy(block_, p, size);
    used_ = size;
  }
  a_ = state[0];
  b_ = state[1];
  c_ = state[2];
  d_ = state[3];
}

void Md5::Final(uint8_t digest[16]) {
  const uint64_t bits = length_ * 8;
  static const uint8_t kPad[64] = {0x80};
  const size_t pad = used_ < 56 ? 56 - used_ : 120 - used_;
  Update(kPad, pad);
  uint8_t len[8];
  for (int i = 0; i < 8; ++i) len[i] = uint8_t(bits >> (8 * i));
  Update(len, 8);
  const uint32_t words[4] = {a_, b_, c_, d_};
  for (int w = 0; w < 4; ++w)
    for (int i = 0; i < 4; ++i) digest[4 * w + i] = uint8_t(words[w] >> (8 * i));
}

std::string Md5::Hex(const uint8_t digest[16], bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out(32, '0');
  for (int i = 0; i < 16; ++i) {
    out[2 * i] = digits[digest[i] >> 4];
    out[2 * i + 1] = digits[digest[i] & 15];
  }
  return out;
}

std::string Md5Hex(const void* data, size_t size, bool upper) {
  Md5 m;
  m.Update(data, size);
  uint8_t d[16];
  m.Final(d);
  return Md5::Hex(d, upper);
}

}  // namespace mv
