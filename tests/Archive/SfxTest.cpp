// Self-extractors: the header and trailer bytes against hand computation, archives made
// by Debian's zip turned into executables that unzip, Python's zipfile and our own
// directory reading still read, and back into the very same bytes; the stub's icon, the
// stub's location, the older header kinds, and damaged or hostile files.
#include "ArchiveTestSupport.h"
#include "MiniJson.h"

#include "Archive/ZavSFX.h"
#include "Archive/ZavSFXFormat.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Files/Files.h"
#include "Platform/Paths/Paths.h"
#include "ZipFormat/ZipRecords.h"

#include <cstring>
#include <filesystem>
#include <functional>

using archivetest::Recorder;
using archivetest::ScriptedDialogsScope;
using namespace ZavOzeriz;
using ZavSFX::TZavSFXSlave;
namespace pf = kv::platform;
namespace fmt = ZavSFXFormat;
namespace fs = std::filesystem;

namespace {

fs::path fixtures() { return kvtest::sourceDir() / "tests/Archive/sfx-fixtures"; }
std::string fixture(const std::string& name) { return (fixtures() / name).string(); }

minijson::Value peer(const std::string& kind, const fs::path& file) {
  const auto r = kvtest::run(kvtest::systemPython() + " " + kvtest::shellQuote(fixture("sfx_peer.py")) + " " +
                             kind + " " + kvtest::shellQuote(file.string()));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return minijson::Parser(r.out).parse();
}

uint32_t u32At(const std::string& b, size_t at) {
  return ZipRecords::getU32(reinterpret_cast<const uint8_t*>(b.data()) + at);
}

// A component that builds quietly and deletes for good, with its messages recorded.
struct Sfx {
  explicit Sfx(const std::string& stub = fixture("stub_plain.exe")) : rec(zip) {
    zip.SetUnattended(true);
    zip.SetHowToDelete(DeleteOpts::htdFinal);
    zip.SetSFXPath(stub);
  }
  TZavSFXBase& slave() { return *zip.GetSFXSlave(); }
  std::vector<int> ids() const { return rec.messageIds(); }
  TZavOzeriz zip{nullptr};
  Recorder rec;
};

// Three members made by Debian's zip, one stored and two deflated.
fs::path makeZip(const kvtest::TempDir& dir, const std::string& name = "data.zip") {
  kvtest::writeFile(dir / "a.txt", std::string(3000, 'a') + "end");
  static constexpr char kLooksLikeAnEnd[] = "\x00\x01\x02PK\x05\x06 not an end record";
  kvtest::writeFile(dir / "b.bin", std::string(kLooksLikeAnEnd, sizeof kLooksLikeAnEnd - 1));
  kvtest::writeFile(dir / "c.txt", "the third member\n");
  const auto r = kvtest::run("cd " + kvtest::shellQuote(dir.str()) + " && zip -q -X " + name +
                             " a.txt b.bin c.txt && zip -q -X -0 " + name + " b.bin");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return dir / name;
}

} // namespace

TEST(SfxFormat, HeaderAndTrailerBytesAreTheHandComputedOnes) {
  struct Case {
    fmt::HeaderValues v;
    std::string bytes; // header block, then the trailer
  };
  fmt::HeaderValues plain;
  plain.Caption = "Self-extracting Archive";
  fmt::HeaderValues full;
  full.Options = 0x0100 | 0x0001 | 0x0010;
  full.OverWrite = 1;
  full.Style = 0x24;
  full.Caption = "Cap";
  full.DefaultDir = "C:\\Dir";
  full.CommandLine = "run";
  full.Message = "Go?";
  fmt::HeaderValues empty;
  empty.OverWrite = 0;
  const Case cases[] = {
      // 18 + 23 = 41, rounded up to 44 = 0x2C; three padding zeros.
      {plain, std::string("\x44\x5A\x00\x01\x2C\x00\x00\x01\x02\x17\x00\x00\x00\x00\x00\x00\x00\x00", 18) +
                  "Self-extracting Archive" + std::string(3, '\0') +
                  std::string("\x44\x5A\x0A\x01\x2C\x00\x00\x00", 8)},
      // 18 + 3 + 6 + 3 + 3 = 33, rounded up to 36 = 0x24.
      {full, std::string("\x44\x5A\x00\x01\x24\x00\x11\x01\x01\x03\x06\x03\x00\x03\x24\x00\x00\x00", 18) +
                 "CapC:\\DirrunGo?" + std::string(3, '\0') +
                 std::string("\x44\x5A\x0A\x01\x24\x00\x00\x00", 8)},
      // 18 rounded up to 20.
      {empty, std::string("\x44\x5A\x00\x01\x14\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 18) +
                  std::string(2, '\0') + std::string("\x44\x5A\x0A\x01\x14\x00\x00\x00", 8)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.v.Caption);
    const auto h = fmt::BuildHeader(c.v);
    const auto t = fmt::BuildTrailer(fmt::HeaderSize(c.v));
    std::string got(h.begin(), h.end());
    got.append(t.begin(), t.end());
    EXPECT_EQ(kvtest::hexOf(got), kvtest::hexOf(c.bytes));
    // And the reader takes it back.
    const auto p = fmt::ParseHeader(h);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->Complete);
    EXPECT_EQ(*p->Caption, c.v.Caption);
    EXPECT_EQ(*p->DefaultDir, c.v.DefaultDir);
    EXPECT_EQ(*p->CommandLine, c.v.CommandLine);
    EXPECT_EQ(*p->Message, c.v.Message);
  }
  fmt::HeaderValues tooLong;
  tooLong.Message = std::string(256, 'm');
  EXPECT_THROW(fmt::BuildHeader(tooLong), std::length_error);
}

