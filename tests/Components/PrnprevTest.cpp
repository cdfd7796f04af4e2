#include "Prnprev.h"

#include "../Platform/Graphics/PdfWords.h"
#include "../Platform/Ui/UiTestSupport.h"
#include "Platform/Graphics/Printer.h"
#include "TestSupport.h"

#include <cmath>
#include <functional>

using namespace kv::platform;
using Prnprev::TPrintPreview;
using Prnprev::TRealPointArray;

namespace {

class PrnprevTest : public kvtest::UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    // 100 x 200 mm at 254 dpi without unprintable border: exactly 10 printer pixels per mm.
    PrinterSetup setup;
    setup.paperWidthMm = 100;
    setup.paperHeightMm = 200;
    setup.marginMm = 0;
    setup.dpi = 254;
    CurrentPrinter().setSetup(setup);
    CurrentPrinter().setRecording(true);
    CurrentPrinter().setOutputFile((dir / "preview.pdf").string());
    form = TForm::CreateNew<TForm>(&Application());
    form->SetBounds(0, 0, 800, 600);
    pv = new TPrintPreview(form);
    pv->SetParent(form);
  }
  void TearDown() override {
    CurrentPrinter().Abort();
    CurrentPrinter().setRecording(false);
    UiTest::TearDown();
    SetSurfaceFactory(nullptr);
  }
  // Drawing calls of the metric operations on a canvas of their own.
  std::vector<std::string> lines() {
    std::vector<std::string> out;
    for (const auto& l : *log)
      if (l.rfind("moveTo", 0) == 0 || l.rfind("lineTo", 0) == 0) out.push_back(l);
    log->clear();
    return out;
  }
  void recordOn() {
    canvas.SetHandle(&context);
    pv->InitCanvas(&canvas);
    context.setWindowOrg(TPoint{0, 0});
    log->clear();
  }
  std::vector<std::string> pagesPrinted() {
    std::vector<std::string> out;
    for (const auto& l : CurrentPrinter().jobLog())
      if (l.rfind("StartPage", 0) == 0 || l.rfind("StartDoc", 0) == 0 || l == "EndDoc" || l == "AbortDoc")
        out.push_back(l);
    return out;
  }

  kvtest::TempDir dir{"prnprev"};
  TForm* form = nullptr;
  TPrintPreview* pv = nullptr;
  std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
  RecordingContext context{log};
  TCanvas canvas;
};

TEST_F(PrnprevTest, Defaults) {
  EXPECT_EQ(pv->Title, "Dokument");
  EXPECT_TRUE(pv->FitOnWindow());
  EXPECT_EQ(pv->PageCount, 1);
  EXPECT_EQ(pv->ActualPage(), 1);
  EXPECT_DOUBLE_EQ(pv->UserScale(), 0.1);
  EXPECT_FALSE(pv->PrintJobRunning());
  EXPECT_DOUBLE_EQ(pv->PxPerMmX(), 10.0);
  EXPECT_DOUBLE_EQ(pv->PxPerMmY(), 10.0);
  EXPECT_FALSE(pv->VBar->Visible());
  EXPECT_EQ(pv->VBar->Kind(), TScrollBarKind::sbVertical);
  const auto& dash = pv->LineStyles[static_cast<size_t>(Prnprev::ls_DashDot)];
  EXPECT_EQ(dash[0], 4);
  EXPECT_EQ(dash[1], 2.0);
  EXPECT_EQ(dash[4], 0.5);
  EXPECT_EQ(pv->LineStyles[static_cast<size_t>(Prnprev::ls_User)][0], 0);
}

