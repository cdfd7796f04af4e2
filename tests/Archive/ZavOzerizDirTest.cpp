// Directory reading checked against Python's own reading of archives that zip, 7z and
// Python's zipfile wrote at test time.
#include "ArchiveTestSupport.h"
#include "MiniJson.h"

#include "Archive/ZipMessages.h"
#include "Platform/Volumes/Volumes.h"

#include <fstream>

using namespace ZavOzeriz;
using namespace archivetest;
namespace fs = std::filesystem;

namespace {

kvtest::TempDir* fixtures = nullptr;

std::string fx(const std::string& name) { return (fixtures->path() / name).string(); }

class DirReading : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    fixtures = new kvtest::TempDir("kvdir");
    const std::string d = kvtest::shellQuote(fixtures->str());
    const std::string py = kvtest::systemPython();
    const std::string src = (kvtest::sourceDir() / "tests/Archive").string();
    auto r = kvtest::run(py + " " + kvtest::shellQuote(src + "/make_fixtures.py") + " " + d);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = kvtest::run("cd " + d +
                    " && mkdir -p tree/docs tree/src && echo readme > tree/docs/readme.txt"
                    " && echo code > tree/src/main.c && echo note > tree/top.txt"
                    " && echo 'zip comment line' | zip -q -r -z zipr.zip tree"
                    " && for i in $(seq 40); do printf 'STUB-DATA-' ; done > stub.bin"
                    " && cat stub.bin zipr.zip > sfx_unshifted.zip && cp sfx_unshifted.zip sfx_shifted.zip"
                    " && zip -q -A sfx_shifted.zip"
                    " && 7z a -tzip -bd seven.zip tree >/dev/null"
                    " && mkdir -p utf && echo gruss > 'utf/Grüße.txt' && echo mark > 'utf/Ölmühle €.txt'"
                    " && 7z a -tzip -mcu=on -bd seven_utf8.zip utf >/dev/null"
                    " && zip -q -s 64k split.zip big.bin"
                    " && seq 1 1000 | zip -q zip64_end.zip -");
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  static void TearDownTestSuite() {
    delete fixtures;
    fixtures = nullptr;
  }

  static minijson::Value peer(const std::string& file, const std::string& codePage = "auto") {
    const std::string script = (kvtest::sourceDir() / "tests/Archive/peer_reading.py").string();
    auto r = kvtest::run(kvtest::systemPython() + " " + kvtest::shellQuote(script) + " " +
                         kvtest::shellQuote(file) + " " + codePage);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return minijson::parse(r.out);
  }
};

} // namespace

