// A device context on a Cairo surface, for printing: the same state and GDI rules as the
// raster context, drawn as vector paths and text (with the raster's fonts and glyph positions),
// so a printed page reads like its screen preview and its text can be found in the PDF.
#pragma once

#include "Platform/Graphics/DeviceContext.h"

typedef struct _cairo cairo_t;

namespace kv::platform {

class CairoDC : public DeviceContextBase {
public:
  // Draws on `cr`, whose user space must be one device pixel per unit with (0, 0) at the top
  // left corner of the drawable area. The context takes a reference of its own on `cr`.
  CairoDC(cairo_t* cr, DeviceCaps caps);
  ~CairoDC() override;

protected:
  void deviceSegment(DPoint a, DPoint b, std::int64_t patternStart) override;
  void deviceFill(const IRect& r, TColor32 color) override;
  void deviceEllipse(const IRect& box, int penWidth, bool pen, bool brush) override;
  void deviceText(const TextRun& run) override;
  void deviceSetPixel(std::int64_t x, std::int64_t y, TColor32 color) override;
  void deviceStretch(const IRect& dst, const Raster& src, const IRect& srcRect) override;

private:
  void begin(); // save, clip
  void end();   // restore
  cairo_t* cr_;
};

} // namespace kv::platform
