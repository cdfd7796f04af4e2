#include "UiTestSupport.h"

#include "Platform/Ui/Compose.h"
#include "Platform/Ui/RasterSurface.h"

using namespace kv::platform;

namespace {

class ComposeTest : public kvtest::RasterUiTest {
protected:
  TForm* form(TBorderStyle border, int width, int height) {
    auto* f = TCustomForm::CreateNew<TForm>(&Application());
    f->SetBorderStyle(border);
    f->SetBounds(100, 50, width, height);
    f->SetColor(clWhite);
    return f;
  }
  // A plain windowed control that shows nothing but its colour.
  static TCustomControl* block(TWinControl* parent, int x, int y, int w, int h, TColor color) {
    auto* c = new TCustomControl(parent);
    c->SetBounds(x, y, w, h);
    c->SetColor(color);
    c->SetParent(parent);
    return c;
  }
  static void expectPixels(const Raster& picture, const std::vector<std::tuple<int, int, TColor32>>& cases) {
    for (const auto& [x, y, want] : cases)
      EXPECT_EQ(picture.pixel(x, y), want) << "at " << x << "," << y;
  }
};

constexpr TColor32 white = 0xFFFFFFFF, red = 0xFFFF0000, blue = 0xFF0000FF, lime = 0xFF00FF00;

// Children land at their places, grandchildren are cut to their parent's client area, and a
// child reaching past the form's client area is cut there.
TEST_F(ComposeTest, ChildrenAreLaidAtTheirPlacesAndCutToTheirParents) {
  TForm* f = form(TBorderStyle::bsNone, 60, 40);
  TCustomControl* outer = block(f, 10, 10, 20, 20, clRed);
  block(outer, 15, 15, 10, 10, clBlue); // covers outer's 15..19 and would reach 25 inside it
  block(f, 50, 30, 20, 20, clLime);     // reaches past the form's right and bottom edges
  f->Show();
  Application().ProcessMessages();

  const Raster picture = ComposeWindow(f->Handle());
  ASSERT_EQ(picture.width(), 60);
  ASSERT_EQ(picture.height(), 40);
  expectPixels(picture, {
                            {9, 9, white},
                            {10, 10, red},
                            {24, 24, red}, // the form, then outer
                            {25, 25, blue},
                            {29, 29, blue}, // grandchild inside outer
                            {30, 30, white},
                            {34, 26, white}, // ... and cut where outer ends
                            {50, 30, lime},
                            {59, 39, lime},
                            {49, 39, white}, // cut at the form's edge
                        });
}

// Overlapping siblings: the one in front covers the one behind, whichever was made first;
// hidden children show nothing.
TEST_F(ComposeTest, FrontSiblingsCoverBackOnesAndHiddenOnesShowNothing) {
  TForm* f = form(TBorderStyle::bsNone, 40, 20);
  TCustomControl* a = block(f, 0, 0, 20, 20, clRed);
  TCustomControl* b = block(f, 10, 0, 20, 20, clBlue);
  TCustomControl* hidden = block(f, 30, 0, 10, 20, clLime);
  hidden->SetVisible(false);
  f->Show();
  a->BringToFront();
  Application().ProcessMessages();
  expectPixels(ComposeWindow(f->Handle()), {{5, 5, red}, {15, 5, red}, {25, 5, blue}, {35, 5, white}});

  b->BringToFront();
  Application().ProcessMessages();
  expectPixels(ComposeWindow(f->Handle()), {{5, 5, red}, {15, 5, blue}, {25, 5, blue}});
}

// With a frame, children sit at the client origin: a dialog-style frame is 3 pixels wide and
// the caption 19 pixels high, so client (0, 0) is window (3, 22).
TEST_F(ComposeTest, ChildrenSitBelowTheFrameOfTheWindow) {
  TForm* f = form(TBorderStyle::bsSingle, 50, 50);
  block(f, 0, 0, 5, 5, clRed);
  f->Show();
  Application().ProcessMessages();
  const Raster picture = ComposeWindow(f->Handle());
  ASSERT_EQ(picture.width(), 50);
  expectPixels(picture, {{2, 22, toColor32(clBtnFace)},
                         {3, 21, toColor32(clBtnFace)},
                         {3, 22, red},
                         {7, 26, red},
                         {8, 27, white}});
}

TEST_F(ComposeTest, WindowsThatAreGoneGiveAnEmptyPicture) {
  const Raster picture = ComposeWindow(0x7FFFFFFF);
  EXPECT_EQ(picture.width(), 0);
  EXPECT_EQ(picture.height(), 0);
}

} // namespace