TEST_F(DirReading, EntriesCommentsWarningsAndDataStartAreThoseOfPython) {
  struct Row {
    const char* file;
    bool useDirOnly;
  };
  const Row rows[] = {
      {"zipr.zip", true},           {"zipr.zip", false},        {"seven.zip", true},
      {"descriptors.zip", true},    {"descriptors.zip", false}, {"codepage.zip", false},
      {"comment100.zip", false},    {"extra.zip", false},       {"sfx_shifted.zip", false},
      {"sfx_unshifted.zip", false}, {"padded.zip", false},      {"padded_dirty.zip", false},
      {"padded_long.zip", false},   {"garbage.zip", false},     {"eoc_only.zip", false},
      {"plain.zip", false},         {"utf8.zip", false},        {"seven_utf8.zip", false},
      {"comment65535.zip", false},  {"eoc_comment.zip", false}, {"zip64_end.zip", false},
      {"comment_nul.zip", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.file) + (row.useDirOnly ? " with directory entries" : ""));
    const auto want = peer(fx(row.file));
    TZavOzeriz zip(nullptr);
    Recorder rec(zip);
    zip.SetUnattended(true);
    zip.SetUseDirOnlyEntries(row.useDirOnly);
    zip.SetZipFileName(fx(row.file));

    std::vector<int> wantWarnings;
    for (const auto& w : want["warnings"].a)
      wantWarnings.push_back(static_cast<int>(w.n));
    EXPECT_EQ(rec.messageIds(), wantWarnings);
    EXPECT_EQ(zip.ErrCode(), wantWarnings.empty() ? 0 : wantWarnings.back());
    EXPECT_EQ(zip.GetZipFileName(), fx(row.file));
    EXPECT_EQ(rec.dirUpdates, 1);
    EXPECT_EQ(zip.ZipComment(), kvtest::unhex(want["comment"].s));
    EXPECT_EQ(zip.DataStart(), static_cast<uint32_t>(want["data_start"].n));
    EXPECT_EQ(zip.CentralDirStart(), want["cd_start"].n);

    // Kept entries: all with directory entries allowed, else those with a file part.
    std::vector<const minijson::Value*> kept;
    for (const auto& e : want["entries"].a) {
      const std::string name = kvtest::unhex(e["name"].s);
      if (row.useDirOnly || (!name.empty() && name.back() != '\\')) kept.push_back(&e);
    }
    ASSERT_EQ(zip.Count(), static_cast<int>(kept.size()));
    EXPECT_EQ(zip.DroppedEntries(), static_cast<int>(want["entries"].a.size() - kept.size()));
    for (int i = 0; i < zip.Count(); ++i) {
      const auto& e = *kept[static_cast<size_t>(i)];
      const ZipDirEntry& got = zip.ZipContents()[i];
      SCOPED_TRACE(got.FileName);
      EXPECT_EQ(got.FileName, kvtest::unhex(e["name"].s));
      EXPECT_EQ(got.FileComment, kvtest::unhex(e["comment"].s));
      EXPECT_EQ(got.MadeByVersion, e["made_by"].n);
      EXPECT_EQ(got.HostVersionNo, e["host"].n);
      EXPECT_EQ(got.VersionNeeded, e["needed"].n);
      EXPECT_EQ(got.Flag, e["flag"].n);
      EXPECT_EQ(got.Encrypted, (e["flag"].n & 1) != 0);
      EXPECT_EQ(got.CompressionMethod, e["method"].n);
      EXPECT_EQ(got.DateTime, static_cast<uint32_t>(e["datetime"].n));
      EXPECT_EQ(got.CRC32, static_cast<uint32_t>(e["crc"].n));
      EXPECT_EQ(got.CompressedSize, e["csize"].n);
      EXPECT_EQ(got.UncompressedSize, e["usize"].n);
      EXPECT_EQ(got.StartOnDisk, e["start_disk"].n);
      EXPECT_EQ(got.IntFileAttrib, e["int_attr"].n);
      EXPECT_EQ(got.ExtFileAttrib, static_cast<uint32_t>(e["ext_attr"].n));
      EXPECT_EQ(got.RelOffLocalHdr, static_cast<uint32_t>(e["rel_off"].n));
      EXPECT_EQ(std::string(got.ExtraData.begin(), got.ExtraData.end()), kvtest::unhex(e["extra"].s));
      EXPECT_EQ(rec.seqNos.at(static_cast<size_t>(i)), e["seq"].n);
    }
  }
}

TEST_F(DirReading, CodePageOptionsDecideWhichNamesAreConverted) {
  for (const char* file : {"codepage.zip", "utf8.zip"})
    for (auto [opt, name] :
         {std::pair{CodePageOpts::cpNone, "none"}, std::pair{CodePageOpts::cpOEM, "oem"}}) {
      SCOPED_TRACE(std::string(file) + " " + name);
      const auto want = peer(fx(file), name);
      TZavOzeriz zip(nullptr);
      zip.SetUnattended(true);
      zip.SetCodePage(opt);
      zip.SetZipFileName(fx(file));
      ASSERT_EQ(zip.Count(), static_cast<int>(want["entries"].a.size()));
      for (int i = 0; i < zip.Count(); ++i) {
        EXPECT_EQ(zip.ZipContents()[i].FileName,
                  kvtest::unhex(want["entries"].a[static_cast<size_t>(i)]["name"].s));
        EXPECT_EQ(zip.ZipContents()[i].FileComment,
                  kvtest::unhex(want["entries"].a[static_cast<size_t>(i)]["comment"].s));
      }
    }
  // By hand: OEM 0x81 is u with diaeresis; host 11 version 20 keeps the raw byte.
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetZipFileName(fx("codepage.zip"));
  EXPECT_EQ(zip.ZipContents()[0].FileName, "\xC3\xBC_fat.txt");
  EXPECT_EQ(zip.ZipContents()[1].FileName, "\x81_ntfs20.txt");
  // A name marked UTF-8 stays as it is, also from a FAT host.
  zip.SetZipFileName(fx("utf8.zip"));
  EXPECT_EQ(zip.ZipContents()[0].FileName, "Grüße\\Übersicht.txt");
}

