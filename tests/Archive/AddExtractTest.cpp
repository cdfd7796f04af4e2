// Add and Extract end to end, driven as the backup program and the setup unpacker drive
// them: a directory of a few hundred files packed through the real engines into a spanned
// set on a fixed disk or on simulated removable disks, checked by the peers, unpacked
// again and compared with diff; the checks before the engines run, the unattended
// password rule, what the events see, that the temporary archives never outlive a run
// and that a hostile archive writes nothing outside the base directory.
#include "EngineLinkTestSupport.h"
#include "SpanTestSupport.h"

#include "Archive/ZavSFX.h"
#include "Archive/ZipMessages.h"

#include <sys/stat.h>

using namespace ZavOzeriz;
using namespace archivetest;
using namespace enginelinktest;
using spantest::SimulatedScope;
namespace ZM = ZipMessages;

namespace {

const char* const Password = "Tr0ub4dor&3";

struct Tree {
  int files = 0;
  uint64_t bytes = 0;
};

// A database directory: names with and without extensions, an empty file, text that
// packs well and bytes that do not.
Tree makeTree(const fs::path& dir, int count) {
  fs::create_directories(dir);
  Tree t;
  uint32_t seed = 12345;
  auto put = [&](const std::string& name, const std::string& bytes) {
    kvtest::writeFile(dir / name, bytes);
    ++t.files;
    t.bytes += bytes.size();
  };
  put("kvbak", "09.12.2024 10:00:00\r\n");
  put("CONFIG.DB", std::string(3000, 'C'));
  put("EMPTY.DB", "");
  put("name with spaces.txt", "spaces\n");
  for (int i = t.files; i < count; ++i) {
    const size_t size = static_cast<size_t>((i * 397) % 1500);
    std::string bytes(size, '\0');
    for (size_t k = 0; k < size; ++k) {
      seed = seed * 1103515245u + 12345u;
      bytes[k] = (i % 2) ? static_cast<char>(seed >> 24) : static_cast<char>('a' + (k * 7 + i) % 26);
    }
    char name[32];
    std::snprintf(name, sizeof name, "T%03d.%s", i, (i % 3) ? "DB" : "PX");
    put(name, bytes);
  }
  return t;
}

// FSpecArgs as the backup program sets it: every file of the directory.
void specAll(TZavOzeriz& zip, const fs::path& dir) {
  TStringList spec;
  spec.Add(dir.string() + "/*.*");
  zip.SetFSpecArgs(spec);
}

void useRealEngines(TZavOzeriz& zip) { zip.SetDLLDirectory(realEngineDir().string()); }

// How most tests run the component: the real engines, no questions, scratch files in temp.
void runUnattended(TZavOzeriz& zip, const fs::path& temp) {
  useRealEngines(zip);
  zip.SetUnattended(true);
  zip.SetTempDir(temp.string());
}

std::vector<std::string> entriesOf(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string diffR(const fs::path& a, const fs::path& b) {
  const auto r =
      kvtest::run("diff -r " + kvtest::shellQuote(a.string()) + " " + kvtest::shellQuote(b.string()));
  return r.exitCode == 0 ? std::string() : "differs: " + r.out + r.err;
}

// Names as the component hands them to its events.
std::string backslashed(std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

mode_t modeOf(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// What the private folder of a temporary archive looked like while the run had it.
struct ScratchSeen {
  int looks = 0;
  std::vector<std::string> problems;
  void look(const fs::path& tempDir) {
    ++looks;
    const auto entries = entriesOf(tempDir);
    if (entries.size() != 1) {
      problems.push_back("temp dir holds " + std::to_string(entries.size()) + " entries");
      return;
    }
    const fs::path folder = tempDir / entries[0];
    if (!fs::is_directory(fs::symlink_status(folder)) || modeOf(folder) != 0700)
      problems.push_back("folder mode " + std::to_string(modeOf(folder)));
    for (const auto& f : entriesOf(folder))
      if (modeOf(folder / f) != 0600) problems.push_back(f + " mode " + std::to_string(modeOf(folder / f)));
  }
};

} // namespace

// ---- the backup road

TEST(AddExtract, BackupOnAFixedDiskGivesNumberedPartsThatPeersAcceptAndRestoresIdentically) {
  struct Case {
    const char* what;
    int maxVolumeSize;
    int leastParts;
    bool encrypt;
  };
  const Case cases[] = {
      {"one part", 0, 1, false},
      {"one encrypted part", 0, 1, true},
      {"several parts", 40000, 3, false},
      {"several encrypted parts", 40000, 3, true},
  };
  kvtest::TempDir tmp;
  const Tree tree = makeTree(tmp / "db", 300);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path save = tmp / c.what / "save", temp = tmp / c.what / "temp",
                   restore = tmp / c.what / "restore";
    fs::create_directories(save);
    fs::create_directories(temp);
    ScriptedDialogsScope dialogs; // nothing may be shown
    TZavOzeriz zip(nullptr);
    runUnattended(zip, temp);
    zip.SetMaxVolumeSize(c.maxVolumeSize);
    zip.SetMinFreeVolumeSize(1);
    AddOpts options{AddOptsEnum::AddDiskSpan};
    if (c.encrypt) {
      options.Include(AddOptsEnum::AddEncrypt);
      zip.SetPassword(Password);
    }
    zip.SetAddOptions(options);
    specAll(zip, tmp / "db");
    zip.SetZipFileName((save / "X.zip").string());

    ASSERT_EQ(zip.Add(), 0) << zip.LastMessage();
    const size_t count = entriesOf(save).size();
    EXPECT_GE(count, static_cast<size_t>(c.leastParts));
    EXPECT_TRUE(c.leastParts > 1 || count == 1);
    std::vector<std::string> parts;
    for (size_t i = 1; i <= count; ++i)
      parts.push_back("X00" + std::to_string(i) + ".zip");
    EXPECT_EQ(entriesOf(save), parts);
    EXPECT_EQ(zip.GetZipFileName(), (save / parts.back()).string());
    EXPECT_EQ(zip.Count(), tree.files);
    EXPECT_EQ(zip.GetFSpecArgs().Count(), 0);
    EXPECT_EQ(entriesOf(temp), std::vector<std::string>{}) << "temporary archive left behind";
    if (count == 1) {
      EXPECT_EQ(peersAccept(zip.GetZipFileName(), tree.files, c.encrypt ? Password : ""), "");
    }

    // A stale copy of a file in the restore directory is replaced without a question.
    kvtest::writeFile(restore / "CONFIG.DB", "stale");
    zip.SetExtrBaseDir(restore.string());
    zip.SetExtrOptions({ExtrOptsEnum::ExtrOverWrite});
    // Unattended and without a password the engine may ask for none: the run warns so.
    EXPECT_EQ(zip.Extract(), c.encrypt ? 0 : ZM::EX_WarningUnattendedExtractPossible) << zip.LastMessage();
    EXPECT_EQ(diffR(tmp / "db", restore), "");
    EXPECT_EQ(zip.GetZipFileName(), (save / parts.back()).string());
    EXPECT_EQ(entriesOf(temp), std::vector<std::string>{}) << "joined copy left behind";
    EXPECT_EQ(entriesOf(save), parts);
  }
}

TEST(AddExtract, PasswordsFromTheDialogAndItsRepeatCount) {
  kvtest::TempDir tmp;
  const Tree tree = makeTree(tmp / "db", 6);
  ScriptedDialogsScope dialogs;
  TZavOzeriz zip(nullptr);
  useRealEngines(zip);
  zip.SetTempDir((tmp / "temp").string());
  fs::create_directories(tmp / "temp");
  zip.SetAddOptions({AddOptsEnum::AddDiskSpan, AddOptsEnum::AddEncrypt});
  specAll(zip, tmp / "db");
  zip.SetZipFileName((tmp / "B.zip").string());
  dialogs->expectPassword("Enter Password ", {pf::mrOk, "Sesame"});
  dialogs->expectPassword("Confirm Password ", {pf::mrOk, "Sesame"});
  ASSERT_EQ(zip.Add(), 0) << zip.LastMessage();
  ASSERT_EQ(zip.GetZipFileName(), (tmp / "B001.zip").string());
  EXPECT_EQ(peersAccept(zip.GetZipFileName(), tree.files, "Sesame"), "");

  // Three tries: two wrong answers, then the right one, which opens every member.
  std::vector<std::string> wrong;
  for (int i = 0; wrong.size() < 2 && i < 20; ++i)
    if (kvtest::checkBytesRefuse(zip.GetZipFileName(), "wrong" + std::to_string(i)))
      wrong.push_back("wrong" + std::to_string(i));
  ASSERT_EQ(wrong.size(), 2u) << "no wrong passwords that every check byte refuses";
  zip.SetPasswordReqCount(3);
  zip.SetExtrBaseDir((tmp / "r3").string());
  dialogs->expectPassword("Enter Password ", {pf::mrOk, wrong[0]});
  dialogs->expectPassword("Enter Password ", {pf::mrOk, wrong[1]});
  dialogs->expectPassword("Enter Password ", {pf::mrOk, "Sesame"});
  EXPECT_EQ(zip.Extract(), 0) << zip.LastMessage();
  EXPECT_EQ(diffR(tmp / "db", tmp / "r3"), "");
  EXPECT_EQ(zip.GetPasswordReqCount(), 3u);

  // Two tries, both wrong: the member is not extracted; Cancel all on the next member's
  // prompt stops the prompts, and nothing is written.
  zip.SetPasswordReqCount(2);
  zip.SetExtrBaseDir((tmp / "r2").string());
  dialogs->expectPassword("Enter Password ", {pf::mrOk, wrong[0]});
  dialogs->expectPassword("Enter Password ", {pf::mrOk, wrong[1]});
  dialogs->expectPassword("Enter Password ", {pf::mrNoToAll, ""});
  EXPECT_EQ(zip.Extract(), zePassword);
  std::vector<std::string> written;
  for (const auto& e : fs::recursive_directory_iterator(tmp / "r2"))
    if (e.is_regular_file()) written.push_back(e.path().filename().string());
  // Only the member that has no data to encrypt may come out.
  EXPECT_TRUE(written.empty() || written == std::vector<std::string>{"EMPTY.DB"}) << written.size();
  EXPECT_EQ(entriesOf(tmp / "temp"), std::vector<std::string>{});
}

TEST(AddExtract, ASetSpreadOverRemovableDisksComesBackWhole) {
  kvtest::TempDir tmp;
  const Tree tree = makeTree(tmp / "db", 300);
  SimulatedScope sim;
  const std::string drive = sim.addDrive(tmp / "floppy");
  for (int i = 1; i <= 5; ++i)
    sim->addDisk("disk" + std::to_string(i), 120000, "");
  sim.swap(drive, "disk1");
  ScriptedDialogsScope dialogs;
  TZavOzeriz zip(nullptr);
  useRealEngines(zip);
  zip.SetTempDir((tmp / "temp").string());
  fs::create_directories(tmp / "temp");
  zip.SetAddOptions({AddOptsEnum::AddDiskSpan});
  std::vector<int> asked;
  zip.OnGetNextDisk.Bind([&](pf::TObject*, int seq, int, const std::string&, bool&) {
    asked.push_back(seq);
    sim.swap(drive, "disk" + std::to_string(seq));
  });
  specAll(zip, tmp / "db");
  zip.SetZipFileName(drive + "X.zip");
  ASSERT_EQ(zip.Add(), 0) << zip.LastMessage();
  const int disks = zip.LastDisk() + 1;
  ASSERT_GE(disks, 2);
  std::vector<int> expected;
  for (int i = 1; i <= disks; ++i)
    expected.push_back(i);
  EXPECT_EQ(asked, expected);
  // Every disk holds its part under the archive's own name, and the name stays.
  EXPECT_EQ(zip.GetZipFileName(), drive + "X.zip");
  EXPECT_EQ(zip.Count(), tree.files);
  for (int i = 1; i <= disks; ++i) {
    sim.swap(drive, "disk" + std::to_string(i));
    EXPECT_EQ(*sim->label(drive), "PKBACK# 00" + std::to_string(i));
    EXPECT_EQ(entriesOf(drive), std::vector<std::string>{"X.zip"});
  }
  EXPECT_EQ(entriesOf(tmp / "temp"), std::vector<std::string>{});

  // The restore: the last disk is in the drive when the archive is chosen.
  const std::string lastDisk = "disk" + std::to_string(disks);
  sim.swap(drive, lastDisk);
  TZavOzeriz restore(nullptr);
  useRealEngines(restore);
  restore.SetTempDir((tmp / "temp").string());
  restore.OnGetNextDisk.Bind([&](pf::TObject*, int seq, int, const std::string&, bool&) {
    sim.swap(drive, seq == 0 ? lastDisk : "disk" + std::to_string(seq));
  });
  restore.SetZipFileName(drive + "X.zip");
  ASSERT_EQ(restore.Count(), tree.files);
  restore.SetExtrBaseDir((tmp / "restore").string());
  restore.SetExtrOptions({ExtrOptsEnum::ExtrOverWrite});
  EXPECT_EQ(restore.Extract(), 0) << restore.LastMessage();
  EXPECT_EQ(diffR(tmp / "db", tmp / "restore"), "");
  EXPECT_EQ(entriesOf(tmp / "temp"), std::vector<std::string>{});
}

// ---- events

TEST(AddExtract, ProgressAddsUpToItsTotalsAndMessagesReachTheOwner) {
  kvtest::TempDir tmp;
  const Tree tree = makeTree(tmp / "db", 200);
  fs::create_directories(tmp / "temp");
  ScriptedDialogsScope dialogs;
  TZavOzeriz zip(nullptr);
  useRealEngines(zip);
  zip.SetUnattended(true);
  zip.SetVerbose(true);
  zip.SetTempDir((tmp / "temp").string());
  zip.SetAddOptions({AddOptsEnum::AddDiskSpan});
  Recorder rec(zip);

  // One batch per run: its totals, then the files, then the end.
  struct Batch {
    uint32_t files = 0, size = 0, newFiles = 0;
    uint64_t newFileBytes = 0, updates = 0;
    bool ended = false;
  };
  std::vector<Batch> batches;
  std::vector<int> nested;
  zip.OnProgress.Bind([&](pf::TObject*, ProgressType t, const std::string&, uint32_t n) {
    if (t == ProgressType::TotalFiles2Process || batches.empty() || batches.back().ended)
      batches.emplace_back();
    Batch& b = batches.back();
    switch (t) {
    case ProgressType::TotalFiles2Process:
      b.files = n;
      break;
    case ProgressType::TotalSize2Process:
      b.size = n;
      break;
    case ProgressType::NewFile:
      ++b.newFiles;
      b.newFileBytes += n;
      // Nothing else may start while a run is on.
      if (b.newFiles == 1) nested = {zip.Add(), zip.Extract(), zip.List()};
      break;
    case ProgressType::ProgressUpdate:
      b.updates += n;
      break;
    case ProgressType::EndOfBatch:
      b.ended = true;
      break;
    }
  });
  specAll(zip, tmp / "db");
  zip.SetZipFileName((tmp / "P.zip").string());
  ASSERT_EQ(zip.Add(), 0) << zip.LastMessage();
  EXPECT_EQ(nested, (std::vector<int>{-255, -255, -255}));
  // The engine's batch over the files, then the volume writer's over the archive's bytes.
  ASSERT_GE(batches.size(), 2u);
  EXPECT_EQ(batches[0].files, static_cast<uint32_t>(tree.files));
  EXPECT_EQ(batches[0].size, tree.bytes);
  EXPECT_EQ(batches[0].newFiles, static_cast<uint32_t>(tree.files));
  EXPECT_EQ(batches[0].newFileBytes, tree.bytes);
  EXPECT_EQ(batches[0].updates, tree.bytes);
  EXPECT_TRUE(batches[0].ended);
  const Batch& span = batches.back();
  EXPECT_EQ(span.files, static_cast<uint32_t>(tree.files));
  EXPECT_EQ(span.size + 4, static_cast<uint64_t>(pf::fileSizeByName(tmp / "P001.zip"))); // and the marker
  EXPECT_EQ(span.updates, span.size);
  EXPECT_TRUE(span.ended);

  // The messages: where the archive is made first, the engine's own, the volume writer's.
  auto has = [&](const std::string& start) {
    return std::any_of(rec.messages.begin(), rec.messages.end(),
                       [&](const Message& m) { return m.text.rfind(start, 0) == 0; });
  };
  EXPECT_TRUE(has("Temporary zipfile: " + (tmp / "temp").string() + "/"));
  EXPECT_TRUE(has("Loaded VizIvi ver: "));
  EXPECT_TRUE(has("Copying: T007.DB"));
  EXPECT_TRUE(has("Copying: Central directory"));

  // Extract: the engine's batch over the members' bytes.
  batches.clear();
  rec.messages.clear();
  zip.SetExtrBaseDir((tmp / "out").string());
  ASSERT_EQ(zip.Extract(), ZM::EX_WarningUnattendedExtractPossible) << zip.LastMessage();
  EXPECT_EQ(nested, (std::vector<int>{-255, -255, -255}));
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].files, static_cast<uint32_t>(tree.files));
  EXPECT_EQ(batches[0].size, tree.bytes);
  EXPECT_EQ(batches[0].newFiles, static_cast<uint32_t>(tree.files));
  EXPECT_EQ(batches[0].updates, tree.bytes);
  EXPECT_TRUE(has("Loaded RozIze ver: "));

