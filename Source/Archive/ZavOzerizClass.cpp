// The archive component's published table: what a stored form may set on a TZavOzeriz, in
// declaration order, with the stream defaults that decide what a form omits. Programs that
// link the component get the class registered, so their form files can create it by name.
#include "Archive/ZavOzeriz.h"
#include "Archive/ZavSFX.h"

#include "Platform/Rtl/TypInfo.h"

namespace ZavOzeriz {

KV_ENUM_NAMES(AddOptsEnum, "AddDirNames", "AddRecurseDirs", "AddMove", "AddFreshen", "AddUpdate",
              "AddZipTime", "AddForceDOS", "AddHiddenFiles", "AddArchiveOnly", "AddResetArchive",
              "AddEncrypt", "AddSeparateDirs", "AddVolume", "AddFromDate", "AddSafe", "AddDiskSpan",
              "AddDiskSpanErase")
KV_ENUM_NAMES(ExtrOptsEnum, "ExtrDirNames", "ExtrOverWrite", "ExtrFreshen", "ExtrUpdate", "ExtrTest")
KV_ENUM_NAMES(CodePageOpts, "cpAuto", "cpNone", "cpOEM")
KV_ENUM_NAMES(DeleteOpts, "htdFinal", "htdAllowUndo")
KV_ENUM_NAMES(AddStoreSuffixEnum, "assGIF", "assPNG", "assZ", "assZIP", "assZOO", "assARC", "assLZH",
              "assARJ", "assTAZ", "assTGZ", "assLHA", "assRAR", "assACE", "assCAB", "assGZ", "assGZIP",
              "assJAR", "assEXE", "assEXT")
KV_ENUM_NAMES(SpanOptsEnum, "spNoVolumeName", "spCompatName", "spWipeFiles", "spTryFormat")
KV_ENUM_NAMES(SFXOptsEnum, "SFXAskCmdLine", "SFXAskFiles", "SFXAutoRun", "SFXHideOverWriteBox",
              "SFXCheckSize", "SFXNoSuccessMsg")
KV_ENUM_NAMES(OvrOpts, "OvrConfirm", "OvrAlways", "OvrNever")

using kv::platform::NoDefault;
using kv::platform::TClassBuilder;
using kv::platform::TClassInfo;
using Z = TZavOzeriz;

const TClassInfo& TZavOzeriz::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<Z, TComponent>("TZavOzeriz")
          .Bool("Verbose", &Z::GetVerbose, &Z::SetVerbose, NoDefault)
          .Bool("Trace", &Z::GetTrace, &Z::SetTrace, NoDefault)
          .Int("AddCompLevel", &Z::GetAddCompLevel, &Z::SetAddCompLevel, NoDefault)
          .Set<AddOptsEnum>("AddOptions", &Z::GetAddOptions, &Z::SetAddOptions, NoDefault)
          .Float("AddFrom", &Z::GetAddFrom, &Z::SetAddFrom, NoDefault)
          .Str("ExtrBaseDir", &Z::GetExtrBaseDir, &Z::SetExtrBaseDir, NoDefault)
          .Set<ExtrOptsEnum>("ExtrOptions", &Z::GetExtrOptions, &Z::SetExtrOptions, NoDefault)
          .Object("FSpecArgs", [](const Z& z) { return &const_cast<Z&>(z).GetFSpecArgs(); })
          .Bool("Unattended", &Z::GetUnattended, &Z::SetUnattended, NoDefault)
          .Str("ZipFileName", &Z::GetZipFileName, &Z::SetZipFileName, NoDefault)
          .Str("Password", &Z::GetPassword, &Z::SetPassword, NoDefault)
          .Str("DLLDirectory", &Z::GetDLLDirectory, &Z::SetDLLDirectory, NoDefault)
          .Int("MinVizIviVers", &Z::GetMinVizIviVers, &Z::SetMinVizIviVers, NoDefault)
          .Int("MinRozIzeVers", &Z::GetMinRozIzeVers, &Z::SetMinRozIzeVers, NoDefault)
          .Str("TempDir", &Z::GetTempDir, &Z::SetTempDir, NoDefault)
          .Enum<CodePageOpts>("CodePage", &Z::GetCodePage, &Z::SetCodePage, CodePageOpts::cpAuto)
          .Enum<DeleteOpts>("HowToDelete", &Z::GetHowToDelete, &Z::SetHowToDelete, DeleteOpts::htdAllowUndo)
          .Str("VersionInfo", &Z::GetVersionInfo, &Z::SetVersionInfo, NoDefault)
          .Set<AddStoreSuffixEnum>("AddStoreSuffixes", &Z::GetAddStoreSuffixes, &Z::SetAddStoreSuffixes,
                                   NoDefault)
          .Str("ExtAddStoreSuffixes", &Z::GetExtAddStoreSuffixes, &Z::SetExtAddStoreSuffixes, NoDefault)
          .Int("PasswordReqCount", &Z::GetPasswordReqCount, &Z::SetPasswordReqCount, 1)
          .Object("FSpecArgsExcl", [](const Z& z) { return &const_cast<Z&>(z).GetFSpecArgsExcl(); })
          .Bool("UseDirOnlyEntries", &Z::GetUseDirOnlyEntries, &Z::SetUseDirOnlyEntries, false)
          .Str("RootDir", &Z::GetRootDir, &Z::SetRootDir, NoDefault)
          .Event("OnDirUpdate", &Z::OnDirUpdate)
          .Event("OnProgress", &Z::OnProgress)
          .Event("OnMessage", &Z::OnMessage)
          .Event("OnSetNewName", &Z::OnSetNewName)
          .Event("OnNewName", &Z::OnNewName)
          .Event("OnCRC32Error", &Z::OnCRC32Error)
          .Event("OnPasswordError", &Z::OnPasswordError)
          .Event("OnExtractOverwrite", &Z::OnExtractOverwrite)
          .Event("OnExtractSkipped", &Z::OnExtractSkipped)
          .Event("OnCopyZipOverwrite", &Z::OnCopyZipOverwrite)
          .Event("OnFileComment", &Z::OnFileComment)
          .Event("OnAfterCallback", &Z::OnAfterCallback)
          .Event("OnTick", &Z::OnTick)
          .Set<SpanOptsEnum>("SpanOptions", &Z::GetSpanOptions, &Z::SetSpanOptions, NoDefault)
          .Bool("ConfirmErase", &Z::GetConfirmErase, &Z::SetConfirmErase, true)
          .Int("KeepFreeOnDisk1", &Z::GetKeepFreeOnDisk1, &Z::SetKeepFreeOnDisk1, NoDefault)
          .Int("KeepFreeOnAllDisks", &Z::GetKeepFreeOnAllDisks, &Z::SetKeepFreeOnAllDisks, NoDefault)
          .Int("MaxVolumeSize", &Z::GetMaxVolumeSize, &Z::SetMaxVolumeSize, 0)
          .Int("MinFreeVolumeSize", &Z::GetMinFreeVolumeSize, &Z::SetMinFreeVolumeSize, 65536)
          .Event("OnGetNextDisk", &Z::OnGetNextDisk)
          .Event("OnStatusDisk", &Z::OnStatusDisk)
          // Reading SFXSlave makes the component's own slave; a form stores an assigned one only.
          .Ref<TZavSFXBase>("SFXSlave", &Z::assignedSFXSlave, &Z::SetSFXSlave)
          .Str("SFXCaption", &Z::GetSFXCaption, &Z::SetSFXCaption, NoDefault)
          .Str("SFXCommandLine", &Z::GetSFXCommandLine, &Z::SetSFXCommandLine, NoDefault)
          .Str("SFXDefaultDir", &Z::GetSFXDefaultDir, &Z::SetSFXDefaultDir, NoDefault)
          .Object("SFXIcon", [](const Z& z) { return &const_cast<Z&>(z).GetSFXIcon(); })
          .Str("SFXMessage", &Z::GetSFXMessage, &Z::SetSFXMessage, NoDefault)
          .Set<SFXOptsEnum>("SFXOptions", &Z::GetSFXOptions, &Z::SetSFXOptions,
                            SFXOpts{SFXOptsEnum::SFXCheckSize})
          .Enum<OvrOpts>("SFXOverWriteMode", &Z::GetSFXOverWriteMode, &Z::SetSFXOverWriteMode, NoDefault)
          .Str("SFXPath", &Z::GetSFXPath, &Z::SetSFXPath, NoDefault)
          .Build();
  return info;
}

const TClassInfo& TZavSFXBase::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TZavSFXBase, TComponent>("TZavSFXBase").Build();
  return info;
}

} // namespace ZavOzeriz

namespace ZavSFX {

const kv::platform::TClassInfo& TZavSFXSlave::StaticClassInfo() {
  using S = TZavSFXSlave;
  static const kv::platform::TClassInfo info =
      kv::platform::TClassBuilder<S, ZavOzeriz::TZavSFXBase>("TZavSFXSlave")
          .Str("Version", &S::GetVersion, &S::SetVersion, kv::platform::NoDefault)
          .Build();
  return info;
}

} // namespace ZavSFX

namespace ZavOzeriz {

namespace {
// Registered as the program starts, so any form file of a program holding the component
// finds the classes by name.
const bool classesRegistered = (kv::platform::RegisterClasses({&TZavOzeriz::StaticClassInfo(),
                                                               &ZavSFX::TZavSFXSlave::StaticClassInfo()}),
                                true);
} // namespace

} // namespace ZavOzeriz
