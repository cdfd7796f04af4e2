#include "uKVHostAppImport.h"

#include "Platform/Modules/Modules.h"

namespace uKVHostAppImport {

KVHostProc ModManSendMessage = nullptr;
KVHostProc ModManGetAppDBConnection = nullptr;
KVHostProc ModManGetNewDBConnection = nullptr;
KVHostProc LogMessage = nullptr;
KVHostProc DbgIsDebugApp = nullptr;
KVDbgDebugMsgFunc DbgDebugMsg = nullptr;
KVHostProc DbgDebugDialog = nullptr;
KVMdCreateMessageDialogExFunc MdCreateMessageDialogEx = nullptr;
KVMdMessageDlgExFunc MdMessageDlgEx = nullptr;
KVMdMessageDlgDefBtnExFunc MdMessageDlgDefBtnEx = nullptr;
KVMdMessageDlgPosExFunc MdMessageDlgPosEx = nullptr;
KVMdMessageDlgPosHelpExFunc MdMessageDlgPosHelpEx = nullptr;
KVMdShowMessageExFunc MdShowMessageEx = nullptr;
KVMdShowMessageFmtExFunc MdShowMessageFmtEx = nullptr;
KVMdShowMessagePosExFunc MdShowMessagePosEx = nullptr;

namespace {
template <class F> void bind(F& variable, kv::platform::ModuleHandle host, const char* name) {
  variable = reinterpret_cast<F>(kv::platform::findExport(host, name));
}
} // namespace

int32_t ConnectHostApp(uintptr_t HostModule) {
  // Only the host's own module is searched, never the whole process, so that a
  // same-named function of another library can never stand in for the host's.
  const auto host = reinterpret_cast<kv::platform::ModuleHandle>(HostModule);
  bind(ModManSendMessage, host, "ModManSendMessage");
  bind(ModManGetAppDBConnection, host, "ModManGetAppDBConnection");
  bind(ModManGetNewDBConnection, host, "ModManGetNewDBConnection");
  bind(LogMessage, host, "LogMessage");
  bind(DbgIsDebugApp, host, "DbgIsDebugApp");
  bind(DbgDebugMsg, host, "DbgDebugMsg");
  bind(DbgDebugDialog, host, "DbgDebugDialog");
  bind(MdCreateMessageDialogEx, host, "MdCreateMessageDialogEx");
  bind(MdMessageDlgEx, host, "MdMessageDlgEx");
  bind(MdMessageDlgDefBtnEx, host, "MdMessageDlgDefBtnEx");
  bind(MdMessageDlgPosEx, host, "MdMessageDlgPosEx");
  bind(MdMessageDlgPosHelpEx, host, "MdMessageDlgPosHelpEx");
  bind(MdShowMessageEx, host, "MdShowMessageEx");
  bind(MdShowMessageFmtEx, host, "MdShowMessageFmtEx");
  bind(MdShowMessagePosEx, host, "MdShowMessagePosEx");
  return 0;
}

void DbgDebugMsgS(std::string S) {
  // S is our own copy; the host sees its characters zero-terminated for the call.
  if (DbgDebugMsg) DbgDebugMsg(S.c_str());
}

} // namespace uKVHostAppImport
