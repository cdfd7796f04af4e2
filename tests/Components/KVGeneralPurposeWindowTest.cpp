#include "KVGeneralPurposeWindow.h"

#include "WindowTestSupport.h"

#include <functional>

using namespace kv::platform;
using KVGeneralPurposeWindow::TKVGeneralPurposeWindow;

namespace {

class Probe : public TKVGeneralPurposeWindow {
public:
  using TKVGeneralPurposeWindow::TKVGeneralPurposeWindow;
  int calcs = 0;
  void CalcScroller() override { ++calcs; }
  TCreateParams params() {
    TCreateParams p;
    CreateParams(p);
    return p;
  }
};

class GeneralPurposeWindowTest : public kvtest::WindowOnFormTest<Probe> {
protected:
  GeneralPurposeWindowTest() : WindowOnFormTest(500, 400) {}
  int count(const std::string& prefix) { return static_cast<int>(log(prefix).size()); }
};

TEST_F(GeneralPurposeWindowTest, CreationAndBorders) {
  EXPECT_EQ(win->Width(), 200);
  EXPECT_EQ(win->Height(), 200);
  EXPECT_EQ(win->BorderStyle(), TBorderStyle::bsSingle);
  EXPECT_TRUE(win->EraseBackground());
  EXPECT_FALSE(win->UseLockWinUpdate());
  struct Row {
    TBorderStyle border;
    bool ctl3D;
    uint32_t style, exStyle;
  };
  const Row rows[] = {
      {TBorderStyle::bsSingle, true, 0, WS_EX_CLIENTEDGE},
      {TBorderStyle::bsSingle, false, WS_BORDER, 0},
      {TBorderStyle::bsNone, true, 0, 0},
  };
  for (const auto& r : rows) {
    win->SetBorderStyle(r.border);
    win->SetCtl3D(r.ctl3D);
    const TCreateParams p = win->params();
    EXPECT_EQ(p.Style & WS_BORDER, r.style);
    EXPECT_EQ(p.ExStyle & WS_EX_CLIENTEDGE, r.exStyle);
  }
}

TEST_F(GeneralPurposeWindowTest, DesignOutline) {
  struct Row {
    bool designing;
    TBorderStyle border;
    bool outline;
  };
  for (const Row& r : {Row{true, TBorderStyle::bsNone, true}, Row{false, TBorderStyle::bsNone, false},
                       Row{true, TBorderStyle::bsSingle, false}}) {
    win->SetBorderStyle(r.border);
    win->SetDesigning(r.designing);
    InvalidateRect(win->Handle(), nullptr, false);
    surface().clearLog();
    win->Perform(WM_PAINT);
    const auto& log = surface().log();
    const bool dashed = std::find(log.begin(), log.end(), "setPen $FF000008 1 dash") != log.end();
    const std::string box =
        "rectangle 0,0," + std::to_string(win->ClientWidth()) + "," + std::to_string(win->ClientHeight());
    EXPECT_EQ(dashed, r.outline);
    EXPECT_EQ(std::find(log.begin(), log.end(), box) != log.end(), r.outline);
  }
}

TEST_F(GeneralPurposeWindowTest, PaintGetsTheUpdateRectangle) {
  win->HandleNeeded();
  ValidateRect(win->Handle(), nullptr);
  std::vector<TRect> seen;
  win->OnPaint.Bind([&](TObject* s, DrawingContext* dc, TRect r) {
    EXPECT_EQ(s, win);
    EXPECT_EQ(win->Canvas().Handle(), dc);
    seen.push_back(r);
  });
  const TRect r{12, 20, 40, 33};
  InvalidateRect(win->Handle(), &r, false);
  win->Perform(WM_PAINT);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], r);
  EXPECT_EQ(win->PaintRect(), r);
  EXPECT_FALSE(win->Canvas().HandleAllocated()); // unbound after the event

  // A raising handler still leaves the canvas unbound and unlocked.
  win->OnPaint.Bind([](TObject*, DrawingContext*, TRect) { throw EInvalidOperation("boom"); });
  InvalidateRect(win->Handle(), &r, false);
  EXPECT_THROW(win->Perform(WM_PAINT), EInvalidOperation);
  EXPECT_FALSE(win->Canvas().HandleAllocated());
  EXPECT_EQ(win->Canvas().LockCount(), 0);
}

