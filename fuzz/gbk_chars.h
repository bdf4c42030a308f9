// Character-wise checks for the fuzz targets: the program's texts are GBK,
// where a lead byte (0x81 to 0xFE) takes the next byte with it, so a byte
// such as "&" right after one is part of a character, not a separator.
#pragma once

#include <string>

// True when c stands in s as a character of its own.
inline bool HasGbkChar(const std::string& s, char c) {
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b >= 0x81 && b <= 0xFE && i + 1 < s.size()) {
      ++i;
      continue;
    }
    if (s[i] == c) return true;
  }
  return false;
}
