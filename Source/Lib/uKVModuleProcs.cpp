#include "uKVModuleProcs.h"

#include "uKVHostAppImport.h"

namespace uKVModuleProcs {

namespace host = uKVHostAppImport;

namespace {
KVMsgDlgType kind(TMsgDlgType t) { return static_cast<KVMsgDlgType>(t); }
KVMsgDlgBtn button(TMsgDlgBtn b) { return static_cast<KVMsgDlgBtn>(b); }
// The eleven buttons fit the 16 bits of the host's set.
KVMsgDlgButtons buttons(TMsgDlgButtons s) { return static_cast<KVMsgDlgButtons>(s.Bits() & 0xFFFF); }
} // namespace

void* MdCreateMessageDialog(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons) {
  if (!host::MdCreateMessageDialogEx) return nullptr;
  return host::MdCreateMessageDialogEx(Msg.c_str(), kind(DlgType), buttons(Buttons));
}

int32_t MdMessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t HelpCtx) {
  if (!host::MdMessageDlgEx) return 0;
  return host::MdMessageDlgEx(Msg.c_str(), kind(DlgType), buttons(Buttons), HelpCtx);
}

int32_t MdMessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn Btn,
                     TMsgDlgBtn Btn2, int32_t HelpCtx) {
  if (!host::MdMessageDlgDefBtnEx) return 0;
  return host::MdMessageDlgDefBtnEx(Msg.c_str(), kind(DlgType), buttons(Buttons), button(Btn), button(Btn2),
                                    HelpCtx);
}

int32_t MdMessageDlgPos(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t HelpCtx,
                        int32_t X, int32_t Y) {
  if (!host::MdMessageDlgPosEx) return 0;
  return host::MdMessageDlgPosEx(Msg.c_str(), kind(DlgType), buttons(Buttons), HelpCtx, X, Y);
}

int32_t MdMessageDlgPosHelp(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                            int32_t HelpCtx, int32_t X, int32_t Y, const std::string& HelpFileName) {
  if (!host::MdMessageDlgPosHelpEx) return 0;
  return host::MdMessageDlgPosHelpEx(Msg.c_str(), kind(DlgType), buttons(Buttons), HelpCtx, X, Y,
                                     HelpFileName.c_str());
}

void MdShowMessage(const std::string& Msg) {
  if (host::MdShowMessageEx) host::MdShowMessageEx(Msg.c_str());
}

void MdShowMessageFmt(const std::string& Msg, const std::vector<TVarRec>& Params) {
  if (!host::MdShowMessageFmtEx) return;
  // The host gets its own copy of the records, alive for the duration of the call.
  const std::vector<TVarRec> args(Params);
  host::MdShowMessageFmtEx(Msg.c_str(), args.empty() ? nullptr : args.data(),
                           static_cast<int32_t>(args.size()) - 1);
}

void MdShowMessagePos(const std::string& Msg, int32_t X, int32_t Y) {
  if (host::MdShowMessagePosEx) host::MdShowMessagePosEx(Msg.c_str(), X, Y);
}

} // namespace uKVModuleProcs
