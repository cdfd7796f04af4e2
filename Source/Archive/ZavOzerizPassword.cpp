// The password prompts: one entry when extracting, an entry and its confirmation when
// adding; none at all when the component runs unattended.
#include "Archive/ZavOzeriz.h"

#include "Archive/ZavPasswordDlg.h"
#include "Archive/ZipMessages.h"
#include "Platform/Dialogs/Dialogs.h"

#include <bit>

namespace ZavOzeriz {

using namespace ZipMessages;
namespace pf = kv::platform;

TPasswordDlgLayout PasswordDlgLayout(int Buttons) {
  struct Kind {
    int bit;
    TPasswordDlgButtonKind kind;
    int captionId;
    int modalResult;
  };
  static const Kind kinds[] = {{1, TPasswordDlgButtonKind::bkOK, GE_Ok, pf::mrOk},
                               {2, TPasswordDlgButtonKind::bkCancel, GE_Cancel, pf::mrCancel},
                               {4, TPasswordDlgButtonKind::bkNo, GE_CancelAll, pf::mrNoToAll},
                               {8, TPasswordDlgButtonKind::bkAbort, GE_Abort, pf::mrAbort}};
  const int shown = (Buttons | 1) & 0xF; // OK is always there
  const int n = std::popcount(static_cast<unsigned>(shown));
  TPasswordDlgLayout layout{
      124 * n + 35,         137, "Arial", -12, true, 20, 8, 297, 18, 20, 40, 124 * n - 10,
      PasswordDlgMaxLength, '*', {}};
  int k = 0;
  for (const Kind& b : kinds)
    if (shown & b.bit)
      layout.Buttons.push_back({b.bit, b.kind, b.captionId, b.modalResult, 124 * k++ + 20, 72, 114, 28});
  return layout;
}

TPasswordButton TZavOzeriz::RunPasswordDlg(const std::string& Caption, const std::string& Prompt,
                                           std::string& Text, int Buttons) {
  const TPasswordDlgLayout layout = PasswordDlgLayout(Buttons);
  pf::PasswordRequest request;
  request.caption = Caption;
  request.prompt = Prompt;
  request.buttons = (Buttons | 1) & 0xF;
  for (const TPasswordDlgButton& b : layout.Buttons)
    request.buttonCaptions.push_back(LoadZipStr(b.CaptionId, MissingStringText(b.CaptionId)));
  request.maxLength = static_cast<size_t>(layout.EditMaxLength);
  ZavPasswordDlg::InstallPasswordDlg(); // shown in a window when the dialogs are windows
  pf::PasswordReply reply = pf::dialogs().password(request);
  // Closed without a button: as Cancel.
  if (reply.result == pf::mrNone) reply.result = pf::mrCancel;
  Text = reply.result == pf::mrOk ? reply.text.substr(0, request.maxLength) : std::string();
  FPasswordAnswer = reply.result == pf::mrNoToAll ? TPasswordAnswer::paCancelAll
                    : reply.result == pf::mrAbort ? TPasswordAnswer::paAbort
                                                  : TPasswordAnswer::paNone;
  switch (reply.result) {
  case pf::mrOk:
    return TPasswordButton::pwbOk;
  case pf::mrCancel:
    return TPasswordButton::pwbCancel;
  case pf::mrNoToAll:
    return TPasswordButton::pwbCancelAll;
  default:
    return TPasswordButton::pwbAbort;
  }
}

namespace {
std::string promptCaption() {
  return TZavOzeriz::LoadZipStr(
      GE_Password, "ZavMsgXX.res is probably not linked to the executable\nMissing String ID is: ");
}
std::string promptText(int Ident) {
  return TZavOzeriz::LoadZipStr(Ident, TZavOzeriz::MissingStringText(Ident));
}
} // namespace

void TZavOzeriz::AskAddPassword(std::string& Password) {
  std::string answer;
  if (FUnattended) {
    ShowZipMessage(GE_NoAddPasswordGiven);
  } else {
    const std::string caption = promptCaption();
    std::string first, second;
    if (RunPasswordDlg(caption, promptText(GE_EnterPassword), first, 2) == TPasswordButton::pwbOk &&
        !first.empty() &&
        RunPasswordDlg(caption, promptText(GE_ConfirmPassword), second, 2) == TPasswordButton::pwbOk &&
        !second.empty()) {
      if (first != second)
        ShowZipMessage(GE_PasswordsDoNotMatch);
      else
        answer = second;
    }
  }
  Password = answer;
}

void TZavOzeriz::AskExtractPassword(std::string& Password) {
  if (FUnattended) {
    ShowZipMessage(GE_NoExtractPasswordGiven);
    Password.clear();
    return;
  }
  std::string text;
  RunPasswordDlg(promptCaption(), promptText(GE_EnterPassword), text, 6);
  Password = text;
}

} // namespace ZavOzeriz
