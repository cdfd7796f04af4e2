// The class library's bitmap: pixels in our raster, a canvas that draws on them, copying by
// Assign, and its form-file form (width, height and the pixels as binary data).
#pragma once

#include "Platform/Graphics/Raster.h"
#include "Platform/Ui/Graphics.h"

#include <memory>
#include <vector>

namespace kv::platform {

class TBitmap : public TGraphicsObject {
  KV_CLASS_INFO(TBitmap)
public:
  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return raster_.width(); }
  int Height() const { return raster_.height(); }
  void SetWidth(int Value) { SetSize(Value, Height()); }
  void SetHeight(int Value) { SetSize(Width(), Value); }
  // A new size; the pixels become white.
  void SetSize(int AWidth, int AHeight);
  bool Empty() const { return Width() == 0 || Height() == 0; }
  // A canvas on the pixels (valid while the bitmap lives; a new size keeps it valid).
  TCanvas& Canvas();
  const Raster& raster() const { return raster_; }
  Raster& raster() { return raster_; }
  void LoadFromRaster(const Raster& Pixels);
  void Assign(const TPersistent& Source) override;

  // Form files: 4 bytes width, 4 bytes height (little-endian), then $AARRGGBB per pixel.
  std::vector<uint8_t> Data() const;
  void SetData(const std::vector<uint8_t>& Bytes);

private:
  void dropCanvas();
  Raster raster_;
  std::unique_ptr<TCanvas> canvas_;
};

} // namespace kv::platform
