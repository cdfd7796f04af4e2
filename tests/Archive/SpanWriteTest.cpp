// Spreading archives over volumes: part names and sizes, the joined set against the
// original byte for byte, the disk prompts, labels and questions on simulated removable
// disks, and that a failed write leaves the previous backup as it was.
#include "../Platform/Volumes/UDisksMock.h"
#include "SpanTestSupport.h"

#include "Archive/ZavOzerizSpan.h"
#include "Platform/Files/Files.h"
#include "Platform/PerfCounter/PerfCounter.h"
#include "ZipFormat/ZipRecords.h"

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

using namespace spantest;
using archivetest::Recorder;
namespace mb = kv::platform::mb;
namespace id = kv::platform::id;

namespace {

std::string partName(const fs::path& dir, const std::string& stem, int n, const std::string& ext = ".zip") {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03d", n);
  return (dir / (stem + digits + ext)).string();
}

// Joins the set whose last part is given and returns the joined bytes ("" on failure).
std::string joined(TZavOzeriz& zip, const std::string& lastPart, const fs::path& dir) {
  std::string out = (dir / "joined.zip").string();
  const int r = zip.ReadSpan(lastPart, out);
  EXPECT_EQ(r, 0) << zip.LastMessage();
  return r == 0 ? kvtest::readFile(out) : std::string();
}

} // namespace

TEST(SpanWrite, FixedDrivePartsHaveTheExpectedSizesAndJoinBackByteForByte) {
  struct Case {
    const char* archive;
    int cap; // MaxVolumeSize, 0 for none
  };
  // py_plain.zip at 41684: its directory over two parts; at 41730: its end record with the
  // comment moved whole to the second part.
  const Case cases[] = {{"zip_plain.zip", 0},    {"zip_plain.zip", 100000}, {"zip_plain.zip", 65536},
                        {"zip_plain.zip", 2000}, {"zip_stream.zip", 65536}, {"zip_stream.zip", 30011},
                        {"py_plain.zip", 0},     {"py_plain.zip", 30000},   {"py_plain.zip", 1111},
                        {"py_stream.zip", 7000}, {"hand_dd12.zip", 2000},   {"hand_dd12.zip", 0},
                        {"empty.zip", 0},        {"empty.zip", 40},         {"py_plain.zip", 41684},
                        {"py_plain.zip", 41730}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.archive) + " at " + std::to_string(c.cap));
    kvtest::TempDir dir;
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetMaxVolumeSize(c.cap);
    zip.SetMinFreeVolumeSize(1);
    const std::string original = kvtest::readFile(fixture(c.archive));
    ASSERT_EQ(zip.WriteSpan(fixture(c.archive), (dir / "KorvBak.zip").string()), 0) << zip.LastMessage();
    const SetLayout set = Fixtures::get().layout(c.archive, c.cap ? c.cap : INT32_MAX);
    const std::vector<int64_t>& expected = set.sizes;
    std::vector<std::string> names;
    for (size_t i = 0; i < expected.size(); ++i) {
      names.push_back(fs::path(partName(dir.path(), "KorvBak", static_cast<int>(i) + 1)).filename());
      EXPECT_EQ(pf::fileSizeByName(partName(dir.path(), "KorvBak", static_cast<int>(i) + 1)), expected[i])
          << "part " << i + 1;
    }
    EXPECT_EQ(filesIn(dir.path()), names); // nothing else, no temporary left behind
    EXPECT_EQ(zip.LastDisk(), static_cast<int>(expected.size()) - 1);
    EXPECT_EQ(zip.CurrentDisk(), zip.LastDisk());
    const std::string first = kvtest::readFile(partName(dir.path(), "KorvBak", 1));
    EXPECT_EQ(first.substr(0, 4), std::string("PK\x07\x08", 4));
    const std::string last = partName(dir.path(), "KorvBak", static_cast<int>(expected.size()));
    // The end record counts the central headers on its own part.
    const std::string lastBytes = kvtest::readFile(last);
    const auto* eoc = reinterpret_cast<const uint8_t*>(lastBytes.data()) + lastBytes.rfind("PK\x05\x06");
    EXPECT_EQ(ZipRecords::getU16(eoc + ZipRecords::EndOfCentralDir::CentralEntriesOnDisk), set.headersOnLast);
    EXPECT_EQ(joined(zip, last, dir.path()), original);
    // The directory reader finds every member through the last part.
    const auto count =
        kvtest::run(kvtest::systemPython() +
                    " -c 'import sys,zipfile; print(len(zipfile.ZipFile(sys.argv[1]).infolist()))' " +
                    kvtest::shellQuote(fixture(c.archive)));
    zip.SetUseDirOnlyEntries(true);
    zip.SetZipFileName(last);
    EXPECT_EQ(zip.ErrCode(), 0) << zip.LastMessage();
    EXPECT_EQ(std::to_string(zip.Count()) + "\n", count.out);
  }
}

TEST(SpanWrite, WorkListRefusesIndexesOutsideIt) {
  TMZipDataList list(3);
  EXPECT_NO_THROW(list.ItemAt(2));
  try {
    list.ItemAt(5);
    FAIL() << "no exception";
  } catch (const pf::Exception& e) {
    EXPECT_EQ(e.Message(), "Index (5) outside range 1..2");
  }
  EXPECT_THROW(list.ItemAt(-1), pf::EListError);
}

TEST(SpanWrite, AnEmptySetIsTheMarkerAndAnEndRecordThatPeersAccept) {
  kvtest::TempDir dir;
  OperatorScope ops;
  TZavOzeriz zip(nullptr);
  ASSERT_EQ(zip.WriteSpan(fixture("empty.zip"), (dir / "E.zip").string()), 0);
  const std::string part = kvtest::readFile(dir / "E001.zip");
  // marker, 22-byte record, "nothing inside"
  ASSERT_EQ(part.size(), 4u + 22 + 14);
  const auto* p = reinterpret_cast<const uint8_t*>(part.data()) + 4;
  EXPECT_EQ(ZipRecords::getU32(p), ZipRecords::EndCentralDirSig);
  EXPECT_EQ(ZipRecords::getU16(p + 4), 0);  // this disk
  EXPECT_EQ(ZipRecords::getU16(p + 6), 0);  // directory disk
  EXPECT_EQ(ZipRecords::getU32(p + 16), 0); // where the (empty) directory begins
  EXPECT_EQ(part.substr(26), "nothing inside");
  // unzip finds nothing to test, which it calls a warning (1), as for any empty archive.
  const std::string file = kvtest::shellQuote((dir / "E001.zip").string());
  const auto unzip = kvtest::run("unzip -t " + file + " 2>&1");
  EXPECT_LE(unzip.exitCode, 1) << unzip.out;
  EXPECT_EQ(unzip.out.find("error"), std::string::npos) << unzip.out;
  const auto sevenZip = kvtest::run("7z t " + file + " 2>&1");
  EXPECT_EQ(sevenZip.exitCode, 0) << sevenZip.out;
  // Our own reader, too, reads it without a word.
  zip.SetZipFileName((dir / "E001.zip").string());
  EXPECT_EQ(zip.ErrCode(), 0) << zip.LastMessage();
  EXPECT_EQ(zip.Count(), 0);
}

