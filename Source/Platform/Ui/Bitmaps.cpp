#include "Platform/Ui/Bitmaps.h"

#include "Platform/Ui/RasterSurface.h"

namespace kv::platform {

const TClassInfo& TBitmap::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TBitmap, TPersistent>("TBitmap").Binary("Data", &TBitmap::Data, &TBitmap::SetData).Build();
  return info;
}

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() { dropCanvas(); }

void TBitmap::dropCanvas() {
  if (canvas_) canvas_->SetHandle(nullptr);
  canvas_.reset();
}

// The canvas's context lives with the canvas; it owns nothing else.
namespace {
class BitmapCanvas : public TCanvas {
public:
  explicit BitmapCanvas(Raster& r) : dc_(std::make_unique<DeviceDrawingContext>(std::make_unique<RasterDC>(r))) {
    SetHandle(dc_.get());
  }
  ~BitmapCanvas() override { SetHandle(nullptr); }

private:
  std::unique_ptr<DeviceDrawingContext> dc_;
};
} // namespace

TCanvas& TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<BitmapCanvas>(raster_);
  return *canvas_;
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  // The canvas's context remembers the raster's bounds, so it is made again for the new size.
  dropCanvas();
  raster_.resize(std::max(AWidth, 0), std::max(AHeight, 0), 0xFFFFFFFF);
  Changed();
}

void TBitmap::LoadFromRaster(const Raster& Pixels) {
  dropCanvas();
  raster_ = Pixels;
  Changed();
}

void TBitmap::Assign(const TPersistent& Source) {
  if (auto* b = dynamic_cast<const TBitmap*>(&Source)) {
    LoadFromRaster(b->raster_);
    return;
  }
  TGraphicsObject::Assign(Source);
}

std::vector<uint8_t> TBitmap::Data() const {
  std::vector<uint8_t> out;
  if (Empty()) return out;
  auto put32 = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put32(static_cast<uint32_t>(Width()));
  put32(static_cast<uint32_t>(Height()));
  for (TColor32 p : raster_.pixels()) put32(p);
  return out;
}

void TBitmap::SetData(const std::vector<uint8_t>& Bytes) {
  if (Bytes.empty()) {
    SetSize(0, 0);
    return;
  }
  auto get32 = [&Bytes](size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(Bytes[at + size_t(i)]) << (8 * i);
    return v;
  };
  if (Bytes.size() < 8) throw EReadError("Bitmap image is not valid");
  const uint64_t w = get32(0), h = get32(4);
  // The size must match the pixels that follow exactly; a short or overlong block is refused
  // before anything is allocated.
  if (w > 65535 || h > 65535 || Bytes.size() - 8 != w * h * 4) throw EReadError("Bitmap image is not valid");
  Raster r(static_cast<int>(w), static_cast<int>(h));
  size_t at = 8;
  for (int y = 0; y < r.height(); ++y)
    for (int x = 0; x < r.width(); ++x, at += 4) r.row(y)[x] = get32(at);
  LoadFromRaster(r);
}

} // namespace kv::platform
