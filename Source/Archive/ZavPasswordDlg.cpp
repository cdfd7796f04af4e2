#include "Archive/ZavPasswordDlg.h"

#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Ui/WindowDialogs.h"

namespace ZavPasswordDlg {

using ZavOzeriz::TZavOzeriz;

const pf::TClassInfo& TPasswordDlg::StaticClassInfo() {
  static const pf::TClassInfo info = pf::TClassBuilder<TPasswordDlg, pf::TForm>("TPasswordDlg").Build();
  return info;
}

TPasswordDlg::~TPasswordDlg() {
  // The controls go before the form itself.
  for (auto*& b : Button) {
    pf::TComponent::Free(b);
    b = nullptr;
  }
  pf::TComponent::Free(PwdEdit);
  PwdEdit = nullptr;
  pf::TComponent::Free(PromptLabel);
  PromptLabel = nullptr;
}

TPasswordDlg* TPasswordDlg::CreateDlg(pf::TComponent* AOwner, int Buttons) {
  const ZavOzeriz::TPasswordDlgLayout layout = ZavOzeriz::PasswordDlgLayout(Buttons);
  auto* dlg = pf::TCustomForm::CreateNew<TPasswordDlg>(AOwner);
  dlg->SetBorderStyle(pf::TBorderStyle::bsDialog);
  dlg->SetPosition(pf::TPosition::poScreenCenter);
  dlg->SetBounds(dlg->Left(), dlg->Top(), layout.Width, layout.Height);
  dlg->Font().SetName(layout.FontName);
  dlg->Font().SetHeight(layout.FontHeight);
  if (layout.FontBold) dlg->Font().SetStyle(dlg->Font().Style() + pf::TFontStyles{pf::fsBold});

  dlg->PromptLabel = new pf::TLabel(dlg);
  dlg->PromptLabel->SetAutoSize(false);
  dlg->PromptLabel->SetBounds(layout.LabelLeft, layout.LabelTop, layout.LabelWidth, layout.LabelHeight);
  dlg->PromptLabel->SetParent(dlg);

  dlg->PwdEdit = new pf::TEdit(dlg);
  dlg->PwdEdit->SetBounds(layout.EditLeft, layout.EditTop, layout.EditWidth, dlg->PwdEdit->Height());
  dlg->PwdEdit->SetPasswordChar(layout.PasswordChar);
  dlg->PwdEdit->SetMaxLength(layout.EditMaxLength);
  dlg->PwdEdit->SetParent(dlg);

  for (const ZavOzeriz::TPasswordDlgButton& b : layout.Buttons) {
    static const pf::TBitBtnKind kinds[] = {pf::TBitBtnKind::bkOK, pf::TBitBtnKind::bkCancel,
                                            pf::TBitBtnKind::bkNo, pf::TBitBtnKind::bkAbort};
    auto* button = new pf::TBitBtn(dlg);
    button->SetKind(kinds[static_cast<int>(b.Kind)]);
    button->SetCaption(TZavOzeriz::LoadZipStr(b.CaptionId, TZavOzeriz::MissingStringText(b.CaptionId)));
    button->SetModalResult(b.ModalResult); // after the kind: Cancel all answers 9, not No
    button->SetBounds(b.Left, b.Top, b.Width, b.Height);
    button->SetParent(dlg);
    const int slot = b.Bit == 1 ? 0 : b.Bit == 2 ? 1 : b.Bit == 4 ? 2 : 3;
    dlg->Button[slot] = button;
  }
  dlg->SetActiveControl(dlg->PwdEdit);
  return dlg;
}

void TPasswordDlg::ShowPasswordDlg(const std::string& Caption, const std::string& Prompt, std::string& Text) {
  SetCaption(Caption);
  PromptLabel->SetCaption(Prompt);
  Text = ShowModal() == pf::mrOk ? PwdEdit->Text() : std::string();
}

void InstallPasswordDlg() {
  pf::SetPasswordDialogRunner([](const pf::PasswordRequest& Request) {
    TPasswordDlg* dlg = TPasswordDlg::CreateDlg(nullptr, Request.buttons);
    const pf::ScopeExit freeDialog([dlg] { pf::TComponent::Free(dlg); });
    pf::PasswordReply reply;
    dlg->ShowPasswordDlg(Request.caption, Request.prompt, reply.text);
    reply.result = dlg->ModalResult() == pf::mrNone ? pf::mrCancel : dlg->ModalResult();
    return reply;
  });
}

} // namespace ZavPasswordDlg