TEST_F(PrnprevTest, MillimetreMapping) {
  pv->SetScale(0.5);
  EXPECT_FALSE(pv->FitOnWindow());
  struct Row {
    double mm;
    int px;
  };
  // mm x 10 px/mm x 0.5, rounded to nearest with ties to even.
  for (const Row& r : {Row{2.5, 12}, Row{3.5, 18}, Row{1.0, 5}, Row{-2.5, -12}, Row{0.09, 0}})
    EXPECT_EQ(pv->xToPix(r.mm), r.px) << r.mm;
  EXPECT_DOUBLE_EQ(pv->xToFPix(2.5), 12.5);
  EXPECT_DOUBLE_EQ(pv->yToFPix(3.0), 15.0);
  EXPECT_DOUBLE_EQ(pv->xToMet(59), 11.8);
  EXPECT_DOUBLE_EQ(pv->yToMet(-10), -2.0);

  pv->SetLeftBorder(5);
  pv->SetRightBorder(7);
  pv->SetTopBorder(1);
  pv->SetBottomBorder(2);
  EXPECT_EQ(pv->GetXSize(), 88);
  EXPECT_EQ(pv->GetYSize(), 197);

  pv->SetCustXScale(2.0);
  recordOn();
  // X: border 5 mm + 1.25 mm x 2 = 7.5 mm = 37.5 px -> 38; Y: 1 mm + 2 mm = 15 px.
  pv->MetLine(1.25, 2, 0, 0);
  EXPECT_EQ(lines(), (std::vector<std::string>{"moveTo 38,15", "lineTo 25,5"}));
  // Pixels: round(3 x 2) + the left border in pixels (25), 4 + the top border (5).
  pv->PixLine(3, 4, 0, 0);
  EXPECT_EQ(lines(), (std::vector<std::string>{"moveTo 31,9", "lineTo 25,5"}));
}

TEST_F(PrnprevTest, DrawingBeforeTheFirstPaintIsRefused) {
  // No paint and no print has given the preview a canvas yet: every drawing operation raises the
  // class library's error instead of reaching for a canvas that is not there.
  TRealPointArray pts{};
  pts[2] = {1, 1};
  const std::pair<const char*, std::function<void()>> ops[] = {
      {"MetLine", [&] { pv->MetLine(0, 0, 1, 1); }},
      {"MetText", [&] { pv->MetText(0, 0, "x"); }},
      {"MetTextHeight", [&] { pv->MetTextHeight("x"); }},
      {"MetTextWidth", [&] { pv->MetTextWidth("x"); }},
      {"MetRect", [&] { pv->MetRect(0, 0, 1, 1); }},
      {"MetEllipse", [&] { pv->MetEllipse(0, 0, 1, 1); }},
      {"MetClip", [&] { pv->MetClip(0, 0, 1, 1); }},
      {"CancelClip", [&] { pv->CancelClip(); }},
      {"MetPolyLine", [&] { pv->MetPolyLine(pts, 2, Prnprev::ls_Dash); }},
      {"PixLine", [&] { pv->PixLine(0, 0, 1, 1); }},
      {"PixText", [&] { pv->PixText(0, 0, "x"); }},
      {"PixRect", [&] { pv->PixRect(0, 0, 1, 1); }},
  };
  ASSERT_EQ(pv->DrawCanvas(), nullptr);
  for (const auto& [what, op] : ops)
    EXPECT_THROW(op(), EInvalidOperation) << what;
}

TEST_F(PrnprevTest, ZoomMustBePositive) {
  pv->SetScale(0.25);
  for (double bad : {0.0, -1.0, double(NAN), double(INFINITY)})
    EXPECT_THROW(pv->SetScale(bad), EInvalidOperation);
  EXPECT_DOUBLE_EQ(pv->GetScale(), 0.25);
  // Giving back a printer DC that was never taken leaves the zoom alone.
  pv->ReleasePrinterDC();
  EXPECT_DOUBLE_EQ(pv->GetScale(), 0.25);
  EXPECT_DOUBLE_EQ(pv->xToMet(10), 4.0);
}

struct DashCase {
  const char* what;
  Prnprev::TStyle style;
  std::vector<Prnprev::TRealPoint> points; // from index 1
  std::vector<std::string> expected;
};

