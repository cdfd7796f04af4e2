// The device context: a GDI-like drawing interface with several backends (our raster, Cairo
// for printing, a recorder for tests). Callers draw in logical units; the window origin and the
// mapping mode turn them into device pixels, and the clip region (held in device pixels, as
// GDI does) limits every operation. Backends share the state handling of DeviceContextBase
// and only put pixels, paths and glyphs onto their device.
//
// GDI's pixel rules that callers rely on:
// - LineTo leaves out its end pixel; the pen's pattern (dash 18 on / 6 off, dot 3 / 3, dash-dot
//   9/6/3/6, dash-dot-dot 9/3/3/3/3/3 pixels) runs on across consecutive LineTo calls and
//   restarts at MoveToEx; the gaps take the background colour in OPAQUE mode.
// - Rectangle(l, t, r, b) with a pen of width 1 puts the outline on columns l and r-1 and rows
//   t and b-1 and fills the inside with the brush; with the null pen it fills only
//   [l, r-1) x [t, b-1), one pixel less on the right and at the bottom.
// - FillRect fills [l, r) x [t, b) with a brush and never uses the pen.
// - Ellipse(l, t, r, b) fills the pixels whose centres lie inside the ellipse inscribed in the
//   box and outlines them with the pen (outline = inside the box's ellipse, not inside the
//   ellipse shrunk by the pen width); with the null pen the box loses a pixel right and bottom.
// - Text is placed by its alignment: TA_LEFT/TA_CENTER/TA_RIGHT along the baseline direction
//   (centre: x - width / 2), TA_TOP/TA_BASELINE/TA_BOTTOM across it; escapement (tenths of a
//   degree, counter-clockwise) turns the text about its reference point, 900 running upward.
#pragma once

#include "Platform/Graphics/Fonts.h"
#include "Platform/Graphics/GdiObjects.h"
#include "Platform/Graphics/Raster.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::platform {

// Background modes, text alignment, mapping modes, region results, device capabilities.
constexpr int TRANSPARENT = 1, OPAQUE = 2;
constexpr unsigned TA_NOUPDATECP = 0, TA_UPDATECP = 1, TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0,
                   TA_BOTTOM = 8, TA_BASELINE = 24;
constexpr int MM_TEXT = 1, MM_LOMETRIC = 2, MM_HIMETRIC = 3, MM_LOENGLISH = 4, MM_HIENGLISH = 5, MM_TWIPS = 6;
constexpr int RGN_ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2, COMPLEXREGION = 3;
constexpr int TECHNOLOGY = 2, HORZSIZE = 4, VERTSIZE = 6, HORZRES = 8, VERTRES = 10, BITSPIXEL = 12,
              PLANES = 14, NUMCOLORS = 24, LOGPIXELSX = 88, LOGPIXELSY = 90, PHYSICALWIDTH = 110,
              PHYSICALHEIGHT = 111, PHYSICALOFFSETX = 112, PHYSICALOFFSETY = 113;
constexpr int DT_PLOTTER = 0, DT_RASDISPLAY = 1, DT_RASPRINTER = 2;
constexpr TColor CLR_INVALID = TColor(0xFFFFFFFF);
// DrawText flags.
constexpr unsigned DT_TOP = 0, DT_LEFT = 0, DT_CENTER = 1, DT_RIGHT = 2, DT_VCENTER = 4, DT_BOTTOM = 8,
                   DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40, DT_NOCLIP = 0x100,
                   DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800, DT_RTLREADING = 0x20000;

struct TEXTMETRIC {
  int tmHeight = 0, tmAscent = 0, tmDescent = 0, tmInternalLeading = 0, tmExternalLeading = 0,
      tmAveCharWidth = 0, tmMaxCharWidth = 0, tmWeight = 0;
};

// What a device is: its size in pixels and its resolution.
struct DeviceCaps {
  int technology = DT_RASDISPLAY;
  int widthPx = 0, heightPx = 0; // the drawable (printable) area
  int dpiX = 96, dpiY = 96;
  int physicalWidthPx = 0, physicalHeightPx = 0, offsetXPx = 0, offsetYPx = 0; // paper and margins
  int horzSizeMm() const;
  int vertSizeMm() const;
};

class DeviceContext {
public:
  DeviceContext();
  virtual ~DeviceContext();
  DeviceContext(const DeviceContext&) = delete;
  DeviceContext& operator=(const DeviceContext&) = delete;

