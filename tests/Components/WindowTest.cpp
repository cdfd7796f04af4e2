#include "Window.h"

#include "../Platform/Ui/UiTestSupport.h"
#include "Platform/Rtl/Streaming.h"

using namespace kv::platform;
using Window::TScroller;
using Window::TWindow;

namespace {

class TScrollerForm : public TForm {
  KV_CLASS_INFO(TScrollerForm)
public:
  using TForm::TForm;
  TWindow* Win = nullptr;
};

const TClassInfo& TScrollerForm::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TScrollerForm, TForm>("TScrollerForm").Field("Win", &TScrollerForm::Win).Build();
  return info;
}

class WindowTest : public kvtest::UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    RegisterClass(TScrollerForm::StaticClassInfo());
    form = TForm::CreateNew<TScrollerForm>(&Application());
    form->SetBounds(0, 0, 400, 300);
    win = new TWindow(form);
    win->SetParent(form);
  }
  TScrollerForm* form = nullptr;
  TWindow* win = nullptr;
};

TEST_F(WindowTest, CopiesDoNotDriveTheWindow) {
  EXPECT_EQ(win->ScrollStyle(), KVWindow::ssNone);
  EXPECT_FALSE(win->AutoScroll);
  EXPECT_FALSE(win->ScrollerSetWindowOrg);
  const KVWindow::TKVWindow& face = *win;
  EXPECT_EQ(face.ScrollStyle(), KVWindow::ssBoth);
  EXPECT_TRUE(face.AutoScroll);

  const HWND before = win->Handle();
  win->SetScrollStyle(KVWindow::ssNone);
  EXPECT_EQ(win->Handle(), before);                    // not recreated
  EXPECT_TRUE(win->HasHorzBar() && win->HasVertBar()); // still the bars of ssBoth

  // Scroll messages still scroll, and painting still shifts the origin.
  win->SetXUnit(5);
  win->SetXRange(50);
  win->SetXPage(10);
  win->Perform(WM_HSCROLL, makeWParam(SB_LINERIGHT, 0), 0);
  EXPECT_EQ(win->GetXPos(), 1);
  TPoint seen;
  win->OnPaint.Bind([&](TPaintStruct&) { seen = win->Canvas().Handle()->windowOrg(); });
  InvalidateRect(win->Handle(), nullptr, false);
  win->Perform(WM_PAINT);
  EXPECT_EQ(seen, (TPoint{5, 0}));
}

TEST_F(WindowTest, ScrollerIsStorageOnly) {
  TScroller& s = win->Scroller();
  EXPECT_EQ(s.XUnit, 1);
  EXPECT_EQ(s.YUnit, 1);
  EXPECT_FALSE(s.ThumbTrack);
  s.SetHorzPos(17);
  s.SetVertRange(99);
  TWMScroll m;
  m.ScrollCode = SB_LINEDOWN;
  s.HScroll(m);
  s.VScroll(m);
  s.ScrollBy(3, 4);
  s.ScrollTo(1, 1);
  EXPECT_EQ(s.GetHorzPos(), 17);
  EXPECT_EQ(s.YRange, 99);
  EXPECT_EQ(win->GetXPos(), 0); // the window's bar knows nothing of it

  TScroller other(nullptr, KVWindow::ssBoth);
  other.XUnit = 12;
  win->SetScroller(&other);
  EXPECT_EQ(win->Scroller().XUnit, 12);
  EXPECT_NE(&win->Scroller(), &other); // the window keeps owning its own
}

TEST_F(WindowTest, StoredCopiesRoundTrip) {
  form->SetName("ScrollerForm");
  win->SetName("Win");
  win->AutoScroll = true;
  win->ScrollControls = true;
  win->SetScrollStyle(KVWindow::ssVertical);
  win->Scroller().XPos = 33;
  win->Scroller().YPage = 7;
  const std::string text = WriteComponentText(*form);
  EXPECT_NE(text.find("ScrollStyle = ssVertical"), std::string::npos);
  EXPECT_NE(text.find("Scroller.XPos = 33"), std::string::npos) << text;
  EXPECT_NE(text.find("ScrollControls = True"), std::string::npos);
  EXPECT_EQ(text.find("ScrollStyle = ssBoth"), std::string::npos); // the inherited value is not written

  auto* copy = TForm::CreateNew<TScrollerForm>(&Application());
  ReadComponentText(*copy, text, "ScrollerForm.kfm");
  ASSERT_NE(copy->Win, nullptr);
  EXPECT_EQ(copy->Win->ScrollStyle(), KVWindow::ssVertical);
  EXPECT_TRUE(copy->Win->AutoScroll);
  EXPECT_TRUE(copy->Win->ScrollControls);
  EXPECT_FALSE(copy->Win->ScrollerSetWindowOrg);
  EXPECT_EQ(copy->Win->Scroller().XPos, 33);
  EXPECT_EQ(copy->Win->Scroller().YPage, 7);
  EXPECT_EQ(static_cast<KVWindow::TKVWindow&>(*copy->Win).ScrollStyle(), KVWindow::ssBoth);
}

TEST_F(WindowTest, Registration) {
  kvtest::expectPalette(Window::Register, "Korvalis", {"TWindow"});
  EXPECT_EQ(GetClass("TScroller"), nullptr); // a companion, not registered
}

} // namespace