TEST_F(DirReading, FailuresGiveTheirIdsAndClearTheFileName) {
  // Files broken in the ways a reader meets, each with the message it must give.
  auto plain = kvtest::readFile(fx("plain.zip"));
  const size_t eocAt = plain.size() - 22;
  const uint32_t cdSize =
      static_cast<uint8_t>(plain[eocAt + 12]) | (static_cast<uint8_t>(plain[eocAt + 13]) << 8);
  const size_t cdAt = eocAt - cdSize;
  auto patched = [&](size_t at, std::string bytes) {
    std::string s = plain;
    s.replace(at, bytes.size(), bytes);
    return s;
  };
  struct Row {
    const char* what;
    std::string bytes;
    std::vector<int> ids;
  };
  const Row rows[] = {
      {"random bytes", kvtest::readFile(fx("random.bin")), {11036}},
      {"shorter than an end record", std::string("PK\x05\x06", 4), {11036}},
      {"empty file", std::string(), {11036}},
      {"wrong central signature", patched(cdAt, "PK\x01\x09"), {11015}},
      {"more entries than there are", patched(eocAt + 10, std::string("\x02\x00", 2)), {11013}},
      {"name longer than the file", patched(cdAt + 28, std::string("\xFF\x7F", 2)), {11017}},
      {"extra field longer than the file", patched(cdAt + 30, std::string("\xFF\x7F", 2)), {10201}},
      {"comment longer than the file", patched(cdAt + 32, std::string("\xFF\x7F", 2)), {11022}},
      // A directory said to be larger than everything in front of the end record.
      {"directory start before the file",
       patched(eocAt + 12, std::string("\xFF\xFF\x00\x00", 4)),
       {10203, 10201}},
      {"directory offset past the file", patched(eocAt + 16, std::string("\xFF\xFF\xFF\x7F", 4)), {10203}},
  };
  kvtest::TempDir dir;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string file = (dir / "broken.zip").string();
    kvtest::writeFile(file, row.bytes);
    TZavOzeriz zip(nullptr);
    Recorder rec(zip);
    zip.SetUnattended(true);
    zip.SetZipFileName(file);
    EXPECT_EQ(rec.messageIds(), row.ids);
    EXPECT_EQ(zip.ErrCode(), row.ids.back());
    EXPECT_EQ(rec.dirUpdates, 1);
    if (row.ids.back() != 10203) {
      EXPECT_EQ(zip.GetZipFileName(), "");
      EXPECT_EQ(zip.Count(), 0);
      EXPECT_EQ(zip.DataStart(), 0u);
      EXPECT_EQ(rec.messages.back().errCodeArg, row.ids.back()); // errors reach OnMessage with their id
    }
  }
}

// Up to 65,535 members the classic end record holds every figure and the directory is read
// whole; past that, Python's zipfile leaves 0xFFFF there and the count in a Zip64 end record,
// and zip -fz leaves the directory's offset to one. Such archives are refused with one message
// before anything else is said (no structure warning, no seek error), never read short.
TEST_F(DirReading, Zip64DirectoriesAreRefusedWithOneMessageAndFullClassicOnesReadWhole) {
  kvtest::TempDir dir;
  const std::string many =
      kvtest::systemPython() + " " +
      kvtest::shellQuote((kvtest::sourceDir() / "tests/Archive/many_members.py").string());
  const struct {
    const char* command; // writes out.zip in dir
    int members;         // 0: refused
  } rows[] = {
      {" out.zip 65535", 65535},
      {" out.zip 65540", 0},
      {"seq 1 1000 > n.txt && zip -q -fz out.zip n.txt", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.command);
    const std::string file = (dir / "out.zip").string();
    fs::remove(file);
    const std::string command = row.command[0] == ' ' ? many + row.command : row.command;
    ASSERT_EQ(kvtest::run("cd " + kvtest::shellQuote(dir.str()) + " && " + command).exitCode, 0);
    TZavOzeriz zip(nullptr);
    Recorder rec(zip);
    zip.SetUnattended(true);
    zip.SetZipFileName(file);
    if (row.members) {
      EXPECT_TRUE(rec.messages.empty()) << rec.messages.front().text;
      ASSERT_EQ(zip.Count(), row.members);
      EXPECT_EQ(zip.ZipContents()[row.members - 1].FileName, std::to_string(row.members - 1));
    } else {
      ASSERT_EQ(rec.messageIds(), std::vector<int>{11036});
      EXPECT_EQ(rec.messages[0].text, ZipRecords::Zip64RefusedText);
      EXPECT_EQ(zip.Count(), 0);
      EXPECT_EQ(zip.GetZipFileName(), "");
    }
  }
}