  // The handle that the handle-taking functions below accept; valid while the object lives.
  HDC Handle() const { return handle_; }
  static DeviceContext* fromHandle(HDC dc);

  // Pens, brushes and fonts: returns the previous object of that kind, 0 for an unknown handle
  // (nothing changes then). A region handle selects the clip region and returns its result.
  virtual HGDIOBJ SelectObject(HGDIOBJ object) = 0;
  virtual HGDIOBJ GetCurrentObject(int objectType) const = 0;
  virtual LOGPEN currentPen() const = 0;
  virtual LOGBRUSH currentBrush() const = 0;
  virtual LOGFONTA currentFont() const = 0;

  virtual int SetBkMode(int mode) = 0;
  virtual int GetBkMode() const = 0;
  virtual TColor SetBkColor(TColor color) = 0;
  virtual TColor GetBkColor() const = 0;
  virtual TColor SetTextColor(TColor color) = 0;
  virtual TColor GetTextColor() const = 0;
  virtual unsigned SetTextAlign(unsigned align) = 0;
  virtual unsigned GetTextAlign() const = 0;
  virtual int SetMapMode(int mode) = 0; // previous mode, 0 for a mode not offered
  virtual int GetMapMode() const = 0;
  virtual bool SetWindowOrgEx(int x, int y, TPoint* old) = 0;
  virtual bool GetWindowOrgEx(TPoint* origin) const = 0;

  // Clip regions are in device pixels; ExcludeClipRect and IntersectClipRect take logical units.
  virtual int SelectClipRgn(HRGN region) = 0;
  virtual int ExcludeClipRect(int left, int top, int right, int bottom) = 0;
  virtual int IntersectClipRect(int left, int top, int right, int bottom) = 0;
  virtual int GetClipBox(TRect* box) const = 0; // logical units

  virtual bool MoveToEx(int x, int y, TPoint* old) = 0;
  virtual bool LineTo(int x, int y) = 0;
  virtual bool Polyline(const TPoint* points, int count) = 0;
  virtual bool Rectangle(int left, int top, int right, int bottom) = 0;
  virtual bool Ellipse(int left, int top, int right, int bottom) = 0;
  virtual bool FillRect(const TRect& rect, HBRUSH brush) = 0;
  virtual TColor SetPixel(int x, int y, TColor color) = 0;
  virtual TColor GetPixel(int x, int y) const = 0; // CLR_INVALID outside or where unreadable
  // Copies the source rectangle of a raster onto the destination rectangle, stretching by
  // nearest pixel where the sizes differ.
  virtual bool StretchBlt(int x, int y, int width, int height, const Raster& source, int srcX, int srcY,
                          int srcWidth, int srcHeight) = 0;

  virtual bool TextOut(int x, int y, std::string_view text) = 0;
  virtual bool GetTextExtentPoint(std::string_view text, TSize* size) const = 0;
  virtual bool GetTextMetrics(TEXTMETRIC* metrics) const = 0;
  // Text in a rectangle by the DT_ flags; returns the height of the text (logical units).
  virtual int DrawText(std::string_view text, TRect* rect, unsigned flags) = 0;

  virtual int GetDeviceCaps(int index) const = 0;

  // The raster behind the context, when it has one (screen and bitmap contexts).
  virtual Raster* raster() { return nullptr; }

private:
  HDC handle_ = 0;
};

// State and GDI rules shared by the backends; a backend draws device-pixel primitives.
class DeviceContextBase : public DeviceContext {
public:
  explicit DeviceContextBase(DeviceCaps caps);

