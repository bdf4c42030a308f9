#include "ui/win32/shadow.h"

#include <cstring>

#include "ui/shadow.h"

namespace mv::ui::win32 {

const wchar_t kShadowProp[] = L"Zaziv.WndShadow";
const wchar_t kShadowProcProp[] = L"Zaziv.WndShadow.Proc";
const wchar_t kShadowColourProp[] = L"Zaziv.WndShadow.Color";
const wchar_t kShadowSizeProp[] = L"Zaziv.WndShadow.Size";

namespace {

// GDI+ through its flat interface, loaded at run time: the program starts
// on systems where gdiplus.dll is not in the system folder.
struct GdiplusStartupInput {
  UINT32 version;
  void* debug_callback;
  BOOL suppress_background_thread;
  BOOL suppress_external_codecs;
};
using GpStatus = int;
using Startup = GpStatus(WINAPI*)(ULONG_PTR*, const GdiplusStartupInput*, void*);
using CreateFromHdc = GpStatus(WINAPI*)(HDC, void**);
using DeleteGraphics = GpStatus(WINAPI*)(void*);
using SetSmoothingMode = GpStatus(WINAPI*)(void*, int);
using SetClipRectI = GpStatus(WINAPI*)(void*, INT, INT, INT, INT, int);
using ResetClip = GpStatus(WINAPI*)(void*);
using CreatePen1 = GpStatus(WINAPI*)(uint32_t, float, int, void**);
using DeletePen = GpStatus(WINAPI*)(void*);
using CreatePath = GpStatus(WINAPI*)(int, void**);
using DeletePath = GpStatus(WINAPI*)(void*);
using AddPathArc = GpStatus(WINAPI*)(void*, float, float, float, float, float, float);
using AddPathRectangle = GpStatus(WINAPI*)(void*, float, float, float, float);
using ClosePathFigure = GpStatus(WINAPI*)(void*);
using DrawPath = GpStatus(WINAPI*)(void*, void*, void*);

struct Gdiplus {
  bool ready = false;
  ULONG_PTR token = 0;
  CreateFromHdc create_from_hdc = nullptr;
  DeleteGraphics delete_graphics = nullptr;
  SetSmoothingMode set_smoothing = nullptr;
  SetClipRectI set_clip = nullptr;
  ResetClip reset_clip = nullptr;
  CreatePen1 create_pen = nullptr;
  DeletePen delete_pen = nullptr;
  CreatePath create_path = nullptr;
  DeletePath delete_path = nullptr;
  AddPathArc add_arc = nullptr;
  AddPathRectangle add_rect = nullptr;
  ClosePathFigure close_figure = nullptr;
  DrawPath draw_path = nullptr;
};

Gdiplus& Gp() {
  static Gdiplus gp;
  return gp;
}

constexpr int kSmoothingAntiAlias = 4;
constexpr int kCombineXor = 3;
constexpr int kUnitPixel = 2;
constexpr int kFillAlternate = 0;

template <typename F>
bool Resolve(HMODULE m, const char* name, F* out) {
  *out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
  return *out != nullptr;
}

// Rings drawn without GDI+: one-pixel rectangle outlines straight into the
// pixels (corners square).
void RingsByHand(std::vector<uint32_t>& px, int w, int h, int size, COLORREF colour) {
  for (const Ring& r : ShadowRings(w, h, size, colour)) {
    int l = static_cast<int>(r.x), t = static_cast<int>(r.y);
    int rr = l + static_cast<int>(r.w), b = t + static_cast<int>(r.h);
    uint32_t a = static_cast<uint32_t>(r.alpha);
    uint32_t red = (colour & 0xFF) * a / 255, green = ((colour >> 8) & 0xFF) * a / 255,
             blue = ((colour >> 16) & 0xFF) * a / 255;
    uint32_t v = (a << 24) | (red << 16) | (green << 8) | blue;
    auto put = [&](int x, int y) {
      if (x < 0 || y < 0 || x >= w || y >= h) return;
      if (x >= size && x < w - size && y >= size && y < h - size) return;  // the owner's area
      px[static_cast<size_t>(y) * w + x] = v;
    };
    for (int x = l; x <= rr; ++x) {
      put(x, t);
      put(x, b);
    }
    for (int y = t; y <= b; ++y) {
      put(l, y);
      put(rr, y);
    }
  }
}

void DrawRings(HDC dc, int w, int h, int size, COLORREF colour) {
  Gdiplus& gp = Gp();
  void* g = nullptr;
  if (gp.create_from_hdc(dc, &g) != 0 || !g) return;
  // The owner's area is left out: the rectangle XOR the unlimited clip.
  gp.set_clip(g, size, size, w - 2 * size, h - 2 * size, kCombineXor);
  gp.set_smoothing(g, kSmoothingAntiAlias);
  for (const Ring& r : ShadowRings(w, h, size, colour)) {
    void* pen = nullptr;
    void* path = nullptr;
    if (gp.create_pen(r.argb, 1.0f, kUnitPixel, &pen) != 0) continue;
    if (gp.create_path(kFillAlternate, &path) == 0) {
      std::vector<Arc> arcs = RoundedRectArcs(r.x, r.y, r.w, r.h, 4);
      if (arcs.empty()) {
        gp.add_rect(path, r.x, r.y, r.w, r.h);
      } else {
        for (const Arc& a : arcs) gp.add_arc(path, a.x, a.y, a.d, a.d, a.start, a.sweep);
        gp.close_figure(path);
      }
      gp.draw_path(g, pen, path);
      gp.delete_path(path);
    }
    gp.delete_pen(pen);
  }
  gp.reset_clip(g);
  gp.delete_graphics(g);
}

HWND ShadowOf(HWND owner) {
  HWND s = static_cast<HWND>(GetPropW(owner, kShadowProp));
  return s && IsWindow(s) ? s : nullptr;
}

// A DIB section of w x h, 32 bits, bottom-up as the layered window expects.
HBITMAP MakeDib(HDC dc, int w, int h, void** bits) {
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = 40;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  bi.bmiHeader.biSizeImage = static_cast<DWORD>(w) * h * 32 / 8;
  return CreateDIBSection(dc, &bi, DIB_RGB_COLORS, bits, nullptr, 0);
}

// Draws the rings into a memory context holding a cleared DIB.
void RenderInto(HDC mem, void* bits, int w, int h, int size, COLORREF colour) {
  std::memset(bits, 0, static_cast<size_t>(w) * h * 4);
  if (StartGdiplus()) {
    DrawRings(mem, w, h, size, colour);
    GdiFlush();
    return;
  }
  std::vector<uint32_t> px(static_cast<size_t>(w) * h, 0);
  RingsByHand(px, w, h, size, colour);
  // Top-down rows into the bottom-up DIB.
  auto* dst = static_cast<uint32_t*>(bits);
  for (int y = 0; y < h; ++y) std::memcpy(dst + static_cast<size_t>(h - 1 - y) * w, &px[static_cast<size_t>(y) * w], w * 4);
}

LRESULT CALLBACK ShadowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  auto prev = reinterpret_cast<WNDPROC>(GetPropW(w, kShadowProcProp));
  LRESULT result = prev ? CallWindowProcW(prev, w, msg, wp, lp) : DefWindowProcW(w, msg, wp, lp);
  if (!IsWindow(w)) return result;
  if (msg == WM_MOVE || msg == WM_SIZE) PlaceShadow(w, false, false);
  if (msg == WM_SHOWWINDOW) PlaceShadow(w, wp != 0, true);
  return result;
}

}  // namespace

