#include "ui/png_image.h"

#include <png.h>

#include <cstring>

namespace mv::ui {

bool DecodePng(const std::string& bytes, PixelImage* out) {
  if (bytes.size() < 8) return false;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide || image.height > kMaxImageSide) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_BGRA;  // bytes B, G, R, A: one little-endian 0xAARRGGBB word
  std::vector<uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  for (uint32_t& p : pixels) {
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&p);
    uint32_t blue = b[0], green = b[1], red = b[2], a = b[3];
    red = (red * a + 127) / 255;
    green = (green * a + 127) / 255;
    blue = (blue * a + 127) / 255;
    p = (a << 24) | (red << 16) | (green << 8) | blue;
  }
  out->width = static_cast<int>(image.width);
  out->height = static_cast<int>(image.height);
  out->pixels.swap(pixels);
  return true;
}

}  // namespace mv::ui
