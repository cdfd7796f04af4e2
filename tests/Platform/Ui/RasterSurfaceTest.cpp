#include "UiTestSupport.h"

#include "Platform/Ui/RasterSurface.h"

using namespace kv::platform;

namespace {

// Paints like a classic control: the erase fills the client area, Paint draws on top.
class TSwatch : public TCustomControl {
  KV_CLASS_INFO(TSwatch)
public:
  using TCustomControl::TCustomControl;

protected:
  void Paint() override {
    Canvas().Brush().SetColor(clRed);
    Canvas().FillRect(Rect(1, 1, 5, 5));
    Canvas().Pen().SetColor(clBlue);
    Canvas().MoveTo(0, 9);
    Canvas().LineTo(6, 9);
  }
};
const TClassInfo& TSwatch::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TSwatch, TCustomControl>("TSwatch").Build();
  return info;
}

using RasterSurfaceTest = kvtest::RasterUiTest;

TEST_F(RasterSurfaceTest, ControlsPaintRealPixelsThroughTheDrawingLayer) {
  auto* form = TCustomForm::CreateNew<TForm>(&Application());
  form->SetBorderStyle(TBorderStyle::bsNone);
  form->SetBounds(0, 0, 40, 40);
  auto* swatch = new TSwatch(form);
  swatch->SetBounds(10, 10, 20, 20);
  swatch->SetColor(clYellow);
  swatch->SetParent(form);
  form->Show();
  Application().ProcessMessages();

  const Raster* pixels = WindowRaster(swatch->Handle());
  ASSERT_NE(pixels, nullptr);
  ASSERT_EQ(pixels->width(), 20);
  const TColor32 yellow = 0xFFFFFF00, red = 0xFFFF0000, blue = 0xFF0000FF;
  const struct {
    int x, y;
    TColor32 want;
  } cases[] = {
      {0, 0, yellow},   {1, 1, red},  {4, 4, red},    {5, 5, yellow}, // fills exclude right and bottom
      {0, 9, blue},     {5, 9, blue}, {6, 9, yellow},                 // the line leaves out its end
      {19, 19, yellow},
  };
  for (const auto& c : cases)
    EXPECT_EQ(pixels->pixel(c.x, c.y), c.want) << c.x << "," << c.y;
}

TEST_F(RasterSurfaceTest, ScrollingMovesPixelsOnlyInsideTheClip) {
  RasterSurface surface(4, 1);
  Raster& r = surface.raster();
  for (int x = 0; x < 4; ++x)
    r.row(0)[x] = TColor32(x + 1);
  surface.scroll(TRect{0, 0, 4, 1}, TRect{0, 0, 3, 1}, 1, 0);
  // Pixel 0 stays (nothing moves into it), 1 and 2 take their left neighbours, 3 is outside the clip.
  EXPECT_EQ(r.pixel(0, 0), 1u);
  EXPECT_EQ(r.pixel(1, 0), 1u);
  EXPECT_EQ(r.pixel(2, 0), 2u);
  EXPECT_EQ(r.pixel(3, 0), 4u);
}

} // namespace
