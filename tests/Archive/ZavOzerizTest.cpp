// The component object, its message table and reporting, and its file helpers.
#include "ArchiveTestSupport.h"

#include "Archive/ZipMessages.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Cursor/Cursor.h"
#include "Platform/Strings/Strings.h"
#include "Platform/Volumes/Volumes.h"

using namespace ZavOzeriz;
using namespace archivetest;
namespace pf = kv::platform;

TEST(ZavOzerizObject, InitialValues) {
  TZavOzeriz zip(nullptr);
  EXPECT_EQ(zip.ClassName(), "TZavOzeriz");
  EXPECT_EQ(zip.GetAddCompLevel(), 9);
  EXPECT_EQ(zip.GetMinVizIviVers(), 172);
  EXPECT_EQ(zip.GetMinRozIzeVers(), 172);
  EXPECT_EQ(zip.GetCodePage(), CodePageOpts::cpAuto);
  EXPECT_EQ(zip.GetHowToDelete(), DeleteOpts::htdAllowUndo);
  EXPECT_EQ(zip.GetVersionInfo(), "1.72");
  EXPECT_EQ(zip.GetPasswordReqCount(), 1u);
  EXPECT_TRUE(zip.GetConfirmErase());
  EXPECT_EQ(zip.GetMinFreeVolumeSize(), 65536);
  EXPECT_EQ(zip.GetSFXCaption(), "Self-extracting Archive");
  EXPECT_EQ(zip.GetSFXOptions(), SFXOpts{SFXOptsEnum::SFXCheckSize});
  EXPECT_EQ(zip.GetSFXOverWriteMode(), OvrOpts::OvrConfirm);
  // assGIF to assJAR: the first 17 members, not assEXE or assEXT.
  EXPECT_EQ(zip.GetAddStoreSuffixes().Bits(), (uint64_t{1} << 17) - 1);
  EXPECT_EQ(zip.Count(), 0);
  EXPECT_EQ(zip.ErrCode(), 0);
}

TEST(ZavOzerizObject, SettersWithSideEffects) {
  TZavOzeriz zip(nullptr);
  struct Row {
    uint32_t set, want;
  };
  for (auto [set, want] : {Row{20, 15}, Row{15, 15}, Row{0, 0}, Row{3, 3}}) {
    zip.SetPasswordReqCount(set);
    EXPECT_EQ(zip.GetPasswordReqCount(), want) << set;
  }
  zip.SetMinVizIviVers(100);
  EXPECT_EQ(zip.GetMinVizIviVers(), 172);
  zip.SetMinVizIviVers(180);
  EXPECT_EQ(zip.GetMinVizIviVers(), 180);
  zip.SetMinRozIzeVers(171);
  EXPECT_EQ(zip.GetMinRozIzeVers(), 172);
  for (auto [set, want] : {std::pair{"D:\\Engines\\", "D:\\Engines"}, std::pair{"C:\\", "C:"},
                           std::pair{"/opt/engines/", "/opt/engines"}, std::pair{"", ""}}) {
    zip.SetDLLDirectory(set);
    EXPECT_EQ(zip.GetDLLDirectory(), want) << set;
  }
  zip.SetVersionInfo("9.99");
  EXPECT_EQ(zip.GetVersionInfo(), "1.72");

  pf::TStringList specs;
  specs.Add("a.txt");
  specs.Add("b.txt");
  zip.SetFSpecArgs(specs);
  specs.Clear();
  EXPECT_EQ(zip.GetFSpecArgs().Count(), 2); // a copy, not the caller's list
}

TEST(ZavOzerizObject, ExtraStoreSuffixesAreNormalised) {
  const std::pair<const char*, const char*> rows[] = {
      {"DOC;.Txt,pdf", ".doc:.txt:.pdf:"},
      {"doc", ".doc:"},
      {".A B", ".a b:"},
      {":doc", ".doc:"}, // a leading ':' ends in finite time
      {"a::b", ".a:.b:"},
  };
  for (auto [in, out] : rows) {
    TZavOzeriz zip(nullptr);
    zip.SetExtAddStoreSuffixes(in);
    EXPECT_EQ(zip.GetExtAddStoreSuffixes(), out) << in;
    EXPECT_TRUE(zip.GetAddStoreSuffixes().Contains(AddStoreSuffixEnum::assEXT));
    zip.SetExtAddStoreSuffixes("");
    EXPECT_FALSE(zip.GetAddStoreSuffixes().Contains(AddStoreSuffixEnum::assEXT));
  }
}