bool StartGdiplus() {
  static int state = 0;  // 0 not tried, 1 ready, 2 unavailable
  if (state) return state == 1;
  state = 2;
  HMODULE m = LoadLibraryW(L"gdiplus.dll");
  if (!m) return false;
  Gdiplus& gp = Gp();
  Startup startup = nullptr;
  bool ok = Resolve(m, "GdiplusStartup", &startup) && Resolve(m, "GdipCreateFromHDC", &gp.create_from_hdc) &&
            Resolve(m, "GdipDeleteGraphics", &gp.delete_graphics) &&
            Resolve(m, "GdipSetSmoothingMode", &gp.set_smoothing) && Resolve(m, "GdipSetClipRectI", &gp.set_clip) &&
            Resolve(m, "GdipResetClip", &gp.reset_clip) && Resolve(m, "GdipCreatePen1", &gp.create_pen) &&
            Resolve(m, "GdipDeletePen", &gp.delete_pen) && Resolve(m, "GdipCreatePath", &gp.create_path) &&
            Resolve(m, "GdipDeletePath", &gp.delete_path) && Resolve(m, "GdipAddPathArc", &gp.add_arc) &&
            Resolve(m, "GdipAddPathRectangle", &gp.add_rect) &&
            Resolve(m, "GdipClosePathFigure", &gp.close_figure) && Resolve(m, "GdipDrawPath", &gp.draw_path);
  if (!ok) return false;
  GdiplusStartupInput input = {1, nullptr, FALSE, FALSE};
  if (startup(&gp.token, &input, nullptr) != 0) return false;
  gp.ready = true;  // the token lives as long as the process
  state = 1;
  return true;
}