TEST(SfxBuilder, PreparedHeaderValuesFollowTheProperties) {
  struct Case {
    SFXOpts options;
    OvrOpts overwrite;
    std::string message;
    uint16_t bits;
    uint8_t ovr;
    uint32_t style;
    std::string headerMessage;
  };
  using E = SFXOptsEnum;
  const std::string question = "Install now?"; // 12 characters
  const Case cases[] = {
      {{E::SFXAutoRun, E::SFXCheckSize}, OvrOpts::OvrConfirm, "", 0x0108, 2, 0, ""},
      {{E::SFXCheckSize}, OvrOpts::OvrAlways, "\x01Hello", 0x0100, 0, 0x41, "Hello"},
      {{E::SFXAskCmdLine, E::SFXAskFiles, E::SFXHideOverWriteBox, E::SFXNoSuccessMsg},
       OvrOpts::OvrNever,
       "\x02" + question,
       0x0117,
       1,
       0x24,
       question},
      {{}, OvrOpts::OvrConfirm, "\x03plain", 0x0100, 2, 0, "\x03plain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    kvtest::TempDir dir;
    Sfx s;
    s.zip.SetSFXOptions(c.options);
    s.zip.SetSFXOverWriteMode(c.overwrite);
    s.zip.SetSFXMessage(c.message);
    const std::string exe = (dir / "new.exe").string();
    ASSERT_EQ(s.zip.CreateEmptySFX(exe), 0) << s.zip.LastMessage();
    auto& slave = dynamic_cast<TZavSFXSlave&>(s.slave());
    EXPECT_EQ(slave.HeaderOptions(), c.bits);
    EXPECT_EQ(slave.HeaderOverWrite(), c.ovr);
    EXPECT_EQ(slave.HeaderStyle(), c.style);
    EXPECT_EQ(slave.HeaderMessage(), c.headerMessage);
    // In the file: options at 6, overwrite at 8, message length at 13, style at 14.
    const std::string b = kvtest::readFile(exe);
    const size_t h0 = pf::fileSizeByName(fixture("stub_plain.exe"));
    EXPECT_EQ(ZipRecords::getU16(reinterpret_cast<const uint8_t*>(b.data()) + h0 + 6), c.bits);
    EXPECT_EQ(static_cast<uint8_t>(b[h0 + 8]), c.ovr);
    EXPECT_EQ(static_cast<uint8_t>(b[h0 + 13]), c.headerMessage.size());
    EXPECT_EQ(u32At(b, h0 + 14), c.style);
  }
}

TEST(SfxBuilder, NewEmptyExecutableIsStubHeaderTrailerAndAnEmptyEndRecord) {
  kvtest::TempDir dir;
  std::string stub(100000, '\0');
  for (size_t i = 0; i < stub.size(); ++i)
    stub[i] = static_cast<char>(i * 31 + 7);
  kvtest::writeFile(dir / "big.bin", stub);
  Sfx s((dir / "big.bin").string());
  const std::string exe = (dir / "new.EXE").string();
  ASSERT_EQ(s.zip.CreateEmptySFX(exe), 0) << s.zip.LastMessage();
  const std::string b = kvtest::readFile(exe);
  ASSERT_EQ(b.size(), 100074u);
  EXPECT_EQ(b.substr(0, 100000), stub);
  EXPECT_EQ(u32At(b, 100000), 0x01005A44u);
  EXPECT_EQ(u32At(b, 100044), 0x010A5A44u);
  EXPECT_EQ(u32At(b, 100048), 44u);
  // The end record: the signature and the directory's offset, which is its own position.
  EXPECT_EQ(kvtest::hexOf(b.substr(100052)),
            kvtest::hexOf(std::string("PK\x05\x06", 4) + std::string(12, '\0') +
                          std::string("\xD4\x86\x01\x00\x00\x00", 6))); // 100052 = 0x186D4
  EXPECT_EQ(s.zip.GetZipFileName(), exe);
  EXPECT_EQ(s.zip.ErrCode(), 0);
  EXPECT_EQ(s.zip.Count(), 0);
  EXPECT_TRUE(s.rec.messages.empty());
  // Python's zipfile takes it as an empty archive, not a broken one.
  const auto view = peer("zip", exe);
  EXPECT_TRUE(view["ok"].b);
  EXPECT_TRUE(view["members"].a.empty());
  EXPECT_EQ(view["cd_offset"].n, 100052);
}

TEST(SfxBuilder, ZipMadeByZipBecomesAnExecutableThePeersReadAndTurnsBackIntoTheSameBytes) {
  struct Case {
    const char* stub;
    const char* comment; // archive comment given to zip, or nullptr
    bool strayByte;      // one byte between the directory and the end record, counted in its size
  };
  const Case cases[] = {{"stub_icon.exe", nullptr, false},
                        {"stub_plain.exe", "a comment of the archive", false},
                        {"stub_plain.exe", nullptr, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stub) + (c.strayByte ? ", stray byte" : ""));
    kvtest::TempDir dir;
    const fs::path zipFile = makeZip(dir, "Data.ZIP");
    if (c.comment) {
      ASSERT_EQ(kvtest::run("echo '" + std::string(c.comment) + "' | zip -q -z " +
                            kvtest::shellQuote(zipFile.string()))
                    .exitCode,
                0);
    }
    const std::string original = kvtest::readFile(zipFile);
    const auto before = peer("zip", zipFile);
    if (c.strayByte) {
      // It stays behind: the executable and the zip made back are the archive without it.
      std::string b = original;
      b.insert(b.size() - 22, 1, '\x5A');
      ZipRecords::putU32(reinterpret_cast<uint8_t*>(b.data()) + b.size() - 22 + 12,
                         u32At(b, b.size() - 22 + 12) + 1);
      kvtest::writeFile(zipFile, b);
    }
    Sfx s(fixture(c.stub));
    s.zip.SetSFXCaption("My Setup");
    s.zip.SetSFXDefaultDir("C:\\Program Files\\Korvalis");
    s.zip.SetSFXCommandLine("setup.exe /q");
    s.zip.SetSFXMessage("\x02Install Korvalis?");
    s.zip.SetSFXOptions({SFXOptsEnum::SFXAutoRun, SFXOptsEnum::SFXAskFiles});
    s.zip.SetSFXOverWriteMode(OvrOpts::OvrNever);
    s.zip.SetZipFileName(zipFile.string());
    ASSERT_EQ(s.zip.Count(), 3);
    ASSERT_EQ(s.slave().ConvertToSFX(&s.zip), 0) << s.zip.LastMessage();

    const fs::path exe = dir / "Data.exe";
    EXPECT_FALSE(fs::exists(zipFile)); // the input goes once the executable is complete
    ASSERT_TRUE(fs::exists(exe));
    EXPECT_EQ(s.zip.GetZipFileName(), exe.string());
    const int64_t stubSize = pf::fileSizeByName(fixture(c.stub));
    // 18 + 8 + 25 + 12 + 16 = 79 bytes of header, rounded up to 80.
    const int64_t shift = stubSize + 80 + 8;
    const std::string b = kvtest::readFile(exe);
    EXPECT_EQ(b.substr(0, stubSize), kvtest::readFile(fixture(c.stub)));
    EXPECT_EQ(u32At(b, stubSize + 80 + 4), 80u);

    // The peers: every offset moved by the pieces in front, the data unchanged.
    const auto after = peer("zip", exe);
    EXPECT_TRUE(after["ok"].b);
    EXPECT_EQ(after["cd_offset"].n, before["cd_offset"].n + shift);
    ASSERT_EQ(after["members"].a.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(after["members"].a[i].a[0].s, before["members"].a[i].a[0].s);
      EXPECT_EQ(after["members"].a[i].a[1].n, before["members"].a[i].a[1].n + shift);
      const std::string& name = before["members"].a[i].a[0].s;
      EXPECT_EQ(after["data"][name].s, before["data"][name].s);
    }
    // Local headers, names and data byte for byte where they were, moved by the shift.
    const int64_t cdOld = before["cd_offset"].n;
    EXPECT_EQ(b.substr(shift, cdOld), original.substr(0, cdOld));
    const auto t = kvtest::run("unzip -t " + kvtest::shellQuote(exe.string()));
    EXPECT_EQ(t.exitCode, 0) << t.out << t.err;
    EXPECT_NE(t.out.find("No errors detected"), std::string::npos) << t.out;

    // Our own reading: no structure warning, the offsets of the executable.
    EXPECT_EQ(s.zip.ErrCode(), 0);
    EXPECT_FALSE(s.zip.StructureWarning());
    ASSERT_EQ(s.zip.Count(), 3);
    EXPECT_EQ(s.zip.DataStart(), static_cast<uint32_t>(shift));
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(s.zip.ZipContents()[i].RelOffLocalHdr, before["members"].a[i].a[1].n + shift);
    EXPECT_EQ(s.slave().CheckZavSFX(&s.zip, exe.string()), 1);

    // Back: the same bytes as before, and the settings read from the header.
    s.zip.SetSFXCaption("other");
    s.zip.SetSFXDefaultDir("");
    s.zip.SetSFXCommandLine("x");
    s.zip.SetSFXMessage("");
    s.zip.SetSFXOptions({});
    s.zip.SetSFXOverWriteMode(OvrOpts::OvrAlways);
    ASSERT_EQ(s.slave().ConvertToZIP(&s.zip), 0) << s.zip.LastMessage();
    const fs::path back = dir / "Data.zip";
    EXPECT_FALSE(fs::exists(exe));
    EXPECT_EQ(s.zip.GetZipFileName(), back.string());
    EXPECT_EQ(kvtest::readFile(back), original);
    EXPECT_EQ(s.zip.GetSFXCaption(), "My Setup");
    EXPECT_EQ(s.zip.GetSFXDefaultDir(), "C:\\Program Files\\Korvalis");
    EXPECT_EQ(s.zip.GetSFXCommandLine(), "setup.exe /q");
    EXPECT_EQ(s.zip.GetSFXMessage(), "\x02Install Korvalis?");
    EXPECT_TRUE(s.zip.GetSFXOptions() ==
                SFXOpts({SFXOptsEnum::SFXAutoRun, SFXOptsEnum::SFXAskFiles, SFXOptsEnum::SFXCheckSize}));
    EXPECT_EQ(s.zip.GetSFXOverWriteMode(), OvrOpts::OvrNever);
    EXPECT_TRUE(s.rec.messages.empty());
  }
}