TEST_F(GeneralPurposeWindowTest, EraseRules) {
  win->HandleNeeded();
  win->OnPaint.Bind([](TObject*, DrawingContext*, TRect) {});
  struct Row {
    bool erase, designing, filled;
  };
  for (const Row& r : {Row{true, false, true}, Row{false, false, false}, Row{false, true, true}}) {
    win->SetEraseBackground(r.erase);
    win->SetDesigning(r.designing);
    ValidateRect(win->Handle(), nullptr);
    InvalidateRect(win->Handle(), nullptr, true);
    surface().clearLog();
    win->Perform(WM_PAINT);
    EXPECT_EQ(count("fillRect") > 0, r.filled) << r.erase << r.designing;
  }
}

TEST_F(GeneralPurposeWindowTest, ScrollNotificationAndLock) {
  win->HorzScrollBar().SetRange(1000);
  win->HandleNeeded();
  int seenPos = -1;
  win->OnWMHScroll.Bind([&](TObject*, const TWMScroll& m) {
    EXPECT_EQ(m.ScrollCode, SB_LINEDOWN);
    seenPos = win->HorzScrollBar().Position();
    EXPECT_NE(GetLockedWindow(), win->Handle()); // released before the event
  });
  surface().clearLog();
  win->Perform(WM_HSCROLL, makeWParam(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(seenPos, 8); // already applied
  EXPECT_EQ(count("scroll"), 1);

  // Locked: the pixels stay put and the window is drawn anew instead.
  win->SetUseLockWinUpdate(true);
  ValidateRect(win->Handle(), nullptr);
  surface().clearLog();
  win->Perform(WM_HSCROLL, makeWParam(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(seenPos, 16);
  EXPECT_EQ(count("scroll"), 0);
  EXPECT_EQ(GetLockedWindow(), 0u);

  // Another window's lock is not ours to release.
  LockWindowUpdate(form->Handle());
  win->Perform(WM_HSCROLL, makeWParam(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(GetLockedWindow(), form->Handle());
  LockWindowUpdate(0);

  int vertical = 0;
  win->OnWMVScroll.Bind([&](TObject*, const TWMScroll&) { ++vertical; });
  win->Perform(WM_VSCROLL, makeWParam(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(vertical, 1);
}

TEST_F(GeneralPurposeWindowTest, ResizeCallsHookAndInvalidates) {
  win->HandleNeeded();
  ValidateRect(win->Handle(), nullptr);
  const int before = win->calcs;
  win->SetBounds(0, 0, 260, 220);
  EXPECT_EQ(win->calcs, before + 1);
  TRect r;
  ASSERT_TRUE(GetUpdateRect(win->Handle(), &r, false));
  EXPECT_EQ(r, win->ClientRect());
}

TEST_F(GeneralPurposeWindowTest, Registration) {
  kvtest::expectPalette(KVGeneralPurposeWindow::Register, "Korvalis", {"TKVGeneralPurposeWindow"});
  const TClassInfo* c = GetClass("TKVGeneralPurposeWindow");
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->FindProp("BorderStyle")->IsDefault(*win));
  EXPECT_FALSE(c->FindProp("EraseBackground")->IsDefault(*win)); // always written
}

// ---- on the screen: frame, bars and the mouse

using kvtest::kBlack;
using kvtest::kFace;
using kvtest::kLight;
using kvtest::kShadow;
using kvtest::kWhite;

class GeneralPurposeWindowOnScreenTest : public kvtest::ControlTest {
protected:
  // A 200 x 200 window with its sunken client edge (bsSingle, Ctl3D) at (10, 10) of a frameless
  // form, and 1000 pixels to scroll each way: the client area is 200 - 4 - 16 = 180 square.
  void SetUp() override {
    ControlTest::SetUp();
    form = makeForm(400, 300);
    win = new TKVGeneralPurposeWindow(form);
    win->SetParent(form);
    win->SetBounds(10, 10, 200, 200);
    win->HorzScrollBar().SetRange(1000);
    win->VertScrollBar().SetRange(1000);
    // 10-pixel cells of the document: red for the column, blue for the row.
    win->OnPaint.Bind([this](TObject*, DrawingContext*, TRect r) {
      const int h = win->HorzScrollBar().Position(), v = win->VertScrollBar().Position();
      TCanvas& c = win->Canvas();
      for (int y = (r.Top + v) / 10; y * 10 - v < r.Bottom; ++y)
        for (int x = (r.Left + h) / 10; x * 10 - h < r.Right; ++x) {
          c.Brush().SetColor(static_cast<TColor>((x % 64) * 4 | ((y % 64) * 4) << 16));
          c.FillRect(TRect{x * 10 - h, y * 10 - v, x * 10 - h + 10, y * 10 - v + 10});
        }
    });
    show(form);
  }
  static TColor32 cell(int x, int y, int h, int v) {
    const int col = (x + h) / 10 % 64, row = (y + v) / 10 % 64;
    return 0xFF000000u | static_cast<TColor32>(col * 4) << 16 | static_cast<TColor32>(row * 4);
  }

public:
  // Synthetic mouse on the window's own coordinates (frame included).
  void press(int x, int y) { mouseDown(win, x - 2, y - 2); }
  void move(int x, int y) { mouseMove(win, x - 2, y - 2); }
  void release(int x, int y) { mouseUp(win, x - 2, y - 2); }
  void clickAt(int x, int y) { press(x, y), release(x, y); }

  TForm* form = nullptr;
  TKVGeneralPurposeWindow* win = nullptr;
};

TEST_F(GeneralPurposeWindowOnScreenTest, FrameAndBarsInTheClassicLook) {
  ASSERT_EQ(win->ClientWidth(), 180);
  ASSERT_EQ(win->ClientHeight(), 180);
  expectPixels(win, {
                        {"client edge, outer ring", 0, 0, kShadow},
                        {"client edge, inner ring", 1, 1, kBlack},
                        {"client edge, outer ring at the bottom right", 199, 199, kWhite},
                        {"client edge, inner ring at the bottom right", 198, 198, kLight},
                        {"corner between the bars", 190, 190, kFace},
                        {"down arrow's tip", 190, 174 + 1, kBlack},
                        {"first cell", 2, 2, cell(0, 0, 0, 0)},
                        {"last shown cell", 181, 181, cell(179, 179, 0, 0)},
                    });
}

TEST_F(GeneralPurposeWindowOnScreenTest, ClicksScrollByTheScrollBarsAmounts) {
  // The container's amounts: an arrow is the increment (8), the track a page of three quarters
  // of the client extent (135), and the last position is the range less the extent (820).
  struct Step {
    const char* what;
    std::function<void(GeneralPurposeWindowOnScreenTest&)> act;
    int h, v;
  };
  const Step steps[] = {
      {"down arrow", [](auto& t) { t.clickAt(190, 174); }, 0, 8},
      {"right arrow", [](auto& t) { t.clickAt(174, 190); }, 8, 8},
      {"page area below the thumb", [](auto& t) { t.clickAt(190, 160); }, 8, 143},
      {"page area above the thumb", [](auto& t) { t.clickAt(190, 20); }, 8, 8},
      // Without Tracking the thumb takes effect where it is let go: at the track's end, 820.
      {"thumb dragged to the end",
       [](auto& t) {
         t.press(190, 22);
         t.move(190, 190);
         EXPECT_EQ(t.win->VertScrollBar().Position(), 8);
         t.release(190, 190);
       },
       8, 820},
      {"up arrow", [](auto& t) { t.clickAt(190, 10); }, 8, 812},
      // A document beyond the 16 bits of a scroll message: the thumb still reaches its end.
      {"thumb of a long document dragged to the end",
       [](auto& t) {
         t.win->VertScrollBar().SetRange(40000);
         t.press(190, 20);
         t.release(190, 190);
       },
       8, 40000 - 180},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    s.act(*this);
    EXPECT_EQ(win->HorzScrollBar().Position(), s.h);
    EXPECT_EQ(win->VertScrollBar().Position(), s.v);
    for (const TPoint p : {TPoint{0, 0}, TPoint{179, 0}, TPoint{0, 179}, TPoint{179, 179}, TPoint{83, 97}})
      EXPECT_EQ(px(win, p.X + 2, p.Y + 2), cell(p.X, p.Y, s.h, s.v)) << p.X << "," << p.Y;
  }
}

TEST_F(GeneralPurposeWindowOnScreenTest, BarsFollowEveryResize) {
  struct Row {
    int width, height;
    UINT hPage, vPage; // the client extents: width - 4 - 16, height - 4 - 16
  };
  for (const Row& r : {Row{260, 220, 240, 200}, Row{150, 300, 130, 280}}) {
    win->SetBounds(10, 10, r.width, r.height);
    run();
    TScrollInfo h, v;
    h.fMask = v.fMask = SIF_ALL;
    GetScrollInfo(win->Handle(), SB_HORZ, h);
    GetScrollInfo(win->Handle(), SB_VERT, v);
    EXPECT_EQ(h.nPage, r.hPage);
    EXPECT_EQ(v.nPage, r.vPage);
    // A page click moves by three quarters of the new extent.
    const int before = win->VertScrollBar().Position();
    clickAt(r.width - 10, r.height - 4 - 16 - 20);
    EXPECT_EQ(win->VertScrollBar().Position(), before + static_cast<int>(r.vPage) * 3 / 4);
  }
}

} // namespace
