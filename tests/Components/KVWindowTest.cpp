#include "KVWindow.h"

#include "Platform/Rtl/Streaming.h"
#include "ScrollForm.h"
#include "WindowTestSupport.h"

#include <algorithm>
#include <functional>

using namespace kv::platform;
using KVWindow::TKVWindow;

namespace {

class KVWindowTest : public kvtest::WindowOnFormTest<TKVWindow> {
protected:
  KVWindowTest() : WindowOnFormTest(400, 300) {}
  TRect updateRect() {
    TRect r;
    GetUpdateRect(win->Handle(), &r, false);
    return r;
  }
  // A window with a scroll model ready: range, page (by hand) and position on the horizontal axis.
  void model(int range, int page, int pos, int unit = 3) {
    win->SetXUnit(unit);
    win->SetXRange(range);
    win->SetXPage(page);
    win->SetXPos(pos);
    ValidateRect(win->Handle(), nullptr);
    surface().clearLog();
  }
  LRESULT hscroll(int code, int pos = 0, HWND bar = 0) {
    return win->Perform(WM_HSCROLL, makeWParam(code, pos), static_cast<LPARAM>(bar));
  }
};

// Exposes the window creation parameters.
class ParamsWindow : public TKVWindow {
public:
  using TKVWindow::TKVWindow;
  TCreateParams params() {
    TCreateParams p;
    CreateParams(p);
    return p;
  }
};

TEST_F(KVWindowTest, CreationDefaults) {
  EXPECT_EQ(win->Width(), 150);
  EXPECT_EQ(win->Height(), 150);
  EXPECT_EQ(win->ControlStyle(),
            (TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks}));
  EXPECT_EQ(win->ScrollStyle(), KVWindow::ssBoth);
  EXPECT_TRUE(win->AutoScroll);
  EXPECT_TRUE(win->ThumbTrack);
  EXPECT_EQ(win->ScrollerXUnit(), 1);
  EXPECT_FALSE(win->HandleAllocated());

  auto* p = new ParamsWindow(form);
  p->SetParent(form);
  struct Row {
    TBorderStyle border;
    KVWindow::TScrollStyle scroll;
    uint32_t style, exStyle;
  };
  const Row rows[] = {
      {TBorderStyle::bsNone, KVWindow::ssBoth, WS_HSCROLL | WS_VSCROLL, 0},
      {TBorderStyle::bsNone, KVWindow::ssHorizontal, WS_HSCROLL, 0},
      {TBorderStyle::bsNone, KVWindow::ssVertical, WS_VSCROLL, 0},
      {TBorderStyle::bsSingle, KVWindow::ssNone, WS_BORDER, WS_EX_CLIENTEDGE},
  };
  for (const auto& r : rows) {
    p->SetBorderStyle(r.border);
    p->SetScrollStyle(r.scroll);
    const TCreateParams cp = p->params();
    EXPECT_EQ(cp.Style & (WS_HSCROLL | WS_VSCROLL | WS_BORDER), r.style);
    EXPECT_EQ(cp.ExStyle & WS_EX_CLIENTEDGE, r.exStyle);
  }
  // A new border style recreates the window.
  const HWND before = p->Handle();
  p->SetBorderStyle(TBorderStyle::bsNone);
  EXPECT_NE(p->Handle(), before);
  EXPECT_FALSE(GetWindowLong(p->Handle(), GWL_STYLE) & WS_BORDER);
}

TEST_F(KVWindowTest, AxisWithoutBarKeepsNeutralValues) {
  win->SetScrollStyle(KVWindow::ssVertical);
  win->SetXUnit(8);
  EXPECT_EQ(win->ScrollerXUnit(), 1);
  win->SetXRange(40);
  EXPECT_EQ(win->ScrollerXRange(), 0);
  EXPECT_FALSE(win->HandleAllocated()); // the window was not touched
  EXPECT_EQ(win->GetXPos(), 0);
  EXPECT_EQ(win->GetXTrackPos(), 0);
  win->SetYUnit(8);
  EXPECT_EQ(win->ScrollerYUnit(), 8);
  EXPECT_FALSE(GetWindowLong(win->Handle(), GWL_STYLE) & WS_HSCROLL);
}

