// GDI-like drawing objects: pens, brushes, fonts and rectangle regions live in one process-wide
// table behind integer handles, so that code written for handles (charts keep a pen handle,
// fonts are created from LOGFONT records) works unchanged. A device context copies an object's
// description when it is selected, so deleting a selected object never leaves a dangling one.
#pragma once

#include "Platform/Graphics/Colors.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

using HGDIOBJ = std::uint32_t;
using HPEN = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HFONT = HGDIOBJ;
using HRGN = HGDIOBJ;
using HDC = std::uint32_t;

struct TPoint {
  int X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};
struct TSize {
  int cx = 0, cy = 0;
  bool operator==(const TSize&) const = default;
};
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};
inline TRect Rect(int l, int t, int r, int b) { return {l, t, r, b}; }

// Pen styles.
constexpr int PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5,
              PS_INSIDEFRAME = 6;
// Brush styles.
constexpr unsigned BS_SOLID = 0, BS_NULL = 1, BS_HOLLOW = 1;
// Stock objects.
constexpr int WHITE_BRUSH = 0, LTGRAY_BRUSH = 1, GRAY_BRUSH = 2, DKGRAY_BRUSH = 3, BLACK_BRUSH = 4,
              NULL_BRUSH = 5, HOLLOW_BRUSH = 5, WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8,
              OEM_FIXED_FONT = 10, ANSI_FIXED_FONT = 11, ANSI_VAR_FONT = 12, SYSTEM_FONT = 13,
              DEVICE_DEFAULT_FONT = 14, DEFAULT_GUI_FONT = 17, DC_BRUSH = 18, DC_PEN = 19;
// Object types.
constexpr int OBJ_PEN = 1, OBJ_BRUSH = 2, OBJ_DC = 3, OBJ_FONT = 6, OBJ_REGION = 8;
// Font weights, charsets, qualities, pitch and family.
constexpr int FW_DONTCARE = 0, FW_NORMAL = 400, FW_BOLD = 700;
constexpr int ANSI_CHARSET = 0, DEFAULT_CHARSET = 1;
constexpr int DEFAULT_QUALITY = 0, PROOF_QUALITY = 2, ANTIALIASED_QUALITY = 4;
constexpr int DEFAULT_PITCH = 0, FIXED_PITCH = 1, VARIABLE_PITCH = 2, FF_MODERN = 0x30;

struct LOGPEN {
  unsigned lopnStyle = PS_SOLID;
  TPoint lopnWidth{1, 0};
  TColor lopnColor = 0;
};

struct LOGBRUSH {
  unsigned lbStyle = BS_SOLID;
  TColor lbColor = 0;
  std::uintptr_t lbHatch = 0;
};

constexpr int LF_FACESIZE = 32;
struct LOGFONTA {
  std::int32_t lfHeight = 0, lfWidth = 0, lfEscapement = 0, lfOrientation = 0, lfWeight = 0;
  std::uint8_t lfItalic = 0, lfUnderline = 0, lfStrikeOut = 0, lfCharSet = 0, lfOutPrecision = 0,
               lfClipPrecision = 0, lfQuality = 0, lfPitchAndFamily = 0;
  char lfFaceName[LF_FACESIZE] = {};
};
// Copies a face name into the record, cut to 31 bytes (at a character boundary) and terminated.
void setFaceName(LOGFONTA& lf, const std::string& name);
std::string faceName(const LOGFONTA& lf);

// A font height is pixels of one device (negative: the character height, positive: the cell
// height); its size is whole points, as a font's Size reads it. On a device of another
// resolution the font keeps that size: its height there is the size's pixels, rounded to the
// nearest pixel, halves to even. A resolution of 0 or less stands for the screen's 96.
int rescaleFontHeight(int height, int fromDpi, int toDpi);
// The character height (negative) of a font of `points` points on a device of `dpi`.
int fontHeightOfPoints(int points, int dpi);
// The size in points of a font of `height` pixels on a device of `dpi`.
int fontPointsOfHeight(int height, int dpi);

HPEN CreatePen(int style, int width, TColor color);
HPEN CreatePenIndirect(const LOGPEN& pen);
HBRUSH CreateSolidBrush(TColor color);
HBRUSH CreateBrushIndirect(const LOGBRUSH& brush);
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, unsigned italic,
                  unsigned underline, unsigned strikeOut, unsigned charSet, unsigned outPrecision,
                  unsigned clipPrecision, unsigned quality, unsigned pitchAndFamily, const char* faceName);
HFONT CreateFontIndirectA(const LOGFONTA& font);
// Rectangle regions; the rectangle is normalised (left <= right, top <= bottom).
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HGDIOBJ GetStockObject(int index);
// Frees an object; stock objects stay. False for a handle that names no object.
bool DeleteObject(HGDIOBJ object);
// OBJ_PEN, OBJ_BRUSH, OBJ_FONT, OBJ_REGION, or 0 for an unknown handle.
int GetObjectType(HGDIOBJ object);

// Descriptions behind handles (nullopt when the handle names no object of that kind). A brush
// handle from 1 to 31 stands for the system colour index handle - 1, as window classes use.
std::optional<LOGPEN> penOf(HGDIOBJ object);
std::optional<LOGBRUSH> brushOf(HGDIOBJ object);
std::optional<LOGFONTA> fontOf(HGDIOBJ object);
std::optional<TRect> regionOf(HGDIOBJ object);
// Live objects created and not deleted (stock objects not counted); tests use it to find leaks.
std::size_t liveGdiObjects();

} // namespace kv::platform
