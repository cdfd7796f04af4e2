// The printable rich edit: the rectangle it hands to the range formatting (in twips), the
// calls around the render pass and the mapping mode it leaves, where its formatted lines land
// (box-font pixels: 9 points at 96 dpi are 12-pixel cells, ascent 9, 6 pixels per character),
// the cut after the last line that fits, and a printed page that pdftotext reads.
#include "PrnRichEdit.h"

#include "Prnprev.h"

#include "../Platform/Graphics/PdfWords.h"
#include "../Platform/Ui/UiTestSupport.h"
#include "TestSupport.h"

#include "Platform/Graphics/Printer.h"
#include "Platform/Rtl/ScopeExit.h"

#include <algorithm>
#include <stdexcept>

using namespace kv::platform;
using namespace PrnRichEdit;

namespace {

// Writes down every range-formatting call it gets (and can refuse the render pass).
class TWatchedRichEdit : public TPrnRichEdit {
public:
  using TPrnRichEdit::TPrnRichEdit;
  struct Call {
    WPARAM wParam;
    bool hasRange;
    FORMATRANGE range;
    int mapMode;
  };
  std::vector<Call> calls;
  bool failRender = false;
  void Dispatch(TMessage& Message) override {
    if (Message.Msg == EM_FORMATRANGE) {
      Call c{Message.WParam, Message.LParam != 0, {}, 0};
      if (c.hasRange) {
        c.range = *reinterpret_cast<const FORMATRANGE*>(Message.LParam);
        c.mapMode = GetMapMode(c.range.hdc);
      }
      calls.push_back(c);
      if (failRender && Message.WParam == 1) throw std::runtime_error("no ink");
    }
    TPrnRichEdit::Dispatch(Message);
  }
  static int GetMapMode(HDC dc) {
    DeviceContext* d = DeviceContext::fromHandle(dc);
    return d ? d->GetMapMode() : 0;
  }
};

class PrnRichEditTest : public kvtest::UiTest {
protected:
  template <class T = TPrnRichEdit> T* makeEdit(const std::vector<std::string>& lines) {
    auto* e = new T(&Application());
    e->DefAttributes().SetName("Korvalis Box");
    e->DefAttributes().SetSize(9);
    for (const auto& l : lines)
      e->Lines().Add(l);
    return e;
  }
  static DeviceCaps caps(int dpiX, int dpiY) {
    DeviceCaps c;
    c.dpiX = dpiX;
    c.dpiY = dpiY;
    c.widthPx = 2000;
    c.heightPx = 2000;
    return c;
  }
  static std::vector<std::string> texts(const RecordingDC& dc) { return dc.calls("TextOut("); }
};

} // namespace

TEST_F(PrnRichEditTest, TheRectangleGoesToTheFormattingInTwips) {
  const struct {
    int dpiX, dpiY;
    TRect r, rc;
  } rows[] = {
      {96, 96, {96, 48, 192, 144}, {1440, 720, 2880, 2160}},
      {300, 300, {300, 150, 600, 450}, {1440, 720, 2880, 2160}},
      {300, 600, {1, 1, 7, 7}, {4, 2, 33, 16}}, // 4.8, 2.4, 33.6, 16.8 truncated
      {96, 96, {10, 10, 10, 50}, {0, 0, 0, 0}}, // no width: an empty rectangle
      {96, 96, {50, 50, 10, 10}, {0, 0, 0, 0}}, // turned inside out: empty as well
  };
  for (const auto& row : rows) {
    auto* e = makeEdit<TWatchedRichEdit>({"text"});
    RecordingDC dc(caps(row.dpiX, row.dpiY));
    e->PrintToDC(dc.Handle(), row.r);
    EXPECT_EQ(e->PageRect(), row.r);
    ASSERT_EQ(e->calls.size(), 3u);
    EXPECT_EQ(e->calls[0].wParam, 0u);
    EXPECT_FALSE(e->calls[0].hasRange);
    EXPECT_EQ(e->calls[2].wParam, 0u);
    EXPECT_FALSE(e->calls[2].hasRange);
    const auto& render = e->calls[1];
    EXPECT_EQ(render.wParam, 1u);
    ASSERT_TRUE(render.hasRange);
    EXPECT_EQ(render.range.hdc, dc.Handle());
    EXPECT_EQ(render.range.hdcTarget, dc.Handle());
    EXPECT_EQ(render.range.rc, row.rc) << row.r.Left << "," << row.r.Top;
    EXPECT_EQ(render.range.rcPage, row.rc);
    EXPECT_EQ(render.range.chrg.cpMin, 0);
    EXPECT_EQ(render.range.chrg.cpMax, -1);
    EXPECT_EQ(render.mapMode, MM_TEXT);
    TComponent::Free(e);
  }
}