TEST(SpanWrite, ProgressAndCopyingLinesFollowTheMembers) {
  kvtest::TempDir dir;
  OperatorScope ops;
  TZavOzeriz zip(nullptr);
  Recorder rec(zip);
  std::vector<std::pair<ProgressType, uint32_t>> progress;
  uint64_t updated = 0;
  zip.OnProgress.Bind([&](pf::TObject*, ProgressType t, const std::string&, uint32_t n) {
    if (t == ProgressType::ProgressUpdate)
      updated += n;
    else
      progress.push_back({t, n});
  });
  ASSERT_EQ(zip.WriteSpan(fixture("hand_dd12.zip"), (dir / "P.zip").string()), 0);
  std::vector<std::string> texts;
  for (const auto& m : rec.messages)
    texts.push_back(m.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Copying: plain.txt", "Copying: deflated.txt",
                                             "Copying: Plain.TXT", "Copying: Central directory"}));
  ASSERT_EQ(progress.size(), 7u);
  EXPECT_EQ(progress[0], std::make_pair(ProgressType::TotalFiles2Process, 3u));
  EXPECT_EQ(progress[1].first, ProgressType::TotalSize2Process);
  EXPECT_EQ(progress[1].second, pf::fileSizeByName(fixture("hand_dd12.zip")));
  // header, name, stored data and a 12-byte descriptor
  EXPECT_EQ(progress[2], std::make_pair(ProgressType::NewFile, 30u + 9 + 13 * 40 + 12));
  EXPECT_EQ(progress[6], std::make_pair(ProgressType::EndOfBatch, 0u));
  // Every byte after the marker is reported as written.
  EXPECT_EQ(updated, static_cast<uint64_t>(pf::fileSizeByName(fixture("hand_dd12.zip"))));
}

TEST(SpanWrite, CompatNamesEndInTheTargetAndZipJoinsThem) {
  if (!kvtest::haveTool("zip") || !kvtest::haveTool("unzip")) GTEST_SKIP() << "zip and unzip needed";
  kvtest::TempDir dir;
  OperatorScope ops;
  TZavOzeriz zip(nullptr);
  zip.SetSpanOptions({SpanOptsEnum::spCompatName});
  // Debian's zip loses data joining any set (its own too) in which one member spans more
  // than two parts, so the volumes here are large enough for two.
  zip.SetMaxVolumeSize(100000);
  kvtest::writeFile(dir / "KorvBak.zip", "the older backup");
  ASSERT_EQ(zip.WriteSpan(fixture("zip_plain.zip"), (dir / "KorvBak.zip").string()), 0) << zip.LastMessage();
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"KorvBak.z01", "KorvBak.z02", "KorvBak.zip"}));
  const auto sizes = Fixtures::get().layout("zip_plain.zip", 100000).sizes;
  ASSERT_EQ(sizes.size(), 3u);
  EXPECT_EQ(pf::fileSizeByName((dir / "KorvBak.z01").string()), sizes[0]);
  EXPECT_EQ(pf::fileSizeByName((dir / "KorvBak.zip").string()), sizes[2]);
  const auto r = kvtest::run("cd " + kvtest::shellQuote(dir.str()) +
                             " && zip -q -s 0 KorvBak.zip --out whole.zip && unzip -tq whole.zip");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(joined(zip, (dir / "KorvBak.zip").string(), dir.path()),
            kvtest::readFile(fixture("zip_plain.zip")));
}

TEST(SpanWrite, AFailedOrCancelledWriteLeavesThePreviousBackup) {
  // An earlier backup of three parts, then a second one that fails inside its second part.
  kvtest::TempDir dir;
  const std::string target = (dir / "KorvBak.zip").string();
  {
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetMaxVolumeSize(100000);
    ASSERT_EQ(zip.WriteSpan(fixture("zip_plain.zip"), target), 0);
  }
  std::map<std::string, std::string> before;
  for (const auto& n : filesIn(dir.path()))
    before[n] = kvtest::readFile(dir / n);
  ASSERT_EQ(before.size(), 3u);
  auto unchanged = [&] {
    std::map<std::string, std::string> now;
    for (const auto& n : filesIn(dir.path()))
      now[n] = kvtest::readFile(dir / n);
    EXPECT_TRUE(now == before);
  };

  { // a write error half way through the second part
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetMaxVolumeSize(100000);
    Recorder rec(zip);
    ops->expect("There is already a file " + partName(dir.path(), "KorvBak", 1) +
                    "\nDo you want to overwrite this file",
                id::YES, {}, mb::YESNOCANCEL | mb::ICONWARNING | mb::DEFBUTTON2);
    ops->expect("There is already a file " + partName(dir.path(), "KorvBak", 2) +
                    "\nDo you want to overwrite this file",
                id::YES);
    ops->expect("Write error in output file", id::OK);
    // Writes fail half way through the second part.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    bool limited = false;
    zip.OnProgress.Bind([&](pf::TObject*, ProgressType, const std::string&, uint32_t) {
      if (zip.CurrentDisk() == 1 && !limited) {
        rlimit small = old;
        small.rlim_cur = 50000;
        setrlimit(RLIMIT_FSIZE, &small);
        limited = true;
      }
    });
    const int r = zip.WriteSpan(fixture("zip_plain.zip"), target);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(limited);
    EXPECT_EQ(r, -7);
    EXPECT_EQ(zip.ErrCode(), 11010);
    unchanged();
  }
  // The operator gives up at the second part, or the owner cancels half way through it.
  for (const bool byOwner : {false, true}) {
    SCOPED_TRACE(byOwner ? "cancelled by the owner" : "cancelled by the operator");
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetMaxVolumeSize(100000);
    ops->expect("There is already a file " + partName(dir.path(), "KorvBak", 1) +
                    "\nDo you want to overwrite this file",
                id::YES);
    ops->expect("There is already a file " + partName(dir.path(), "KorvBak", 2) +
                    "\nDo you want to overwrite this file",
                byOwner ? id::YES : id::CANCEL);
    zip.OnProgress.Bind([&](pf::TObject*, ProgressType, const std::string&, uint32_t) {
      if (byOwner && zip.CurrentDisk() == 1 && zip.PartBytesWritten() > 50000) zip.SetCallbackCancelled(true);
    });
    Recorder rec(zip);
    EXPECT_EQ(zip.WriteSpan(fixture("zip_plain.zip"), target), -7);
    EXPECT_EQ(zip.ErrCode(), 11007);
    ASSERT_FALSE(rec.messages.empty());
    EXPECT_EQ(rec.messages.back().errCodeArg, 11007); // reported, without a box
    unchanged();
  }
  { // the same with .zNN names: the older KorvBak.zip stays until the new set is complete
    kvtest::writeFile(dir / "KorvBak.zip", "older compat backup");
    before["KorvBak.zip"] = "older compat backup";
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetSpanOptions({SpanOptsEnum::spCompatName});
    zip.SetMaxVolumeSize(100000);
    kvtest::writeFile(dir / "KorvBak.z03", "in the way");
    before["KorvBak.z03"] = "in the way";
    ops->expect("There is already a file " + (dir / "KorvBak.z03").string() +
                    "\nDo you want to overwrite this file",
                id::CANCEL);
    EXPECT_EQ(zip.WriteSpan(fixture("zip_plain.zip"), target), -7);
    EXPECT_EQ(zip.ErrCode(), 11007);
    unchanged();
  }
}

