// A host application's service functions for the binding tests: every call is written
// to a log with its arguments, and the dialogs answer with a number the test chooses.
#include "KVHostFunctions.h"

#include <string>

#define HOST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::string& log() {
  static std::string text;
  return text;
}
int32_t answer = 0;
int dialogObject = 0;

void note(const std::string& line) { log() += line + "\n"; }
std::string num(int64_t v) { return std::to_string(v); }
std::string text(const char* s) { return s ? std::string("\"") + s + "\"" : "null"; }
std::string dialog(const char* msg, KVMsgDlgType type, KVMsgDlgButtons buttons) {
  return text(msg) + "|" + num(type) + "|" + num(buttons);
}
} // namespace

HOST_EXPORT const char* FakeHostLog() { return log().c_str(); }
HOST_EXPORT void FakeHostReset(int32_t nextAnswer) {
  log().clear();
  answer = nextAnswer;
}
HOST_EXPORT void* FakeHostDialogObject() { return &dialogObject; }

HOST_EXPORT void ModManSendMessage() { note("ModManSendMessage"); }
HOST_EXPORT void ModManGetAppDBConnection() { note("ModManGetAppDBConnection"); }
HOST_EXPORT void ModManGetNewDBConnection() { note("ModManGetNewDBConnection"); }
HOST_EXPORT void LogMessage() { note("LogMessage"); }
HOST_EXPORT void DbgIsDebugApp() { note("DbgIsDebugApp"); }
HOST_EXPORT void DbgDebugMsg(const char* Msg) { note("DbgDebugMsg|" + text(Msg)); }
HOST_EXPORT void DbgDebugDialog() { note("DbgDebugDialog"); }

HOST_EXPORT void* MdCreateMessageDialogEx(const char* Msg, KVMsgDlgType DlgType, KVMsgDlgButtons Buttons) {
  note("MdCreateMessageDialogEx|" + dialog(Msg, DlgType, Buttons));
  return &dialogObject;
}
HOST_EXPORT KVModalResult MdMessageDlgEx(const char* Msg, KVMsgDlgType DlgType, KVMsgDlgButtons Buttons,
                                         int32_t HelpCtx) {
  note("MdMessageDlgEx|" + dialog(Msg, DlgType, Buttons) + "|" + num(HelpCtx));
  return answer;
}
HOST_EXPORT KVModalResult MdMessageDlgDefBtnEx(const char* Msg, KVMsgDlgType DlgType, KVMsgDlgButtons Buttons,
                                               KVMsgDlgBtn Btn, KVMsgDlgBtn Btn2, int32_t HelpCtx) {
  note("MdMessageDlgDefBtnEx|" + dialog(Msg, DlgType, Buttons) + "|" + num(Btn) + "|" + num(Btn2) + "|" +
       num(HelpCtx));
  return answer;
}
HOST_EXPORT KVModalResult MdMessageDlgPosEx(const char* Msg, KVMsgDlgType DlgType, KVMsgDlgButtons Buttons,
                                            int32_t HelpCtx, int32_t X, int32_t Y) {
  note("MdMessageDlgPosEx|" + dialog(Msg, DlgType, Buttons) + "|" + num(HelpCtx) + "|" + num(X) + "|" +
       num(Y));
  return answer;
}
HOST_EXPORT KVModalResult MdMessageDlgPosHelpEx(const char* Msg, KVMsgDlgType DlgType,
                                                KVMsgDlgButtons Buttons, int32_t HelpCtx, int32_t X,
                                                int32_t Y, const char* HelpFileName) {
  note("MdMessageDlgPosHelpEx|" + dialog(Msg, DlgType, Buttons) + "|" + num(HelpCtx) + "|" + num(X) + "|" +
       num(Y) + "|" + text(HelpFileName));
  return answer;
}
HOST_EXPORT void MdShowMessageEx(const char* Msg) { note("MdShowMessageEx|" + text(Msg)); }
HOST_EXPORT void MdShowMessageFmtEx(const char* Fmt, const KVVarRec* Args, int32_t ArgsHigh) {
  std::string line = "MdShowMessageFmtEx|" + text(Fmt) + "|" + num(ArgsHigh);
  for (int32_t i = 0; i <= ArgsHigh; ++i) {
    const KVVarRec& a = Args[i];
    switch (a.VType) {
    case KV_vtInteger:
      line += "|int " + num(a.VInteger);
      break;
    case KV_vtPChar:
      line += "|text " + text(a.VPChar);
      break;
    case KV_vtExtended:
      line += "|float " + std::to_string(*a.VExtended);
      break;
    default:
      line += "|type " + num(a.VType);
      break;
    }
  }
  note(line);
}
HOST_EXPORT void MdShowMessagePosEx(const char* Msg, int32_t X, int32_t Y) {
  note("MdShowMessagePosEx|" + text(Msg) + "|" + num(X) + "|" + num(Y));
}
