#include "core/crc32.h"

namespace mv {
namespace {

// Slicing by four: four table lookups per 32-bit word.
struct Tables {
  uint32_t t[4][256];
  Tables() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int s = 1; s < 4; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  }
};

const Tables& Get() {
  static const Tables tables;
  return tables;
}

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
  const auto& t = Get().t;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  crc = ~crc;
  while (size >= 4) {
    crc ^= uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    crc = t[3][crc & 0xFF] ^ t[2][(crc >> 8) & 0xFF] ^ t[1][(crc >> 16) & 0xFF] ^ t[0][crc >> 24];
    p += 4;
    size -= 4;
  }
  while (size-- > 0) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace mv