TEST(SpanWrite, BlocksThatFitNoVolumeAndSetsBeyondThePartNumbersFail) {
  struct Case {
    const char* archive;
    int cap;
    bool compat;
  };
  // A local header with its name and extra field larger than a volume; more than 999
  // parts; more than 99 .zNN parts.
  const Case cases[] = {
      {"zip_plain.zip", 30, false}, {"zip_plain.zip", 100, false}, {"py_plain.zip", 400, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.cap));
    kvtest::TempDir dir;
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetMaxVolumeSize(c.cap);
    zip.SetMinFreeVolumeSize(0);
    if (c.compat) zip.SetSpanOptions({SpanOptsEnum::spCompatName});
    ops->expect("This disk has not enough free space available", id::OK);
    EXPECT_EQ(zip.WriteSpan(fixture(c.archive), (dir / "Big.zip").string()), -7);
    EXPECT_EQ(zip.ErrCode(), 11032);
    EXPECT_TRUE(filesIn(dir.path()).empty());
  }
}

// The names allow 999 numbered parts, or 99 with .zNN names (.z01 to .z98, then .zip): a set of
// exactly that many fits, one more part does not. By hand: a stored member "a" of n bytes from
// Python spans 4 + 31 + n + 47 + 22 bytes; at 100 bytes a volume, every part but the last is
// full and the last holds 80 bytes, the end of the data, the central header and the end record.
TEST(SpanWrite, SetsUpToThePartNumbersFit) {
  struct Case {
    int parts;
    bool compat;
    bool fits;
  };
  const Case cases[] = {{999, false, true}, {1000, false, false}, {99, true, true}, {100, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.parts) + (c.compat ? " .zNN" : ""));
    kvtest::TempDir dir;
    const int n = (c.parts - 1) * 100 + 80 - 104;
    ASSERT_EQ(
        kvtest::run(kvtest::systemPython() + " -c " +
                    kvtest::shellQuote("import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                       "  z.writestr('a', b'x' * int(sys.argv[2]))\n") +
                    " " + kvtest::shellQuote((dir / "in.zip").string()) + " " + std::to_string(n))
            .exitCode,
        0);
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetMaxVolumeSize(100);
    zip.SetMinFreeVolumeSize(0);
    zip.SetUnattended(true);
    if (c.compat) zip.SetSpanOptions({SpanOptsEnum::spCompatName});
    const fs::path target = dir / "out";
    fs::create_directories(target);
    const int r = zip.WriteSpan((dir / "in.zip").string(), (target / "Big.zip").string());
    if (!c.fits) {
      EXPECT_EQ(r, -7);
      EXPECT_EQ(zip.ErrCode(), 11032);
      EXPECT_TRUE(filesIn(target).empty());
      continue;
    }
    ASSERT_EQ(r, 0) << zip.LastMessage();
    EXPECT_EQ(zip.LastDisk() + 1, c.parts);
    const std::string last = c.compat ? (target / "Big.zip").string() : partName(target, "Big", c.parts);
    EXPECT_EQ(pf::fileSizeByName(last), 80);
    EXPECT_EQ(filesIn(target).size(), static_cast<size_t>(c.parts));
  }
}

TEST(SpanWrite, MatchesCentralAndLocalHeadersByPlaceNotByName) {
  // Names that differ only in case, and a name used twice, keep their own data.
  for (const char* archive : {"py_plain.zip", "py_stream.zip", "zip_plain.zip"}) {
    SCOPED_TRACE(archive);
    kvtest::TempDir dir;
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetMaxVolumeSize(9000);
    zip.SetMinFreeVolumeSize(1);
    ASSERT_EQ(zip.WriteSpan(fixture(archive), (dir / "C.zip").string()), 0);
    const std::string last = partName(dir.path(), "C", zip.LastDisk() + 1);
    const std::string whole = joined(zip, last, dir.path());
    EXPECT_EQ(whole, kvtest::readFile(fixture(archive)));
    EXPECT_TRUE(unzipAccepts((dir / "joined.zip").string()));
  }
}

// ---- removable disks

TEST(SpanWrite, RemovableDisksAreLabelledAndEachHoldsItsPartUnderTheTargetName) {
  Drive d;
  for (int i = 1; i <= 4; ++i)
    d.sim->addDisk("disk" + std::to_string(i), 80000, i == 1 ? "OLD" : "");
  d.sim.swap(d.root, "disk1");
  TZavOzeriz zip(nullptr);
  zip.SetMinFreeVolumeSize(1000);
  std::vector<std::string> asked;
  zip.OnGetNextDisk.Bind([&](pf::TObject*, int seq, int total, const std::string& drive, bool& abort) {
    asked.push_back(std::to_string(seq) + "/" + std::to_string(total) + " " + drive);
    d.sim.swap(d.root, "disk" + std::to_string(seq));
    abort = false;
  });
  OperatorScope ops;
  ASSERT_EQ(zip.WriteSpan(fixture("zip_plain.zip"), d.root + "KorvBak.zip"), 0) << zip.LastMessage();
  // 204409 + 4 bytes over disks of 80000: the estimate says three.
  EXPECT_EQ(asked, (std::vector<std::string>{"1/3 " + d.root, "2/3 " + d.root, "3/3 " + d.root}));
  EXPECT_EQ(zip.LastDisk(), 2);
  const auto sizes = Fixtures::get().layout("zip_plain.zip", 80000).sizes;
  ASSERT_EQ(sizes.size(), 3u);
  for (int i = 1; i <= 3; ++i) {
    d.sim.swap(d.root, "disk" + std::to_string(i));
    EXPECT_EQ(*d.sim->label(d.root), "PKBACK# 00" + std::to_string(i));
    EXPECT_EQ(filesIn(d.root), std::vector<std::string>{"KorvBak.zip"});
    EXPECT_EQ(pf::fileSizeByName(d.root + "KorvBak.zip"), sizes[i - 1]);
  }

  // Joined again from the disks, asked for in the order of the reading.
  asked.clear();
  d.sim.swap(d.root, "disk1");
  zip.OnGetNextDisk.Bind([&](pf::TObject*, int seq, int total, const std::string&, bool&) {
    asked.push_back(std::to_string(seq) + "/" + std::to_string(total));
    d.sim.swap(d.root, "disk" + std::to_string(seq == 0 ? 3 : seq));
  });
  std::string out = (d.dir / "joined.zip").string();
  ASSERT_EQ(zip.ReadSpan(d.root + "KorvBak.zip", out), 0) << zip.LastMessage();
  EXPECT_EQ(kvtest::readFile(out), kvtest::readFile(fixture("zip_plain.zip")));
  // The last disk (asked for without a number), then from the first on.
  EXPECT_EQ(asked, (std::vector<std::string>{"0/0", "1/3", "2/3", "3/3"}));
}

