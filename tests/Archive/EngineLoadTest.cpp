// Finding, loading and binding the engines: where they are looked for, and the messages of
// every way a library can be unusable.
#include "EngineLinkTestSupport.h"

#include <cstdlib>
#include <dlfcn.h>
#include <iostream>

using namespace ZavOzeriz;
using namespace archivetest;
using namespace enginelinktest;

namespace {

struct Loaded {
  int version;
  bool loadedHere;
};

Loaded load(TZavOzeriz& zip, bool zipSide) {
  Loaded l{0, false};
  l.version = zipSide ? zip.LoadVizIvi(l.loadedHere) : zip.LoadRozIze(l.loadedHere);
  return l;
}

std::vector<std::pair<int, std::string>> idsAndTexts(const Recorder& r) {
  std::vector<std::pair<int, std::string>> out;
  for (const auto& m : r.messages)
    out.emplace_back(m.errCodeNow, m.text);
  return out;
}

std::string fullPath(const fs::path& p) { return fs::canonical(p).string(); }

// A test's folder: the current directory work, the program's folder app/bin, and a zip engine
// in each of the given folders.
void layOut(const fs::path& tmp, const std::vector<std::string>& engineDirs) {
  fs::create_directories(tmp / "work");
  fs::create_directories(tmp / "app" / "bin");
  for (const auto& d : engineDirs)
    copyEngine("ok", "vizivi", tmp / d);
}

} // namespace

