/* The calling interface between KVLib and its host application: the host exports
 * functions of these types under the names given, and KVLib finds them by name.
 * Plain C, so that a host written in any language can provide them.
 *
 * Text is a zero-terminated 8-bit string (UTF-8). Dialog kinds, buttons and results
 * are fixed-width integers with the class library's values; a set of buttons is a
 * bit mask, bit n for button n. */
#ifndef KV_HOST_FUNCTIONS_H
#define KV_HOST_FUNCTIONS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Dialog kind. */
typedef int32_t KVMsgDlgType;
enum { KV_mtWarning = 0, KV_mtError = 1, KV_mtInformation = 2, KV_mtConfirmation = 3, KV_mtCustom = 4 };

/* One button, and a set of buttons (bit n for button n). */
typedef int32_t KVMsgDlgBtn;
typedef uint32_t KVMsgDlgButtons;
enum {
  KV_mbYes = 0,
  KV_mbNo = 1,
  KV_mbOK = 2,
  KV_mbCancel = 3,
  KV_mbAbort = 4,
  KV_mbRetry = 5,
  KV_mbIgnore = 6,
  KV_mbAll = 7,
  KV_mbNoToAll = 8,
  KV_mbYesToAll = 9,
  KV_mbHelp = 10
};

/* A dialog's answer: the modal result of the pressed button. */
typedef int32_t KVModalResult;
enum {
  KV_mrNone = 0,
  KV_mrOk = 1,
  KV_mrCancel = 2,
  KV_mrAbort = 3,
  KV_mrRetry = 4,
  KV_mrIgnore = 5,
  KV_mrYes = 6,
  KV_mrNo = 7,
  KV_mrAll = 8,
  KV_mrNoToAll = 9,
  KV_mrYesToAll = 10
};

/* One argument of a formatted message: a value or a pointer, then the tag that says
 * which. */
enum {
  KV_vtInteger = 0,
  KV_vtBoolean = 1,
  KV_vtChar = 2,
  KV_vtExtended = 3,
  KV_vtString = 4,
  KV_vtPointer = 5,
  KV_vtPChar = 6,
  KV_vtObject = 7,
  KV_vtClass = 8,
  KV_vtWideChar = 9,
  KV_vtPWideChar = 10,
  KV_vtAnsiString = 11,
  KV_vtCurrency = 12,
  KV_vtVariant = 13,
  KV_vtInterface = 14,
  KV_vtWideString = 15,
  KV_vtInt64 = 16
};
typedef struct KVVarRec {
  union {
    int32_t VInteger;
    uint8_t VBoolean;
    char VChar;
    const double* VExtended;
    const void* VPointer;
    const char* VPChar;
    const void* VObject;
    const int64_t* VInt64;
    const void* VAnsiString;
  };
  uint8_t VType;
} KVVarRec;

/* A host function that KVLib only binds; its signature is the host's. */
typedef void (*KVHostProc)(void);

typedef void (*KVDbgDebugMsgFunc)(const char* Msg);
/* Returns the dialog object that the host created. */
typedef void* (*KVMdCreateMessageDialogExFunc)(const char* Msg, KVMsgDlgType DlgType,
                                               KVMsgDlgButtons Buttons);
typedef KVModalResult (*KVMdMessageDlgExFunc)(const char* Msg, KVMsgDlgType DlgType, KVMsgDlgButtons Buttons,
                                              int32_t HelpCtx);
typedef KVModalResult (*KVMdMessageDlgDefBtnExFunc)(const char* Msg, KVMsgDlgType DlgType,
                                                    KVMsgDlgButtons Buttons, KVMsgDlgBtn Btn,
                                                    KVMsgDlgBtn Btn2, int32_t HelpCtx);
typedef KVModalResult (*KVMdMessageDlgPosExFunc)(const char* Msg, KVMsgDlgType DlgType,
                                                 KVMsgDlgButtons Buttons, int32_t HelpCtx, int32_t X,
                                                 int32_t Y);
typedef KVModalResult (*KVMdMessageDlgPosHelpExFunc)(const char* Msg, KVMsgDlgType DlgType,
                                                     KVMsgDlgButtons Buttons, int32_t HelpCtx, int32_t X,
                                                     int32_t Y, const char* HelpFileName);
typedef void (*KVMdShowMessageExFunc)(const char* Msg);
/* Args points to ArgsHigh + 1 records (ArgsHigh is -1 for none). */
typedef void (*KVMdShowMessageFmtExFunc)(const char* Fmt, const KVVarRec* Args, int32_t ArgsHigh);
typedef void (*KVMdShowMessagePosExFunc)(const char* Msg, int32_t X, int32_t Y);

#ifdef __cplusplus
}
#endif

#endif
