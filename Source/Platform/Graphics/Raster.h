// Our 32-bit raster: one TColor32 ($AARRGGBB, not premultiplied) per pixel, rows top to bottom.
//
// Pixel rules, the same for every primitive:
// - Pixel (x, y) covers the unit square [x, x+1) x [y, y+1); coordinates are 64-bit, so callers'
//   32-bit values plus origins never overflow, and every primitive clips silently to the raster
//   and to an optional clip rectangle before it loops, so far-away coordinates cost nothing.
// - Rectangles are half-open: (left, top) is inside, (right, bottom) is not; an empty or
//   inverted rectangle draws nothing.
// - Blending is "source over destination" on non-premultiplied colours, every channel rounded to
//   nearest: on an opaque destination out = round((src * a + dst * (255 - a)) / 255), alpha stays $FF.
// - One-pixel lines step along their longer axis from the start point; at step i the other
//   coordinate is the exact line's offset rounded to nearest, halves away from the start. The
//   end point is the last step and is drawn only when asked for.
// - Anti-aliased lines take the same steps and split each step between the two pixels next to the
//   exact line, in proportion to the distance (coverage rounded to 1/255), blended with the colour.
#pragma once

#include "Platform/Graphics/Colors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::platform {

struct IRect {
  std::int64_t left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
  IRect intersect(const IRect& o) const {
    return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
            std::min(bottom, o.bottom)};
  }
  bool contains(std::int64_t x, std::int64_t y) const {
    return x >= left && x < right && y >= top && y < bottom;
  }
  bool operator==(const IRect&) const = default;
};

// The colour of `src` laid over `dst` by src's alpha.
TColor32 blendOver(TColor32 dst, TColor32 src);
// `color` with its alpha scaled by coverage / 255.
inline TColor32 withCoverage(TColor32 color, unsigned coverage) {
  const unsigned a = (alphaOf(color) * coverage + 127) / 255;
  return (color & 0x00FFFFFFu) | (TColor32(a) << 24);
}

// A row-major affine map: x' = a*x + b*y + c, y' = d*x + e*y + f.
struct Affine {
  double a = 1, b = 0, c = 0, d = 0, e = 1, f = 0;
  Affine then(const Affine& next) const; // this map followed by `next`
  bool invert(Affine& out) const;
  void apply(double x, double y, double& ox, double& oy) const {
    ox = a * x + b * y + c;
    oy = d * x + e * y + f;
  }
};

// Coverage of one text run or shape in text space: one byte per pixel.
struct CoverageMask {
  int width = 0, height = 0;
  int originX = 0, originY = 0; // mask pixel that holds text-space (0, 0)
  std::vector<std::uint8_t> data;
  std::uint8_t at(int x, int y) const {
    return (x < 0 || y < 0 || x >= width || y >= height) ? 0 : data[std::size_t(y) * width + x];
  }
};

class Raster {
public:
  Raster() = default;
  Raster(int width, int height, TColor32 fill = 0) { resize(width, height, fill); }

  int width() const { return width_; }
  int height() const { return height_; }
  // New size; every pixel becomes `fill`. Negative sizes count as 0.
  void resize(int width, int height, TColor32 fill = 0);
  IRect bounds() const { return {0, 0, width_, height_}; }
  TColor32* row(int y) { return pixels_.data() + std::size_t(y) * width_; }
  const TColor32* row(int y) const { return pixels_.data() + std::size_t(y) * width_; }
  const std::vector<TColor32>& pixels() const { return pixels_; }

  // Outside the raster: 0 for reading, nothing for writing.
  TColor32 pixel(std::int64_t x, std::int64_t y) const {
    return bounds().contains(x, y) ? pixels_[std::size_t(y) * width_ + std::size_t(x)] : 0;
  }
  void setPixel(std::int64_t x, std::int64_t y, TColor32 c, const IRect* clip = nullptr) {
    if (visible(clip).contains(x, y)) pixels_[std::size_t(y) * width_ + std::size_t(x)] = c;
  }
  void blendPixel(std::int64_t x, std::int64_t y, TColor32 c, const IRect* clip = nullptr);

  void fill(TColor32 c) { std::fill(pixels_.begin(), pixels_.end(), c); }
  void fillRect(IRect r, TColor32 c, const IRect* clip = nullptr);
  void blendRect(IRect r, TColor32 c, const IRect* clip = nullptr);
  // The outline of the half-open rectangle: rows top and bottom - 1, columns left and right - 1.
  void frameRect(IRect r, TColor32 c, const IRect* clip = nullptr);
  // Inclusive runs.
  void hLine(std::int64_t x1, std::int64_t x2, std::int64_t y, TColor32 c, const IRect* clip = nullptr);
  void vLine(std::int64_t x, std::int64_t y1, std::int64_t y2, TColor32 c, const IRect* clip = nullptr);
  void line(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, TColor32 c, bool endPixel,
            const IRect* clip = nullptr);
  void lineAA(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, TColor32 c, bool endPixel,
              const IRect* clip = nullptr);
  // Anti-aliased line between fractional points: the steps are the whole numbers of the longer
  // axis from round(start) to round(end) (halves to even), end excluded unless asked for; each
  // step splits its coverage between the two pixels around the exact line. Non-finite points draw nothing.
  void lineF(double x1, double y1, double x2, double y2, TColor32 c, bool endPixel,
             const IRect* clip = nullptr);

