#include "Archive/ZavSFX.h"

#include "Archive/ZipMessages.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Paths/Paths.h"
#include "Platform/Rtl/ScopeExit.h"
#include "Platform/TempFiles/TempFiles.h"

#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>

namespace ZavSFX {

namespace pf = kv::platform;
namespace fs = std::filesystem;
namespace fmt = ZavSFXFormat;
using namespace ZipMessages;
using ZavOzeriz::EZavOzeriz;
using ZavOzeriz::OvrOpts;
using ZavOzeriz::SFXOptsEnum;

std::string LanguageCode = "us";

namespace {

// Stub names were always found regardless of case: the named file, else the one in the
// same directory whose name differs from it only in case.
std::string existingNoCase(const std::string& path) {
  if (path.empty()) return {};
  if (pf::fileExists(path)) return path;
  const std::string dir = pf::extractFilePath(path), name = pf::extractFileName(path);
  std::error_code ec;
  for (fs::directory_iterator it(dir.empty() ? fs::path(".") : fs::path(dir), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string found = it->path().filename().string();
    if (pf::SameText(found, name) && pf::fileExists(dir + found)) return dir + found;
  }
  return {};
}

// The places the platform looks for a program's files by bare name: the program's own
// directory, the current directory, then the directories of PATH.
std::string searchPath(const std::string& name) {
  std::vector<std::string> dirs{pf::extractFilePath(pf::application().exeName()), pf::getCurrentDir()};
  if (const char* path = std::getenv("PATH")) {
    std::string p = path;
    for (size_t b = 0; b <= p.size();) {
      size_t e = p.find(':', b);
      if (e == std::string::npos) e = p.size();
      if (e > b) dirs.push_back(p.substr(b, e - b));
      b = e + 1;
    }
  }
  for (const auto& d : dirs)
    if (!d.empty())
      if (auto hit = existingNoCase(pf::joinPath(d, name)); !hit.empty()) return hit;
  return {};
}

// Files made here are written under a temporary name beside their target and take its
// name only when they are complete, so a failure never leaves half a file, nor costs the
// file that had the name before.
class PendingFile {
public:
  explicit PendingFile(const std::string& target) : target_(pf::expandFileName(target)) {
    if (auto t = pf::createTempFile(pf::extractFilePath(target_), "zsx", ".tmp")) {
      name_ = t->name;
      handle = t->handle;
    }
  }
  ~PendingFile() {
    close();
    if (!name_.empty()) pf::deleteFile(name_);
  }
  bool ok() const { return handle != pf::InvalidFile; }
  void close() {
    if (handle != pf::InvalidFile) pf::fileClose(handle);
    handle = pf::InvalidFile;
  }
  // The old file of the target's name goes the way the component deletes files.
  bool commit(TZavOzeriz& m) {
    close();
    std::error_code ec;
    // Made private to the user as a temporary file; as a result it is an ordinary one.
    fs::permissions(name_, permissions, ec);
    if (m.GetHowToDelete() == ZavOzeriz::DeleteOpts::htdAllowUndo) {
      // The old file goes to the trash first, where it can be had back.
      if (pf::fileExists(target_) && m.EraseFile(target_, m.GetHowToDelete()) != 0) return false;
      if (!pf::renameFile(name_, target_)) return false;
    } else {
      // Deleted for good: the new file takes the name in one step.
      fs::rename(name_, target_, ec);
      if (ec) return false;
    }
    name_.clear();
    return true;
  }
  pf::FileHandle handle = pf::InvalidFile;
  fs::perms permissions =
      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;

private:
  std::string target_, name_;
};

struct InputFile {
  explicit InputFile(const std::string& name)
      : handle(pf::fileOpen(name, pf::fmOpenRead | pf::fmShareDenyWrite)) {}
  ~InputFile() {
    if (handle != pf::InvalidFile) pf::fileClose(handle);
  }
  pf::FileHandle handle;
};

struct WaitCursor {
  explicit WaitCursor(TZavOzeriz& m) : m(m) { m.StartWaitCursor(); }
  ~WaitCursor() { m.StopWaitCursor(); }
  TZavOzeriz& m;
};

std::string upperExt(const std::string& name) { return pf::UpperCase(pf::extractFileExt(name)); }

// The result of writing the zip piece; an archive refused for its Zip64 figures gets the one
// message every reader gives, and the result of a refused input.
int zipPieceResult(TZavOzeriz& m, int r) {
  if (r != fmt::ResZip64) return r;
  m.ReportZipError(EZavOzeriz::withText(DS_NotAValidZip, ZipRecords::Zip64RefusedText));
  return fmt::ResRefused;
}

} // namespace

TZavSFXSlave::TZavSFXSlave(pf::TComponent* AOwner) : TZavSFXBase(AOwner) {}

void TZavSFXSlave::Notification(pf::TComponent* AComponent, pf::TOperation Operation) {
  TZavSFXBase::Notification(AComponent, Operation);
  if (Operation == pf::TOperation::opRemove && AComponent == FMaster) FMaster = nullptr;
}

void TZavSFXSlave::CheckMaster() const {
  if (!FMaster) throw pf::Exception("No TZavOzeriz component assigned");
}

template <class Work> int TZavSFXSlave::serve(TZavOzeriz* Master, Work&& work) {
  if (FMaster) return -255;
  FMaster = Master;
  if (Master) Master->FreeNotification(this);
  const pf::ScopeExit unlink([this] {
    if (FMaster) FMaster->RemoveFreeNotification(this);
    FMaster = nullptr;
  });
  return work();
}

int TZavSFXSlave::ConvertToSFX(TZavOzeriz* Master) {
  return serve(Master, [&] {
    CheckMaster();
    return WriteSFX(FMaster->GetZipFileName(), false);
  });
}

int TZavSFXSlave::CreateNewSFX(TZavOzeriz* Master, const std::string& ExeName) {
  return serve(Master, [&] {
    CheckMaster();
    if (upperExt(ExeName) != ".EXE") {
      FMaster->ShowZipMessage(CF_InputFileEXEFile);
      return -9;
    }
    return WriteSFX(ExeName, true);
  });
}

std::string TZavSFXSlave::SFXVersionText() { return GetVersion() + " 1.72.0.0"; }

std::string TZavSFXSlave::DefaultStubName() { return "DAZUD" + LanguageCode + ".BIN"; }

void TZavSFXSlave::PrepareHeader() {
  CheckMaster();
  const TZavOzeriz& m = *FMaster;
  FHeaderStyle = fmt::StyleOK;
  FHeaderMessage = m.GetSFXMessage();
  if (!FHeaderMessage.empty() && (FHeaderMessage[0] == 1 || FHeaderMessage[0] == 2)) {
    FHeaderStyle = FHeaderMessage[0] == 1 ? fmt::StyleOKCancelInfo : fmt::StyleYesNoQuestion;
    FHeaderMessage.erase(0, 1);
  }
  switch (m.GetSFXOverWriteMode()) {
  case OvrOpts::OvrConfirm:
    FHeaderOverWrite = fmt::OverWriteConfirm;
    break;
  case OvrOpts::OvrAlways:
    FHeaderOverWrite = fmt::OverWriteAlways;
    break;
  case OvrOpts::OvrNever:
    FHeaderOverWrite = fmt::OverWriteNever;
    break;
  }
  const auto o = m.GetSFXOptions();
  FHeaderOptions = fmt::OptBase;
  if (o.Contains(SFXOptsEnum::SFXAskCmdLine)) FHeaderOptions |= fmt::OptAskCmdLine;
  if (o.Contains(SFXOptsEnum::SFXAskFiles)) FHeaderOptions |= fmt::OptAskFiles;
  if (o.Contains(SFXOptsEnum::SFXAutoRun)) FHeaderOptions |= fmt::OptAutoRun;
  if (o.Contains(SFXOptsEnum::SFXHideOverWriteBox)) FHeaderOptions |= fmt::OptHideOverWriteBox;
  if (o.Contains(SFXOptsEnum::SFXNoSuccessMsg)) FHeaderOptions |= fmt::OptNoSuccessMsg;
}

fmt::HeaderValues TZavSFXSlave::headerValues() const {
  fmt::HeaderValues v;
  v.Options = FHeaderOptions;
  v.OverWrite = FHeaderOverWrite;
  v.Style = FHeaderStyle;
  v.Caption = FMaster->GetSFXCaption();
  v.DefaultDir = FMaster->GetSFXDefaultDir();
  v.CommandLine = FMaster->GetSFXCommandLine();
  v.Message = FHeaderMessage;
  return v;
}

std::string TZavSFXSlave::StubPath() {
  CheckMaster();
  // The cache holds for the settings it was found with; other settings look again.
  const std::string key = FMaster->GetSFXPath() + '\n' + FMaster->GetDLLDirectory();
  if (key != FStubPathFor) {
    FStubPath.clear();
    FStubPathFor = key;
  }
  if (!FStubPath.empty()) return FStubPath;
  const std::string& p = FMaster->GetSFXPath();
  if (pf::UpperCase(pf::extractFileName(p)) == "ZAVSFX.BIN")
    return TZavOzeriz::PathConcat(pf::extractFilePath(p), DefaultStubName());
  return p;
}

std::string TZavSFXSlave::findStub() {
  if (auto hit = existingNoCase(StubPath()); !hit.empty()) return FStubPath = hit;
  if (auto hit = searchPath(DefaultStubName()); !hit.empty()) return FStubPath = hit;
  if (!FMaster->GetDLLDirectory().empty())
    if (auto hit = existingNoCase(TZavOzeriz::PathConcat(FMaster->GetDLLDirectory(), DefaultStubName()));
        !hit.empty())
      return FStubPath = hit;
  const std::string own = pf::extractFilePath(pf::application().exeName());
  if (!own.empty())
    if (auto hit = existingNoCase(TZavOzeriz::PathConcat(own, DefaultStubName())); !hit.empty())
      return FStubPath = hit;
  return {};
}

// Whether the header's texts fit their fields; the message names the ones that do not.
bool TZavSFXSlave::headerTextsFit() {
  TZavOzeriz& m = *FMaster;
  std::string tooLong;
  const std::pair<const std::string*, const char*> texts[] = {{&m.GetSFXCaption(), "SFXCaption"},
                                                              {&m.GetSFXCommandLine(), "SFXCommandLine"},
                                                              {&m.GetSFXDefaultDir(), "SFXDefaultDir"},
                                                              {&FHeaderMessage, "SFXMessage"}};
  for (const auto& [text, name] : texts)
    if (text->size() > fmt::MaxText) tooLong += (tooLong.empty() ? "" : ", ") + std::string(name);
  if (tooLong.empty()) return true;
  m.ShowZipMessage(SF_More4PropertyStrings, "\r\n" + tooLong);
  return false;
}

int TZavSFXSlave::WriteSFX(const std::string& Name, bool NewEmpty) {
  try {
    PrepareHeader();
  } catch (...) {
    return -9;
  }
  TZavOzeriz& m = *FMaster;
  std::string exeName = Name;
  if (!NewEmpty) {
    if (!pf::fileExists(Name)) {
      m.ShowZipMessage(GE_NoZipSpecified);
      return -9;
    }
    if (upperExt(Name) != ".ZIP") {
      m.ShowZipMessage(SF_InputFileZipFile);
      return -9;
    }
    exeName = pf::changeFileExt(Name, ".exe");
  }
  const std::string stub = findStub();
  if (stub.empty()) {
    m.ShowZipMessage(SF_ZAVSFXBINFound);
    return -9;
  }
  if (!headerTextsFit()) return -9;
  std::vector<uint8_t> header;
  try {
    header = fmt::BuildHeader(headerValues());
  } catch (const std::bad_alloc&) {
    m.ShowZipMessage(GE_NoMemory);
    return -9;
  }
  WaitCursor cursor(m);

  PendingFile out(exeName);
  if (!out.ok()) return -1;
  // The executable may be run by whoever may run the stub.
  std::error_code ec;
  const fs::perms stubPerms = fs::status(stub, ec).permissions();
  if (!ec) out.permissions = (stubPerms & fs::perms::all) | fs::perms::owner_read | fs::perms::owner_write;
  int64_t s = -1;
  {
    InputFile in(stub);
    if (in.handle == pf::InvalidFile) return -3;
    if (const int r = fmt::CopyFileData(in.handle, out.handle, -1); r != 0) return r;
    s = pf::fileSeek(out.handle, 0, 1);
  }
  if (s < 0) return -9;
  if (!m.GetSFXIcon().Empty())
    if (const int r = fmt::ReplaceStubIcon(out.handle, s, m.GetSFXIcon()); r != 0) return r;
  const auto trailer = fmt::BuildTrailer(static_cast<uint16_t>(header.size()));
  if (pf::fileWrite(out.handle, header.data(), static_cast<int64_t>(header.size())) !=
          static_cast<int64_t>(header.size()) ||
      pf::fileWrite(out.handle, trailer.data(), trailer.size()) != static_cast<int64_t>(trailer.size()))
    return -2;
  const int64_t head = s + static_cast<int64_t>(header.size() + trailer.size());
  if (NewEmpty) {
    if (const int r = fmt::WriteEmptyZip(out.handle, head); r != 0) return r;
  } else {
    InputFile in(Name);
    if (in.handle == pf::InvalidFile) return -3;
    const int64_t inSize = pf::fileLength(in.handle);
    if (inSize < 0) return -9;
    if (const int r = fmt::WriteShiftedZip(in.handle, inSize, out.handle, head); r != 0)
      return zipPieceResult(m, r);
  }
  if (pf::fileSeek(out.handle, 0, 1) < 0) return -9;
  if (!out.commit(m)) return -1;
  if (!NewEmpty) m.EraseFile(Name, m.GetHowToDelete());
  m.SetZipFileName(exeName);
  return 0;
}

int TZavSFXSlave::ConvertToZIP(TZavOzeriz* Master) {
  return serve(Master, [&] {
    try {
      PrepareHeader();
    } catch (...) {
      return -9;
    }
    TZavOzeriz& m = *FMaster;
    const std::string exeName = m.GetZipFileName();
    if (exeName.empty() || !pf::fileExists(exeName)) {
      m.ShowZipMessage(CF_NoEXEFileSpecified);
      return -9;
    }
    if (upperExt(exeName) != ".EXE") {
      m.ShowZipMessage(CF_InputFileEXEFile);
      return -9;
    }
    const std::string zipName = pf::changeFileExt(exeName, ".zip");
    WaitCursor cursor(m);
    {
      InputFile exe(exeName);
      if (exe.handle == pf::InvalidFile) return -3;
      const int64_t size = pf::fileLength(exe.handle);
      if (size < 0) return -9;
      PendingFile out(zipName);
      if (!out.ok()) return -1;
      int64_t start = 0;
      if (const int r = fmt::WriteUnshiftedZip(exe.handle, size, out.handle, start); r != 0)
        return zipPieceResult(m, r);
      if (const int r = ReadSFXHeader(exe.handle, start); r != 0) return r;
      ReadStubIcon(exeName);
      if (!out.commit(m)) return -1;
    }
    m.EraseFile(exeName, m.GetHowToDelete());
    m.SetZipFileName(zipName);
    return 0;
  });
}

int TZavSFXSlave::ReadSFXHeader(pf::FileHandle Exe, int64_t Start) {
  CheckMaster();
  TZavOzeriz& m = *FMaster;
  try {
    uint8_t trailer[fmt::TrailerSize];
    const auto h =
        Start >= static_cast<int64_t>(fmt::TrailerSize) && pf::fileReadAt(Exe, Start - 8, trailer, 8)
            ? fmt::ParseTrailer(trailer)
            : std::nullopt;
    // The block lies wholly in front of the trailer and its size fits its 16-bit field.
    if (h && *h >= fmt::Header::FixedSize && *h <= 0xFFFF && int64_t{*h} <= Start - 8) {
      std::vector<uint8_t> block(*h);
      if (pf::fileReadAt(Exe, Start - 8 - *h, block.data(), *h))
        if (const auto p = fmt::ParseHeader(block)) {
          m.SetSFXOverWriteMode(p->OverWrite == fmt::OverWriteAlways  ? OvrOpts::OvrAlways
                                : p->OverWrite == fmt::OverWriteNever ? OvrOpts::OvrNever
                                                                      : OvrOpts::OvrConfirm);
          ZavOzeriz::SFXOpts o{SFXOptsEnum::SFXCheckSize};
          if (p->Options & fmt::OptAskCmdLine) o.Include(SFXOptsEnum::SFXAskCmdLine);
          if (p->Options & fmt::OptAskFiles) o.Include(SFXOptsEnum::SFXAskFiles);
          if (p->Options & fmt::OptAutoRun) o.Include(SFXOptsEnum::SFXAutoRun);
          if (p->Options & fmt::OptHideOverWriteBox) o.Include(SFXOptsEnum::SFXHideOverWriteBox);
          if (p->Options & fmt::OptNoSuccessMsg) o.Include(SFXOptsEnum::SFXNoSuccessMsg);
          m.SetSFXOptions(o);
          if (p->Caption) m.SetSFXCaption(*p->Caption);
          if (p->DefaultDir) m.SetSFXDefaultDir(*p->DefaultDir);
          if (p->CommandLine) m.SetSFXCommandLine(*p->CommandLine);
          if (p->Message) m.SetSFXMessage(*p->Message);
          if (p->Complete) {
            if (p->Style == fmt::StyleYesNoQuestion) m.SetSFXMessage('\x02' + m.GetSFXMessage());
            if (p->Style == fmt::StyleOKCancelInfo) m.SetSFXMessage('\x01' + m.GetSFXMessage());
            return 0;
          }
        }
    }
    // Older kinds.
    const int64_t n = std::min<int64_t>(Start, fmt::OldHeaderWindow);
    if (n <= 0) return 0;
    std::vector<uint8_t> w(static_cast<size_t>(n));
    if (!pf::fileReadAt(Exe, Start - n, w.data(), n)) return -3;
    if (const auto old = fmt::FindOldHeader(w)) {
      namespace F = fmt::OldFlag;
      ZavOzeriz::SFXOpts o;
      OvrOpts ovr = OvrOpts::OvrConfirm;
      if (old->Flags & F::AskCmdLine) o.Include(SFXOptsEnum::SFXAskCmdLine);
      if (old->Flags & F::AskFiles) o.Include(SFXOptsEnum::SFXAskFiles);
      if (old->Flags & F::HideOverWriteBox) o.Include(SFXOptsEnum::SFXHideOverWriteBox);
      if (old->Flags & F::Always) ovr = OvrOpts::OvrAlways;
      if (old->Flags & F::Never) ovr = OvrOpts::OvrNever;
      if (!(old->Flags & F::NoCheckSize)) o.Include(SFXOptsEnum::SFXCheckSize);
      if (old->Flags & F::AutoRun) o.Include(SFXOptsEnum::SFXAutoRun);
      if (old->KindV && (old->Flags & F::NoSuccessMsg)) o.Include(SFXOptsEnum::SFXNoSuccessMsg);
      m.SetSFXOptions(o);
      m.SetSFXOverWriteMode(ovr);
      m.SetSFXCaption(old->Caption);
      m.SetSFXDefaultDir(old->DefaultDir);
      m.SetSFXCommandLine(old->CommandLine);
      if (old->Message) m.SetSFXMessage(*old->Message);
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -10;
  }
}

int TZavSFXSlave::ReadStubIcon(const std::string& ExeName) {
  CheckMaster();
  if (const auto icon = fmt::ReadStubIcon(ExeName)) {
    try {
      FMaster->GetSFXIcon().SetBytes(*icon);
    } catch (const pf::EInvalidGraphic&) {
      // An icon the stub carries but no icon file can hold leaves the old one.
    }
  }
  return 0;
}

int TZavSFXSlave::CheckZavSFX(TZavOzeriz* Master, const std::string& ExeName) {
  return serve(Master, [&] {
    CheckMaster();
    TZavOzeriz& m = *FMaster;
    WaitCursor cursor(m);
    InputFile exe(ExeName);
    try {
      if (exe.handle == pf::InvalidFile) throw EZavOzeriz::CreateResDisp(DS_NoInFile, true);
      return fmt::IsSelfExtractingZip(exe.handle, pf::fileLength(exe.handle));
    } catch (const std::exception&) {
      return m.reportCopyFailure(std::current_exception());
    } catch (...) {
      m.ShowZipMessage(DS_UnknownCopyError);
      return -10;
    }
  });
}

} // namespace ZavSFX

namespace ZavOzeriz {

// ---- the component's side: its slave and the automatic self-extractor of the add

TZavSFXBase* TZavOzeriz::GetSFXSlave() {
  if (!FSFXSlave) {
    if (!FOwnSlave) FOwnSlave.reset(new ZavSFX::TZavSFXSlave(nullptr));
    FSFXSlave = FOwnSlave.get();
  }
  return FSFXSlave;
}

void TZavOzeriz::SetSFXSlave(TZavSFXBase* Value) {
  if (Value == FSFXSlave) return;
  if (FSFXSlave && FSFXSlave != FOwnSlave.get()) FSFXSlave->RemoveFreeNotification(this);
  FSFXSlave = Value;
  // The component's own slave stays until the component goes: it may be serving right now.
  if (Value && Value != FOwnSlave.get()) Value->FreeNotification(this);
}

void TZavOzeriz::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove || !AComponent) return;
  if (AComponent == FSFXSlave) FSFXSlave = nullptr;
  if (AComponent == FOwnSlave.get()) (void)FOwnSlave.release(); // freed by whoever freed it
}

int TZavOzeriz::CreateEmptySFX(const std::string& ExeName) {
  TZavSFXBase* slave = GetSFXSlave();
  if (!slave) throw EZavOzeriz::CreateResDisp(ZipMessages::SF_SFXFunctionsSupported, true);
  return slave->CreateNewSFX(this, ExeName);
}

} // namespace ZavOzeriz
