// Binds a module to its host application's service functions, found by name in the
// host's module at run time.
#pragma once

#include "KVHostFunctions.h"
#include "KVLibExport.h"

#include <cstdint>
#include <string>

namespace uKVHostAppImport {

// One variable per host function, named after the function; nullptr while the host has
// not been connected or does not export it.
extern KVLIB_API KVHostProc ModManSendMessage;
extern KVLIB_API KVHostProc ModManGetAppDBConnection;
extern KVLIB_API KVHostProc ModManGetNewDBConnection;
extern KVLIB_API KVHostProc LogMessage;
extern KVLIB_API KVHostProc DbgIsDebugApp;
extern KVLIB_API KVDbgDebugMsgFunc DbgDebugMsg;
extern KVLIB_API KVHostProc DbgDebugDialog;
extern KVLIB_API KVMdCreateMessageDialogExFunc MdCreateMessageDialogEx;
extern KVLIB_API KVMdMessageDlgExFunc MdMessageDlgEx;
extern KVLIB_API KVMdMessageDlgDefBtnExFunc MdMessageDlgDefBtnEx;
extern KVLIB_API KVMdMessageDlgPosExFunc MdMessageDlgPosEx;
extern KVLIB_API KVMdMessageDlgPosHelpExFunc MdMessageDlgPosHelpEx;
extern KVLIB_API KVMdShowMessageExFunc MdShowMessageEx;
extern KVLIB_API KVMdShowMessageFmtExFunc MdShowMessageFmtEx;
extern KVLIB_API KVMdShowMessagePosExFunc MdShowMessagePosEx;

// Looks up every host function in the module `HostModule` (the loader's handle of the
// host program or host library) and stores each address, or nullptr, in its variable.
// Calling it again binds all of them anew. Returns 0.
KVLIB_API int32_t ConnectHostApp(uintptr_t HostModule);

// Hands S to the host's debug output; does nothing while that is not bound.
KVLIB_API void DbgDebugMsgS(std::string S);

} // namespace uKVHostAppImport
