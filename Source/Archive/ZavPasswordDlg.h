// The archive component's password dialog: a form built in code (no stored form) with a
// prompt, a hidden entry of at most 80 characters and two to four buttons.
#pragma once

#include "Archive/ZavOzeriz.h"
#include "Platform/Ui/Buttons.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/StdCtrls.h"

#include <string>

namespace ZavPasswordDlg {

namespace pf = kv::platform;

class TPasswordDlg : public pf::TForm {
  KV_CLASS_INFO(TPasswordDlg)
public:
  using pf::TForm::TForm;
  ~TPasswordDlg() override;
  // Buttons: bits 1 OK (always shown), 2 Cancel, 4 Cancel all, 8 Abort.
  static TPasswordDlg* CreateDlg(pf::TComponent* AOwner, int Buttons);
  // Shows the dialog modally; Text is the entry after OK, else empty.
  virtual void ShowPasswordDlg(const std::string& Caption, const std::string& Prompt, std::string& Text);

  pf::TBitBtn* Button[4] = {nullptr, nullptr, nullptr, nullptr}; // in bit order; absent ones nil
  pf::TEdit* PwdEdit = nullptr;
  pf::TLabel* PromptLabel = nullptr;
};

// Lets the dialogs service show this form for the component's password prompts.
void InstallPasswordDlg();

} // namespace ZavPasswordDlg
