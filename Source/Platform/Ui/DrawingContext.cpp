#include "Platform/Ui/DrawingContext.h"

#include <algorithm>
#include <cstdio>

namespace kv::platform {

TRect IntersectRects(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (IsRectEmpty(r)) return TRect{};
  return r;
}

TRect UnionRects(const TRect& a, const TRect& b) {
  if (IsRectEmpty(a)) return b;
  if (IsRectEmpty(b)) return a;
  return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
               std::max(a.Bottom, b.Bottom)};
}

void rectMinus(const TRect& a, const TRect& b, std::vector<TRect>& out) {
  const TRect i = IntersectRects(a, b);
  if (IsRectEmpty(i)) {
    out.push_back(a);
    return;
  }
  if (a.Top < i.Top) out.push_back(TRect{a.Left, a.Top, a.Right, i.Top});
  if (i.Bottom < a.Bottom) out.push_back(TRect{a.Left, i.Bottom, a.Right, a.Bottom});
  if (a.Left < i.Left) out.push_back(TRect{a.Left, i.Top, i.Left, i.Bottom});
  if (i.Right < a.Right) out.push_back(TRect{i.Right, i.Top, a.Right, i.Bottom});
}

LOGFONTA logFontOf(const FontInfo& font) {
  LOGFONTA lf;
  lf.lfHeight = font.height;
  lf.lfEscapement = font.escapement;
  lf.lfOrientation = font.escapement;
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.italic;
  lf.lfUnderline = font.underline;
  lf.lfStrikeOut = font.strikeOut;
  lf.lfCharSet = static_cast<std::uint8_t>(font.charset);
  lf.lfPitchAndFamily = static_cast<std::uint8_t>(font.pitch);
  setFaceName(lf, font.name);
  return lf;
}

std::string rectText(const TRect& r) {
  return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
         std::to_string(r.Bottom);
}

std::string colorText(TColor c) {
  char b[16];
  std::snprintf(b, sizeof b, "$%08X", static_cast<unsigned>(c));
  return b;
}

namespace {
const char* penStyleText(TPenStyle s) {
  static const char* names[] = {"solid", "dash", "dot", "dashdot", "dashdotdot", "clear", "insideframe"};
  return names[static_cast<int>(s)];
}
const char* brushStyleText(TBrushStyle s) {
  static const char* names[] = {"solid",     "clear",     "horizontal", "vertical",
                                "fdiagonal", "bdiagonal", "cross",      "diagcross"};
  return names[static_cast<int>(s)];
}
std::string brushText(const BrushInfo& b) {
  return "brush=" + colorText(b.color) + " " + brushStyleText(b.style);
}
std::string pt(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
} // namespace

void RecordingContext::record(std::string line) { log_->push_back(std::move(line)); }

void RecordingContext::setPen(const PenInfo& pen) {
  pen_ = pen;
  record("setPen " + colorText(pen.color) + " " + std::to_string(pen.width) + " " + penStyleText(pen.style));
}
void RecordingContext::setBrush(const BrushInfo& brush) {
  brush_ = brush;
  record("setBrush " + colorText(brush.color) + " " + brushStyleText(brush.style));
}
void RecordingContext::setFont(const FontInfo& font) {
  font_ = font;
  std::string style = std::string(font.bold ? "b" : "") + (font.italic ? "i" : "") +
                      (font.underline ? "u" : "") + (font.strikeOut ? "s" : "");
  record("setFont '" + font.name + "' " + std::to_string(font.height) + " " + colorText(font.color) +
         (style.empty() ? "" : " " + style) +
         (font.escapement ? " esc=" + std::to_string(font.escapement) : ""));
}
void RecordingContext::setTextColor(TColor color) { record("setTextColor " + colorText(color)); }
void RecordingContext::setBkColor(TColor color) { record("setBkColor " + colorText(color)); }
void RecordingContext::setBkMode(int mode) {
  record(std::string("setBkMode ") + (mode == TRANSPARENT ? "transparent" : "opaque"));
}
void RecordingContext::setTextAlign(unsigned align) {
  align_ = align;
  record("setTextAlign " + std::to_string(align));
}
TPoint RecordingContext::setWindowOrg(TPoint origin) {
  const TPoint old = origin_;
  origin_ = origin;
  record("setWindowOrg " + pt(origin.X, origin.Y));
  return old;
}
void RecordingContext::moveTo(int x, int y) { record("moveTo " + pt(x, y)); }
void RecordingContext::lineTo(int x, int y) { record("lineTo " + pt(x, y)); }
void RecordingContext::polyline(const std::vector<TPoint>& points) {
  std::string s = "polyline";
  for (const auto& p : points)
    s += " " + pt(p.X, p.Y);
  record(s);
}
void RecordingContext::rectangle(const TRect& r) { record("rectangle " + rectText(r)); }
void RecordingContext::ellipse(const TRect& r) { record("ellipse " + rectText(r)); }
void RecordingContext::fillRect(const TRect& r, const BrushInfo& brush) {
  record("fillRect " + rectText(r) + " " + brushText(brush));
}
void RecordingContext::frameRect(const TRect& r, const BrushInfo& brush) {
  record("frameRect " + rectText(r) + " " + brushText(brush));
}
void RecordingContext::setPixel(int x, int y, TColor color) {
  record("setPixel " + pt(x, y) + " " + colorText(color));
}
TColor RecordingContext::getPixel(int, int) { return clNone; }
void RecordingContext::textOut(int x, int y, const std::string& text) {
  record("textOut " + pt(x, y) + " '" + text + "'");
}
void RecordingContext::textRect(const TRect& clip, int x, int y, const std::string& text) {
  record("textRect " + rectText(clip) + " " + pt(x, y) + " '" + text + "'");
}
TSize RecordingContext::textExtent(const std::string& text) {
  const int n = static_cast<int>(text.size());
  if (font_.height == 0 || font_.height == -11) return TSize{7 * n, 13};
  const int h = font_.height < 0 ? -font_.height : font_.height;
  return TSize{n * ((h + 1) / 2), h};
}
void RecordingContext::copyRect(const TRect& dest, DrawingContext&, const TRect& src) {
  record("copyRect " + rectText(dest) + " from " + rectText(src));
}
void RecordingContext::setDeviceOrigin(TPoint origin) {
  deviceOrg_ = origin;
  record("setDeviceOrigin " + pt(origin.X, origin.Y));
}
void RecordingContext::setClipRect(std::optional<TRect> clip) {
  clip_ = clip;
  record("setClipRect " + (clip ? rectText(*clip) : std::string("none")));
}

void RecordingSurface::scroll(const TRect& area, const TRect& clip, int dx, int dy) {
  log_->push_back("scroll " + rectText(area) + " clip " + rectText(clip) + " by " + pt(dx, dy));
}

} // namespace kv::platform
