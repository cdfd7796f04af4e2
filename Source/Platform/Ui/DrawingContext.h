// The small drawing interface that the class library's canvas draws through. The drawing
// layer's device contexts (raster, Cairo) implement it; tests use the recording one, which
// writes every call as a line of text.
#pragma once

#include "Platform/Ui/UiTypes.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum class TBrushStyle {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};

struct PenInfo {
  TColor color = clBlack;
  int width = 1;
  TPenStyle style = TPenStyle::psSolid;
  bool operator==(const PenInfo&) const = default;
};
struct BrushInfo {
  TColor color = clWhite;
  TBrushStyle style = TBrushStyle::bsSolid;
  bool operator==(const BrushInfo&) const = default;
};
struct FontInfo {
  std::string name = "MS Sans Serif";
  int height = -11; // negative: character height in pixels; positive: cell height
  bool bold = false, italic = false, underline = false, strikeOut = false;
  TColor color = clWindowText;
  int escapement = 0; // tenths of a degree, counter-clockwise
  int charset = 1;
  int pitch = 0;
  bool operator==(const FontInfo&) const = default;
};

// The drawing layer's record of a font description (its height taken as it is).
LOGFONTA logFontOf(const FontInfo& font);

// Coordinates are logical: the window origin is subtracted, the device origin (set by the
// window system for a window's client area) added, and output is clipped to the clip rectangle
// (device coordinates) when one is set.
class DrawingContext {
public:
  virtual ~DrawingContext() = default;

  virtual void setPen(const PenInfo& pen) = 0;
  virtual void setBrush(const BrushInfo& brush) = 0;
  virtual void setFont(const FontInfo& font) = 0;
  virtual void setTextColor(TColor color) = 0;
  virtual void setBkColor(TColor color) = 0;
  virtual void setBkMode(int mode) = 0;          // TRANSPARENT, OPAQUE
  virtual void setTextAlign(unsigned align) = 0; // TA_*
  virtual unsigned textAlign() const = 0;
  // Returns the previous origin.
  virtual TPoint setWindowOrg(TPoint origin) = 0;
  virtual TPoint windowOrg() const = 0;

  virtual void moveTo(int x, int y) = 0;
  virtual void lineTo(int x, int y) = 0;
  virtual void polyline(const std::vector<TPoint>& points) = 0;
  virtual void rectangle(const TRect& r) = 0; // outline with the pen, inside with the brush
  virtual void ellipse(const TRect& r) = 0;
  virtual void fillRect(const TRect& r, const BrushInfo& brush) = 0;
  virtual void frameRect(const TRect& r, const BrushInfo& brush) = 0;
  virtual void setPixel(int x, int y, TColor color) = 0;
  virtual TColor getPixel(int x, int y) = 0;
  virtual void textOut(int x, int y, const std::string& text) = 0;
  virtual void textRect(const TRect& clip, int x, int y, const std::string& text) = 0;
  virtual TSize textExtent(const std::string& text) = 0;
  // Copies (and stretches) Src of Source onto Dest of this context.
  virtual void copyRect(const TRect& dest, DrawingContext& source, const TRect& src) = 0;

  // The device's vertical resolution (LOGPIXELSY), which font heights are measured in.
  virtual int pixelsPerInch() const { return 96; }
  // The device context this one draws through, for calls that take a device-context handle
  // (a rich edit's range formatting onto a preview page or a printer canvas); they draw with
  // this context's origin and clip. 0 where no device context lies underneath.
  virtual HDC deviceHandle() const { return 0; }

  // Set by the window system for the paint of one window.
  virtual void setDeviceOrigin(TPoint origin) = 0;
  virtual void setClipRect(std::optional<TRect> clip) = 0;
  // What the two calls above last set: code that narrows the clip for a while (a page inside a
  // paint) puts the window system's clip back with these.
  virtual TPoint deviceOrigin() const { return TPoint{0, 0}; }
  virtual std::optional<TRect> clipRect() const { return std::nullopt; }
};