// Info-ZIP puts a Zip64 end record in front of the end record when it reads a member from a
// pipe. The executable made of such a zip, and the zip made back, keep the directory and the
// end record, which hold every figure; the peers read both, and so do we, without a warning.
TEST(SfxBuilder, AZipWithAZip64EndRecordBecomesAnExecutableAndBack) {
  kvtest::TempDir dir;
  const fs::path zipFile = dir / "Pipe.zip";
  ASSERT_EQ(kvtest::run("seq 1 1000 | zip -q " + kvtest::shellQuote(zipFile.string()) + " -").exitCode, 0);
  const auto before = peer("zip", zipFile);
  Sfx s;
  s.zip.SetZipFileName(zipFile.string());
  ASSERT_EQ(s.zip.Count(), 1);
  EXPECT_FALSE(s.zip.StructureWarning());
  auto readable = [&](const fs::path& made) {
    SCOPED_TRACE(made.filename().string());
    const auto after = peer("zip", made);
    EXPECT_TRUE(after["ok"].b);
    EXPECT_EQ(after["data"]["-"].s, before["data"]["-"].s);
    EXPECT_EQ(kvtest::run("unzip -tq " + kvtest::shellQuote(made.string())).exitCode, 0);
    EXPECT_EQ(s.zip.Count(), 1);
    EXPECT_FALSE(s.zip.StructureWarning());
  };
  ASSERT_EQ(s.slave().ConvertToSFX(&s.zip), 0) << s.zip.LastMessage();
  readable(dir / "Pipe.exe");
  ASSERT_EQ(s.slave().ConvertToZIP(&s.zip), 0) << s.zip.LastMessage();
  readable(dir / "Pipe.zip");
  EXPECT_TRUE(s.rec.messages.empty());
}

