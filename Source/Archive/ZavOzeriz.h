// TZavOzeriz: the non-visual zip component. It keeps the directory of the archive named
// by ZipFileName in ZipContents, reports through events and an integer error code, and
// runs one operation at a time.
#pragma once

#include "Archive/MessagePace.h"
#include "Engines/ZipEngineRecords.h"
#include "Platform/DynLib/DynLib.h"
#include "Platform/Files/Files.h"
#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/Icons.h"
#include "Platform/Rtl/TypInfo.h"
#include "ZipFormat/ZipRecords.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ZavOzeriz {

using kv::platform::TComponent;
using kv::platform::TDate;
using kv::platform::TEvent;
using kv::platform::TNotifyEvent;
using kv::platform::TObject;
using kv::platform::TSet;
using kv::platform::TStringList;
using kv::platform::TStrings;

enum class AddOptsEnum {
  AddDirNames,
  AddRecurseDirs,
  AddMove,
  AddFreshen,
  AddUpdate,
  AddZipTime,
  AddForceDOS,
  AddHiddenFiles,
  AddArchiveOnly,
  AddResetArchive,
  AddEncrypt,
  AddSeparateDirs,
  AddVolume,
  AddFromDate,
  AddSafe,
  AddDiskSpan,
  AddDiskSpanErase
};
using AddOpts = TSet<AddOptsEnum>;
enum class ExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
using ExtrOpts = TSet<ExtrOptsEnum>;
enum class CodePageOpts { cpAuto, cpNone, cpOEM };
enum class DeleteOpts { htdFinal, htdAllowUndo };
enum class AddStoreSuffixEnum {
  assGIF,
  assPNG,
  assZ,
  assZIP,
  assZOO,
  assARC,
  assLZH,
  assARJ,
  assTAZ,
  assTGZ,
  assLHA,
  assRAR,
  assACE,
  assCAB,
  assGZ,
  assGZIP,
  assJAR,
  assEXE,
  assEXT
};
using AddStoreExts = TSet<AddStoreSuffixEnum>;
enum class SpanOptsEnum { spNoVolumeName, spCompatName, spWipeFiles, spTryFormat };
using SpanOpts = TSet<SpanOptsEnum>;
enum class SFXOptsEnum {
  SFXAskCmdLine,
  SFXAskFiles,
  SFXAutoRun,
  SFXHideOverWriteBox,
  SFXCheckSize,
  SFXNoSuccessMsg
};
using SFXOpts = TSet<SFXOptsEnum>;
enum class OvrOpts { OvrConfirm, OvrAlways, OvrNever };

enum class ProgressType { NewFile, ProgressUpdate, EndOfBatch, TotalFiles2Process, TotalSize2Process };
enum class TPasswordButton { pwbOk, pwbCancel, pwbCancelAll, pwbAbort };
enum class TZipDiskStatusEnum { zdsEmpty, zdsHasFiles, zdsPreviousDisk, zdsSameFileName, zdsNotEnoughSpace };
using TZipDiskStatus = TSet<TZipDiskStatusEnum>;
enum class TZipDiskAction { zdaOk, zdaErase, zdaReject, zdaCancel };
// The engine numbers the skip reasons from 1 (stOnFreshen) to 9 (stGeneralExtractError).
enum class UnZipSkipTypes {
  stOnFreshen,
  stSkipReason2,
  stSkipReason3,
  stSkipReason4,
  stSkipReason5,
  stSkipReason6,
  stSkipReason7,
  stSkipReason8,
  stGeneralExtractError
};

// One member of the current archive: the central header's fields after its signature,
// then the component's own.
struct ZipDirEntry : ZipRecords::CentralHeaderFields {
  std::string FileName;           // after the code-page rule, every '/' turned into '\'
  std::string FileComment;        // after the code-page rule; empty when there is none
  bool Encrypted = false;         // bit 0 of Flag
  std::vector<uint8_t> ExtraData; // a copy of the extra field; empty when it has none
};

// The component's list of directory entries; it owns them.
class TZipContents {
public:
  int Count() const { return static_cast<int>(items_.size()); }
  const ZipDirEntry& operator[](int Index) const { return *items_.at(static_cast<size_t>(Index)); }
  const ZipDirEntry& Items(int Index) const { return (*this)[Index]; }
  void Add(std::unique_ptr<ZipDirEntry> Entry) { items_.push_back(std::move(Entry)); }
  // Frees the entries, the last first.
  void Clear() {
    while (!items_.empty())
      items_.pop_back();
  }

private:
  std::vector<std::unique_ptr<ZipDirEntry>> items_;
};

