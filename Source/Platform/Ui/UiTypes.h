// Geometry and colours of the class library: the drawing layer's own types, so that both
// layers share one TRect, and the rectangle helpers the controls use.
#pragma once

#include "Platform/Graphics/DeviceContext.h"
#include "Platform/Graphics/GdiObjects.h"

#include <vector>

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
// What of a lies outside b, as up to four disjoint rectangles added to out (a itself when the
// two do not meet): the step of every region and cut-out the library computes.
void rectMinus(const TRect& a, const TRect& b, std::vector<TRect>& out);

} // namespace kv::platform