// Real removable volumes: the volume provider of the system, talking to the desktop's disk
// service, played here by a mock whose disks are folders.
TEST(SpanWrite, OnTheDiskServicesDisksEachPartIsLabelledOrTheRefusalSaysWhy) {
  const std::string refusal = "Not authorized to perform operation";
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "refused" : "labelled");
    kvtest::TempDir dir;
    kvtest::UDisksMock mock(dir.path(), {{"disk1", ""}, {"disk2", ""}, {"disk3", "OLD"}},
                            refused ? refusal : std::string());
    ASSERT_TRUE(mock.ready()) << mock.log();
    ASSERT_TRUE(mock.insert("disk1"));
    TZavOzeriz zip(nullptr);
    zip.SetMaxVolumeSize(80000);
    zip.SetMinFreeVolumeSize(1000);
    std::vector<std::string> asked;
    zip.OnGetNextDisk.Bind([&](pf::TObject*, int seq, int total, const std::string&, bool&) {
      asked.push_back(std::to_string(seq) + "/" + std::to_string(total));
      EXPECT_TRUE(mock.insert("disk" + std::to_string(seq == 0 ? 3 : seq)));
    });
    OperatorScope ops;
    Recorder rec(zip);
    const std::string target = mock.drive() + "KorvBak.zip";
    if (refused) {
      ops->expect("Volume label could not be set", id::OK);
      EXPECT_EQ(zip.WriteSpan(fixture("zip_plain.zip"), target), -7);
      EXPECT_EQ(zip.ErrCode(), 11005);
      // The service's reason, then the component's own message.
      ASSERT_GE(rec.messages.size(), 2u);
      EXPECT_NE(rec.messages[rec.messages.size() - 2].text.find(refusal), std::string::npos);
      EXPECT_EQ(rec.messages.back().errCodeArg, 11005);
      EXPECT_TRUE(filesIn(mock.drive()).empty());
      continue;
    }
    ASSERT_EQ(zip.WriteSpan(fixture("zip_plain.zip"), target), 0) << zip.LastMessage();
    const auto sizes = Fixtures::get().layout("zip_plain.zip", 80000).sizes;
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(asked, (std::vector<std::string>{"1/3", "2/3", "3/3"}));
    pf::RealVolumes volumes;
    for (int i = 1; i <= 3; ++i) {
      ASSERT_TRUE(mock.insert("disk" + std::to_string(i)));
      EXPECT_EQ(volumes.label(mock.drive()), "PKBACK# 00" + std::to_string(i));
      EXPECT_EQ(filesIn(mock.drive()), std::vector<std::string>{"KorvBak.zip"});
      EXPECT_EQ(pf::fileSizeByName(target), sizes[i - 1]);
    }
    // Joined again from the disks, found by their labels, starting with the first in the drive.
    ASSERT_TRUE(mock.insert("disk1"));
    asked.clear();
    std::string out = (dir / "joined.zip").string();
    ASSERT_EQ(zip.ReadSpan(target, out), 0) << zip.LastMessage();
    EXPECT_EQ(kvtest::readFile(out), kvtest::readFile(fixture("zip_plain.zip")));
    EXPECT_EQ(asked, (std::vector<std::string>{"0/0", "1/3", "2/3", "3/3"}));
  }
}

// Sticks as a desktop mounts them: each at a folder named after its label, so that no two
// disks of a labelled set share a root. The set goes on whatever stick is put in after the
// prompt, wherever it is mounted (or mounted through the disk service when nobody did); an
// empty drive at a prompt is not ready and the prompt comes again; the restore finds the
// disks the same way. A stick pulled during a write and a set with a disk missing end with
// the operator told, and the stick keeps its older part.
TEST(SpanWrite, SticksMountedAtFoldersOfTheirOwnCarryASetAndBringItBack) {
  using Mounting = kvtest::UDisksMock::Mounting;
  for (const Mounting mounting : {Mounting::ByLabel, Mounting::ByLabelOnRequest}) {
    SCOPED_TRACE(mounting == Mounting::ByLabel ? "mounted by the desktop" : "mounted on request");
    kvtest::TempDir dir;
    kvtest::UDisksMock mock(dir.path(), {{"s1", "STICK A"}, {"s2", ""}, {"s3", "OLD"}, {"blank", "BLANK"}},
                            {}, mounting);
    ASSERT_TRUE(mock.ready()) << mock.log();
    ASSERT_TRUE(mock.insert("s1"));
    const fs::path media = mock.media();
    // Where nobody mounts what is put in, the operator opens the stick first.
    auto open = [&](const std::string& label) {
      if (mounting == Mounting::ByLabelOnRequest) {
        EXPECT_EQ(pf::RealVolumes().volumeInDrive((media / "elsewhere").string() + "/"),
                  (media / label).string() + "/");
      }
    };
    open("STICK A");
    // The operator puts in the stick of the number asked for; the first time disk 2 is asked
    // for, the drive is left empty.
    std::vector<std::string> asked;
    bool leftEmpty = false;
    auto operatorAt = [&](TZavOzeriz& zip, std::function<std::string(int)> stick) {
      zip.OnGetNextDisk.Bind([&, stick](pf::TObject*, int seq, int total, const std::string&, bool& abort) {
        asked.push_back(std::to_string(seq) + "/" + std::to_string(total));
        const std::string name = stick(seq);
        if (name == "cancel") {
          abort = true;
        } else {
          EXPECT_TRUE(mock.insert(name));
        }
      });
    };
    {
      TZavOzeriz zip(nullptr);
      zip.SetMaxVolumeSize(80000);
      zip.SetMinFreeVolumeSize(1000);
      operatorAt(zip, [&](int seq) {
        if (seq == 2 && !leftEmpty) {
          leftEmpty = true;
          return std::string();
        }
        return "s" + std::to_string(seq);
      });
      OperatorScope ops;
      ASSERT_EQ(zip.WriteSpan(fixture("zip_plain.zip"), (media / "STICK A" / "KorvBak.zip").string()), 0)
          << zip.LastMessage();
      // An empty drive has no size to estimate the number of disks from.
      EXPECT_EQ(asked, (std::vector<std::string>{"1/3", "2/3", "2/2", "3/3"}));
    }
    // Each stick labelled, and mounted by that label next time, with its part under the name.
    const auto sizes = Fixtures::get().layout("zip_plain.zip", 80000).sizes;
    ASSERT_EQ(sizes.size(), 3u);
    for (int i = 1; i <= 3; ++i) {
      ASSERT_TRUE(mock.insert("s" + std::to_string(i)));
      const fs::path folder = media / ("PKBACK# 00" + std::to_string(i));
      EXPECT_EQ(fs::exists(folder), mounting == Mounting::ByLabel);
      open(folder.filename().string());
      EXPECT_EQ(filesIn(media), std::vector<std::string>{folder.filename().string()});
      EXPECT_EQ(filesIn(folder), std::vector<std::string>{"KorvBak.zip"});
      EXPECT_EQ(pf::fileSizeByName((folder / "KorvBak.zip").string()), sizes[i - 1]);
    }
    // The restore: the last stick is in; the others are asked for and found by their labels.
    const std::string last = (media / "PKBACK# 003" / "KorvBak.zip").string();
    std::string out = (dir / "joined.zip").string();
    {
      TZavOzeriz zip(nullptr);
      asked.clear();
      operatorAt(zip, [](int seq) { return "s" + std::to_string(seq); });
      OperatorScope ops;
      ASSERT_EQ(zip.ReadSpan(last, out), 0) << zip.LastMessage();
      EXPECT_EQ(kvtest::readFile(out), kvtest::readFile(fixture("zip_plain.zip")));
    }
    // A set with a disk missing: a stick without the part is no answer, and the operator
    // gives up at the prompt that comes again.
    {
      TZavOzeriz zip(nullptr);
      ASSERT_TRUE(mock.insert("s3"));
      open("PKBACK# 003");
      int askedForTwo = 0;
      operatorAt(zip, [&](int seq) {
        if (seq == 2) return std::string(++askedForTwo < 3 ? "blank" : "cancel");
        return "s" + std::to_string(seq);
      });
      OperatorScope ops;
      EXPECT_EQ(zip.ReadSpan(last, out), -7);
      EXPECT_EQ(zip.ErrCode(), 11007);
      EXPECT_EQ(askedForTwo, 3);
      EXPECT_EQ(out, "");
    }
    if (mounting == Mounting::ByLabelOnRequest) continue;
    // A stick pulled while its part is written: the part cannot take its name there, and
    // the stick still holds its older part.
    {
      ASSERT_TRUE(mock.insert("s1"));
      const std::string older2 = kvtest::readFile(mock.store("s2") / "KorvBak.zip");
      TZavOzeriz zip(nullptr);
      zip.SetMaxVolumeSize(80000);
      zip.SetMinFreeVolumeSize(1000);
      operatorAt(zip, [](int seq) { return "s" + std::to_string(seq); });
      zip.OnStatusDisk.Bind([](pf::TObject*, int, const std::string&, TZipDiskStatus, TZipDiskAction& a) {
        a = TZipDiskAction::zdaOk;
      });
      bool pulled = false;
      zip.OnProgress.Bind([&](pf::TObject*, ProgressType, const std::string&, uint32_t) {
        if (!pulled && zip.CurrentDisk() == 1 && zip.PartBytesWritten() > 20000) pulled = mock.insert("");
      });
      OperatorScope ops;
      ops->expect("Creation of output file failed", id::OK);
      EXPECT_EQ(zip.WriteSpan(fixture("zip_plain.zip"), (media / "PKBACK# 001" / "KorvBak.zip").string()),
                -7);
      EXPECT_TRUE(pulled);
      EXPECT_EQ(zip.ErrCode(), 11009);
      EXPECT_TRUE(kvtest::readFile(mock.store("s2") / "KorvBak.zip") == older2);
    }
  }
}

