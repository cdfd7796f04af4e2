#include "ControlTestSupport.h"

#include "Archive/ZavPasswordDlg.h"
#include "Platform/Ui/WindowDialogs.h"

using namespace kv::platform;
using namespace kvtest;
using ZavPasswordDlg::TPasswordDlg;

namespace {

class PasswordDlgTest : public ControlTest {
protected:
  // Presses a control of the modal dialog once its loop runs.
  void pressLater(std::function<TControl*()> target) {
    presenter->after(10, [target] {
      TControl* c = target();
      HeadlessPresenter::click(c->ClientToScreen(TPoint{c->Width() / 2, c->Height() / 2}));
    });
  }
};

TEST_F(PasswordDlgTest, LayoutFollowsTheButtonSet) {
  const struct {
    int buttons;
    int width;
    std::vector<std::string> captions;
  } cases[] = {
      {2, 124 * 2 + 35, {"&Ok", "&Cancel"}},
      {6, 124 * 3 + 35, {"&Ok", "&Cancel", "Cancel all"}},
      {0, 124 + 35, {"&Ok"}}, // OK is always there
      {15, 124 * 4 + 35, {"&Ok", "&Cancel", "Cancel all", "Abort"}},
  };
  for (const auto& c : cases) {
    TPasswordDlg* dlg = TPasswordDlg::CreateDlg(&Application(), c.buttons);
    dlg->HandleNeeded();
    TRect window;
    GetWindowRect(dlg->Handle(), &window);
    EXPECT_EQ(window.Width(), c.width) << c.buttons;
    EXPECT_EQ(window.Height(), 137);
    EXPECT_EQ(dlg->BorderStyle(), TBorderStyle::bsDialog);
    EXPECT_EQ(dlg->Font().Name(), "Arial");
    EXPECT_TRUE(dlg->Font().Style().Contains(fsBold));
    EXPECT_EQ(dlg->PwdEdit->BoundsRect(), Bounds(20, 40, 124 * static_cast<int>(c.captions.size()) - 10, 21));
    EXPECT_EQ(dlg->PwdEdit->MaxLength(), 80);
    EXPECT_EQ(dlg->PwdEdit->PasswordChar(), '*');
    EXPECT_EQ(dlg->PromptLabel->BoundsRect(), Bounds(20, 8, 297, 18));
    std::vector<std::string> captions;
    int k = 0;
    for (TBitBtn* b : dlg->Button)
      if (b) {
        captions.push_back(b->Caption());
        EXPECT_EQ(b->BoundsRect(), Bounds(124 * k++ + 20, 72, 114, 28));
      }
    EXPECT_EQ(captions, c.captions);
    TComponent::Free(dlg);
  }
}

TEST_F(PasswordDlgTest, ButtonsReturnTheirModalResults) {
  const struct {
    int buttons;
    int press; // slot: 0 OK, 1 Cancel, 2 Cancel all, 3 Abort
    TModalResult result;
    std::string text;
  } cases[] = {
      {2, 0, mrOk, "secret"}, {2, 1, mrCancel, ""},   {6, 2, 9, ""},
      {15, 3, mrAbort, ""},   {6, 0, mrOk, "secret"},
  };
  for (const auto& c : cases) {
    TPasswordDlg* dlg = TPasswordDlg::CreateDlg(&Application(), c.buttons);
    presenter->after(5, [] { HeadlessPresenter::typeText("secret"); });
    pressLater([dlg, slot = c.press] { return dlg->Button[slot]; });
    std::string text = "old";
    dlg->ShowPasswordDlg("Password", "Enter Password ", text);
    EXPECT_EQ(dlg->ModalResult(), c.result) << c.buttons << "/" << c.press;
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(dlg->Caption(), "Password");
    EXPECT_EQ(dlg->PromptLabel->Caption(), "Enter Password ");
    TComponent::Free(dlg);
  }
}

TEST_F(PasswordDlgTest, ReturnTakesTheEntryAndLongEntriesStopAtEighty) {
  TPasswordDlg* dlg = TPasswordDlg::CreateDlg(&Application(), 6);
  presenter->after(5, [] {
    HeadlessPresenter::typeText(std::string(100, 'x'));
    HeadlessPresenter::key(VK_RETURN); // the OK button is the default one
  });
  std::string text;
  dlg->ShowPasswordDlg("Password", "Enter Password ", text);
  EXPECT_EQ(dlg->ModalResult(), mrOk);
  EXPECT_EQ(text, std::string(80, 'x'));
  TComponent::Free(dlg);
}

TEST_F(PasswordDlgTest, ClosingWithoutAButtonIsCancelAndTheServiceShowsTheForm) {
  ZavPasswordDlg::InstallPasswordDlg();
  WindowDialogs windows;
  PasswordRequest request;
  request.caption = "Password";
  request.prompt = "Enter Password ";
  request.buttons = 6;
  std::string shownClass;
  presenter->after(5, [&] {
    TCustomForm* form = Screen().ActiveForm();
    shownClass = form ? form->ClassName() : "";
    HeadlessPresenter::typeText("abc");
    PostMessage(form->Handle(), WM_CLOSE, 0, 0);
  });
  PasswordReply reply = windows.password(request);
  EXPECT_EQ(shownClass, "TPasswordDlg");
  EXPECT_EQ(reply.result, mrCancel);
  EXPECT_EQ(reply.text, "");

  presenter->after(5, [&] {
    auto* dlg = dynamic_cast<TPasswordDlg*>(Screen().ActiveForm());
    HeadlessPresenter::typeText("abc");
    TBitBtn* all = dlg->Button[2];
    HeadlessPresenter::click(all->ClientToScreen(TPoint{5, 5}));
  });
  reply = windows.password(request);
  EXPECT_EQ(reply.result, mrNoToAll);
  EXPECT_EQ(reply.text, "");
  SetPasswordDialogRunner(nullptr);
}

} // namespace