TEST_F(PrnprevTest, PolyLinePatterns) {
  pv->SetScale(1.0);
  const DashCase cases[] = {
      {"no points", Prnprev::ls_Dash, {}, {}},
      {"one point", Prnprev::ls_Dash, {{1, 1}}, {}},
      {"solid",
       Prnprev::ls_Solid,
       {{0, 0}, {1, 0}, {1, 2}},
       {"moveTo 0,0", "lineTo 10,0", "moveTo 10,0", "lineTo 10,20"}},
      // 0-2.0 drawn, 2.0-2.5 blank, 2.5-3.0 drawn; the next segment goes on inside the 2.0 element.
      {"dash across a vertex",
       Prnprev::ls_Dash,
       {{0, 0}, {3, 0}, {3, 3}},
       {"moveTo 0,0", "lineTo 20,0", "moveTo 25,0", "lineTo 30,0", "moveTo 30,0", "lineTo 30,15",
        "moveTo 30,20", "lineTo 30,30"}},
      {"dash dot order",
       Prnprev::ls_DashDot,
       {{0, 0}, {8, 0}},
       {"moveTo 0,0", "lineTo 20,0", "moveTo 25,0", "lineTo 30,0", "moveTo 35,0", "lineTo 55,0",
        "moveTo 60,0", "lineTo 65,0", "moveTo 70,0", "lineTo 80,0"}},
      {"user row starts solid", Prnprev::ls_User, {{0, 0}, {2, 0}}, {"moveTo 0,0", "lineTo 20,0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    recordOn();
    TRealPointArray pts{};
    for (size_t i = 0; i < c.points.size(); ++i)
      pts[i + 1] = c.points[i];
    pv->MetPolyLine(pts, static_cast<int>(c.points.size()), c.style);
    EXPECT_EQ(lines(), c.expected);
  }
}

TEST_F(PrnprevTest, PolyLineCallerErrors) {
  pv->SetScale(1.0);
  recordOn();
  // A pattern of zero lengths could never advance: drawn solid instead of hanging.
  auto& user = pv->LineStyles[static_cast<size_t>(Prnprev::ls_User)];
  user[0] = 2;
  TRealPointArray pts{};
  pts[1] = {0, 0};
  pts[2] = {1, 0};
  pv->MetPolyLine(pts, 2, Prnprev::ls_User);
  EXPECT_EQ(lines(), (std::vector<std::string>{"moveTo 0,0", "lineTo 10,0"}));
  // More points than the array holds: the 320 there are drawn.
  for (int i = 1; i <= 320; ++i)
    pts[static_cast<size_t>(i)] = {double(i), 0};
  pv->MetPolyLine(pts, 5000, Prnprev::ls_Solid);
  EXPECT_EQ(lines().size(), 2u * 319);
  pv->MetPolyLine(pts, -3, Prnprev::ls_Solid);
  EXPECT_TRUE(lines().empty());
}

TEST_F(PrnprevTest, ActualPageRange) {
  pv->PageCount = 3;
  form->Show();
  pv->Panel->Update();
  int paints = 0;
  pv->OnPrintPage.Bind([&](TObject*, TCanvas*, int page, bool printing) {
    ++paints;
    EXPECT_FALSE(printing);
    EXPECT_EQ(page, pv->ActualPage());
  });
  for (int bad : {0, 4, 1}) {
    pv->SetActualPage(bad);
    EXPECT_EQ(pv->ActualPage(), 1);
  }
  EXPECT_EQ(paints, 0); // the same page again is no repaint
  pv->SetActualPage(3);
  EXPECT_EQ(pv->ActualPage(), 3);
  EXPECT_EQ(paints, 1);
}

namespace {

// A host's report form: the preview and both handlers come from its form file, so the
// preview counts its pages at construction before OnCalcPageCount is bound.
class TReportForm : public TForm {
  KV_CLASS_INFO(TReportForm)
public:
  using TForm::TForm;
  TPrintPreview* Preview = nullptr;
  std::vector<int> printed;
  void PreviewCalcPageCount(TObject*) { Preview->PageCount = 3; }
  void PreviewPrintPage(TObject*, TCanvas* c, int page, bool printing) {
    EXPECT_TRUE(printing);
    EXPECT_TRUE(Preview->PrintJobRunning());
    EXPECT_EQ(Preview->xToPix(10), 100); // printer pixels while printing
    c->Font().SetName("DejaVu Sans");
    c->Font().SetSize(12);
    Preview->MetText(20, 20 + page, "Seite " + std::to_string(page));
    Preview->MetRect(10, 10, 90, 190);
    printed.push_back(page);
  }
};
const TClassInfo& TReportForm::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TReportForm, TForm>("TReportForm")
                                     .Field("Preview", &TReportForm::Preview)
                                     .Method("PreviewCalcPageCount", &TReportForm::PreviewCalcPageCount)
                                     .Method("PreviewPrintPage", &TReportForm::PreviewPrintPage)
                                     .Build();
  return info;
}

} // namespace

TEST_F(PrnprevTest, StoredFormPrintsEveryPageIntoPdf) {
  if (const auto missing = kvtest::missingPdfPeer(); !missing.empty()) GTEST_SKIP() << missing << " missing";
  auto* report = TForm::CreateNew<TReportForm>(&Application());
  ReadComponentText(*report, R"(object Report: TReportForm
  Width = 400
  Height = 300
  object Preview: TPrintPreview
    Left = 0
    Top = 0
    Width = 300
    Height = 250
    Title = 'Vorschau'
    OnCalcPageCount = PreviewCalcPageCount
    OnPrintPage = PreviewPrintPage
  end
end
)",
                    "report.kfm");
  TPrintPreview* preview = report->Preview;
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->PageCount, 1); // counted before the handler was there
  preview->SetScale(0.3);
  preview->Print();
  EXPECT_EQ(report->printed, (std::vector<int>{1, 2, 3}));
  EXPECT_FALSE(preview->PrintJobRunning());
  EXPECT_DOUBLE_EQ(preview->GetScale(), 0.3);
  EXPECT_EQ(pagesPrinted(), (std::vector<std::string>{"StartDoc(\"Vorschau\")", "StartPage(1)",
                                                      "StartPage(2)", "StartPage(3)", "EndDoc"}));
  const std::string pdf = (dir / "preview.pdf").string();
  const auto text = kvtest::run("pdftotext " + kvtest::shellQuote(pdf) + " -");
  ASSERT_EQ(text.exitCode, 0) << text.err;
  const auto p1 = text.out.find("Seite 1"), p2 = text.out.find("Seite 2"), p3 = text.out.find("Seite 3");
  ASSERT_NE(p3, std::string::npos) << text.out;
  EXPECT_LT(p1, p2);
  EXPECT_LT(p2, p3);
  EXPECT_NE(text.out.find('\f', p1), std::string::npos); // a page break between them
  const auto info = kvtest::run("pdfinfo " + kvtest::shellQuote(pdf));
  const auto pagesAt = info.out.find("Pages:");
  ASSERT_NE(pagesAt, std::string::npos) << info.out;
  EXPECT_EQ(std::stoi(info.out.substr(pagesAt + 6)), 3);
  // Font.Size 12 is 12 points on paper: the word's box as high as the peer's at 12 points, but
  // for the font's height in whole printer pixels (42 for 42.3 at 254 dpi).
  const double peer = kvtest::peerWordHeight("DejaVu Sans", 12, "Seite");
  ASSERT_GT(peer, 0) << "pango-view's page has no word pdftotext reads";
  EXPECT_NEAR(kvtest::pdfWord(pdf, "Seite").height(), peer, peer * 0.5 / 42.3);
}