// The component's exception: a message of its table, and whether it is shown in a box.
class EZavOzeriz : public kv::platform::Exception {
public:
  static EZavOzeriz CreateResDisp(int Ident, bool Display);
  static EZavOzeriz CreateResFmtInt(int Ident, int Value);
  static EZavOzeriz CreateResFmtStr(int Ident, const std::string& Value);
  // A text of our own under a table id, for refusals the table has no words for.
  static EZavOzeriz withText(int Ident, const std::string& Text) { return EZavOzeriz(Text, Ident, true); }
  bool DisplayMsg = true;
  int ResId = 0;

private:
  EZavOzeriz(std::string message, int ident, bool display)
      : Exception(std::move(message)), DisplayMsg(display), ResId(ident) {}
};

using TProgressEvent = TEvent<TObject*, ProgressType, const std::string&, uint32_t>;
using TMessageEvent = TEvent<TObject*, int, const std::string&>;
using TSetNewNameEvent = TEvent<TObject*, std::string&, bool&>;
using TNewNameEvent = TEvent<TObject*, int, ZipDirEntry>;
using TCRC32ErrorEvent = TEvent<TObject*, const std::string&, uint32_t, uint32_t, bool&>;
using TPasswordErrorEvent =
    TEvent<TObject*, bool, std::string&, const std::string&, uint32_t&, TPasswordButton&>;
using TExtractOverwriteEvent = TEvent<TObject*, const std::string&, bool, bool&, int>;
using TExtractSkippedEvent = TEvent<TObject*, const std::string&, UnZipSkipTypes, int>;
using TCopyZipOverwriteEvent = TEvent<TObject*, const std::string&, bool&>;
using TFileCommentEvent = TEvent<TObject*, const std::string&, std::string&, bool&>;
using TAfterCallbackEvent = TEvent<TObject*, bool&>;
using TTickEvent = TEvent<TObject*>;
using TGetNextDiskEvent = TEvent<TObject*, int, int, const std::string&, bool&>;
using TStatusDiskEvent = TEvent<TObject*, int, const std::string&, TZipDiskStatus, TZipDiskAction&>;

// Fills the placeholders of a message text (%s, %d, %.1d) in order with the values.
std::string FormatZipText(const std::string& format, const std::vector<std::string>& values);

// The name of part Disk (0 for the first) of a set written on a fixed drive beside Name:
// KorvBak.zip gives KorvBak001.zip, KorvBak002.zip, ...
std::string NumberedPartName(const std::string& Name, int Disk);

// ==== Engine link: types ==================================================================

// One command record for one engine call, with every text and array it points to. The
// record lives exactly as long as its holder; the run frees the holder as soon as the engine
// returns, so nothing the engine saw outlives the call.
class TEngineTexts {
public:
  // A NUL-terminated copy that stays put until the holder goes.
  const char* Copy(const std::string& Text);

private:
  std::vector<std::unique_ptr<char[]>> texts_;
};

struct TZipCommand {
  TZipCommand();
  ZipCommandRecord Rec;
  std::vector<FileSpecRecord> Specs;
  std::vector<const char*> Exclusions;
  TEngineTexts Texts;
};

struct TUnzipCommand {
  TUnzipCommand();
  UnzipCommandRecord Rec;
  std::vector<UnzipFileSpec> Specs;
  TEngineTexts Texts;
};

// The names and messages of one engine, the zip or the unzip one.
struct TEngineSide;

// The answer the last password prompt left behind: cancel all stops further prompts of a
// run, abort stops the run.
enum class TPasswordAnswer { paNone, paCancelAll, paAbort };

// The password dialog's look, in pixels, for a button set (bits: 1 OK, 2 Cancel, 4 Cancel
// all, 8 Abort; OK is always shown). The dialog form builds itself from these figures, so
// they can be checked without a display.
enum class TPasswordDlgButtonKind { bkOK, bkCancel, bkNo, bkAbort };
struct TPasswordDlgButton {
  int Bit;
  TPasswordDlgButtonKind Kind;
  int CaptionId; // message table id of its caption
  int ModalResult;
  int Left, Top, Width, Height;
};
struct TPasswordDlgLayout {
  int Width, Height;
  const char* FontName;
  int FontHeight;
  bool FontBold;
  int LabelLeft, LabelTop, LabelWidth, LabelHeight;
  int EditLeft, EditTop, EditWidth, EditMaxLength;
  char PasswordChar;
  std::vector<TPasswordDlgButton> Buttons; // the shown ones, in bit order
};
TPasswordDlgLayout PasswordDlgLayout(int Buttons);

// The longest password the dialog takes.
inline constexpr int PasswordDlgMaxLength = 80;

// ==== End of engine link types =============================================================

// ==== Self-extractor: types ==============================================================

class TZavOzeriz;
using kv::platform::TIcon;
using kv::platform::TOperation;

