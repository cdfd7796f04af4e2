#include "uKVVersInfo.h"
#include "uKVVersion.h"

#include "TestSupport.h"

#include <bit>
#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace uKVVersInfo;
using F = TFixedFileInfoFlag;
using V = TVersionOperatingSystemFlag;

namespace {

std::string fixture(const std::string& name) {
  return (kvtest::sourceDir() / "tests" / "Lib" / "pe-fixtures" / name).string();
}

uint32_t dwordAt(const uint8_t* p, int offset) {
  p += offset;
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// What Python's pefile reads from a file (dump_version.py).
struct PeFileView {
  bool none = false;
  std::map<std::string, uint32_t> fixed;
  std::vector<std::string> translations;
  std::vector<std::tuple<std::string, std::string, std::string>> strings; // table, key, value
};

PeFileView pefileView(const std::string& file) {
  const auto r = kvtest::run(kvtest::systemPython() + " " + kvtest::shellQuote(fixture("dump_version.py")) +
                             " " + kvtest::shellQuote(file));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  PeFileView view;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "none") {
      view.none = true;
    } else if (kind == "fixed") {
      std::string name;
      uint32_t value;
      words >> name >> value;
      view.fixed[name] = value;
    } else if (kind == "translation") {
      std::string id;
      words >> id;
      view.translations.push_back(id);
    } else if (kind == "string") {
      std::string table, rest;
      words >> table;
      std::getline(words >> std::ws, rest);
      const size_t eq = rest.find('=');
      view.strings.emplace_back(table, rest.substr(0, eq), rest.substr(eq + 1));
    }
  }
  return view;
}

std::vector<std::string> listOf(const kv::platform::TStrings& s) {
  std::vector<std::string> out;
  for (int i = 0; i < s.Count(); ++i)
    out.push_back(s[i]);
  return out;
}

} // namespace

// Every value pefile reads from each fixture is what the reader gives.
TEST(VersionInfoResource, AgreesWithPefileOnEveryFixture) {
  for (const char* name :
       {"multi32.exe", "multi64.exe", "partial64.dll", "commas32.dll", "short32.dll", "noversion64.exe"}) {
    SCOPED_TRACE(name);
    const PeFileView peer = pefileView(fixture(name));
    TqelVersionInfoResource reader;
    reader.SetFilename(fixture(name));
    if (peer.none) {
      EXPECT_EQ(reader.VersionInfoSize, 0);
      EXPECT_FALSE(reader.FileVersion->Valid);
      continue;
    }
    ASSERT_NE(reader.FixedInfo->Data, nullptr);
    const uint8_t* d = reader.FixedInfo->Data;
    EXPECT_EQ(reader.FixedInfo->GetSignature(), peer.fixed.at("Signature"));
    EXPECT_EQ(reader.FixedInfo->GetStructureVersion(), peer.fixed.at("StrucVersion"));
    EXPECT_EQ(reader.FixedInfo->GetFileVersionMS(), peer.fixed.at("FileVersionMS"));
    EXPECT_EQ(reader.FixedInfo->GetFileVersionLS(), peer.fixed.at("FileVersionLS"));
    EXPECT_EQ(reader.FixedInfo->GetProductVersionMS(), peer.fixed.at("ProductVersionMS"));
    EXPECT_EQ(reader.FixedInfo->GetProductVersionLS(), peer.fixed.at("ProductVersionLS"));
    EXPECT_EQ(reader.FixedInfo->GetFileSubType(), peer.fixed.at("FileSubtype"));
    EXPECT_EQ(dwordAt(d, 24), peer.fixed.at("FileFlagsMask"));
    EXPECT_EQ(dwordAt(d, 28), peer.fixed.at("FileFlags"));
    EXPECT_EQ(dwordAt(d, 32), peer.fixed.at("FileOS"));
    EXPECT_EQ(dwordAt(d, 36), peer.fixed.at("FileType"));
    EXPECT_EQ(dwordAt(d, 44), peer.fixed.at("FileDateMS"));
    EXPECT_EQ(dwordAt(d, 48), peer.fixed.at("FileDateLS"));
    EXPECT_EQ(listOf(reader.GetTranslationIDs()), peer.translations);
    ASSERT_FALSE(peer.strings.empty());
    for (const auto& [table, key, value] : peer.strings) {
      SCOPED_TRACE(table + " " + key);
      int index = -1;
      for (int i = 0; i < reader.TranslationIDs.Count(); ++i)
        if (reader.TranslationIDs[i] == table) index = i;
      if (index < 0) {
        ASSERT_EQ(reader.TranslationIDs.Count(), 0); // only the default translation is looked up then
        ASSERT_EQ(table, "040904E4");
      } else {
        reader.SetTranslationIDIndex(index);
      }
      EXPECT_EQ(reader.GetResourceStr(key), value);
    }
  }
}