TEST_F(DirReading, CommentReachingPastTheEndIsGarbageAndReadAsFarAsItGoes) {
  auto plain = kvtest::readFile(fx("comment100.zip"));
  plain.resize(plain.size() - 60); // the comment says 100 bytes, 40 are left
  kvtest::TempDir dir;
  kvtest::writeFile(dir / "cut.zip", plain);
  TZavOzeriz zip(nullptr);
  Recorder rec(zip);
  zip.SetUnattended(true);
  zip.SetZipFileName((dir / "cut.zip").string());
  EXPECT_EQ(rec.messageIds(), std::vector<int>{10204});
  EXPECT_EQ(zip.ZipComment(), std::string(40, 'C'));
  EXPECT_EQ(zip.Count(), 1);
  EXPECT_LE(zip.SpanInputSize(), zip.RealFileSize());
}

TEST_F(DirReading, PartsOfSpannedSets) {
  struct Row {
    const char* file;
    SpanOpts span;
    int id;
    const char* text;
  };
  const Row rows[] = {
      {"split.z01",
       {},
       11045,
       "This is the first file in a backup set,\nplease choose the last file of this set"},
      {"split.z02", {}, 11036, "This archive is not a valid Zip archive"},
      {"split.z02",
       {SpanOptsEnum::spCompatName},
       11038,
       "This is the 2th disk in a backup set,\nplease insert the last disk of this set"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    TZavOzeriz zip(nullptr);
    Recorder rec(zip);
    zip.SetUnattended(true);
    zip.SetSpanOptions(row.span);
    zip.SetZipFileName(fx(row.file));
    EXPECT_EQ(zip.ErrCode(), row.id);
    ASSERT_FALSE(rec.messages.empty());
    EXPECT_EQ(rec.messages.back().text, row.text);
    EXPECT_EQ(zip.GetZipFileName(), "");
  }
  // The last part of a set holds the directory, which names the one member.
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  zip.SetSpanOptions({SpanOptsEnum::spCompatName});
  zip.SetZipFileName(fx("split.zip"));
  EXPECT_EQ(zip.ErrCode(), 0);
  EXPECT_TRUE(zip.Spanned());
  EXPECT_EQ(zip.LastDisk(), 3);
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.ZipContents()[0].FileName, "big.bin");
  EXPECT_EQ(zip.ZipContents()[0].UncompressedSize, 200000u);
}

TEST_F(DirReading, FirstDiskOfALabelledSetAsksForTheLastDisk) {
  kvtest::TempDir dir;
  auto sim = std::make_unique<kv::platform::SimulatedVolumes>();
  auto* volumes = sim.get();
  const std::string drive = (dir / "floppy").string();
  volumes->addDrive(drive);
  volumes->addDisk("one", 1457664, "PKBACK# 001");
  ASSERT_TRUE(volumes->insert(drive, "one"));
  fs::copy_file(fx("split.z01"), drive + "/KorvBak.zip");
  auto old = kv::platform::setVolumes(std::move(sim));
  {
    ScriptedDialogsScope dialogs;
    dialogs->expectMessageBox(
        "This is the first disk in a backup set,\nplease insert the last disk of this set",
        kv::platform::id::OK);
    TZavOzeriz zip(nullptr);
    Recorder rec(zip);
    zip.SetZipFileName(drive + "/KorvBak.zip");
    EXPECT_EQ(zip.ErrCode(), 11037);
    EXPECT_EQ(zip.VolumeLabelText(), "PKBACK# 001");
    EXPECT_FALSE(zip.SpanOnFixedDrive());
  }
  volumes->eject(drive);
  kv::platform::setVolumes(std::move(old));
}

TEST_F(DirReading, MissingFileGivesAnEmptyDirectoryAndOneUpdate) {
  TZavOzeriz zip(nullptr);
  Recorder rec(zip);
  zip.SetZipFileName(fx("zipr.zip"));
  ASSERT_GT(zip.Count(), 0);
  rec.dirUpdates = 0;
  zip.SetZipFileName(fx("no-such.zip"));
  EXPECT_EQ(zip.Count(), 0);
  EXPECT_EQ(zip.ZipContents().Count(), 0);
  EXPECT_EQ(zip.ErrCode(), 0);
  EXPECT_EQ(rec.dirUpdates, 1);
  EXPECT_TRUE(rec.messages.empty());
}