TEST(ZavOzerizObject, WaitCursorsNest) {
  TZavOzeriz zip(nullptr);
  pf::screenCursor().setCursor(pf::crArrow);
  zip.StartWaitCursor();
  zip.StartWaitCursor();
  zip.StopWaitCursor();
  EXPECT_EQ(pf::screenCursor().cursor(), pf::crHourGlass);
  zip.StopWaitCursor();
  EXPECT_EQ(pf::screenCursor().cursor(), pf::crArrow);
  zip.StopWaitCursor(); // one Stop too many changes nothing
  EXPECT_EQ(pf::screenCursor().cursor(), pf::crArrow);
  EXPECT_EQ(zip.WaitCursorLevel(), 0);
}

// The table as the system defines it, written out by hand: every id with its exact text, in order.
TEST(ZipMessageTable, HoldsEveryTextOnceInOrder) {
  const ZipMessages::ZipMessageText expected[] = {
      {10101, "Fatal Error in VizIVI.DLL: abort exception"},
      {10102, "Error - no zip file specified!"},
      {10103, "Requested memory not available"},
      {10104, "Error - passwords do NOT match\nPassword ignored"},
      {10105, "Copying: "},
      {10140, "Error while copying the SFX header"},
      {10141, "Rename is not implemented for a spanned zip file"},
      {10142, "Processing: "},
      {10143, " renamed to: "},
      {10150, "Error - no add password given"},
      {10151, "Error - no extract password given"},
      {10152, "&Ok"},
      {10153, "&Cancel"},
      {10154, "Password"},
      {10155, "Enter Password "},
      {10156, "Confirm Password "},
      {10157, "Cancel all"},
      {10158, "Abort"},
      {10159, " for file: "},
      {10180, "Source archive is the same as the destination archive!"},
      {10181, "Overwrite file '%s' in '%s' ?"},
      {10182, "Copying a file from '%s' to '%s' failed"},
      {10183, "File '%s' is not present in '%s'!"},
      {10184, "Error while copying the SFX data"},
      {10185, "Destination zip archive could not be opened!"},
      {10186, "CopyZippedFiles is not implemented for a spanned zip file"},
      {10201, "Seek error reading Zip archive!"},
      {10202, "Unknown error in List() function\n"},
      {10203, "Warning - Error in zip structure!"},
      {10204, "Warning - Garbage at the end of the zipfile!"},
      {10301, "Error - no files to zip!"},
      {10302, "Unattended action not possible without a password"},
      {10303, "AddFreshen or AddUpdate not possible on a spanned archive"},
      {10304, "Error %.1d occurred during Auto SFX creation."},
      {10305, "Error - your VizIVI.dll can not use streams, please update to version >= 1.60"},
      {10306, "Input stream may not be set to the output stream"},
      {10307, "Wildcards are not allowed in Filename or file specification"},
      {10401, "Error - no files selected for deletion"},
      {10402, "Delete files from archive not implemented for a spanned zip file"},
      {10501, "Fatal Error in RozIZE.DLL: abort exception"},
      {10502, "Warning - Unattended Extract: possible not all files extracted"},
      {10503, "Error - your RozIZE.dll can not use streams, please update to version >= 1.60"},
      {10601, "ZIP DLL Loaded"},
      {10602, "VizIviExec function not found in VIZIVI.DLL!"},
      {10603, "GetVizIviVersion function not found in VIZIVI.DLL!"},
      {10604, "VIZIVI.DLL not found!"},
      {10605, "Attempted to load old VizIvi from "},
      {10701, "ROZIZE Loaded!"},
      {10702, "RozIzeExec function not found in ROZIZE.DLL!"},
      {10703, "GetRozIzeVersion function not found in ROZIZE.DLL!"},
      {10704, "ROZIZE.DLL not found!"},
      {10705, "Attempted to load old RozIze from "},
      {10801, "Error - On or more of the 4 property strings mentioned below exceeds 255 characters!"},
      {10802, "Error - ZAVSFX.BIN not found!"},
      {10803, "Error: input file is not a zip file"},
      {10804, "SFX functions not supported"},
      {10901, "Error - no .EXE file specified"},
      {10902, "Error: input file is not an .EXE file"},
      {10903, "Error determining the type of SFX archive"},
      {11001, "Input file does not exist"},
      {11002, "Zip file could not be opened"},
      {11003, "Not a valid drive: %s"},
      {11004, "Drive %s is NOT defined"},
      {11005, "Volume label could not be set"},
      {11006, "Not enough memory to display MsgBox"},
      {11007, "User canceled operation"},
      {11008, "Seek error in input file"},
      {11009, "Creation of output file failed"},
      {11010, "Write error in output file"},
      {11011, "Error while reading the End Of Central Directory"},
      {11012, "Error while reading a local header"},
      {11013, "Error while reading a central header"},
      {11014, "A local header signature is wrong"},
      {11015, "A central header signature is wrong"},
      {11016, "Error while reading a local file name"},
      {11017, "Error while reading a central file name"},
      {11018, "Error while reading a local extra field"},
      {11019, "Error while reading a central extra field"},
      {11020, "Error while reading/writing a data descriptor area"},
      {11021, "Error while reading zipped data"},
      {11022, "Error while reading a file comment"},
      {11023, "Error while reading the archive comment"},
      {11024, "UnKnown error in function ReadSpan(), WriteSpan(), Rename() or CopyZippedFiles()\n"},
      {11025, "Unattended disk spanning not implemented"},
      {11026, "A local header not found in internal structure"},
      {11027, "Temporary file could not be created"},
      {11028, "Error while writing a local header"},
      {11029, "Error while writing a central header"},
      {11030, "Error while writing the End Of Central Directory"},
      {11031, "Error while reading a Extended Local signature"},
      {11032, "This disk has not enough free space available"},
      {11033, "Please insert last disk"},
      {11034, "Please insert disk volume %.1d of %.1d"},
      {11035, "\nin drive: %s"},
      {11036, "This archive is not a valid Zip archive"},
      {11037, "This is the first disk in a backup set,\nplease insert the last disk of this set"},
      {11038, "This is the %dth disk in a backup set,\nplease insert the last disk of this set"},
      {11039, "There is already a file %s\nDo you want to overwrite this file"},
      {11040, "ATTENTION: This is previous disk no %d!!!\nAre you sure you want to overwrite the contents"},
      {11041, "Error - Self extracting archives(.exe) can not be spanned"},
      {11042, "Error while copying a filename of a CEH structure"},
      {11043, "Seek error while skipping a EOC structure"},
      {11044, "Error while copying the zip archive comment"},
      {11045, "This is the first file in a backup set,\nplease choose the last file of this set"},
      {11046, "Please insert disk volume %.1d"},
      {11047, "Central directory"},
      {11048, "Disk Spanning not supported"},
  };
  ASSERT_EQ(ZipMessages::ZipMessageCount, static_cast<int>(std::size(expected)));
  for (int i = 0; i < ZipMessages::ZipMessageCount; ++i) {
    EXPECT_EQ(ZipMessages::ZipMessageTable[i].id, expected[i].id) << i;
    EXPECT_STREQ(ZipMessages::ZipMessageTable[i].text, expected[i].text) << expected[i].id;
    EXPECT_EQ(TZavOzeriz::LoadZipStr(expected[i].id, "missing"), expected[i].text);
  }
}