TEST(SfxBuilder, RefusedInputsGiveTheirResultsAndLeaveNoFileBehind) {
  using ZipRecords::putU16;
  struct Case {
    const char* what;
    std::function<std::string(const kvtest::TempDir&)> make; // the input zip's name
    int result;
    int message; // 0: none
    std::string text;
  };
  auto spanned = [](const kvtest::TempDir& d) {
    const fs::path z = makeZip(d, "span.zip");
    std::string b = kvtest::readFile(z);
    // The end record says it is on the second of two volumes.
    putU16(reinterpret_cast<uint8_t*>(b.data()) + b.size() - 22 + 4, 1);
    putU16(reinterpret_cast<uint8_t*>(b.data()) + b.size() - 22 + 6, 1);
    kvtest::writeFile(z, b);
    return z.string();
  };
  auto twoVolumes = [](const kvtest::TempDir& d) {
    const fs::path z = makeZip(d, "two.zip");
    std::string b = kvtest::readFile(z);
    putU16(reinterpret_cast<uint8_t*>(b.data()) + b.size() - 22 + 4, 1); // this disk 1, directory on 0
    kvtest::writeFile(z, b);
    return z.string();
  };
  auto onlyEnd = [](const kvtest::TempDir& d) {
    kvtest::writeFile(d / "end.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    return (d / "end.zip").string();
  };
  auto badCentral = [](const kvtest::TempDir& d) {
    const fs::path z = makeZip(d, "bad.zip");
    std::string b = kvtest::readFile(z);
    b[u32At(b, b.size() - 22 + 16) + 3] = 9; // the first central signature
    kvtest::writeFile(z, b);
    return z.string();
  };
  auto hugeDirectory = [](const kvtest::TempDir& d) {
    const fs::path z = makeZip(d, "huge.zip");
    std::string b = kvtest::readFile(z);
    ZipRecords::putU32(reinterpret_cast<uint8_t*>(b.data()) + b.size() - 22 + 12, 0xFFFFFF00u);
    kvtest::writeFile(z, b);
    return z.string();
  };
  auto zip64 = [](const kvtest::TempDir& d) {
    const std::string z = (d / "many.zip").string();
    const std::string script = (kvtest::sourceDir() / "tests/Archive/many_members.py").string();
    EXPECT_EQ(kvtest::run(kvtest::systemPython() + " " + kvtest::shellQuote(script) + " " +
                          kvtest::shellQuote(z) + " 65540")
                  .exitCode,
              0);
    return z;
  };
  auto missing = [](const kvtest::TempDir& d) { return (d / "none.zip").string(); };
  auto notZip = [](const kvtest::TempDir& d) {
    kvtest::writeFile(d / "data.rar", "x");
    return (d / "data.rar").string();
  };
  auto longTexts = [](const kvtest::TempDir& d) { return makeZip(d, "long.zip").string(); };
  const Case cases[] = {
      {"last part holding the whole directory", spanned, -101, 0, ""},
      {"two volumes", twoVolumes, -101, 0, ""},
      {"only an end record", onlyEnd, -102, 0, ""},
      {"broken central signature", badCentral, -102, 0, ""},
      {"directory larger than the file", hugeDirectory, -102, 0, ""},
      {"65,540 members, counted in a Zip64 end record", zip64, -9, 11036, ZipRecords::Zip64RefusedText},
      {"no input", missing, -9, 10102, "Error - no zip file specified!"},
      {"not .zip", notZip, -9, 10803, "Error: input file is not a zip file"},
      {"texts too long", longTexts, -9, 10801,
       "Error - On or more of the 4 property strings mentioned below exceeds 255 characters!\r\n"
       "SFXCaption, SFXDefaultDir"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kvtest::TempDir dir;
    const std::string input = c.make(dir);
    const std::string exe = pf::changeFileExt(input, ".exe");
    kvtest::writeFile(exe, "an older executable of that name");
    const std::string inputBytes = fs::exists(input) ? kvtest::readFile(input) : "";
    Sfx s;
    if (c.message == 10801) {
      s.zip.SetSFXCaption(std::string(256, 'c'));
      s.zip.SetSFXDefaultDir(std::string(300, 'd'));
      s.zip.SetSFXCommandLine(std::string(255, 'l')); // at the limit: not listed
    }
    // Designing: the name is taken without the directory read, which would refuse some.
    s.zip.SetDesigning(true);
    s.zip.SetZipFileName(input);
    EXPECT_EQ(s.slave().ConvertToSFX(&s.zip), c.result);
    if (c.message) {
      EXPECT_EQ(s.ids(), std::vector<int>{c.message});
      EXPECT_EQ(s.zip.LastMessage(), c.text);
    } else {
      EXPECT_TRUE(s.rec.messages.empty()) << s.zip.LastMessage();
    }
    // No partial executable: the older one is as it was, and so is the input.
    EXPECT_EQ(kvtest::readFile(exe), "an older executable of that name");
    EXPECT_EQ(fs::exists(input) ? kvtest::readFile(input) : "", inputBytes);
    EXPECT_EQ(s.zip.GetZipFileName(), input);
    // Nothing else was left in the directory (no temporary file).
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir.path()))
      files += e.path().extension() == ".tmp";
    EXPECT_EQ(files, 0);
  }
}

