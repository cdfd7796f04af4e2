// Windows with real pixels: a window surface on the drawing layer's raster, and the class
// library's drawing interface carried out by a device context of the drawing layer.
#pragma once

#include "Platform/Graphics/DeviceContext.h"
#include "Platform/Ui/DrawingContext.h"
#include "Platform/Ui/WinApi.h"

#include <memory>
#include <optional>

namespace kv::platform {

// Carries the canvas's calls out on a device context. The window system's device origin
// (where the client area lies on the surface) is folded into the context's window origin.
class DeviceDrawingContext : public DrawingContext {
public:
  explicit DeviceDrawingContext(std::unique_ptr<DeviceContext> dc);
  // Draws on a context that someone else owns (the printer's), which must outlive this one.
  explicit DeviceDrawingContext(DeviceContext& dc);
  ~DeviceDrawingContext() override;

  void setPen(const PenInfo& pen) override;
  void setBrush(const BrushInfo& brush) override;
  void setFont(const FontInfo& font) override;
  void setTextColor(TColor color) override { dc_->SetTextColor(color); }
  void setBkColor(TColor color) override { dc_->SetBkColor(color); }
  void setBkMode(int mode) override { dc_->SetBkMode(mode); }
  void setTextAlign(unsigned align) override { dc_->SetTextAlign(align); }
  unsigned textAlign() const override { return dc_->GetTextAlign(); }
  TPoint setWindowOrg(TPoint origin) override;
  TPoint windowOrg() const override { return windowOrg_; }

  void moveTo(int x, int y) override { dc_->MoveToEx(x, y, nullptr); }
  void lineTo(int x, int y) override { dc_->LineTo(x, y); }
  void polyline(const std::vector<TPoint>& points) override;
  void rectangle(const TRect& r) override { dc_->Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void ellipse(const TRect& r) override { dc_->Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  void fillRect(const TRect& r, const BrushInfo& brush) override;
  void frameRect(const TRect& r, const BrushInfo& brush) override;
  void setPixel(int x, int y, TColor color) override { dc_->SetPixel(x, y, color); }
  TColor getPixel(int x, int y) override { return dc_->GetPixel(x, y); }
  void textOut(int x, int y, const std::string& text) override { dc_->TextOut(x, y, text); }
  void textRect(const TRect& clip, int x, int y, const std::string& text) override;
  TSize textExtent(const std::string& text) override;
  int pixelsPerInch() const override { return dc_->GetDeviceCaps(LOGPIXELSY); }
  HDC deviceHandle() const override { return dc_->Handle(); }
  void copyRect(const TRect& dest, DrawingContext& source, const TRect& src) override;

  void setDeviceOrigin(TPoint origin) override;
  void setClipRect(std::optional<TRect> clip) override;
  TPoint deviceOrigin() const override { return deviceOrg_; }
  std::optional<TRect> clipRect() const override { return clip_; }

  DeviceContext& device() { return *dc_; }
  // Logical point of this context to device pixels.
  TPoint toDevice(TPoint p) const;

private:
  void applyOrigin();
  void applyClip(const std::optional<TRect>& clip);

  std::unique_ptr<DeviceContext> owned_;
  DeviceContext* dc_;
  TPoint windowOrg_{0, 0};
  TPoint deviceOrg_{0, 0};
  std::optional<TRect> clip_; // device pixels
};

// The pixels of one window, held in a raster; contexts draw on it through RasterDC.
class RasterSurface : public WindowSurface {
public:
  RasterSurface(int width, int height);
  void resize(int width, int height) override;
  TSize size() const override { return TSize{raster_.width(), raster_.height()}; }
  void scroll(const TRect& area, const TRect& clip, int dx, int dy) override;
  std::unique_ptr<DrawingContext> createContext() override;

  Raster& raster() { return raster_; }
  const Raster& raster() const { return raster_; }

  static std::unique_ptr<WindowSurface> make(int width, int height) {
    return std::make_unique<RasterSurface>(width, height);
  }

private:
  Raster raster_;
};

// The raster of a window whose surface is a RasterSurface, else nullptr.
const Raster* WindowRaster(HWND Wnd);

} // namespace kv::platform
