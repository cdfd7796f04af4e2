// Joining spanned sets: sets split by zip, sets cut through their records, labelled sets
// on simulated disks with the operator's prompts, and the failures of a broken set.
#include "SpanTestSupport.h"

#include "Platform/Files/Files.h"
#include "ZipFormat/ZipRecords.h"

using namespace spantest;
using archivetest::Recorder;
namespace mb = kv::platform::mb;
namespace id = kv::platform::id;

namespace {

// Copies the named fixture files into dir.
void copyFixtures(const fs::path& dir, std::initializer_list<const char*> names) {
  for (const char* n : names)
    fs::copy_file(fixture(n), dir / n);
}

std::string unzipped(const std::string& zip, const std::string& member) {
  return kvtest::run("unzip -p " + kvtest::shellQuote(zip) + " " + kvtest::shellQuote(member)).out;
}

} // namespace

TEST(SpanRead, JoinsASetSplitByZipIntoAnArchiveUnzipAccepts) {
  if (!kvtest::haveTool("unzip")) GTEST_SKIP() << "unzip needed";
  kvtest::TempDir dir;
  copyFixtures(dir.path(), {"zipsplit.z01", "zipsplit.z02", "zipsplit.z03", "zipsplit.zip"});
  OperatorScope ops;
  TZavOzeriz zip(nullptr);
  zip.SetSpanOptions({SpanOptsEnum::spCompatName});
  Recorder rec(zip);
  std::string progress;
  uint64_t updated = 0, copies = 0;
  zip.OnProgress.Bind([&](pf::TObject*, ProgressType t, const std::string&, uint32_t n) {
    const std::string count = std::to_string(n);
    switch (t) {
    case ProgressType::TotalFiles2Process:
      progress += "files " + count + "\n";
      break;
    case ProgressType::TotalSize2Process:
      progress += "total " + count + "\n";
      break;
    case ProgressType::NewFile:
      progress += "member " + count + "\n", copies += n;
      break;
    case ProgressType::ProgressUpdate:
      updated += n;
      break;
    case ProgressType::EndOfBatch:
      progress += "end\n";
      break;
    }
  });
  std::string out = (dir / "whole").string();
  ASSERT_EQ(zip.ReadSpan((dir / "zipsplit.zip").string(), out), 0) << zip.LastMessage();
  EXPECT_EQ(out, (dir / "whole.zip").string());
  // The totals, from zip's own join of the set read by Python: the members, then the lengths of
  // their names, extra fields, comments and packed data in the directory; each member's copy is
  // its local header, name, extra field and data; every byte copied is reported.
  ASSERT_EQ(kvtest::run("cd " + kvtest::shellQuote(dir.str()) + " && zip -q -s 0 zipsplit.zip --out peer.zip")
                .exitCode,
            0);
  const auto peer = kvtest::run(
      kvtest::systemPython() + " -c " +
      kvtest::shellQuote(
          "import struct, sys, zipfile\n"
          "z = zipfile.ZipFile(sys.argv[1]); d = open(sys.argv[1], 'rb').read(); m = z.infolist()\n"
          "print('files', len(m))\n"
          "print('total', sum(len(i.orig_filename) + len(i.extra) + len(i.comment) + "
          "i.compress_size for i in m))\n"
          "for i in m:\n"
          "  n, e = struct.unpack('<HH', d[i.header_offset + 26:i.header_offset + 30])\n"
          "  print('member', 30 + n + e + i.compress_size + (16 if i.flag_bits & 8 else 0))\n"
          "print('end')\n") +
      " " + kvtest::shellQuote((dir / "peer.zip").string()));
  ASSERT_EQ(peer.exitCode, 0) << peer.err;
  EXPECT_EQ(progress, peer.out);
  EXPECT_EQ(updated, copies);
  EXPECT_TRUE(unzipAccepts(out));
  const auto py = kvtest::run(kvtest::systemPython() + " -m zipfile -t " + kvtest::shellQuote(out));
  EXPECT_EQ(py.exitCode, 0) << py.out << py.err;
  const fs::path src = fs::path(fixture("src"));
  EXPECT_EQ(unzipped(out, "noise.bin"), kvtest::readFile(src / "noise.bin"));
  EXPECT_EQ(unzipped(out, "case/a.txt"), kvtest::readFile(src / "case/a.txt"));
  EXPECT_EQ(unzipped(out, "case/A.TXT"), kvtest::readFile(src / "case/A.TXT"));
  std::vector<std::string> copying;
  for (const auto& m : rec.messages)
    copying.push_back(m.text);
  EXPECT_EQ(copying, (std::vector<std::string>{"Copying: noise.bin", "Copying: lines.txt",
                                               "Copying: case\\a.txt", "Copying: case\\A.TXT"}));
  EXPECT_FALSE(zip.SpanReadBusy());
}