TEST(ZipMessageTable, FormattingConstructorsFillPlaceholders) {
  struct Row {
    EZavOzeriz e;
    const char* text;
    int id;
  };
  const Row rows[] = {
      {EZavOzeriz::CreateResFmtInt(10304, 3), "Error 3 occurred during Auto SFX creation.", 10304},
      {EZavOzeriz::CreateResFmtInt(11038, 2),
       "This is the 2th disk in a backup set,\nplease insert the last disk of this set", 11038},
      {EZavOzeriz::CreateResFmtStr(11003, "1:\\"), "Not a valid drive: 1:\\", 11003},
      {EZavOzeriz::CreateResDisp(11007, false), "User canceled operation", 11007},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(r.e.Message(), r.text);
    EXPECT_EQ(r.e.ResId, r.id);
  }
  EXPECT_FALSE(rows[3].e.DisplayMsg);
  EXPECT_TRUE(rows[0].e.DisplayMsg);
}

TEST(ZipMessageTable, MissingEntriesFallBack) {
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  Recorder rec(zip);
  auto& table = pf::resourceStrings();
  const auto saved10605 = *table.find(10605), saved10201 = *table.find(10201),
             saved10804 = *table.find(10804);
  table.remove(10605);
  table.remove(10201);
  table.remove(10804);
  zip.ShowZipMessage(10605, "/opt/VIZIVI.DLL");
  zip.ShowZipMessage(10201);
  // The exception's constructor knows only the general text, also for the ids that the
  // component's own fallback knows more about.
  for (int id : {10201, 10605, 10804})
    EXPECT_EQ(EZavOzeriz::CreateResDisp(id, true).Message(),
              "ZavMsgXX.res is probably not linked to the executable\nMissing String ID is: " +
                  std::to_string(id));
  EXPECT_EQ(TZavOzeriz::LoadZipStr(10201, "default"), "default");
  table.add(10605, saved10605);
  table.add(10201, saved10201);
  table.add(10804, saved10804);
  ASSERT_EQ(rec.messages.size(), 2u);
  EXPECT_EQ(rec.messages[0].text, "Old Dll from /opt/VIZIVI.DLL");
  EXPECT_EQ(rec.messages[1].text,
            "ZavMsgXX.res is probably not linked to the executable\nMissing String ID is: 10201");
  EXPECT_EQ(TZavOzeriz::MissingStringText(10804), "SFX not supported");
  EXPECT_EQ(TZavOzeriz::MissingStringText(11048), "Span not supported");
  EXPECT_EQ(TZavOzeriz::LoadZipStr(11047, "x"), "Central directory");
}