// The settings of the self-extractor to be built. The component owns it; it owns its icon.
class TSFXProperties : public TObject {
public:
  std::string ClassName() const override { return "TSFXProperties"; }
  std::string Caption = "Self-extracting Archive";
  std::string CommandLine;
  std::string DefaultDir;
  std::unique_ptr<TIcon> Icon = std::make_unique<TIcon>();
  std::string Message; // its first character may be a style marker (code 1 or 2)
  SFXOpts Options{SFXOptsEnum::SFXCheckSize};
  OvrOpts OverWriteMode = OvrOpts::OvrConfirm;
  std::string Path;
};

// The operations of the component that builds self-extractors; the component reaches them
// only through here, so programs that build none need not use that code.
class TZavSFXBase : public TComponent {
  KV_CLASS_INFO(TZavSFXBase)
public:
  explicit TZavSFXBase(TComponent* AOwner) : TComponent(AOwner) {}
  virtual int ConvertToSFX(TZavOzeriz* Master) = 0;
  virtual int ConvertToZIP(TZavOzeriz* Master) = 0;
  virtual int CreateNewSFX(TZavOzeriz* Master, const std::string& ExeName) = 0;
  virtual int CheckZavSFX(TZavOzeriz* Master, const std::string& ExeName) = 0;
  virtual std::string SFXVersionText() = 0;
  virtual std::string DefaultStubName() = 0;
};

// ==== End of self-extractor types =========================================================

// The work list of the volume copiers (ZavOzerizSpan.h).
class TMZipDataList;

// Sizes the drive queries could not tell.
inline constexpr uint64_t UnknownSize = ~uint64_t{0};

class TZavOzeriz : public TComponent {
public:
  explicit TZavOzeriz(TComponent* AOwner);
  ~TZavOzeriz() override;
  std::string ClassName() const override { return "TZavOzeriz"; }
  // The published table (ZavOzerizClass.cpp) that form files read and write it through.
  static const kv::platform::TClassInfo& StaticClassInfo();
  const kv::platform::TClassInfo* ClassInfo() const override { return &StaticClassInfo(); }

  // ---- published properties
  bool GetVerbose() const { return FVerbose; }
  void SetVerbose(bool Value) { FVerbose = Value; }
  bool GetTrace() const { return FTrace; }
  void SetTrace(bool Value) { FTrace = Value; }
  int GetAddCompLevel() const { return FAddCompLevel; }
  void SetAddCompLevel(int Value) { FAddCompLevel = Value; }
  AddOpts GetAddOptions() const { return FAddOptions; }
  void SetAddOptions(AddOpts Value) { FAddOptions = Value; }
  TDate GetAddFrom() const { return FAddFrom; }
  void SetAddFrom(TDate Value) { FAddFrom = Value; }
  const std::string& GetExtrBaseDir() const { return FExtrBaseDir; }
  void SetExtrBaseDir(const std::string& Value) { FExtrBaseDir = Value; }
  ExtrOpts GetExtrOptions() const { return FExtrOptions; }
  void SetExtrOptions(ExtrOpts Value) { FExtrOptions = Value; }
  TStrings& GetFSpecArgs() { return *FFSpecArgs; }
  void SetFSpecArgs(const TStrings& Value) { FFSpecArgs->Assign(Value); }
  bool GetUnattended() const { return FUnattended; }
  void SetUnattended(bool Value) { FUnattended = Value; }
  const std::string& GetZipFileName() const { return FZipFileName; }
  void SetZipFileName(const std::string& Value);
  const std::string& GetPassword() const { return FPassword; }
  void SetPassword(const std::string& Value) { FPassword = Value; }
  const std::string& GetDLLDirectory() const { return FDLLDirectory; }
  void SetDLLDirectory(const std::string& Value);
  int GetMinVizIviVers() const { return FMinVizIviVers; }
  void SetMinVizIviVers(int Value);
  int GetMinRozIzeVers() const { return FMinRozIzeVers; }
  void SetMinRozIzeVers(int Value);
  const std::string& GetTempDir() const { return FTempDir; }
  void SetTempDir(const std::string& Value) { FTempDir = Value; }
  CodePageOpts GetCodePage() const { return FCodePage; }
  void SetCodePage(CodePageOpts Value) { FCodePage = Value; }
  DeleteOpts GetHowToDelete() const { return FHowToDelete; }
  void SetHowToDelete(DeleteOpts Value) { FHowToDelete = Value; }
  std::string GetVersionInfo() const { return "1.72"; }
  void SetVersionInfo(const std::string&) {} // read-only in effect
  AddStoreExts GetAddStoreSuffixes() const { return FAddStoreSuffixes; }
  void SetAddStoreSuffixes(AddStoreExts Value) { FAddStoreSuffixes = Value; }
  const std::string& GetExtAddStoreSuffixes() const { return FExtAddStoreSuffixes; }
  void SetExtAddStoreSuffixes(const std::string& Value);
  uint32_t GetPasswordReqCount() const { return FPasswordReqCount; }
  void SetPasswordReqCount(uint32_t Value);
  TStrings& GetFSpecArgsExcl() { return *FFSpecArgsExcl; }
  void SetFSpecArgsExcl(const TStrings& Value) { FFSpecArgsExcl->Assign(Value); }
  bool GetUseDirOnlyEntries() const { return FUseDirOnlyEntries; }
  void SetUseDirOnlyEntries(bool Value) { FUseDirOnlyEntries = Value; }
  const std::string& GetRootDir() const { return FRootDir; }
  void SetRootDir(const std::string& Value) { FRootDir = Value; }
  SpanOpts GetSpanOptions() const { return FSpanOptions; }
  void SetSpanOptions(SpanOpts Value) { FSpanOptions = Value; }
  bool GetConfirmErase() const { return FConfirmErase; }
  void SetConfirmErase(bool Value) { FConfirmErase = Value; }
  int GetKeepFreeOnDisk1() const { return FKeepFreeOnDisk1; }
  void SetKeepFreeOnDisk1(int Value) { FKeepFreeOnDisk1 = Value; }
  uint32_t GetKeepFreeOnAllDisks() const { return FKeepFreeOnAllDisks; }
  void SetKeepFreeOnAllDisks(uint32_t Value) { FKeepFreeOnAllDisks = Value; }
  int GetMaxVolumeSize() const { return FMaxVolumeSize; }
  void SetMaxVolumeSize(int Value) { FMaxVolumeSize = Value; }
  int GetMinFreeVolumeSize() const { return FMinFreeVolumeSize; }
  void SetMinFreeVolumeSize(int Value) { FMinFreeVolumeSize = Value; }
  // The self-extractor's properties (SFXSlave, SFXCaption ... SFXPath) are in the
  // self-extractor block at the end of the class.

