// Drawing helpers shared by the main window, its elements and the about
// window: the colours of the window's design, fills and rounded shapes,
// and the skin's PNG images.
#pragma once

#include <windows.h>

#include <string>

namespace mv::ui::win32 {

// The design's colours.
constexpr COLORREF kTitleBack = RGB(0x1E, 0x6F, 0xD9);
constexpr COLORREF kNavBack = RGB(0x1A, 0x62, 0xC4);
constexpr COLORREF kBodyBack = RGB(0xF5, 0xF8, 0xFC);
constexpr COLORREF kBorder = RGB(0x16, 0x55, 0xA8);
constexpr COLORREF kPanelBack = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kPanelLine = RGB(0xD5, 0xDF, 0xEC);
constexpr COLORREF kAccent = RGB(0x1E, 0x6F, 0xD9);
constexpr COLORREF kAccentDark = RGB(0x13, 0x52, 0xA8);
constexpr COLORREF kTextDark = RGB(0x33, 0x3D, 0x4A);
constexpr COLORREF kTextSoft = RGB(0x6B, 0x77, 0x85);
constexpr COLORREF kTrack = RGB(0xDD, 0xE6, 0xF2);
constexpr COLORREF kGreen = RGB(0x2E, 0xB8, 0x6B);

void Fill(HDC dc, const RECT& r, COLORREF colour);
void Frame(HDC dc, const RECT& r, COLORREF colour);
void RoundFill(HDC dc, const RECT& r, int radius, COLORREF fill, COLORREF line);
// Text centred in a rectangle (one line).
void CentredText(HDC dc, const RECT& r, const std::wstring& text, HFONT font, COLORREF colour);

// The window's background: title strip, navigation strip, body and border.
void PaintBackdrop(HDC dc, const RECT& client, int title_height);

// Draws a skin image (a PNG the program carries, by name) stretched into r
// with its alpha; false when the program carries no image of that name.
bool DrawSkin(HDC dc, const std::string& name, const RECT& r);

// Whether a skin image is a blank button face (the "plain", "primary" and
// "tab" looks) that the window writes the button's caption over. Every other
// button image carries its own words, and a caption drawn over it would
// stand on top of them.
bool SkinIsBlankFace(const std::string& name);

}  // namespace mv::ui::win32
