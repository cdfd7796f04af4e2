// Unpacking members of the archive into the base directory: the checks of the request,
// the unattended password rule, a spanned set joined into one temporary archive for the
// engine, and the engine run.
#include "Archive/ZavOzeriz.h"
#include "Archive/ZavOzerizScratch.h"
#include "Archive/ZipMessages.h"
#include "Platform/Files/Files.h"

namespace ZavOzeriz {

using namespace ZipMessages;
namespace pf = kv::platform;

int TZavOzeriz::Extract() {
  if (CheckBusy()) return -255;
  FBusy = true;
  struct Clear {
    bool& flag;
    ~Clear() { flag = false; }
  } clear{FBusy};
  ExecExtract(0);
  return FErrCode;
}

void TZavOzeriz::ExecExtract(int /*Mode: always members into files*/) {
  FSuccessCount = 0;
  FErrCode = 0;
  FMessage.clear();

  // What this run changes for itself is put back however it ends.
  struct Restore {
    TZavOzeriz& z;
    uint32_t passwordReqCount;
    bool passwordReqCountChanged = false;
    std::string tempDir;
    bool tempDirChanged = false;
    ~Restore() {
      if (passwordReqCountChanged) z.FPasswordReqCount = passwordReqCount;
      if (tempDirChanged) z.FTempDir = tempDir;
      z.FCancel = false;
      z.FSpanReadBusy = false;
    }
  } restore{*this, FPasswordReqCount, false, std::string(), false};

  if (!pf::fileExists(FZipFileName)) {
    ShowZipMessage(GE_NoZipSpecified);
    return;
  }
  if (Count() == 0) {
    ReadZipDir();
    if (Count() == 0) {
      ShowZipMessage(DS_NoOpen);
      return;
    }
  }
  if (FUnattended && FPassword.empty() && !OnPasswordError) {
    // Nobody can answer a password request: the engine is told not to ask.
    restore.passwordReqCountChanged = true;
    FPasswordReqCount = 0;
    ShowZipMessage(EX_WarningUnattendedExtractPossible);
  }
  FCancel = false;
  FSpanReadBusy = true;

  // The joined copy of a spanned set goes with its folder whatever happens from here.
  TScratchFolder scratch;
  std::string engineSource = FZipFileName;
  const bool spanned = FDirLastDisk != 0;
  if (spanned) {
    // The set is joined into a new file of the temporary directory, here a private
    // folder made in it for this run.
    if (!scratch.Create(tempDirectory())) {
      ShowZipMessage(DS_TemporaryFileCouldCreated);
      return;
    }
    restore.tempDir = FTempDir;
    restore.tempDirChanged = true;
    FTempDir = scratch.Path();
    std::string joined = scratch.Path();
    const int r = ReadSpan(FZipFileName, joined);
    FTempDir = restore.tempDir;
    restore.tempDirChanged = false;
    if (r != 0) return;
    engineSource = joined;
  }

  RunRozIze(engineSource, [&] {
    if (spanned) pf::deleteFile(engineSource);
  });
}

} // namespace ZavOzeriz
