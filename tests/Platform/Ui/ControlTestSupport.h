// Controls on forms with real pixels, the box font for exact text placement, and synthetic
// input in the coordinates of a control.
#pragma once

#include "UiTestSupport.h"

#include "Platform/Graphics/Colors.h"
#include "Platform/Ui/RasterSurface.h"

namespace kvtest {

// The classic palette as raster colours, written out by hand.
inline constexpr kv::platform::TColor32 kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kFace = 0xFFC0C0C0,
                                        kShadow = 0xFF808080, kLight = 0xFFDFDFDF, kNavy = 0xFF000080;

class ControlTest : public RasterUiTest {
protected:
  // A frameless form at the screen's top left with the box font of 12 pixels.
  kv::platform::TForm* makeForm(int width = 300, int height = 200) {
    using namespace kv::platform;
    auto* form = TCustomForm::CreateNew<TForm>(&Application());
    form->SetBorderStyle(TBorderStyle::bsNone);
    form->SetBounds(0, 0, width, height);
    form->Font().SetName("Korvalis Box");
    form->Font().SetHeight(-12);
    if (!Application().MainForm()) Application().SetMainForm(form);
    return form;
  }
  static void show(kv::platform::TForm* form) {
    form->Show();
    kv::platform::Application().ProcessMessages();
  }
  static void run() { kv::platform::Application().ProcessMessages(); }

  // A pixel of a windowed control's window (frame included) or, for a graphic control, of
  // its parent's window at the control's place.
  static kv::platform::TColor32 px(kv::platform::TControl* c, int x, int y) {
    using namespace kv::platform;
    run();
    if (auto* w = dynamic_cast<TWinControl*>(c)) {
      const Raster* r = WindowRaster(w->Handle());
      return r ? r->pixel(x, y) : 0;
    }
    const TPoint o = c->Parent()->ClientOrigin();
    const Raster* r = WindowRaster(c->Parent()->Handle());
    return r ? r->pixel(c->Left() + x + o.X, c->Top() + y + o.Y) : 0;
  }
  static kv::platform::TPoint at(kv::platform::TControl* c, int x, int y) {
    return c->ClientToScreen(kv::platform::TPoint{x, y});
  }
  static void click(kv::platform::TControl* c, int x, int y) {
    kv::platform::HeadlessPresenter::click(at(c, x, y));
    run();
  }
  // The left button pressed, the mouse moved and the button released at a point of a control.
  static void mouseDown(kv::platform::TControl* c, int x, int y) {
    kv::platform::HeadlessPresenter::mouseDown(at(c, x, y));
    run();
  }
  static void mouseMove(kv::platform::TControl* c, int x, int y) {
    kv::platform::HeadlessPresenter::mouseMove(at(c, x, y));
    run();
  }
  static void mouseUp(kv::platform::TControl* c, int x, int y) {
    kv::platform::HeadlessPresenter::mouseUp(at(c, x, y));
    run();
  }
  // Pixels a control should show, each with what it is.
  struct PixelRow {
    const char* what;
    int x, y;
    kv::platform::TColor32 colour;
  };
  static void expectPixels(kv::platform::TControl* c, std::initializer_list<PixelRow> rows) {
    for (const PixelRow& r : rows)
      EXPECT_EQ(px(c, r.x, r.y), r.colour) << r.what;
  }
  static void key(int vk) {
    kv::platform::HeadlessPresenter::key(vk);
    run();
  }
  static void chord(int modifier, int vk) {
    kv::platform::HeadlessPresenter::keyDown(modifier);
    kv::platform::HeadlessPresenter::key(vk);
    kv::platform::HeadlessPresenter::keyUp(modifier);
    run();
  }
  static void type(const std::string& text) {
    kv::platform::HeadlessPresenter::typeText(text);
    run();
  }
};

} // namespace kvtest
