#include "Platform/Graphics/DeviceContext.h"

#include "Platform/Rtl/Rounding.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace kv::platform {

namespace {

struct DcTable {
  std::mutex lock;
  std::unordered_map<HDC, DeviceContext*> contexts;
  HDC next = 0x10000;
};

DcTable& dcTable() {
  static DcTable t;
  return t;
}

std::vector<IRect> subtract(const std::vector<IRect>& rects, const IRect& r) {
  std::vector<IRect> out;
  for (const IRect& a : rects) {
    const IRect o = a.intersect(r);
    if (o.empty()) {
      out.push_back(a);
      continue;
    }
    const IRect pieces[] = {{a.left, a.top, a.right, o.top},
                            {a.left, o.bottom, a.right, a.bottom},
                            {a.left, o.top, o.left, o.bottom},
                            {o.right, o.top, a.right, o.bottom}};
    for (const IRect& p : pieces)
      if (!p.empty()) out.push_back(p);
  }
  return out;
}

} // namespace

int DeviceCaps::horzSizeMm() const { return dpiX > 0 ? int(std::lround(widthPx * 25.4 / dpiX)) : 0; }
int DeviceCaps::vertSizeMm() const { return dpiY > 0 ? int(std::lround(heightPx * 25.4 / dpiY)) : 0; }

DeviceContext::DeviceContext() {
  DcTable& t = dcTable();
  std::lock_guard<std::mutex> guard(t.lock);
  while (t.next == 0 || t.contexts.count(t.next))
    ++t.next;
  handle_ = t.next++;
  t.contexts.emplace(handle_, this);
}

DeviceContext::~DeviceContext() {
  DcTable& t = dcTable();
  std::lock_guard<std::mutex> guard(t.lock);
  t.contexts.erase(handle_);
}

DeviceContext* DeviceContext::fromHandle(HDC dc) {
  DcTable& t = dcTable();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.contexts.find(dc);
  return it == t.contexts.end() ? nullptr : it->second;
}

DeviceContextBase::DeviceContextBase(DeviceCaps caps)
    : caps_(caps), penHandle_(GetStockObject(BLACK_PEN)), brushHandle_(GetStockObject(WHITE_BRUSH)),
      fontHandle_(GetStockObject(SYSTEM_FONT)) {
  pen_ = *penOf(penHandle_);
  brush_ = *brushOf(brushHandle_);
  font_ = *fontOf(fontHandle_);
}

HGDIOBJ DeviceContextBase::SelectObject(HGDIOBJ object) {
  if (auto pen = penOf(object)) {
    pen_ = *pen;
    return std::exchange(penHandle_, object);
  }
  if (auto brush = brushOf(object)) {
    brush_ = *brush;
    return std::exchange(brushHandle_, object);
  }
  if (auto font = fontOf(object)) {
    font_ = *font;
    return std::exchange(fontHandle_, object);
  }
  if (regionOf(object)) return HGDIOBJ(SelectClipRgn(object));
  return 0;
}

HGDIOBJ DeviceContextBase::GetCurrentObject(int objectType) const {
  switch (objectType) {
  case OBJ_PEN:
    return penHandle_;
  case OBJ_BRUSH:
    return brushHandle_;
  case OBJ_FONT:
    return fontHandle_;
  default:
    return 0;
  }
}

int DeviceContextBase::SetBkMode(int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  return std::exchange(bkMode_, mode);
}
TColor DeviceContextBase::SetBkColor(TColor color) { return std::exchange(bkColor_, color); }
TColor DeviceContextBase::SetTextColor(TColor color) { return std::exchange(textColor_, color); }
unsigned DeviceContextBase::SetTextAlign(unsigned align) { return std::exchange(textAlign_, align); }

int DeviceContextBase::SetMapMode(int mode) {
  if (mode < MM_TEXT || mode > MM_TWIPS) return 0;
  return std::exchange(mapMode_, mode);
}

bool DeviceContextBase::SetWindowOrgEx(int x, int y, TPoint* old) {
  if (old) *old = windowOrg_;
  windowOrg_ = {x, y};
  return true;
}

bool DeviceContextBase::GetWindowOrgEx(TPoint* origin) const {
  if (!origin) return false;
  *origin = windowOrg_;
  return true;
}