TEST(SpanRead, RecordsCutBetweenPartsAreReadWhole) {
  // One cut inside a local header, one inside the central directory.
  kvtest::TempDir dir;
  copyFixtures(dir.path(), {"cut.z01", "cut.z02", "cut.zip"});
  OperatorScope ops;
  TZavOzeriz zip(nullptr);
  zip.SetSpanOptions({SpanOptsEnum::spCompatName});
  std::string out = (dir / "joined.zip").string();
  ASSERT_EQ(zip.ReadSpan((dir / "cut.zip").string(), out), 0) << zip.LastMessage();
  EXPECT_EQ(kvtest::readFile(out), kvtest::readFile(fixture("py_plain.zip")));
}

TEST(SpanRead, NamesOfTheJoinedFile) {
  kvtest::TempDir dir, temp;
  OperatorScope ops;
  TZavOzeriz zip(nullptr);
  zip.SetMaxVolumeSize(30000);
  zip.SetMinFreeVolumeSize(1);
  zip.SetHowToDelete(DeleteOpts::htdFinal);
  ASSERT_EQ(zip.WriteSpan(fixture("py_plain.zip"), (dir / "S.zip").string()), 0);
  const std::string last = (dir / "S002.zip").string();

  // A name with a file part: an older file of the joined name goes, the extension is .zip.
  kvtest::writeFile(dir / "joined.zip", "older");
  kvtest::writeFile(dir / "joined.dat", "other");
  std::string out = (dir / "joined.dat").string();
  ASSERT_EQ(zip.ReadSpan(last, out), 0);
  EXPECT_EQ(out, (dir / "joined.zip").string());
  EXPECT_EQ(kvtest::readFile(out), kvtest::readFile(fixture("py_plain.zip")));
  EXPECT_EQ(kvtest::readFile(dir / "joined.dat"), "other");

  // Without one: a new temporary file in TempDir.
  zip.SetTempDir(temp.str());
  out = dir.str() + "/";
  ASSERT_EQ(zip.ReadSpan(last, out), 0);
  EXPECT_EQ(fs::path(out).parent_path(), temp.path());
  EXPECT_EQ(fs::path(out).extension(), ".zip");
  EXPECT_EQ(kvtest::readFile(out), kvtest::readFile(fixture("py_plain.zip")));

  // Never over a part of the set itself.
  const std::string part1 = kvtest::readFile(dir / "S001.zip"), part2 = kvtest::readFile(last);
  for (std::string name : {last, (dir / "S001.zip").string()}) {
    ops->expect("Creation of output file failed", id::OK);
    EXPECT_EQ(zip.ReadSpan(last, name), -7);
    EXPECT_EQ(name, "");
  }
  EXPECT_EQ(kvtest::readFile(dir / "S001.zip"), part1);
  EXPECT_EQ(kvtest::readFile(last), part2);
}