std::vector<uint32_t> RenderShadowPixels(int width, int height, int size, COLORREF colour) {
  std::vector<uint32_t> out;
  if (width <= 0 || height <= 0) return out;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP dib = MakeDib(screen, width, height, &bits);
  if (dib && bits) {
    HGDIOBJ old = SelectObject(mem, dib);
    RenderInto(mem, bits, width, height, size, colour);
    out.resize(static_cast<size_t>(width) * height);
    const auto* src = static_cast<const uint32_t*>(bits);
    for (int y = 0; y < height; ++y)
      std::memcpy(&out[static_cast<size_t>(y) * width], src + static_cast<size_t>(height - 1 - y) * width, width * 4);
    SelectObject(mem, old);
    DeleteObject(dib);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return out;
}

void PaintShadow(HWND owner, int width, int height) {
  HWND shadow = ShadowOf(owner);
  if (!shadow) return;
  if (width == 0 || height == 0) {
    RECT r;
    GetWindowRect(shadow, &r);
    width = r.right - r.left;
    height = r.bottom - r.top;
    if (width == 0 || height == 0) return;
  }
  COLORREF colour = static_cast<COLORREF>(reinterpret_cast<UINT_PTR>(GetPropW(shadow, kShadowColourProp)));
  int size = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(shadow, kShadowSizeProp)));
  HDC wdc = GetDC(shadow);
  HDC mem = CreateCompatibleDC(wdc);
  void* bits = nullptr;
  HBITMAP dib = MakeDib(wdc, width, height, &bits);
  if (dib && bits) {
    HGDIOBJ old = SelectObject(mem, dib);
    RenderInto(mem, bits, width, height, size, colour);
    SIZE sz = {width, height};
    POINT src = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(shadow, nullptr, nullptr, &sz, mem, &src, 0, &blend, ULW_ALPHA);
    SelectObject(mem, old);
    DeleteObject(dib);
  }
  DeleteDC(mem);
  ReleaseDC(shadow, wdc);
}

void PlaceShadow(HWND owner, bool visible, bool visible_given) {
  HWND shadow = ShadowOf(owner);
  if (!shadow) return;
  if (!visible_given) visible = IsWindowVisible(owner) != FALSE;
  if (visible && !IsZoomed(owner) && !IsIconic(owner)) {
    if (!IsWindowVisible(shadow)) ShowWindow(shadow, SW_SHOWNOACTIVATE);
    RECT r;
    GetWindowRect(owner, &r);
    if (r.right - r.left == 0 || r.bottom - r.top == 0) return;
    int size = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(shadow, kShadowSizeProp)));
    Box b = ShadowBox(Box{r.left, r.top, r.right, r.bottom}, size);
    MoveWindow(shadow, b.left, b.top, b.right - b.left, b.bottom - b.top, TRUE);
    PaintShadow(owner, b.right - b.left, b.bottom - b.top);
  } else {
    ShowWindow(shadow, SW_HIDE);
  }
}

int SetWindowShadow(HWND owner, COLORREF colour, int size, bool size_given) {
  if (!IsWindow(owner)) return 0;
  if (size_given && size < 1) {
    HWND shadow = ShadowOf(owner);
    if (shadow) {
      RemovePropW(shadow, kShadowColourProp);
      RemovePropW(shadow, kShadowSizeProp);
      DestroyWindow(shadow);
    }
    RemovePropW(owner, kShadowProp);
    if (HANDLE prev = GetPropW(owner, kShadowProcProp)) {
      SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
      RemovePropW(owner, kShadowProcProp);
    }
    return 0;
  }
  HWND shadow = ShadowOf(owner);
  if (!shadow) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const DWORD ex = WS_EX_LAYERED | WS_EX_TRANSPARENT;
    shadow = CreateWindowExW(ex, L"SysShadow", L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, owner, nullptr, instance,
                             nullptr);
    if (!shadow)
      shadow = CreateWindowExW(ex, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, owner, nullptr, instance,
                               nullptr);
    if (!shadow) return 0;
    SetPropW(owner, kShadowProp, shadow);
  }
  SetPropW(shadow, kShadowColourProp, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(colour)));
  SetPropW(shadow, kShadowSizeProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(size_given ? size : 5)));
  PlaceShadow(owner, false, false);
  if (GetPropW(owner, kShadowProcProp)) return 1;
  LONG_PTR prev = SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ShadowProc));
  SetPropW(owner, kShadowProcProp, reinterpret_cast<HANDLE>(prev));
  return 1;
}

}  // namespace mv::ui::win32