// The values written in the .rc files, read back through every getter.
TEST(VersionInfoResource, GivesTheValuesOfTheResourceScripts) {
  // The sets as wide as the exported records have them, bit n for member n, and the names of
  // the published enumerations.
  static_assert(sizeof(TPreDefs) == 2 && sizeof(TFixedFileInfoFlags) == 1 &&
                sizeof(TVersionOperatingSystemFlags) == 2);
  EXPECT_EQ(std::bit_cast<std::uint16_t>(TPreDefs{TPreDef::pdBuildFlags}), 0x0400);
  EXPECT_EQ(std::bit_cast<std::uint8_t>(TFixedFileInfoFlags{F::ffSpecialBuild}), 0x20);
  EXPECT_EQ(std::bit_cast<std::uint16_t>(TVersionOperatingSystemFlags{V::vosNT, V::vosWindows32}), 0x0110);
  using Names = std::vector<std::string>;
  EXPECT_EQ(kvEnumNames(TPreDef{}),
            (Names{"pdCompanyName", "pdFileDescription", "pdFileVersion", "pdInternalName",
                   "pdLegalCopyright", "pdLegalTrademarks", "pdOriginalFilename", "pdProductName",
                   "pdProductVersion", "pdComments", "pdBuildFlags"}));
  EXPECT_EQ(kvEnumNames(F{}), (Names{"ffDebug", "ffInfoInferred", "ffPatched", "ffPreRelease",
                                     "ffPrivateBuild", "ffSpecialBuild"}));
  EXPECT_EQ(kvEnumNames(V{}),
            (Names{"vosUnknown", "vosDOS", "vosOS2_16", "vosOS2_32", "vosNT", "vosWindows16",
                   "vosPresentationManager16", "vosPresentationManager32", "vosWindows32"}));
  EXPECT_EQ(kvEnumNames(TVersionFileType{}), (Names{"vftUnknown", "vftApplication", "vftDLL", "vftDriver",
                                                    "vftFont", "vftVXD", "vftStaticLib"}));
  struct Row {
    std::vector<const char*> files; // one script, built for each of them
    std::vector<std::string> translations;
    uint16_t file0, file1, file2, file3;
    std::string fileVersionString, productVersionString;
    TFixedFileInfoFlags validFlags, flags;
    std::string buildFlags;
    TVersionOperatingSystemFlags os;
    TVersionFileType type;
    std::string company, product, comments; // of the first translation
  } rows[] = {
      {{"multi32.exe", "multi64.exe"},
       {"040904E4", "040704B0"},
       1,
       2,
       3,
       45,
       "1.2.3.45",
       "7.0 beta",
       TFixedFileInfoFlags::Range(F::ffDebug, F::ffSpecialBuild),
       {F::ffDebug, F::ffPreRelease},
       "Debug, Pre-Release",
       {V::vosNT, V::vosWindows32},
       TVersionFileType::vftApplication,
       "Dolvane Test Works",
       "Korvalis",
       "first table"},
      {{"partial64.dll"},
       {},
       4,
       5,
       6,
       7,
       "1.2.3",
       "4.5.0.0",
       TFixedFileInfoFlags::Range(F::ffDebug, F::ffSpecialBuild),
       {F::ffInfoInferred, F::ffPatched, F::ffPrivateBuild, F::ffSpecialBuild},
       "Info Inferred, Patched, Private, Special",
       {V::vosUnknown, V::vosWindows32},
       TVersionFileType::vftStaticLib,
       "Partial Ltd",
       "",
       ""},
      {{"commas32.dll"},
       {"041D04E4", "040C04E4", "041304E4"},
       1,
       2,
       3,
       4,
       "1, 2, 3, 4",
       "0.0.0.9",
       {},
       {},
       "",
       {V::vosDOS, V::vosWindows16},
       TVersionFileType::vftUnknown,
       "",
       "Commas",
       ""},
      {{"short32.dll"},
       {"040904E4"},
       1,
       2,
       3,
       0,
       "1.2.3",
       "one point two",
       TFixedFileInfoFlags::Range(F::ffDebug, F::ffSpecialBuild),
       {},
       "",
       {V::vosNT, V::vosWindows32},
       TVersionFileType::vftDLL,
       "",
       "",
       ""},
  };
  for (const auto& row : rows) {
    for (const char* file : row.files) {
      SCOPED_TRACE(file);
      TqelVersionInfoResource reader;
      reader.SetFilename(fixture(file));
      EXPECT_GT(reader.VersionInfoSize, 0);
      EXPECT_EQ(listOf(reader.TranslationIDs), row.translations);
      EXPECT_TRUE(reader.FileVersion->Valid);
      EXPECT_EQ(reader.FileVersion->GetVersionNumber(0), row.file0);
      EXPECT_EQ(reader.FileVersion->GetVersionNumber(1), row.file1);
      EXPECT_EQ(reader.FileVersion->GetVersionNumber(2), row.file2);
      EXPECT_EQ(reader.FileVersion->GetVersionNumber(3), row.file3);
      EXPECT_EQ(reader.FileVersion->GetVersionNumber(4), 0);
      EXPECT_EQ(reader.FileVersion->GetVersionNumber(-1), 0);
      EXPECT_EQ(reader.FileVersion->GetVersionNumberString(), row.fileVersionString);
      EXPECT_EQ(reader.ProductVersion->GetVersionNumberString(), row.productVersionString);
      EXPECT_EQ(reader.FixedInfo->GetValidFlags(), row.validFlags);
      EXPECT_EQ(reader.FixedInfo->GetFlags(), row.flags);
      EXPECT_EQ(reader.BuildFlags(), row.buildFlags);
      EXPECT_EQ(reader.FixedInfo->GetFileOperatingSystem(), row.os);
      EXPECT_EQ(reader.FixedInfo->GetFileType(), row.type);
      EXPECT_EQ(reader.FixedInfo->GetCreationDate(), -109205.0); // file date 0 is 1601-01-01
      EXPECT_EQ(reader.CompanyName(), row.company);
      EXPECT_EQ(reader.ProductName(), row.product);
      EXPECT_EQ(reader.Comments(), row.comments);
      EXPECT_EQ(reader.GetVersionInfoString(11), "");
      EXPECT_EQ(reader.GetVersionInfoString(-1), "");
    }
  }
}