TEST(ZipMessageTable, ReportingPaths) {
  ScriptedDialogsScope dialogs;
  pf::application().setTitle("KVBackup");
  dialogs->expectMessageBox("Seek error in input file", pf::id::OK, std::string("KVBackup"));
  TZavOzeriz zip(nullptr);
  Recorder rec(zip);
  zip.ReportZipError(EZavOzeriz::CreateResDisp(11008, true));
  zip.ReportZipError(EZavOzeriz::CreateResDisp(11007, false)); // no box
  zip.SetUnattended(true);
  zip.ShowZipMessage(11001, " x"); // no box unattended
  zip.TraceMessage("not traced");
  zip.SetTrace(true);
  zip.TraceMessage("traced");
  ASSERT_EQ(rec.messages.size(), 4u);
  EXPECT_EQ(rec.messages[0].errCodeArg, 11008);
  EXPECT_EQ(rec.messages[1].errCodeArg, 11007);
  EXPECT_EQ(rec.messages[2].errCodeArg, 0);
  EXPECT_EQ(rec.messages[2].text, "Input file does not exist x");
  EXPECT_EQ(rec.messages[3].text, "traced");
  EXPECT_EQ(zip.ErrCode(), 11001); // a trace leaves it
  EXPECT_EQ(zip.LastMessage(), "Input file does not exist x");
}

TEST(ZavOzerizHelpers, PathConcatAndFriends) {
  const std::tuple<const char*, const char*, const char*> rows[] = {
      {"/dll/", "/VIZIVI.DLL", "/dll/VIZIVI.DLL"},
      {"/dll", "VIZIVI.DLL", "/dll/VIZIVI.DLL"},
      {"/dll/", "VIZIVI.DLL", "/dll/VIZIVI.DLL"},
      {"", "VIZIVI.DLL", "VIZIVI.DLL"},
      {"/dll", "", "/dll"},
  };
  for (auto [dir, name, want] : rows)
    EXPECT_EQ(TZavOzeriz::PathConcat(dir, name), want) << dir << "+" << name;
  EXPECT_EQ(TZavOzeriz::AddTrailingBackslash(""), "");
  EXPECT_EQ(TZavOzeriz::AddTrailingBackslash("/tmp"), "/tmp/");
  EXPECT_EQ(TZavOzeriz::AddTrailingBackslash("/tmp/"), "/tmp/");
  EXPECT_EQ(TZavOzeriz::SlashToBackslash("a/b/c"), "a\\b\\c");
}

TEST(ZavOzerizHelpers, TempFileNamesAreNewAndLeaveNothingBehind) {
  kvtest::TempDir dir;
  TZavOzeriz zip(nullptr);
  zip.SetTempDir(dir.str());
  const std::string a = zip.MakeTempFileName("", ""), b = zip.MakeTempFileName("", "");
  EXPECT_EQ(zip.GetTempDir(), dir.str() + "/");
  EXPECT_NE(a, b);
  for (const auto& n : {a, b}) {
    EXPECT_TRUE(n.starts_with(dir.str() + "/zip")) << n;
    EXPECT_TRUE(n.ends_with(".zip")) << n;
    EXPECT_FALSE(std::filesystem::exists(n));
  }
  zip.SetTempDir((dir / "missing").string());
  EXPECT_EQ(zip.MakeTempFileName("kv", ".tmp"), "");
}

