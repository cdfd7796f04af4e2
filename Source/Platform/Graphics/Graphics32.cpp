#include "Platform/Graphics/Graphics32.h"

#include "Platform/Graphics/DeviceContext.h"
#include "Platform/Graphics/Fonts.h"

#include <cmath>
#include <cstring>

namespace kv::platform::Graphics32 {

TColor32 Color32(TColor color) { return toColor32(color); }
TColor WinColor(TColor32 color) { return fromColor32(color); }

TFloatRect FloatRect(float left, float top, float right, float bottom) { return {left, top, right, bottom}; }

TBitmap32Font& TBitmap32Font::operator=(const TBitmap32Font& other) {
  if (this != &other) copyFields(other);
  return *this;
}

TBitmap32Font::~TBitmap32Font() { release(); }

void TBitmap32Font::copyFields(const TBitmap32Font& o) {
  Name = o.Name;
  Height = o.Height;
  Color = o.Color;
  Bold = o.Bold, Italic = o.Italic, Underline = o.Underline, StrikeOut = o.StrikeOut;
  Escapement = o.Escapement;
}

void TBitmap32Font::release() const {
  if (handle_ && owned_) DeleteObject(handle_);
  handle_ = 0;
  owned_ = false;
}

LOGFONTA TBitmap32Font::LogFont() const {
  LOGFONTA lf;
  lf.lfHeight = Height;
  lf.lfEscapement = Escapement;
  lf.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = Italic;
  lf.lfUnderline = Underline;
  lf.lfStrikeOut = StrikeOut;
  lf.lfCharSet = DEFAULT_CHARSET;
  setFaceName(lf, Name);
  return lf;
}

void TBitmap32Font::Assign(const LOGFONTA& lf, TColor color) {
  Name = faceName(lf);
  Height = lf.lfHeight;
  Bold = lf.lfWeight >= 600;
  Italic = lf.lfItalic != 0;
  Underline = lf.lfUnderline != 0;
  StrikeOut = lf.lfStrikeOut != 0;
  Escapement = lf.lfEscapement;
  Color = color;
}

HFONT TBitmap32Font::Handle() const {
  const LOGFONTA now = LogFont();
  if (handle_ && std::memcmp(&now, &handleFont_, sizeof now) == 0) return handle_;
  release();
  handle_ = CreateFontIndirectA(now);
  owned_ = true;
  handleFont_ = now;
  return handle_;
}

void TBitmap32Font::SetHandle(HFONT font) {
  const auto lf = fontOf(font);
  if (!lf) return;
  Assign(*lf, Color);
  release();
  handle_ = font;
  owned_ = false;
  handleFont_ = LogFont();
}

namespace {
IRect rectOf(int x1, int y1, int x2, int y2) { return {x1, y1, x2, y2}; }
} // namespace

void TBitmap32::FillRectS(int x1, int y1, int x2, int y2, TColor32 color) {
  raster_.fillRect(rectOf(x1, y1, x2, y2), color);
}
void TBitmap32::FillRectTS(int x1, int y1, int x2, int y2, TColor32 color) {
  raster_.blendRect(rectOf(x1, y1, x2, y2), color);
}
void TBitmap32::FrameRectS(int x1, int y1, int x2, int y2, TColor32 color) {
  raster_.frameRect(rectOf(x1, y1, x2, y2), color);
}
void TBitmap32::LineS(int x1, int y1, int x2, int y2, TColor32 color, bool l) {
  raster_.line(x1, y1, x2, y2, color, l);
}
void TBitmap32::LineAS(int x1, int y1, int x2, int y2, TColor32 color, bool l) {
  raster_.lineAA(x1, y1, x2, y2, color, l);
}
void TBitmap32::LineFS(float x1, float y1, float x2, float y2, TColor32 color, bool l) {
  raster_.lineF(x1, y1, x2, y2, color, l);
}

void TBitmap32::Textout(int x, int y, const std::string& text) {
  RenderText(x, y, text, 0, Color32(Font.Color));
}

int TBitmap32::TextWidth(const std::string& text) const {
  return ResolvedFont::resolve(Font.LogFont())->textWidth(text);
}

int TBitmap32::TextHeight(const std::string&) const {
  return ResolvedFont::resolve(Font.LogFont())->metrics().height;
}

void TBitmap32::RenderText(int x, int y, const std::string& text, int, TColor32 color) {
  const auto font = ResolvedFont::resolve(Font.LogFont());
  const CoverageMask mask = font->render(text);
  const int escapement = ((Font.Escapement % 3600) + 3600) % 3600;
  drawTextRun(raster_, mask, x, y, 0, 0, escapement, color, raster_.bounds());
}

void TBitmap32::DrawTo(TBitmap32& dst, int x, int y) const {
  dst.raster_.copyFrom(raster_, raster_.bounds(), x, y);
}

void TAffineTransformation::Rotate(float cx, float cy, float alpha) {
  double c, s;
  const double a = alpha;
  if (std::fmod(a, 90.0) == 0.0) {
    static constexpr double kCos[] = {1, 0, -1, 0}, kSin[] = {0, 1, 0, -1};
    const int quarter = int(((std::llround(a / 90.0) % 4) + 4) % 4);
    c = kCos[quarter], s = kSin[quarter];
  } else {
    c = std::cos(a * M_PI / 180.0), s = std::sin(a * M_PI / 180.0);
  }
  Affine r;
  r.a = c, r.b = s, r.c = cx - cx * c - cy * s;
  r.d = -s, r.e = c, r.f = cy + cx * s - cy * c;
  matrix_ = matrix_.then(r);
}

void Transform(TBitmap32& dst, const TBitmap32& src, const TTransformation& t) {
  TFloatRect r = t.SrcRect;
  if (!(r.Right > r.Left) || !(r.Bottom > r.Top))
    r = FloatRect(0, 0, float(src.Width()), float(src.Height()));
  transformRaster(dst.raster(), src.raster(), t.matrix(), r.Left, r.Top, r.Right, r.Bottom);
}

} // namespace kv::platform::Graphics32
