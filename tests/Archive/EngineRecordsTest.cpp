// The command records, filled field by field from the component's properties, and what an
// engine receives of them.
#include "EngineLinkTestSupport.h"

using namespace ZavOzeriz;
using namespace archivetest;
using namespace enginelinktest;

namespace {

std::string str(const char* p) { return p ? std::string(p) : std::string("<null>"); }

pf::TStringList lines(std::initializer_list<const char*> items) {
  pf::TStringList l;
  for (const char* i : items)
    l.Add(i);
  return l;
}

struct ZipRecord {
  TZipCommand cmd;
  explicit ZipRecord(TZavOzeriz& zip, const std::string& archive = "/tmp/out.zip", int version = 172) {
    zip.FillZipCommand(cmd, archive, version);
    zip.FillZipSpecs(cmd);
  }
  const ZipCommandRecord& r() const { return cmd.Rec; }
};

} // namespace

// Each option lands in its own field, with the record's Boolean convention (-1 / 0, 0xFFFF / 0
// for the 16-bit one, 1 / 0 for the two attribute flags), some of them inverted.
TEST(ZipCommandRecordFields, OptionsByField) {
  using O = AddOptsEnum;
  struct Row {
    const char* name;
    AddOpts options;
    std::function<int64_t(const ZipCommandRecord&)> field;
    int64_t whenSet, whenClear;
  };
  const Row rows[] = {
      {"AddEncrypt", {O::AddEncrypt}, [](auto& r) { return r.Encrypt; }, -1, 0},
      {"AddHiddenFiles", {O::AddHiddenFiles}, [](auto& r) { return r.AddHiddenFiles; }, -1, 0},
      {"AddVolume", {O::AddVolume}, [](auto& r) { return r.AddVolume; }, -1, 0},
      {"AddSeparateDirs", {O::AddSeparateDirs}, [](auto& r) { return r.NoSeparateDirs; }, 0, -1},
      {"AddFromDate", {O::AddFromDate}, [](auto& r) { return r.AddFromDate; }, -1, 0},
      {"AddDirNames", {O::AddDirNames}, [](auto& r) { return r.NoDirNames; }, 0, -1},
      {"AddRecurseDirs", {O::AddRecurseDirs}, [](auto& r) { return r.Recurse; }, 0xFFFF, 0},
      {"AddSafe", {O::AddSafe}, [](auto& r) { return r.NoSafe; }, 0, -1},
      {"AddForceDOS", {O::AddForceDOS}, [](auto& r) { return r.ForceDOS; }, -1, 0},
      {"AddMove", {O::AddMove}, [](auto& r) { return r.Move; }, -1, 0},
      {"AddUpdate", {O::AddUpdate}, [](auto& r) { return r.Update; }, -1, 0},
      {"AddFreshen", {O::AddFreshen}, [](auto& r) { return r.Freshen; }, -1, 0},
      {"AddFreshen with AddUpdate: update",
       {O::AddFreshen, O::AddUpdate},
       [](auto& r) { return r.Update; },
       -1,
       0},
      {"AddFreshen with AddUpdate: no freshen",
       {O::AddFreshen, O::AddUpdate},
       [](auto& r) { return r.Freshen; },
       0,
       0},
      {"AddZipTime", {O::AddZipTime}, [](auto& r) { return r.ZipTime; }, -1, 0},
      {"AddArchiveOnly", {O::AddArchiveOnly}, [](auto& r) { return r.ArchiveOnly; }, 1, 0},
      {"AddResetArchive", {O::AddResetArchive}, [](auto& r) { return r.ResetArchive; }, 1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TZavOzeriz set(nullptr), clear(nullptr);
    set.SetAddOptions(row.options);
    EXPECT_EQ(row.field(ZipRecord(set).r()), row.whenSet);
    EXPECT_EQ(row.field(ZipRecord(clear).r()), row.whenClear);
  }
}

TEST(ZipCommandRecordFields, PropertiesAndFixedValues) {
  ProgramAt program("/opt/kv/bin/prog", 0x1234); // the application's window
  TZavOzeriz zip(nullptr);
  {
    ZipRecord rec(zip, "/srv/save/KorvBak.zip", 172);
    const ZipCommandRecord& r = rec.r();
    EXPECT_EQ(r.Handle, 0x1234u);
    EXPECT_EQ(r.Caller, static_cast<void*>(&zip));
    EXPECT_EQ(r.Version, 172);
    EXPECT_EQ(r.Callback, &TZavOzeriz::EngineCallback);
    EXPECT_EQ(r.Trace, 0);
    EXPECT_EQ(r.Verbose, 0);
    EXPECT_EQ(r.Password, nullptr);
    EXPECT_EQ(str(r.StoreSuffixes),
              ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha:.rar:.ace:.cab:.gz:.gzip:.jar");
    EXPECT_EQ(r.MinusOne, -1);
    EXPECT_EQ(r.Level, 9);
    EXPECT_EQ(std::string(r.FromDate, 8), "12 30 99"); // AddFrom 0
    EXPECT_EQ(str(r.ZipFileName), "/srv/save/KorvBak.zip");
    EXPECT_EQ(r.TempDir, nullptr);
    EXPECT_EQ(r.ArchiveComment, nullptr);
    EXPECT_EQ(r.ExclCount, 0);
    EXPECT_EQ(r.Exclusions, nullptr);
    EXPECT_EQ(r.FSpecCount, 0);
    EXPECT_EQ(r.AllowUndo, -1); // htdAllowUndo
    EXPECT_EQ(r.CodePage, 0);
    EXPECT_EQ(r.Check, 7);
    EXPECT_EQ(r.Reserved1 | r.Reserved4 | r.Reserved5 | r.Reserved6, 0);
  }
  zip.SetUnattended(true);
  zip.SetTrace(true);
  zip.SetAddCompLevel(0);
  zip.SetTempDir("/var/tmp");
  zip.SetHowToDelete(DeleteOpts::htdFinal);
  zip.SetCodePage(CodePageOpts::cpOEM);
  zip.SetFSpecArgsExcl(lines({"*.tmp", "*.bak"}));
  zip.SetAddStoreSuffixes({});
  {
    ZipRecord rec(zip);
    const ZipCommandRecord& r = rec.r();
    EXPECT_EQ(r.Handle, 0u); // unattended
    EXPECT_EQ(r.Trace, -1);
    EXPECT_EQ(r.Verbose, -1); // Trace counts as Verbose
    EXPECT_EQ(r.Level, 0);
    EXPECT_EQ(str(r.TempDir), "/var/tmp");
    EXPECT_EQ(r.AllowUndo, 0);
    EXPECT_EQ(r.CodePage, 2);
    EXPECT_EQ(r.StoreSuffixes, nullptr); // no suffixes at all
    ASSERT_EQ(r.ExclCount, 2);
    EXPECT_EQ(str(r.Exclusions[0]), "*.tmp");
    EXPECT_EQ(str(r.Exclusions[1]), "*.bak");
  }
  zip.SetAddStoreSuffixes({AddStoreSuffixEnum::assEXE, AddStoreSuffixEnum::assGIF});
  zip.SetExtAddStoreSuffixes("DOC;txt"); // adds assEXT
  EXPECT_EQ(str(ZipRecord(zip).r().StoreSuffixes), ".gif:.exe:.doc:.txt");
}

TEST(ZipCommandRecordFields, FromDateIsMonthDayYear) {
  // Hand-checked against the calendar: day 0 is 1899-12-30.
  const std::pair<double, const char*> rows[] = {
      {0, "12 30 99"},        {2, "01 01 00"},    {36526, "01 01 00"}, {45000, "03 15 23"},
      {45000.99, "03 15 23"}, {-1.5, "12 29 99"}, {73050, "12 31 99"}};
  for (auto [date, want] : rows) {
    TZavOzeriz zip(nullptr);
    zip.SetAddFrom(date);
    EXPECT_EQ(std::string(ZipRecord(zip).r().FromDate, 8), want) << date;
  }
}

// One FileSpecRecord per line: prefixes, the "<" password part, and what the line takes from
// the command.
TEST(ZipCommandRecordFields, FileSpecificationLines) {
  struct Row {
    const char* line;
    bool recurseOption, encryptOption;
    const char* password; // the component's
    const char* wantSpec;
    const char* wantPassword;
    int32_t wantEncrypt;
    uint16_t wantRecurse;
  };
  const Row rows[] = {
      {">/data", false, false, "", "/data", "<null>", 0, 0xFFFF},
      {"|/data", true, false, "", "/data", "<null>", 0, 0},
      {"/data/*.db", true, false, "", "/data/*.db", "<null>", 0, 0xFFFF},
      {"/data/plan.doc", false, true, "pw", "/data/plan.doc", "pw", -1, 0},
      {"/data/plan.doc<", false, true, "pw", "/data/plan.doc", "<null>", 0, 0},
      {"/data/plan.doc<secret", false, false, "pw", "/data/plan.doc", "secret", 65535, 0},
      {">/data/a<b<c", false, false, "", "/data/a", "b<c", 65535, 0xFFFF},
      {"|>/data", true, false, "", ">/data", "<null>", 0, 0}, // one prefix only
      {"<", false, true, "pw", "", "<null>", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    TZavOzeriz zip(nullptr);
    AddOpts o;
    if (row.recurseOption) o.Include(AddOptsEnum::AddRecurseDirs);
    if (row.encryptOption) o.Include(AddOptsEnum::AddEncrypt);
    zip.SetAddOptions(o);
    zip.SetPassword(row.password);
    zip.SetFSpecArgs(lines({row.line}));
    ZipRecord rec(zip);
    ASSERT_EQ(rec.r().FSpecCount, 1);
    const FileSpecRecord& f = rec.r().FSpecs[0];
    EXPECT_EQ(str(f.FileSpec), row.wantSpec);
    EXPECT_EQ(str(f.Password), row.wantPassword);
    EXPECT_EQ(f.Encrypt, row.wantEncrypt);
    EXPECT_EQ(f.Recurse, row.wantRecurse);
    EXPECT_EQ(f.RootDir, nullptr);
  }
}

TEST(ZipCommandRecordFields, RootDirIsExpanded) {
  kvtest::TempDir tmp;
  InDirectory cwd(tmp.path());
  TZavOzeriz zip(nullptr);
  zip.SetRootDir("data/../db");
  zip.SetFSpecArgs(lines({"*.DB", "kvbak"}));
  ZipRecord rec(zip);
  ASSERT_EQ(rec.r().FSpecCount, 2);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(str(rec.r().FSpecs[i].RootDir), (fs::current_path() / "db").string());
}

// A password of any length reaches both engines whole, so that what was added with it opens
// with it again.
TEST(CommandRecordPasswords, TravelWholeToBothEngines) {
  for (size_t length : {1u, 80u, 81u, 100u, 600u}) {
    TZavOzeriz zip(nullptr);
    const std::string password(length, 'p');
    zip.SetPassword(password);
    zip.SetFSpecArgs(lines({"/data/a"}));
    ZipRecord rec(zip);
    EXPECT_EQ(str(rec.r().Password), password);
    EXPECT_EQ(str(rec.r().FSpecs[0].Password), password);
    TUnzipCommand unzip;
    zip.FillUnzipCommand(unzip, "/a.zip", 172);
    EXPECT_EQ(str(unzip.Rec.Password), password);
  }
}

TEST(UnzipCommandRecordFields, OptionsPropertiesAndSpecifications) {
  using O = ExtrOptsEnum;
  ProgramAt program("/opt/kv/bin/prog", 77);
  struct Row {
    const char* name;
    ExtrOpts options;
    std::function<int32_t(const UnzipCommandRecord&)> field;
    int32_t whenSet;
  };
  const Row rows[] = {
      {"ExtrTest", {O::ExtrTest}, [](auto& r) { return r.Test; }, -1},
      {"ExtrUpdate", {O::ExtrUpdate}, [](auto& r) { return r.Update; }, -1},
      {"ExtrFreshen", {O::ExtrFreshen}, [](auto& r) { return r.Freshen; }, -1},
      {"ExtrFreshen with ExtrUpdate", {O::ExtrFreshen, O::ExtrUpdate}, [](auto& r) { return r.Freshen; }, 0},
      {"ExtrDirNames", {O::ExtrDirNames}, [](auto& r) { return r.DirNames; }, -1},
      {"ExtrOverWrite", {O::ExtrOverWrite}, [](auto& r) { return r.Overwrite; }, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TZavOzeriz set(nullptr), clear(nullptr);
    set.SetExtrOptions(row.options);
    TUnzipCommand a, b;
    set.FillUnzipCommand(a, "/a.zip", 172);
    clear.FillUnzipCommand(b, "/a.zip", 172);
    EXPECT_EQ(row.field(a.Rec), row.whenSet);
    EXPECT_EQ(row.field(b.Rec), 0);
  }

  TZavOzeriz zip(nullptr);
  zip.SetPasswordReqCount(4);
  {
    TUnzipCommand c;
    zip.FillUnzipCommand(c, "/srv/a.zip", 173);
    zip.FillUnzipSpecs(c);
    EXPECT_EQ(c.Rec.Handle, 77u);
    EXPECT_EQ(c.Rec.Caller, static_cast<void*>(&zip));
    EXPECT_EQ(c.Rec.Version, 173);
    EXPECT_EQ(c.Rec.Callback, &TZavOzeriz::EngineCallback);
    EXPECT_EQ(str(c.Rec.Password), ""); // present although empty
    EXPECT_EQ(c.Rec.MinusOne, -1);
    EXPECT_EQ(str(c.Rec.ZipFileName), "/srv/a.zip");
    EXPECT_EQ(c.Rec.PasswordReqCount, 4u);
    EXPECT_EQ(c.Rec.ExtractBaseDir, nullptr);
    EXPECT_EQ(c.Rec.FSpecCount, 0); // no lines: every member
    EXPECT_EQ(c.Rec.Check, 7);
  }
  struct SpecRow {
    std::vector<const char*> lines;
    std::vector<std::string> want; // empty: every member
  };
  const SpecRow specRows[] = {
      {{"*.*", "CONFIG.DB", "kvbak"}, {}},
      {{"CONFIG.DB", "*.*"}, {"CONFIG.DB", "*.*"}},
      {{"docs\\a.txt"}, {"docs\\a.txt"}},
      {{"*.* "}, {"*.* "}}, // only exactly "*.*" means every member
  };
  for (const SpecRow& row : specRows) {
    pf::TStringList l;
    for (const char* s : row.lines)
      l.Add(s);
    zip.SetFSpecArgs(l);
    zip.SetExtrBaseDir("/srv/restore");
    TUnzipCommand c;
    zip.FillUnzipCommand(c, "/srv/a.zip", 172);
    zip.FillUnzipSpecs(c);
    EXPECT_EQ(str(c.Rec.ExtractBaseDir), "/srv/restore");
    ASSERT_EQ(c.Rec.FSpecCount, static_cast<int32_t>(row.want.size()));
    for (size_t i = 0; i < row.want.size(); ++i)
      EXPECT_EQ(str(c.Rec.FSpecs[i].FileSpec), row.want[i]);
  }
}

// What the engine sees through a run is the record filled from the properties; the run
// uses the file specification lists up and frees the record.
TEST(EngineRuns, TheEngineReceivesTheRecordAndTheListsAreUsedUp) {
  FakeEngine engine("ok", "vizivi");
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetDLLDirectory(fakeDir("ok").string());
  zip.SetPassword("top secret");
  zip.SetAddOptions({AddOptsEnum::AddEncrypt, AddOptsEnum::AddDirNames});
  zip.SetFSpecArgs(lines({">/data/*.db", "/data/kvbak<"}));
  zip.SetFSpecArgsExcl(lines({"*.lck"}));
  bool busyDuringRun = false;
  engine->duringExec = [&] { busyDuringRun = zip.CheckBusy(); };
  engine->result = 2;
  ASSERT_TRUE(zip.RunVizIvi("/tmp/target.zip"));
  EXPECT_EQ(zip.SuccessCount(), 2);
  EXPECT_EQ(engine->execCalls, 1);
  EXPECT_TRUE(busyDuringRun);
  EXPECT_FALSE(zip.CheckBusy());
  EXPECT_FALSE(zip.VizIviLoaded()); // loaded for the run only
  EXPECT_EQ(zip.GetFSpecArgs().Count(), 0);
  EXPECT_EQ(zip.GetFSpecArgsExcl().Count(), 0);

  const fakeengine::State& s = engine.state();
  EXPECT_EQ(s.zipFileName, "/tmp/target.zip");
  EXPECT_EQ(s.zipPassword, "top secret");
  EXPECT_EQ(s.zip.Encrypt, -1);
  EXPECT_EQ(s.zip.NoDirNames, 0);
  EXPECT_EQ(s.zip.Caller, static_cast<void*>(&zip));
  EXPECT_EQ(s.zip.Check, 7);
  ASSERT_EQ(s.zip.FSpecCount, 2);
  ASSERT_EQ(s.fileSpecs.size(), 2u);
  EXPECT_EQ(s.fileSpecs[0].spec, "/data/*.db");
  EXPECT_EQ(s.fileSpecs[0].recurse, 0xFFFF);
  EXPECT_EQ(s.fileSpecs[0].password, "top secret");
  EXPECT_EQ(s.fileSpecs[1].spec, "/data/kvbak");
  EXPECT_EQ(s.fileSpecs[1].password, std::nullopt);
  EXPECT_EQ(s.fileSpecs[1].encrypt, 0);
  EXPECT_EQ(s.exclusions, std::vector<std::string>{"*.lck"});
}

TEST(EngineRuns, TheUnzipEngineReceivesTheRecord) {
  FakeEngine engine("ok", "rozize");
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetDLLDirectory(fakeDir("ok").string());
  zip.SetExtrBaseDir("/srv/db");
  zip.SetExtrOptions({ExtrOptsEnum::ExtrOverWrite});
  zip.SetFSpecArgs(lines({"CONFIG.DB", "LANG.DB"}));
  bool busyDuringRun = false;
  engine->duringExec = [&] { busyDuringRun = zip.CheckBusy(); };
  engine->result = 5;
  ASSERT_TRUE(zip.RunRozIze("/srv/joined.zip"));
  EXPECT_EQ(zip.SuccessCount(), 5);
  EXPECT_TRUE(busyDuringRun);
  EXPECT_FALSE(zip.CheckBusy());
  EXPECT_FALSE(zip.RozIzeLoaded());
  EXPECT_EQ(zip.GetFSpecArgs().Count(), 0);
  const fakeengine::State& s = engine.state();
  EXPECT_EQ(s.unzipFileName, "/srv/joined.zip");
  EXPECT_EQ(s.baseDir, "/srv/db");
  EXPECT_EQ(s.unzipPassword, "");
  EXPECT_EQ(s.unzip.Overwrite, -1);
  EXPECT_EQ(s.unzip.Check, 7);
  EXPECT_EQ(s.unzipSpecs, (std::vector<fakeengine::Text>{"CONFIG.DB", "LANG.DB"}));
}

TEST(EngineRuns, AnEngineThatCannotBeLoadedKeepsTheSpecifications) {
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetDLLDirectory(fakeDir("noexec").string());
  zip.SetFSpecArgs(lines({"/data/a"}));
  Recorder rec(zip);
  EXPECT_FALSE(zip.RunVizIvi("/tmp/a.zip"));
  EXPECT_FALSE(zip.RunRozIze("/tmp/a.zip"));
  EXPECT_EQ(zip.GetFSpecArgs().Count(), 1);
  EXPECT_FALSE(zip.CheckBusy());
  EXPECT_EQ(zip.ErrCode(), 10704);
}

// A failure inside the run, after the engine returned, is the engine's fatal error; the
// clean-up happens all the same.
TEST(EngineRuns, AFailureDuringTheRunIsTheFatalEngineError) {
  for (bool zipSide : {true, false}) {
    SCOPED_TRACE(zipSide ? "zip" : "unzip");
    FakeEngine engine("ok", zipSide ? "vizivi" : "rozize");
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    zip.SetDLLDirectory(fakeDir("ok").string());
    zip.SetFSpecArgs(lines({"/data/a"}));
    Recorder rec(zip);
    auto fail = [] { throw std::runtime_error("spanning failed"); };
    ASSERT_TRUE(zipSide ? zip.RunVizIvi("/tmp/a.zip", fail) : zip.RunRozIze("/tmp/a.zip", fail));
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].text, zipSide ? "Fatal Error in VizIVI.DLL: abort exception"
                                            : "Fatal Error in RozIZE.DLL: abort exception");
    EXPECT_EQ(zip.ErrCode(), zipSide ? 10101 : 10501);
    EXPECT_EQ(zip.GetFSpecArgs().Count(), 0);
    EXPECT_FALSE(zip.CheckBusy());
    EXPECT_FALSE(zipSide ? zip.VizIviLoaded() : zip.RozIzeLoaded());
  }
}

TEST(EngineRuns, AnEngineLoadedBeforeTheRunStaysLoaded) {
  FakeEngine engine("ok", "vizivi");
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetDLLDirectory(fakeDir("ok").string());
  bool here = false;
  ASSERT_EQ(zip.LoadVizIvi(here), 172);
  zip.SetFSpecArgs(lines({"/data/a"}));
  ASSERT_TRUE(zip.RunVizIvi("/tmp/a.zip"));
  EXPECT_TRUE(zip.VizIviLoaded());
}