// An older part on the disk, the new part 50,000 bytes: an archive of one stored member of
// 49,888 bytes is 30 + 5 + 49,888 (local) + 46 + 5 (central) + 22 (end) = 49,996 bytes, and
// its part 4 bytes more for the span marker.
TEST(SpanWrite, AnOlderPartTheOperatorAgreedToOverwriteLendsItsRoom) {
  kvtest::TempDir fixtures;
  const std::string archive = (fixtures / "fifty.zip").string();
  const auto made = kvtest::run(
      kvtest::systemPython() + " -c " +
      kvtest::shellQuote("import sys, zipfile\n"
                         "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                         "    z.writestr('n.bin', bytes((i * 7919) % 251 for i in range(49888)))\n") +
      " " + kvtest::shellQuote(archive));
  ASSERT_EQ(made.exitCode, 0) << made.err;
  ASSERT_EQ(pf::fileSizeByName(archive), 49996);
  const bool root = geteuid() == 0;
  struct Case {
    const char* what;
    int64_t other, old; // bytes of another file and of the older part on the 100,000-byte disk
    bool realDisk;      // the drive is a file system of that size: both parts cannot be on it
    bool abortWrite;    // the owner stops the write half way
    std::vector<std::string> statuses;
    int result;
  };
  const Case cases[] = {
      {"overwrite agreed", 0, 90000, false, false, {"HasFiles+SameFileName"}, 0},
      {"write aborted", 0, 90000, false, true, {"HasFiles+SameFileName"}, -9},
      {"too small even then", 40000, 20000, false, false, {"HasFiles+SameFileName", "NotEnoughSpace"}, -7},
      {"disk without room for both", 0, 90000, true, false, {"HasFiles+SameFileName"}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.realDisk && !root) {
      std::cout << "[ SKIPPED  ] " << c.what << ": mounting a small file system needs root\n";
      continue;
    }
    kvtest::TempDir dir;
    const fs::path floppy = dir / "floppy";
    fs::create_directories(floppy);
    bool mounted = false;
    if (c.realDisk) {
      // A file system of its own, in a mount namespace of this process only.
      ASSERT_EQ(unshare(CLONE_NEWNS), 0);
      ASSERT_EQ(mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
      ASSERT_EQ(mount("tmpfs", floppy.c_str(), "tmpfs", 0, "size=100k"), 0);
      mounted = true;
    }
    {
      SimulatedScope sim;
      const std::string drive = sim.addDrive(floppy);
      sim->addDisk("one", 100000, "");
      sim.swap(drive, "one");
      const std::string target = drive + "KorvBak.zip";
      if (c.other) kvtest::writeFile(drive + "other.bin", std::string(size_t(c.other), 'x'));
      const std::string older(size_t(c.old), 'o');
      kvtest::writeFile(target, older);
      TZavOzeriz zip(nullptr);
      zip.OnGetNextDisk.Bind([](pf::TObject*, int, int, const std::string&, bool&) {});
      std::vector<std::string> seen;
      zip.OnStatusDisk.Bind([&](pf::TObject*, int, const std::string&, TZipDiskStatus s, TZipDiskAction& a) {
        seen.push_back(s.Contains(TZipDiskStatusEnum::zdsNotEnoughSpace) ? "NotEnoughSpace"
                                                                         : "HasFiles+SameFileName");
        a = seen.size() == 1 ? TZipDiskAction::zdaOk : TZipDiskAction::zdaCancel;
      });
      if (c.abortWrite) {
        zip.OnProgress.Bind([&](pf::TObject*, ProgressType t, const std::string&, uint32_t) {
          if (t == ProgressType::ProgressUpdate && zip.PartBytesWritten() > 20000)
            throw pf::Exception("stopped by its owner");
        });
      }
      OperatorScope ops;
      if (c.abortWrite)
        ops->expect("UnKnown error in function ReadSpan(), WriteSpan(), Rename() or CopyZippedFiles()\n"
                    "stopped by its owner",
                    id::OK);
      EXPECT_EQ(zip.WriteSpan(archive, target), c.result) << zip.LastMessage();
      EXPECT_EQ(seen, c.statuses);
      if (c.result == 0) {
        EXPECT_EQ(pf::fileSizeByName(target), 50000);
        EXPECT_TRUE(unzipAccepts(target));
        EXPECT_EQ(*sim->label(drive), "PKBACK# 001");
      } else {
        EXPECT_TRUE(kvtest::readFile(target) == older);
      }
      EXPECT_EQ(filesIn(drive).size(), c.other ? 2u : 1u); // no temporary left
    }
    if (mounted) {
      EXPECT_EQ(umount(floppy.c_str()), 0);
    }
  }
}

TEST(SpanWrite, DiskPromptsAndQuestionsAsTheOperatorSeesThem) {
  Drive d;
  d.sim->addDisk("one", 120000, "");
  d.sim->addDisk("two", 120000, "");
  d.sim->addDisk("three", 120000, "");
  d.sim.swap(d.root, "one");
  TZavOzeriz zip(nullptr);
  zip.SetMinFreeVolumeSize(1000);
  zip.SetKeepFreeOnDisk1(5000);
  zip.SetKeepFreeOnAllDisks(20000);
  zip.SetMaxVolumeSize(98000);
  OperatorScope ops;
  const std::string inDrive = "\nin drive: " + d.root;
  // (204409 + 4 + 5000) / min(120000 - 20000, 98000) gives 2: disks 1 to 3.
  ops->expect("Please insert disk volume 1 of 3" + inDrive, id::OK, {}, mb::OKCANCEL);
  // The operator leaves the first disk in: it holds a part of this set, from before.
  ops->expect("Please insert disk volume 2 of 3" + inDrive, id::OK);
  ops->expect("ATTENTION: This is previous disk no 1!!!\nAre you sure you want to overwrite the contents",
              id::NO, {}, mb::YESNOCANCEL | mb::ICONWARNING | mb::DEFBUTTON2);
  ops->expect("Please insert disk volume 2 of 3" + inDrive, id::OK, [&] { d.sim.swap(d.root, "two"); });
  ops->expect("Please insert disk volume 3 of 3" + inDrive, id::OK, [&] { d.sim.swap(d.root, "three"); });
  ASSERT_EQ(zip.WriteSpan(fixture("zip_plain.zip"), d.root + "KorvBak.zip"), 0) << zip.LastMessage();
  EXPECT_EQ(ops->captions.front(), pf::application().title());
  EXPECT_EQ(ops->captions[2], "Confirm");
  // The first part leaves room for KeepFreeOnDisk1 and KeepFreeOnAllDisks (95,000 bytes are
  // left), the others for KeepFreeOnAllDisks only, up to MaxVolumeSize.
  const auto sizes = Fixtures::get().layout("zip_plain.zip", 98000, 95000).sizes;
  ASSERT_EQ(sizes.size(), 3u);
  const char* disks[] = {"one", "two", "three"};
  for (size_t i = 0; i < 3; ++i) {
    d.sim.swap(d.root, disks[i]);
    EXPECT_EQ(pf::fileSizeByName(d.root + "KorvBak.zip"), sizes[i]) << disks[i];
  }
}

TEST(SpanWrite, StatusEventsForExistingPartsAndShortDisks) {
  struct Case {
    const char* what;
    std::string existing; // bytes of an older KorvBak.zip on the disk ("-" for none)
    int minFree;          // MinFreeVolumeSize
    std::vector<TZipDiskAction> answers;
    std::vector<std::string> statuses; // as seen by OnStatusDisk
    int result;
    // spNoVolumeName: numbered parts on a disk that still carries a label of another set,
    // and disks numbered from the volume, not from that label.
    bool numbered = false;
  };
  auto name = [](TZipDiskStatus s) {
    std::string out;
    const char* names[] = {"Empty", "HasFiles", "PreviousDisk", "SameFileName", "NotEnoughSpace"};
    for (int i = 0; i < 5; ++i)
      if (s.Contains(static_cast<TZipDiskStatusEnum>(i)))
        out += std::string(out.empty() ? "" : "+") + names[i];
    return out;
  };
  const Case cases[] = {
      {"other file", "not ours", 1000, {TZipDiskAction::zdaOk}, {"HasFiles+SameFileName"}, 0},
      {"empty file", "", 1000, {TZipDiskAction::zdaErase}, {"Empty+SameFileName"}, 0},
      {"cancelled", "x", 1000, {TZipDiskAction::zdaCancel}, {"HasFiles+SameFileName"}, -7},
      {"short disk",
       "-",
       500000,
       {TZipDiskAction::zdaReject, TZipDiskAction::zdaCancel},
       {"NotEnoughSpace", "NotEnoughSpace"},
       -7},
      {"short disk, numbered", "-", 500000, {TZipDiskAction::zdaCancel}, {"NotEnoughSpace"}, -7, true},
      {"other file, numbered", "not ours", 1000, {TZipDiskAction::zdaOk}, {"HasFiles+SameFileName"}, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Drive d;
    d.insertNew("one", 300000, c.numbered ? "PKBACK# 007" : "");
    const std::string part = d.root + (c.numbered ? "KorvBak001.zip" : "KorvBak.zip");
    if (c.existing != "-") kvtest::writeFile(part, c.existing);
    TZavOzeriz zip(nullptr);
    zip.SetMinFreeVolumeSize(c.minFree);
    if (c.numbered) zip.SetSpanOptions({SpanOptsEnum::spNoVolumeName});
    zip.OnGetNextDisk.Bind([](pf::TObject*, int, int, const std::string&, bool&) {});
    std::vector<std::string> seen;
    size_t next = 0;
    zip.OnStatusDisk.Bind(
        [&](pf::TObject*, int disk, const std::string& file, TZipDiskStatus s, TZipDiskAction& a) {
          EXPECT_EQ(disk, 1);
          EXPECT_EQ(file, part);
          seen.push_back(name(s));
          a = next < c.answers.size() ? c.answers[next++] : TZipDiskAction::zdaCancel;
        });
    OperatorScope ops;
    Recorder rec(zip);
    EXPECT_EQ(zip.WriteSpan(fixture("py_plain.zip"), d.root + "KorvBak.zip"), c.result);
    EXPECT_EQ(seen, c.statuses);
    if (c.result == 0) {
      EXPECT_EQ(kvtest::readFile(part).size(), pf::fileSizeByName(fixture("py_plain.zip")) + 4u);
    } else {
      EXPECT_EQ(zip.ErrCode(), 11007);
      EXPECT_EQ(c.existing == "-" ? std::vector<std::string>{}
                                  : std::vector{fs::path(part).filename().string()},
                filesIn(d.root));
      if (c.existing != "-") {
        EXPECT_EQ(kvtest::readFile(part), c.existing);
      }
    }
  }
}

TEST(SpanWrite, RefusalsAndUnattendedRunsEndWithTheirIds) {
  struct Case {
    const char* what;
    std::function<void(TZavOzeriz&, Drive&, OperatorDialogs&)> setup;
    int errCode;
  };
  const Case cases[] = {
      {"prompt aborted by the event",
       [](TZavOzeriz& z, Drive&, OperatorDialogs&) {
         z.OnGetNextDisk.Bind([](pf::TObject*, int, int, const std::string&, bool& abort) { abort = true; });
       },
       11007},
      {"prompt cancelled in the box",
       [](TZavOzeriz&, Drive& d, OperatorDialogs& o) {
         o.expect("Please insert disk volume 1 of 1\nin drive: " + d.root, id::CANCEL);
       },
       11007},
      {"box that cannot be shown",
       [](TZavOzeriz&, Drive& d, OperatorDialogs& o) {
         o.expect("Please insert disk volume 1 of 1\nin drive: " + d.root, 0);
         o.expect("Not enough memory to display MsgBox", id::OK);
       },
       11006},
      {"unattended", [](TZavOzeriz& z, Drive&, OperatorDialogs&) { z.SetUnattended(true); }, 11025},
      {"label refused",
       [](TZavOzeriz& z, Drive& d, OperatorDialogs& o) {
         d.sim->refuseLabels("one");
         z.OnGetNextDisk.Bind([](pf::TObject*, int, int, const std::string&, bool&) {});
         o.expect("Volume label could not be set", id::OK);
       },
       11005},
      {"free space below what is kept free",
       [](TZavOzeriz& z, Drive&, OperatorDialogs& o) {
         z.SetKeepFreeOnAllDisks(400000); // more than the disk holds
         z.SetMinFreeVolumeSize(0);
         z.OnGetNextDisk.Bind([](pf::TObject*, int, int, const std::string&, bool&) {});
         o.expect("This disk has not enough free space available", id::RETRY, {},
                  mb::RETRYCANCEL | mb::ICONERROR);
         o.expect("This disk has not enough free space available", id::CANCEL);
       },
       11007},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Drive d;
    d.insertNew("one", 300000, "");
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetMinFreeVolumeSize(1000);
    c.setup(zip, d, *ops.operator->());
    Recorder rec(zip);
    EXPECT_EQ(zip.WriteSpan(fixture("py_plain.zip"), d.root + "KorvBak.zip"), -7);
    EXPECT_EQ(zip.ErrCode(), c.errCode);
    ASSERT_FALSE(rec.messages.empty());
    EXPECT_EQ(rec.messages.back().errCodeArg, c.errCode);
    EXPECT_TRUE(filesIn(d.root).empty());
    EXPECT_FALSE(zip.SpanWriteBusy());
  }
}

TEST(SpanWrite, WipingAndFormattingADisk) {
  struct Case {
    const char* what;
    SpanOpts options;
    pf::FormatResult format;
    std::vector<std::pair<std::string, int>> boxes; // text and answer
    int result;
  };
  const Case cases[] = {
      {"erase confirmed", {SpanOptsEnum::spWipeFiles}, pf::FormatResult::Done, {{"Erase ", id::YES}}, 0},
      {"erase refused", {SpanOptsEnum::spWipeFiles}, pf::FormatResult::Done, {{"Erase ", id::NO}}, -7},
      {"formatted", {SpanOptsEnum::spWipeFiles, SpanOptsEnum::spTryFormat}, pf::FormatResult::Done, {}, 0},
      {"format failed",
       {SpanOptsEnum::spWipeFiles, SpanOptsEnum::spTryFormat},
       pf::FormatResult::Failed,
       {{"User canceled operation", id::OK}},
       -7},
      {"format cancelled",
       {SpanOptsEnum::spWipeFiles, SpanOptsEnum::spTryFormat},
       pf::FormatResult::Cancelled,
       {},
       -7},
      {"format not possible",
       {SpanOptsEnum::spWipeFiles, SpanOptsEnum::spTryFormat},
       pf::FormatResult::Refused,
       {{"Erase ", id::YES}},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Drive d;
    d.insertNew("one", 300000, "OLD LABEL");
    d.sim->setFormatAnswer(c.format);
    // Old files, a folder, and links to things outside the disk that must survive.
    kvtest::TempDir outside;
    kvtest::writeFile(outside / "keep.txt", "keep me");
    fs::create_directories(d.root + "sub/deeper");
    kvtest::writeFile(d.root + "sub/deeper/old.bin", "old");
    kvtest::writeFile(d.root + "old.txt", "old");
    fs::create_symlink(outside.path(), d.root + "sub/linkdir");
    fs::create_symlink(outside / "keep.txt", d.root + "linkfile");
    OperatorScope ops;
    ops->expect("Please insert disk volume 1 of 1\nin drive: " + d.root, id::OK);
    for (const auto& [text, answer] : c.boxes)
      ops->expect(text == "Erase " ? "Erase " + d.root : text, answer);
    TZavOzeriz zip(nullptr);
    zip.SetSpanOptions(c.options);
    zip.SetMinFreeVolumeSize(1000);
    zip.SetTrace(true);
    std::vector<std::string> trace;
    zip.OnMessage.Bind([&](pf::TObject*, int, const std::string& t) {
      if (t.starts_with("EraseFloopy")) trace.push_back(t);
    });
    EXPECT_EQ(zip.WriteSpan(fixture("py_plain.zip"), d.root + "KorvBak.zip"), c.result);
    EXPECT_EQ(kvtest::readFile(outside / "keep.txt"), "keep me");
    if (c.result == 0) {
      EXPECT_EQ(filesIn(d.root), std::vector<std::string>{"KorvBak.zip"});
      EXPECT_EQ(*d.sim->label(d.root), "PKBACK# 001");
    } else {
      EXPECT_TRUE(fs::exists(d.root + "old.txt"));
      EXPECT_FALSE(fs::exists(d.root + "KorvBak.zip"));
    }
    if (c.boxes.size() == 1 && c.boxes[0].second == id::YES) {
      std::sort(trace.begin(), trace.end());
      EXPECT_EQ(trace, (std::vector<std::string>{"EraseFloopy - Deleting " + d.root + "linkfile",
                                                 "EraseFloopy - Deleting " + d.root + "old.txt",
                                                 "EraseFloopy - Deleting " + d.root + "sub/deeper/old.bin",
                                                 "EraseFloopy - Deleting " + d.root + "sub/linkdir",
                                                 "EraseFloopy - Removing " + d.root + "sub/",
                                                 "EraseFloopy - Removing " + d.root + "sub/deeper/"}));
    }
  }
}

TEST(SpanWrite, AnUnformattedDiskIsFormattedBeforeItsPart) {
  Drive d;
  d.sim->addUnformattedDisk("raw", 300000);
  d.sim.swap(d.root, "raw");
  EXPECT_FALSE(fs::exists(d.root));
  OperatorScope ops;
  TZavOzeriz zip(nullptr);
  zip.SetAddOptions({AddOptsEnum::AddDiskSpan, AddOptsEnum::AddDiskSpanErase});
  zip.SetSpanOptions({SpanOptsEnum::spWipeFiles, SpanOptsEnum::spTryFormat});
  zip.SetMinFreeVolumeSize(1000);
  // Without a readable label the drive check counts the disk as ready to be formatted.
  ops->expect("Please insert disk volume 1\nin drive: " + d.root, id::OK);
  ASSERT_EQ(zip.WriteSpan(fixture("py_plain.zip"), d.root + "KorvBak.zip"), 0) << zip.LastMessage();
  EXPECT_EQ(d.sim->formatRequests(), 1);
  EXPECT_EQ(*d.sim->label(d.root), "PKBACK# 001");
  EXPECT_EQ(filesIn(d.root), std::vector<std::string>{"KorvBak.zip"});
}

TEST(SpanWrite, ErasingStaysOnTheRootOfARemovableVolume) {
  Drive d;
  d.insertNew("one", 300000, "");
  fs::create_directories(d.root + "sub");
  kvtest::writeFile(d.root + "sub/f.txt", "f");
  kvtest::TempDir fixed;
  kvtest::writeFile(fixed / "f.txt", "f");
  // Another disk mounted below the root of the first.
  const std::string inner = d.sim.addDrive(d.root + "mnt");
  d.sim->addDisk("two", 300000, "");
  d.sim.swap(inner, "two");
  kvtest::writeFile(inner + "g.txt", "g");
  TZavOzeriz zip(nullptr);
  zip.EraseFloopy(fixed.str() + "/"); // not removable
  zip.EraseFloopy(d.root + "sub/");   // not the root of the volume
  zip.EraseFloopy("/");               // neither
  EXPECT_TRUE(fs::exists(fixed / "f.txt"));
  EXPECT_TRUE(fs::exists(d.root + "sub/f.txt"));
  zip.EraseFloopy(d.root);
  EXPECT_EQ(filesIn(d.root), std::vector<std::string>{"mnt"});
  EXPECT_EQ(kvtest::readFile(inner + "g.txt"), "g");
  d.sim->eject(inner); // before the disk around it
  EXPECT_EQ(zip.ShellFormatDrive(0, fixed.str()), -3);
  EXPECT_EQ(zip.ShellFormatDrive(0, d.root + "sub/"), -3);
}

// A nightly run into the name of the night before: on a fixed drive the older set goes
// without a question, its parts beyond the new set's last with it, but only those that carry
// the older set's date stamp.
TEST(SpanWrite, FixedDriveUnattendedReplacesTheOlderSetOfItsName) {
  kvtest::TempDir dir;
  const std::string target = (dir / "KorvBak.zip").string();
  for (const bool strayThird : {false, true}) {
    SCOPED_TRACE(strayThird ? "a third part of another set" : "three parts of one set");
    {
      OperatorScope ops;
      TZavOzeriz older(nullptr);
      older.SetMaxVolumeSize(100000);
      older.SetUnattended(true);
      ASSERT_EQ(older.WriteSpan(fixture("zip_plain.zip"), target), 0) << older.LastMessage();
    }
    ASSERT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"KorvBak001.zip", "KorvBak002.zip", "KorvBak003.zip"}));
    const fs::path third = dir / "KorvBak003.zip";
    if (strayThird) fs::last_write_time(third, fs::last_write_time(third) - std::chrono::hours(30));
    const std::string thirdBytes = kvtest::readFile(third);
    OperatorScope ops;
    TZavOzeriz zip(nullptr);
    zip.SetUnattended(true);
    ASSERT_EQ(zip.WriteSpan(fixture("py_plain.zip"), target), 0) << zip.LastMessage();
    if (strayThird) {
      EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"KorvBak001.zip", "KorvBak003.zip"}));
      EXPECT_TRUE(kvtest::readFile(third) == thirdBytes);
      fs::remove(third);
    } else {
      EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"KorvBak001.zip"});
    }
    kvtest::TempDir elsewhere;
    EXPECT_TRUE(joined(zip, (dir / "KorvBak001.zip").string(), elsewhere.path()) ==
                kvtest::readFile(fixture("py_plain.zip")));
  }
  OperatorScope ops;
  TZavOzeriz zip(nullptr);
  zip.SetUnattended(true);
  // No input, and no file part in the target: reported before anything is written.
  EXPECT_EQ(zip.WriteSpan((dir / "missing.zip").string(), (dir / "X.zip").string()), -7);
  EXPECT_EQ(zip.ErrCode(), 11001);
  EXPECT_EQ(zip.WriteSpan(fixture("py_plain.zip"), dir.str() + "/"), -7);
  EXPECT_EQ(zip.ErrCode(), 11009);
}

