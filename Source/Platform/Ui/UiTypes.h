// Geometry and colours of the class library. The drawing layer defines the same types; when
// it is part of the build its definitions are used, so that both layers share one TRect.
#pragma once

#include <cstdint>

#if __has_include("Platform/Graphics/GdiObjects.h")
#include "Platform/Graphics/GdiObjects.h"
#if __has_include("Platform/Graphics/DeviceContext.h")
#include "Platform/Graphics/DeviceContext.h"
#endif
#else
namespace kv::platform {

using TColor = std::int32_t; // $00BBGGRR; negative values name a system colour

constexpr TColor sysColor(int index) { return static_cast<TColor>(0xFF000000u | unsigned(index)); }
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF, clDefault = 0x20000000;
constexpr TColor clScrollBar = sysColor(0), clBackground = sysColor(1), clActiveCaption = sysColor(2),
                 clInactiveCaption = sysColor(3), clMenu = sysColor(4), clWindow = sysColor(5),
                 clWindowFrame = sysColor(6), clMenuText = sysColor(7), clWindowText = sysColor(8),
                 clCaptionText = sysColor(9), clActiveBorder = sysColor(10), clInactiveBorder = sysColor(11),
                 clAppWorkSpace = sysColor(12), clHighlight = sysColor(13), clHighlightText = sysColor(14),
                 clBtnFace = sysColor(15), clBtnShadow = sysColor(16), clGrayText = sysColor(17),
                 clBtnText = sysColor(18), clInactiveCaptionText = sysColor(19),
                 clBtnHighlight = sysColor(20), cl3DDkShadow = sysColor(21), cl3DLight = sysColor(22),
                 clInfoText = sysColor(23), clInfoBk = sysColor(24);

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

constexpr int TRANSPARENT = 1, OPAQUE = 2;
constexpr unsigned TA_NOUPDATECP = 0, TA_UPDATECP = 1, TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0,
                   TA_BOTTOM = 8, TA_BASELINE = 24;

} // namespace kv::platform
#endif

namespace kv::platform {

inline TPoint Point(int x, int y) { return TPoint{x, y}; }
inline TRect Bounds(int left, int top, int width, int height) {
  return TRect{left, top, left + width, top + height};
}
inline bool IsRectEmpty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }
inline bool PtInRect(const TRect& r, TPoint p) {
  return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}
inline TRect OffsetRectBy(TRect r, int dx, int dy) {
  return TRect{r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}
// The common part of two rectangles; an empty rectangle (all zero) when they do not meet.
TRect IntersectRects(const TRect& a, const TRect& b);
// The smallest rectangle holding both; an empty one does not count.
TRect UnionRects(const TRect& a, const TRect& b);

} // namespace kv::platform
