// Unpacking members of the archive into the base directory: the checks of the request,
// the unattended password rule, a spanned set joined into one temporary archive for the
// engine, and the engine run.
#include "Archive/ZavOzeriz.h"
#include "Archive/ZavOzerizScratch.h"
#include "Archive/ZipMessages.h"
#include "Platform/Files/Files.h"
#include "Platform/Rtl/ScopeExit.h"

#include <optional>

namespace ZavOzeriz {

using namespace ZipMessages;
namespace pf = kv::platform;

int TZavOzeriz::Extract() {
  return runOperation([this] { ExecExtract(0); });
}

void TZavOzeriz::ExecExtract(int /*Mode: always members into files*/) {
  FSuccessCount = 0;
  FErrCode = 0;
  FMessage.clear();

  // What this run changes for itself is put back however it ends.
  std::optional<uint32_t> passwordReqCount;
  std::optional<std::string> tempDir;
  const pf::ScopeExit restore([&] {
    if (passwordReqCount) FPasswordReqCount = *passwordReqCount;
    if (tempDir) FTempDir = *tempDir;
    FCancel = false;
    FSpanReadBusy = false;
  });

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
    passwordReqCount = FPasswordReqCount;
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
    tempDir = FTempDir;
    FTempDir = scratch.Path();
    std::string joined = scratch.Path();
    const int r = ReadSpan(FZipFileName, joined);
    FTempDir = *tempDir;
    tempDir.reset();
    if (r != 0) return;
    engineSource = joined;
  }

  RunRozIze(engineSource, [&] {
    if (spanned) pf::deleteFile(engineSource);
  });
}

} // namespace ZavOzeriz