TEST_F(PrnprevTest, PageRangesAndAborts) {
  std::vector<int> printed;
  int pages = 5, abortAfter = 2;
  pv->OnCalcPageCount.Bind([&](TObject*) { pv->PageCount = pages; });
  pv->OnPrintPage.Bind([&](TObject*, TCanvas*, int page, bool) {
    printed.push_back(page);
    pv->GetPrinterDC(); // changes nothing while the job runs
    if (page == abortAfter) pv->PrintAborted = true;
  });
  pv->SetScale(0.2);
  pv->PrintPages(1, 5);
  EXPECT_EQ(printed, (std::vector<int>{1, 2}));
  EXPECT_FALSE(pv->PrintJobRunning());
  EXPECT_DOUBLE_EQ(pv->GetScale(), 0.2);
  EXPECT_EQ(pagesPrinted().back(), "EndDoc");

  printed.clear();
  pages = 3;
  pv->PrintPages(3, 2); // an empty job
  EXPECT_TRUE(printed.empty());
  EXPECT_EQ(pagesPrinted(), (std::vector<std::string>{"StartDoc(\"Dokument\")", "StartPage(1)", "EndDoc"}));

  abortAfter = 0;
  pv->PrintPages(0, 99);
  EXPECT_EQ(printed, (std::vector<int>{1, 2, 3}));

  // Without a handler the document is the one page the job counts, whatever was counted before.
  printed.clear();
  pv->OnCalcPageCount.Clear();
  pv->CalcPageCount();
  EXPECT_EQ(pv->PageCount, 0);
  pv->Print();
  EXPECT_EQ(printed, (std::vector<int>{1}));
  EXPECT_EQ(pagesPrinted().back(), "EndDoc");
}

