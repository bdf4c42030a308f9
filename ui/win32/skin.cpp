// Drawing the skin's images: each is decoded once (libpng), kept as a
// premultiplied 32-bit bitmap and blended with its alpha.
#include <cstring>
#include <map>
#include <string>

#include "ui/png_image.h"
#include "ui/skin.h"
#include "ui/win32/paint.h"

namespace mv::ui::win32 {

namespace {

struct Decoded {
  HBITMAP bitmap = nullptr;  // null: not carried or not decodable
  int width = 0, height = 0;
};

Decoded Decode(const std::string& name) {
  Decoded d;
  PixelImage image;
  if (!DecodePng(SkinImageBytes(name), &image)) return d;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = image.width;
  bi.bmiHeader.biHeight = -image.height;  // top-down, as decoded
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  d.bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!d.bitmap || !bits) {
    if (d.bitmap) DeleteObject(d.bitmap);
    d.bitmap = nullptr;
    return d;
  }
  std::memcpy(bits, image.pixels.data(), image.pixels.size() * 4);
  d.width = image.width;
  d.height = image.height;
  return d;
}

// Window thread only: the cache is not shared.
std::map<std::string, Decoded>& Cache() {
  static std::map<std::string, Decoded> cache;
  return cache;
}

}  // namespace

bool SkinIsBlankFace(const std::string& name) {
  for (const char* base : {"plain_", "primary_", "tab_"})
    if (name.rfind(base, 0) == 0) return true;
  return false;
}

bool DrawSkin(HDC dc, const std::string& name, const RECT& r) {
  auto it = Cache().find(name);
  if (it == Cache().end()) it = Cache().emplace(name, Decode(name)).first;
  const Decoded& d = it->second;
  if (!d.bitmap) return false;
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, d.bitmap);
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  BOOL ok = AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, 0, 0, d.width, d.height, blend);
  SelectObject(mem, old);
  DeleteDC(mem);
  return ok != FALSE;
}

}  // namespace mv::ui::win32