TEST(SfxBuilder, StubIconIsReplacedOnlyWhereTheStubHasAReplaceableOne) {
  struct Case {
    const char* stub;
    const char* icon; // nullptr: no SFXIcon
    int result;
  };
  const Case cases[] = {
      {"stub_icon.exe", "red16.ico", 0},      {"stub_icon.exe", nullptr, 0},
      {"stub_plain.exe", "red16.ico", -10},   // no ".rsrc" section
      {"stub_bigicon.exe", "red16.ico", -10}, // its icon is not 744 bytes
      {"stub_icon.exe", "big256.ico", -12},   // the icon does not save as 766 bytes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stub) + " " + (c.icon ? c.icon : "-"));
    kvtest::TempDir dir;
    Sfx s(fixture(c.stub));
    if (c.icon) s.zip.GetSFXIcon().LoadFromFile(fixture(c.icon));
    const fs::path exe = dir / "Setup.exe";
    EXPECT_EQ(s.zip.CreateEmptySFX(exe.string()), c.result);
    if (c.result != 0) {
      EXPECT_FALSE(fs::exists(exe));
      EXPECT_TRUE(s.zip.GetZipFileName().empty());
      continue;
    }
    const std::string stub = kvtest::readFile(fixture(c.stub));
    const std::string b = kvtest::readFile(exe);
    std::string expected = stub;
    if (c.icon) {
      // Where pefile finds icon 1, the new icon's image (bytes 22 to 765 of its file).
      const auto where = peer("icon", fixture(c.stub));
      ASSERT_EQ(where["size"].n, 744);
      expected.replace(static_cast<size_t>(where["offset"].n), 744,
                       kvtest::readFile(fixture(c.icon)).substr(22));
    }
    EXPECT_EQ(b.substr(0, stub.size()) == expected, true);
    EXPECT_EQ(b.size(), stub.size() + 44 + 8 + 22);

    // Turned back, the executable's icon becomes SFXIcon.
    s.zip.GetSFXIcon().Clear();
    ASSERT_EQ(s.slave().ConvertToZIP(&s.zip), 0) << s.zip.LastMessage();
    const std::string icon = kvtest::readFile(fixture(c.icon ? c.icon : "blue16.ico"));
    const auto& got = s.zip.GetSFXIcon().Bytes();
    EXPECT_EQ(std::string(got.begin(), got.end()) == icon, true);
    EXPECT_EQ(kvtest::readFile(dir / "Setup.zip"), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  }
}

TEST(SfxBuilder, TruncatedOrHostileStubsHaveNoReplaceableIcon) {
  const std::string stub = kvtest::readFile(fixture("stub_icon.exe"));
  const auto where = peer("icon", fixture("stub_icon.exe"));
  const size_t icon = static_cast<size_t>(where["offset"].n);
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string badLfanew = stub, badPe = stub, noSections = stub;
  ZipRecords::putU32(reinterpret_cast<uint8_t*>(badLfanew.data()) + 0x3C, 0xFFFFFFF0u);
  const uint32_t pe = u32At(stub, 0x3C);
  badPe[pe + 1] = 'X';
  ZipRecords::putU16(reinterpret_cast<uint8_t*>(noSections.data()) + pe + 6, 0);
  const Case cases[] = {
      {"cut inside the image", stub.substr(0, icon + 100)},
      {"cut inside the headers", stub.substr(0, 300)},
      {"cut to nothing", std::string()},
      {"e_lfanew far outside", badLfanew},
      {"no PE signature", badPe},
      {"no sections", noSections},
      {"not an executable", std::string(5000, 'M')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kvtest::TempDir dir;
    kvtest::writeFile(dir / "stub.bin", c.bytes);
    Sfx s((dir / "stub.bin").string());
    s.zip.GetSFXIcon().LoadFromFile(fixture("red16.ico"));
    EXPECT_EQ(s.zip.CreateEmptySFX((dir / "a.exe").string()), -10);
    EXPECT_FALSE(fs::exists(dir / "a.exe"));
  }
}

TEST(SfxBuilder, StubIsFoundWhereTheSettingsSayRegardlessOfCase) {
  enum Found { nowhere, placed, beside }; // beside: the build's own stub, beside this program
  struct Case {
    const char* sfxPath;  // relative to the test directory; "" for none
    const char* stubAt;   // where the stub file lies, relative to the test directory
    bool dllDirectory;    // DLLDirectory names the "engines" directory
    const char* language; // of the default stub's name
    Found found;
  };
  const Case cases[] = {
      {"stubs/ZavSFX.bin", "stubs/DAZUDus.BIN", false, "us", placed},
      {"stubs/zavsfx.BIN", "stubs/dazudus.bin", false, "us", placed}, // the stub's name in any case
      {"stubs/ZavSFX.bin", "stubs/ZavSFX.bin", false, "us", beside},  // the language stub is what counts
      {"stubs/Mine.bin", "stubs/MINE.BIN", false, "us", placed},
      {"", "engines/DAZUDUS.BIN", true, "us", beside}, // the program's directory is searched first
      {"stubs/ZavSFX.bin", "engines/DAZUDde.BIN", true, "de", placed},
      {"stubs/ZavSFX.bin", "elsewhere/DAZUDus.BIN", false, "us", beside},
      {"stubs/ZavSFX.bin", "elsewhere/DAZUDde.BIN", false, "de", nowhere},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.sfxPath) + " -> " + c.stubAt);
    kvtest::TempDir dir;
    fs::create_directories(dir / "stubs");
    fs::create_directories(dir / "engines");
    fs::create_directories((dir / c.stubAt).parent_path());
    fs::copy_file(fixture("stub_plain.exe"), dir / c.stubAt);
    ZavSFX::LanguageCode = c.language;
    Sfx s(*c.sfxPath ? (dir / c.sfxPath).string() : "");
    if (c.dllDirectory) s.zip.SetDLLDirectory((dir / "engines").string());
    const fs::path exe = dir / "out.exe";
    const int r = s.zip.CreateEmptySFX(exe.string());
    ZavSFX::LanguageCode = "us";
    if (c.found != nowhere) {
      EXPECT_EQ(r, 0) << s.zip.LastMessage();
      const std::string stub =
          kvtest::readFile(c.found == placed ? dir / c.stubAt : kvtest::buildDir() / "bin" / "DAZUDus.BIN");
      EXPECT_EQ(kvtest::readFile(exe).substr(0, stub.size()), stub);
    } else {
      EXPECT_EQ(r, -9);
      EXPECT_EQ(s.ids(), std::vector<int>{10802});
      EXPECT_EQ(s.zip.LastMessage(), "Error - ZAVSFX.BIN not found!");
      EXPECT_FALSE(fs::exists(exe));
    }
  }
  // A slave remembers where it found the stub only for the settings it found it with.
  kvtest::TempDir dir;
  fs::copy_file(fixture("stub_plain.exe"), dir / "one.bin");
  fs::copy_file(fixture("stub_icon.exe"), dir / "two.bin");
  Sfx s((dir / "one.bin").string());
  ASSERT_EQ(s.zip.CreateEmptySFX((dir / "1.exe").string()), 0);
  s.zip.SetSFXPath((dir / "two.bin").string());
  ASSERT_EQ(s.zip.CreateEmptySFX((dir / "2.exe").string()), 0);
  EXPECT_EQ(kvtest::readFile(dir / "2.exe").substr(0, 4096), kvtest::readFile(dir / "two.bin"));
}

namespace {

// An executable made by hand: the bytes in front, then an archive whose offsets count from
// its own start (so the bytes in front are a prefix its directory does not count).
fs::path handMadeExe(const kvtest::TempDir& dir, const std::string& front, const std::string& zip) {
  kvtest::writeFile(dir / "hand.exe", front + zip);
  return dir / "hand.exe";
}

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b)
    s += static_cast<char>(c);
  return s;
}

} // namespace