TEST(VersionInfoResource, SelectsTranslationsAndKeepsToTheList) {
  TqelVersionInfoResource reader;
  reader.SetFilename(fixture("multi32.exe"));
  EXPECT_EQ(reader.FileDescription(), "Two-language fixture");
  reader.SetTranslationIDIndex(1);
  EXPECT_EQ(reader.CompanyName(), "Dolvane Pr\xC3\xBC"
                                  "fwerk"); // UTF-16 in the file, UTF-8 here
  EXPECT_EQ(reader.Comments(), "zweite Tabelle");
  EXPECT_EQ(reader.FileDescription(), ""); // not in the second table
  EXPECT_EQ(reader.GetResourceStr("fileversion"), "9.8.7.6");
  reader.SetTranslationIDIndex(5); // two translations only: nothing changes
  EXPECT_EQ(reader.TranslationIDIndex, 1);
  reader.SetTranslationIDIndex(-1);
  EXPECT_EQ(reader.TranslationIDIndex, 1);
  reader.SetTranslationIDIndex(0);
  EXPECT_EQ(reader.CompanyName(), "Dolvane Test Works");
  EXPECT_EQ(reader.InternalName(), "multi");
  EXPECT_EQ(reader.LegalCopyright(), "(c) 2004 Dolvane");
  EXPECT_EQ(reader.LegalTrademarks(), "none");
  EXPECT_EQ(reader.OriginalFilename(), "multi.exe");
  EXPECT_EQ(reader.GetVersionInfoString(static_cast<int>(TPreDef::pdBuildFlags)), "");

  // A translation without its string table: the version text comes from the fixed block.
  TqelVersionInfoResource commas;
  commas.SetFilename(fixture("commas32.dll"));
  commas.SetTranslationIDIndex(2);
  EXPECT_EQ(commas.ProductName(), "");
  commas.SetTranslationIDIndex(1);
  EXPECT_EQ(commas.ProductName(), "Virgules");
  commas.SetTranslationIDIndex(2);
  commas.SetFilename(fixture("commas32.dll")); // reading again keeps the selected translation
  EXPECT_EQ(commas.TranslationIDIndex, 2);
  EXPECT_EQ(commas.FileVersion->Text, "");
  EXPECT_EQ(commas.FileVersion->GetVersionNumberString(), "1.2.3.4");
  // A file with fewer translations resets the selection.
  commas.SetFilename(fixture("short32.dll"));
  EXPECT_EQ(commas.TranslationIDIndex, 0);
  // ForceEXE is stored and reads again only when it changes; this class reads Filename.
  commas.SetForceEXE(true);
  EXPECT_TRUE(commas.ForceEXE);
  EXPECT_EQ(commas.GetResourceFilename(), fixture("short32.dll"));
  EXPECT_EQ(commas.FileVersion->Text, "1.2.3");
}

