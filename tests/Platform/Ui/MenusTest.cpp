#include "ControlTestSupport.h"

#include "Platform/Rtl/Streaming.h"
#include "Platform/Ui/Menus.h"

using namespace kv::platform;
using namespace kvtest;

namespace {

class MenusTest : public ControlTest {};

const char* kMenuForm = R"(object MenuForm: TForm
  Caption = 'Menus'
  object MainMenu1: TMainMenu
    object File1: TMenuItem
      Caption = '&File'
      Tag = 12
      object Open1: TMenuItem
        Caption = '&Open...'
        ShortCut = 16463
      end
      object N1: TMenuItem
        Caption = '-'
      end
      object Exit1: TMenuItem
        Caption = 'E&xit'
        Tag = -5
      end
    end
  end
end
)";

TEST_F(MenusTest, ItemTreeFromAFormFileAndBack) {
  auto* form = new TForm(&Application());
  ReadComponentText(*form, kMenuForm, "uMenu.kfm");
  auto* menu = dynamic_cast<TMainMenu*>(form->FindComponent("MainMenu1"));
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->Items()->Count(), 1);
  TMenuItem* file = menu->Items()->Items(0);
  EXPECT_EQ(file->Caption(), "&File");
  EXPECT_EQ(file->Tag, 12);
  ASSERT_EQ(file->Count(), 3);
  EXPECT_TRUE(file->Items(1)->IsLine());
  EXPECT_EQ(file->Items(2)->Tag, -5);
  EXPECT_EQ(file->Items(2)->Parent(), file);
  EXPECT_EQ(file->Items(2)->MenuIndex(), 2);
  // Ctrl+O (16463 = scCtrl + 'O') clicks Open.
  int opened = 0;
  file->Items(0)->OnClick.Bind([&](TObject*) { ++opened; });
  EXPECT_TRUE(menu->IsShortCut('O', TShiftState{ssCtrl}));
  EXPECT_FALSE(menu->IsShortCut('O', TShiftState{}));
  file->Items(0)->SetEnabled(false);
  EXPECT_FALSE(menu->IsShortCut('O', TShiftState{ssCtrl}));
  EXPECT_EQ(opened, 1);
  const std::string text = WriteComponentText(*form);
  EXPECT_NE(text.find("  object MainMenu1: TMainMenu\n    object File1: TMenuItem\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("      Caption = '&File'\n"), std::string::npos) << text;
  EXPECT_NE(text.find("        ShortCut = 16463\n"), std::string::npos);
  // Freeing an item takes its sub-items and leaves its parent's list.
  TComponent::Free(file);
  EXPECT_EQ(menu->Items()->Count(), 0);
}

TEST_F(MenusTest, RadioItemsCheckOnePerGroup) {
  auto* menu = new TPopupMenu(&Application());
  TMenuItem* items[3];
  for (int i = 0; i < 3; ++i) {
    items[i] = new TMenuItem(menu);
    items[i]->SetRadioItem(true);
    items[i]->SetGroupIndex(i < 2 ? 1 : 2);
    menu->Items()->Add(items[i]);
  }
  items[0]->SetChecked(true);
  items[2]->SetChecked(true);
  items[1]->SetChecked(true);
  EXPECT_FALSE(items[0]->Checked());
  EXPECT_TRUE(items[1]->Checked());
  EXPECT_TRUE(items[2]->Checked()); // another group
  EXPECT_THROW(menu->Items()->Add(items[0]), EInvalidOperation);
}

TEST_F(MenusTest, PopupMenuChoosesByMouseAndKeysAndLeavesOnEscape) {
  TForm* form = makeForm();
  show(form);
  auto* menu = new TPopupMenu(form);
  std::vector<std::string> clicks;
  for (const char* caption : {"&First", "-", "&Second", "&Third"}) {
    auto* item = new TMenuItem(menu);
    item->SetCaption(caption);
    item->OnClick.Bind([&clicks, caption](TObject*) { clicks.push_back(caption); });
    menu->Items()->Add(item);
  }
  menu->Items()->Items(3)->SetEnabled(false);
  // Rows: 2 + 18 (First), 8 (line), 18 (Second).
  presenter->after(5, [&] {
    TRect r;
    GetWindowRect(menu->Window(), &r);
    EXPECT_EQ(r.Left, 40);
    EXPECT_EQ(r.Height(), 4 + 18 * 3 + 8);
    HeadlessPresenter::click(TPoint{r.Left + 30, r.Top + 2 + 18 + 8 + 5});
  });
  menu->Popup(40, 50);
  EXPECT_EQ(menu->Window(), 0u);
  presenter->after(5, [] {
    HeadlessPresenter::key(VK_DOWN);
    HeadlessPresenter::key(VK_DOWN); // the line and the disabled item are passed over
    HeadlessPresenter::key(VK_DOWN);
    HeadlessPresenter::key(VK_RETURN);
  });
  menu->Popup(40, 50);
  presenter->after(5, [] { HeadlessPresenter::key(VK_ESCAPE); });
  menu->Popup(40, 50);
  presenter->after(5, [] { HeadlessPresenter::click(TPoint{500, 500}); }); // outside
  menu->Popup(40, 50);
  presenter->after(5, [] { HeadlessPresenter::typeText("s"); });
  menu->Popup(40, 50);
  EXPECT_EQ(clicks, (std::vector<std::string>{"&Second", "&First", "&Second"}));
  EXPECT_FALSE(Application().Terminated());

  // A right click on a control shows its pop-up menu, or its parent's, at the mouse; a handler
  // of OnContextPopup may take the click instead.
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBounds(100, 100, 50, 50);
  auto* inner = new TPanel(form);
  inner->SetParent(panel);
  inner->SetBounds(10, 10, 20, 20);
  panel->SetPopupMenu(menu);
  run();
  struct Row {
    TControl* target;
    bool handled;
    const char* chosen; // nullptr: no menu
  };
  for (const Row& r : {Row{panel, false, "&First"}, Row{inner, false, "&First"}, Row{inner, true, nullptr}}) {
    clicks.clear();
    inner->OnContextPopup.Bind([&](TObject*, TPoint, bool& handled) { handled = r.handled; });
    if (r.chosen)
      presenter->after(5, [&] {
        TRect m;
        GetWindowRect(menu->Window(), &m);
        EXPECT_EQ((TPoint{m.Left, m.Top}), r.target->ClientToScreen(TPoint{5, 5}));
        HeadlessPresenter::click(TPoint{m.Left + 30, m.Top + 2 + 5});
      });
    HeadlessPresenter::mouseDown(at(r.target, 5, 5), VK_RBUTTON);
    HeadlessPresenter::mouseUp(at(r.target, 5, 5), VK_RBUTTON);
    run();
    EXPECT_EQ(clicks, r.chosen ? std::vector<std::string>{r.chosen} : std::vector<std::string>{});
    if (r.chosen) {
      EXPECT_EQ(menu->PopupComponent, r.target);
    }
  }
  // Freeing the menu clears the property.
  TComponent::Free(menu);
  EXPECT_EQ(panel->PopupMenu(), nullptr);
}

} // namespace
