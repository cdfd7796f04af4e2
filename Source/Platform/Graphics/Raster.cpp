#include "Platform/Graphics/Raster.h"

#include <zlib.h>

#include <cstdio>
#include <limits>
#include <memory>

namespace kv::platform {

namespace {

// round(x / 255) for 0 <= x <= 255 * 255, without a division.
inline unsigned div255(unsigned x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// Integer coordinates of a double, saturated far beyond any raster so that casts never overflow.
inline std::int64_t clampToInt64(double v) {
  constexpr double kLimit = 4.0e18;
  if (!(v > -kLimit)) return -std::int64_t(4e18);
  if (!(v < kLimit)) return std::int64_t(4e18);
  return std::int64_t(v);
}

} // namespace

TColor32 blendOver(TColor32 dst, TColor32 src) {
  const unsigned sa = alphaOf(src);
  if (sa == 255) return src;
  if (sa == 0) return dst;
  const unsigned da = alphaOf(dst);
  if (da == 255) {
    const unsigned ia = 255 - sa;
    const unsigned r = div255(redOf(src) * sa + redOf(dst) * ia);
    const unsigned g = div255(greenOf(src) * sa + greenOf(dst) * ia);
    const unsigned b = div255(blueOf(src) * sa + blueOf(dst) * ia);
    return argb(255, r, g, b);
  }
  // Translucent destination: the general non-premultiplied "over", scaled by 255 twice.
  const unsigned outA255 = sa * 255 + da * (255 - sa); // alpha * 255
  if (outA255 == 0) return 0;
  auto channel = [&](unsigned s, unsigned d) {
    return (s * sa * 255 + d * da * (255 - sa) + outA255 / 2) / outA255;
  };
  return argb((outA255 + 127) / 255, channel(redOf(src), redOf(dst)), channel(greenOf(src), greenOf(dst)),
              channel(blueOf(src), blueOf(dst)));
}

Affine Affine::then(const Affine& n) const {
  Affine r;
  r.a = n.a * a + n.b * d;
  r.b = n.a * b + n.b * e;
  r.c = n.a * c + n.b * f + n.c;
  r.d = n.d * a + n.e * d;
  r.e = n.d * b + n.e * e;
  r.f = n.d * c + n.e * f + n.f;
  return r;
}

bool Affine::invert(Affine& out) const {
  const double det = a * e - b * d;
  if (!std::isfinite(det) || det == 0.0) return false;
  out.a = e / det;
  out.b = -b / det;
  out.d = -d / det;
  out.e = a / det;
  out.c = -(out.a * c + out.b * f);
  out.f = -(out.d * c + out.e * f);
  return true;
}

void Raster::resize(int width, int height, TColor32 fill) {
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  if (width_ == 0 || height_ == 0) width_ = height_ = 0;
  pixels_.assign(std::size_t(width_) * std::size_t(height_), fill);
}

void Raster::blendPixel(std::int64_t x, std::int64_t y, TColor32 c, const IRect* clip) {
  if (!visible(clip).contains(x, y)) return;
  TColor32& p = pixels_[std::size_t(y) * width_ + std::size_t(x)];
  p = blendOver(p, c);
}

void Raster::fillRect(IRect r, TColor32 c, const IRect* clip) {
  r = r.intersect(visible(clip));
  if (r.empty()) return;
  for (std::int64_t y = r.top; y < r.bottom; ++y) {
    TColor32* p = row(int(y));
    std::fill(p + r.left, p + r.right, c);
  }
}

void Raster::blendRect(IRect r, TColor32 c, const IRect* clip) {
  const unsigned sa = alphaOf(c);
  if (sa == 255) return fillRect(r, c, clip);
  if (sa == 0) return;
  r = r.intersect(visible(clip));
  if (r.empty()) return;
  // Opaque destinations take the fast path: two channels per word (red and blue, alpha and
  // green), each lane rounded as div255 does, with the colour terms computed once.
  const std::uint32_t ia = 255 - sa;
  const std::uint32_t rbTerm = (std::uint32_t(redOf(c)) * sa << 16) | (std::uint32_t(blueOf(c)) * sa);
  const std::uint32_t agTerm = (255u * sa << 16) | (std::uint32_t(greenOf(c)) * sa);
  auto opaqueBlend = [&](TColor32 d) {
    std::uint32_t rb = rbTerm + (d & 0x00FF00FFu) * ia + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    std::uint32_t ag = agTerm + ((d >> 8) & 0x00FF00FFu) * ia + 0x00800080u;
    ag = ((ag + ((ag >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    return (ag << 8) | rb;
  };
  for (std::int64_t y = r.top; y < r.bottom; ++y) {
    TColor32* p = row(int(y));
    // A row that is opaque throughout (the usual case) runs without a branch per pixel.
    TColor32 all = 0xFFFFFFFFu;
    for (std::int64_t x = r.left; x < r.right; ++x)
      all &= p[x];
    if ((all >> 24) == 255) {
      for (std::int64_t x = r.left; x < r.right; ++x)
        p[x] = opaqueBlend(p[x]);
      continue;
    }
    for (std::int64_t x = r.left; x < r.right; ++x)
      p[x] = (p[x] >> 24) == 255 ? opaqueBlend(p[x]) : blendOver(p[x], c);
  }
}

void Raster::frameRect(IRect r, TColor32 c, const IRect* clip) {
  if (r.empty()) return;
  hLine(r.left, r.right - 1, r.top, c, clip);
  if (r.bottom - 1 > r.top) hLine(r.left, r.right - 1, r.bottom - 1, c, clip);
  if (r.bottom - 2 > r.top) {
    vLine(r.left, r.top + 1, r.bottom - 2, c, clip);
    if (r.right - 1 > r.left) vLine(r.right - 1, r.top + 1, r.bottom - 2, c, clip);
  }
}

void Raster::hLine(std::int64_t x1, std::int64_t x2, std::int64_t y, TColor32 c, const IRect* clip) {
  if (x1 > x2) std::swap(x1, x2);
  if (x2 == std::numeric_limits<std::int64_t>::max()) --x2;
  fillRect({x1, y, x2 + 1, y + 1}, c, clip);
}

void Raster::vLine(std::int64_t x, std::int64_t y1, std::int64_t y2, TColor32 c, const IRect* clip) {
  if (y1 > y2) std::swap(y1, y2);
  if (y2 == std::numeric_limits<std::int64_t>::max()) --y2;
  fillRect({x, y1, x + 1, y2 + 1}, c, clip);
}

void Raster::line(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, TColor32 c,
                  bool endPixel, const IRect* clip) {
  const IRect window = visible(clip);
  walkLine(x1, y1, x2, y2, endPixel, window, [&](std::int64_t x, std::int64_t y, std::int64_t) {
    pixels_[std::size_t(y) * width_ + std::size_t(x)] = c;
  });
}

void Raster::blendAlong(bool xMajor, std::int64_t major, std::int64_t minor, TColor32 c, unsigned coverage,
                        const IRect& window) {
  if (coverage == 0) return;
  const std::int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
  if (!window.contains(x, y)) return;
  TColor32& p = pixels_[std::size_t(y) * width_ + std::size_t(x)];
  p = blendOver(p, withCoverage(c, coverage));
}

void Raster::lineAA(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, TColor32 c,
                    bool endPixel, const IRect* clip) {
  const IRect window = visible(clip);
  const LineSteps l = lineSteps(x1, y1, x2, y2, endPixel, window);
  for (std::int64_t i = l.iLo; i <= l.iHi; ++i) {
    const std::int64_t major = l.major0 + l.sMajor * i;
    if (l.n == 0) {
      blendAlong(l.xMajor, major, l.minor0, c, 255, window);
      continue;
    }
    const __int128 num = __int128(i) * l.aMinor;
    const std::int64_t q = std::int64_t(num / l.n);
    const std::int64_t rem = std::int64_t(num % l.n);
    const unsigned far = unsigned((__int128(255) * rem + l.n / 2) / l.n);
    blendAlong(l.xMajor, major, l.minor0 + l.sMinor * q, c, 255 - far, window);
    blendAlong(l.xMajor, major, l.minor0 + l.sMinor * (q + 1), c, far, window);
  }
}

void Raster::lineF(double x1, double y1, double x2, double y2, TColor32 c, bool endPixel, const IRect* clip) {
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
  const IRect window = visible(clip);
  if (window.empty()) return;
  const double dx = x2 - x1, dy = y2 - y1;
  const bool xMajor = std::fabs(dx) >= std::fabs(dy);
  const double a0 = xMajor ? x1 : y1, a1 = xMajor ? x2 : y2;
  const double b0 = xMajor ? y1 : x1;
  const double da = xMajor ? dx : dy, db = xMajor ? dy : dx;
  const std::int64_t k0 = clampToInt64(std::nearbyint(a0)), k1 = clampToInt64(std::nearbyint(a1));
  const std::int64_t step = k1 >= k0 ? 1 : -1;
  const std::int64_t n = (k1 - k0) * step;
  const std::int64_t last = endPixel ? n : n - 1;
  if (last < 0) return;
  const std::int64_t wLo = xMajor ? window.left : window.top,
                     wHi = (xMajor ? window.right : window.bottom) - 1;
  std::int64_t iLo = step > 0 ? wLo - k0 : k0 - wHi;
  std::int64_t iHi = step > 0 ? wHi - k0 : k0 - wLo;
  iLo = std::max<std::int64_t>(iLo, 0);
  iHi = std::min<std::int64_t>(iHi, last);
  const double slope = da == 0.0 ? 0.0 : db / da;
  for (std::int64_t i = iLo; i <= iHi; ++i) {
    const std::int64_t k = k0 + step * i;
    const double b = b0 + (double(k) - a0) * slope;
    const double fl = std::floor(b);
    const std::int64_t q = clampToInt64(fl);
    const unsigned far = unsigned(std::lround((b - fl) * 255.0));
    blendAlong(xMajor, k, q, c, 255 - far, window);
    blendAlong(xMajor, k, q + 1, c, far, window);
  }
}

void Raster::copyFrom(const Raster& src, IRect srcRect, std::int64_t x, std::int64_t y, const IRect* clip) {
  srcRect = srcRect.intersect(src.bounds());
  if (srcRect.empty()) return;
  IRect dst{x, y, x + (srcRect.right - srcRect.left), y + (srcRect.bottom - srcRect.top)};
  const IRect vis = dst.intersect(visible(clip));
  if (vis.empty()) return;
  for (std::int64_t dy = vis.top; dy < vis.bottom; ++dy) {
    const TColor32* s = src.row(int(srcRect.top + (dy - y))) + (srcRect.left + (vis.left - x));
    std::copy(s, s + (vis.right - vis.left), row(int(dy)) + vis.left);
  }
}

void Raster::stretchFrom(const Raster& src, IRect srcRect, IRect dstRect, const IRect* clip) {
  if (srcRect.empty() || dstRect.empty()) return;
  const IRect vis = dstRect.intersect(visible(clip));
  if (vis.empty()) return;
  const std::int64_t sw = srcRect.right - srcRect.left, sh = srcRect.bottom - srcRect.top;
  const std::int64_t dw = dstRect.right - dstRect.left, dh = dstRect.bottom - dstRect.top;
  for (std::int64_t y = vis.top; y < vis.bottom; ++y) {
    const std::int64_t sy =
        srcRect.top + std::int64_t((__int128(2 * (y - dstRect.top) + 1) * sh) / (__int128(2) * dh));
    TColor32* d = row(int(y));
    for (std::int64_t x = vis.left; x < vis.right; ++x) {
      const std::int64_t sx =
          srcRect.left + std::int64_t((__int128(2 * (x - dstRect.left) + 1) * sw) / (__int128(2) * dw));
      if (src.bounds().contains(sx, sy)) d[x] = src.row(int(sy))[sx];
    }
  }
}

void Raster::blendMask(const CoverageMask& mask, std::int64_t x, std::int64_t y, TColor32 color,
                       const IRect* clip) {
  const std::int64_t left = x - mask.originX, top = y - mask.originY;
  const IRect vis = IRect{left, top, left + mask.width, top + mask.height}.intersect(visible(clip));
  if (vis.empty()) return;
  for (std::int64_t py = vis.top; py < vis.bottom; ++py) {
    TColor32* d = row(int(py));
    const std::uint8_t* m = mask.data.data() + std::size_t(py - top) * mask.width;
    for (std::int64_t px = vis.left; px < vis.right; ++px) {
      const unsigned cov = m[px - left];
      if (cov) d[px] = blendOver(d[px], withCoverage(color, cov));
    }
  }
}

void transformRaster(Raster& dst, const Raster& src, const Affine& forward, double srcLeft, double srcTop,
                     double srcRight, double srcBottom, const IRect* clip) {
  Affine inverse;
  if (!forward.invert(inverse)) return;
  srcLeft = std::max(srcLeft, 0.0);
  srcTop = std::max(srcTop, 0.0);
  srcRight = std::min(srcRight, double(src.width()));
  srcBottom = std::min(srcBottom, double(src.height()));
  if (!(srcRight > srcLeft) || !(srcBottom > srcTop)) return;
  // Destination pixels worth visiting: the image of the source area, a pixel wider all round.
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  for (double cx : {srcLeft - 0.5, srcRight - 0.5})
    for (double cy : {srcTop - 0.5, srcBottom - 0.5}) {
      double ox, oy;
      forward.apply(cx, cy, ox, oy);
      minX = std::min(minX, ox), maxX = std::max(maxX, ox);
      minY = std::min(minY, oy), maxY = std::max(maxY, oy);
    }
  if (!std::isfinite(minX) || !std::isfinite(minY) || !std::isfinite(maxX) || !std::isfinite(maxY)) return;
  const IRect area = IRect{clampToInt64(std::floor(minX)) - 1, clampToInt64(std::floor(minY)) - 1,
                           clampToInt64(std::ceil(maxX)) + 2, clampToInt64(std::ceil(maxY)) + 2}
                         .intersect(dst.visible(clip));
  if (area.empty()) return;
  const std::int64_t sl = std::int64_t(std::ceil(srcLeft)), st = std::int64_t(std::ceil(srcTop));
  const std::int64_t sr = std::int64_t(std::ceil(srcRight)) - 1, sb = std::int64_t(std::ceil(srcBottom)) - 1;
  auto sample = [&](std::int64_t x, std::int64_t y) {
    return src.pixel(std::clamp(x, sl, sr), std::clamp(y, st, sb));
  };
  constexpr double kExact = 1e-9;
  for (std::int64_t y = area.top; y < area.bottom; ++y) {
    TColor32* d = dst.row(int(y));
    for (std::int64_t x = area.left; x < area.right; ++x) {
      double u, v;
      inverse.apply(double(x), double(y), u, v);
      if (u < srcLeft - 0.5 || u >= srcRight - 0.5 || v < srcTop - 0.5 || v >= srcBottom - 0.5) continue;
      const double ru = std::nearbyint(u), rv = std::nearbyint(v);
      if (std::fabs(u - ru) < kExact && std::fabs(v - rv) < kExact) {
        d[x] = sample(std::int64_t(ru), std::int64_t(rv));
        continue;
      }
      const double fu = std::floor(u), fv = std::floor(v);
      const double tu = u - fu, tv = v - fv;
      const std::int64_t iu = std::int64_t(fu), iv = std::int64_t(fv);
      const TColor32 p00 = sample(iu, iv), p10 = sample(iu + 1, iv), p01 = sample(iu, iv + 1),
                     p11 = sample(iu + 1, iv + 1);
      auto mix = [&](int shift) {
        const double c = ((p00 >> shift) & 255) * (1 - tu) * (1 - tv) +
                         ((p10 >> shift) & 255) * tu * (1 - tv) + ((p01 >> shift) & 255) * (1 - tu) * tv +
                         ((p11 >> shift) & 255) * tu * tv;
        return TColor32(std::clamp(std::lround(c), 0L, 255L)) << shift;
      };
      d[x] = mix(24) | mix(16) | mix(8) | mix(0);
    }
  }
}

namespace {
void putBig32(std::string& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8)
    out.push_back(char((v >> s) & 0xFF));
}
void putChunk(std::string& out, const char* type, const std::string& body) {
  putBig32(out, std::uint32_t(body.size()));
  std::string typed(type, 4);
  typed += body;
  out += typed;
  putBig32(out, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), uInt(typed.size()))));
}
} // namespace

bool writePng(const Raster& raster, const std::string& path) {
  const int w = std::max(raster.width(), 1), h = std::max(raster.height(), 1);
  std::string rows;
  rows.reserve(std::size_t(h) * (std::size_t(w) * 4 + 1));
  for (int y = 0; y < h; ++y) {
    rows.push_back(0); // no filter
    for (int x = 0; x < w; ++x) {
      const TColor32 p = raster.pixel(x, y);
      rows.push_back(char(redOf(p)));
      rows.push_back(char(greenOf(p)));
      rows.push_back(char(blueOf(p)));
      rows.push_back(char(alphaOf(p)));
    }
  }
  uLongf packedSize = compressBound(uLong(rows.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(rows.data()), uLong(rows.size()), 6) != Z_OK)
    return false;
  packed.resize(packedSize);
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string ihdr;
  putBig32(ihdr, std::uint32_t(w));
  putBig32(ihdr, std::uint32_t(h));
  ihdr += std::string("\x08\x06\x00\x00\x00", 5); // 8 bits, RGBA, deflate, no filter, no interlace
  putChunk(png, "IHDR", ihdr);
  putChunk(png, "IDAT", packed);
  putChunk(png, "IEND", std::string());
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!f) return false;
  return std::fwrite(png.data(), 1, png.size(), f.get()) == png.size();
}

} // namespace kv::platform