  HGDIOBJ SelectObject(HGDIOBJ object) override;
  HGDIOBJ GetCurrentObject(int objectType) const override;
  LOGPEN currentPen() const override { return pen_; }
  LOGBRUSH currentBrush() const override { return brush_; }
  LOGFONTA currentFont() const override { return font_; }
  int SetBkMode(int mode) override;
  int GetBkMode() const override { return bkMode_; }
  TColor SetBkColor(TColor color) override;
  TColor GetBkColor() const override { return bkColor_; }
  TColor SetTextColor(TColor color) override;
  TColor GetTextColor() const override { return textColor_; }
  unsigned SetTextAlign(unsigned align) override;
  unsigned GetTextAlign() const override { return textAlign_; }
  int SetMapMode(int mode) override;
  int GetMapMode() const override { return mapMode_; }
  bool SetWindowOrgEx(int x, int y, TPoint* old) override;
  bool GetWindowOrgEx(TPoint* origin) const override;
  int SelectClipRgn(HRGN region) override;
  int ExcludeClipRect(int left, int top, int right, int bottom) override;
  int IntersectClipRect(int left, int top, int right, int bottom) override;
  int GetClipBox(TRect* box) const override;
  bool MoveToEx(int x, int y, TPoint* old) override;
  bool LineTo(int x, int y) override;
  bool Polyline(const TPoint* points, int count) override;
  bool Rectangle(int left, int top, int right, int bottom) override;
  bool Ellipse(int left, int top, int right, int bottom) override;
  bool FillRect(const TRect& rect, HBRUSH brush) override;
  TColor SetPixel(int x, int y, TColor color) override;
  TColor GetPixel(int x, int y) const override;
  bool StretchBlt(int x, int y, int width, int height, const Raster& source, int srcX, int srcY, int srcWidth,
                  int srcHeight) override;
  bool TextOut(int x, int y, std::string_view text) override;
  bool GetTextExtentPoint(std::string_view text, TSize* size) const override;
  bool GetTextMetrics(TEXTMETRIC* metrics) const override;
  int DrawText(std::string_view text, TRect* rect, unsigned flags) override;
  int GetDeviceCaps(int index) const override;

  const DeviceCaps& caps() const { return caps_; }

protected:
  struct DPoint {
    std::int64_t x = 0, y = 0;
  };
  // A text run ready for a backend: reference point in device pixels, the cell's top left
  // corner relative to it in text space (before turning), the turn, colours and font.
  struct TextRun {
    std::int64_t refX = 0, refY = 0;
    int u0 = 0, v0 = 0;
    int escapement = 0; // tenths of a degree, 0..3599
    int width = 0;
    std::string_view text;
    std::shared_ptr<const ResolvedFont> font;
    bool opaque = false;
    TColor32 color = 0, background = 0;
  };

  // Device primitives, all in device pixels, clipped by the backend to clipRects().
  virtual void deviceSegment(DPoint a, DPoint b, std::int64_t patternStart) = 0; // end pixel excluded
  virtual void deviceFill(const IRect& r, TColor32 color) = 0;
  // Outer minus inner, as four fills.
  void deviceFrame(const IRect& outer, const IRect& inner, TColor32 color);
  virtual void deviceEllipse(const IRect& box, int penWidth, bool pen, bool brush) = 0;
  virtual void deviceText(const TextRun& run) = 0;
  virtual void deviceSetPixel(std::int64_t x, std::int64_t y, TColor32 color) = 0;
  virtual TColor32 deviceGetPixel(std::int64_t, std::int64_t) const { return 0; }
  virtual bool deviceReadable() const { return false; }
  virtual void deviceStretch(const IRect& dst, const Raster& src, const IRect& srcRect) = 0;

  // The clip as disjoint device rectangles, already cut to the device.
  std::vector<IRect> clipRects() const;
  virtual IRect deviceBounds() const { return {0, 0, caps_.widthPx, caps_.heightPx}; }
  TColor32 penColor() const { return toColor32(pen_.lopnColor); }
  TColor32 brushColor() const { return toColor32(brush_.lbColor); }
  bool penVisible() const { return (pen_.lopnStyle & 0x0F) != PS_NULL; }
  bool brushVisible() const { return brush_.lbStyle != BS_NULL; }
  int devicePenWidth() const;
  // The dash pattern of the current pen in pixels (empty for solid), on/off alternating.
  std::vector<int> penPattern() const;
  int bkModeValue() const { return bkMode_; }
  TColor32 bkColor32() const { return toColor32(bkColor_); }

  DPoint toDevice(int x, int y) const;
  IRect toDeviceRect(int left, int top, int right, int bottom) const;
  std::shared_ptr<const ResolvedFont> deviceFont() const;

private:
  void drawTextAt(DPoint ref, std::string_view text, unsigned align);
  int clipResult() const;
  TPoint toLogical(std::int64_t x, std::int64_t y) const;
  double scaleX() const;
  double scaleY() const;

  DeviceCaps caps_;
  LOGPEN pen_;
  LOGBRUSH brush_;
  LOGFONTA font_;
  HGDIOBJ penHandle_, brushHandle_, fontHandle_;
  int bkMode_ = OPAQUE;
  TColor bkColor_ = clWhite, textColor_ = clBlack;
  unsigned textAlign_ = 0;
  int mapMode_ = MM_TEXT;
  TPoint windowOrg_;
  TPoint current_;
  std::int64_t patternPos_ = 0;
  std::optional<std::vector<IRect>> clip_; // device rectangles; nullopt: the whole device
};

