// Message dialogs for modules, shown by the host application: each routine forwards to
// the host's dialog function of the same name plus "Ex". While the host function is not
// bound a routine does nothing and answers 0.
#pragma once

#include "KVHostFunctions.h"
#include "KVLibExport.h"
#include "Platform/Dialogs/Dialogs.h"

#include <cstdint>
#include <string>
#include <vector>

namespace uKVModuleProcs {

using kv::platform::TMsgDlgBtn;
using kv::platform::TMsgDlgButtons;
using kv::platform::TMsgDlgType;
// One argument of a formatted message.
using TVarRec = KVVarRec;

// The host's dialog object.
KVLIB_API void* MdCreateMessageDialog(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons);
KVLIB_API int32_t MdMessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                               int32_t HelpCtx);
// Forwarded to MdMessageDlgDefBtnEx.
KVLIB_API int32_t MdMessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                               TMsgDlgBtn Btn, TMsgDlgBtn Btn2, int32_t HelpCtx);
KVLIB_API int32_t MdMessageDlgPos(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                                  int32_t HelpCtx, int32_t X, int32_t Y);
KVLIB_API int32_t MdMessageDlgPosHelp(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                                      int32_t HelpCtx, int32_t X, int32_t Y, const std::string& HelpFileName);
KVLIB_API void MdShowMessage(const std::string& Msg);
// The host formats Msg with the arguments.
KVLIB_API void MdShowMessageFmt(const std::string& Msg, const std::vector<TVarRec>& Params);
KVLIB_API void MdShowMessagePos(const std::string& Msg, int32_t X, int32_t Y);

} // namespace uKVModuleProcs