TEST(SfxBuilder, HeadersOfEveryKindAreReadBackAndDamagedOnesLeaveTheSettings) {
  using E = SFXOptsEnum;
  struct Case {
    const char* what;
    std::string front;
    SFXOpts options;
    OvrOpts overwrite;
    std::string caption, dir, cmd, message;
  };
  // The settings before the read; a header that cannot be read leaves them.
  const SFXOpts sentinelOpts{E::SFXAskFiles};
  const std::string junk(300, '\x90');
  // Current kind, by hand: 18 + 3 + 1 + 2 + 2 (skipped fourth text) + 1 = 27 -> H = 28.
  const std::string current =
      bytes({0x44, 0x5A, 0x00, 0x01, 28, 0, 0x04, 0x01, 1, 3, 1, 2, 2, 1, 0x41, 0, 0, 0}) + "CapDC1" + "xx" +
      "M" + std::string(1, '\0') + bytes({0x44, 0x5A, 0x0A, 0x01, 28, 0, 0, 0});
  auto withTrailer = [](std::string block, uint32_t h) {
    std::string t = bytes({0x44, 0x5A, 0x0A, 0x01, 0, 0, 0, 0});
    ZipRecords::putU32(reinterpret_cast<uint8_t*>(t.data()) + 4, h);
    return block + t;
  };
  std::string wrongSize = current;
  wrongSize[4] = 24;
  // A caption length running past the 20-byte block: options and overwrite are read, no text.
  const std::string pastBlock = withTrailer(
      bytes({0x44, 0x5A, 0x00, 0x01, 20, 0, 0x08, 0x01, 1, 200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 20);
  const std::string mpu = "MPU" + bytes({0x01 | 0x08 | 0x20 | 0x40, 3, 2, 4}) + "CapDiCmdl";
  const std::string mpv = "MPV" + bytes({0x80 | 0x10 | 0x02, 9, 9, 9, 9, 3}) + "Cap" + bytes({0}) +
                          bytes({2}) + "Go" + bytes({4}) + "Mess";
  const std::string mpvCut = "MPV" + bytes({0x00, 0, 0, 0, 0, 200}) + "abc";
  const Case cases[] = {
      {"current kind",
       junk + current,
       {E::SFXCheckSize, E::SFXHideOverWriteBox},
       OvrOpts::OvrNever,
       "Cap",
       "D",
       "C1",
       "\x01M"},
      {"trailer naming a huge block", junk + withTrailer("", 0xFFFFFFF0u), sentinelOpts, OvrOpts::OvrAlways,
       "keep", "keep", "keep", "keep"},
      {"trailer naming more than lies in front", withTrailer(std::string(10, 'x'), 200), sentinelOpts,
       OvrOpts::OvrAlways, "keep", "keep", "keep", "keep"},
      {"size field not the block's", junk + wrongSize, sentinelOpts, OvrOpts::OvrAlways, "keep", "keep",
       "keep", "keep"},
      {"text past the block",
       junk + pastBlock,
       {E::SFXCheckSize, E::SFXAutoRun},
       OvrOpts::OvrNever,
       "keep",
       "keep",
       "keep",
       "keep"},
      {"older kind U",
       junk + mpu + junk,
       {E::SFXAskCmdLine, E::SFXAutoRun},
       OvrOpts::OvrAlways,
       "Cap",
       "Di",
       "Cmdl",
       "keep"},
      {"older kind V",
       junk + mpv + junk,
       {E::SFXAskFiles, E::SFXNoSuccessMsg, E::SFXCheckSize},
       OvrOpts::OvrNever,
       "Cap",
       "",
       "Go",
       "Mess"},
      {"older kind V cut short", junk + mpvCut, {E::SFXCheckSize}, OvrOpts::OvrConfirm, "abc", "", "", ""},
      {"no header at all", junk, sentinelOpts, OvrOpts::OvrAlways, "keep", "keep", "keep", "keep"},
  };
  kvtest::TempDir zipDir;
  const std::string zip = kvtest::readFile(makeZip(zipDir));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kvtest::TempDir dir;
    const fs::path exe = handMadeExe(dir, c.front, zip);
    Sfx s;
    s.zip.SetSFXOptions(sentinelOpts);
    s.zip.SetSFXOverWriteMode(OvrOpts::OvrAlways);
    for (auto set : {&TZavOzeriz::SetSFXCaption, &TZavOzeriz::SetSFXDefaultDir,
                     &TZavOzeriz::SetSFXCommandLine, &TZavOzeriz::SetSFXMessage})
      (s.zip.*set)("keep");
    s.zip.SetDesigning(true);
    s.zip.SetZipFileName(exe.string());
    ASSERT_EQ(s.slave().ConvertToZIP(&s.zip), 0) << s.zip.LastMessage();
    EXPECT_EQ(kvtest::readFile(dir / "hand.zip"), zip);
    EXPECT_FALSE(fs::exists(exe));
    EXPECT_TRUE(s.zip.GetSFXOptions() == c.options);
    EXPECT_EQ(s.zip.GetSFXOverWriteMode(), c.overwrite);
    EXPECT_EQ(s.zip.GetSFXCaption(), c.caption);
    EXPECT_EQ(s.zip.GetSFXDefaultDir(), c.dir);
    EXPECT_EQ(s.zip.GetSFXCommandLine(), c.cmd);
    EXPECT_EQ(s.zip.GetSFXMessage(), c.message);
  }
}

TEST(SfxBuilder, ExecutablesThatCannotBeTurnedBackKeepTheirFile) {
  kvtest::TempDir zipDir;
  const std::string zip = kvtest::readFile(makeZip(zipDir));
  const uint32_t cd = u32At(zip, zip.size() - 22 + 16);
  std::string badCentral = zip, badEnd = zip, hugeOffset = zip, shortDir = zip;
  badCentral[cd + 2] = 0;
  badEnd = zip.substr(0, zip.size() - 3);
  // A member's local header offset beyond its directory.
  ZipRecords::putU32(reinterpret_cast<uint8_t*>(hugeOffset.data()) + cd + 42, 0x7FFFFFFFu);
  // A directory size larger than what lies in front of the end record.
  ZipRecords::putU32(reinterpret_cast<uint8_t*>(shortDir.data()) + zip.size() - 22 + 12, 0x00FFFFFFu);
  struct Case {
    const char* what;
    std::string name;
    std::string content; // empty: no file
    int result;
    int message;
  };
  const Case cases[] = {
      {"broken central signature", "a.exe", "stub" + badCentral, -102, 0},
      {"no end record", "a.exe", "stub" + badEnd, -102, 0},
      {"local header past the directory", "a.exe", "stub" + hugeOffset, -102, 0},
      {"directory larger than the file", "a.exe", "stub" + shortDir, -102, 0},
      {"not an .exe", "a.zip", zip, -9, 10902},
      {"no file", "a.exe", "", -9, 10901},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kvtest::TempDir dir;
    if (!c.content.empty()) kvtest::writeFile(dir / c.name, c.content);
    kvtest::writeFile(dir / "a.zip.keep", "");
    Sfx s;
    s.zip.SetDesigning(true);
    s.zip.SetZipFileName((dir / c.name).string());
    EXPECT_EQ(s.slave().ConvertToZIP(&s.zip), c.result);
    if (c.message) {
      EXPECT_EQ(s.ids(), std::vector<int>{c.message});
    } else {
      EXPECT_TRUE(s.rec.messages.empty());
    }
    if (!c.content.empty()) {
      EXPECT_EQ(kvtest::readFile(dir / c.name), c.content);
    }
    if (c.name == std::string("a.exe")) {
      EXPECT_FALSE(fs::exists(dir / "a.zip"));
    }
    int left = 0;
    for (const auto& e : fs::directory_iterator(dir.path()))
      left += e.path().extension() == ".tmp";
    EXPECT_EQ(left, 0);
  }
}

TEST(SfxBuilder, RecognisingSelfExtractingZips) {
  kvtest::TempDir dir;
  const fs::path zipFile = makeZip(dir, "plain.zip");
  const std::string zip = kvtest::readFile(zipFile);
  ASSERT_EQ(kvtest::run("cp " + kvtest::shellQuote(zipFile.string()) + " " +
                        kvtest::shellQuote((dir / "c.zip").string()) +
                        " && echo 'with a comment' | zip -q -z " +
                        kvtest::shellQuote((dir / "c.zip").string()))
                .exitCode,
            0);
  const std::string commented = kvtest::readFile(dir / "c.zip");
  Sfx built(fixture("stub_icon.exe"));
  ASSERT_EQ(built.zip.CreateEmptySFX((dir / "empty.exe").string()), 0);
  struct Case {
    const char* what;
    std::string content; // nullptr-like: "<none>" for a missing file
    int result;
  };
  const std::string installShield = std::string(100, 'x') +
                                    std::string("InstallShield\0Self-Extracting\0Stub program", 42) +
                                    std::string(100, 'y');
  const Case cases[] = {
      {"self-extractor", kvtest::readFile(dir / "empty.exe"), 1},
      {"plain zip", zip, 1},
      {"zip with a comment", commented, 1},
      {"zip with a comment behind data its offsets do not count", std::string(5000, 'z') + commented, 0},
      {"commented zip behind a stub of the other kind", installShield + commented, 0},
      {"random bytes", std::string(70000, '\x17'), 0},
      {"empty file", std::string(), 0},
      {"an end record signature without room for the record",
       std::string(100, 'q') + std::string("PK\x05\x06", 4) + std::string(10, '\0'), 0},
      {"<none>", "", -7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path f = dir / "check.bin";
    fs::remove(f);
    if (std::string(c.what) != "<none>") kvtest::writeFile(f, c.content);
    Sfx s;
    EXPECT_EQ(s.slave().CheckZavSFX(&s.zip, f.string()), c.result);
    if (c.result == -7) {
      ASSERT_EQ(s.rec.messages.size(), 1u);
      EXPECT_EQ(s.rec.messages[0].errCodeArg, 11001);
      EXPECT_EQ(s.rec.messages[0].text, "Input file does not exist");
    } else {
      EXPECT_TRUE(s.rec.messages.empty());
    }
  }
}

TEST(SfxBuilder, TextsAtTheLimitFitAndOnlyLongerOnesAreNamed) {
  struct Case {
    size_t caption, cmd, dir, message; // the message gets a style marker in front as well
    std::string named;                 // "" when accepted
  };
  const Case cases[] = {
      {255, 255, 255, 255, ""},
      {256, 0, 300, 0, "SFXCaption, SFXDefaultDir"},
      {0, 0, 0, 256, "SFXMessage"},
      {1, 256, 1, 1, "SFXCommandLine"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    kvtest::TempDir dir;
    Sfx s;
    s.zip.SetSFXCaption(std::string(c.caption, 'a'));
    s.zip.SetSFXCommandLine(std::string(c.cmd, 'b'));
    s.zip.SetSFXDefaultDir(std::string(c.dir, 'c'));
    s.zip.SetSFXMessage("\x01" + std::string(c.message, 'd'));
    const fs::path exe = dir / "t.exe";
    const int r = s.zip.CreateEmptySFX(exe.string());
    if (c.named.empty()) {
      ASSERT_EQ(r, 0);
      const std::string b = kvtest::readFile(exe);
      // 18 + 4 * 255 = 1038, rounded up to 1040.
      EXPECT_EQ(u32At(b, 3072 + 1040 + 4), 1040u);
      EXPECT_EQ(b.size(), 3072u + 1040 + 8 + 22);
    } else {
      EXPECT_EQ(r, -9);
      EXPECT_FALSE(fs::exists(exe));
      EXPECT_EQ(s.zip.LastMessage(),
                "Error - On or more of the 4 property strings mentioned below exceeds 255 "
                "characters!\r\n" +
                    c.named);
    }
  }
}

TEST(SfxBuilder, AnExistingTargetIsReplacedOnlyByACompleteFile) {
  for (const auto mode : {DeleteOpts::htdFinal, DeleteOpts::htdAllowUndo}) {
    SCOPED_TRACE(static_cast<int>(mode));
    kvtest::TempDir dir;
    kvtest::ScopedEnv trash("XDG_DATA_HOME", (dir / "data").string());
    fs::create_directories(dir / "data");
    fs::create_directories(dir / "out");
    const fs::path zipFile = makeZip(dir, "out/Pack.zip");
    kvtest::writeFile(dir / "out/Pack.exe", "the previous build");
    Sfx s;
    s.zip.SetHowToDelete(mode);
    s.zip.SetZipFileName(zipFile.string());
    ASSERT_EQ(s.slave().ConvertToSFX(&s.zip), 0) << s.zip.LastMessage();
    EXPECT_EQ(peer("zip", dir / "out/Pack.exe")["members"].a.size(), 3u);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir / "out"))
      left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"Pack.exe"});
    // With undo the previous build and the input are in the trash.
    int trashed = 0;
    if (fs::exists(dir / "data/Trash/files"))
      for (const auto& e : fs::directory_iterator(dir / "data/Trash/files"))
        trashed += kvtest::readFile(e.path()) == "the previous build" || e.path().extension() == ".zip";
    EXPECT_EQ(trashed, mode == DeleteOpts::htdAllowUndo ? 2 : 0);
  }
}