TEST_F(PrnprevTest, RaisingPageHandlerEndsTheJobCleanly) {
  pv->SetScale(0.4);
  pv->OnPrintPage.Bind([&](TObject*, TCanvas*, int, bool printing) {
    if (printing) throw EConvertError("bad data");
  });
  EXPECT_THROW(pv->Print(), EConvertError);
  EXPECT_FALSE(pv->PrintJobRunning());
  EXPECT_DOUBLE_EQ(pv->GetScale(), 0.4);
  EXPECT_EQ(pagesPrinted().back(), "AbortDoc");
  EXPECT_FALSE(kvtest::fs::exists(dir / "preview.pdf"));
  // The printer is free again.
  pv->OnPrintPage.Clear();
  pv->Print();
  EXPECT_TRUE(kvtest::fs::exists(dir / "preview.pdf"));
}

TEST_F(PrnprevTest, PrinterDCForMeasuring) {
  pv->SetScale(0.5);
  pv->GetPrinterDC();
  pv->GetPrinterDC(); // taken once
  EXPECT_DOUBLE_EQ(pv->GetScale(), 1.0);
  EXPECT_FALSE(pv->PrintJobRunning());
  pv->DrawCanvas()->Font().SetHeight(-50);
  EXPECT_GT(pv->MetTextWidth("Breite"), 0.0);
  EXPECT_NEAR(pv->MetTextHeight("H"), 5.0, 2.0); // about 50 printer pixels
  pv->ReleasePrinterDC();
  EXPECT_DOUBLE_EQ(pv->GetScale(), 0.5);
  EXPECT_EQ(pagesPrinted().back(), "AbortDoc");
  EXPECT_FALSE(kvtest::fs::exists(dir / "preview.pdf"));
}

TEST_F(PrnprevTest, FitScaleAndCentring) {
  form->HandleNeeded();
  struct Row {
    int width, height;
    bool widthBased;
  };
  for (const Row& r : {Row{300, 1000, true}, Row{1000, 300, false}}) {
    pv->SetBounds(0, 0, r.width, r.height);
    const int m = GetSystemMetrics(SM_CXVSCROLL) + 10;
    EXPECT_EQ(pv->Margin(), m);
    EXPECT_EQ(pv->Shadow(), m / 2);
    // The printable page is 1000 x 2000 printer pixels.
    const double byWidth = (r.width - 2.0 * m) / 1000, byHeight = (r.height - 2.0 * m) / 2000;
    const double scale = r.widthBased ? byWidth : byHeight;
    EXPECT_DOUBLE_EQ(pv->GetScale(), scale);
    EXPECT_DOUBLE_EQ(pv->GetScale(), std::min(byWidth, byHeight));
    const int left = static_cast<int>(std::nearbyint(r.width - 1000 * scale)) / 2;
    const int top = static_cast<int>(std::nearbyint(r.height - 2000 * scale)) / 2;
    EXPECT_EQ(pv->PageRect(), (TRect{left, top, static_cast<int>(std::nearbyint(1000 * scale + left)),
                                     static_cast<int>(std::nearbyint(2000 * scale + top))}));
    EXPECT_FALSE(pv->HBar->Visible());
  }
  // A window too small for its margins keeps a positive zoom.
  pv->SetBounds(0, 0, 20, 20);
  EXPECT_GT(pv->GetScale(), 0.0);
}

TEST_F(PrnprevTest, PaintedPagePixels) {
  SetSurfaceFactory(&RasterSurface::make);
  pv->SetBounds(0, 0, 300, 500);
  form->Show();
  int beforePaint = 0;
  pv->BeforePaint.Bind([&](TObject*) { ++beforePaint; });
  pv->OnPrintPage.Bind([&](TObject*, TCanvas* c, int, bool) {
    c->Pen().SetColor(clRed);
    pv->MetLine(-10, 50, 200, 50); // clipped to the page
  });
  pv->Panel->Repaint();
  EXPECT_EQ(beforePaint, 1);
  const Raster* px = WindowRaster(pv->Panel->Handle());
  ASSERT_NE(px, nullptr);
  const TRect p = pv->PageRect();
  const int s = pv->Shadow();
  auto at = [&](int x, int y) { return px->pixel(x, y); };
  EXPECT_EQ(at(p.Left + 3, p.Top + 3), toColor32(clWhite));
  EXPECT_EQ(at(p.Left, p.Top + 3), toColor32(clBlack));            // page border
  EXPECT_EQ(at(p.Right + 1, p.Top + s + 1), toColor32(clBlack));   // shadow on the right
  EXPECT_EQ(at(p.Left + s + 1, p.Bottom + 1), toColor32(clBlack)); // and below
  EXPECT_EQ(at(p.Right + 1, p.Top + 1), toColor32(clBtnFace));     // above the shadow
  EXPECT_EQ(at(1, 1), toColor32(clBtnFace));
  const int lineY = p.Top + pv->yToPix(50);
  EXPECT_EQ(at(p.Left + 10, lineY), toColor32(clRed));
  EXPECT_EQ(at(p.Left - 2, lineY), toColor32(clBtnFace)); // outside the page
}

