// Packing files into the archive: the checks of the request, the engine run into the
// archive itself or, when the archive spans volumes, into a temporary one that is then
// spread over the volumes, and the directory read of what was written.
#include "Archive/ZavOzeriz.h"
#include "Archive/ZavOzerizScratch.h"
#include "Archive/ZipMessages.h"
#include "Platform/Paths/Paths.h"

#include <filesystem>
#include <system_error>

namespace ZavOzeriz {

using namespace ZipMessages;
namespace pf = kv::platform;
namespace fs = std::filesystem;

int TZavOzeriz::Add() {
  return runOperation([this] { ExecAdd(0); });
}

// CreateEmptySFX is made by the self-extractor builder (ZavSFX.cpp).

// The checks of an add request before anything is done; false when one has stopped it.
bool TZavOzeriz::checkAddRequest() {
  if (FFSpecArgs->Count() == 0) {
    ShowZipMessage(AD_NoFilesZip);
    return false;
  }
  if (FAddOptions.Contains(AddOptsEnum::AddDiskSpanErase)) {
    // These stay: the owner asked for a wiped spanned set once and for all.
    FAddOptions.Include(AddOptsEnum::AddDiskSpan);
    FSpanOptions.Include(SpanOptsEnum::spWipeFiles);
  }
  if (FZipFileName.empty()) {
    ShowZipMessage(GE_NoZipSpecified);
    return false;
  }
  if (FUnattended && FAddOptions.Contains(AddOptsEnum::AddEncrypt) && FPassword.empty()) {
    ShowZipMessage(AD_UnattendedActionPossibleWithout);
    return false;
  }
  return true;
}

// After a spanned add's engine run: the engine's archive spread over the volumes, then gone.
void TZavOzeriz::spreadEngineArchive(const std::string& EngineTarget) {
  if (FSuccessCount <= 0) return;
  std::error_code ec;
  // The engine gives its archive the usual mode; in the private folder it is this
  // user's alone either way.
  fs::permissions(EngineTarget, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace,
                  ec);
  const int r = WriteSpan(EngineTarget, FZipFileName);
  if (r == 0) {
    if (FSpanOnFixedDrive || FSpanOptions.Contains(SpanOptsEnum::spNoVolumeName))
      SpanPartName(FZipFileName, false); // the last part, the one with the central directory
  } else {
    FSuccessCount = 0;
  }
  pf::deleteFile(EngineTarget);
}

void TZavOzeriz::ExecAdd(int /*Mode: always files into a file*/) {
  FSuccessCount = 0;
  if (!checkAddRequest()) return;

  const bool spanning = FAddOptions.Contains(AddOptsEnum::AddDiskSpan);
  const bool exeTarget = kv::platform::UpperCase(pf::extractFileExt(FZipFileName)) == ".EXE";
  // The temporary archive of a spanned add goes with its folder whatever happens from here.
  TScratchFolder scratch;
  std::string engineTarget = FZipFileName;
  if (spanning) {
    if (FAddOptions.Contains(AddOptsEnum::AddFreshen) || FAddOptions.Contains(AddOptsEnum::AddUpdate)) {
      ShowZipMessage(AD_AddFreshenAddUpdatePossibleSpanned);
      return;
    }
    if (exeTarget) {
      ShowZipMessage(DS_SelfExtractingArchivesExe);
      return;
    }
    if (!scratch.Create(tempDirectory()) || (engineTarget = scratch.NewFileName("zip", ".zip")).empty()) {
      ShowZipMessage(DS_TemporaryFileCouldCreated);
      return;
    }
    if (FVerbose && OnMessage) OnMessage(this, 0, "Temporary zipfile: " + engineTarget);
  }

  if (exeTarget && FDataStart == 0 && !pf::fileExists(FZipFileName)) {
    try {
      const int r = CreateEmptySFX(FZipFileName);
      if (r != 0) throw EZavOzeriz::CreateResFmtInt(AD_OccurredDuringAutoSFX, r);
    } catch (const EZavOzeriz& e) {
      ReportZipError(e);
      return;
    }
  }

  const unsigned reportsBefore = errCodeReports_;
  const auto afterExec = [&] {
    if (spanning) spreadEngineArchive(engineTarget);
  };
  if (!RunVizIvi(engineTarget, afterExec)) return;
  scratch.Remove();

  if (FSuccessCount > 0) {
    ReadZipDir();
  } else if (errCodeReports_ == reportsBefore) {
    // The engine packed nothing and gave no reason. Freshening or updating an archive that
    // is up to date has nothing to do, which is no error; any other add that packed nothing
    // is never taken for one that succeeded.
    if (FAddOptions.Contains(AddOptsEnum::AddFreshen) || FAddOptions.Contains(AddOptsEnum::AddUpdate))
      FErrCode = 0;
    else
      ShowZipMessage(AD_NoFilesZip);
  }
}

} // namespace ZavOzeriz
