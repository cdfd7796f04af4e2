// The drop-down list view: its geometry, opening and closing through the button and the
// captured press, the caption copied on a row click, and what a stored form brings back.
#include "DropDownListView.h"

#include "../Platform/Ui/UiTestSupport.h"

#include "Platform/Rtl/Streaming.h"

using namespace kv::platform;
using namespace DropDownListView;

namespace {

class DropDownListViewTest : public kvtest::UiTest {
protected:
  TDropDownListView* make(int left = 20, int top = 30) {
    form = TCustomForm::CreateNew<TForm>(&Application());
    form->SetBorderStyle(TBorderStyle::bsNone);
    form->SetBounds(100, 50, 400, 300);
    auto* f = new TDropDownListView(form);
    f->SetName("Drop");
    f->SetParent(form);
    f->SetLeft(left);
    f->SetTop(top);
    f->Columns().Add()->SetWidth(120);
    for (const char* s : {"alpha", "beta", "gamma"}) f->Items().Add()->SetCaption(s);
    form->Show();
    Application().ProcessMessages();
    return f;
  }
  static void clickAt(TPoint screen) {
    HeadlessPresenter::click(screen);
    Application().ProcessMessages();
  }
  TForm* form = nullptr;
};

} // namespace

TEST_F(DropDownListViewTest, NewFieldAndItsList) {
  auto* f = new TDropDownListView(nullptr);
  EXPECT_EQ(f->Width(), 216);
  EXPECT_EQ(f->Height(), 21);
  EXPECT_TRUE(f->ReadOnly());
  EXPECT_EQ(f->List->Height(), 240);
  EXPECT_EQ(f->List->ViewStyle(), TViewStyle::vsReport);
  EXPECT_TRUE(f->List->RowSelect());
  EXPECT_FALSE(f->List->ShowColumnHeaders());
  EXPECT_FALSE(f->HideSelection());
  EXPECT_EQ(f->Btn->Owner(), f);
  EXPECT_EQ(f->List->Parent(), f);
  TComponent::Free(f);
}

TEST_F(DropDownListViewTest, WindowCreationSetsTheButtonAndClosesTheList) {
  auto* f = make();
  EXPECT_EQ(f->Btn->Top(), 0);
  EXPECT_EQ(f->Btn->Width(), 17);
  EXPECT_EQ(f->Btn->Height(), 17);
  EXPECT_EQ(f->Btn->Cursor(), crArrow);
  EXPECT_FALSE(f->List->Enabled());
  EXPECT_FALSE(f->List->Visible());
  EXPECT_EQ(GetParent(f->List->Handle()), 0u); // a top-level window
  EXPECT_EQ(GetWindowLong(f->List->Handle(), GWL_EXSTYLE), int64_t(WS_EX_TOOLWINDOW));
  EXPECT_EQ(GetClassStyle(f->List->Handle()), CS_SAVEBITS);
  EXPECT_TRUE(GetWindowLong(f->Handle(), GWL_STYLE) & ES_MULTILINE);
  EXPECT_EQ(f->EditRect(), (TRect{0, 0, f->ClientWidth() - 17 - 2, f->ClientHeight() + 1}));
}