double DeviceContextBase::scaleX() const {
  static constexpr double kUnitsPerInch[] = {1, 1, 254, 2540, 100, 1000, 1440};
  return mapMode_ == MM_TEXT ? 1.0 : caps_.dpiX / kUnitsPerInch[mapMode_];
}

double DeviceContextBase::scaleY() const {
  static constexpr double kUnitsPerInch[] = {1, 1, 254, 2540, 100, 1000, 1440};
  return mapMode_ == MM_TEXT ? 1.0 : -caps_.dpiY / kUnitsPerInch[mapMode_];
}

DeviceContextBase::DPoint DeviceContextBase::toDevice(int x, int y) const {
  const std::int64_t lx = std::int64_t(x) - windowOrg_.X, ly = std::int64_t(y) - windowOrg_.Y;
  if (mapMode_ == MM_TEXT) return {lx, ly};
  return {Round(double(lx) * scaleX()), Round(double(ly) * scaleY())};
}

TPoint DeviceContextBase::toLogical(std::int64_t x, std::int64_t y) const {
  if (mapMode_ == MM_TEXT) return {saturate(x + windowOrg_.X), saturate(y + windowOrg_.Y)};
  return {saturate(Round(double(x) / scaleX()) + windowOrg_.X),
          saturate(Round(double(y) / scaleY()) + windowOrg_.Y)};
}

