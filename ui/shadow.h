// The geometry of a window's drop shadow, kept apart from the window system
// so that it can be checked anywhere: the rings drawn around the owner
// window, their alphas, and the rounded-rectangle outline of each ring.
#pragma once

#include <cstdint>
#include <vector>

namespace mv::ui {

// Colour and size every shadow of the program gets.
constexpr uint32_t kShadowColour = 0;  // COLORREF 0x00BBGGRR: black
constexpr int kShadowSize = 5;

// Alpha step between two rings: (100 when size <= 8, else 150) / size,
// truncated (5 -> 20, 8 -> 12, 9 -> 16). 0 for a size below 1.
int ShadowStep(int size);

// A COLORREF (0x00BBGGRR) with an alpha as a GDI+ ARGB value.
uint32_t ShadowArgb(uint32_t colorref, int alpha);

// One arc of a rounded-rectangle outline: a 90-degree sweep from `start`
// degrees inside the d x d box at (x, y).
struct Arc {
  float x, y, d, start, sweep;
};
// The four corner arcs of a rounded rectangle, in drawing order; empty when
// the radius is 0 or less (a plain rectangle). The radius is clamped to
// 1..100.
std::vector<Arc> RoundedRectArcs(float x, float y, float w, float h, int radius);

// Ring i (1 = outermost, faintest; size = next to the owner, strongest) of
// a shadow of the given outer size.
struct Ring {
  float x, y, w, h;
  int alpha;
  uint32_t argb;
};
std::vector<Ring> ShadowRings(int outer_width, int outer_height, int size, uint32_t colorref);

// The shadow window's rectangle for an owner rectangle (left, top, right,
// bottom): size pixels larger on every side.
struct Box {
  int left, top, right, bottom;
};
Box ShadowBox(const Box& owner, int size);

}  // namespace mv::ui
