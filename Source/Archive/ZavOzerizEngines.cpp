// Finding, loading and binding the zip and unzip engines, and one run of each.
#include "Archive/ZavOzeriz.h"

#include "Archive/ZipMessages.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/DynLib/DynLib.h"
#include "Platform/Paths/Paths.h"
#include "Platform/Rtl/ScopeExit.h"

namespace ZavOzeriz {

using namespace ZipMessages;
namespace pf = kv::platform;

struct TEngineSide {
  const char* FileName; // the library's file name on this platform
  const char* ExecName;
  const char* VersionName;
  int Loaded, ExecMissing, VersionMissing, NotFound, TooOld;
  const char* VerboseText;
  int Fatal; // an exception during the engine run
};

namespace {

const TEngineSide VizIviSide{"libvizivi.so",
                             "VizIviExec",
                             "GetVizIviVersion",
                             LZ_ZIPDLLLoaded,
                             LZ_VizIviExecFunctionFoundVIZIVI,
                             LZ_GetVizIviVersionFunctionFoundVIZIVI,
                             LZ_NotFound,
                             LZ_OldVersion,
                             "Loaded VizIvi ver: ",
                             GE_FatalZip};
const TEngineSide RozIzeSide{"librozize.so",
                             "RozIzeExec",
                             "GetRozIzeVersion",
                             LU_ROZIZELoaded,
                             LU_RozIzeExecFunctionFoundROZIZE,
                             LU_GetRozIzeVersionFunctionFoundROZIZE,
                             LU_NotFound,
                             LU_OldVersion,
                             "Loaded RozIze ver: ",
                             EX_FatalUnzip};

using VersionFunction = int32_t (*)(void);

int askVersion(void* entry) { return entry ? reinterpret_cast<VersionFunction>(entry)() : 0; }

} // namespace

void TZavOzeriz::TEngineModule::Unload() {
  if (Module) pf::closeLibrary(Module);
  Module = nullptr;
}

void TZavOzeriz::VizIviPath(pf::LibraryHandle Handle, std::string& Path) const {
  std::string name = pf::libraryFileName(Handle);
  if (!name.empty()) Path = name;
}

void TZavOzeriz::RozIzePath(pf::LibraryHandle Handle, std::string& Path) const { VizIviPath(Handle, Path); }

// Where the engine comes from: the DLLDirectory when it holds one (a relative directory
// that begins with "." also below the program's directory), else beside the program, else
// in the lib folder beside the program's folder, else wherever the system loader finds its
// plain name (an engine installed in a system library folder). The current directory is
// never searched unless DLLDirectory names it.
int TZavOzeriz::loadEngineLibrary(const TEngineSide& Side, TEngineModule& Engine) {
  const std::string programDir = pf::extractFilePath(pf::application().exeName());
  std::string path;
  if (!FDLLDirectory.empty()) {
    path = PathConcat(FDLLDirectory, Side.FileName);
    if (pf::fileExists(path)) {
      path = pf::expandFileName(path);
    } else {
      path = programDir.empty() ? std::string() : pf::expandFileName(PathConcat(programDir, path));
      if (FDLLDirectory[0] != '.' || path.empty() || !pf::fileExists(path)) path.clear();
    }
  }
  if (path.empty() && !programDir.empty()) {
    for (const std::string& candidate : {PathConcat(programDir, Side.FileName),
                                         PathConcat(programDir, std::string("../lib/") + Side.FileName)}) {
      if (pf::fileExists(candidate)) {
        path = pf::expandFileName(candidate);
        break;
      }
    }
  }
  if (path.empty()) path = Side.FileName;

  try {
    Engine.Exec = Engine.Version = nullptr;
    Engine.Module = pf::openLibrary(path);
    if (!Engine.Module) {
      ShowZipMessage(Side.NotFound);
    } else {
      if (FTrace) {
        std::string where;
        VizIviPath(Engine.Module, where);
        ShowZipMessage(Side.Loaded, " " + where);
      }
      Engine.Exec = pf::librarySymbol(Engine.Module, Side.ExecName);
      if (!Engine.Exec) ShowZipMessage(Side.ExecMissing);
      Engine.Version = pf::librarySymbol(Engine.Module, Side.VersionName);
      if (!Engine.Version) ShowZipMessage(Side.VersionMissing);
    }
  } catch (...) {
    // A failing load must not end the operation in an exception; it ends in version 0.
  }

  int version = 0;
  if (Engine.Module && Engine.Exec && Engine.Version) version = askVersion(Engine.Version);
  if (version == 0) {
    Engine.Unload();
    ShowZipMessage(Side.NotFound, " unloaded");
  }
  return version;
}

int TZavOzeriz::loadEngine(const TEngineSide& Side, TEngineModule& Engine, bool& LoadedHere) {
  LoadedHere = false;
  int version;
  if (!Engine.Module) {
    version = loadEngineLibrary(Side, Engine);
    LoadedHere = version != 0;
  } else {
    version = askVersion(Engine.Version);
  }
  if (version == 0) return 0;
  const bool zip = &Side == &VizIviSide;
  const int minimum = zip ? FMinVizIviVers : FMinRozIzeVers;
  std::string where;
  VizIviPath(Engine.Module, where);
  if (version < minimum) {
    // Also a library that was loaded before this call goes: it is of no use.
    ShowZipMessage(Side.TooOld, where);
    Engine.Unload();
    LoadedHere = false;
    return 0;
  }
  if (FVerbose) {
    const std::string text = Side.VerboseText + std::to_string(version) + " from " + where;
    if (zip)
      HandleCallback(zcaMessage, 0, text, 0, nullptr);
    else
      OnMessage(this, 0, text);
  }
  return version;
}

int TZavOzeriz::LoadVizIviLibrary() { return loadEngineLibrary(VizIviSide, FVizIvi); }
int TZavOzeriz::LoadRozIzeLibrary() { return loadEngineLibrary(RozIzeSide, FRozIze); }
int TZavOzeriz::LoadVizIvi(bool& LoadedHere) { return loadEngine(VizIviSide, FVizIvi, LoadedHere); }
int TZavOzeriz::LoadRozIze(bool& LoadedHere) { return loadEngine(RozIzeSide, FRozIze, LoadedHere); }
void TZavOzeriz::UnloadVizIvi() { FVizIvi.Unload(); }
void TZavOzeriz::UnloadRozIze() { FRozIze.Unload(); }

// One engine run, the same for both engines: Exec fills the engine's record and calls the
// engine with it; Release frees what only this engine's run holds.
bool TZavOzeriz::runEngine(const TEngineSide& Side, TEngineModule& Engine, bool& Busy,
                           const std::function<int32_t(int)>& Exec, const std::function<void()>& Release,
                           const std::function<void()>& AfterExec) {
  bool loadedHere = false;
  const int version = loadEngine(Side, Engine, loadedHere);
  if (version == 0) return false;
  Busy = true;
  FCancel = false;
  FSuccessCount = 0;
  // Whatever happens inside, the record goes, the specifications are used up, the library
  // loaded here is let go and the run's flags are cleared.
  const pf::ScopeExit cleanUp([&] {
    FFSpecArgs->Clear();
    Release();
    if (loadedHere) Engine.Unload();
    FCancel = false;
    Busy = false;
  });
  try {
    FHandlerFailure.clear();
    FSuccessCount = Exec(version);
    if (AfterExec) AfterExec();
  } catch (...) {
    ShowZipMessage(Side.Fatal);
  }
  return true;
}

bool TZavOzeriz::RunVizIvi(const std::string& EngineTarget, const std::function<void()>& AfterExec) {
  const auto exec = [&](int Version) {
    FZipCmd = std::make_unique<TZipCommand>();
    FillZipCommand(*FZipCmd, EngineTarget, Version);
    FillZipSpecs(*FZipCmd);
    return reinterpret_cast<VizIviExecFunction>(FVizIvi.Exec)(&FZipCmd->Rec);
  };
  return runEngine(
      VizIviSide, FVizIvi, FSpanWriteBusy, exec,
      [this] {
        FFSpecArgsExcl->Clear();
        FZipCmd.reset();
      },
      AfterExec);
}

// The unzip engine takes no exclusions: they stay for the next add.
bool TZavOzeriz::RunRozIze(const std::string& EngineSource, const std::function<void()>& AfterExec) {
  const auto exec = [&](int Version) {
    FUnzipCmd = std::make_unique<TUnzipCommand>();
    FillUnzipCommand(*FUnzipCmd, EngineSource, Version);
    FillUnzipSpecs(*FUnzipCmd);
    return reinterpret_cast<RozIzeExecFunction>(FRozIze.Exec)(&FUnzipCmd->Rec);
  };
  return runEngine(
      RozIzeSide, FRozIze, FSpanReadBusy, exec, [this] { FUnzipCmd.reset(); }, AfterExec);
}

} // namespace ZavOzeriz
