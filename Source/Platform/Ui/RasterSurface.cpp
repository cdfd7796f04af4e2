#include "Platform/Ui/RasterSurface.h"

#include "Platform/Ui/WinApi.h"

#include <algorithm>
#include <cstring>

namespace kv::platform {

namespace {

int penStyle(TPenStyle style) {
  switch (style) {
  case TPenStyle::psSolid: return PS_SOLID;
  case TPenStyle::psDash: return PS_DASH;
  case TPenStyle::psDot: return PS_DOT;
  case TPenStyle::psDashDot: return PS_DASHDOT;
  case TPenStyle::psDashDotDot: return PS_DASHDOTDOT;
  case TPenStyle::psClear: return PS_NULL;
  case TPenStyle::psInsideFrame: return PS_INSIDEFRAME;
  }
  return PS_SOLID;
}

// A GDI brush for the canvas's brush; hatched brushes are drawn solid by the drawing layer.
HBRUSH makeBrush(const BrushInfo& brush) {
  if (brush.style == TBrushStyle::bsClear) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  return CreateSolidBrush(brush.color);
}

// Selects a new object and deletes the one this context had selected before; the device
// context keeps its own copy of what is selected, so the handle can go at once.
void selectAndDrop(DeviceContext& dc, HGDIOBJ object) {
  if (HGDIOBJ old = dc.SelectObject(object)) DeleteObject(old);
  DeleteObject(object);
}

}  // namespace

DeviceDrawingContext::DeviceDrawingContext(std::unique_ptr<DeviceContext> dc)
    : owned_(std::move(dc)), dc_(owned_.get()) {}

DeviceDrawingContext::DeviceDrawingContext(DeviceContext& dc) : dc_(&dc) {}

DeviceDrawingContext::~DeviceDrawingContext() = default;

void DeviceDrawingContext::setPen(const PenInfo& pen) {
  selectAndDrop(*dc_, CreatePen(penStyle(pen.style), pen.width, pen.color));
}

void DeviceDrawingContext::setBrush(const BrushInfo& brush) { selectAndDrop(*dc_, makeBrush(brush)); }

void DeviceDrawingContext::setFont(const FontInfo& font) {
  selectAndDrop(*dc_, CreateFontIndirectA(logFontOf(font)));
  dc_->SetTextColor(font.color);
}

TPoint DeviceDrawingContext::setWindowOrg(TPoint origin) {
  const TPoint old = windowOrg_;
  windowOrg_ = origin;
  applyOrigin();
  return old;
}

void DeviceDrawingContext::setDeviceOrigin(TPoint origin) {
  deviceOrg_ = origin;
  applyOrigin();
}

void DeviceDrawingContext::applyOrigin() {
  dc_->SetWindowOrgEx(windowOrg_.X - deviceOrg_.X, windowOrg_.Y - deviceOrg_.Y, nullptr);
}

TPoint DeviceDrawingContext::toDevice(TPoint p) const {
  return TPoint{p.X - windowOrg_.X + deviceOrg_.X, p.Y - windowOrg_.Y + deviceOrg_.Y};
}

void DeviceDrawingContext::setClipRect(std::optional<TRect> clip) {
  clip_ = clip;
  applyClip(clip_);
}

void DeviceDrawingContext::applyClip(const std::optional<TRect>& clip) {
  if (!clip) {
    dc_->SelectClipRgn(0);
    return;
  }
  const HRGN region = CreateRectRgn(clip->Left, clip->Top, clip->Right, clip->Bottom);
  dc_->SelectClipRgn(region);
  DeleteObject(region);
}

void DeviceDrawingContext::polyline(const std::vector<TPoint>& points) {
  if (!points.empty()) dc_->Polyline(points.data(), static_cast<int>(points.size()));
}

void DeviceDrawingContext::fillRect(const TRect& r, const BrushInfo& brush) {
  if (brush.style == TBrushStyle::bsClear) return;
  const HBRUSH b = makeBrush(brush);
  dc_->FillRect(r, b);
  DeleteObject(b);
}

void DeviceDrawingContext::frameRect(const TRect& r, const BrushInfo& brush) {
  if (brush.style == TBrushStyle::bsClear || r.Right <= r.Left || r.Bottom <= r.Top) return;
  const HBRUSH b = makeBrush(brush);
  dc_->FillRect(TRect{r.Left, r.Top, r.Right, r.Top + 1}, b);
  dc_->FillRect(TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom}, b);
  dc_->FillRect(TRect{r.Left, r.Top, r.Left + 1, r.Bottom}, b);
  dc_->FillRect(TRect{r.Right - 1, r.Top, r.Right, r.Bottom}, b);
  DeleteObject(b);
}