// The pixels of one window (its whole window rectangle, frame included).
class WindowSurface {
public:
  virtual ~WindowSurface() = default;
  virtual void resize(int width, int height) = 0;
  virtual TSize size() const = 0;
  // Moves the pixels of Area (surface coordinates) by (dx, dy), keeping them inside Clip.
  virtual void scroll(const TRect& area, const TRect& clip, int dx, int dy) = 0;
  virtual std::unique_ptr<DrawingContext> createContext() = 0;
};

using SurfaceFactory = std::unique_ptr<WindowSurface> (*)(int width, int height);

// ---- the recording implementation

// Every call as one line, for example "fillRect 0,0,10,10 brush=$00FFFFFF solid" or
// "textOut 4,2 'Hello'". Coordinates are recorded as given (logical); state changes that do not
// draw are recorded too ("setWindowOrg 48,0"). Text extents: 7 pixels per character wide and
// 13 high for the default font; for a font of height h, |h| high and (|h| + 1) / 2 per character.
class RecordingContext : public DrawingContext {
public:
  explicit RecordingContext(std::shared_ptr<std::vector<std::string>> log) : log_(std::move(log)) {}

  void setPen(const PenInfo& pen) override;
  void setBrush(const BrushInfo& brush) override;
  void setFont(const FontInfo& font) override;
  void setTextColor(TColor color) override;
  void setBkColor(TColor color) override;
  void setBkMode(int mode) override;
  void setTextAlign(unsigned align) override;
  unsigned textAlign() const override { return align_; }
  TPoint setWindowOrg(TPoint origin) override;
  TPoint windowOrg() const override { return origin_; }
  void moveTo(int x, int y) override;
  void lineTo(int x, int y) override;
  void polyline(const std::vector<TPoint>& points) override;
  void rectangle(const TRect& r) override;
  void ellipse(const TRect& r) override;
  void fillRect(const TRect& r, const BrushInfo& brush) override;
  void frameRect(const TRect& r, const BrushInfo& brush) override;
  void setPixel(int x, int y, TColor color) override;
  TColor getPixel(int x, int y) override;
  void textOut(int x, int y, const std::string& text) override;
  void textRect(const TRect& clip, int x, int y, const std::string& text) override;
  TSize textExtent(const std::string& text) override;
  void copyRect(const TRect& dest, DrawingContext& source, const TRect& src) override;
  void setDeviceOrigin(TPoint origin) override;
  void setClipRect(std::optional<TRect> clip) override;
  TPoint deviceOrigin() const override { return deviceOrg_; }
  std::optional<TRect> clipRect() const override { return clip_; }

  const PenInfo& pen() const { return pen_; }
  const BrushInfo& brush() const { return brush_; }
  const FontInfo& font() const { return font_; }

private:
  void record(std::string line);
  std::shared_ptr<std::vector<std::string>> log_;
  PenInfo pen_;
  BrushInfo brush_;
  FontInfo font_;
  TPoint origin_;
  TPoint deviceOrg_;
  std::optional<TRect> clip_;
  unsigned align_ = 0;
};

// A surface that records: the drawing of every context made on it, and each pixel move as
// "scroll l,t,r,b by dx,dy".
class RecordingSurface : public WindowSurface {
public:
  RecordingSurface(int width, int height) : size_{width, height} {}
  void resize(int width, int height) override { size_ = TSize{width, height}; }
  TSize size() const override { return size_; }
  void scroll(const TRect& area, const TRect& clip, int dx, int dy) override;
  std::unique_ptr<DrawingContext> createContext() override {
    return std::make_unique<RecordingContext>(log_);
  }
  const std::vector<std::string>& log() const { return *log_; }
  void clearLog() { log_->clear(); }

  static std::unique_ptr<WindowSurface> make(int width, int height) {
    return std::make_unique<RecordingSurface>(width, height);
  }

private:
  TSize size_;
  std::shared_ptr<std::vector<std::string>> log_ = std::make_shared<std::vector<std::string>>();
};

std::string rectText(const TRect& r);
std::string colorText(TColor c);

} // namespace kv::platform
