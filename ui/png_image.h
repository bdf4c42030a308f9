// Decoding of the skin's PNG images into pixels the window can blend.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mv::ui {

// Top-down rows of 32-bit pixels 0xAARRGGBB with the colour premultiplied
// by the alpha (what AlphaBlend and layered windows take).
struct PixelImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// Largest image accepted (either side), so a damaged file cannot ask for
// an absurd amount of memory.
constexpr int kMaxImageSide = 4096;

// Decodes a PNG held in memory; false (and *out untouched) when the bytes
// are not a PNG libpng can read or the image is larger than allowed.
bool DecodePng(const std::string& bytes, PixelImage* out);

}  // namespace mv::ui