  // ---- published events
  TNotifyEvent OnDirUpdate;
  TProgressEvent OnProgress;
  TMessageEvent OnMessage;
  TSetNewNameEvent OnSetNewName;
  TNewNameEvent OnNewName;
  TCRC32ErrorEvent OnCRC32Error;
  TPasswordErrorEvent OnPasswordError;
  TExtractOverwriteEvent OnExtractOverwrite;
  TExtractSkippedEvent OnExtractSkipped;
  TCopyZipOverwriteEvent OnCopyZipOverwrite;
  TFileCommentEvent OnFileComment;
  TAfterCallbackEvent OnAfterCallback;
  TTickEvent OnTick;
  TGetNextDiskEvent OnGetNextDisk;
  TStatusDiskEvent OnStatusDisk;

  // ---- public
  const TZipContents& ZipContents() const { return FZipContents; }
  // 0 whenever ZipFileName is empty.
  int Count() const { return FZipFileName.empty() ? 0 : FZipContents.Count(); }
  int ErrCode() const { return FErrCode; }
  // Reads the directory again; -255 while another operation runs.
  int List();

  // ---- shared by the component's operations (and looked at by its tests)
  bool CheckBusy() const { return FBusy || FSpanWriteBusy || FSpanReadBusy; }
  void StartWaitCursor();
  void StopWaitCursor();
  void ClearZipContents() { FZipContents.Clear(); }

  // Message table and reporting.
  static std::string MissingStringText(int Ident);
  static std::string LoadZipStr(int Ident, const std::string& Default);
  void ShowZipMessage(int Ident, const std::string& Extra = {});
  void ReportZipError(const EZavOzeriz& E);
  // Reports the exception that ended an inner copying operation (volume writing and reading,
  // the self-extractor builder) and gives the operation's result: -7 after the component's
  // own, -8 when memory ran out, -9 after any other.
  int reportCopyFailure(std::exception_ptr Failure);
  void TraceMessage(const std::string& Text);
  const std::string& LastMessage() const { return FMessage; }

  // File, path and drive helpers.
  int EraseFile(const std::string& FileName, DeleteOpts HowToDelete);
  std::string MakeTempFileName(std::string Prefix, std::string Extension);
  static std::string PathConcat(const std::string& Dir, const std::string& Name);
  static std::string AddTrailingBackslash(const std::string& Path);
  static std::string SlashToBackslash(const std::string& Name);
  void ReadDiskFree(int Which);
  bool CheckDrive();
  void WriteChecked(const void* Buffer, int64_t Count, int MessageId);

  // Directory reading.
  void ReadZipDir();
  bool ReadEOC(ZipRecords::EndOfCentralDirRecord& EOC, bool RaiseErrors);
  std::string ConvertNameCodePage(const std::string& Name, bool ToOEM) const;
  bool DriveIsFixed(const std::string& Root) const;

