#include "Platform/Graphics/DeviceContext.h"

#include <cmath>

namespace kv::platform {

namespace {

DeviceCaps rasterCaps(const Raster& r, int dpi) {
  DeviceCaps c;
  c.technology = DT_RASDISPLAY;
  c.widthPx = r.width();
  c.heightPx = r.height();
  c.dpiX = c.dpiY = dpi;
  return c;
}

// cos and sin of a turn in tenths of a degree, exact for quarter turns.
void turn(int escapement, double& c, double& s) {
  switch (escapement) {
  case 0:
    c = 1, s = 0;
    return;
  case 900:
    c = 0, s = 1;
    return;
  case 1800:
    c = -1, s = 0;
    return;
  case 2700:
    c = 0, s = -1;
    return;
  default: {
    const double a = escapement * M_PI / 1800.0;
    c = std::cos(a), s = std::sin(a);
  }
  }
}

// Device pixels that a turned text-space rectangle can touch, cut to the clip.
IRect turnedBounds(std::int64_t refX, std::int64_t refY, double u0, double v0, double u1, double v1, double c,
                   double s, const IRect& clip) {
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  for (double u : {u0, u1})
    for (double v : {v0, v1}) {
      const double x = u * c + v * s, y = -u * s + v * c;
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
  return IRect{refX + std::int64_t(std::floor(minX)) - 1, refY + std::int64_t(std::floor(minY)) - 1,
               refX + std::int64_t(std::ceil(maxX)) + 1, refY + std::int64_t(std::ceil(maxY)) + 1}
      .intersect(clip);
}

} // namespace

void drawTextRun(Raster& target, const CoverageMask& mask, std::int64_t refX, std::int64_t refY, int u0,
                 int v0, int escapement, TColor32 color, const IRect& clip) {
  const IRect window = target.visible(&clip);
  if (window.empty() || mask.width == 0 || mask.height == 0) return;
  if (escapement == 0) return target.blendMask(mask, refX + u0, refY + v0, color, &window);
  double c, s;
  turn(escapement, c, s);
  const bool quarter = escapement % 900 == 0;
  const double mu0 = u0 - mask.originX, mv0 = v0 - mask.originY;
  const IRect area = turnedBounds(refX, refY, mu0, mv0, mu0 + mask.width, mv0 + mask.height, c, s, window);
  for (std::int64_t y = area.top; y < area.bottom; ++y) {
    TColor32* row = target.row(int(y));
    for (std::int64_t x = area.left; x < area.right; ++x) {
      const double dx = double(x - refX) + 0.5, dy = double(y - refY) + 0.5;
      const double mu = dx * c - dy * s - mu0, mv = dx * s + dy * c - mv0;
      unsigned coverage;
      if (quarter) {
        coverage = mask.at(int(std::floor(mu)), int(std::floor(mv)));
      } else {
        const double fu = std::floor(mu - 0.5), fv = std::floor(mv - 0.5);
        const double tu = mu - 0.5 - fu, tv = mv - 0.5 - fv;
        const int iu = int(fu), iv = int(fv);
        const double v = mask.at(iu, iv) * (1 - tu) * (1 - tv) + mask.at(iu + 1, iv) * tu * (1 - tv) +
                         mask.at(iu, iv + 1) * (1 - tu) * tv + mask.at(iu + 1, iv + 1) * tu * tv;
        coverage = unsigned(std::lround(v));
      }
      if (coverage) row[x] = blendOver(row[x], withCoverage(color, coverage));
    }
  }
}

void fillTurnedRect(Raster& target, std::int64_t refX, std::int64_t refY, int u0, int v0, int w, int h,
                    int escapement, TColor32 color, const IRect& clip) {
  if (w <= 0 || h <= 0) return;
  if (escapement == 0)
    return target.fillRect({refX + u0, refY + v0, refX + u0 + w, refY + v0 + h}, color, &clip);
  double c, s;
  turn(escapement, c, s);
  const IRect area = turnedBounds(refX, refY, u0, v0, u0 + w, v0 + h, c, s, target.visible(&clip));
  for (std::int64_t y = area.top; y < area.bottom; ++y)
    for (std::int64_t x = area.left; x < area.right; ++x) {
      const double dx = double(x - refX) + 0.5, dy = double(y - refY) + 0.5;
      const double u = dx * c - dy * s, v = dx * s + dy * c;
      if (u >= u0 && u < u0 + w && v >= v0 && v < v0 + h) target.row(int(y))[x] = color;
    }
}

RasterDC::RasterDC(Raster& target, int dpi) : DeviceContextBase(rasterCaps(target, dpi)), target_(target) {}

void RasterDC::deviceSegment(DPoint a, DPoint b, std::int64_t patternStart) {
  const int w = devicePenWidth();
  const auto pattern = penPattern();
  int period = 0;
  for (int p : pattern)
    period += p;
  const TColor32 color = penColor(), background = bkColor32();
  const bool opaqueGaps = bkModeValue() == OPAQUE;
  const bool xMajor = std::llabs(b.x - a.x) >= std::llabs(b.y - a.y);
  const int before = (w - 1) / 2, after = w / 2;
  for (const IRect& clip : clipRects()) {
    // Thick lines are runs across the line's direction; walk a window widened by the pen.
    const IRect window = w > 1 ? IRect{clip.left - w, clip.top - w, clip.right + w, clip.bottom + w} : clip;
    walkLine(a.x, a.y, b.x, b.y, false, window, [&](std::int64_t x, std::int64_t y, std::int64_t step) {
      TColor32 c = color;
      if (period) {
        std::int64_t pos = (patternStart + step) % period, k = 0;
        while (pos >= pattern[std::size_t(k)])
          pos -= pattern[std::size_t(k++)];
        if (k % 2) {
          if (!opaqueGaps) return;
          c = background;
        }
      }
      if (w == 1) return target_.setPixel(x, y, c, &clip);
      for (int o = -before; o <= after; ++o)
        xMajor ? target_.setPixel(x, y + o, c, &clip) : target_.setPixel(x + o, y, c, &clip);
    });
  }
}

void RasterDC::deviceFill(const IRect& r, TColor32 color) {
  for (const IRect& clip : clipRects())
    target_.fillRect(r, color, &clip);
}

void RasterDC::deviceEllipse(const IRect& box, int penWidth, bool pen, bool brush) {
  const double cx = (double(box.left) + double(box.right)) / 2,
               cy = (double(box.top) + double(box.bottom)) / 2;
  const double rx = (double(box.right) - double(box.left)) / 2,
               ry = (double(box.bottom) - double(box.top)) / 2;
  const double irx = rx - penWidth, iry = ry - penWidth;
  const TColor32 pc = penColor(), bc = brushColor();
  // Pixels of a row whose centres lie within the ellipse of radii (a, b): [first, last].
  auto span = [&](double a, double b, std::int64_t y, std::int64_t& first, std::int64_t& last) {
    if (a <= 0 || b <= 0) return false;
    const double dy = (double(y) + 0.5 - cy) / b;
    if (dy * dy > 1) return false;
    const double half = a * std::sqrt(1 - dy * dy);
    first = std::int64_t(std::ceil(cx - half - 0.5));
    last = std::int64_t(std::floor(cx + half - 0.5));
    return first <= last;
  };
  for (const IRect& clip : clipRects()) {
    const IRect rows = box.intersect(clip);
    for (std::int64_t y = rows.top; y < rows.bottom; ++y) {
      std::int64_t of, ol, inf = 0, inl = -1;
      if (!span(rx, ry, y, of, ol)) continue;
      const bool inner = !pen || span(irx, iry, y, inf, inl);
      if (!pen) inf = of, inl = ol;
      if (brush && inner) target_.fillRect({inf, y, inl + 1, y + 1}, bc, &clip);
      if (!pen) continue;
      if (!inner) {
        target_.fillRect({of, y, ol + 1, y + 1}, pc, &clip);
      } else {
        target_.fillRect({of, y, inf, y + 1}, pc, &clip);
        target_.fillRect({inl + 1, y, ol + 1, y + 1}, pc, &clip);
      }
    }
  }
}

void RasterDC::deviceText(const TextRun& run) {
  const CoverageMask mask = run.font->render(run.text);
  for (const IRect& clip : clipRects()) {
    if (run.opaque)
      fillTurnedRect(target_, run.refX, run.refY, run.u0, run.v0, run.width, run.font->metrics().height,
                     run.escapement, run.background, clip);
    drawTextRun(target_, mask, run.refX, run.refY, run.u0, run.v0, run.escapement, run.color, clip);
  }
}

void RasterDC::deviceSetPixel(std::int64_t x, std::int64_t y, TColor32 color) {
  target_.setPixel(x, y, color);
}

void RasterDC::deviceStretch(const IRect& dst, const Raster& src, const IRect& srcRect) {
  for (const IRect& clip : clipRects())
    target_.stretchFrom(src, srcRect, dst, &clip);
}

} // namespace kv::platform