namespace {

// A slave of its own, to see which one the component asks.
class CountingSlave : public TZavSFXBase {
public:
  using TZavSFXBase::TZavSFXBase;
  int ConvertToSFX(TZavOzeriz*) override { return ++calls; }
  int ConvertToZIP(TZavOzeriz*) override { return ++calls; }
  int CreateNewSFX(TZavOzeriz*, const std::string&) override { return 40 + ++calls; }
  int CheckZavSFX(TZavOzeriz*, const std::string&) override { return ++calls; }
  std::string SFXVersionText() override { return "counting"; }
  std::string DefaultStubName() override { return "none"; }
  int calls = 0;
};

} // namespace

TEST(SfxBuilder, TheComponentMakesItsOwnSlaveOnDemandAndForgetsAnAssignedOneThatGoes) {
  TZavOzeriz zip(nullptr);
  TZavSFXBase* own = zip.GetSFXSlave();
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->ClassName(), "TZavSFXSlave");
  EXPECT_EQ(own->Owner(), nullptr);
  EXPECT_EQ(zip.GetSFXSlave(), own);
  EXPECT_EQ(own->SFXVersionText(), "10-23-2002 1.72.0.0");
  EXPECT_EQ(own->DefaultStubName(), "DAZUDus.BIN");
  auto& slave = dynamic_cast<TZavSFXSlave&>(*own);
  slave.SetVersion("1-1-2099");
  EXPECT_EQ(slave.GetVersion(), "10-23-2002");
  EXPECT_THROW(
      {
        try {
          slave.StubPath();
        } catch (const kv::platform::Exception& e) {
          EXPECT_STREQ(e.what(), "No TZavOzeriz component assigned");
          throw;
        }
      },
      kv::platform::Exception);

  {
    kv::platform::TComponent form(nullptr);
    auto* mine = new CountingSlave(&form);
    zip.SetSFXSlave(mine);
    EXPECT_EQ(zip.GetSFXSlave(), mine);
    EXPECT_EQ(zip.CreateEmptySFX("any.exe"), 41);
  } // the form frees its slave; the component must not keep it
  EXPECT_EQ(zip.GetSFXSlave(), own);

  // One slave serves several components one after the other.
  kvtest::TempDir dir;
  TZavOzeriz other(nullptr);
  for (TZavOzeriz* z : {&zip, &other}) {
    z->SetUnattended(true);
    z->SetSFXPath(fixture("stub_plain.exe"));
    z->SetSFXSlave(own);
  }
  EXPECT_EQ(zip.CreateEmptySFX((dir / "1.exe").string()), 0);
  EXPECT_EQ(other.CreateEmptySFX((dir / "2.exe").string()), 0);
  EXPECT_EQ(other.GetZipFileName(), (dir / "2.exe").string());
}

