#include "Platform/Graphics/CairoDC.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <map>

namespace kv::platform {

namespace {

// Cairo keeps coordinates in 24.8 fixed point: everything sent to it stays well inside that.
constexpr double kFar = double(1 << 22);

void setColor(cairo_t* cr, TColor32 c) {
  cairo_set_source_rgba(cr, redOf(c) / 255.0, greenOf(c) / 255.0, blueOf(c) / 255.0, alphaOf(c) / 255.0);
}

IRect nearDevice(const IRect& r, const IRect& device) {
  return r.intersect({device.left - 64, device.top - 64, device.right + 64, device.bottom + 64});
}

// Liang-Barsky: cuts the segment to the box; false when nothing is left.
bool clipSegment(double& x0, double& y0, double& x1, double& y1, const IRect& box) {
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[] = {-dx, dx, -dy, dy};
  const double q[] = {x0 - box.left, box.right - x0, y0 - box.top, box.bottom - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const double ax = x0 + t0 * dx, ay = y0 + t0 * dy, bx = x0 + t1 * dx, by = y0 + t1 * dy;
  x0 = ax, y0 = ay, x1 = bx, y1 = by;
  return true;
}

cairo_font_face_t* cairoFace(void* ftFace) {
  static std::map<void*, cairo_font_face_t*> faces; // lives as long as the FreeType faces do
  auto it = faces.find(ftFace);
  if (it != faces.end()) return it->second;
  cairo_font_face_t* face = cairo_ft_font_face_create_for_ft_face(static_cast<FT_Face>(ftFace), 0);
  faces.emplace(ftFace, face);
  return face;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6)), out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12)), out += char(0x80 | ((cp >> 6) & 0x3F)), out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18)), out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F)), out += char(0x80 | (cp & 0x3F));
  }
}

} // namespace

CairoDC::CairoDC(cairo_t* cr, DeviceCaps caps) : DeviceContextBase(caps), cr_(cairo_reference(cr)) {}

CairoDC::~CairoDC() { cairo_destroy(cr_); }

void CairoDC::begin() {
  cairo_save(cr_);
  cairo_new_path(cr_);
  const auto rects = clipRects();
  if (rects.empty()) {
    cairo_rectangle(cr_, 0, 0, 0, 0);
  } else {
    for (const IRect& r : rects)
      cairo_rectangle(cr_, double(r.left), double(r.top), double(r.right - r.left), double(r.bottom - r.top));
  }
  cairo_clip(cr_);
}

void CairoDC::end() { cairo_restore(cr_); }