// A performance counter that moves on by the same step at every reading.
class SteppingClock : public pf::PerfCounterSource {
public:
  explicit SteppingClock(int64_t step) : step_(step) {}
  int64_t timeStamp() override { return now_; }
  std::optional<int64_t> frequency() override { return 1000000; }
  int64_t counter() override { return now_ += step_; }
  std::optional<int> threadPriority() override { return 0; }
  void setThreadPriority(int) override {}
  int timeCriticalPriority() const override { return 0; }

private:
  int64_t now_ = 1000000, step_;
};

// The owner's windows stay alive: pending messages run while pieces are written to parts and
// joined (at the first piece, then whenever the pace has passed, never at every piece when
// the copy is quicker than that), at the disk prompts and for every folder erased.
TEST(SpanWrite, PendingMessagesRunWhileSetsAreWrittenJoinedAndErased) {
  int runs = 0;
  const auto old = pf::setProcessMessagesHook([&] { ++runs; });
  kvtest::TempDir dir;
  const std::string set = (dir / "M.zip").string(), last = partName(dir.path(), "M", 3);
  Drive d;
  d.sim->addDisk("one", 300000, "");
  struct Case {
    const char* what;
    std::function<void(TZavOzeriz&)> run;
    int atLeast; // the 204,409 bytes of zip_plain.zip in pieces of 10,240: 20 and more
    int64_t clockStep = MessagePace; // µs between two readings of the clock
    int atMost = 1000000;
  };
  const Case cases[] = {
      {"writing parts",
       [&](TZavOzeriz& z) {
         z.SetMaxVolumeSize(100000);
         ASSERT_EQ(z.WriteSpan(fixture("zip_plain.zip"), set), 0);
       },
       20},
      {"writing parts quicker than the pace",
       [&](TZavOzeriz& z) {
         z.SetMaxVolumeSize(100000);
         ASSERT_EQ(z.WriteSpan(fixture("zip_plain.zip"), (dir / "Q.zip").string()), 0);
       },
       1, 0, 1},
      {"joining them",
       [&](TZavOzeriz& z) {
         std::string out = (dir / "joined.zip").string();
         ASSERT_EQ(z.ReadSpan(last, out), 0);
       },
       20},
      {"joining them quicker than the pace",
       [&](TZavOzeriz& z) {
         std::string out = (dir / "joined.zip").string();
         ASSERT_EQ(z.ReadSpan(last, out), 0);
       },
       1, MessagePace / 20, 3},
      {"asking for the last disk",
       [&](TZavOzeriz& z) {
         // The drive holds a disk without a set: the prompt comes before anything is copied.
         d.sim.swap(d.root, "one");
         z.OnGetNextDisk.Bind([&](pf::TObject*, int, int, const std::string&, bool& abort) {
           EXPECT_GE(runs, 1);
           abort = true;
         });
         std::string out = (dir / "joined.zip").string();
         OperatorScope ops;
         ops->expect("Zip file could not be opened", id::OK);
         EXPECT_EQ(z.ReadSpan(d.root + "KorvBak.zip", out), -7);
       },
       1},
      {"erasing a disk",
       [&](TZavOzeriz& z) {
         for (const char* sub : {"a", "b", "b/c"})
           fs::create_directories(d.root + sub);
         z.EraseFloopy(d.root);
         EXPECT_TRUE(filesIn(d.root).empty());
       },
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    runs = 0;
    pf::setPerfCounters(std::make_unique<SteppingClock>(c.clockStep));
    TZavOzeriz zip(nullptr);
    c.run(zip);
    pf::setPerfCounters(nullptr);
    EXPECT_GE(runs, c.atLeast);
    EXPECT_LE(runs, c.atMost);
  }
  pf::setProcessMessagesHook(old);
}
