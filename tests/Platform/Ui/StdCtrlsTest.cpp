#include "ControlTestSupport.h"

#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/StdCtrls.h"

#include <functional>

using namespace kv::platform;
using namespace kvtest;

namespace {

class StdCtrlsTest : public ControlTest {};

// The box font of 12 pixels: every character a cell 6 wide, filled on columns 0..4, rows 0..11.
TEST_F(StdCtrlsTest, LabelSizesItselfAndPaintsItsCaptionEnabledAndDisabled) {
  TForm* form = makeForm();
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetBounds(10, 10, 100, 30);
  label->SetCaption("A&B");
  EXPECT_EQ(label->Width(), 12); // two characters: the accelerator mark takes no room
  EXPECT_EQ(label->Height(), 12);
  show(form);
  const struct {
    int x, y;
    TColor32 want;
  } enabled[] = {
      {0, 0, kBlack}, {4, 11, kBlack}, {5, 0, kFace}, {6, 0, kBlack}, {10, 5, kBlack}, {11, 5, kFace},
  };
  for (const auto& c : enabled)
    EXPECT_EQ(px(label, c.x, c.y), c.want) << c.x << "," << c.y;
  // The accelerator's underline on the last row of B.
  EXPECT_EQ(px(label, 11, 11), kBlack);

  label->SetEnabled(false);
  // Embossed: the highlight copy one pixel down and right, the shadow copy on top.
  EXPECT_EQ(px(label, 0, 0), kShadow);
  EXPECT_EQ(px(label, 5, 1), kWhite);
  EXPECT_EQ(px(label, 5, 0), kFace);

  label->SetAutoSize(false);
  label->SetWidth(40);
  label->SetAlignment(taRightJustify);
  label->SetEnabled(true);
  // "AB" takes columns 28..39: cells of 6, each with its last column empty.
  EXPECT_EQ(px(label, 39, 0), kFace);
  EXPECT_EQ(px(label, 38, 0), kBlack);
  EXPECT_EQ(px(label, 33, 0), kFace);
  EXPECT_EQ(px(label, 28, 0), kBlack);
  EXPECT_EQ(px(label, 27, 0), kFace);
}

TEST_F(StdCtrlsTest, LabelWordWrapKeepsItsWidthAndGrowsDown) {
  TForm* form = makeForm();
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetWordWrap(true);
  label->SetWidth(30);
  label->SetCaption("ab cd ef");
  // "ab cd" is 30 pixels and fits; "ef" goes to the second line.
  EXPECT_EQ(label->Width(), 30);
  EXPECT_EQ(label->Height(), 24);
  show(form);
  EXPECT_EQ(px(label, 0, 12), kBlack);
  EXPECT_EQ(px(label, 18, 0), kBlack);
  EXPECT_EQ(px(label, 18, 12), kFace);
}

struct ButtonForm {
  TForm* form;
  TEdit* edit;
  TButton* ok;
  TButton* cancel;
  std::vector<std::string> clicks;
};

ButtonForm makeButtons(ControlTest& t, TForm* form) {
  (void)t;
  ButtonForm b{form, new TEdit(form), new TButton(form), new TButton(form), {}};
  b.edit->SetParent(form);
  b.edit->SetBounds(10, 10, 100, 21);
  b.ok->SetParent(form);
  b.ok->SetBounds(10, 50, 75, 25);
  b.ok->SetCaption("OK");
  b.ok->SetDefault(true);
  b.ok->SetModalResult(mrOk);
  b.cancel->SetParent(form);
  b.cancel->SetBounds(100, 50, 75, 25);
  b.cancel->SetCaption("Cancel");
  b.cancel->SetCancel(true);
  b.cancel->SetModalResult(mrCancel);
  return b;
}

TEST_F(StdCtrlsTest, ButtonsClickByMouseSpaceReturnAndEscape) {
  ButtonForm b = makeButtons(*this, makeForm());
  std::vector<std::string> clicks;
  b.ok->OnClick.Bind([&](TObject*) { clicks.push_back("ok"); });
  b.cancel->OnClick.Bind([&](TObject*) { clicks.push_back("cancel"); });
  show(b.form);
  ASSERT_TRUE(b.edit->Focused());

  key(VK_RETURN); // the edit does not want Return: the default button takes it
  EXPECT_EQ(b.form->ModalResult(), mrOk);
  key(VK_ESCAPE);
  EXPECT_EQ(b.form->ModalResult(), mrCancel);

  click(b.ok, 10, 10);
  EXPECT_TRUE(b.ok->Focused());
  b.cancel->SetFocus();
  run();
  key(VK_SPACE);
  key(VK_RETURN); // the focused button is the one Return presses now
  EXPECT_EQ(clicks, (std::vector<std::string>{"ok", "cancel", "ok", "cancel", "cancel"}));

  // Pressed and released outside: no click.
  HeadlessPresenter::mouseDown(at(b.ok, 5, 5));
  HeadlessPresenter::mouseMove(at(b.ok, 200, 5));
  HeadlessPresenter::mouseUp(at(b.ok, 200, 5));
  run();
  EXPECT_EQ(clicks.size(), 5u);
  // A disabled button takes no click and no key.
  b.ok->SetEnabled(false);
  b.edit->SetFocus();
  run();
  click(b.ok, 10, 10);
  key(VK_RETURN);
  EXPECT_EQ(clicks.size(), 5u);
}

TEST_F(StdCtrlsTest, ButtonFacesInTheClassicLook) {
  ButtonForm b = makeButtons(*this, makeForm());
  show(b.form);
  // The default button (the edit has the focus): a black ring, then the raised edge.
  const struct {
    TButton* button;
    int x, y;
    TColor32 want;
  } cases[] = {
      {b.ok, 0, 0, kBlack},     {b.ok, 1, 1, kWhite},        {b.ok, 2, 2, kLight},
      {b.ok, 73, 23, kBlack},   {b.ok, 72, 22, kShadow},     {b.ok, 10, 12, kFace},
      {b.cancel, 0, 0, kWhite}, {b.cancel, 74, 0, kBlack},   {b.cancel, 0, 24, kBlack},
      {b.cancel, 1, 1, kLight}, {b.cancel, 73, 23, kShadow}, {b.cancel, 74, 24, kBlack},
  };
  for (const auto& c : cases)
    EXPECT_EQ(px(c.button, c.x, c.y), c.want) << c.button->Caption() << " " << c.x << "," << c.y;
  // "OK" centred: 12 pixels wide in the content (2, 2)-(72, 22) of the default face.
  EXPECT_EQ(px(b.ok, 2 + (70 - 12) / 2, 2 + (20 - 12) / 2), kBlack);
  EXPECT_EQ(px(b.ok, 2 + (70 - 12) / 2 - 1, 2 + (20 - 12) / 2), kFace);

  // Focused: the ring moves to it and the dotted focus rectangle starts at (4, 4).
  b.cancel->SetFocus();
  run();
  EXPECT_EQ(px(b.cancel, 0, 0), kBlack);
  EXPECT_EQ(px(b.cancel, 4, 4), kBlack);
  EXPECT_EQ(px(b.cancel, 5, 4), kFace);
  EXPECT_EQ(px(b.cancel, 6, 4), kBlack);
  EXPECT_EQ(px(b.ok, 0, 0), kWhite);

  // Held down: a flat shadow ring inside the black one, the caption one pixel lower right.
  HeadlessPresenter::mouseDown(at(b.cancel, 5, 5));
  run();
  EXPECT_EQ(px(b.cancel, 1, 1), kShadow);
  EXPECT_EQ(px(b.cancel, 2, 2), kFace);
  HeadlessPresenter::mouseUp(at(b.cancel, 5, 5));
  run();
  EXPECT_EQ(px(b.cancel, 1, 1), kWhite);
}

TEST_F(StdCtrlsTest, CheckBoxAndRadioButtons) {
  TForm* form = makeForm();
  auto* check = new TCheckBox(form);
  check->SetParent(form);
  check->SetBounds(10, 10, 100, 17);
  check->SetCaption("Check");
  int clicks = 0;
  check->OnClick.Bind([&](TObject*) { ++clicks; });
  TRadioButton* radios[3];
  for (int i = 0; i < 3; ++i) {
    radios[i] = new TRadioButton(form);
    radios[i]->SetParent(form);
    radios[i]->SetBounds(10, 40 + 20 * i, 100, 17);
  }
  show(form);

  click(check, 5, 8);
  EXPECT_TRUE(check->Checked());
  // The box of 13 at (0, 2): two sunken rings, white inside from (2, 4); the 7 x 7 mark
  // from (4, 6): its first row holds only column 6, its third columns 0 and 4..6.
  EXPECT_EQ(px(check, 0, 2), kShadow);
  EXPECT_EQ(px(check, 1, 3), kBlack);
  EXPECT_EQ(px(check, 12, 14), kWhite);
  EXPECT_EQ(px(check, 11, 13), kLight);
  EXPECT_EQ(px(check, 3, 5), kWhite);
  EXPECT_EQ(px(check, 4, 6), kWhite);
  EXPECT_EQ(px(check, 10, 6), kBlack);
  EXPECT_EQ(px(check, 4, 8), kBlack);
  EXPECT_EQ(px(check, 5, 8), kWhite);
  key(VK_SPACE);
  EXPECT_FALSE(check->Checked());
  check->SetAllowGrayed(true);
  key(VK_SPACE);
  key(VK_SPACE);
  EXPECT_EQ(check->State(), TCheckBoxState::cbGrayed);
  key(VK_SPACE);
  EXPECT_EQ(check->State(), TCheckBoxState::cbUnchecked);
  EXPECT_EQ(clicks, 5);
  check->SetChecked(true); // a program's change fires OnClick as well
  EXPECT_EQ(clicks, 6);

  click(radios[1], 5, 8);
  EXPECT_TRUE(radios[1]->Checked());
  click(radios[2], 5, 8);
  EXPECT_FALSE(radios[1]->Checked());
  EXPECT_TRUE(radios[2]->Checked());
  // Only the checked radio button is a tab stop; arrows move the choice along.
  EXPECT_TRUE(radios[2]->TabStop());
  EXPECT_FALSE(radios[0]->TabStop());
  key(VK_UP);
  EXPECT_TRUE(radios[1]->Focused());
  EXPECT_TRUE(radios[1]->Checked());
  EXPECT_FALSE(radios[2]->Checked());
}

TEST_F(StdCtrlsTest, GroupBoxFrameAndStaticText) {
  TForm* form = makeForm();
  auto* group = new TGroupBox(form);
  group->SetParent(form);
  group->SetBounds(10, 10, 100, 60);
  group->SetCaption("G");
  auto* inner = new TPanel(group);
  inner->SetParent(group);
  inner->SetAlign(alClient);
  auto* text = new TStaticText(form);
  text->SetParent(form);
  text->SetBounds(10, 100, 10, 10);
  text->SetBorderStyle(TStaticBorderStyle::sbsSunken);
  text->SetCaption("xy");
  show(form);
  // The etched frame starts half a text line down: shadow ring, highlight one pixel inside.
  EXPECT_EQ(px(group, 0, 6), kShadow);
  EXPECT_EQ(px(group, 1, 7), kWhite);
  EXPECT_EQ(px(group, 99, 59), kWhite);
  // The caption cuts the frame: the text at 9.
  EXPECT_EQ(px(group, 9, 6), kBlack);
  // Aligned children keep clear of the caption and the frame.
  EXPECT_EQ(inner->BoundsRect(), Rect(2, 14, 98, 58));
  // Static text sizes to its caption plus the one-pixel sunken ring on each side.
  EXPECT_EQ(text->Width(), 14);
  EXPECT_EQ(text->Height(), 14);
  EXPECT_EQ(px(text, 0, 0), kShadow);
  EXPECT_EQ(px(text, 13, 13), kWhite);
  EXPECT_EQ(px(text, 1, 1), kBlack);
}

// The drop-down list: the field with the items "Zip", "Text", "All" (the first chosen) on a form
// whose OK and Cancel buttons take Return and Escape; rows of the box font are 12 pixels high.
TEST_F(StdCtrlsTest, ComboBoxDropsChoosesAndLeaves) {
  struct Combo {
    TForm* form;
    TComboBox* box;
  };
  using Step = std::function<void(StdCtrlsTest&, Combo&)>;
  const Step clickField = [](StdCtrlsTest& t, Combo& c) { t.click(c.box, 10, 8); };
  auto row = [](int i) {
    return [i](StdCtrlsTest& t, Combo& c) { t.click(c.box->DropList(), 10, 12 * i + 6); };
  };
  auto press = [](int vk) { return [vk](StdCtrlsTest& t, Combo&) { t.key(vk); }; };
  const struct {
    const char* what;
    std::vector<Step> steps;
    int index, changes;
    bool dropped;
  } cases[] = {
      {"Down in the closed field", {press(VK_DOWN)}, 1, 1, false},
      {"End, then Home", {press(VK_END), press(VK_HOME)}, 0, 2, false},
      {"Up at the first item", {press(VK_UP)}, 0, 0, false},
      {"a click drops the list", {clickField}, 0, 0, true},
      {"a click on a row chooses it", {clickField, row(2)}, 2, 1, false},
      {"the first row again", {clickField, row(0)}, 0, 0, false},
      {"Down, Down and Return in the list",
       {clickField, press(VK_DOWN), press(VK_DOWN), press(VK_RETURN)},
       2,
       1,
       false},
      {"F4, Down and Escape", {press(VK_F4), press(VK_DOWN), press(VK_ESCAPE)}, 0, 0, false},
      {"F4 twice chooses the row", {press(VK_F4), press(VK_END), press(VK_F4)}, 2, 1, false},
      {"Alt+Down drops", {[](StdCtrlsTest& t, Combo&) { t.chord(VK_MENU, VK_DOWN); }}, 0, 0, true},
      {"a press elsewhere leaves",
       {clickField, [](StdCtrlsTest& t, Combo& c) { t.click(c.form, 250, 150); }},
       0,
       0,
       false},
      {"the list follows the mouse",
       {clickField,
        [](StdCtrlsTest&, Combo& c) {
          HeadlessPresenter::mouseMove(at(c.box->DropList(), 10, 12 + 6));
          run();
          EXPECT_EQ(c.box->DropList()->ItemIndex(), 1);
        }},
       0,
       0,
       true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    ResetApplication();
    Application().SetPresenter(std::make_unique<HeadlessPresenter>());
    Application().Initialize();
    ButtonForm b = makeButtons(*this, makeForm());
    Combo c{b.form, new TComboBox(b.form)};
    c.box->SetParent(b.form);
    c.box->SetBounds(10, 100, 150, 21);
    for (const char* item : {"Zip", "Text", "All"})
      c.box->Items().Add(item);
    c.box->SetItemIndex(0);
    int changes = 0;
    c.box->OnChange.Bind([&](TObject*) { ++changes; });
    show(b.form);
    c.box->SetFocus();
    run();
    for (const Step& step : k.steps)
      step(*this, c);
    EXPECT_EQ(c.box->ItemIndex(), k.index);
    EXPECT_EQ(changes, k.changes);
    EXPECT_EQ(c.box->DroppedDown(), k.dropped);
    EXPECT_EQ(b.form->ModalResult(), mrNone); // Return and Escape stayed with the list
    if (k.dropped) {
      // The list lies under the field, as wide, three rows of 12 pixels in a one-pixel border.
      TRect field, list;
      GetWindowRect(c.box->Handle(), &field);
      GetWindowRect(c.box->DropList()->Handle(), &list);
      EXPECT_EQ(list, (TRect{field.Left, field.Bottom, field.Right, field.Bottom + 38}));
      EXPECT_TRUE(IsWindowVisible(c.box->DropList()->Handle()));
    }
  }
}

} // namespace