TEST_F(PrnRichEditTest, TheMappingModeComesBackAlsoWhenRenderingFails) {
  auto* e = makeEdit<TWatchedRichEdit>({"text"});
  RecordingDC dc(caps(96, 96));
  dc.SetMapMode(MM_LOMETRIC);
  e->PrintToDC(dc.Handle(), TRect{0, 0, 100, 100});
  EXPECT_EQ(dc.GetMapMode(), MM_LOMETRIC);

  e->calls.clear();
  e->failRender = true;
  EXPECT_THROW(e->PrintToDC(dc.Handle(), TRect{0, 0, 100, 100}), std::runtime_error);
  EXPECT_EQ(dc.GetMapMode(), MM_LOMETRIC);
  ASSERT_EQ(e->calls.size(), 3u);
  EXPECT_EQ(e->calls[2].wParam, 0u); // the cache is cleared afterwards all the same
  EXPECT_FALSE(e->calls[2].hasRange);
}

TEST_F(PrnRichEditTest, AHandleWithoutAContextDrawsNothingAndDoesNotFail) {
  auto* e = makeEdit<TWatchedRichEdit>({"text"});
  e->PrintToDC(0, TRect{0, 0, 100, 100});
  e->PrintToDC(123456, TRect{0, 0, 100, 100});
  EXPECT_TRUE(e->calls.empty());
}

TEST_F(PrnRichEditTest, LinesLandOnTheirPixelsInsideTheRectangle) {
  auto* e = makeEdit({"ab", "c"});
  Raster page(300, 200, 0xFFFFFFFF);
  RasterDC dc(page, 96);
  const TColor32 black = 0xFF000000, white = 0xFFFFFFFF;
  e->PrintToDC(dc.Handle(), TRect{96, 48, 192, 144});
  // "ab": cells [96, 102) and [102, 108) on rows [48, 60); each box fills its first 5 columns.
  const struct {
    int x, y;
    TColor32 colour;
  } pixels[] = {
      {96, 48, black},  {100, 59, black}, {101, 48, white}, {102, 48, black}, {107, 48, white},
      {96, 47, white},  {95, 50, white},  {96, 60, black}, // "c" on the next line, rows [60, 72)
      {101, 60, white}, {102, 60, white}, {96, 72, white},
  };
  for (const auto& p : pixels)
    EXPECT_EQ(page.pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
}

TEST_F(PrnRichEditTest, TextLongerThanTheRectangleIsCutAfterTheLastLineThatFits) {
  auto* e = makeEdit({"one", "two", "three", "four"});
  RecordingDC dc(caps(96, 96));
  // 30 pixels hold two 12-pixel lines; the third would end at 36.
  e->PrintToDC(dc.Handle(), TRect{0, 0, 200, 30});
  const std::vector<std::string> expected{"TextOut(0,9,\"one\")", "TextOut(0,21,\"two\")"};
  EXPECT_EQ(texts(dc), expected);
  // The next call starts at the first character again.
  dc.clearLog();
  e->PrintToDC(dc.Handle(), TRect{0, 0, 200, 30});
  EXPECT_EQ(texts(dc), expected);
  // An empty rectangle shows nothing at all.
  dc.clearLog();
  e->PrintToDC(dc.Handle(), TRect{0, 0, 0, 0});
  EXPECT_TRUE(texts(dc).empty());
}

TEST_F(PrnRichEditTest, LinesBreakAfterTheLastBlankThatFits) {
  // 60 pixels hold ten 6-pixel characters.
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } rows[] = {
      {"aaaa bbbb cccc", {"aaaa bbbb ", "cccc"}},
      {"abcdefghijklmn", {"abcdefghij", "klmn"}}, // no blank: between characters
      {"aaaaaaaaa  b", {"aaaaaaaaa  ", "b"}},     // blanks hang past the edge
      {"", {}},
  };
  for (const auto& row : rows) {
    auto* e = makeEdit({row.text});
    RecordingDC dc(caps(96, 96));
    e->PrintToDC(dc.Handle(), TRect{0, 0, 60, 200});
    std::vector<std::string> expected;
    for (size_t i = 0; i < row.lines.size(); ++i)
      expected.push_back("TextOut(0," + std::to_string(9 + 12 * int(i)) + ",\"" + row.lines[i] + "\")");
    EXPECT_EQ(texts(dc), expected) << row.text;
    TComponent::Free(e);
  }
}

