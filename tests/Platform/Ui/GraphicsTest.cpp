// The canvas's font on device contexts of different resolutions: a size in points is that size
// on the screen, a bitmap and the printer alike; heights stay pixels of the device drawn on.
#include "Platform/Graphics/Fonts.h"
#include "Platform/Graphics/Printer.h"
#include "Platform/Ui/Bitmaps.h"
#include "Platform/Ui/RasterSurface.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kv::platform;

namespace {

// The font height that reached the device when the canvas last drew text.
int heightDrawn(TCanvas& canvas) {
  canvas.TextOut(0, 0, "Ag");
  auto* context = dynamic_cast<DeviceDrawingContext*>(canvas.Handle());
  return context ? context->device().currentFont().lfHeight : 0;
}

} // namespace

TEST(CanvasFont, ASizeInPointsIsThatSizeOnEveryDeviceContext) {
  kvtest::TempDir dir;
  // Each device's canvas drawn on with Font.Size 12; 12 points are 12/72 inch, by hand:
  // 16 pixels at 96 dpi, 42.33 at 254, 50 at 300, 100 at 600.
  enum Device { screen, bitmap, printer, page };
  struct Row {
    const char* what;
    Device device;
    int dpi;
    int expected;
  };
  const Row rows[] = {
      {"a window on the screen", screen, 96, -16},
      {"a bitmap", bitmap, 96, -16},
      {"the printer outside a job (measuring)", printer, 300, -50},
      {"a printed page at 254 dpi", page, 254, -42},
      {"a printed page at 600 dpi", page, 600, -100},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    RasterSurface surface(40, 20);
    TBitmap pixels;
    PrinterSetup setup;
    setup.dpi = r.dpi;
    Printer job(setup);
    job.setOutputFile((dir / "page.pdf").string());
    if (r.device == page) job.BeginDoc();
    std::unique_ptr<DrawingContext> context;
    if (r.device == screen) context = surface.createContext();
    if (r.device == printer || r.device == page)
      context = std::make_unique<DeviceDrawingContext>(job.Canvas());
    TCanvas own;
    own.SetHandle(context.get());
    TCanvas& canvas = r.device == bitmap ? (pixels.SetSize(40, 20), pixels.Canvas()) : own;
    canvas.Font().SetName(kBoxFaceName);
    canvas.Font().SetSize(12);
    EXPECT_EQ(heightDrawn(canvas), r.expected);
    EXPECT_EQ(canvas.Font().Size(), 12);
    EXPECT_EQ(canvas.TextHeight("W"), -r.expected); // the box face's cell is the height
    own.SetHandle(nullptr);
    if (r.device == page) job.EndDoc();
  }
}

TEST(CanvasFont, HowAFontReachesACanvasOfThePrinter) {
  // The printer at 300 dpi; a form's font is a screen font of 96 pixels per inch.
  TFont formFont;
  formFont.SetName(kBoxFaceName);
  formFont.SetHeight(-16); // 12 points on the screen
  const std::function<void(TCanvas&)> nothing = [](TCanvas&) {};
  struct Row {
    const char* what;
    std::function<void(TCanvas&)> before, after; // before and after the canvas meets the printer
    int expected;
  };
  const Row rows[] = {
      {"the canvas's own font keeps its Size 8: 8 * 300 / 72 = 33.3", nothing, nothing, -33},
      {"a size in points", nothing, [](TCanvas& c) { c.Font().SetSize(12); }, -50},
      {"a size set before the printer came", [](TCanvas& c) { c.Font().SetSize(12); }, nothing, -50},
      {"a height is pixels of the printer", nothing, [](TCanvas& c) { c.Font().SetHeight(-40); }, -40},
      {"a screen font assigned keeps its points", nothing, [&](TCanvas& c) { c.SetFont(formFont); }, -50},
  };
  Printer printer(PrinterSetup{});
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    TCanvas canvas;
    r.before(canvas);
    DeviceDrawingContext context(printer.Canvas());
    canvas.SetHandle(&context);
    r.after(canvas);
    EXPECT_EQ(heightDrawn(canvas), r.expected);
    canvas.SetHandle(nullptr);
  }
  EXPECT_EQ(formFont.Height(), -16); // the source stays as it was
}