TEST_F(KVWindowTest, SetterWithoutParentWindowRaises) {
  auto* lonely = new TKVWindow(form);
  EXPECT_THROW(lonely->SetXRange(10), EInvalidOperation);
}

TEST_F(KVWindowTest, CalcScrollerPages) {
  win->SetScrollStyle(KVWindow::ssHorizontal); // no vertical bar to take client width
  win->SetBounds(0, 0, 95, 47);
  win->SetXUnit(10);
  win->CalcScroller();
  EXPECT_EQ(win->ScrollerXPage(), 9); // 95 div 10
  win->SetXUnit(0);
  win->CalcScroller();
  EXPECT_EQ(win->ScrollerXPage(), 0); // unit 0: no division
  win->SetXUnit(10);
  int calls = 0;
  win->OnCalcScroller.Bind([&] { ++calls; });
  win->SetBounds(0, 0, 120, 47); // WM_SIZE
  EXPECT_GE(calls, 1);
  EXPECT_EQ(win->ScrollerXPage(), 12);
}

TEST_F(KVWindowTest, PaintWithoutUpdateRegionOpensNoPaint) {
  int paints = 0;
  win->OnPaint.Bind([&](TPaintStruct&) { ++paints; });
  const TRect r1{5, 6, 20, 30};
  ValidateRect(win->Handle(), nullptr);
  InvalidateRect(win->Handle(), &r1, false);
  win->Perform(WM_PAINT);
  EXPECT_EQ(paints, 1);
  EXPECT_EQ(win->PaintRect(), r1);
  surface().clearLog();
  win->Perform(WM_PAINT);
  EXPECT_EQ(paints, 1);
  EXPECT_EQ(win->PaintRect(), r1);
  EXPECT_TRUE(surface().log().empty());
}

TEST_F(KVWindowTest, BackgroundFillOrEraseHandler) {
  win->SetColor(clRed);
  win->HandleNeeded();
  ValidateRect(win->Handle(), nullptr);
  EXPECT_EQ(win->Perform(WM_ERASEBKGND), 0);
  const TRect r{10, 10, 40, 30};
  InvalidateRect(win->Handle(), &r, true);
  surface().clearLog();
  win->Perform(WM_PAINT);
  // A null-pen rectangle one pixel larger on the right and bottom covers exactly rcPaint.
  EXPECT_EQ(log("rectangle"), std::vector<std::string>{"rectangle 10,10,41,31"});
  EXPECT_EQ(log("setBrush").front(), "setBrush $000000FF solid");

  int erased = 0;
  win->OnEraseBackground.Bind([&](TPaintStruct& ps) {
    ++erased;
    EXPECT_EQ(ps.rcPaint, r);
  });
  EXPECT_EQ(win->Perform(WM_ERASEBKGND), -1);
  InvalidateRect(win->Handle(), &r, true);
  surface().clearLog();
  win->Perform(WM_PAINT);
  EXPECT_EQ(erased, 1);
  EXPECT_TRUE(log("rectangle").empty());
}

class Child : public TGraphicControl {
public:
  using TGraphicControl::TGraphicControl;
  TPoint seenOrigin{-1, -1};

protected:
  void Paint() override { seenOrigin = Canvas().Handle()->windowOrg(); }
};

TEST_F(KVWindowTest, OriginFollowsScrollPosition) {
  auto* child = new Child(form);
  child->SetParent(win);
  child->SetBounds(0, 0, 10, 10);
  model(100, 10, 3, 16);
  TPoint seen{-1, -1};
  win->OnPaint.Bind([&](TPaintStruct&) { seen = win->Canvas().Handle()->windowOrg(); });
  InvalidateRect(win->Handle(), nullptr, false);
  win->Perform(WM_PAINT);
  EXPECT_EQ(seen, (TPoint{48, 0}));
  EXPECT_EQ(child->seenOrigin, (TPoint{0, 0})); // the child's own place, with the window origin back at 0

  // A product beyond 32 bits stays at the largest origin instead of wrapping around.
  model(100000, 10, 30000, 100000);
  InvalidateRect(win->Handle(), nullptr, false);
  win->Perform(WM_PAINT);
  EXPECT_EQ(seen.X, 2147483647);

  win->ScrollerSetWindowOrg = false;
  InvalidateRect(win->Handle(), nullptr, false);
  win->Perform(WM_PAINT);
  EXPECT_EQ(seen, (TPoint{0, 0}));
}

