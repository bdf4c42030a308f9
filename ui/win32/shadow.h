// The drop shadow of a borderless window: a click-through layered popup,
// owned by the window, a few pixels larger on every side, that follows the
// owner's moves, sizes and visibility. Everything is kept in window
// properties of the owner and of the shadow; the owner is subclassed once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace mv::ui::win32 {

// Property names.
extern const wchar_t kShadowProp[];       // owner: the shadow window
extern const wchar_t kShadowProcProp[];   // owner: its previous window procedure
extern const wchar_t kShadowColourProp[]; // shadow: COLORREF
extern const wchar_t kShadowSizeProp[];   // shadow: width in pixels

// Starts GDI+ once for the process (later calls do nothing); false when
// GDI+ is not available (the rings are then drawn without smoothing).
bool StartGdiplus();

// Attaches or updates the owner's shadow (1), or removes it when the size is
// given and below 1 (0; the owner's window procedure is restored). 0 when
// the owner is not a window. Without a size the size is 5.
int SetWindowShadow(HWND owner, COLORREF colour, int size, bool size_given);
// Shows, hides and positions the shadow; without a given visibility it
// follows the owner's.
void PlaceShadow(HWND owner, bool visible, bool visible_given);
// Draws the shadow bitmap of width x height (0: the shadow window's size).
void PaintShadow(HWND owner, int width, int height);

// Renders the rings of a shadow into a new top-down 32-bit premultiplied
// pixel buffer of width x height (what the layered window shows).
std::vector<uint32_t> RenderShadowPixels(int width, int height, int size, COLORREF colour);

}  // namespace mv::ui::win32