IRect DeviceContextBase::toDeviceRect(int left, int top, int right, int bottom) const {
  const DPoint a = toDevice(left, top), b = toDevice(right, bottom);
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

std::vector<IRect> DeviceContextBase::clipRects() const {
  const IRect device = deviceBounds();
  std::vector<IRect> out;
  if (!clip_) {
    if (!device.empty()) out.push_back(device);
    return out;
  }
  for (const IRect& r : *clip_) {
    const IRect c = r.intersect(device);
    if (!c.empty()) out.push_back(c);
  }
  return out;
}

int DeviceContextBase::clipResult() const {
  const auto rects = clipRects();
  return rects.empty() ? NULLREGION : rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

int DeviceContextBase::SelectClipRgn(HRGN region) {
  if (region == 0) {
    clip_.reset();
    return SIMPLEREGION;
  }
  const auto r = regionOf(region);
  if (!r) return RGN_ERROR;
  clip_ = std::vector<IRect>{IRect{r->Left, r->Top, r->Right, r->Bottom}};
  return clipResult();
}

int DeviceContextBase::ExcludeClipRect(int left, int top, int right, int bottom) {
  const std::vector<IRect> base = clip_ ? *clip_ : std::vector<IRect>{deviceBounds()};
  clip_ = subtract(base, toDeviceRect(left, top, right, bottom));
  return clipResult();
}

int DeviceContextBase::IntersectClipRect(int left, int top, int right, int bottom) {
  const std::vector<IRect> base = clip_ ? *clip_ : std::vector<IRect>{deviceBounds()};
  const IRect r = toDeviceRect(left, top, right, bottom);
  std::vector<IRect> out;
  for (const IRect& a : base)
    if (const IRect c = a.intersect(r); !c.empty()) out.push_back(c);
  clip_ = out;
  return clipResult();
}

int DeviceContextBase::GetClipBox(TRect* box) const {
  if (!box) return RGN_ERROR;
  const auto rects = clipRects();
  if (rects.empty()) {
    *box = {};
    return NULLREGION;
  }
  IRect b = rects.front();
  for (const IRect& r : rects)
    b = {std::min(b.left, r.left), std::min(b.top, r.top), std::max(b.right, r.right),
         std::max(b.bottom, r.bottom)};
  const TPoint p = toLogical(b.left, b.top), q = toLogical(b.right, b.bottom);
  *box = {std::min(p.X, q.X), std::min(p.Y, q.Y), std::max(p.X, q.X), std::max(p.Y, q.Y)};
  return rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

void DeviceContextBase::deviceFrame(const IRect& o, const IRect& i, TColor32 color) {
  if (i.empty()) return deviceFill(o, color);
  deviceFill({o.left, o.top, o.right, i.top}, color);
  deviceFill({o.left, i.bottom, o.right, o.bottom}, color);
  deviceFill({o.left, i.top, i.left, i.bottom}, color);
  deviceFill({i.right, i.top, o.right, i.bottom}, color);
}

int DeviceContextBase::devicePenWidth() const {
  const int w = pen_.lopnWidth.X;
  if (w <= 1) return 1;
  return int(std::clamp<std::int64_t>(Round(w * std::fabs(scaleX())), 1, 10000));
}

std::vector<int> DeviceContextBase::penPattern() const {
  if (devicePenWidth() > 1) return {};
  switch (pen_.lopnStyle & 0x0F) {
  case PS_DASH:
    return {18, 6};
  case PS_DOT:
    return {3, 3};
  case PS_DASHDOT:
    return {9, 6, 3, 6};
  case PS_DASHDOTDOT:
    return {9, 3, 3, 3, 3, 3};
  default:
    return {};
  }
}

bool DeviceContextBase::MoveToEx(int x, int y, TPoint* old) {
  if (old) *old = current_;
  current_ = {x, y};
  patternPos_ = 0;
  return true;
}

bool DeviceContextBase::LineTo(int x, int y) {
  const DPoint a = toDevice(current_.X, current_.Y), b = toDevice(x, y);
  if (penVisible()) deviceSegment(a, b, patternPos_);
  patternPos_ += std::max(std::llabs(b.x - a.x), std::llabs(b.y - a.y));
  current_ = {x, y};
  return true;
}

bool DeviceContextBase::Polyline(const TPoint* points, int count) {
  if (!points || count < 2) return false;
  const TPoint saved = current_;
  MoveToEx(points[0].X, points[0].Y, nullptr);
  for (int i = 1; i < count; ++i)
    LineTo(points[i].X, points[i].Y);
  current_ = saved;
  return true;
}

bool DeviceContextBase::Rectangle(int left, int top, int right, int bottom) {
  const IRect r = toDeviceRect(left, top, right, bottom);
  if (!penVisible()) {
    if (brushVisible()) deviceFill({r.left, r.top, r.right - 1, r.bottom - 1}, brushColor());
    return true;
  }
  if (r.empty()) return true;
  const int w = devicePenWidth();
  IRect outer = r, inner{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  if ((pen_.lopnStyle & 0x0F) == PS_INSIDEFRAME) {
    inner = {r.left + w, r.top + w, r.right - w, r.bottom - w};
  } else if (w > 1) {
    const int out = (w - 1) / 2, in = w / 2;
    outer = {r.left - out, r.top - out, r.right + out, r.bottom + out};
    inner = {r.left + 1 + in, r.top + 1 + in, r.right - 1 - in, r.bottom - 1 - in};
  }
  if (brushVisible()) {
    const IRect inside{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    if (!inside.empty()) deviceFill(inside, brushColor());
  }
  const auto pattern = penPattern();
  if (pattern.empty() || r.right - r.left < 2 || r.bottom - r.top < 2) {
    deviceFrame(outer, inner, penColor());
    return true;
  }
  // Styled outlines walk round the rectangle so that the pattern runs on at the corners.
  const DPoint c[] = {
      {r.left, r.top}, {r.right - 1, r.top}, {r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}};
  std::int64_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    const DPoint a = c[i], b = c[(i + 1) % 4];
    deviceSegment(a, b, pos);
    pos += std::max(std::llabs(b.x - a.x), std::llabs(b.y - a.y));
  }
  return true;
}

bool DeviceContextBase::Ellipse(int left, int top, int right, int bottom) {
  IRect box = toDeviceRect(left, top, right, bottom);
  if (!penVisible()) {
    --box.right;
    --box.bottom;
  }
  if (box.empty()) return true;
  deviceEllipse(box, penVisible() ? devicePenWidth() : 0, penVisible(), brushVisible());
  return true;
}

bool DeviceContextBase::FillRect(const TRect& rect, HBRUSH brush) {
  const auto b = brushOf(brush);
  if (!b) return false;
  if (b->lbStyle != BS_NULL)
    deviceFill(toDeviceRect(rect.Left, rect.Top, rect.Right, rect.Bottom), toColor32(b->lbColor));
  return true;
}

TColor DeviceContextBase::SetPixel(int x, int y, TColor color) {
  const DPoint p = toDevice(x, y);
  for (const IRect& c : clipRects())
    if (c.contains(p.x, p.y)) {
      deviceSetPixel(p.x, p.y, toColor32(color));
      return ColorToRGB(color);
    }
  return CLR_INVALID;
}

TColor DeviceContextBase::GetPixel(int x, int y) const {
  if (!deviceReadable()) return CLR_INVALID;
  const DPoint p = toDevice(x, y);
  for (const IRect& c : clipRects())
    if (c.contains(p.x, p.y)) return fromColor32(deviceGetPixel(p.x, p.y));
  return CLR_INVALID;
}

bool DeviceContextBase::StretchBlt(int x, int y, int width, int height, const Raster& source, int srcX,
                                   int srcY, int srcWidth, int srcHeight) {
  if (width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0) return false;
  const IRect dst = toDeviceRect(x, y, int(std::min<std::int64_t>(std::int64_t(x) + width, INT32_MAX)),
                                 int(std::min<std::int64_t>(std::int64_t(y) + height, INT32_MAX)));
  deviceStretch(dst, source, {srcX, srcY, std::int64_t(srcX) + srcWidth, std::int64_t(srcY) + srcHeight});
  return true;
}

std::shared_ptr<const ResolvedFont> DeviceContextBase::deviceFont() const {
  LOGFONTA lf = font_;
  if (mapMode_ != MM_TEXT)
    lf.lfHeight =
        std::int32_t(std::clamp<std::int64_t>(Round(lf.lfHeight * std::fabs(scaleY())), -100000, 100000));
  return ResolvedFont::resolve(lf);
}

void DeviceContextBase::drawTextAt(DPoint ref, std::string_view text, unsigned align) {
  TextRun run;
  run.font = deviceFont();
  run.text = text;
  run.refX = ref.x;
  run.refY = ref.y;
  run.width = run.font->textWidth(text);
  const FontMetrics& m = run.font->metrics();
  if ((align & TA_CENTER) == TA_CENTER)
    run.u0 = -(run.width / 2);
  else if (align & TA_RIGHT)
    run.u0 = -run.width;
  if ((align & TA_BASELINE) == TA_BASELINE)
    run.v0 = -m.ascent;
  else if (align & TA_BOTTOM)
    run.v0 = -m.height;
  run.escapement = ((font_.lfEscapement % 3600) + 3600) % 3600;
  run.opaque = bkMode_ == OPAQUE;
  run.color = toColor32(textColor_);
  run.background = toColor32(bkColor_);
  if (!text.empty()) deviceText(run);
}

bool DeviceContextBase::TextOut(int x, int y, std::string_view text) {
  const bool updateCp = textAlign_ & TA_UPDATECP;
  const TPoint at = updateCp ? current_ : TPoint{x, y};
  drawTextAt(toDevice(at.X, at.Y), text, textAlign_);
  if (updateCp) {
    TSize size;
    GetTextExtentPoint(text, &size);
    if ((textAlign_ & TA_CENTER) == TA_CENTER) {
    } else if (textAlign_ & TA_RIGHT) {
      current_.X = saturate(std::int64_t(current_.X) - size.cx);
    } else {
      current_.X = saturate(std::int64_t(current_.X) + size.cx);
    }
  }
  return true;
}

bool DeviceContextBase::GetTextExtentPoint(std::string_view text, TSize* size) const {
  if (!size) return false;
  const auto font = deviceFont();
  size->cx = int(std::lround(font->textWidth(text) / std::fabs(scaleX())));
  size->cy = int(std::lround(font->metrics().height / std::fabs(scaleY())));
  return true;
}

bool DeviceContextBase::GetTextMetrics(TEXTMETRIC* tm) const {
  if (!tm) return false;
  const auto font = deviceFont();
  const FontMetrics& m = font->metrics();
  const double sx = std::fabs(scaleX()), sy = std::fabs(scaleY());
  tm->tmHeight = int(std::lround(m.height / sy));
  tm->tmAscent = int(std::lround(m.ascent / sy));
  tm->tmDescent = tm->tmHeight - tm->tmAscent;
  tm->tmInternalLeading = int(std::lround(m.internalLeading / sy));
  tm->tmExternalLeading = 0;
  tm->tmAveCharWidth = int(std::lround(m.aveCharWidth / sx));
  tm->tmMaxCharWidth = int(std::lround(m.maxCharWidth / sx));
  tm->tmWeight = font_.lfWeight == 0 ? FW_NORMAL : font_.lfWeight;
  return true;
}

int DeviceContextBase::DrawText(std::string_view input, TRect* rect, unsigned flags) {
  if (!rect) return 0;
  struct Line {
    std::string text;
    int underlined = -1; // character index of the prefix-marked character
  };
  // Prefix characters: "&x" underlines x, "&&" is one '&'.
  std::string text;
  std::vector<int> marks; // byte offsets of marked characters in `text`
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (!(flags & DT_NOPREFIX) && input[i] == '&') {
      if (i + 1 < input.size() && input[i + 1] == '&') {
        text += '&';
        ++i;
        continue;
      }
      if (i + 1 < input.size()) marks.push_back(int(text.size()));
      continue;
    }
    text += input[i];
  }
  if (flags & DT_EXPANDTABS) {
    std::string expanded;
    int column = 0;
    for (char ch : text) {
      if (ch == '\t') {
        do
          expanded += ' ', ++column;
        while (column % 8);
      } else {
        expanded += ch;
        column = (ch == '\n' || ch == '\r') ? 0 : column + 1;
      }
    }
    if (marks.empty()) text = expanded; // keeping mark offsets right matters more than tabs
  }
  auto width = [&](const std::string& s) {
    TSize size;
    GetTextExtentPoint(s, &size);
    return size.cx;
  };
  const std::int64_t boxWidth = std::int64_t(rect->Right) - rect->Left;
  std::vector<Line> lines;
  std::vector<int> lineStarts;
  auto addLine = [&](std::string s, int start) {
    lines.push_back({std::move(s), -1});
    lineStarts.push_back(start);
  };
  auto addWrapped = [&](const std::string& para, int start) {
    if (!(flags & DT_WORDBREAK) || (flags & DT_SINGLELINE)) return addLine(para, start);
    if (para.empty()) return addLine(para, start);
    std::size_t pos = 0;
    while (pos < para.size()) {
      // The longest run of whole words that fits; a word wider than the box stands alone.
      std::size_t best = std::string::npos, end = pos;
      while (true) {
        std::size_t next = para.find(' ', end);
        if (next == std::string::npos) next = para.size();
        if (best != std::string::npos && best > pos && width(para.substr(pos, next - pos)) > boxWidth) break;
        best = next;
        if (next == para.size()) break;
        end = next + 1;
      }
      addLine(para.substr(pos, best - pos), int(pos) + start);
      pos = best;
      while (pos < para.size() && para[pos] == ' ')
        ++pos;
    }
  };
  if (flags & DT_SINGLELINE) {
    std::string one;
    for (char ch : text)
      if (ch != '\r' && ch != '\n') one += ch;
    addLine(one, 0);
  } else {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
        addWrapped(text.substr(start, i - start), int(start));
        if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
      }
    }
  }
  if (!(flags & DT_SINGLELINE)) {
    // Offsets of marks map onto lines only where no line break character was removed before them.
    for (int mark : marks)
      for (std::size_t l = 0; l < lines.size(); ++l)
        if (mark >= lineStarts[l] && mark < lineStarts[l] + int(lines[l].text.size())) {
          lines[l].underlined = mark - lineStarts[l];
          break;
        }
  } else if (!marks.empty() && marks.front() < int(lines[0].text.size())) {
    lines[0].underlined = marks.front();
  }
  TEXTMETRIC tm;
  GetTextMetrics(&tm);
  const int lineHeight = tm.tmHeight;
  const int total = lineHeight * int(lines.size());
  int maxWidth = 0;
  for (const Line& l : lines)
    maxWidth = std::max(maxWidth, width(l.text));
  if (flags & DT_CALCRECT) {
    rect->Right = saturate(std::int64_t(rect->Left) + maxWidth);
    rect->Bottom = saturate(std::int64_t(rect->Top) + total);
    return total;
  }
  std::int64_t top = rect->Top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER)
      top = rect->Top + (std::int64_t(rect->Bottom) - rect->Top - lineHeight) / 2;
    else if (flags & DT_BOTTOM)
      top = std::int64_t(rect->Bottom) - lineHeight;
  }
  const auto savedClip = clip_;
  if (!(flags & DT_NOCLIP)) IntersectClipRect(rect->Left, rect->Top, rect->Right, rect->Bottom);
  for (const Line& l : lines) {
    const int w = width(l.text);
    std::int64_t left = rect->Left;
    if (flags & DT_CENTER)
      left = rect->Left + (boxWidth - w) / 2;
    else if (flags & DT_RIGHT)
      left = std::int64_t(rect->Right) - w;
    const int x = saturate(left), y = saturate(top);
    drawTextAt(toDevice(x, y), l.text, TA_LEFT | TA_TOP);
    if (l.underlined >= 0) {
      std::size_t end = std::size_t(l.underlined) + 1;
      while (end < l.text.size() && (static_cast<unsigned char>(l.text[end]) & 0xC0) == 0x80)
        ++end;
      const int ux = saturate(std::int64_t(x) + width(l.text.substr(0, std::size_t(l.underlined))));
      const int uw = width(l.text.substr(std::size_t(l.underlined), end - std::size_t(l.underlined)));
      const int uy = saturate(std::int64_t(y) + tm.tmAscent + 1);
      const DPoint a = toDevice(ux, uy),
                   b = toDevice(saturate(std::int64_t(ux) + uw), saturate(std::int64_t(uy) + 1));
      deviceFill({std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)},
                 toColor32(textColor_));
    }
    top += lineHeight;
  }
  clip_ = savedClip;
  return total;
}

