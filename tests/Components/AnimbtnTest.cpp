// The animated button: its frames by state with real pixels, the pointer rules through the
// capture, its own click, and the text-only frames.
#include "Animbtn.h"

#include "../Platform/Ui/ControlTestSupport.h"
#include "Platform/Rtl/Streaming.h"

using namespace kv::platform;
using namespace Animbtn;
using kvtest::kFace;
using kvtest::kShadow;
using kvtest::kWhite;

namespace {

// Frame colours of the strip, one per state, as raster colours.
constexpr TColor32 kFrames[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};

class AnimbtnTest : public kvtest::ControlTest {
protected:
  TAnimBtn* make() {
    form = makeForm(300, 200);
    auto* b = new TAnimBtn(form);
    b->SetParent(form);
    b->SetBounds(10, 10, 72, 24);
    TBitmap strip;
    strip.SetSize(400, 30);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 400; ++x)
        strip.raster().setPixel(x, y, kFrames[x / 100]);
    b->SetImg(strip);
    show(form);
    return b;
  }
  TForm* form = nullptr;
};

} // namespace

TEST_F(AnimbtnTest, NewButtonAndItsStrip) {
  auto* plain = new TAnimBtn(nullptr);
  EXPECT_EQ(plain->Width(), 72);
  EXPECT_EQ(plain->Height(), 24);
  EXPECT_TRUE(plain->ControlStyle() == (TControlStyle{csCaptureMouse, csOpaque, csDoubleClicks}));
  TComponent::Free(plain);
  auto* b = make();
  EXPECT_EQ(b->Width(), 100);
  EXPECT_EQ(b->Height(), 30);
  EXPECT_EQ(b->State(), 0);
  EXPECT_EQ(px(b, 50, 15), kFrames[0]);
}

TEST_F(AnimbtnTest, StoredButtonTakesItsSizeFromItsStrip) {
  auto* b = make();
  b->SetName("Strip");
  b->SetBounds(10, 10, 72, 24); // a size the strip does not give
  auto* plain = new TAnimBtn(form);
  plain->SetParent(form);
  plain->SetName("Plain");
  plain->SetBounds(10, 50, 50, 20);
  plain->SetTextOnly(true);
  const std::string text = WriteComponentText(*form);
  auto* again = TCustomForm::CreateNew<TForm>(&Application());
  ReadComponentText(*again, "object Again: TForm\n" + text.substr(text.find('\n') + 1), "again.kvf");
  struct Row {
    const char* name;
    int width, height;
  };
  // The 400 x 30 strip makes frames of 400 div 4 = 100 by 30; without a strip the stored size stays.
  for (const Row& r : {Row{"Strip", 100, 30}, Row{"Plain", 50, 20}}) {
    auto* loaded = dynamic_cast<TAnimBtn*>(again->FindComponent(r.name));
    ASSERT_NE(loaded, nullptr) << r.name;
    EXPECT_EQ(loaded->Width(), r.width) << r.name;
    EXPECT_EQ(loaded->Height(), r.height) << r.name;
    EXPECT_EQ(loaded->State(), 0);
  }
}

TEST_F(AnimbtnTest, PressMoveOutAndBackAndReleaseClicksOnce) {
  auto* b = make();
  int clicks = 0;
  b->OnClick.Bind([&](TObject* s) {
    EXPECT_EQ(s, b);
    ++clicks;
  });
  mouseDown(b, 50, 15);
  EXPECT_EQ(b->State(), 2);
  EXPECT_EQ(px(b, 50, 15), kFrames[2]);
  mouseMove(b, 150, 15);
  EXPECT_EQ(b->State(), 0);
  EXPECT_EQ(px(b, 50, 15), kFrames[0]); // held, but outside
  EXPECT_EQ(GetCapture(), b->Handle());
  mouseMove(b, 50, 15);
  EXPECT_EQ(b->State(), 2);
  mouseUp(b, 50, 15);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(b->State(), 0);
  EXPECT_EQ(GetCapture(), 0u);
  mouseDown(b, 50, 15);
  mouseUp(b, 150, 15);
  EXPECT_EQ(clicks, 1); // released outside
}

TEST_F(AnimbtnTest, HoverTakesTheCaptureAndTheEdgesCountAsInside) {
  auto* b = make();
  mouseMove(b, 50, 15);
  EXPECT_EQ(b->State(), 1);
  mouseMove(b, 100, 30); // X = Width, Y = Height, seen through the capture
  EXPECT_EQ(b->State(), 1);
  EXPECT_EQ(GetCapture(), b->Handle());
  EXPECT_EQ(px(b, 50, 15), kFrames[1]);
  mouseMove(b, 101, 30);
  EXPECT_EQ(b->State(), 0);
  EXPECT_EQ(GetCapture(), 0u);
}

TEST_F(AnimbtnTest, DisabledShowsFrameThreeAndLosingFocusWaitsForTheNextPaint) {
  auto* b = make();
  b->SetEnabled(false);
  EXPECT_EQ(b->State(), 3);
  EXPECT_EQ(px(b, 50, 15), kFrames[3]);
  mouseMove(b, 50, 15);
  EXPECT_EQ(b->State(), 3);
  b->SetEnabled(true);
  EXPECT_EQ(b->State(), 0);
  mouseMove(b, 50, 15);
  EXPECT_EQ(px(b, 50, 15), kFrames[1]);
  b->Perform(WM_KILLFOCUS);
  EXPECT_EQ(b->State(), 0);
  EXPECT_EQ(px(b, 50, 15), kFrames[1]); // no repaint yet
  b->Invalidate();
  EXPECT_EQ(px(b, 50, 15), kFrames[0]);
}

TEST_F(AnimbtnTest, TextOnlyFramesAndDisabledCaption) {
  auto* b = make();
  b->SetTextOnly(true);
  EXPECT_EQ(px(b, 0, 0), kFrames[0]); // no repaint by itself
  b->SetColor(clSilver);
  b->Invalidate();
  EXPECT_EQ(px(b, 0, 0), kFace);
  mouseMove(b, 50, 15); // hover: white top and left, grey bottom and right
  expectPixels(b, {{"top left", 0, 0, kWhite},
                   {"left", 0, 27, kWhite},
                   {"left, above the bottom line", 0, 28, kFace},
                   {"top", 98, 0, kWhite},
                   {"bottom right", 99, 29, kShadow},
                   {"bottom", 1, 29, kShadow},
                   {"right", 99, 2, kShadow},
                   {"right, a line leaves out its end point", 99, 1, kFace}});
  mouseDown(b, 50, 15); // pressed: the reverse
  expectPixels(b, {{"top left", 0, 0, kShadow},
                   {"bottom", 1, 29, kWhite},
                   {"bottom", 50, 29, kWhite},
                   {"bottom", 98, 29, kWhite},
                   {"right", 99, 10, kWhite}});
}

TEST(AnimbtnRegister, GoesOnZusaetzlich) {
  kvtest::expectPalette(Animbtn::Register, "Zus\xC3\xA4tzlich", {"TAnimBtn"});
}