TEST_F(PrnprevTest, ScrollBarsMoveThePage) {
  pv->SetBounds(0, 0, 300, 300);
  form->Show();
  pv->SetScale(1.0); // 1000 x 2000 pixels: both bars
  ASSERT_TRUE(pv->VBar->Visible());
  ASSERT_TRUE(pv->HBar->Visible());
  EXPECT_EQ(pv->VBar->Max(), 2000 - 300);
  EXPECT_EQ(pv->VBar->LargeChange(), 300);
  EXPECT_EQ(pv->Panel->Width(), pv->ClientWidth() - pv->VBar->Width());
  auto& surface = *dynamic_cast<RecordingSurface*>(GetWindowSurface(pv->Panel->Handle()));
  auto moves = [&] {
    std::vector<std::string> out;
    for (const auto& l : surface.log())
      if (l.rfind("scroll", 0) == 0) out.push_back(l.substr(l.find(" by ") + 4));
    surface.clearLog();
    return out;
  };
  surface.clearLog();
  pv->VBar->Perform(CN_VSCROLL, makeWParam(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(pv->VBar->Position(), 8);
  EXPECT_EQ(moves(), std::vector<std::string>{"0,-8"});
  pv->VBar->Perform(CN_VSCROLL, makeWParam(SB_PAGEUP, 0), 0);
  EXPECT_EQ(pv->VBar->Position(), 0);
  EXPECT_EQ(moves(), std::vector<std::string>{"0,8"});
  pv->VBar->Perform(CN_VSCROLL, makeWParam(SB_LINEUP, 0), 0); // at the top: nothing moves
  EXPECT_TRUE(moves().empty());

  // Thumb: a jump forward moves pixels, a jump back by more than a page repaints all.
  pv->VBar->Perform(CN_VSCROLL, makeWParam(SB_THUMBTRACK, 1000), 0);
  EXPECT_EQ(moves(), std::vector<std::string>{"0,-1000"});
  ValidateRect(pv->Panel->Handle(), nullptr);
  pv->VBar->Perform(CN_VSCROLL, makeWParam(SB_THUMBTRACK, 100), 0);
  EXPECT_TRUE(moves().empty());
  TRect r;
  ASSERT_TRUE(GetUpdateRect(pv->Panel->Handle(), &r, false));
  EXPECT_EQ(r, pv->Panel->ClientRect());

  // Dragging: the page follows the mouse at four times its speed.
  pv->Panel->Perform(WM_LBUTTONDOWN, MK_LBUTTON, makeLParam(50, 50));
  EXPECT_TRUE(pv->Dragging());
  pv->Panel->Perform(WM_MOUSEMOVE, MK_LBUTTON, makeLParam(45, 40));
  EXPECT_EQ(pv->VBar->Position(), 140);
  EXPECT_EQ(pv->HBar->Position(), 20);
  pv->Panel->Perform(WM_LBUTTONUP, 0, makeLParam(45, 40));
  EXPECT_FALSE(pv->Dragging());
  pv->Panel->Perform(WM_MOUSEMOVE, 0, makeLParam(0, 0));
  EXPECT_EQ(pv->VBar->Position(), 140);

  // Zooming out of a scrolled page keeps the bars valid.
  pv->VBar->Perform(CN_VSCROLL, makeWParam(SB_BOTTOM, 0), 0);
  pv->SetScale(0.5);
  EXPECT_EQ(pv->VBar->Max(), 1000 - 300);
  EXPECT_LE(pv->VBar->Position(), pv->VBar->Max());
}

TEST_F(PrnprevTest, Registration) {
  kvtest::expectPalette(Prnprev::Register, "Eigene", {"TPrintPreview"});
  EXPECT_EQ(GetClass("TPaintPanel"), nullptr);
}

} // namespace
