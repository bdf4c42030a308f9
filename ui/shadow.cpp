#include "ui/shadow.h"

namespace mv::ui {

int ShadowStep(int size) {
  if (size < 1) return 0;
  return (size <= 8 ? 100 : 150) / size;
}

uint32_t ShadowArgb(uint32_t colorref, int alpha) {
  if (alpha < 0) alpha = 0;
  if (alpha > 255) alpha = 255;
  uint32_t red = colorref & 0xFF, green = (colorref >> 8) & 0xFF, blue = (colorref >> 16) & 0xFF;
  return (static_cast<uint32_t>(alpha) << 24) | (red << 16) | (green << 8) | blue;
}

std::vector<Arc> RoundedRectArcs(float x, float y, float w, float h, int radius) {
  if (radius <= 0) return {};
  if (radius > 100) radius = 100;
  const float d = 2.0f * static_cast<float>(radius);
  return {{x, y, d, 180.0f, 90.0f},
          {x + w - d, y, d, 270.0f, 90.0f},
          {x + w - d, y + h - d, d, 0.0f, 90.0f},
          {x, y + h - d, d, 90.0f, 90.0f}};
}

std::vector<Ring> ShadowRings(int outer_width, int outer_height, int size, uint32_t colorref) {
  std::vector<Ring> rings;
  const int step = ShadowStep(size);
  for (int i = 1; i <= size; ++i) {
    Ring r;
    r.x = static_cast<float>(i - 1);
    r.y = static_cast<float>(i - 1);
    r.w = static_cast<float>(outer_width - 2 * i + 1);
    r.h = static_cast<float>(outer_height - 2 * i + 1);
    r.alpha = step * i;
    r.argb = ShadowArgb(colorref, r.alpha);
    rings.push_back(r);
  }
  return rings;
}

Box ShadowBox(const Box& owner, int size) {
  return Box{owner.left - size, owner.top - size, owner.right + size, owner.bottom + size};
}

}  // namespace mv::ui