  // An engine error reaches the owner with its code, and becomes the result.
  rec.messages.clear();
  TStringList none;
  none.Add((tmp / "db" / "*.nothing").string());
  zip.SetFSpecArgs(none);
  zip.SetAddOptions({});
  const int r = zip.Add();
  EXPECT_EQ(r, zeNothingToDo);
  ASSERT_FALSE(rec.messages.empty());
  EXPECT_TRUE(std::any_of(rec.messages.begin(), rec.messages.end(),
                          [](const Message& m) { return m.errCodeArg == zeNothingToDo; }));
}

// ---- the checks before the engine runs

TEST(AddExtract, RefusedAddsKeepTheirSpecificationsAndLoadNoEngine) {
  struct Case {
    const char* what;
    std::function<void(TZavOzeriz&, const fs::path&)> setup;
    int result;
  };
  const Case cases[] = {
      {"no specifications", [](TZavOzeriz& z, const fs::path&) { z.GetFSpecArgs().Clear(); },
       ZM::AD_NoFilesZip},
      {"no archive name", [](TZavOzeriz& z, const fs::path&) { z.SetZipFileName(""); },
       ZM::GE_NoZipSpecified},
      {"unattended encryption without password",
       [](TZavOzeriz& z, const fs::path&) { z.SetAddOptions({AddOptsEnum::AddEncrypt}); },
       ZM::AD_UnattendedActionPossibleWithout},
      {"spanning with freshen",
       [](TZavOzeriz& z, const fs::path&) {
         z.SetAddOptions({AddOptsEnum::AddDiskSpan, AddOptsEnum::AddFreshen});
       },
       ZM::AD_AddFreshenAddUpdatePossibleSpanned},
      {"spanning with update",
       [](TZavOzeriz& z, const fs::path&) {
         z.SetAddOptions({AddOptsEnum::AddDiskSpanErase, AddOptsEnum::AddUpdate});
       },
       ZM::AD_AddFreshenAddUpdatePossibleSpanned},
      {"spanning onto an executable",
       [](TZavOzeriz& z, const fs::path& d) {
         z.SetAddOptions({AddOptsEnum::AddDiskSpan});
         z.SetZipFileName((d / "Setup.exe").string());
       },
       ZM::DS_SelfExtractingArchivesExe},
      {"a new executable whose self-extractor stub is missing",
       [](TZavOzeriz& z, const fs::path& d) {
         // The build's stub lies beside this program; no stub is there for this language.
         ZavSFX::LanguageCode = "xx";
         z.SetSFXPath((d / "no such stub.bin").string());
         z.SetZipFileName((d / "Setup.EXE").string());
       },
       ZM::AD_OccurredDuringAutoSFX},
      {"no temporary directory for a spanned add",
       [](TZavOzeriz& z, const fs::path& d) {
         z.SetAddOptions({AddOptsEnum::AddDiskSpan});
         z.SetTempDir((d / "no such dir").string());
       },
       ZM::DS_TemporaryFileCouldCreated},
      {"an engine too old",
       [](TZavOzeriz& z, const fs::path&) { z.SetDLLDirectory(fakeDir("old").string()); }, ZM::LZ_OldVersion},
  };
  kvtest::TempDir tmp;
  makeTree(tmp / "db", 3);
  fs::create_directories(tmp / "temp");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedDialogsScope dialogs;
    TZavOzeriz zip(nullptr);
    runUnattended(zip, tmp / "temp");
    zip.SetZipFileName((tmp / "A.zip").string());
    specAll(zip, tmp / "db");
    zip.GetFSpecArgsExcl().Add("*.PX");
    c.setup(zip, tmp.path());
    const int specs = zip.GetFSpecArgs().Count();
    EXPECT_EQ(zip.Add(), c.result);
    ZavSFX::LanguageCode = "us";
    EXPECT_EQ(zip.ErrCode(), c.result);
    EXPECT_EQ(zip.GetFSpecArgs().Count(), specs);
    EXPECT_EQ(zip.GetFSpecArgsExcl().Count(), 1);
    EXPECT_FALSE(zip.VizIviLoaded());
    EXPECT_FALSE(zip.CheckBusy());
    EXPECT_FALSE(fs::exists(tmp / "A.zip"));
    EXPECT_FALSE(fs::exists(tmp / "Setup.exe") || fs::exists(tmp / "Setup.EXE"));
    EXPECT_EQ(entriesOf(tmp / "temp"), std::vector<std::string>{});
    // Asking for a wiped spanned set turns spanning on for good, also when the add stops.
    if (std::string(c.what) == "spanning with update") {
      EXPECT_TRUE(zip.GetAddOptions().Contains(AddOptsEnum::AddDiskSpan));
      EXPECT_TRUE(zip.GetSpanOptions().Contains(SpanOptsEnum::spWipeFiles));
    }
  }
}