TEST(VersionInfoResource, NoVersionInformationIsEmptyNeverAnError) {
  kvtest::TempDir dir;
  kvtest::writeFile(dir / "text.exe", "MZ but nothing more");
  // A path far longer than 255 characters is read whole.
  auto deep = dir.path();
  for (int i = 0; i < 3; ++i)
    deep /= std::string(120, static_cast<char>('a' + i));
  std::filesystem::create_directories(deep);
  std::filesystem::copy_file(fixture("multi32.exe"), deep / "multi32.exe");
  TqelVersionInfoResource longPath;
  longPath.SetFilename((deep / "multi32.exe").string());
  ASSERT_GT(longPath.GetResourceFilename().size(), 360u);
  EXPECT_EQ(longPath.CompanyName(), "Dolvane Test Works");

  for (const std::string& file : {fixture("noversion64.exe"), (dir / "text.exe").string(),
                                  (dir / "missing.exe").string(), dir.str(), std::string()}) {
    SCOPED_TRACE(file);
    TqelVersionInfoResource reader;
    reader.SetFilename(fixture("multi32.exe")); // earlier results must all go
    reader.SetFilename(file);
    EXPECT_EQ(reader.VersionInfoSize, 0);
    EXPECT_EQ(reader.VersionInfoData, nullptr);
    EXPECT_EQ(reader.FixedInfo->Data, nullptr);
    EXPECT_EQ(reader.TranslationIDs.Count(), 0);
    EXPECT_FALSE(reader.FileVersion->Valid);
    EXPECT_FALSE(reader.ProductVersion->Valid);
    EXPECT_EQ(reader.FileVersion->GetVersionNumberString(), "");
    EXPECT_EQ(reader.FileVersion->GetVersionNumber(0), 0);
    EXPECT_EQ(reader.CompanyName(), "");
    EXPECT_EQ(reader.FixedInfo->GetSignature(), 0u);
    EXPECT_TRUE(reader.FixedInfo->GetFlags().Empty());
    EXPECT_TRUE(reader.FixedInfo->GetFileOperatingSystem().Empty());
    EXPECT_EQ(reader.FixedInfo->GetFileType(), TVersionFileType::vftUnknown);
    EXPECT_EQ(reader.FixedInfo->GetCreationDate(), 0.0);
    EXPECT_EQ(reader.BuildFlags(), "");
  }
}