TEST(SpanRead, BrokenSetsFailWithTheirIds) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> damage;
    int errCode;
  };
  // Rewrites one part of the set through edit.
  const auto editPart = [](const char* part, std::function<void(std::string&)> edit) {
    return [part, edit](const fs::path& d) {
      std::string p = kvtest::readFile(d / part);
      edit(p);
      kvtest::writeFile(d / part, p);
    };
  };
  // py_plain at 30000: parts of 30000, 11734; the second member's local header is in part 1.
  const Case cases[] = {
      {"missing part", [](const fs::path& d) { fs::remove(d / "S001.zip"); }, 11001},
      {"no marker", editPart("S001.zip", [](std::string& p) { p[2] = 'X'; }), 11031},
      {"local signature", editPart("S001.zip", [](std::string& p) { p[5] = 'X'; }), 11014},
      {"local header where the directory has none",
       editPart("S002.zip",
                [](std::string& p) {
                  // The directory puts the first member one byte behind its header.
                  const size_t at = p.find(std::string("PK\x01\x02", 4));
                  auto* off = reinterpret_cast<uint8_t*>(p.data()) + at + 42;
                  ZipRecords::putU32(off, ZipRecords::getU32(off) + 1);
                }),
       11026},
      {"part cut short", editPart("S001.zip", [](std::string& p) { p.resize(p.size() - 5000); }),
       11021}, // the data runs on into the next part and past the end of the set
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kvtest::TempDir dir;
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetMaxVolumeSize(30000);
    zip.SetMinFreeVolumeSize(1);
    ASSERT_EQ(zip.WriteSpan(fixture("py_plain.zip"), (dir / "S.zip").string()), 0);
    c.damage(dir.path());
    zip.SetUnattended(true);
    Recorder rec(zip);
    // Into a name of the caller's and into a temporary file: no joined file stays either way.
    kvtest::TempDir temp;
    zip.SetTempDir(temp.str());
    for (std::string out : {(dir / "joined.zip").string(), dir.str() + "/"}) {
      EXPECT_EQ(zip.ReadSpan((dir / "S002.zip").string(), out), -7);
      EXPECT_EQ(zip.ErrCode(), c.errCode);
      EXPECT_EQ(out, "");
      EXPECT_FALSE(fs::exists(dir / "joined.zip"));
      EXPECT_TRUE(filesIn(temp.path()).empty());
      EXPECT_FALSE(zip.SpanReadBusy());
    }
  }
}

// ---- removable disks

namespace {
// Writes archive onto fresh disks d1, d2, ... of the given capacity; returns the count.
int writeDisks(Drive& d, const std::string& archive, int capacity, int maxVolume = 0) {
  for (int i = 1; i <= 6; ++i)
    d.sim->addDisk("d" + std::to_string(i), static_cast<uint64_t>(capacity), "");
  d.sim.swap(d.root, "d1");
  TZavOzeriz zip(nullptr);
  zip.SetMinFreeVolumeSize(1);
  zip.SetMaxVolumeSize(maxVolume);
  zip.OnGetNextDisk.Bind([&](pf::TObject*, int seq, int, const std::string&, bool&) {
    d.sim.swap(d.root, "d" + std::to_string(seq));
  });
  EXPECT_EQ(zip.WriteSpan(fixture(archive), d.root + "KorvBak.zip"), 0) << zip.LastMessage();
  return zip.LastDisk() + 1;
}
} // namespace