TEST(AddExtract, AnAddThatPacksNothingNeverReportsSuccess) {
  kvtest::TempDir tmp;
  makeTree(tmp / "db", 3);
  fs::create_directories(tmp / "temp");
  ScriptedDialogsScope dialogs;
  TZavOzeriz zip(nullptr);
  runUnattended(zip, tmp / "temp");
  zip.SetZipFileName((tmp / "N.zip").string());
  // Cancelled at the first callback: nothing is packed, nothing is left, and the engine
  // says why.
  zip.OnAfterCallback.Bind([](pf::TObject*, bool& abort) { abort = true; });
  for (bool spanning : {false, true}) {
    SCOPED_TRACE(spanning ? "spanning" : "plain");
    zip.SetAddOptions(spanning ? AddOpts{AddOptsEnum::AddDiskSpan} : AddOpts{});
    specAll(zip, tmp / "db");
    EXPECT_EQ(zip.Add(), zeAbort);
    EXPECT_EQ(zip.GetFSpecArgs().Count(), 0);
    EXPECT_EQ(entriesOf(tmp.path()), (std::vector<std::string>{"db", "temp"}));
    EXPECT_EQ(entriesOf(tmp / "temp"), std::vector<std::string>{});
  }

  // A specification that matches no file: nothing is packed, plain or spanned, and the add
  // fails.
  zip.OnAfterCallback.Clear();
  for (bool spanning : {false, true}) {
    SCOPED_TRACE(spanning ? "nothing matches, spanning" : "nothing matches");
    zip.SetAddOptions(spanning ? AddOpts{AddOptsEnum::AddDiskSpan} : AddOpts{});
    TStringList none;
    none.Add((tmp / "db").string() + "/*.none");
    zip.SetFSpecArgs(none);
    EXPECT_NE(zip.Add(), 0);
    EXPECT_EQ(zip.SuccessCount(), 0);
    EXPECT_EQ(entriesOf(tmp.path()), (std::vector<std::string>{"db", "temp"}));
  }

  // Freshening or updating an archive that is up to date packs nothing because there is
  // nothing to do: that is no error, whatever an earlier add left in ErrCode.
  zip.SetAddOptions({});
  specAll(zip, tmp / "db");
  ASSERT_EQ(zip.Add(), 0) << zip.LastMessage();
  const std::string before = kvtest::readFile(tmp / "N.zip");
  for (const auto option : {AddOptsEnum::AddFreshen, AddOptsEnum::AddUpdate}) {
    SCOPED_TRACE(option == AddOptsEnum::AddFreshen ? "freshen" : "update");
    zip.SetAddOptions({});
    zip.GetFSpecArgs().Clear();
    ASSERT_EQ(zip.Add(), ZM::AD_NoFilesZip);
    zip.SetAddOptions({option});
    specAll(zip, tmp / "db");
    EXPECT_EQ(zip.Add(), 0);
    EXPECT_EQ(zip.ErrCode(), 0);
    EXPECT_EQ(zip.GetFSpecArgs().Count(), 0);
    EXPECT_EQ(kvtest::readFile(tmp / "N.zip"), before);
  }
}