// Each way a library can fail, on both sides, with the exact messages and ids.
TEST(EngineLoading, MessagesOfEveryOutcome) {
  kvtest::TempDir tmp;
  // A file of the engine's name that is no library at all.
  kvtest::writeFile(tmp / "bogus" / "libvizivi.so", "not a library");
  kvtest::writeFile(tmp / "bogus" / "librozize.so", "not a library");
  ProgramAt program((tmp / "nowhere" / "prog").string()); // nothing beside the program

  struct Row {
    const char* name;
    std::string dir;
    bool zipSide;
    bool trace;
    int wantVersion;
    std::vector<std::pair<int, std::string>> want; // "@" stands for the library's full path
  };
  const std::string ok = fakeDir("ok").string(), old = fakeDir("old").string();
  const Row rows[] = {
      {"zip ok", ok, true, false, 172, {}},
      {"unzip ok", ok, false, false, 172, {}},
      {"zip traced", ok, true, true, 172, {{10601, "ZIP DLL Loaded @"}}},
      {"unzip traced", ok, false, true, 172, {{10701, "ROZIZE Loaded! @"}}},
      {"zip too old", old, true, false, 0, {{10605, "Attempted to load old VizIvi from @"}}},
      {"unzip too old", old, false, false, 0, {{10705, "Attempted to load old RozIze from @"}}},
      {"zip without execute",
       fakeDir("noexec").string(),
       true,
       false,
       0,
       {{10602, "VizIviExec function not found in VIZIVI.DLL!"}, {10604, "VIZIVI.DLL not found! unloaded"}}},
      {"unzip without execute",
       fakeDir("noexec").string(),
       false,
       false,
       0,
       {{10702, "RozIzeExec function not found in ROZIZE.DLL!"}, {10704, "ROZIZE.DLL not found! unloaded"}}},
      {"zip without version",
       fakeDir("noversion").string(),
       true,
       false,
       0,
       {{10603, "GetVizIviVersion function not found in VIZIVI.DLL!"},
        {10604, "VIZIVI.DLL not found! unloaded"}}},
      {"unzip without version",
       fakeDir("noversion").string(),
       false,
       false,
       0,
       {{10703, "GetRozIzeVersion function not found in ROZIZE.DLL!"},
        {10704, "ROZIZE.DLL not found! unloaded"}}},
      // Not loadable: reported twice, alone and then as unloaded.
      {"zip not a library",
       (tmp / "bogus").string(),
       true,
       false,
       0,
       {{10604, "VIZIVI.DLL not found!"}, {10604, "VIZIVI.DLL not found! unloaded"}}},
      {"unzip not a library",
       (tmp / "bogus").string(),
       false,
       false,
       0,
       {{10704, "ROZIZE.DLL not found!"}, {10704, "ROZIZE.DLL not found! unloaded"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string side = row.zipSide ? "vizivi" : "rozize";
    const std::string lib = (fs::path(row.dir) / ("lib" + side + ".so")).string();
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    zip.SetTrace(row.trace);
    zip.SetDLLDirectory(row.dir + "/");
    Recorder rec(zip);
    const Loaded l = load(zip, row.zipSide);
    EXPECT_EQ(l.version, row.wantVersion);
    EXPECT_EQ(l.loadedHere, row.wantVersion != 0);
    EXPECT_EQ(row.zipSide ? zip.VizIviLoaded() : zip.RozIzeLoaded(), row.wantVersion != 0);
    auto want = row.want;
    for (auto& [id, text] : want) {
      const auto at = text.find('@');
      if (at != std::string::npos) text.replace(at, 1, fullPath(lib));
    }
    EXPECT_EQ(idsAndTexts(rec), want);
    EXPECT_EQ(zip.ErrCode(), want.empty() ? 0 : want.back().first);
  }
}

TEST(EngineLoading, VersionZeroIsUnloadedAndReportedOnce) {
  FakeEngine engine("ok", "vizivi");
  engine->version = 0;
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetDLLDirectory(fakeDir("ok").string());
  Recorder rec(zip);
  EXPECT_EQ(load(zip, true).version, 0);
  EXPECT_FALSE(zip.VizIviLoaded());
  EXPECT_EQ(idsAndTexts(rec),
            (std::vector<std::pair<int, std::string>>{{10604, "VIZIVI.DLL not found! unloaded"}}));
}

TEST(EngineLoading, MinimumVersionIsCheckedAlsoForALoadedEngine) {
  FakeEngine engine("ok", "vizivi");
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetDLLDirectory(fakeDir("ok").string());
  Recorder rec(zip);
  ASSERT_EQ(load(zip, true).version, 172);
  // Loaded already: the version is asked again, and this call did not load it.
  const Loaded again = load(zip, true);
  EXPECT_EQ(again.version, 172);
  EXPECT_FALSE(again.loadedHere);
  EXPECT_EQ(engine->versionCalls, 2);
  // A higher minimum turns the loaded engine away and lets it go.
  zip.SetMinVizIviVers(180);
  EXPECT_EQ(load(zip, true).version, 0);
  EXPECT_FALSE(zip.VizIviLoaded());
  ASSERT_EQ(rec.messages.size(), 1u);
  EXPECT_EQ(rec.messages[0].text, "Attempted to load old VizIvi from " + fullPath(engine.path()));
  EXPECT_EQ(zip.ErrCode(), 10605);
  zip.UnloadVizIvi(); // harmless when nothing is loaded
  zip.UnloadRozIze();
}

TEST(EngineLoading, VerboseReportsTheVersionAsAnEngineMessageOnTheZipSideOnly) {
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetVerbose(true);
  zip.SetDLLDirectory(fakeDir("ok").string());
  Recorder rec(zip);
  MessageLoopCounter loop;
  ASSERT_EQ(load(zip, true).version, 172);
  ASSERT_EQ(rec.messages.size(), 1u);
  const std::string zipText = "Loaded VizIvi ver: 172 from " + fullPath(fakeDir("ok") / "libvizivi.so");
  EXPECT_EQ(rec.messages[0].text, zipText);
  EXPECT_EQ(rec.messages[0].errCodeArg, 0);
  EXPECT_EQ(zip.LastMessage(), zipText); // through the callback: it is the last message
  EXPECT_EQ(loop.count, 1);              // and the after-callback step followed
  EXPECT_EQ(zip.ErrCode(), 0);

  ASSERT_EQ(load(zip, false).version, 172);
  ASSERT_EQ(rec.messages.size(), 2u);
  EXPECT_EQ(rec.messages[1].text, "Loaded RozIze ver: 172 from " + fullPath(fakeDir("ok") / "librozize.so"));
  EXPECT_EQ(zip.LastMessage(), zipText); // told directly: the last message stays
  EXPECT_EQ(loop.count, 1);
}

// Where the engine is looked for: the DLLDirectory, beside the program, in the lib folder
// beside the program's folder; never in the current directory by accident.
TEST(EngineLoading, SearchOrder) {
  struct Row {
    const char* name;
    std::vector<std::string> engineDirs; // relative to the test's folder
    std::string dllDirectory;
    std::string found; // relative to the test's folder; empty: not found
  };
  const Row rows[] = {
      {"beside the program", {"app/bin", "app/lib"}, "", "app/bin"},
      {"in ../lib of the program", {"app/lib"}, "", "app/lib"},
      {"DLLDirectory first", {"app/bin", "engines"}, "@engines", "engines"},
      {"missing absolute DLLDirectory falls back to the program", {"app/bin"}, "@missing", "app/bin"},
      {"./sub below the program when the current directory has none",
       {"app/bin/sub"},
       "./sub",
       "app/bin/sub"},
      {"./sub of the current directory first", {"app/bin/sub", "work/sub"}, "./sub", "work/sub"},
      {"relative without a dot is not looked for below the program", {"app/bin/sub"}, "sub", ""},
      {"never the current directory", {"work"}, "", ""},
      {"nor the current directory's lib", {"lib"}, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    kvtest::TempDir tmp;
    layOut(tmp.path(), row.engineDirs);
    ProgramAt program((tmp / "app" / "bin" / "prog").string());
    // The current directory is app/../work, so "lib" would be ../lib of it too.
    InDirectory cwd(tmp / "work");
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    std::string dll = row.dllDirectory;
    if (!dll.empty() && dll[0] == '@') dll = (tmp / dll.substr(1)).string();
    zip.SetDLLDirectory(dll);
    Recorder rec(zip);
    const Loaded l = load(zip, true);
    if (row.found.empty()) {
      EXPECT_EQ(l.version, 0);
      EXPECT_EQ(rec.messageIds(), (std::vector<int>{10604, 10604}));
    } else {
      ASSERT_EQ(l.version, 172);
      std::string where = "kept";
      zip.VizIviPath(nullptr, where); // a failing query leaves the path as it was
      EXPECT_EQ(where, "kept");
      // The loaded module's own file name tells where it came from.
      zip.SetTrace(true);
      zip.UnloadVizIvi();
      rec.messages.clear();
      ASSERT_EQ(load(zip, true).version, 172);
      ASSERT_FALSE(rec.messages.empty());
      EXPECT_EQ(rec.messages[0].text, "ZIP DLL Loaded " + fullPath(tmp / row.found / "libvizivi.so"));
    }
  }
}

// Last, the system loader is asked for the plain name: an engine installed in a folder of its
// search is found there; one below the current directory never is, not even where the library
// path names the current directory. The loader reads the library path when a program starts, so
// each row runs this test program again with the row's library path ("@" stands for the test's
// folder), and the run reports what it loaded.
TEST(EngineLoading, LastTheSystemLoaderIsAskedForThePlainName) {
  if (const char* program = std::getenv("KV_ENGINE_LOAD_PROBE")) {
    ProgramAt at(program);
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    zip.SetTrace(true);
    Recorder rec(zip);
    const Loaded l = load(zip, true);
    std::cout << "probe " << l.version << " " << (rec.messages.empty() ? "" : rec.messages[0].text) << "\n";
    return;
  }
  struct Row {
    const char* name;
    std::string libraryPath;
    std::vector<std::string> engineDirs; // relative to the test's folder
    std::string found;                   // relative to the test's folder; empty: not found
  };
  const Row rows[] = {
      {"an installed engine", "@sys", {"sys"}, "sys"},
      {"never below the current directory", ":.:sub:@empty", {"work", "work/sub"}, ""},
      {"an absolute folder though the current directory comes first", ".:@sys", {"work", "sys"}, "sys"},
  };
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    kvtest::TempDir tmp;
    layOut(tmp.path(), row.engineDirs);
    std::string libraryPath = row.libraryPath;
    for (size_t at; (at = libraryPath.find('@')) != std::string::npos;)
      libraryPath.replace(at, 1, tmp.str() + "/");
    const auto r =
        kvtest::run("cd " + kvtest::shellQuote((tmp / "work").string()) +
                    " && KV_ENGINE_LOAD_PROBE=" + kvtest::shellQuote((tmp / "app/bin/prog").string()) +
                    " LD_LIBRARY_PATH=" + kvtest::shellQuote(libraryPath) + " " + kvtest::shellQuote(self) +
                    " --gtest_filter=EngineLoading.LastTheSystemLoaderIsAskedForThePlainName");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const auto line = r.out.find("probe ");
    ASSERT_NE(line, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(line, r.out.find('\n', line) - line),
              row.found.empty() ? "probe 0 VIZIVI.DLL not found!"
                                : "probe 172 ZIP DLL Loaded " + fullPath(tmp / row.found / "libvizivi.so"));
  }
}

// The test program itself lies in build/bin: with no DLLDirectory it finds the real engines
// in build/lib, as the programs do.
TEST(EngineLoading, RealEnginesAreFoundBesideTheProgramsFolder) {
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetTrace(true);
  Recorder rec(zip);
  ASSERT_EQ(load(zip, true).version, 172);
  ASSERT_EQ(load(zip, false).version, 172);
  ASSERT_EQ(rec.messages.size(), 2u);
  EXPECT_EQ(rec.messages[0].text, "ZIP DLL Loaded " + fullPath(realEngineDir() / "libvizivi.so"));
  EXPECT_EQ(rec.messages[1].text, "ROZIZE Loaded! " + fullPath(realEngineDir() / "librozize.so"));
  EXPECT_EQ(zip.ErrCode(), 10701);
}

TEST(EngineLoading, TheComponentLetsItsEnginesGoWhenItGoes) {
  kvtest::TempDir tmp;
  copyEngine("ok", "vizivi", tmp / "e");
  copyEngine("ok", "rozize", tmp / "e");
  const std::string zipLib = (tmp / "e" / "libvizivi.so").string(),
                    unzipLib = (tmp / "e" / "librozize.so").string();
  auto loaded = [](const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
  };
  {
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    zip.SetDLLDirectory((tmp / "e").string());
    ASSERT_EQ(load(zip, true).version, 172);
    ASSERT_EQ(load(zip, false).version, 172);
    EXPECT_TRUE(loaded(zipLib));
    EXPECT_TRUE(loaded(unzipLib));
  }
  EXPECT_FALSE(loaded(zipLib));
  EXPECT_FALSE(loaded(unzipLib));
}