int DeviceContextBase::GetDeviceCaps(int index) const {
  const IRect b = deviceBounds();
  DeviceCaps c = caps_;
  c.widthPx = int(b.right - b.left);
  c.heightPx = int(b.bottom - b.top);
  switch (index) {
  case TECHNOLOGY:
    return c.technology;
  case HORZSIZE:
    return c.horzSizeMm();
  case VERTSIZE:
    return c.vertSizeMm();
  case HORZRES:
    return c.widthPx;
  case VERTRES:
    return c.heightPx;
  case BITSPIXEL:
    return 32;
  case PLANES:
    return 1;
  case NUMCOLORS:
    return -1;
  case LOGPIXELSX:
    return c.dpiX;
  case LOGPIXELSY:
    return c.dpiY;
  case PHYSICALWIDTH:
    return c.physicalWidthPx ? c.physicalWidthPx : c.widthPx;
  case PHYSICALHEIGHT:
    return c.physicalHeightPx ? c.physicalHeightPx : c.heightPx;
  case PHYSICALOFFSETX:
    return c.offsetXPx;
  case PHYSICALOFFSETY:
    return c.offsetYPx;
  default:
    return 0;
  }
}

void Frame3D(DeviceContext& dc, TRect& rect, TColor topColor, TColor bottomColor, int width) {
  const HBRUSH top = CreateSolidBrush(topColor), bottom = CreateSolidBrush(bottomColor);
  for (int k = 0; k < width; ++k) {
    const int l = rect.Left, t = rect.Top, r = rect.Right - 1, b = rect.Bottom - 1;
    if (r >= l && b >= t) {
      dc.FillRect({l, t, r, t + 1}, top);        // top row, up to the top-right corner
      dc.FillRect({l, t, l + 1, b}, top);        // left column, down to the bottom-left corner
      dc.FillRect({r, t, r + 1, b + 1}, bottom); // right column with both right corners
      dc.FillRect({l, b, r, b + 1}, bottom);     // bottom row with the bottom-left corner
    }
    rect = {rect.Left + 1, rect.Top + 1, rect.Right - 1, rect.Bottom - 1};
  }
  DeleteObject(top);
  DeleteObject(bottom);
}