TEST_F(PrnRichEditTest, RunsOfOneLineShareTheBaselineOfItsTallestFont) {
  auto* e = makeEdit({"BIGsmall", "next"});
  e->SetSelStart(0);
  e->SetSelLength(3);
  e->SelAttributes().SetSize(18); // 24-pixel cells: ascent 18, 12 pixels per character
  e->SelAttributes().SetStyle({fsBold});
  e->SelAttributes().SetColor(clRed);
  RecordingDC dc(caps(96, 96));
  e->PrintToDC(dc.Handle(), TRect{10, 10, 300, 300});
  const auto log = dc.log();
  EXPECT_EQ(texts(dc), (std::vector<std::string>{"TextOut(10,28,\"BIG\")", "TextOut(46,28,\"small\")",
                                                 "TextOut(10,43,\"next\")"})); // 10 + 24 + 9
  const auto big = std::find(log.begin(), log.end(), "TextOut(10,28,\"BIG\")");
  ASSERT_NE(big, log.end());
  const auto font = std::find_if(std::make_reverse_iterator(big), log.rend(),
                                 [](const std::string& l) { return l.rfind("SelectObject(font:", 0) == 0; });
  ASSERT_NE(font, log.rend());
  EXPECT_EQ(*font, "SelectObject(font:\"Korvalis Box\",-24,esc 0,weight 700)");
  EXPECT_NE(std::find(log.begin(), big, "SetTextColor($000000FF)"), big);
  // The context is left with the font and text colour it came with.
  EXPECT_EQ(dc.GetTextColor(), clBlack);
  EXPECT_EQ(dc.GetTextAlign(), 0u);
}

TEST_F(PrnRichEditTest, FormatsFollowTheTextThroughEdits) {
  auto* e = makeEdit({"hello world"});
  e->SetSelStart(6);
  e->SetSelLength(5);
  e->SelAttributes().SetStyle({fsItalic});
  EXPECT_TRUE(e->CharFormatAt(6).Style.Contains(fsItalic));
  EXPECT_FALSE(e->CharFormatAt(5).Style.Contains(fsItalic));
  // Text put in front shifts the italic word; text typed after it takes its format.
  e->SetSelStart(0);
  e->SetSelLength(0);
  e->SetSelText(">> ");
  EXPECT_FALSE(e->CharFormatAt(0).Style.Contains(fsItalic));
  EXPECT_FALSE(e->CharFormatAt(8).Style.Contains(fsItalic));
  EXPECT_TRUE(e->CharFormatAt(9).Style.Contains(fsItalic));
  EXPECT_TRUE(e->CharFormatAt(13).Style.Contains(fsItalic));
  const int end = static_cast<int>(e->Text().size());
  e->SetSelStart(end);
  e->SetSelText("!");
  EXPECT_TRUE(e->CharFormatAt(end).Style.Contains(fsItalic));
  // A format chosen with nothing selected goes to what is typed there next.
  e->SetSelStart(0);
  e->SelAttributes().SetSize(20);
  EXPECT_EQ(e->SelAttributes().Size(), 20);
  e->SetSelText("#");
  EXPECT_EQ(e->CharFormatAt(0).Size, 20);
  EXPECT_EQ(e->CharFormatAt(1).Size, 9);
}