TEST(SpanRead, LabelledDisksAreAskedForLastThenFromTheFirst) {
  Drive d;
  // Pick a volume size that puts the start of the central directory on the volume before
  // the last, so the disk holding it is asked for on its own.
  int disks = 0, cap = 0;
  for (cap = 41700; cap > 41200; cap -= 7) {
    Drive probe;
    disks = writeDisks(probe, "py_plain.zip", 100000, cap);
    probe.sim.swap(probe.root, "d" + std::to_string(disks));
    const std::string last = kvtest::readFile(probe.root + "KorvBak.zip");
    const auto* e = reinterpret_cast<const uint8_t*>(last.data()) + last.size() - 22 - 25;
    // The directory starts on the first disk and has entries on the second too.
    if (ZipRecords::getU32(e) == ZipRecords::EndCentralDirSig && ZipRecords::getU16(e + 6) + 1 != disks &&
        ZipRecords::getU16(e + 8) > 0)
      break;
  }
  ASSERT_GT(cap, 41200) << "no volume size splits the directory";
  ASSERT_EQ(writeDisks(d, "py_plain.zip", 100000, cap), 2);
  d.sim.swap(d.root, "d1");

  OperatorScope ops;
  const std::string inDrive = "\nin drive: " + d.root;
  const std::string last = "Please insert last disk" + inDrive;
  // The first disk is in: no end record there, so the last disk is asked for until it comes.
  ops->expect(last, id::OK, {}, mb::OKCANCEL | mb::ICONERROR);
  ops->expect(last, id::OK, [&] { d.sim.swap(d.root, "d2"); });
  // The directory starts on disk 1, then the entries from disk 1 on: the operator first
  // puts in a wrong disk, which changes nothing.
  ops->expect("Please insert disk volume 1 of 2" + inDrive, id::OK, [&] { d.sim.swap(d.root, "d1"); });
  ops->expect("Please insert disk volume 2 of 2" + inDrive, id::OK, [&] { d.sim.swap(d.root, "d2"); });
  ops->expect("Please insert disk volume 1 of 2" + inDrive, id::OK, [&] { d.sim.swap(d.root, "d3"); });
  ops->expect("Please insert disk volume 1 of 2" + inDrive, id::OK, [&] { d.sim.swap(d.root, "d1"); });
  ops->expect("Please insert disk volume 2 of 2" + inDrive, id::OK, [&] { d.sim.swap(d.root, "d2"); });
  TZavOzeriz zip(nullptr);
  std::string out = (d.dir / "joined.zip").string();
  ASSERT_EQ(zip.ReadSpan(d.root + "KorvBak.zip", out), 0) << zip.LastMessage();
  EXPECT_EQ(kvtest::readFile(out), kvtest::readFile(fixture("py_plain.zip")));
}

TEST(SpanRead, RemovableRefusalsEndTheJoin) {
  struct Case {
    const char* what;
    bool unattended;
    int answer;
    int errCode;
  };
  const Case cases[] = {{"cancelled", false, id::CANCEL, 11007}, {"unattended", true, 0, 11025}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Drive d;
    ASSERT_EQ(writeDisks(d, "py_plain.zip", 30000), 2);
    d.sim.swap(d.root, "d1");
    OperatorScope ops;
    if (!c.unattended) ops->expect("Please insert last disk\nin drive: " + d.root, c.answer);
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(c.unattended);
    Recorder rec(zip);
    std::string out = (d.dir / "joined.zip").string();
    EXPECT_EQ(zip.ReadSpan(d.root + "KorvBak.zip", out), -7);
    EXPECT_EQ(zip.ErrCode(), c.errCode);
    EXPECT_EQ(out, "");
    EXPECT_FALSE(fs::exists(d.dir / "joined.zip"));
  }
}

TEST(SpanRead, NumberedPartsOnRemovableDisks) {
  // With spNoVolumeName the disks carry no labels and the parts their numbers.
  Drive d;
  for (int i = 1; i <= 3; ++i)
    d.sim->addDisk("d" + std::to_string(i), 30000, "");
  d.sim.swap(d.root, "d1");
  TZavOzeriz zip(nullptr);
  zip.SetSpanOptions({SpanOptsEnum::spNoVolumeName});
  zip.SetMinFreeVolumeSize(1);
  auto swapTo = [&](pf::TObject*, int seq, int, const std::string&, bool&) {
    d.sim.swap(d.root, "d" + std::to_string(seq == 0 ? 2 : seq));
  };
  zip.OnGetNextDisk.Bind(swapTo);
  OperatorScope ops;
  ASSERT_EQ(zip.WriteSpan(fixture("py_plain.zip"), d.root + "KorvBak.zip"), 0) << zip.LastMessage();
  EXPECT_EQ(filesIn(d.root), std::vector<std::string>{"KorvBak002.zip"});
  EXPECT_EQ(*d.sim->label(d.root), "");
  d.sim.swap(d.root, "d1");
  EXPECT_EQ(filesIn(d.root), std::vector<std::string>{"KorvBak001.zip"});
  d.sim.swap(d.root, "d2");
  std::string out = (d.dir / "joined.zip").string();
  ASSERT_EQ(zip.ReadSpan(d.root + "KorvBak002.zip", out), 0) << zip.LastMessage();
  EXPECT_EQ(kvtest::readFile(out), kvtest::readFile(fixture("py_plain.zip")));
}