TEST(AddExtract, RefusedExtracts) {
  kvtest::TempDir tmp;
  ScriptedDialogsScope dialogs;
  TZavOzeriz zip(nullptr);
  useRealEngines(zip);
  zip.SetUnattended(true);
  zip.GetFSpecArgs().Add("*.*");
  // No archive, and one that is not there.
  EXPECT_EQ(zip.Extract(), ZM::GE_NoZipSpecified);
  zip.SetZipFileName((tmp / "missing.zip").string());
  EXPECT_EQ(zip.Extract(), ZM::GE_NoZipSpecified);
  // An archive without members: the directory is read again, then it cannot be opened.
  const auto made =
      kvtest::run(kvtest::systemPython() + " -c " +
                  kvtest::shellQuote("import sys, zipfile\nzipfile.ZipFile(sys.argv[1], 'w').close()") + " " +
                  kvtest::shellQuote((tmp / "empty.zip").string()));
  ASSERT_EQ(made.exitCode, 0) << made.err;
  zip.SetZipFileName((tmp / "empty.zip").string());
  EXPECT_EQ(zip.Extract(), ZM::DS_NoOpen);
  EXPECT_EQ(zip.GetFSpecArgs().Count(), 1);
  EXPECT_FALSE(zip.RozIzeLoaded());
}