void DeviceDrawingContext::textRect(const TRect& clip, int x, int y, const std::string& text) {
  // The text is clipped to the rectangle as well as to what the context already clips to.
  const TPoint a = toDevice(TPoint{clip.Left, clip.Top});
  const TPoint b = toDevice(TPoint{clip.Right, clip.Bottom});
  TRect inner{a.X, a.Y, b.X, b.Y};
  if (clip_) {
    inner.Left = std::max(inner.Left, clip_->Left);
    inner.Top = std::max(inner.Top, clip_->Top);
    inner.Right = std::min(inner.Right, clip_->Right);
    inner.Bottom = std::min(inner.Bottom, clip_->Bottom);
  }
  if (inner.Right <= inner.Left || inner.Bottom <= inner.Top) return;
  applyClip(inner);
  dc_->TextOut(x, y, text);
  applyClip(clip_);
}

TSize DeviceDrawingContext::textExtent(const std::string& text) {
  TSize size{0, 0};
  dc_->GetTextExtentPoint(text, &size);
  return size;
}

void DeviceDrawingContext::copyRect(const TRect& dest, DrawingContext& source, const TRect& src) {
  auto* from = dynamic_cast<DeviceDrawingContext*>(&source);
  if (!from) return;
  const Raster* pixels = from->dc_->raster();
  if (!pixels) return;
  const TPoint s = from->toDevice(TPoint{src.Left, src.Top});
  dc_->StretchBlt(dest.Left, dest.Top, dest.Right - dest.Left, dest.Bottom - dest.Top, *pixels, s.X, s.Y,
                  src.Right - src.Left, src.Bottom - src.Top);
}

// ---- RasterSurface

RasterSurface::RasterSurface(int width, int height)
    : raster_(std::max(width, 0), std::max(height, 0), toColor32(clBtnFace)) {}

void RasterSurface::resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == raster_.width() && height == raster_.height()) return;
  // Keep what was drawn where the old and new sizes overlap; the window system repaints the rest.
  Raster bigger(width, height, toColor32(clBtnFace));
  const int w = std::min(width, raster_.width()), h = std::min(height, raster_.height());
  for (int y = 0; y < h; ++y) std::memcpy(bigger.row(y), raster_.row(y), size_t(w) * sizeof(TColor32));
  raster_ = std::move(bigger);
}

void RasterSurface::scroll(const TRect& area, const TRect& clip, int dx, int dy) {
  // Every pixel of Area moves by (dx, dy); only destinations inside Clip (and the surface) change.
  const IRect bounds = raster_.bounds();
  const IRect from = IRect{area.Left, area.Top, area.Right, area.Bottom}.intersect(bounds);
  const IRect limit = IRect{clip.Left, clip.Top, clip.Right, clip.Bottom}.intersect(bounds);
  const IRect to = IRect{from.left + dx, from.top + dy, from.right + dx, from.bottom + dy}.intersect(limit);
  if (to.empty()) return;
  const Raster copy = raster_;
  for (std::int64_t y = to.top; y < to.bottom; ++y)
    for (std::int64_t x = to.left; x < to.right; ++x) raster_.row(int(y))[x] = copy.pixel(x - dx, y - dy);
}

std::unique_ptr<DrawingContext> RasterSurface::createContext() {
  return std::make_unique<DeviceDrawingContext>(std::make_unique<RasterDC>(raster_));
}

const Raster* WindowRaster(HWND Wnd) {
  auto* surface = dynamic_cast<RasterSurface*>(GetWindowSurface(Wnd));
  return surface ? &surface->raster() : nullptr;
}

}  // namespace kv::platform