void CairoDC::deviceSegment(DPoint a, DPoint b, std::int64_t patternStart) {
  double x0 = double(a.x) + 0.5, y0 = double(a.y) + 0.5, x1 = double(b.x) + 0.5, y1 = double(b.y) + 0.5;
  if (x0 == x1 && y0 == y1) return;
  const double length = std::hypot(x1 - x0, y1 - y0);
  const double fullX0 = x0, fullY0 = y0;
  const IRect box = nearDevice({-(1LL << 40), -(1LL << 40), 1LL << 40, 1LL << 40}, deviceBounds());
  if (!clipSegment(x0, y0, x1, y1, box)) return;
  begin();
  const int w = devicePenWidth();
  cairo_set_line_width(cr_, w);
  cairo_set_line_cap(cr_, w > 1 ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
  const auto pattern = penPattern();
  // The pattern counts steps along the longer axis, as on the raster; Cairo counts length.
  const double steps = std::max(std::fabs(double(b.x - a.x)), std::fabs(double(b.y - a.y)));
  const double perStep = steps > 0 ? length / steps : 1;
  const double skipped = std::hypot(x0 - fullX0, y0 - fullY0);
  if (!pattern.empty() && bkModeValue() == OPAQUE) {
    setColor(cr_, bkColor32());
    cairo_move_to(cr_, x0, y0);
    cairo_line_to(cr_, x1, y1);
    cairo_stroke(cr_);
  }
  if (!pattern.empty()) {
    std::vector<double> dashes;
    for (int p : pattern)
      dashes.push_back(p * perStep);
    cairo_set_dash(cr_, dashes.data(), int(dashes.size()), double(patternStart) * perStep + skipped);
  }
  setColor(cr_, penColor());
  cairo_move_to(cr_, x0, y0);
  cairo_line_to(cr_, x1, y1);
  cairo_stroke(cr_);
  end();
}

void CairoDC::deviceFill(const IRect& r, TColor32 color) {
  const IRect n = nearDevice(r, deviceBounds());
  if (n.empty()) return;
  begin();
  setColor(cr_, color);
  cairo_rectangle(cr_, double(n.left), double(n.top), double(n.right - n.left), double(n.bottom - n.top));
  cairo_fill(cr_);
  end();
}

void CairoDC::deviceEllipse(const IRect& box, int penWidth, bool pen, bool brush) {
  // An ellipse so far away that Cairo cannot hold it is dropped.
  if (std::fabs(double(box.left)) > kFar || std::fabs(double(box.right)) > kFar ||
      std::fabs(double(box.top)) > kFar || std::fabs(double(box.bottom)) > kFar)
    return;
  const double cx = (double(box.left) + double(box.right)) / 2,
               cy = (double(box.top) + double(box.bottom)) / 2;
  const double rx = (double(box.right) - double(box.left) - penWidth) / 2;
  const double ry = (double(box.bottom) - double(box.top) - penWidth) / 2;
  if (rx <= 0 || ry <= 0) {
    if (pen) deviceFill(box, penColor());
    return;
  }
  begin();
  cairo_save(cr_);
  cairo_translate(cr_, cx, cy);
  cairo_scale(cr_, rx, ry);
  cairo_arc(cr_, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr_);
  if (brush) {
    setColor(cr_, brushColor());
    cairo_fill_preserve(cr_);
  }
  if (pen) {
    setColor(cr_, penColor());
    cairo_set_line_width(cr_, penWidth);
    cairo_stroke(cr_);
  }
  cairo_new_path(cr_);
  end();
}

void CairoDC::deviceText(const TextRun& run) {
  if (std::fabs(double(run.refX)) > kFar || std::fabs(double(run.refY)) > kFar) return;
  const ResolvedFont& font = *run.font;
  const FontMetrics& m = font.metrics();
  begin();
  cairo_translate(cr_, double(run.refX), double(run.refY));
  cairo_rotate(cr_, -run.escapement * M_PI / 1800.0);
  if (run.opaque) {
    setColor(cr_, run.background);
    cairo_rectangle(cr_, run.u0, run.v0, run.width, m.height);
    cairo_fill(cr_);
  }
  setColor(cr_, run.color);
  const auto glyphs = font.layout(run.text);
  if (font.isBox()) {
    for (const auto& g : glyphs) {
      if (g.ch <= 0x20 || g.ch == 0xA0 || (g.ch >= 0x7F && g.ch < 0xA0)) continue;
      cairo_rectangle(cr_, run.u0 + g.x, run.v0, g.advance > 1 ? g.advance - 1 : 1, m.height);
    }
    cairo_fill(cr_);
  } else if (!glyphs.empty()) {
    // Cairo wants valid UTF-8 with clusters: one code point, one glyph.
    std::string utf8;
    std::vector<cairo_glyph_t> cg;
    std::vector<cairo_text_cluster_t> clusters;
    for (const auto& g : glyphs) {
      const std::size_t before = utf8.size();
      appendUtf8(utf8, g.ch);
      cg.push_back({g.index, double(run.u0 + g.x), double(run.v0 + m.ascent)});
      clusters.push_back({int(utf8.size() - before), 1});
    }
    auto lock = ResolvedFont::lockFaces();
    cairo_set_font_face(cr_, cairoFace(font.ftFace()));
    cairo_set_font_size(cr_, font.emPixels());
    cairo_show_text_glyphs(cr_, utf8.data(), int(utf8.size()), cg.data(), int(cg.size()), clusters.data(),
                           int(clusters.size()), cairo_text_cluster_flags_t(0));
  }
  const int t = font.lineThickness();
  if (font.underline()) cairo_rectangle(cr_, run.u0, run.v0 + font.underlineRow(), run.width, t);
  if (font.strikeOut()) cairo_rectangle(cr_, run.u0, run.v0 + font.strikeOutRow(), run.width, t);
  cairo_fill(cr_);
  end();
}

void CairoDC::deviceSetPixel(std::int64_t x, std::int64_t y, TColor32 color) {
  deviceFill({x, y, x + 1, y + 1}, color);
}

void CairoDC::deviceStretch(const IRect& dst, const Raster& src, const IRect& srcRect) {
  const IRect part = srcRect.intersect(src.bounds());
  if (part.empty() || dst.empty()) return;
  if (std::fabs(double(dst.left)) > kFar || std::fabs(double(dst.right)) > kFar ||
      std::fabs(double(dst.top)) > kFar || std::fabs(double(dst.bottom)) > kFar)
    return;
  const int w = int(part.right - part.left), h = int(part.bottom - part.top);
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return;
  }
  cairo_surface_flush(image);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int y = 0; y < h; ++y) {
    auto* out = reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
    const TColor32* in = src.row(int(part.top) + y) + part.left;
    for (int x = 0; x < w; ++x) {
      const TColor32 p = in[x];
      const unsigned a = alphaOf(p);
      out[x] = (a << 24) | (((redOf(p) * a + 127) / 255) << 16) | (((greenOf(p) * a + 127) / 255) << 8) |
               ((blueOf(p) * a + 127) / 255);
    }
  }
  cairo_surface_mark_dirty(image);
  const double sx = double(dst.right - dst.left) / double(srcRect.right - srcRect.left);
  const double sy = double(dst.bottom - dst.top) / double(srcRect.bottom - srcRect.top);
  begin();
  cairo_rectangle(cr_, double(dst.left), double(dst.top), double(dst.right - dst.left),
                  double(dst.bottom - dst.top));
  cairo_clip(cr_);
  cairo_translate(cr_, double(dst.left), double(dst.top));
  cairo_scale(cr_, sx, sy);
  cairo_set_source_surface(cr_, image, double(part.left - srcRect.left), double(part.top - srcRect.top));
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
  cairo_paint(cr_);
  end();
  cairo_surface_destroy(image);
}

} // namespace kv::platform