  // Volumes of a spanned set, as far as directory reading needs them.
  void SwitchInputDisk(int Disk);
  bool CheckVolumeLabel();
  void SpanPartName(std::string& Name, bool Replace) const;
  void PromptForDisk(bool Estimate);

  // Directory state of the last read.
  uint32_t DataStart() const { return FDataStart; }
  const std::string& ZipComment() const { return FZipComment; }
  bool Spanned() const { return FSpanned; }
  int LastDisk() const { return FLastDisk; }
  int CurrentDisk() const { return FCurrentDisk; }
  int64_t CentralDirStart() const { return FCentralDirStart; }
  bool StructureWarning() const { return FStructureWarning; }
  int DroppedEntries() const { return FDroppedEntries; }
  int64_t RealFileSize() const { return FRealFileSize; }
  int64_t SpanInputSize() const { return FSpanInputSize; }
  int64_t EndRecordOffset() const { return FEOCOffset; }
  const std::string& SpanDrive() const { return FSpanDrive; }
  bool SpanOnFixedDrive() const { return FSpanOnFixedDrive; }
  const std::string& VolumeLabelText() const { return FVolumeLabelText; }
  uint64_t VolumeFree() const { return FVolumeFree; }
  uint64_t VolumeSize() const { return FVolumeSize; }
  int WaitCursorLevel() const { return FCursorLevel; }
  // The spanning code and tests set these as the callers of the helpers do.
  void SetSpanDrive(const std::string& Drive, bool OnFixedDrive) {
    FSpanDrive = Drive;
    FSpanOnFixedDrive = OnFixedDrive;
  }
  kv::platform::FileHandle SpanOutHandle = kv::platform::InvalidFile;
  bool SpanProgress = false;

  // ==== Engine link: loading the engines, their command records, the callback dispatch and
  // the password prompts. Add and Extract run the engines through RunVizIvi and RunRozIze.

  // Loading. The Load* calls give the engine's version, 0 when it cannot be used (the
  // reason has been reported); LoadedHere tells whether this call loaded the library.
  int LoadVizIvi(bool& LoadedHere);
  int LoadRozIze(bool& LoadedHere);
  int LoadVizIviLibrary();
  int LoadRozIzeLibrary();
  void UnloadVizIvi();
  void UnloadRozIze();
  void VizIviPath(kv::platform::LibraryHandle Handle, std::string& Path) const;
  void RozIzePath(kv::platform::LibraryHandle Handle, std::string& Path) const;
  bool VizIviLoaded() const { return FVizIvi.Module != nullptr; }
  bool RozIzeLoaded() const { return FRozIze.Module != nullptr; }

  // Command records, filled from the properties. The Fill*Command calls fill everything
  // but the specifications; FillZipSpecs and FillUnzipSpecs add those, their count and the
  // check value (and, for the unzip engine, the base directory).
  void FillZipCommand(TZipCommand& Cmd, const std::string& ArchiveName, int Version);
  void FillZipSpecs(TZipCommand& Cmd);
  void FillUnzipCommand(TUnzipCommand& Cmd, const std::string& ArchiveName, int Version);
  void FillUnzipSpecs(TUnzipCommand& Cmd);
  static void AppendStoreSuffix(int Index, std::string& List);
  std::string StoreSuffixList() const;

  // One engine run: load unless loaded, fill the record, execute once, free the record,
  // clear the file specification lists, unload what was loaded here. AfterExec, when given, runs
  // right after the engine returned, inside the same guard (an add's spanning write, the
  // deletion of an extract's joined copy). False when the engine could not be loaded: then
  // nothing else happened and the specifications are kept.
  bool RunVizIvi(const std::string& EngineTarget, const std::function<void()>& AfterExec = {});
  bool RunRozIze(const std::string& EngineSource, const std::function<void()>& AfterExec = {});
  // The engine's result of the last run.
  int SuccessCount() const { return FSuccessCount; }
  void SetSuccessCount(int Value) { FSuccessCount = Value; }

  // Callback dispatch. EngineCallback is the address the command records carry.
  static int32_t EngineCallback(CallbackRecord* Rec);
  bool HandleCallback(int Action, int Code, const std::string& Text, int64_t Size, CallbackRecord* Rec);
  static std::string CallbackFileName(const std::string& Text);
  static std::string ProgressActionText(int Code);
  int FullErrCode() const { return FFullErrCode; }
  bool CallbackCancelled() const { return FCancel; }
  void SetCallbackCancelled(bool Value) { FCancel = Value; }
  const std::string& HandlerFailure() const { return FHandlerFailure; }
  void ClearHandlerFailure() { FHandlerFailure.clear(); }
  TPasswordAnswer RememberedPasswordAnswer() const { return FPasswordAnswer; }
  kv::platform::TMemoryStream& ZipStream() { return *FZipStream; }