// ---- the unattended password rule, and what a run puts back

TEST(AddExtract, PasswordRequestCountComesBackHoweverTheExtractEnds) {
  kvtest::TempDir tmp;
  const Tree tree = makeTree(tmp / "db", 8);
  fs::create_directories(tmp / "temp");
  // An encrypted set of several parts to extract from.
  std::string last;
  {
    ScriptedDialogsScope dialogs;
    TZavOzeriz zip(nullptr);
    useRealEngines(zip);
    zip.SetUnattended(true);
    zip.SetPassword(Password);
    zip.SetMaxVolumeSize(1000);
    zip.SetMinFreeVolumeSize(1);
    zip.SetTempDir((tmp / "temp").string());
    zip.SetAddOptions({AddOptsEnum::AddDiskSpan, AddOptsEnum::AddEncrypt});
    specAll(zip, tmp / "db");
    zip.SetZipFileName((tmp / "S.zip").string());
    ASSERT_EQ(zip.Add(), 0) << zip.LastMessage();
    ASSERT_TRUE(fs::exists(tmp / "S002.zip"));
    last = zip.GetZipFileName();
  }

  struct Case {
    const char* what;
    std::function<void(TZavOzeriz&)> setup;
    bool throws;
    std::vector<int> results; // any of them
  };
  const Case cases[] = {
      // The engine is told not to ask: every encrypted member fails with the password error.
      {"engine run", [](TZavOzeriz&) {}, false, {zePassword}},
      {"engine too old",
       [](TZavOzeriz& z) { z.SetDLLDirectory(fakeDir("old").string()); },
       false,
       {ZM::LU_OldVersion}},
      {"a part missing",
       [&](TZavOzeriz&) { fs::rename(tmp / "S001.zip", tmp / "S001.bak"); },
       false,
       {ZM::DS_NoInFile}},
      {"the warning's handler fails",
       [](TZavOzeriz& z) {
         z.OnMessage.Bind([](pf::TObject*, int, const std::string&) { throw std::runtime_error("owner"); });
       },
       true,
       {}},
      {"a handler fails while the set is joined",
       [](TZavOzeriz& z) {
         // Once it failed it fails again on the failure's report.
         z.OnMessage.Bind([failing = false](pf::TObject*, int, const std::string& m) mutable {
           if (m.rfind("Copying: ", 0) == 0) failing = true;
           if (failing) throw std::runtime_error("owner");
         });
       },
       true,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedDialogsScope dialogs;
    TZavOzeriz zip(nullptr);
    runUnattended(zip, tmp / "temp");
    zip.SetZipFileName(last);
    ASSERT_EQ(zip.Count(), tree.files);
    zip.SetPasswordReqCount(4);
    std::vector<uint32_t> during;
    zip.OnProgress.Bind([&](pf::TObject*, ProgressType, const std::string&, uint32_t) {
      during.push_back(zip.GetPasswordReqCount());
    });
    zip.SetExtrBaseDir((tmp / "out").string());
    c.setup(zip);
    if (c.throws) {
      EXPECT_ANY_THROW(zip.Extract());
    } else {
      const int r = zip.Extract();
      EXPECT_NE(std::find(c.results.begin(), c.results.end(), r), c.results.end())
          << r << " " << zip.LastMessage();
    }
    EXPECT_EQ(zip.GetPasswordReqCount(), 4u);
    for (uint32_t d : during)
      EXPECT_EQ(d, 0u);
    EXPECT_FALSE(zip.CheckBusy());
    EXPECT_FALSE(zip.RozIzeLoaded());
    EXPECT_EQ(entriesOf(tmp / "temp"), std::vector<std::string>{}) << "joined copy left behind";
    if (fs::exists(tmp / "S001.bak")) fs::rename(tmp / "S001.bak", tmp / "S001.zip");
  }

  // With the password or a handler nothing is changed, and all comes out.
  ScriptedDialogsScope dialogs;
  TZavOzeriz zip(nullptr);
  runUnattended(zip, tmp / "temp");
  zip.SetZipFileName(last);
  zip.SetPassword(Password);
  zip.SetPasswordReqCount(4);
  zip.SetExtrBaseDir((tmp / "all").string());
  EXPECT_EQ(zip.Extract(), 0) << zip.LastMessage();
  EXPECT_EQ(diffR(tmp / "db", tmp / "all"), "");
}

// ---- temporary archives

TEST(AddExtract, TemporaryArchivesArePrivateAndNeverOutliveTheRun) {
  kvtest::TempDir tmp;
  makeTree(tmp / "db", 20);
  const fs::path temp = tmp / "temp";
  fs::create_directories(temp);

  struct Case {
    const char* what;
    std::function<void(TZavOzeriz&, ScratchSeen&)> setup;
    bool succeeds;
    bool throws;
  };
  // Each case looks into the temporary directory while the volume writer copies.
  auto lookWhileCopying = [&](TZavOzeriz& z, ScratchSeen& seen) {
    z.OnProgress.Bind([&z, &seen, temp](pf::TObject*, ProgressType t, const std::string&, uint32_t) {
      if (t == ProgressType::NewFile && z.SpanWriteBusy()) seen.look(temp);
    });
    z.OnMessage.Bind([&z, &seen, temp](pf::TObject*, int, const std::string&) {
      if (z.SpanWriteBusy()) seen.look(temp);
    });
  };
  const Case cases[] = {
      {"success", lookWhileCopying, true, false},
      {"a folder in the part's place stops the unattended write",
       [&](TZavOzeriz& z, ScratchSeen& seen) {
         lookWhileCopying(z, seen);
         fs::create_directories(tmp / "save" / "T001.zip");
       },
       false, false},
      {"cancelled by the owner during the copy",
       [&](TZavOzeriz& z, ScratchSeen& seen) {
         z.OnProgress.Bind([&z, &seen, temp](pf::TObject*, ProgressType t, const std::string&, uint32_t) {
           if (t == ProgressType::NewFile && z.SpanWriteBusy()) {
             seen.look(temp);
             z.SetCallbackCancelled(true);
           }
         });
       },
       false, false},
      {"a handler fails during the copy",
       [&](TZavOzeriz& z, ScratchSeen& seen) {
         z.OnProgress.Bind([&z, &seen, temp](pf::TObject*, ProgressType t, const std::string&, uint32_t) {
           if (t == ProgressType::NewFile && z.SpanWriteBusy()) {
             seen.look(temp);
             throw std::runtime_error("owner");
           }
         });
       },
       false, false},
      {"the failure's report fails as well",
       [&](TZavOzeriz& z, ScratchSeen& seen) {
         lookWhileCopying(z, seen);
         fs::create_directories(tmp / "save" / "T001.zip");
         z.OnMessage.Bind([&z, &seen, temp](pf::TObject*, int, const std::string&) {
           if (z.SpanWriteBusy()) seen.look(temp);
           if (z.ErrCode() != 0) throw std::runtime_error("owner");
         });
       },
       false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(tmp / "save");
    fs::create_directories(tmp / "save");
    ScriptedDialogsScope dialogs;
    TZavOzeriz zip(nullptr);
    runUnattended(zip, temp);
    zip.SetAddOptions({AddOptsEnum::AddDiskSpan});
    ScratchSeen seen;
    specAll(zip, tmp / "db");
    zip.SetZipFileName((tmp / "save" / "T.zip").string());
    c.setup(zip, seen);
    int r = -1;
    if (c.throws)
      EXPECT_ANY_THROW(zip.Add());
    else
      r = zip.Add();
    if (!c.throws) {
      EXPECT_EQ(r == 0, c.succeeds) << r << " " << zip.LastMessage();
    }
    EXPECT_GT(seen.looks, 0);
    EXPECT_EQ(seen.problems, std::vector<std::string>{});
    EXPECT_EQ(entriesOf(temp), std::vector<std::string>{});
    EXPECT_FALSE(zip.CheckBusy());
    EXPECT_FALSE(zip.VizIviLoaded());
    if (!c.succeeds) {
      EXPECT_FALSE(fs::is_regular_file(tmp / "save" / "T001.zip"));
    }
    // The component is ready for the next run.
    zip.OnMessage.Clear();
    zip.OnProgress.Clear();
    fs::remove_all(tmp / "save");
    fs::create_directories(tmp / "save");
    specAll(zip, tmp / "db");
    zip.SetZipFileName((tmp / "save" / "T.zip").string());
    EXPECT_EQ(zip.Add(), 0) << zip.LastMessage();
  }

  // The joined copy of a set, while the engine reads it and after.
  ScriptedDialogsScope dialogs;
  TZavOzeriz zip(nullptr);
  runUnattended(zip, temp);
  zip.SetMaxVolumeSize(5000);
  zip.SetMinFreeVolumeSize(1);
  zip.SetAddOptions({AddOptsEnum::AddDiskSpan});
  fs::remove_all(tmp / "save");
  fs::create_directories(tmp / "save");
  specAll(zip, tmp / "db");
  zip.SetZipFileName((tmp / "save" / "T.zip").string());
  ASSERT_EQ(zip.Add(), 0) << zip.LastMessage();
  ASSERT_GT(zip.LastDisk(), 0);
  for (const char* how : {"success", "cancelled", "handler fails"}) {
    SCOPED_TRACE(how);
    ScratchSeen seen;
    const std::string mode = how;
    zip.OnProgress.Bind([&](pf::TObject*, ProgressType t, const std::string&, uint32_t) {
      if (t != ProgressType::NewFile || zip.SpanReadBusy() == false || !zip.RozIzeLoaded()) return;
      seen.look(temp);
      if (mode == "cancelled") zip.SetCallbackCancelled(true);
      if (mode == "handler fails") throw std::runtime_error("owner");
    });
    zip.SetExtrBaseDir((tmp / ("out-" + mode)).string());
    const int r = zip.Extract();
    EXPECT_EQ(r == ZM::EX_WarningUnattendedExtractPossible, mode == "success") << r;
    EXPECT_GT(seen.looks, 0);
    EXPECT_EQ(seen.problems, std::vector<std::string>{});
    EXPECT_EQ(entriesOf(temp), std::vector<std::string>{});
  }
}

// ---- a hostile archive

TEST(AddExtract, AHostileArchiveWritesNothingOutsideTheBaseDirectory) {
  kvtest::TempDir tmp;
  const fs::path base = tmp / "base", outside = tmp / "outside";
  fs::create_directories(base);
  fs::create_directories(outside);
  kvtest::writeFile(outside / "victim.txt", "untouched");
  // A link the base directory already holds, pointing out of it.
  fs::create_directory_symlink(outside, base / "planted");
  const std::string script = "import sys, zipfile, stat\n"
                             "out, absolute = sys.argv[1], sys.argv[2]\n"
                             "z = zipfile.ZipFile(out, 'w')\n"
                             "def put(name, data, system=3, mode=0o100644):\n"
                             "    i = zipfile.ZipInfo(name)\n"
                             "    i.create_system = system\n"
                             "    i.external_attr = mode << 16\n"
                             "    z.writestr(i, data)\n"
                             "put('good.txt', 'fine\\n')\n"
                             "put('../up.txt', 'escaped')\n"
                             "put('sub/../../up2.txt', 'escaped')\n"
                             "put(absolute, 'escaped')\n"
                             "put('..\\\\dos.txt', 'escaped', system=0, mode=0)\n"
                             "put('C:\\\\drive.txt', 'escaped', system=0, mode=0)\n"
                             "put('link', '../outside', mode=stat.S_IFLNK | 0o777)\n"
                             "put('link/through.txt', 'escaped')\n"
                             "put('planted/victim.txt', 'escaped')\n"
                             "put('planted', 'replaces the link, never follows it')\n"
                             "z.close()\n";
  const fs::path archive = tmp / "hostile.zip";
  const auto made = kvtest::run(kvtest::systemPython() + " -c " + kvtest::shellQuote(script) + " " +
                                kvtest::shellQuote(archive.string()) + " " +
                                kvtest::shellQuote((outside / "abs.txt").string()));
  ASSERT_EQ(made.exitCode, 0) << made.err;

  for (bool dirNames : {true, false}) {
    SCOPED_TRACE(dirNames ? "with directory names" : "names only");
    ScriptedDialogsScope dialogs;
    TZavOzeriz zip(nullptr);
    useRealEngines(zip);
    zip.SetUnattended(true);
    Recorder rec(zip);
    std::vector<std::string> skipped;
    zip.OnExtractSkipped.Bind(
        [&](pf::TObject*, const std::string& name, UnZipSkipTypes, int) { skipped.push_back(name); });
    zip.SetZipFileName(archive.string());
    ASSERT_EQ(zip.Count(), 10);
    zip.SetExtrBaseDir(base.string());
    ExtrOpts options{ExtrOptsEnum::ExtrOverWrite};
    if (dirNames) options.Include(ExtrOptsEnum::ExtrDirNames);
    zip.SetExtrOptions(options);
    const int r = zip.Extract();
    EXPECT_NE(r, 0) << "the refusals are reported";
    EXPECT_EQ(entriesOf(outside), std::vector<std::string>{"victim.txt"});
    EXPECT_EQ(kvtest::readFile(outside / "victim.txt"), "untouched");
    EXPECT_FALSE(fs::exists(tmp / "up.txt") || fs::exists(tmp / "up2.txt") || fs::exists(tmp / "dos.txt"));
    EXPECT_EQ(kvtest::readFile(base / "good.txt"), "fine\n");
    EXPECT_FALSE(fs::is_symlink(base / "link")) << "no link is made from a member";
    // The names that would leave the base directory are named to the owner.
    for (const char* name : {"../up.txt", "sub/../../up2.txt", "../dos.txt"})
      EXPECT_NE(std::find(skipped.begin(), skipped.end(), backslashed(name)), skipped.end()) << name;
    EXPECT_FALSE(rec.messages.empty());
    // Nothing of the base directory's tree leads out of it but the link it already had.
    for (const auto& e : fs::recursive_directory_iterator(base)) {
      if (e.is_symlink()) {
        EXPECT_EQ(e.path(), base / "planted");
        continue;
      }
      const std::string rel = fs::relative(e.path(), base).string();
      EXPECT_EQ(rel.find(".."), std::string::npos) << rel;
    }
    fs::remove(base / "planted");
    fs::create_directory_symlink(outside, base / "planted");
    fs::remove_all(base / "link");
  }
}

TEST(AddExtract, WhichMembersComeOut) {
  kvtest::TempDir tmp;
  makeTree(tmp / "db", 4);
  ScriptedDialogsScope dialogs;
  TZavOzeriz zip(nullptr);
  useRealEngines(zip);
  zip.SetUnattended(true);
  specAll(zip, tmp / "db");
  zip.SetZipFileName((tmp / "W.zip").string());
  ASSERT_EQ(zip.Add(), 0) << zip.LastMessage();
  ASSERT_EQ(zip.GetZipFileName(), (tmp / "W.zip").string()); // no spanning: the name stays
  struct Case {
    std::vector<std::string> spec;
    std::vector<std::string> out;
  };
  const std::vector<std::string> all{"CONFIG.DB", "EMPTY.DB", "kvbak", "name with spaces.txt"};
  const Case cases[] = {
      {{}, all},
      {{"*.*", "kvbak"}, all},
      {{"kvbak"}, {"kvbak"}},
      {{"*.DB"}, {"CONFIG.DB", "EMPTY.DB"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    const fs::path out = tmp / ("out" + std::to_string(n++));
    TStringList spec;
    for (const auto& s : c.spec)
      spec.Add(s);
    zip.SetFSpecArgs(spec);
    zip.SetExtrBaseDir(out.string());
    EXPECT_EQ(zip.Extract(), ZM::EX_WarningUnattendedExtractPossible) << zip.LastMessage();
    EXPECT_EQ(entriesOf(out), c.out);
    EXPECT_EQ(zip.GetFSpecArgs().Count(), 0);
  }
}

// Every name a specification matches is a member of its own: a symbolic link to a file is
// stored as the file's contents beside the file, each name of a hard-linked file is stored,
// and with separate directory entries a recursive add stores the empty folders too, which
// extraction makes again. What is stored for each combination of the options, as unzip
// lists it (directory entries end in '/').
TEST(AddExtract, ATreeComesBackWithItsLinksAsFilesAndItsEmptyFolders) {
  kvtest::TempDir tmp;
  const fs::path tree = tmp / "tree";
  fs::create_directories(tree / "empty");
  fs::create_directories(tree / "sub" / "none");
  kvtest::writeFile(tree / "file.txt", "the file\n");
  fs::create_symlink("file.txt", tree / "link.txt");
  kvtest::writeFile(tree / "hard1.bin", std::string(5000, 'h'));
  fs::create_hard_link(tree / "hard1.bin", tree / "hard2.bin");
  kvtest::writeFile(tree / "sub" / "deep.txt", "deep\n");
  fs::create_directories(tmp / "temp");
  using O = AddOptsEnum;
  const std::string files = "file.txt hard1.bin hard2.bin link.txt";
  const struct {
    const char* what;
    AddOpts options;
    std::string listed; // sorted names as unzip -l gives them
  } rows[] = {
      {"a tree's backup",
       {O::AddRecurseDirs, O::AddDirNames, O::AddSeparateDirs},
       "empty/ " + files + " sub/ sub/deep.txt sub/none/"},
      {"no separate directories", {O::AddRecurseDirs, O::AddDirNames}, files + " sub/deep.txt"},
      {"no directory names", {O::AddRecurseDirs, O::AddSeparateDirs}, "deep.txt " + files},
      {"no recursion", {O::AddDirNames, O::AddSeparateDirs}, files},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ScriptedDialogsScope dialogs;
    TZavOzeriz zip(nullptr);
    runUnattended(zip, tmp / "temp");
    const fs::path archive = tmp / "tree.zip";
    fs::remove(archive);
    zip.SetZipFileName(archive.string());
    zip.SetAddOptions(row.options);
    zip.SetRootDir(tree.string());
    TStringList spec;
    spec.Add("*.*");
    zip.SetFSpecArgs(spec);
    ASSERT_EQ(zip.Add(), 0) << zip.LastMessage();
    const auto listing = kvtest::run("unzip -Z1 " + kvtest::shellQuote(archive.string()) + " | sort | xargs");
    EXPECT_EQ(listing.out, row.listed + "\n");
    EXPECT_EQ(peersAccept(archive.string(),
                          static_cast<int>(std::count(row.listed.begin(), row.listed.end(), ' ') + 1)),
              "");
    if (row.options.Contains(O::AddSeparateDirs) && row.options.Contains(O::AddRecurseDirs) &&
        row.options.Contains(O::AddDirNames)) {
      // Back out, the tree is the same tree with the link a file of its own.
      const fs::path out = tmp / "out";
      zip.SetExtrBaseDir(out.string());
      zip.SetExtrOptions({ExtrOptsEnum::ExtrDirNames});
      EXPECT_EQ(zip.Extract(), ZM::EX_WarningUnattendedExtractPossible) << zip.LastMessage();
      EXPECT_EQ(diffR(tree, out), "");
      EXPECT_TRUE(fs::is_directory(out / "empty"));
      EXPECT_TRUE(fs::is_directory(out / "sub" / "none"));
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out / "link.txt")));
    }
  }
}

// A name given without wildcards that matches no file is named in a message, while the other
// names are added and the add answers as it would without it.
TEST(AddExtract, AnExplicitNameThatMatchesNothingIsNamedInAMessage) {
  kvtest::TempDir tmp;
  fs::create_directories(tmp / "in");
  fs::create_directories(tmp / "temp");
  kvtest::writeFile(tmp / "in" / "a.txt", "a");
  ScriptedDialogsScope dialogs;
  TZavOzeriz zip(nullptr);
  runUnattended(zip, tmp / "temp");
  Recorder rec(zip);
  zip.SetZipFileName((tmp / "A.zip").string());
  TStringList spec;
  spec.Add((tmp / "in" / "a.txt").string());
  spec.Add((tmp / "in" / "missing.txt").string());
  spec.Add((tmp / "in" / "*.none").string()); // a wildcard that matches nothing is no news
  zip.SetFSpecArgs(spec);
  EXPECT_EQ(zip.Add(), 0) << zip.LastMessage();
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.ZipContents()[0].FileName, "a.txt");
  std::vector<std::string> naming;
  for (const auto& m : rec.messages)
    if (m.text.find("missing.txt") != std::string::npos) naming.push_back(m.text);
  EXPECT_EQ(naming.size(), 1u);
  for (const auto& m : rec.messages)
    EXPECT_EQ(m.text.find("*.none"), std::string::npos) << m.text;
}