// One scroll message and what it does: the new position, the pixels moved (units, 0: none) or a
// whole-window invalidation.
struct ScrollCase {
  const char* what;
  int code;
  int range, page, start;
  bool thumbTrack;
  int trackPos;
  int endPos;
  int movedUnits; // 0: no pixel move
  bool invalidated;
};

TEST_F(KVWindowTest, ScrollRules) {
  const ScrollCase cases[] = {
      {"line left at 0", SB_LINELEFT, 50, 10, 0, true, 0, 0, 0, false},
      {"line left", SB_LINELEFT, 50, 10, 5, true, 0, 4, 1, false},
      {"line right", SB_LINERIGHT, 50, 10, 40, true, 0, 41, -1, false},
      {"line right above range - page", SB_LINERIGHT, 50, 10, 41, true, 0, 41, 0, false},
      {"page left", SB_PAGELEFT, 50, 10, 7, true, 0, 0, 7, false},
      {"page right", SB_PAGERIGHT, 50, 10, 20, true, 0, 30, -10, false},
      // The bar stops at range - page + 1: the pixels move by what the position moved.
      {"page right where the bar stops", SB_PAGERIGHT, 50, 10, 38, true, 0, 41, -3, false},
      {"thumb track", SB_THUMBTRACK, 50, 10, 20, true, 25, 25, -5, false},
      {"thumb track ignored", SB_THUMBTRACK, 50, 10, 20, false, 25, 20, 0, false},
      {"thumb position", SB_THUMBPOSITION, 50, 10, 20, false, 12, 12, 8, false},
      {"thumb position ignored", SB_THUMBPOSITION, 50, 10, 20, true, 12, 20, 0, false},
      {"thumb jump of a page", SB_THUMBTRACK, 50, 10, 20, true, 30, 30, 0, true},
      {"thumb with page 0", SB_THUMBTRACK, 50, 0, 20, true, 21, 21, 0, true},
      {"top", SB_TOP, 50, 10, 20, true, 0, 20, 0, false},
      {"bottom", SB_BOTTOM, 50, 10, 20, true, 0, 20, 0, false},
      {"end scroll", SB_ENDSCROLL, 50, 10, 20, true, 0, 20, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    win->ThumbTrack = c.thumbTrack;
    model(c.range, c.page, c.start, 3);
    SetScrollTrackPos(win->Handle(), SB_HORZ, c.trackPos);
    int scrolls = 0, rects = 0;
    win->OnScroll.Bind([&](int code, int, HWND bar) {
      ++scrolls;
      EXPECT_EQ(code, c.code);
      EXPECT_EQ(bar, 0u);
      return 77;
    });
    win->OnCalcHScrollRect.Bind([&](int, TRect& r) {
      ++rects;
      r = TRect{0, 0, 60, 40};
    });
    EXPECT_EQ(hscroll(c.code), 77);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(rects, 1);
    EXPECT_EQ(win->GetXPos(), c.endPos);
    const auto moves = log("scroll");
    if (c.movedUnits) {
      ASSERT_EQ(moves.size(), 1u);
      EXPECT_EQ(moves[0], "scroll 0,0,60,40 clip 0,0,60,40 by " + std::to_string(c.movedUnits * 3) + ",0");
    } else {
      EXPECT_TRUE(moves.empty());
    }
    EXPECT_EQ(updateRect() == win->ClientRect(), c.invalidated);
  }
}

TEST_F(KVWindowTest, ScrollMessagesThatMoveNothing) {
  model(50, 10, 20);
  int scrolls = 0;
  win->OnScroll.Bind([&](int, int, HWND) { return ++scrolls; });
  // From a scroll bar control: not this window's own bar.
  hscroll(SB_LINERIGHT, 0, 1234);
  EXPECT_EQ(scrolls, 0);
  EXPECT_EQ(win->GetXPos(), 20);
  // Without AutoScroll the event still answers, and nothing moves.
  win->AutoScroll = false;
  EXPECT_EQ(hscroll(SB_LINERIGHT), 1);
  EXPECT_EQ(win->GetXPos(), 20);
  EXPECT_TRUE(log("scroll").empty());
  // The vertical axis: the whole client area moves when no rectangle event is assigned.
  win->AutoScroll = true;
  win->SetYUnit(4);
  win->SetYRange(50);
  win->SetYPage(10);
  surface().clearLog();
  win->Perform(WM_VSCROLL, makeWParam(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(win->GetYPos(), 1);
  ASSERT_EQ(log("scroll").size(), 1u);
  EXPECT_NE(log("scroll")[0].find("by 0,-4"), std::string::npos);
}

TEST_F(KVWindowTest, ScrollByRules) {
  model(50, 10, 2, 4);
  win->ScrollBy(0, 0);
  EXPECT_TRUE(surface().log().empty());
  win->ScrollBy(-5, 0);
  EXPECT_EQ(win->GetXPos(), 0);
  ASSERT_EQ(log("scroll").size(), 1u);
  EXPECT_NE(log("scroll")[0].find("by 8,0"), std::string::npos);

  model(50, 2, 2, 4);
  win->ScrollBy(-5, 0);
  EXPECT_EQ(win->GetXPos(), 0);
  EXPECT_TRUE(log("scroll").empty());
  EXPECT_EQ(updateRect(), win->ClientRect());

  model(50, 0, 40, 4);
  win->AutoScroll = false; // ScrollBy does not care
  int scrolls = 0;
  win->OnScroll.Bind([&](int, int, HWND) { return ++scrolls; });
  win->ScrollBy(100, 0);
  EXPECT_EQ(win->GetXPos(), 50);
  EXPECT_EQ(scrolls, 0);
}

TEST_F(KVWindowTest, MouseAndKeys) {
  std::vector<std::string> seen;
  win->OnMouseEnter.Bind([&](TObject* s) { seen.push_back(s == win ? "enter" : "?"); });
  win->OnMouseLeave.Bind([&](TObject* s) { seen.push_back(s == win ? "leave" : "?"); });
  win->OnWMKeyDown.Bind([&](TWMKey&) { seen.push_back("wmkeydown"); });
  win->OnKeyDown.Bind(
      [&](TObject*, uint16_t& k, TShiftState) { seen.push_back("key " + std::to_string(k)); });
  win->OnMouseWheel.Bind([&](TObject*, TShiftState, int delta, TPoint, bool&) {
    seen.push_back("wheel " + std::to_string(delta));
  });
  win->OnMouseWheelDown.Bind([&](TObject*, TShiftState, TPoint p, bool& handled) {
    seen.push_back("down at " + std::to_string(p.X) + "," + std::to_string(p.Y));
    handled = true;
  });
  win->OnMouseWheelUp.Bind([&](TObject*, TShiftState, TPoint, bool&) { seen.push_back("up"); });
  win->Perform(CM_MOUSEENTER);
  win->Perform(CM_MOUSELEAVE);
  win->Perform(CN_KEYDOWN, 'A', 0);
  // A notch towards the user: OnMouseWheel, then OnMouseWheelDown since the first left it.
  EXPECT_EQ(win->Perform(WM_MOUSEWHEEL, makeWParam(0, -120), makeLParam(30, 40)), 1);
  win->Perform(WM_MOUSEWHEEL, makeWParam(0, 120), makeLParam(30, 40));
  EXPECT_EQ(seen, (std::vector<std::string>{"enter", "leave", "key 65", "wheel -120", "down at 30,40",
                                            "wheel 120", "up"}));
}

TEST_F(KVWindowTest, StoredForm) {
  win->SetName("Win");
  win->SetXUnit(8);
  win->SetXRange(40);
  win->SetXPos(5);
  win->OnCreate.Bind([](TObject*) {}, "WinCreate");
  const std::string text = WriteComponentText(*form);
  for (const char* line : {"BorderStyle = bsNone", "ScrollStyle = ssBoth", "AutoScroll = True",
                           "ThumbTrack = True", "ScrollerSetWindowOrg = True", "ScrollerXUnit = 8",
                           "ScrollerXRange = 40", "ScrollerXPos = 5", "OnCreate = WinCreate"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  // ParentColor is True from the start, the stream default.
  for (const char* absent : {"ScrollerXPage", "ScrollerXTrackPos", "OnPaint", "ParentColor"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent;
  // Stream order: units, ranges, then positions.
  EXPECT_LT(text.find("ScrollerYUnit"), text.find("ScrollerXRange"));
  EXPECT_LT(text.find("ScrollerYRange"), text.find("ScrollerXPos"));
}

TEST_F(KVWindowTest, Registration) {
  kvtest::expectPalette(KVWindow::Register, "Korvalis", {"TKVWindow"});
  EXPECT_NE(GetClass("TKVWindow"), nullptr);
}

// ---- on the screen: frame, bars and the mouse

using kvtest::kBlack;
using kvtest::kFace;
using kvtest::kLight;
using kvtest::kShadow;
using kvtest::kWhite;

// The scrolling window and the scroller window of unit Window, which scrolls exactly as it does.
class KVWindowOnScreenTest : public kvtest::ControlTest, public ::testing::WithParamInterface<const char*> {
protected:
  // A 150 x 150 window with bsSingle and both bars at (10, 10) of a frameless form: border 1 and
  // client edge 2 on each side, bars 16, so the client area is 150 - 6 - 16 = 128 square. Units of
  // 8 pixels and ranges of 40 give pages of 128 div 8 = 16 units, positions 0 .. 40 - 15 = 25.
  void SetUp() override {
    ControlTest::SetUp();
    form = makeForm();
    win = dynamic_cast<TKVWindow*>(GetClass(GetParam())->CreateComponent(form));
    ASSERT_NE(win, nullptr);
    win->SetParent(form);
    win->SetBounds(10, 10, 150, 150);
    win->SetBorderStyle(TBorderStyle::bsSingle);
    win->SetXUnit(8);
    win->SetYUnit(8);
    win->SetXRange(40);
    win->SetYRange(40);
    // Unit cell (column c, row r) in red c x 4 and blue r x 4, drawn where it lies in the document.
    win->OnPaint.Bind([this](TPaintStruct&) {
      TCanvas& c = win->Canvas();
      for (int r = 0; r < 41; ++r)
        for (int col = 0; col < 41; ++col) {
          c.Brush().SetColor(static_cast<TColor>(col * 4 | (r * 4) << 16));
          c.FillRect(TRect{col * 8, r * 8, col * 8 + 8, r * 8 + 8});
        }
    });
    show(form);
  }
  // The colour of the cell shown at a client point for the positions in units.
  static TColor32 cell(int x, int y, int xPos, int yPos) {
    const int col = (x + xPos * 8) / 8, row = (y + yPos * 8) / 8;
    return 0xFF000000u | static_cast<TColor32>(col * 4) << 16 | static_cast<TColor32>(row * 4);
  }
  // A window pixel (frame included) from a client point.
  TColor32 client(int x, int y) { return px(win, x + 3, y + 3); }

public:
  // Synthetic mouse on the window's own coordinates (frame included).
  void press(int x, int y) { mouseDown(win, x - 3, y - 3); }
  void move(int x, int y) { mouseMove(win, x - 3, y - 3); }
  void release(int x, int y) { mouseUp(win, x - 3, y - 3); }

  TForm* form = nullptr;
  TKVWindow* win = nullptr;
};

TEST_P(KVWindowOnScreenTest, FrameAndBarsInTheClassicLook) {
  ASSERT_EQ(win->ClientWidth(), 128);
  ASSERT_EQ(win->ClientHeight(), 128);
  EXPECT_EQ(win->ScrollerXPage(), 16);
  expectPixels(win,
               {
                   {"border, top left", 0, 0, kBlack},
                   {"border, bottom right", 149, 149, kBlack},
                   {"client edge, outer ring", 1, 1, kShadow},
                   {"client edge, inner ring", 2, 2, kBlack},
                   {"client edge, outer ring at the bottom right", 148, 148, kWhite},
                   {"client edge, inner ring at the bottom right", 147, 147, kLight},
                   {"corner between the bars", 139, 139, kFace},
                   // The up arrow's button (131..147, 3..19): face around a black arrow, tip at the centre.
                   {"up arrow's face", 134, 14, kFace},
                   {"up arrow's tip", 139, 9, kBlack},
                   // The thumb at position 0: 96 * 16 div 41 = 37 pixels from the track's top (y 19).
                   {"vertical thumb", 139, 19 + 20, kFace},
                   {"horizontal thumb", 19 + 20, 139, kFace},
                   {"first cell", 3, 3, cell(0, 0, 0, 0)},
                   {"last shown cell", 130, 130, cell(127, 127, 0, 0)},
               });
  // The track below the thumb in the checked pattern: face and highlight alternate.
  EXPECT_NE(px(win, 139, 100), px(win, 140, 100));
  for (int x : {139, 140})
    EXPECT_TRUE(px(win, x, 100) == kFace || px(win, x, 100) == kWhite);
}

TEST_P(KVWindowOnScreenTest, ClicksOnTheBarsScrollByTheRulesAmounts) {
  struct Step {
    const char* what;
    std::function<void(KVWindowOnScreenTest&)> act;
    int xPos, yPos;
  };
  const Step steps[] = {
      // An arrow: one unit, the pixels move by 8.
      {"down arrow", [](auto& t) { t.press(139, 123), t.release(139, 123); }, 0, 1},
      {"right arrow", [](auto& t) { t.press(123, 139), t.release(123, 139); }, 1, 1},
      // The track below the thumb: a page, Min(1 + 16, 40) = 17.
      {"page area below the thumb", [](auto& t) { t.press(139, 110), t.release(139, 110); }, 1, 17},
      {"page area right of the thumb", [](auto& t) { t.press(110, 139), t.release(110, 139); }, 17, 17},
      // Back a page: Max(17 - 16, 0) = 1.
      {"page area above the thumb", [](auto& t) { t.press(139, 21), t.release(139, 21); }, 17, 1},
      // The thumb dragged to the track's end: the last position, 25, while it moves (ThumbTrack).
      {"thumb dragged to the end",
       [](auto& t) {
         t.press(139, 25);
         t.move(139, 130);
         EXPECT_EQ(t.win->GetYPos(), 25);
         t.release(139, 130);
       },
       17, 25},
      // And to the start: 25 units are more than a page, so the window is drawn anew.
      {"thumb dragged to the start",
       [](auto& t) {
         t.press(139, 110);
         t.move(139, 0);
         t.release(139, 0);
       },
       17, 0},
      {"up arrow at the start", [](auto& t) { t.press(139, 11), t.release(139, 11); }, 17, 0},
  };
  std::vector<int> codes;
  win->OnScroll.Bind([&](int code, int, HWND) {
    codes.push_back(code);
    return 0;
  });
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    s.act(*this);
    EXPECT_EQ(win->GetXPos(), s.xPos);
    EXPECT_EQ(win->GetYPos(), s.yPos);
    // The content follows: what shows at the client's corners is the cell of the new position.
    for (const TPoint p : {TPoint{0, 0}, TPoint{127, 0}, TPoint{0, 127}, TPoint{127, 127}, TPoint{60, 70}})
      EXPECT_EQ(client(p.X, p.Y), cell(p.X, p.Y, s.xPos, s.yPos)) << p.X << "," << p.Y;
  }
  // Every press and release reaches OnScroll, ending with SB_ENDSCROLL.
  EXPECT_EQ(codes.front(), SB_LINEDOWN);
  EXPECT_EQ(codes.back(), SB_ENDSCROLL);
}

// A held arrow scrolls at once, again after 250 ms and then every 50 ms while the pointer stays
// on it; a held page area stops where the thumb reaches the pointer.
TEST_P(KVWindowOnScreenTest, HeldArrowsAndPageAreasRepeat) {
  auto advance = [](uint64_t ms) {
    static_cast<VirtualClock&>(currentClock()).advance(ms);
    run();
  };
  press(139, 123); // the down arrow
  EXPECT_EQ(win->GetYPos(), 1);
  advance(249);
  EXPECT_EQ(win->GetYPos(), 1);
  advance(1);
  EXPECT_EQ(win->GetYPos(), 2);
  for (int tick = 0; tick < 4; ++tick) // a timer that falls behind fires once, like the desktop's
    advance(50);
  EXPECT_EQ(win->GetYPos(), 6);
  // Off the arrow nothing moves; back on it the repetition goes on.
  move(60, 60);
  advance(200);
  EXPECT_EQ(win->GetYPos(), 6);
  move(139, 123);
  advance(50);
  EXPECT_EQ(win->GetYPos(), 7);
  release(139, 123);
  advance(500);
  EXPECT_EQ(win->GetYPos(), 7);
  EXPECT_EQ(GetCapture(), HWND{0});
  // The track right of the thumb (19 .. 115, thumb 96 * 16 div 41 = 37 pixels at 19 + 59 * pos
  // div 25): a page to 16 (thumb 56 .. 93, still left of the pointer at 100), then one more that
  // the bar stops at 25, where the thumb covers the pointer.
  press(100, 139);
  EXPECT_EQ(win->GetXPos(), 16);
  advance(250);
  EXPECT_EQ(win->GetXPos(), 25);
  release(100, 139);
  // Above the thumb, with the pointer just below the track's start: the pages stop once the
  // thumb (at 19 + 59 * pos div 25) covers the pointer at 40, at position 9 (thumb 40 .. 77).
  win->SetYPos(25);
  press(139, 40);
  EXPECT_EQ(win->GetYPos(), 9);
  advance(250 + 50 * 3);
  EXPECT_EQ(win->GetYPos(), 9);
  release(139, 40);
}

TEST_P(KVWindowOnScreenTest, OneKeyPressFiresOnKeyDownOnce) {
  int downs = 0, presses = 0;
  win->OnKeyDown.Bind([&](TObject*, uint16_t&, TShiftState) { ++downs; });
  win->OnKeyPress.Bind([&](TObject*, char&) { ++presses; });
  win->SetFocus();
  run();
  key('A');
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(presses, 1); // the character still follows
  key(VK_TAB);           // a dialog key, taken by the form after OnKeyDown
  EXPECT_EQ(downs, 2);
}

INSTANTIATE_TEST_SUITE_P(ScrollingWindows, KVWindowOnScreenTest, ::testing::Values("TKVWindow", "TWindow"));

// ---- a stored form with several scrolling windows

class StoredScrollingWindowsTest : public kvtest::UiTest {};

TEST_F(StoredScrollingWindowsTest, EveryWindowComesBackWithItsBarsAndTheFormWritesBackUnchanged) {
  auto* form = TCustomForm::CreateNew<TForm>(&Application());
  ReadComponentText(*form, kvtest::kScrollForm, "ScrollForm.kfm");
  Application().ProcessMessages();
  EXPECT_EQ(WriteComponentText(*form), kvtest::kScrollForm);

  struct Bar {
    const char* window;
    int bar, max, page, pos;
  };
  // The bar's maximum is the range, its page the units that fit; Sheet's bar runs over the
  // pixels of the range, with the client extent as its page.
  const Bar bars[] = {
      {"Chart", SB_HORZ, 40, 16, 25}, {"Chart", SB_VERT, 30, 8, 7},      {"Lines", SB_HORZ, 50, 13, 20},
      {"Lines", SB_VERT, 60, 11, 49}, {"Sheet", SB_HORZ, 599, 180, 150}, {"Sheet", SB_VERT, 399, 100, 300},
  };
  for (const Bar& b : bars) {
    SCOPED_TRACE(std::string(b.window) + (b.bar == SB_HORZ ? " horizontal" : " vertical"));
    auto* w = dynamic_cast<TWinControl*>(form->FindComponent(b.window));
    ASSERT_NE(w, nullptr);
    TScrollInfo si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(w->Handle(), b.bar, si));
    EXPECT_EQ(si.nMax, b.max);
    EXPECT_EQ(static_cast<int>(si.nPage), b.page);
    EXPECT_EQ(si.nPos, b.pos);
  }
  // Following the form's colour survives the round trip, whatever the class's default.
  for (const char* name : {"Chart", "Lines", "Sheet", "Anim", "Entry"}) {
    auto* c = dynamic_cast<TControl*>(form->FindComponent(name));
    EXPECT_TRUE(c->ParentColor()) << name;
    EXPECT_EQ(c->Color(), clBtnFace) << name;
  }
  auto* still = dynamic_cast<TControl*>(form->FindComponent("Still"));
  EXPECT_FALSE(still->ParentColor());
  EXPECT_EQ(still->Color(), clAqua);
}

} // namespace