// Draws on a raster (screen windows, bitmaps).
class RasterDC : public DeviceContextBase {
public:
  explicit RasterDC(Raster& target, int dpi = 96);
  Raster* raster() override { return &target_; }

protected:
  IRect deviceBounds() const override { return target_.bounds(); }
  void deviceSegment(DPoint a, DPoint b, std::int64_t patternStart) override;
  void deviceFill(const IRect& r, TColor32 color) override;
  void deviceEllipse(const IRect& box, int penWidth, bool pen, bool brush) override;
  void deviceText(const TextRun& run) override;
  void deviceSetPixel(std::int64_t x, std::int64_t y, TColor32 color) override;
  TColor32 deviceGetPixel(std::int64_t x, std::int64_t y) const override { return target_.pixel(x, y); }
  bool deviceReadable() const override { return true; }
  void deviceStretch(const IRect& dst, const Raster& src, const IRect& srcRect) override;

private:
  Raster& target_;
};

// Keeps the state and measures text but puts nothing anywhere (measuring contexts).
class NullDC : public DeviceContextBase {
public:
  explicit NullDC(DeviceCaps caps) : DeviceContextBase(caps) {}

protected:
  void deviceSegment(DPoint, DPoint, std::int64_t) override {}
  void deviceFill(const IRect&, TColor32) override {}
  void deviceEllipse(const IRect&, int, bool, bool) override {}
  void deviceText(const TextRun&) override {}
  void deviceSetPixel(std::int64_t, std::int64_t, TColor32) override {}
  void deviceStretch(const IRect&, const Raster&, const IRect&) override {}
};

// Renders a text run onto a raster: each pixel whose centre falls on the turned run takes the
// run's coverage there (exact pixels for quarter turns, bilinear coverage for other angles).
void drawTextRun(Raster& target, const CoverageMask& mask, std::int64_t refX, std::int64_t refY, int u0,
                 int v0, int escapement, TColor32 color, const IRect& clip);
// Fills the turned text-space rectangle [u0, u0 + w) x [v0, v0 + h) about the reference point.
void fillTurnedRect(Raster& target, std::int64_t refX, std::int64_t refY, int u0, int v0, int w, int h,
                    int escapement, TColor32 color, const IRect& clip);

// The classic 3D frame: for each of `width` rings, the top row and left column in `topColor`,
// the bottom row and right column in `bottomColor`; the top-right and bottom-left corner pixels
// belong to the bottom colour. Each ring shrinks `rect` by one pixel on every side.
void Frame3D(DeviceContext& dc, TRect& rect, TColor topColor, TColor bottomColor, int width);

// Handle-taking forms of the operations, for code written against device-context handles.
// Every one fails (false, 0 or CLR_INVALID) for a handle that names no live context.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC dc, int objectType);
int SetBkMode(HDC dc, int mode);
TColor SetBkColor(HDC dc, TColor color);
TColor SetTextColor(HDC dc, TColor color);
unsigned SetTextAlign(HDC dc, unsigned align);
unsigned GetTextAlign(HDC dc);
int SetMapMode(HDC dc, int mode);
bool SetWindowOrgEx(HDC dc, int x, int y, TPoint* old);
bool GetWindowOrgEx(HDC dc, TPoint* origin);
int SelectClipRgn(HDC dc, HRGN region);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
bool MoveToEx(HDC dc, int x, int y, TPoint* old);
bool LineTo(HDC dc, int x, int y);
bool Polyline(HDC dc, const TPoint* points, int count);
bool Rectangle(HDC dc, int left, int top, int right, int bottom);
bool Ellipse(HDC dc, int left, int top, int right, int bottom);
int FillRect(HDC dc, const TRect* rect, HBRUSH brush);
TColor SetPixel(HDC dc, int x, int y, TColor color);
TColor GetPixel(HDC dc, int x, int y);
bool TextOutA(HDC dc, int x, int y, const char* text, int length);
bool GetTextExtentPointA(HDC dc, const char* text, int length, TSize* size);
bool GetTextMetricsA(HDC dc, TEXTMETRIC* metrics);
// length -1: the text up to its terminating zero.
int DrawTextA(HDC dc, const char* text, int length, TRect* rect, unsigned flags);
int GetDeviceCaps(HDC dc, int index);

} // namespace kv::platform