TEST(ZavOzerizHelpers, EraseFileToTrashOrForGood) {
  kvtest::TempDir dir;
  kvtest::ScopedEnv data("XDG_DATA_HOME", (dir / "data").string());
  TZavOzeriz zip(nullptr);
  EXPECT_EQ(zip.EraseFile((dir / "none.txt").string(), DeleteOpts::htdFinal), -1);
  kvtest::writeFile(dir / "undo.txt", "keep me");
  kvtest::writeFile(dir / "final.txt", "gone");
  EXPECT_EQ(zip.EraseFile((dir / "undo.txt").string(), DeleteOpts::htdAllowUndo), 0);
  EXPECT_EQ(zip.EraseFile((dir / "final.txt").string(), DeleteOpts::htdFinal), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "undo.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "final.txt"));
  EXPECT_EQ(kvtest::readFile(dir / "data/Trash/files/undo.txt"), "keep me");
  EXPECT_TRUE(std::filesystem::exists(dir / "data/Trash/info/undo.txt.trashinfo"));
  EXPECT_FALSE(std::filesystem::exists(dir / "data/Trash/files/final.txt"));
}

TEST(ZavOzerizHelpers, CheckDriveOnRootsThatAreNoDrives) {
  TZavOzeriz zip(nullptr);
  const struct {
    const char* root;
    int resId;
    const char* message; // nullptr: not checked
  } cases[] = {{"1:\\", 11003, "Not a valid drive: 1:\\"}, {"/no/such/volume/", 11004, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.root);
    zip.SetSpanDrive(c.root, true);
    try {
      zip.CheckDrive();
      ADD_FAILURE() << "no exception";
    } catch (const EZavOzeriz& e) {
      EXPECT_EQ(e.ResId, c.resId);
      if (c.message) {
        EXPECT_EQ(e.Message(), c.message);
      }
    }
  }
  zip.SetSpanDrive("/", true);
  EXPECT_TRUE(zip.CheckDrive());
  EXPECT_NE(zip.VolumeSize(), UnknownSize);
  EXPECT_EQ(zip.VolumeLabelText(), "");
}

TEST(ZavOzerizHelpers, CheckDriveReadsSimulatedDisks) {
  kvtest::TempDir dir;
  auto sim = std::make_unique<pf::SimulatedVolumes>();
  auto* v = sim.get();
  const std::string drive = (dir / "a").string() + "/";
  v->addDrive(drive);
  v->addDisk("d", 1000, "PKBACK# 002");
  auto old = pf::setVolumes(std::move(sim));
  TZavOzeriz zip(nullptr);
  zip.SetSpanDrive(drive, false);
  EXPECT_FALSE(zip.CheckDrive()); // no disk in the drive
  zip.SetAddOptions({AddOptsEnum::AddDiskSpanErase});
  EXPECT_TRUE(zip.CheckDrive()); // to be formatted
  ASSERT_TRUE(v->insert(drive, "d"));
  kvtest::writeFile(drive + "f.bin", std::string(300, 'x'));
  EXPECT_TRUE(zip.CheckDrive());
  EXPECT_EQ(zip.VolumeLabelText(), "PKBACK# 002");
  EXPECT_EQ(zip.VolumeSize(), 1000u);
  EXPECT_EQ(zip.VolumeFree(), 700u);
  v->eject(drive);
  pf::setVolumes(std::move(old));
}

TEST(ZavOzerizHelpers, WriteCheckedRaisesItsIdAndReportsProgress) {
  kvtest::TempDir dir;
  TZavOzeriz zip(nullptr);
  std::vector<uint32_t> progress;
  zip.OnProgress.Bind([&](pf::TObject*, ProgressType t, const std::string&, uint32_t n) {
    EXPECT_EQ(t, ProgressType::ProgressUpdate);
    progress.push_back(n);
  });
  zip.SpanOutHandle = pf::fileCreate((dir / "out.bin").string());
  zip.WriteChecked("abc", 3, 11010);
  zip.SpanProgress = true;
  zip.WriteChecked("defg", 4, 11010);
  pf::fileClose(zip.SpanOutHandle);
  zip.SpanOutHandle = pf::InvalidFile;
  EXPECT_EQ(progress, std::vector<uint32_t>{4});
  EXPECT_EQ(kvtest::readFile(dir / "out.bin"), "abcdefg");
  try {
    zip.WriteChecked("x", 1, 11029);
    FAIL();
  } catch (const EZavOzeriz& e) {
    EXPECT_EQ(e.ResId, 11029);
  }
}
