#include "Platform/Graphics/GdiObjects.h"

#include "Platform/Rtl/Rounding.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <variant>

namespace kv::platform {

namespace {

using Object = std::variant<LOGPEN, LOGBRUSH, LOGFONTA, TRect>;

// Handles below this value are reserved: 1..31 are system colour brushes, the stock objects
// follow at kStockBase + index.
constexpr HGDIOBJ kStockBase = 0x100;
constexpr HGDIOBJ kFirstHandle = 0x1000;

struct Table {
  std::mutex lock;
  std::unordered_map<HGDIOBJ, Object> objects;
  HGDIOBJ next = kFirstHandle;
};

Table& table() {
  static Table t;
  return t;
}

LOGFONTA makeFont(int height, int weight, const char* face, unsigned pitch) {
  LOGFONTA lf;
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfPitchAndFamily = std::uint8_t(pitch);
  setFaceName(lf, face);
  return lf;
}

std::optional<Object> stockObject(int index) {
  auto brush = [](unsigned style, TColor c) { return Object(LOGBRUSH{style, c, 0}); };
  auto pen = [](unsigned style, TColor c) { return Object(LOGPEN{style, {1, 0}, c}); };
  switch (index) {
  case WHITE_BRUSH:
    return brush(BS_SOLID, clWhite);
  case LTGRAY_BRUSH:
    return brush(BS_SOLID, clSilver);
  case GRAY_BRUSH:
    return brush(BS_SOLID, clGray);
  case DKGRAY_BRUSH:
    return brush(BS_SOLID, 0x404040);
  case BLACK_BRUSH:
    return brush(BS_SOLID, clBlack);
  case NULL_BRUSH:
    return brush(BS_NULL, clBlack);
  case WHITE_PEN:
    return pen(PS_SOLID, clWhite);
  case BLACK_PEN:
    return pen(PS_SOLID, clBlack);
  case NULL_PEN:
    return pen(PS_NULL, clBlack);
  case DC_BRUSH:
    return brush(BS_SOLID, clWhite);
  case DC_PEN:
    return pen(PS_SOLID, clBlack);
  case OEM_FIXED_FONT:
  case ANSI_FIXED_FONT:
    return Object(makeFont(-13, FW_NORMAL, "Courier New", FIXED_PITCH));
  case ANSI_VAR_FONT:
    return Object(makeFont(-11, FW_NORMAL, "MS Sans Serif", VARIABLE_PITCH));
  case SYSTEM_FONT:
  case DEVICE_DEFAULT_FONT:
    return Object(makeFont(16, FW_BOLD, "System", VARIABLE_PITCH));
  case DEFAULT_GUI_FONT:
    return Object(makeFont(-11, FW_NORMAL, "MS Shell Dlg", VARIABLE_PITCH));
  default:
    return std::nullopt;
  }
}

std::optional<Object> lookup(HGDIOBJ h) {
  if (h >= 1 && h <= 31) return Object(LOGBRUSH{BS_SOLID, sysColor(int(h) - 1), 0});
  if (h >= kStockBase && h < kStockBase + 32) return stockObject(int(h - kStockBase));
  Table& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.objects.find(h);
  if (it == t.objects.end()) return std::nullopt;
  return it->second;
}

HGDIOBJ add(Object o) {
  Table& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  // Skip over handles still in use after a wrap-around of the counter.
  while (t.next < kFirstHandle || t.objects.count(t.next))
    ++t.next;
  const HGDIOBJ h = t.next++;
  t.objects.emplace(h, std::move(o));
  return h;
}

} // namespace

void setFaceName(LOGFONTA& lf, const std::string& name) {
  std::size_t n = std::min<std::size_t>(name.size(), LF_FACESIZE - 1);
  // Never cut a UTF-8 sequence in two.
  while (n > 0 && n < name.size() && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
    --n;
  std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
  std::memcpy(lf.lfFaceName, name.data(), n);
}

std::string faceName(const LOGFONTA& lf) {
  return std::string(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
}

namespace {
double dpiOrScreen(int dpi) { return dpi > 0 ? dpi : 96; }
} // namespace

int fontHeightOfPoints(int points, int dpi) { return RoundToInt(-double(points) * dpiOrScreen(dpi) / 72.0); }
int fontPointsOfHeight(int height, int dpi) { return RoundToInt(-double(height) * 72.0 / dpiOrScreen(dpi)); }
int rescaleFontHeight(int height, int fromDpi, int toDpi) {
  if (dpiOrScreen(fromDpi) == dpiOrScreen(toDpi)) return height;
  return fontHeightOfPoints(fontPointsOfHeight(height, fromDpi), toDpi);
}

HPEN CreatePen(int style, int width, TColor color) {
  return CreatePenIndirect(LOGPEN{unsigned(style), {width, 0}, color});
}

HPEN CreatePenIndirect(const LOGPEN& pen) {
  if ((pen.lopnStyle & 0x0F) > PS_INSIDEFRAME) return 0;
  return add(pen);
}

HBRUSH CreateSolidBrush(TColor color) { return add(LOGBRUSH{BS_SOLID, color, 0}); }

HBRUSH CreateBrushIndirect(const LOGBRUSH& brush) { return add(brush); }

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, unsigned italic,
                  unsigned underline, unsigned strikeOut, unsigned charSet, unsigned outPrecision,
                  unsigned clipPrecision, unsigned quality, unsigned pitchAndFamily, const char* face) {
  LOGFONTA lf;
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = std::uint8_t(italic ? 1 : 0);
  lf.lfUnderline = std::uint8_t(underline ? 1 : 0);
  lf.lfStrikeOut = std::uint8_t(strikeOut ? 1 : 0);
  lf.lfCharSet = std::uint8_t(charSet);
  lf.lfOutPrecision = std::uint8_t(outPrecision);
  lf.lfClipPrecision = std::uint8_t(clipPrecision);
  lf.lfQuality = std::uint8_t(quality);
  lf.lfPitchAndFamily = std::uint8_t(pitchAndFamily);
  setFaceName(lf, face ? face : "");
  return add(lf);
}

HFONT CreateFontIndirectA(const LOGFONTA& font) {
  LOGFONTA lf = font;
  lf.lfFaceName[LF_FACESIZE - 1] = 0; // a record filled by hand may lack its terminator
  return add(lf);
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  return add(
      TRect{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)});
}

HGDIOBJ GetStockObject(int index) { return stockObject(index) ? kStockBase + HGDIOBJ(index) : 0; }

bool DeleteObject(HGDIOBJ object) {
  if ((object >= 1 && object <= 31) || (object >= kStockBase && object < kStockBase + 32))
    return bool(lookup(object));
  Table& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.objects.erase(object) > 0;
}

int GetObjectType(HGDIOBJ object) {
  const auto o = lookup(object);
  if (!o) return 0;
  switch (o->index()) {
  case 0:
    return OBJ_PEN;
  case 1:
    return OBJ_BRUSH;
  case 2:
    return OBJ_FONT;
  default:
    return OBJ_REGION;
  }
}

std::optional<LOGPEN> penOf(HGDIOBJ object) {
  const auto o = lookup(object);
  if (o && std::holds_alternative<LOGPEN>(*o)) return std::get<LOGPEN>(*o);
  return std::nullopt;
}
std::optional<LOGBRUSH> brushOf(HGDIOBJ object) {
  const auto o = lookup(object);
  if (o && std::holds_alternative<LOGBRUSH>(*o)) return std::get<LOGBRUSH>(*o);
  return std::nullopt;
}
std::optional<LOGFONTA> fontOf(HGDIOBJ object) {
  const auto o = lookup(object);
  if (o && std::holds_alternative<LOGFONTA>(*o)) return std::get<LOGFONTA>(*o);
  return std::nullopt;
}
std::optional<TRect> regionOf(HGDIOBJ object) {
  const auto o = lookup(object);
  if (o && std::holds_alternative<TRect>(*o)) return std::get<TRect>(*o);
  return std::nullopt;
}

std::size_t liveGdiObjects() {
  Table& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.objects.size();
}

} // namespace kv::platform