TEST(SfxBuilder, ASecondOperationWhileOneRunsIsRefused) {
  kvtest::TempDir dir;
  // A stub long enough for the copy to let window messages run more than once.
  kvtest::writeFile(dir / "stub.bin", std::string(30000, 's'));
  Sfx s((dir / "stub.bin").string());
  std::vector<int> nested;
  auto old = kv::platform::setProcessMessagesHook([&] {
    nested.push_back(s.slave().CreateNewSFX(&s.zip, (dir / "inner.exe").string()));
    nested.push_back(s.slave().CheckZavSFX(&s.zip, (dir / "stub.bin").string()));
  });
  EXPECT_EQ(s.zip.CreateEmptySFX((dir / "outer.exe").string()), 0);
  kv::platform::setProcessMessagesHook(old);
  ASSERT_GE(nested.size(), 2u);
  for (int r : nested)
    EXPECT_EQ(r, -255);
  EXPECT_FALSE(fs::exists(dir / "inner.exe"));
  EXPECT_TRUE(fs::exists(dir / "outer.exe"));
  // And the slave serves again once the call is over.
  EXPECT_EQ(s.slave().CheckZavSFX(&s.zip, (dir / "outer.exe").string()), 1);
}

TEST(SfxBuilder, AnAddOntoANewExecutableMakesASelfExtractorFirst) {
  kvtest::TempDir dir;
  fs::create_directories(dir / "db");
  kvtest::writeFile(dir / "db/CONFIG.DB", std::string(5000, 'c'));
  kvtest::writeFile(dir / "db/kvbak", "12/09/2024 06:00:00\n");
  Sfx s(fixture("stub_icon.exe"));
  s.zip.SetDLLDirectory(KV_REAL_ENGINE_DIR);
  s.zip.GetSFXIcon().LoadFromFile(fixture("red16.ico"));
  pf::TStringList spec;
  spec.Add((dir / "db").string() + "/*.*");
  s.zip.SetFSpecArgs(spec);
  const fs::path exe = dir / "Setup.exe";
  s.zip.SetZipFileName(exe.string());
  EXPECT_EQ(s.zip.Add(), 0) << s.zip.LastMessage();
  ASSERT_TRUE(fs::exists(exe));
  const std::string b = kvtest::readFile(exe);
  const std::string stub = kvtest::readFile(fixture("stub_icon.exe"));
  const auto where = peer("icon", fixture("stub_icon.exe"));
  const size_t icon = static_cast<size_t>(where["offset"].n);
  EXPECT_EQ(b.substr(0, icon), stub.substr(0, icon));
  EXPECT_EQ(b.substr(icon, 744), kvtest::readFile(fixture("red16.ico")).substr(22));
  EXPECT_EQ(u32At(b, stub.size()), 0x01005A44u);
  // The members added by the engine are read by the peers and by us.
  const auto t = kvtest::run("unzip -t " + kvtest::shellQuote(exe.string()));
  EXPECT_EQ(t.exitCode, 0) << t.out << t.err;
  const auto view = peer("zip", exe);
  EXPECT_TRUE(view["ok"].b);
  EXPECT_EQ(view["members"].a.size(), 2u);
  EXPECT_EQ(s.zip.Count(), 2);
  EXPECT_EQ(s.zip.DataStart(), stub.size() + 44 + 8);
  EXPECT_EQ(s.slave().CheckZavSFX(&s.zip, exe.string()), 1);
}