  // Password prompts.
  TPasswordButton RunPasswordDlg(const std::string& Caption, const std::string& Prompt, std::string& Text,
                                 int Buttons);
  void AskAddPassword(std::string& Password);
  void AskExtractPassword(std::string& Password);

  // ==== End of engine link

private:
  // One operation at a time: -255 while another runs; else Operation with the busy flag set,
  // and ErrCode as it left it.
  int runOperation(const std::function<void()>& Operation);
  void readZipDirOnce();
  int inputVolumeNumber() const;
  bool scanForEOC(ZipRecords::EndOfCentralDirRecord& EOC, int64_t length);
  void readDirectory(ZipRecords::EndOfCentralDirRecord& eoc);
  void closeInput();
  // Moves the input to Offset from its start; a place that cannot be reached raises ErrorId.
  void seekInput(int64_t Offset, int ErrorId);

  // Published state.
  bool FVerbose = false;
  bool FTrace = false;
  int FAddCompLevel = 9;
  AddOpts FAddOptions;
  TDate FAddFrom = 0;
  std::string FExtrBaseDir;
  ExtrOpts FExtrOptions;
  std::unique_ptr<TStringList> FFSpecArgs;
  bool FUnattended = false;
  std::string FZipFileName;
  std::string FPassword;
  std::string FDLLDirectory;
  int FMinVizIviVers = 172;
  int FMinRozIzeVers = 172;
  std::string FTempDir;
  CodePageOpts FCodePage = CodePageOpts::cpAuto;
  DeleteOpts FHowToDelete = DeleteOpts::htdAllowUndo;
  AddStoreExts FAddStoreSuffixes;
  std::string FExtAddStoreSuffixes;
  uint32_t FPasswordReqCount = 1;
  std::unique_ptr<TStringList> FFSpecArgsExcl;
  bool FUseDirOnlyEntries = false;
  std::string FRootDir;
  SpanOpts FSpanOptions;
  bool FConfirmErase = true;
  int FKeepFreeOnDisk1 = 0;
  uint32_t FKeepFreeOnAllDisks = 0;
  int FMaxVolumeSize = 0;
  int FMinFreeVolumeSize = 65536;

  // Message state. Every message and engine error leaves its code through reportErrCode, whose
  // count tells an operation whether anything was reported while it ran.
  void reportErrCode(int Code) {
    FErrCode = Code;
    ++errCodeReports_;
  }
  void engineError(int Code) {
    reportErrCode(Code & 0xFF);
    FFullErrCode = Code;
  }
  int FErrCode = 0;
  unsigned errCodeReports_ = 0;
  int FFullErrCode = 0;
  std::string FMessage;
  uintptr_t FParentWindow = 0;

  // Busy flags.
  bool FBusy = false;
  bool FSpanWriteBusy = false;
  bool FSpanReadBusy = false;
  bool readingDir_ = false;
  bool readDirAgain_ = false; // ZipFileName was set while a read ran

  // Directory state.
  TZipContents FZipContents;
  std::string FSpanInName;
  kv::platform::FileHandle FSpanInHandle = kv::platform::InvalidFile;
  std::string FSpanDrive;
  bool FSpanOnFixedDrive = false;
  std::string FVolumeLabelText;
  uint64_t FVolumeFree = 0;
  uint64_t FVolumeSize = 0;
  int64_t FRealFileSize = 0;
  int64_t FSpanInputSize = 0;
  int64_t FEOCOffset = 0;
  std::string FZipComment;
  bool FSpanned = false;
  int FLastDisk = 0;
  int FCurrentDisk = 0;
  bool FNewDiskWanted = false;
  int64_t FCentralDirStart = 0;
  bool FStructureWarning = false;
  uint32_t FDataStart = 0;
  int FDroppedEntries = 0;
  int FEntryVersion = 0;
  int FEntryHost = 0;
  uint16_t FEntryFlag = 0;

  // Wait cursor.
  int32_t FCursorLevel = 0;
  int FSavedCursor = 0;

  // The memory stream for the engines' stream modes.
  std::unique_ptr<kv::platform::TMemoryStream> FZipStream;