// A handler that names another archive while one is read: the name set last is read, with its
// own OnDirUpdate, once the running read is over, also when that read fails.
TEST_F(DirReading, ANameSetDuringAReadIsReadAfterIt) {
  const struct {
    const char* label;
    const char* first;
    bool fromMessage; // set from OnMessage, else from the first OnNewName
    int firstCount;   // entries of the first read when its OnDirUpdate fires
  } rows[] = {{"from OnNewName of a read that succeeds", "zipr.zip", false, 3},
              {"from OnMessage of a read that fails", "random.bin", true, 0}};
  const auto want = peer(fx("plain.zip"));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    bool renamed = false;
    auto rename = [&] {
      if (renamed) return;
      renamed = true;
      zip.SetZipFileName(fx("seven.zip")); // named again at once: never read
      zip.SetZipFileName(fx("plain.zip"));
      EXPECT_EQ(zip.GetZipFileName(), fx("plain.zip"));
    };
    std::vector<int> counts;
    zip.OnDirUpdate.Bind([&](kv::platform::TObject*) { counts.push_back(zip.ZipContents().Count()); });
    if (row.fromMessage)
      zip.OnMessage.Bind([&](kv::platform::TObject*, int, const std::string&) { rename(); });
    else
      zip.OnNewName.Bind([&](kv::platform::TObject*, int, ZipDirEntry) { rename(); });
    zip.SetZipFileName(fx(row.first));
    EXPECT_EQ(counts, (std::vector<int>{row.firstCount, 1}));
    EXPECT_EQ(zip.GetZipFileName(), fx("plain.zip"));
    ASSERT_EQ(zip.Count(), 1);
    EXPECT_EQ(zip.ZipContents()[0].FileName, kvtest::unhex(want["entries"].a[0]["name"].s));
    EXPECT_EQ(zip.ErrCode(), 0);
    EXPECT_EQ(zip.WaitCursorLevel(), 0);
  }
}

TEST_F(DirReading, WarningIsShownInABoxUnlessUnattendedAndListReturnsIt) {
  ScriptedDialogsScope dialogs;
  dialogs->expectMessageBox("Warning - Garbage at the end of the zipfile!", kv::platform::id::OK);
  TZavOzeriz zip(nullptr);
  Recorder rec(zip);
  zip.SetZipFileName(fx("garbage.zip"));
  EXPECT_EQ(zip.ErrCode(), 10204);
  zip.SetUnattended(true);
  EXPECT_EQ(zip.List(), 10204);
  ASSERT_EQ(rec.messages.size(), 2u);
  EXPECT_EQ(rec.messages[0].errCodeArg, 0); // shown messages reach OnMessage with code 0
  EXPECT_EQ(zip.Count(), 1);
}

TEST_F(DirReading, ListInsideAnOperationIsRefused) {
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  std::vector<int> inner;
  zip.OnNewName.Bind([&](kv::platform::TObject*, int, ZipDirEntry) { inner.push_back(zip.List()); });
  EXPECT_EQ(zip.List(), 0); // no file name: an empty directory
  zip.SetZipFileName(fx("plain.zip"));
  EXPECT_EQ(inner, std::vector<int>{-255}); // also inside a read that setting the name started
  inner.clear();
  EXPECT_EQ(zip.List(), 0);
  EXPECT_EQ(inner, std::vector<int>{-255});
  EXPECT_EQ(zip.Count(), 1);
}

TEST_F(DirReading, AnOnMessageHandlerThatRaisesPassesToTheCaller) {
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  int updates = 0;
  zip.OnDirUpdate.Bind([&](kv::platform::TObject*) { ++updates; });
  zip.OnMessage.Bind(
      [](kv::platform::TObject*, int, const std::string&) { throw kv::platform::EAbort("stop"); });
  EXPECT_THROW(zip.SetZipFileName(fx("garbage.zip")), kv::platform::EAbort);
  EXPECT_EQ(updates, 1);
  EXPECT_EQ(zip.GetZipFileName(), "");
  EXPECT_EQ(zip.WaitCursorLevel(), 0);
}
