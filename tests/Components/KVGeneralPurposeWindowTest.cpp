#include "KVGeneralPurposeWindow.h"

#include "../Platform/Ui/UiTestSupport.h"

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

class GeneralPurposeWindowTest : public kvtest::UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    form = TForm::CreateNew<TForm>(&Application());
    form->SetBounds(0, 0, 500, 400);
    win = new Probe(form);
    win->SetParent(form);
  }
  RecordingSurface& surface() { return *dynamic_cast<RecordingSurface*>(GetWindowSurface(win->Handle())); }
  int count(const std::string& prefix) {
    int n = 0;
    for (const auto& l : surface().log())
      n += l.rfind(prefix, 0) == 0;
    return n;
  }
  TForm* form = nullptr;
  Probe* win = nullptr;
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
  ClearPalette();
  KVGeneralPurposeWindow::Register();
  ASSERT_EQ(PaletteEntries().size(), 1u);
  EXPECT_EQ(PaletteEntries()[0].Page, "Korvalis");
  EXPECT_EQ(PaletteEntries()[0].ClassName, "TKVGeneralPurposeWindow");
  ClearPalette();
  const TClassInfo* c = GetClass("TKVGeneralPurposeWindow");
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->FindProp("BorderStyle")->IsDefault(*win));
  EXPECT_FALSE(c->FindProp("EraseBackground")->IsDefault(*win)); // always written
}

} // namespace