  // ==== Engine link state
  // One engine library and its two entry points; it lets the library go when it goes.
  struct TEngineModule {
    kv::platform::LibraryHandle Module = nullptr;
    void* Exec = nullptr;
    void* Version = nullptr;
    TEngineModule() = default;
    TEngineModule(const TEngineModule&) = delete;
    TEngineModule& operator=(const TEngineModule&) = delete;
    ~TEngineModule() { Unload(); }
    void Unload();
  };
  int loadEngineLibrary(const TEngineSide& Side, TEngineModule& Engine);
  int loadEngine(const TEngineSide& Side, TEngineModule& Engine, bool& LoadedHere);
  bool runEngine(const TEngineSide& Side, TEngineModule& Engine, bool& Busy,
                 const std::function<int32_t(int)>& Exec, const std::function<void()>& Release,
                 const std::function<void()>& AfterExec);
  void afterCallback(int Action);
  void dispatchAction(int Action, int Code, const std::string& Text, int64_t Size, CallbackRecord* Rec);
  void passwordRequest(int Code, const std::string& Name, int64_t Size, CallbackRecord* Rec);
  void newNameRequest(const std::string& Name, CallbackRecord* Rec);
  void fileCommentRequest(const std::string& Name, CallbackRecord* Rec);
  void streamResize(int64_t Size, CallbackRecord& Rec);

  TEngineModule FVizIvi;
  TEngineModule FRozIze;
  std::unique_ptr<TZipCommand> FZipCmd;     // present only during a zip engine run
  std::unique_ptr<TUnzipCommand> FUnzipCmd; // present only during an unzip engine run
  bool FCancel = false;
  std::string FHandlerFailure;
  TPasswordAnswer FPasswordAnswer = TPasswordAnswer::paNone;
  int FSuccessCount = 0;
  // ==== End of engine link state
  // ==== Spanned sets: spreading an archive over volumes and joining a set back =========
public:
  // Spreads the single-file archive InFileName over parts named after OutFileName;
  // 0, or -7, -8, -9 after a reported failure.
  int WriteSpan(const std::string& InFileName, const std::string& OutFileName);
  // Joins the set whose last part is InFileName into OutFileName (a new temporary file
  // when it has no file part); the name written comes back, "" after a failure.
  int ReadSpan(const std::string& InFileName, std::string& OutFileName);
  // Writes to the spanned output, opening, checking and labelling volumes as needed;
  // MinContiguous bytes from here on must land on one volume.
  void WriteSplit(const void* Buffer, int64_t Len, int64_t MinContiguous);
  // Copies Len bytes of the input to the spanned output; a short read raises ErrorId.
  void CopyChunked(int64_t Len, int ErrorId);
  // Copies Len bytes of the set to the joined file, going on to the next volume as parts end.
  void CopyAcrossDisks(int64_t Len, int ErrorId);
  int ClearDisk();
  void EraseFloopy(const std::string& Dir);
  int ShellFormatDrive(uintptr_t Window, const std::string& Drive);
  TZipDiskStatus DiskStatus() const { return FDiskStatus; }
  TZipDiskAction DiskAction() const { return FDiskAction; }
  int64_t PartBytesWritten() const { return FPartBytesWritten; }
  int32_t SpanDateStamp() const { return FSpanDateStamp; }
  bool SpanWriteBusy() const { return FSpanWriteBusy; }
  bool SpanReadBusy() const { return FSpanReadBusy; }

private:
  struct SpanPart {
    std::string temp;     // where the part is written
    std::string final;    // the name it takes once the set is complete
    std::string replaces; // an older part on the same disk that it overwrites, while it is there
  };
  void spreadArchive();
  TMZipDataList collectPlaces(const ZipRecords::EndOfCentralDirRecord& eoc, int64_t centralStart);
  void copyMembers(TMZipDataList& list);
  void writeDirectory(const TMZipDataList& list, const ZipRecords::EndOfCentralDirRecord& eoc,
                      int64_t centralStart, int64_t eocOffset);
  void joinInto(const std::string& OutFileName, std::string& outName, bool& created);
  void joinSet(const ZipRecords::EndOfCentralDirRecord& eoc, int64_t eocOffset);
  TMZipDataList collectSetPlaces(const ZipRecords::EndOfCentralDirRecord& eoc, uint64_t& TotalSize);
  void joinMembers(TMZipDataList& list);
  void joinDirectory(const TMZipDataList& list, const ZipRecords::EndOfCentralDirRecord& eoc,
                     int64_t eocOffset);
  // Reads Len bytes of the input where it stands; fewer raise ErrorId.
  void readInput(void* Buffer, int64_t Len, int ErrorId);
  void openSpanPart();
  bool mayOverwritePart(const std::string& partName, bool numbered);
  void measurePartRoom(const std::string& replaces);
  void closeSpanPart();
  void discardOpenPart();
  void finishSpanParts(const std::string& lastName);
  void removeOlderPartsBeyond();
  void discardSpanParts();
  void askForSpace(const std::string& partName);
  void writePart(const uint8_t* p, int64_t n);
  bool makeRoomOfOlderParts(uint64_t freeBytes, int64_t n);
  void followDrive(const std::string& Root);
  void reportVolumeRefusal();
  int spanLabelNumber() const;
  int lastSpanDisk() const;
  void readAcross(void* Buffer, int64_t Len, int ErrorId);
  void skipAcross(int64_t Len, int ErrorId);
  void nextInputPart(int ErrorId);
  bool atInputPartEnd() const;
  void moveInputTo(int Disk, int64_t Offset);
  void writeJoined(const void* Buffer, int64_t Len, int ErrorId);
  bool namesPartOfSet(const std::string& Name, int LastPart);