TEST_F(PrnRichEditTest, ScalingLeavesThePrintedSizesAlone) {
  auto* plain = new TRichEdit(&Application());
  auto* printable = new TPrnRichEdit(&Application());
  for (TCustomRichEdit* e :
       {static_cast<TCustomRichEdit*>(plain), static_cast<TCustomRichEdit*>(printable)}) {
    e->SetBounds(10, 20, 100, 50);
    e->DefAttributes().SetSize(10);
    e->ChangeScale(3, 2);
    EXPECT_EQ(e->BoundsRect(), (TRect{15, 30, 165, 105})); // 10 * 1.5, 20 * 1.5, 100 * 1.5, 50 * 1.5
  }
  EXPECT_EQ(plain->DefAttributes().Size(), 15);
  EXPECT_EQ(printable->DefAttributes().Size(), 10);
  // With a font of its own the default text follows the scaled font, and is scaled only once:
  // 12 points * 1.5 = 18.
  auto* own = new TRichEdit(&Application());
  own->Font().SetSize(12);
  own->ChangeScale(3, 2);
  EXPECT_EQ(own->Font().Size(), 18);
  EXPECT_EQ(own->DefAttributes().Size(), 18);
}

// The road a host takes: the preview's OnPrintPage hands the page's canvas, whose device
// context the edit renders into, at the place the preview's millimetres give.
TEST_F(PrnRichEditTest, APreviewPageCarriesTheFormattedTextIntoThePdf) {
  if (const auto missing = kvtest::missingPdfPeer(); !missing.empty()) GTEST_SKIP() << missing << " missing";
  if (!kvtest::haveTool("pdffonts")) GTEST_SKIP() << "pdffonts missing";
  kvtest::TempDir dir;
  auto* e = new TPrnRichEdit(&Application());
  e->Font().SetName("DejaVu Sans");
  e->Font().SetSize(12);
  e->Lines().Add("Messreihe vom Montag");
  e->Lines().Add("Dichte 1,25 bei 20 Grad");
  e->Lines().Add("Diese Zeile passt nicht mehr");
  e->SetSelStart(static_cast<int>(e->Text().find("Dichte")));
  e->SetSelLength(6);
  e->SelAttributes().SetStyle({fsBold});
  const std::string pdf = (dir / "rich.pdf").string();
  CurrentPrinter().setOutputFile(pdf);
  const ScopeExit printerBack([] { CurrentPrinter().setOutputFile(""); });
  auto* preview = new Prnprev::TPrintPreview(&Application());
  preview->OnPrintPage.Bind([&](TObject*, TCanvas* c, int, bool) {
    // 300 dpi: 12 points are 50 pixels; 11 mm (130 pixels) hold two lines of about 58 pixels.
    e->PrintToDC(c->Handle()->deviceHandle(),
                 TRect{preview->xToPix(25), preview->yToPix(25), preview->xToPix(160), preview->yToPix(36)});
  });
  preview->Print();
  const auto text = kvtest::run("pdftotext " + kvtest::shellQuote(pdf) + " -");
  ASSERT_EQ(text.exitCode, 0) << text.err;
  const auto first = text.out.find("Messreihe vom Montag"), second = text.out.find("Dichte 1,25 bei 20 Grad");
  ASSERT_NE(first, std::string::npos) << text.out;
  ASSERT_NE(second, std::string::npos) << text.out;
  EXPECT_LT(first, second);
  EXPECT_EQ(text.out.find("passt nicht"), std::string::npos) << text.out;
  const auto fonts = kvtest::run("pdffonts " + kvtest::shellQuote(pdf));
  EXPECT_NE(fonts.out.find("DejaVuSans-Bold"), std::string::npos) << fonts.out;
  EXPECT_NE(fonts.out.find("DejaVuSans "), std::string::npos) << fonts.out;
  // Font.Size 12 is 12 points on paper: the words' boxes as high as the peer's at 12 points.
  const double peer = kvtest::peerWordHeight("DejaVu Sans", 12, "Messreihe");
  ASSERT_GT(peer, 0) << "pango-view's page has no word pdftotext reads";
  EXPECT_NEAR(kvtest::pdfWord(pdf, "Messreihe").height(), peer, 0.1);
}

TEST_F(PrnRichEditTest, RegisterPutsTheEditOnTheEigenePage) {
  kvtest::expectPalette(Register, "Eigene", {"TPrnRichEdit"});
}