// Handle-taking forms.
namespace {
template <class R, class F> R withDc(HDC dc, R failure, F&& f) {
  DeviceContext* c = DeviceContext::fromHandle(dc);
  return c ? f(*c) : failure;
}
std::string_view textOf(const char* text, int length) {
  if (!text) return {};
  return length < 0 ? std::string_view(text) : std::string_view(text, std::size_t(length));
}
} // namespace

HGDIOBJ SelectObject(HDC dc, HGDIOBJ o) {
  return withDc(dc, HGDIOBJ(0), [&](DeviceContext& c) { return c.SelectObject(o); });
}
HGDIOBJ GetCurrentObject(HDC dc, int t) {
  return withDc(dc, HGDIOBJ(0), [&](DeviceContext& c) { return c.GetCurrentObject(t); });
}
int SetBkMode(HDC dc, int m) {
  return withDc(dc, 0, [&](DeviceContext& c) { return c.SetBkMode(m); });
}
TColor SetBkColor(HDC dc, TColor v) {
  return withDc(dc, CLR_INVALID, [&](DeviceContext& c) { return c.SetBkColor(v); });
}
TColor SetTextColor(HDC dc, TColor v) {
  return withDc(dc, CLR_INVALID, [&](DeviceContext& c) { return c.SetTextColor(v); });
}
unsigned SetTextAlign(HDC dc, unsigned a) {
  return withDc(dc, 0xFFFFFFFFu, [&](DeviceContext& c) { return c.SetTextAlign(a); });
}
unsigned GetTextAlign(HDC dc) {
  return withDc(dc, 0xFFFFFFFFu, [&](DeviceContext& c) { return c.GetTextAlign(); });
}
int SetMapMode(HDC dc, int m) {
  return withDc(dc, 0, [&](DeviceContext& c) { return c.SetMapMode(m); });
}
bool SetWindowOrgEx(HDC dc, int x, int y, TPoint* old) {
  return withDc(dc, false, [&](DeviceContext& c) { return c.SetWindowOrgEx(x, y, old); });
}
bool GetWindowOrgEx(HDC dc, TPoint* o) {
  return withDc(dc, false, [&](DeviceContext& c) { return c.GetWindowOrgEx(o); });
}
int SelectClipRgn(HDC dc, HRGN r) {
  return withDc(dc, RGN_ERROR, [&](DeviceContext& c) { return c.SelectClipRgn(r); });
}
int ExcludeClipRect(HDC dc, int l, int t, int r, int b) {
  return withDc(dc, RGN_ERROR, [&](DeviceContext& c) { return c.ExcludeClipRect(l, t, r, b); });
}
int IntersectClipRect(HDC dc, int l, int t, int r, int b) {
  return withDc(dc, RGN_ERROR, [&](DeviceContext& c) { return c.IntersectClipRect(l, t, r, b); });
}
bool MoveToEx(HDC dc, int x, int y, TPoint* old) {
  return withDc(dc, false, [&](DeviceContext& c) { return c.MoveToEx(x, y, old); });
}
bool LineTo(HDC dc, int x, int y) {
  return withDc(dc, false, [&](DeviceContext& c) { return c.LineTo(x, y); });
}
bool Polyline(HDC dc, const TPoint* p, int n) {
  return withDc(dc, false, [&](DeviceContext& c) { return c.Polyline(p, n); });
}
bool Rectangle(HDC dc, int l, int t, int r, int b) {
  return withDc(dc, false, [&](DeviceContext& c) { return c.Rectangle(l, t, r, b); });
}
bool Ellipse(HDC dc, int l, int t, int r, int b) {
  return withDc(dc, false, [&](DeviceContext& c) { return c.Ellipse(l, t, r, b); });
}
int FillRect(HDC dc, const TRect* r, HBRUSH b) {
  return withDc(dc, 0, [&](DeviceContext& c) { return r && c.FillRect(*r, b) ? 1 : 0; });
}
TColor SetPixel(HDC dc, int x, int y, TColor v) {
  return withDc(dc, CLR_INVALID, [&](DeviceContext& c) { return c.SetPixel(x, y, v); });
}
TColor GetPixel(HDC dc, int x, int y) {
  return withDc(dc, CLR_INVALID, [&](DeviceContext& c) { return c.GetPixel(x, y); });
}
bool TextOutA(HDC dc, int x, int y, const char* text, int length) {
  return withDc(dc, false, [&](DeviceContext& c) { return c.TextOut(x, y, textOf(text, length)); });
}
bool GetTextExtentPointA(HDC dc, const char* text, int length, TSize* size) {
  return withDc(dc, false,
                [&](DeviceContext& c) { return c.GetTextExtentPoint(textOf(text, length), size); });
}
bool GetTextMetricsA(HDC dc, TEXTMETRIC* m) {
  return withDc(dc, false, [&](DeviceContext& c) { return c.GetTextMetrics(m); });
}
int DrawTextA(HDC dc, const char* text, int length, TRect* rect, unsigned flags) {
  return withDc(dc, 0, [&](DeviceContext& c) { return c.DrawText(textOf(text, length), rect, flags); });
}
int GetDeviceCaps(HDC dc, int index) {
  return withDc(dc, 0, [&](DeviceContext& c) { return c.GetDeviceCaps(index); });
}

} // namespace kv::platform