  std::string FSpanOutName;
  int32_t FSpanDateStamp = 0;
  int64_t FPartBytesWritten = 0;
  TZipDiskStatus FDiskStatus;
  TZipDiskAction FDiskAction = TZipDiskAction::zdaOk;
  SpanPart openPart_;                   // the part being written
  std::vector<SpanPart> finishedParts_; // written, not yet under their names
  // The date stamp of the older set of this name that the new one replaces, once its
  // first part is known to be replaced: every part of one set carries the same stamp.
  std::optional<int32_t> olderSetStamp_;
  std::vector<uint8_t> FCopyBuffer;
  MessagePacer messages_; // of the copy between volumes
  int64_t joinedSize_ = 0;
  // ==== End of spanned sets

  // ==== Add and Extract: packing the files of FSpecArgs into ZipFileName through the zip
  // engine (spread over volumes with AddDiskSpan), unpacking members into ExtrBaseDir
  // through the unzip engine (a spanned set joined into one archive first)
public:
  // Each returns ErrCode as the run left it; -255 without doing anything while another
  // operation runs.
  int Add();
  int Extract();
  // An empty self-extractor under ExeName, made by the self-extractor builder; without a
  // builder it raises the "not supported" error.
  int CreateEmptySFX(const std::string& ExeName);

private:
  void ExecAdd(int Mode);
  bool checkAddRequest();
  void spreadEngineArchive(const std::string& EngineTarget);
  void ExecExtract(int Mode);
  // The directory for temporary files: TempDir (given its trailing delimiter, which it
  // keeps) or the system's.
  std::string tempDirectory();
  // The last volume of the set whose directory was read last: the volume copiers move
  // LastDisk on, and an extract must still know whether the archive it lists is a set.
  int FDirLastDisk = 0;
  // ==== End of add and extract

  // ==== Self-extractor: its settings and the slave that builds the executables
  // (CreateEmptySFX, declared with Add above, is made by the slave's unit too)
public:
  // The assigned slave, or the component's own one, made on the first read.
  TZavSFXBase* GetSFXSlave();
  // An assigned slave belongs to its owner; the component forgets it when it goes.
  void SetSFXSlave(TZavSFXBase* Value);
  // What a form stores: the assigned slave only, never the component's own one.
  TZavSFXBase* assignedSFXSlave() const { return FSFXSlave == FOwnSlave.get() ? nullptr : FSFXSlave; }
  const std::string& GetSFXCaption() const { return FSFXProperties->Caption; }
  void SetSFXCaption(const std::string& Value) { FSFXProperties->Caption = Value; }
  const std::string& GetSFXCommandLine() const { return FSFXProperties->CommandLine; }
  void SetSFXCommandLine(const std::string& Value) { FSFXProperties->CommandLine = Value; }
  const std::string& GetSFXDefaultDir() const { return FSFXProperties->DefaultDir; }
  void SetSFXDefaultDir(const std::string& Value) { FSFXProperties->DefaultDir = Value; }
  TIcon& GetSFXIcon() { return *FSFXProperties->Icon; }
  const TIcon& GetSFXIcon() const { return *FSFXProperties->Icon; }
  void SetSFXIcon(const TIcon& Value) { FSFXProperties->Icon->Assign(Value); }
  const std::string& GetSFXMessage() const { return FSFXProperties->Message; }
  void SetSFXMessage(const std::string& Value) { FSFXProperties->Message = Value; }
  SFXOpts GetSFXOptions() const { return FSFXProperties->Options; }
  void SetSFXOptions(SFXOpts Value) { FSFXProperties->Options = Value; }
  OvrOpts GetSFXOverWriteMode() const { return FSFXProperties->OverWriteMode; }
  void SetSFXOverWriteMode(OvrOpts Value) { FSFXProperties->OverWriteMode = Value; }
  const std::string& GetSFXPath() const { return FSFXProperties->Path; }
  void SetSFXPath(const std::string& Value) { FSFXProperties->Path = Value; }

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  struct FreeSlave {
    void operator()(TZavSFXBase* Slave) const { TComponent::Free(Slave); }
  };
  std::unique_ptr<TSFXProperties> FSFXProperties = std::make_unique<TSFXProperties>();
  TZavSFXBase* FSFXSlave = nullptr;                  // the one in use
  std::unique_ptr<TZavSFXBase, FreeSlave> FOwnSlave; // the one the component made itself
  // ==== End of self-extractor
};

} // namespace ZavOzeriz