TEST(VersionInfoResource, CreationDateFromTheFileTime) {
  kvtest::TempDir dir;
  const auto original = kvtest::readBytes(fixture("multi32.exe"));
  size_t fixedAt = 0;
  for (size_t i = 0; i + 4 <= original.size(); ++i)
    if (original[i] == 0xBD && original[i + 1] == 0x04 && original[i + 2] == 0xEF &&
        original[i + 3] == 0xFE) {
      fixedAt = i;
      break;
    }
  ASSERT_GT(fixedAt, 0u);
  // File times (100 ns since 1601-01-01) and their dates, worked out by hand:
  // 1970-01-01 is day 25569, 1601-01-01 is day -109205, the year 10000 starts at day 2958466.
  const uint64_t unixEpoch = 116444736000000000ull;
  const uint64_t hour = 36000000000ull;
  struct Row {
    uint64_t fileTime;
    double date;
  } rows[] = {
      {0, -109205.0},
      {6 * hour, -109205.25}, // before day 0 the time counts away from zero
      {unixEpoch, 25569.0},
      {unixEpoch + 18 * hour, 25569.75},
      {(109205ull + 2958466ull) * 24 * hour, 0.0}, // 10000-01-01: past the last date
      {(109205ull + 2958465ull) * 24 * hour, 2958465.0},
      {0x8000000000000000ull, 0.0}, // not a valid file time
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fileTime);
    auto bytes = original;
    for (int i = 0; i < 4; ++i) {
      bytes[fixedAt + 44 + i] = static_cast<uint8_t>(row.fileTime >> (32 + 8 * i));
      bytes[fixedAt + 48 + i] = static_cast<uint8_t>(row.fileTime >> (8 * i));
    }
    kvtest::writeFile(dir / "dated.exe", std::string(bytes.begin(), bytes.end()));
    TqelVersionInfoResource reader;
    reader.SetFilename((dir / "dated.exe").string());
    EXPECT_DOUBLE_EQ(reader.FixedInfo->GetCreationDate(), row.date);
  }
}

TEST(MdGetVersion, NumbersOfTheFileVersionText) {
  kvtest::TempDir dir;
  kvtest::writeFile(dir / "plain.txt", "no program");
  struct Row {
    std::string file;
    int major, minor, release, build;
  } rows[] = {
      {fixture("multi32.exe"), 1, 2, 3, 45}, // "1.2.3.45" of the first translation
      {fixture("multi64.exe"), 1, 2, 3, 45},
      {fixture("short32.dll"), 1, 2, -1, -1},     // "1.2.3"
      {fixture("commas32.dll"), -1, -1, -1, -1},  // "1, 2, 3, 4"
      {fixture("partial64.dll"), -1, -1, -1, -1}, // no translation table
      {fixture("noversion64.exe"), -1, -1, -1, -1},
      {(dir / "plain.txt").string(), -1, -1, -1, -1},
      {(dir / "missing.exe").string(), -1, -1, -1, -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    int major = 7, minor = 7, release = 7, build = 7;
    uKVVersion::MdGetVersion(row.file, major, minor, release, build);
    EXPECT_EQ(major, row.major);
    EXPECT_EQ(minor, row.minor);
    EXPECT_EQ(release, row.release);
    EXPECT_EQ(build, row.build);
  }
}
