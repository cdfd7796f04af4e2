#include "Platform/Graphics/Printer.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace kv::platform;
namespace fs = std::filesystem;

namespace {

std::string pdfText(const fs::path& pdf, int page) {
  const auto r = kvtest::run("pdftotext -layout -f " + std::to_string(page) + " -l " + std::to_string(page) +
                             " " + kvtest::shellQuote(pdf.string()) + " -");
  return r.exitCode == 0 ? r.out : "pdftotext failed: " + r.err;
}

std::string pdfInfo(const fs::path& pdf) {
  const auto r = kvtest::run("pdfinfo " + kvtest::shellQuote(pdf.string()));
  return r.exitCode == 0 ? r.out : "pdfinfo failed: " + r.err;
}

int pageCount(const std::string& info) {
  const auto at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

HFONT textFont(int height, int escapement = 0) {
  return CreateFontA(height, 0, escapement, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 2, 0, "DejaVu Sans");
}

} // namespace

TEST(PrinterTest, PageMetricsComeFromPaperMarginsAndResolution) {
  Printer p; // A4, 5 mm margins, 300 dpi
  // 210 mm = 2480.3 px, 297 mm = 3507.9 px, margins 59.06 px on each side.
  EXPECT_EQ(p.GetDeviceCaps(PHYSICALWIDTH), 2480);
  EXPECT_EQ(p.GetDeviceCaps(PHYSICALHEIGHT), 3508);
  EXPECT_EQ(p.GetDeviceCaps(PHYSICALOFFSETX), 59);
  EXPECT_EQ(p.PageWidth(), 2362);
  EXPECT_EQ(p.PageHeight(), 3390);
  EXPECT_EQ(p.GetDeviceCaps(HORZSIZE), 200); // 2362 px = 199.98 mm
  EXPECT_EQ(p.GetDeviceCaps(VERTSIZE), 287); // 3390 px = 287.02 mm
  EXPECT_EQ(p.GetDeviceCaps(LOGPIXELSX), 300);
  EXPECT_EQ(p.GetDeviceCaps(TECHNOLOGY), DT_RASPRINTER);
  // Outside a job the canvas measures with the printer's resolution.
  const HFONT f = textFont(-100);
  p.Canvas().SelectObject(f);
  TSize size;
  p.Canvas().GetTextExtentPoint("W", &size);
  EXPECT_GT(size.cy, 100);
  p.Canvas().SelectObject(GetStockObject(SYSTEM_FONT));
  DeleteObject(f);
}

TEST(PrinterTest, APrintedTestPageIsAPdfWhoseTextCanBeFound) {
  if (!kvtest::haveTool("pdftotext") || !kvtest::haveTool("pdfinfo")) GTEST_SKIP() << "poppler-utils missing";
  kvtest::TempDir dir;
  Printer p;
  p.setOutputFolder(dir.str());
  p.setTitle("Testseite");
  p.BeginDoc();
  EXPECT_TRUE(p.Printing());
  DeviceContext& dc = p.Canvas();
  const HFONT big = textFont(-80);
  const HFONT up = textFont(-60, 900);
  dc.SelectObject(big);
  dc.TextOut(100, 100, "Korvalis Druckprobe");
  dc.SelectObject(CreateSolidBrush(clSilver));
  dc.Rectangle(100, 300, 1200, 900);
  dc.Ellipse(200, 400, 600, 800);
  dc.MoveToEx(100, 1000, nullptr);
  dc.LineTo(2000, 1000);
  TRect r{100, 1100, 2300, 1300};
  dc.DrawText("Mittig gesetzt", &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  Raster pic(4, 4, 0xFF00FF00);
  dc.StretchBlt(100, 1400, 400, 400, pic, 0, 0, 4, 4);
  dc.SelectObject(up);
  dc.TextOut(2200, 3000, "Seitlich");
  dc.TextOut(100, 2000, "kaputt \xFF Bytes"); // broken UTF-8 must not break the document
  p.NewPage();
  EXPECT_EQ(p.PageNumber(), 2);
  dc.SelectObject(big);
  dc.TextOut(100, 100, "Zweite Seite \xC3\xA4\xC3\xB6\xC3\xBC");
  p.EndDoc();
  EXPECT_FALSE(p.Printing());
  DeleteObject(dc.SelectObject(GetStockObject(WHITE_BRUSH)));
  DeleteObject(big);
  DeleteObject(up);

  const fs::path pdf = dir / "Testseite.pdf";
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_EQ(p.documentFile(), pdf.string());
  EXPECT_FALSE(fs::exists(pdf.string() + ".part"));
  EXPECT_EQ(kvtest::readFile(pdf).substr(0, 5), "%PDF-");
  const std::string info = pdfInfo(pdf);
  EXPECT_EQ(pageCount(info), 2) << info;
  EXPECT_NE(info.find("595."), std::string::npos) << info; // A4 in points: 595.3 x 841.9
  EXPECT_NE(info.find("841."), std::string::npos) << info;
  EXPECT_NE(info.find("Testseite"), std::string::npos) << info;
  const std::string one = pdfText(pdf, 1), two = pdfText(pdf, 2);
  EXPECT_NE(one.find("Korvalis Druckprobe"), std::string::npos) << one;
  EXPECT_NE(one.find("Mittig gesetzt"), std::string::npos) << one;
  EXPECT_NE(one.find("kaputt"), std::string::npos) << one;
  EXPECT_EQ(one.find("Zweite Seite"), std::string::npos) << one;
  EXPECT_NE(two.find("Zweite Seite \xC3\xA4\xC3\xB6\xC3\xBC"), std::string::npos) << two;
}

TEST(PrinterTest, ARecordedJobShowsItsPageSequence) {
  kvtest::TempDir dir;
  Printer p;
  p.setRecording(true);
  p.setOutputFile((dir / "job.pdf").string());
  p.setTitle("Job");
  p.BeginDoc();
  p.Canvas().TextOut(10, 20, "eins");
  p.NewPage();
  p.NewPage();
  p.Canvas().Rectangle(1, 2, 3, 4);
  p.EndDoc();
  EXPECT_EQ(p.jobLog(),
            (std::vector<std::string>{"StartDoc(\"Job\")", "StartPage(1)", "TextOut(10,20,\"eins\")",
                                      "EndPage(1)", "StartPage(2)", "EndPage(2)", "StartPage(3)",
                                      "Rectangle(1,2,3,4)", "EndPage(3)", "EndDoc"}));
  ASSERT_TRUE(kvtest::haveTool("pdfinfo")) << "pdfinfo missing";
  EXPECT_EQ(pageCount(pdfInfo(dir / "job.pdf")), 3);
  // An empty job still makes one blank page.
  p.setRecording(false);
  p.BeginDoc();
  p.EndDoc();
  EXPECT_EQ(pageCount(pdfInfo(dir / "job.pdf")), 1);
}

TEST(PrinterTest, AbortsAndMisuseLeaveNoFiles) {
  kvtest::TempDir dir;
  Printer p;
  p.setRecording(true);
  p.setOutputFolder(dir.str());
  p.setTitle("a/b: Bericht");
  EXPECT_THROW(p.NewPage(), EPrinter);
  EXPECT_THROW(p.EndDoc(), EPrinter);
  p.Abort(); // nothing to abort
  EXPECT_FALSE(p.Aborted());
  p.BeginDoc();
  EXPECT_THROW(p.BeginDoc(), EPrinter);
  p.Canvas().TextOut(0, 0, "weg");
  p.Abort();
  EXPECT_TRUE(p.Aborted());
  EXPECT_FALSE(p.Printing());
  EXPECT_EQ(p.jobLog().back(), "AbortDoc");
  EXPECT_TRUE(fs::is_empty(dir.path()));

  // Titles become safe file names; a second job with the same title does not overwrite the first.
  p.BeginDoc();
  p.EndDoc();
  p.BeginDoc();
  p.EndDoc();
  EXPECT_TRUE(fs::exists(dir / "a_b: Bericht.pdf"));
  EXPECT_TRUE(fs::exists(dir / "a_b: Bericht (2).pdf"));
  EXPECT_FALSE(p.Aborted());

  Printer bad;
  bad.setOutputFile((dir / "missing" / "x.pdf").string());
  EXPECT_THROW(bad.BeginDoc(), EPrinter);
  EXPECT_FALSE(bad.Printing());
  EXPECT_FALSE(fs::exists(dir / "missing"));
  {
    Printer dropped;
    dropped.setOutputFile((dir / "dropped.pdf").string());
    dropped.BeginDoc();
  } // destroyed while printing: abandoned
  EXPECT_FALSE(fs::exists(dir / "dropped.pdf"));
  EXPECT_FALSE(fs::exists(dir / "dropped.pdf.part"));
}
