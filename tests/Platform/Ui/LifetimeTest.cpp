#include "ControlTestSupport.h"

#include "Platform/Rtl/Streaming.h"
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/StdCtrls.h"

using namespace kv::platform;
using namespace kvtest;

namespace {

class LifetimeTest : public ControlTest {};

TEST_F(LifetimeTest, ANarrowEditScrollsToKeepTheCaretInView) {
  TForm* form = makeForm();
  auto* edit = new TEdit(form);
  edit->SetParent(form);
  edit->SetBounds(0, 0, 40, 21); // client 36: text area 34, five characters and a bit
  show(form);
  type("abcdefghij");
  // The caret after the tenth character stands inside the text area, at its right end.
  EXPECT_EQ(px(edit, 2 + 1 + 33, 4), kBlack);
  EXPECT_EQ(px(edit, 2 + 1 + 33, 4 + 11), kBlack);
  key(VK_HOME);
  // Back at the start: "a" at the left again.
  EXPECT_EQ(px(edit, 3, 4), kBlack);
  EXPECT_EQ(px(edit, 3 + 5, 4), kWhite);
  EXPECT_EQ(edit->SelStart(), 0);
}

TEST_F(LifetimeTest, DraggingAMemoThumbScrollsItsLines) {
  TForm* form = makeForm();
  auto* memo = new TMemo(form);
  memo->SetParent(form);
  memo->SetBounds(0, 0, 120, 124); // client 100 x 120: ten rows; the bar 16 x 120
  memo->SetScrollBars(TScrollStyle::ssVertical);
  show(form);
  std::string text;
  for (int i = 0; i < 30; ++i)
    text += (i ? "\n" : "") + std::to_string(i);
  memo->SetText(text);
  EXPECT_EQ(memo->TopLine(), 0);
  // Track from 16 to 104 (88 pixels); the thumb a third of it (29), travel 59 for 20 lines.
  HeadlessPresenter::mouseDown(at(memo, 108, 16 + 5));
  HeadlessPresenter::mouseMove(at(memo, 108, 16 + 5 + 30));
  run();
  EXPECT_EQ(memo->TopLine(), (30 * 20 + 59 / 2) / 59);
  HeadlessPresenter::mouseUp(at(memo, 108, 200));
  run();
  EXPECT_EQ(memo->TopLine(), 20); // dragged past the end: the last page
  EXPECT_EQ(GetCapture(), 0u);
}

const char* kListForm = R"(object ResultForm: TForm
  Caption = 'Profiling results'
  object DetailList: TListView
    Left = 0
    Top = 0
    Width = 592
    Height = 200
    Columns = <
      item
        Caption = 'Single Section'
        Tag = 3
        Width = 200
      end
      item
        Caption = 'Duration'
        Width = 100
      end>
    ReadOnly = True
    RowSelect = True
    ViewStyle = vsReport
  end
  object Log: TMemo
    Left = 0
    Top = 210
    Width = 100
    Height = 50
    Lines = (
      'first'
      'second')
  end
end
)";

TEST_F(LifetimeTest, ColumnsAndLinesFromAFormFile) {
  auto* form = new TForm(&Application());
  ReadComponentText(*form, kListForm, "uResult.kfm");
  auto* lv = dynamic_cast<TListView*>(form->FindComponent("DetailList"));
  ASSERT_NE(lv, nullptr);
  ASSERT_EQ(lv->Columns().Count(), 2);
  EXPECT_EQ(lv->Column(0)->Caption(), "Single Section");
  EXPECT_EQ(lv->Column(0)->Tag(), 3);
  EXPECT_EQ(lv->Column(1)->Width(), 100);
  EXPECT_TRUE(lv->ReadOnly());
  EXPECT_EQ(lv->ViewStyle(), TViewStyle::vsReport);
  auto* memo = dynamic_cast<TMemo*>(form->FindComponent("Log"));
  EXPECT_EQ(memo->Lines().Count(), 2);
  EXPECT_EQ(memo->Text(), "first\nsecond");
  const std::string text = WriteComponentText(*form);
  EXPECT_NE(text.find("        Tag = 3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    Lines = (\n      'first'\n      'second')\n"), std::string::npos) << text;
}

TEST_F(LifetimeTest, ControlsGoInAnyOrderWithoutDanglingReferences) {
  TForm* form = makeForm();
  auto* pc = new TPageControl(form);
  pc->SetParent(form);
  auto* sheet = new TTabSheet(form);
  sheet->SetName("Sheet1");
  sheet->SetPageControl(pc);
  auto* edit = new TEdit(form);
  edit->SetParent(sheet);
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetFocusControl(edit);
  show(form);
  edit->SetFocus();
  run();
  TComponent::Free(edit); // the label forgets it, the form's focus bookkeeping too
  EXPECT_EQ(label->FocusControl(), nullptr);
  EXPECT_EQ(form->ActiveControl(), nullptr);
  TComponent::Free(pc); // the sheet goes with it and leaves no page behind
  EXPECT_EQ(form->FindComponent("Sheet1"), nullptr);
  auto* lv = new TListView(form);
  lv->SetParent(form);
  lv->Items().Add()->SetSelected(true);
  int calls = 0;
  lv->OnSelectItem.Bind([&](TObject*, TListItem*, bool) { ++calls; });
  TComponent::Free(form); // a view going away tells nobody about its items
  EXPECT_EQ(calls, 0);
}

} // namespace