TEST_F(DropDownListViewTest, SetBoundsMovesTheButtonOnlyWithAParent) {
  auto* f = make();
  f->SetBounds(10, 10, 150, 30);
  EXPECT_EQ(f->Btn->Left(), 150 - 17 - 4);
  EXPECT_EQ(f->Btn->Height(), 26);
  // The edit takes the rectangle: the text stops before the button.
  TRect r;
  f->Perform(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(r, (TRect{0, 0, 150 - 4 - 17 - 2, 30 - 4 + 1}));
  auto* loose = new TDropDownListView(nullptr);
  const int left = loose->Btn->Left(), height = loose->Btn->Height();
  loose->SetBounds(0, 0, 300, 40);
  EXPECT_EQ(loose->Btn->Left(), left);
  EXPECT_EQ(loose->Btn->Height(), height);
  TComponent::Free(loose);
}

TEST_F(DropDownListViewTest, ButtonOpensBelowTheFieldAndEveryClickFiresBeforeAndAfter) {
  auto* f = make(20, 30);
  std::vector<std::string> events;
  f->BeforeDropDown.Bind([&](TObject* s) {
    EXPECT_EQ(s, f);
    events.push_back("before");
  });
  f->OnSizeColumns.Bind([&](TObject*) {
    EXPECT_TRUE(f->List->Visible()); // already shown
    events.push_back("size");
  });
  f->AfterDropDown.Bind([&](TObject*) { events.push_back("after"); });
  f->BtnClick(f->Btn);
  EXPECT_EQ(events, (std::vector<std::string>{"before", "size", "after"}));
  EXPECT_TRUE(f->DroppedDown());
  EXPECT_TRUE(f->List->Visible());
  // The form's client origin is (100, 50) on the screen.
  TRect r;
  ASSERT_TRUE(GetWindowRect(f->List->Handle(), &r));
  EXPECT_EQ(r, (TRect{120, 30 + 21 + 50, 120 + 215, 30 + 21 + 50 + 240}));
  EXPECT_EQ(GetCapture(), f->List->Handle());
  events.clear();
  f->BtnClick(f->Btn);
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after"}));
  EXPECT_FALSE(f->DroppedDown());
  EXPECT_FALSE(f->List->Visible());
  EXPECT_EQ(GetCapture(), 0u);
}

TEST_F(DropDownListViewTest, ClickOnARowCopiesItsCaptionAndCloses) {
  auto* f = make();
  int listClicks = 0;
  f->OnListClick.Bind([&](TObject* s) {
    EXPECT_EQ(s, f);
    ++listClicks;
  });
  f->BtnClick(f->Btn);
  const int row = f->List->RowHeight();
  clickAt(f->List->ClientToScreen(TPoint{10, row + row / 2})); // the second row
  EXPECT_EQ(f->Text(), "beta");
  EXPECT_EQ(listClicks, 1);
  EXPECT_FALSE(f->List->Visible());
  EXPECT_FALSE(f->List->Enabled());
  EXPECT_EQ(GetCapture(), 0u);
}

TEST_F(DropDownListViewTest, PressElsewhereClosesWithoutChoosing) {
  auto* f = make();
  f->SetText("keep");
  int listClicks = 0;
  f->OnListClick.Bind([&](TObject*) { ++listClicks; });
  f->BtnClick(f->Btn);
  clickAt(TPoint{390, 340}); // far from the list, caught by the capture
  EXPECT_FALSE(f->List->Visible());
  EXPECT_EQ(f->Text(), "keep");
  EXPECT_EQ(listClicks, 0);
}

TEST_F(DropDownListViewTest, ListClickWithoutSelectionChangesNothing) {
  auto* f = make();
  f->SetText("keep");
  int listClicks = 0;
  f->OnListClick.Bind([&](TObject*) { ++listClicks; });
  f->List->SetSelected(nullptr);
  f->ListClick(f->List);
  EXPECT_EQ(f->Text(), "keep");
  EXPECT_EQ(listClicks, 0);
}

TEST_F(DropDownListViewTest, GlyphGivenBeforeTheWindowGivesWayToTheArrow) {
  auto* f = new TDropDownListView(nullptr);
  TBitmap own;
  own.SetSize(5, 5);
  f->SetGlyph(&own);
  f->SetGlyph(nullptr); // ignored
  ASSERT_NE(f->Btn->Glyph(), nullptr);
  EXPECT_EQ(f->Btn->Glyph()->width(), 5);
  form = TCustomForm::CreateNew<TForm>(&Application());
  f->SetParent(form);
  form->Show();
  Application().ProcessMessages();
  EXPECT_EQ(f->Btn->Glyph()->width(), 7); // the system's combo arrow
  f->SetGlyph(&own);
  EXPECT_EQ(f->Btn->Glyph()->width(), 5); // stays until the window is made again
  f->RecreateWnd();
  EXPECT_EQ(f->Btn->Glyph()->width(), 7);
  TComponent::Free(f);
}

TEST_F(DropDownListViewTest, StoredFormCannotKeepReadOnlyOffOrHideSelectionOn) {
  auto* f = make();
  f->SetReadOnly(false);
  f->SetHideSelection(true);
  f->Items().Item(0)->SubItems().Add("alpha (sub)");
  f->SetSelected(f->Items().Item(1));
  const std::string text = WriteComponentText(*form);
  EXPECT_EQ(text.find("ReadOnly"), std::string::npos) << text;
  EXPECT_EQ(text.find("HideSelection"), std::string::npos);
  EXPECT_NE(text.find("RowSelect = True"), std::string::npos); // always written
  EXPECT_NE(text.find("ViewStyle = vsReport"), std::string::npos);
  auto* again = TCustomForm::CreateNew<TForm>(&Application());
  const std::string body = text.substr(text.find('\n') + 1);
  ReadComponentText(*again, "object Again: TForm\n" + body, "again.kvf");
  auto* loaded = dynamic_cast<TDropDownListView*>(again->FindComponent("Drop"));
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(loaded->ReadOnly());
  EXPECT_FALSE(loaded->HideSelection());
  // The designed list comes back with its rows and its selection.
  ASSERT_EQ(loaded->Items().Count(), 3);
  EXPECT_EQ(loaded->Items().Item(2)->Caption(), "gamma");
  EXPECT_EQ(loaded->Items().Item(0)->SubItems().Text(), "alpha (sub)\n");
  EXPECT_EQ(loaded->Selected(), loaded->Items().Item(1));
}

TEST(DropDownListViewRegister, OnlyTheFieldGoesOnKorvalis) {
  kvtest::expectPalette(DropDownListView::Register, "Korvalis", {"TDropDownListView"});
}