  // Opaque copy of srcRect of src with its top left corner at (x, y).
  void copyFrom(const Raster& src, IRect srcRect, std::int64_t x, std::int64_t y,
                const IRect* clip = nullptr);
  // Nearest-pixel stretch of srcRect onto dstRect: destination pixel i of a run of n takes source
  // pixel floor((2i + 1) * m / 2n) of the source run of m.
  void stretchFrom(const Raster& src, IRect srcRect, IRect dstRect, const IRect* clip = nullptr);
  // Blends `color` through a coverage mask whose origin lands on (x, y).
  void blendMask(const CoverageMask& mask, std::int64_t x, std::int64_t y, TColor32 color,
                 const IRect* clip = nullptr);

  IRect visible(const IRect* clip) const { return clip ? bounds().intersect(*clip) : bounds(); }

private:
  // Blends c at the given coverage into the pixel of a line's step, when it lies in window.
  void blendAlong(bool xMajor, std::int64_t major, std::int64_t minor, TColor32 c, unsigned coverage,
                  const IRect& window);
  int width_ = 0, height_ = 0;
  std::vector<TColor32> pixels_;
};

// Renders src through the affine map `forward` (source to destination) into dst. Pixel (i, j)
// stands for the point (i, j): each destination pixel takes the source at the inverse image of
// its point, when that lies within srcRect (extended by half a pixel on each side), exactly when
// the inverse image is a whole point (so quarter turns copy pixels exactly), else bilinearly.
// Pixels outside the image of srcRect stay as they are. The copy is opaque.
void transformRaster(Raster& dst, const Raster& src, const Affine& forward, double srcLeft, double srcTop,
                     double srcRight, double srcBottom, const IRect* clip = nullptr);

// The integer line from (x1, y1) to (x2, y2) along its major axis: step i (0 .. last) has the
// major coordinate major0 + sMajor * i, and the minor one moves from minor0 by sMinor over
// aMinor pixels in n steps. Only steps iLo .. iHi have their major coordinate in `window`
// (none when iLo > iHi), so a loop over them never runs longer than the window is wide.
struct LineSteps {
  bool xMajor = true;
  std::int64_t n = 0, major0 = 0, minor0 = 0, sMajor = 1, sMinor = 1, aMinor = 0;
  std::int64_t iLo = 0, iHi = -1;
};
inline LineSteps lineSteps(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, bool endPixel,
                           const IRect& window) {
  LineSteps l;
  if (window.empty()) return l;
  const std::int64_t dx = x2 - x1, dy = y2 - y1;
  const std::int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  l.xMajor = adx >= ady;
  l.n = l.xMajor ? adx : ady;
  const std::int64_t last = endPixel ? l.n : l.n - 1;
  if (last < 0) return l;
  l.major0 = l.xMajor ? x1 : y1;
  l.minor0 = l.xMajor ? y1 : x1;
  l.sMajor = (l.xMajor ? dx : dy) < 0 ? -1 : 1;
  l.sMinor = (l.xMajor ? dy : dx) < 0 ? -1 : 1;
  l.aMinor = l.xMajor ? ady : adx;
  const std::int64_t wLo = l.xMajor ? window.left : window.top,
                     wHi = (l.xMajor ? window.right : window.bottom) - 1;
  l.iLo = std::max<std::int64_t>(l.sMajor > 0 ? wLo - l.major0 : l.major0 - wHi, 0);
  l.iHi = std::min<std::int64_t>(l.sMajor > 0 ? wHi - l.major0 : l.major0 - wLo, last);
  return l;
}

// Walks the pixels of a one-pixel line under the rules above, calling plot(x, y, step) for
// every step that lands inside `window`; the loop never runs longer than the window is wide
// or high, whatever the end points are.
template <class Plot>
void walkLine(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, bool endPixel,
              const IRect& window, Plot&& plot) {
  const LineSteps l = lineSteps(x1, y1, x2, y2, endPixel, window);
  const std::int64_t mLo = l.xMajor ? window.top : window.left,
                     mHi = (l.xMajor ? window.bottom : window.right) - 1;
  for (std::int64_t i = l.iLo; i <= l.iHi; ++i) {
    std::int64_t off = 0;
    if (l.n > 0) off = std::int64_t((__int128(2) * i * l.aMinor + l.n) / (__int128(2) * l.n));
    const std::int64_t minor = l.minor0 + l.sMinor * off;
    if (minor < mLo || minor > mHi) continue;
    const std::int64_t major = l.major0 + l.sMajor * i;
    if (l.xMajor)
      plot(major, minor, i);
    else
      plot(minor, major, i);
  }
}

// PNG file of the raster (RGBA, 8 bits per channel). False when the file cannot be written.
bool writePng(const Raster& raster, const std::string& path);

} // namespace kv::platform
