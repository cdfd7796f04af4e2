#include "uKVModuleLangCache.h"

#include "HeadlessApplication.h"
#include "Platform/CodePage/CodePage.h"
#include "Platform/Database/Database.h"
#include "Platform/Rtl/SysUtils.h"
#include "Platform/Ui/Buttons.h"
#include "Platform/Ui/ComCtrls.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/Forms.h"
#include "Platform/Ui/Menus.h"
#include "Platform/Ui/StdCtrls.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace kv::platform;
using namespace uKVModuleLangCache;

std::atomic<long> gAllocations{0};

// Counts every allocation of the program, for the test that a found text needs none of its own.
// Every plain form is replaced, so that each allocation and its release meet in malloc and free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  ++gAllocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++gAllocations;
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

FieldValue i(std::int64_t v) { return v; }
FieldValue s(const std::string& v) { return v; }
const FieldValue null{};

const std::vector<TFieldDef> kLangFields = {
    {"lid", TFieldType::ftInteger, 0},      {"lfkmodid", TFieldType::ftInteger, 0},
    {"llang", TFieldType::ftInteger, 0},    {"ltext", TFieldType::ftString, 80},
    {"llongtext", TFieldType::ftMemo, 200}, {"lislong", TFieldType::ftSmallint, 0},
};

// The language table of a product database behind the alias Korv3.
class LangCacheTest : public ::testing::Test {
protected:
  void SetUp() override {
    kvtest::writeFile(config / "aliases.ini", "[Korv3]\nPATH=" + db.str() + "\n");
    // lid, lfkmodid, llang, ltext, llongtext, lislong; not in lid order on purpose.
    CreateTable(db / "LANG.DB", kLangFields,
                {
                    {i(9), i(2), i(1), s("x\\4"), null, i(0)},
                    {i(1), i(2), i(1), s("Datei\\3A"), null, i(0)},
                    {i(2), i(2), i(1), s("\\4a"), null, i(0)},
                    {i(3), i(2), i(1), s("\\"), null, i(0)},
                    {i(4), i(2), i(1), s("kurz"), s("Ein langer Text \\28mit Klammern\\29"), i(1)},
                    {i(5), i(2), i(1), s("kurz fünf"), s("lang fünf"), i(0)},
                    {i(6), i(2), i(1), s("kurz sechs"), s("lang sechs"), i(2)},
                    {i(7), i(2), i(1), s("ohne Merker"), s("lang sieben"), null},
                    {i(8), i(2), i(1), s("Gr\\F6\\DFe"), null, i(0)},
                    {i(1), i(2), i(1), s("zweite Eins"), null, i(0)},
                    {i(10), i(2), i(1), s("\\zz\\0\\\\41"), null, i(0)},
                    {i(11), i(2), i(1), s("100\\25 \\"), null, i(0)},
                    {i(12), i(2), i(1), s("Zwölf"), null, i(0)},
                    {i(-5), i(2), i(1), s("Minus fünf"), null, i(0)},
                    {i(14), i(2), i(1), s("\\ä1"), null, i(0)},
                    {i(15), i(2), i(1), s("x\\ä"), null, i(0)},
                    {i(1), i(2), i(2), s("File:"), null, i(0)},
                    {i(12), i(2), i(2), s("Twelve"), null, i(0)},
                    {i(1), i(3), i(1), s("Modul drei"), null, i(0)},
                });
  }

  kvtest::TempDir config{"kvlangcfg"};
  kvtest::ScopedEnv configEnv{"KV_CONFIG_DIR", config.str()};
  kvtest::TempDir db{"kvlangdb"};
};

TEST_F(LangCacheTest, StoredTextsAreDecodedAndTakenFromTheirColumn) {
  TLangCache cache(2, "Korv3");
  cache.SetLanguage(1);
  EXPECT_EQ(cache.Language, 1);
  struct Case {
    int id;
    std::string text;
  };
  const Case cases[] = {
      {1, "Datei:"},                         // the first of two rows numbered 1
      {2, "J"},                              // lower-case digits count
      {3, ""},                               // a lone backslash goes
      {9, "x4"},                             // a backslash before the last character goes
      {4, "Ein langer Text (mit Klammern)"}, // lislong 1: the long text
      {5, "kurz fünf"},                      // lislong 0, 2 or empty: the short text
      {6, "kurz sechs"},
      {7, "ohne Merker"},
      {8, "Größe"}, // escaped bytes of the table's code page (1252)
      // No digit check: 'Z' counts 90 - 55 = 35, so 16*35+35 = 595, 83 ('S') modulo 256; a
      // backslash counts 92 - 55 = 37, so "0\" is 37 ('%'); the next backslash starts "41".
      {10, "S%A"},
      {11, "100% "},
      {12, "Zwölf"},
      {-5, "Minus fünf"},
      // Characters after a backslash are those of the code page: 'ä' is E4, 228 - 55 = 173, so
      // 16*173+1 = 2769, D1 modulo 256, which is 'Ñ'; a single one at the end goes with its backslash.
      {14, "Ñ"},
      {15, "xä"},
      {13, "## 13 ##"}, // not in this language
      {0, "## 0 ##"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(cache.GetText(c.id), c.text);
    EXPECT_EQ(cache.GetLaufweite(c.id), 0);
  }
  EXPECT_EQ(cache.Tree->Count, 15); // 16 rows, two of them numbered 1
}

TEST_F(LangCacheTest, NewCacheAnswersEveryNumberWithItsPlaceholder) {
  TLangCache cache(2, "Korv3");
  EXPECT_EQ(cache.Language, 0);
  EXPECT_EQ(cache.GetText(7), "## 7 ##");
  EXPECT_EQ(cache.GetText(-3), "## -3 ##");
  EXPECT_EQ(cache.GetText(-2147483647 - 1), "## -2147483648 ##");
  EXPECT_EQ(cache.GetLaufweite(7), 0);
  cache.SetLanguage(std::string("Deutsch")); // names are ignored
  EXPECT_EQ(cache.Language, 0);
  EXPECT_EQ(cache.GetText(1), "## 1 ##");
}

TEST_F(LangCacheTest, EachLoadReplacesTheTextsAndReadsTheSettingsOfThatMoment) {
  TLangCache cache(2, "Korv3");
  cache.SetLanguage(1);
  cache.SetLanguage(2);
  EXPECT_EQ(cache.Language, 2);
  EXPECT_EQ(cache.GetText(1), "File:");
  EXPECT_EQ(cache.GetText(12), "Twelve");
  EXPECT_EQ(cache.GetText(2), "## 2 ##"); // language 1's texts are gone
  EXPECT_EQ(cache.Tree->Count, 2);

  // Module and database take effect at the next load only.
  cache.SetModuleID(3);
  cache.SetDatabase("Nowhere");
  EXPECT_EQ(cache.ModuleID, 3);
  EXPECT_EQ(cache.Database, "Nowhere");
  EXPECT_EQ(cache.GetText(1), "File:");
  cache.SetDatabase(db.str()); // a directory names a database too
  cache.SetLanguage(1);
  EXPECT_EQ(cache.GetText(1), "Modul drei");
  EXPECT_EQ(cache.Tree->Count, 1);
  cache.SetModuleID(4);
  cache.SetLanguage(1);
  EXPECT_EQ(cache.Tree->Count, 0);
  EXPECT_EQ(cache.GetText(1), "## 1 ##");
}

TEST_F(LangCacheTest, DatabaseFailuresPassThroughAndLeaveWhatWasRead) {
  struct Case {
    const char* what;
    std::function<void(TLangCache&)> prepare;
  };
  const Case cases[] = {
      {"unknown database", [](TLangCache& c) { c.SetDatabase("Nowhere"); }},
      {"missing table", [this](TLangCache&) { std::filesystem::remove(db / "LANG.DB"); }},
      {"missing column",
       [this](TLangCache&) {
         CreateTable(db / "LANG.DB",
                     {{"lid", TFieldType::ftInteger, 0},
                      {"lfkmodid", TFieldType::ftInteger, 0},
                      {"llang", TFieldType::ftInteger, 0},
                      {"ltext", TFieldType::ftString, 20}},
                     {{i(1), i(2), i(1), s("eins")}});
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    TLangCache cache(2, "Korv3");
    cache.SetLanguage(2);
    ASSERT_EQ(cache.GetText(1), "File:");
    c.prepare(cache);
    EXPECT_THROW(cache.SetLanguage(1), EDatabaseError);
    EXPECT_EQ(cache.Language, 1);
    EXPECT_EQ(cache.GetText(1), "## 1 ##");
    EXPECT_EQ(cache.Tree->Count, 0);
  }
}

// ---- a language table as the product keeps it: long texts in LANG.MB, written by pxlib and
// padded to whole 4 kB blocks as a desktop engine leaves its memo files

// One row: the stored texts are bytes of code page 1252 (nullopt: null); `text` is what the cache
// must answer for the row's number, hand-decoded into UTF-8.
struct LangRow {
  int lid, module, lang, islong;
  std::optional<std::string> ltext, llongtext;
  std::string text;
};

std::string hexOf(const std::optional<std::string>& bytes) {
  if (!bytes) return "-";
  std::string out;
  char buf[3];
  for (unsigned char c : *bytes) {
    std::snprintf(buf, sizeof buf, "%02x", c);
    out += buf;
  }
  return out.empty() ? "-" : out;
}

// `length` stored bytes: a run of one letter, then the escape "\E4" (ä in 1252).
std::string stored(size_t length, char letter) { return std::string(length - 3, letter) + "\\E4"; }
std::string shown(size_t length, char letter) { return std::string(length - 3, letter) + "ä"; }

std::string pxlibPeer() { return kvtest::shellQuote((kvtest::buildDir() / "bin" / "pxlib_peer").string()); }

class LangTableTest : public LangCacheTest {
protected:
  void SetUp() override {
    LangCacheTest::SetUp();
    writeTable("");
  }
  void TearDown() override { Session().RemoveAllPasswords(); }

  // pxlib writes the rows, with a password encrypted.
  void writeTable(const std::string& password) {
    std::filesystem::remove(db / "LANG.DB");
    std::filesystem::remove(db / "LANG.MB");
    std::string lines;
    for (const auto& r : rows)
      lines += std::to_string(r.lid) + " " + std::to_string(r.module) + " " + std::to_string(r.lang) + " " +
               std::to_string(r.islong) + " " + hexOf(r.ltext) + " " + hexOf(r.llongtext) + "\n";
    kvtest::writeFile(config / "rows.txt", lines);
    const auto wrote = kvtest::run(pxlibPeer() + " write " + tableFiles() + " " +
                                   kvtest::shellQuote((config / "rows.txt").string()) +
                                   (password.empty() ? "" : " " + kvtest::shellQuote(password)));
    ASSERT_EQ(wrote.exitCode, 0) << wrote.err;
  }
  std::string tableFiles() const {
    return kvtest::shellQuote((db / "LANG.DB").string()) + " " +
           kvtest::shellQuote((db / "LANG.MB").string());
  }

  // Loading language 1 raises the engine's exception, its message naming each of `parts`.
  void expectLoadFails(TLangCache& cache, std::initializer_list<const char*> parts) {
    try {
      cache.SetLanguage(1);
      ADD_FAILURE() << "no exception";
    } catch (const EDBEngineError& e) {
      const std::string message = e.what();
      for (const char* part : parts)
        EXPECT_NE(message.find(part), std::string::npos) << message;
    }
  }

  // Module 5, language 1, the first row of each number, as the rows say it must read.
  void expectEveryText(TLangCache& cache) {
    std::map<int, std::string> expected;
    for (const auto& r : rows)
      if (r.module == 5 && r.lang == 1) expected.emplace(r.lid, r.text);
    EXPECT_EQ(cache.Tree->Count, static_cast<int>(expected.size()));
    for (const auto& [lid, text] : expected) {
      SCOPED_TRACE(lid);
      EXPECT_EQ(cache.GetText(lid), text);
    }
  }

  // Where pxlib put a long text: the offset of its first bytes in the memo file.
  size_t memoAt(const std::string& text) {
    const auto at = kvtest::readFile(db / "LANG.MB").find(text.substr(0, 40));
    EXPECT_NE(at, std::string::npos);
    return at;
  }
  void padMemoFile() {
    auto bytes = kvtest::readFile(db / "LANG.MB");
    bytes.resize((bytes.size() + 4095) / 4096 * 4096, '\0');
    kvtest::writeFile(db / "LANG.MB", bytes);
  }
  void patchMemoFile(size_t at, char byte) {
    auto bytes = kvtest::readFile(db / "LANG.MB");
    bytes.at(at) = byte;
    kvtest::writeFile(db / "LANG.MB", bytes);
  }

  // Module 5, language 1 is the one loaded; the other rows are there to be left alone.
  const std::vector<LangRow> rows = {
      {1, 5, 1, 0, "Datei\\3A", std::nullopt, "Datei:"},
      {2, 5, 1, 0, "Gr\\F6\\DFe \\80", std::nullopt, "Größe €"},
      {3, 5, 1, 0,
       "M\xFC"
       "ller \x80 \x9C",
       std::nullopt, "Müller € œ"},
      {4, 5, 1, 1, "kurz", stored(600, 'a'), shown(600, 'a')},           // shares a memo block
      {5, 5, 1, 1, "kurz", stored(70000, 'b'), shown(70000, 'b')},       // a block of its own
      {6, 5, 1, 2, "zwei", stored(1500, 'c'), "zwei"},                   // lislong 2: the short text
      {7, 5, 1, 0, "null", stored(5000, 'd'), "null"},                   // lislong 0
      {8, 5, 1, 1, std::nullopt, "im Datensatz \\E4", "im Datensatz ä"}, // kept whole in the record
      {9, 6, 1, 1, "fremd", stored(70000, 'e'), ""},                     // another module's
      {10, 6, 1, 1, std::nullopt, stored(600, 'f'), ""},
      {11, 5, 2, 1, "englisch", stored(3000, 'g'), ""}, // another language
      {4, 5, 1, 0, "zweite Vier", std::nullopt, ""},    // the first of a number wins
      {12, 5, 1, 1, std::nullopt, stored(2000, 'h'), shown(2000, 'h')},
      {13, 5, 1, 1, std::nullopt, stored(1760, 'j'), shown(1760, 'j')}, // ends at its block's last byte
      {-3, 5, 1, 1, "minus", stored(4100, 'i'), shown(4100, 'i')},
  };
};

TEST_F(LangTableTest, LongTextsComeFromTheMemoFileConvertedFromItsCodePage) {
  // pxlib reads back what it wrote, from its own unpadded file; ours reads the same texts.
  const auto read = kvtest::run(pxlibPeer() + " read " + tableFiles());
  ASSERT_EQ(read.exitCode, 0) << read.err;
  std::istringstream lines(read.out);
  TQuery q;
  q.DatabaseName = "Korv3";
  q.SQL.SetText("select * from lang.db");
  q.Open();
  const SingleByteCodePage& cp1252 = SingleByteCodePage::get(1252);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.lid);
    std::string lid, module, lang, islong, ltext, llongtext;
    lines >> lid >> module >> lang >> islong >> ltext >> llongtext;
    EXPECT_EQ(ltext, hexOf(r.ltext));
    EXPECT_EQ(llongtext, hexOf(r.llongtext));
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldByName("lid").AsInteger(), r.lid);
    EXPECT_EQ(q.FieldByName("ltext").AsString(), cp1252.toUtf8(r.ltext.value_or("")));
    EXPECT_EQ(q.FieldByName("llongtext").AsString(), cp1252.toUtf8(r.llongtext.value_or("")));
    q.Next();
  }
  EXPECT_TRUE(q.Eof());
  q.Close();

  padMemoFile();
  EXPECT_EQ(std::filesystem::file_size(db / "LANG.MB") % 4096, 0u);
  TLangCache cache(5, "Korv3");
  cache.SetLanguage(1);
  expectEveryText(cache);
}

// A password-protected table as the desktop engine leaves it: records encrypted by pxlib, the memo
// file enciphered by libpx's own cipher with the table's key.
TEST_F(LangTableTest, AnEncryptedTablesMemoFileIsDecipheredWithItsKey) {
  writeTable("58k31");
  const auto enciphered = kvtest::run(pxlibPeer() + " encipher " + tableFiles());
  ASSERT_EQ(enciphered.exitCode, 0) << enciphered.err;
  const auto memo = kvtest::readFile(db / "LANG.MB");
  ASSERT_EQ(memo.find(std::string(100, 'b')), std::string::npos);

  // Without the password the load ends naming the table and what it lacks.
  TLangCache cache(5, "Korv3");
  expectLoadFails(cache, {"LANG.DB", "encrypted", "password"});
  EXPECT_EQ(cache.Tree->Count, 0);

  Session().AddPassword("58k31");
  cache.SetLanguage(1);
  expectEveryText(cache);
}

TEST_F(LangTableTest, OnlyTheMemosOfTheRowsReadCanFail) {
  padMemoFile();
  // Damaged memos of another module's row and of a row whose text is the short one change nothing.
  patchMemoFile(memoAt(rows[8].llongtext.value()) - 9, '\x04');
  patchMemoFile(memoAt(rows[6].llongtext.value()) - 9, '\x04');
  TLangCache cache(5, "Korv3");
  cache.SetLanguage(1);
  EXPECT_EQ(cache.GetText(5), shown(70000, 'b'));
  EXPECT_EQ(cache.GetText(7), "null");

  // A damaged memo of a row loaded fails the load, naming table, record and field; no part of it
  // is shown as the text.
  patchMemoFile(memoAt(rows[4].llongtext.value()) - 9, '\x04');
  expectLoadFails(cache, {"LANG.DB", "record 5", "llongtext"});
  EXPECT_EQ(cache.GetText(5), "## 5 ##");
  EXPECT_EQ(cache.GetText(4), shown(600, 'a')); // read before the failure
}

// The demo's sample database keeps its long texts in LANG.MB, whole blocks enciphered with the table's
// key as libpx deciphers them, and the cache reads them with the table password.
TEST_F(LangTableTest, TheDemoDatabaseCarriesLongTexts) {
  std::filesystem::remove(db / "LANG.DB");
  std::filesystem::remove(db / "LANG.MB");
  const auto made = kvtest::run(kvtest::shellQuote((kvtest::buildDir() / "bin" / "kvmkdemo").string()) + " " +
                                kvtest::shellQuote(db.str()) + " --password 58k31");
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const auto memoSize = std::filesystem::file_size(db / "LANG.MB");
  EXPECT_EQ(memoSize % 4096, 0u);
  EXPECT_GT(memoSize, 4096u);
  const std::string paragraph =
      "Jeder Punkt ist die mittlere Dichte eines Tages; ein Tag ohne Messung l\\E4sst";
  const auto enciphered = kvtest::readFile(db / "LANG.MB");
  EXPECT_EQ(enciphered.find(paragraph), std::string::npos);
  const auto deciphered = kvtest::run(pxlibPeer() + " decipher " + tableFiles());
  ASSERT_EQ(deciphered.exitCode, 0) << deciphered.err;
  const auto plain = kvtest::readFile(db / "LANG.MB");
  EXPECT_EQ(plain.substr(0, 3), std::string("\0\1\0", 3)); // the header block
  EXPECT_NE(plain.find(paragraph), std::string::npos);
  kvtest::writeFile(db / "LANG.MB", enciphered);

  std::string help;
  for (int k = 0; k < 8; ++k)
    help += "Jeder Punkt ist die mittlere Dichte eines Tages; ein Tag ohne Messung lässt eine Lücke. ";
  Session().AddPassword("58k31");
  TLangCache cache(2, "Korv3");
  cache.SetLanguage(2);
  EXPECT_EQ(cache.GetText(2), "Zeigt die gemessenen Dichten der gewählten Tage.");
  EXPECT_EQ(cache.GetText(3), help);
  cache.SetModuleID(3);
  cache.SetLanguage(1);
  EXPECT_EQ(cache.GetText(1).size(), 500u * 149); // 149 characters a paragraph
}

// A text found costs no allocation besides the string returned.
TEST_F(LangCacheTest, FoundTextsAreReturnedWithoutFurtherAllocation) {
  TLangCache cache(2, "Korv3");
  cache.SetLanguage(1);
  struct Case {
    int id;
    long allocations;
  };
  const Case cases[] = {{4, 1}, {2, 0}}; // a long text is copied once; "J" fits the string itself
  for (const auto& c : cases) {
    const long before = gAllocations;
    const std::string text = cache.GetText(c.id);
    EXPECT_EQ(gAllocations - before, c.allocations) << c.id;
  }
}

// A load allocates for each row its entry, the entry's place in the tree and its text, nothing more:
// the rows are picked and read from the stored bytes, whatever the table holds beside them.
TEST_F(LangCacheTest, LoadingAllocatesOnlyWhatItKeeps) {
  const auto allocationsToLoad = [&](int rows) {
    std::vector<std::vector<FieldValue>> records;
    for (int n = 0; n < rows; ++n) {
      // Another module's row and a second row of the number beside each one kept.
      const std::string text = "Eintrag Nummer " + std::to_string(n) + " \\E4";
      const bool isLong = n % 10 == 0;
      records.push_back(
          {i(n), i(2), i(1), s(text), isLong ? s(std::string(500, 'x') + text) : null, i(isLong)});
      records.push_back({i(n), i(2), i(1), s("zweite " + text), null, i(0)});
      records.push_back({i(n), i(3), i(1), s("fremd " + text), null, i(0)});
    }
    CreateTable(db / "LANG.DB", kLangFields, records);
    TLangCache cache(2, "Korv3");
    const long before = gAllocations;
    cache.SetLanguage(1);
    const long allocations = gAllocations - before;
    EXPECT_EQ(cache.Tree->Count, rows);
    EXPECT_EQ(cache.GetText(10), std::string(500, 'x') + "Eintrag Nummer 10 ä");
    return allocations;
  };
  const long small = allocationsToLoad(200);
  const long large = allocationsToLoad(400);
  // 200 rows more, 3 allocations each; a few for the lists of rows, which grow by doubling.
  EXPECT_LE(large - small, 3 * 200 + 8);
}

// ---- translating forms

class TranslateTest : public LangCacheTest {
protected:
  void SetUp() override {
    LangCacheTest::SetUp();
    kvtest::startHeadlessApplication();
    CreateTable(db / "LANG.DB", kLangFields,
                {
                    {i(-5), i(7), i(1), s("Spalte minus"), null, i(0)},
                    {i(1), i(7), i(1), s("Formular"), null, i(0)},
                    {i(2), i(7), i(1), s("Name\\3A"), null, i(0)},
                    {i(3), i(7), i(1), s("Eingabe"), null, i(0)},
                    {i(4), i(7), i(1), s("Seite eins"), null, i(0)},
                    {i(5), i(7), i(1), s("Seite zwei"), null, i(0)},
                    {i(6), i(7), i(1), s("Spalte"), null, i(0)},
                    {i(7), i(7), i(1), s("Knopf"), null, i(0)},
                    {i(8), i(7), i(1), s("Auswahl"), null, i(0)},
                    {i(9), i(7), i(1), s("Datei"), null, i(0)},
                    {i(10), i(7), i(1), s("\\D6ffnen"), null, i(0)},
                });
    cache.SetLanguage(1);
  }
  void TearDown() override { ResetApplication(); }

  template <class T> T* add(TWinControl* parent, int tag, const std::string& text = "orig") {
    auto* c = new T(form);
    c->SetParent(parent);
    c->Tag = tag;
    c->SetText(text);
    return c;
  }

  TLangCache cache{7, "Korv3"};
  TForm* form = nullptr;
};

TEST_F(TranslateTest, ControlsWithATextNumberGetTheirText) {
  form = TCustomForm::CreateNew<TForm>(&Application());
  form->Tag = 1;
  form->SetCaption("Form1");
  auto* label = add<TLabel>(form, 2);
  auto* untagged = add<TLabel>(form, 0, "bleibt");
  auto* negative = add<TLabel>(form, -1, "negativ");
  auto* edit = add<TEdit>(form, 3);
  auto* memo = add<TMemo>(form, 3, "Memo"); // memos are not translated
  auto* scroll = add<TScrollBar>(form, 3);
  auto* missing = add<TLabel>(form, 99);

  auto* pages = add<TPageControl>(form, 7, "Reiter");
  auto* page1 = new TTabSheet(form);
  page1->SetPageControl(pages);
  page1->Tag = 4;
  auto* page2 = new TTabSheet(form);
  page2->SetPageControl(pages);
  page2->Tag = 5;
  auto* onPage = add<TCheckBox>(page2, 8);

  auto* panel = add<TPanel>(form, 9);
  auto* button = add<TButton>(panel, 7);
  auto* radio = add<TRadioButton>(panel, 8);
  auto* group = add<TGroupBox>(panel, 2);
  auto* inGroup = add<TStaticText>(group, 3);
  auto* radioGroup = add<TRadioGroup>(panel, 4);
  auto* untaggedPanel = add<TPanel>(form, 0, "Panel");
  auto* deep = add<TLabel>(untaggedPanel, 6);

  auto* view = new TListView(form);
  view->SetParent(form);
  view->Tag = 1; // list views keep their own text
  for (int tag : {6, 0, -5, 99}) {
    TListColumn* col = view->Columns().Add();
    col->SetCaption("col");
    col->SetTag(tag);
  }

  auto* bar = add<TToolBar>(form, 0);
  auto* toolButton = new TToolButton(form);
  toolButton->SetParent(bar);
  toolButton->Tag = 7;
  toolButton->SetCaption("Werkzeug"); // tool buttons are not among the translated classes

  auto* bitBtn = add<TBitBtn>(panel, 7);
  auto* speed = add<TSpeedButton>(panel, 8);

  cache.TranslateControls(form);

  EXPECT_EQ(form->Caption(), "Formular");
  EXPECT_EQ(label->Caption(), "Name:");
  EXPECT_EQ(untagged->Caption(), "bleibt");
  EXPECT_EQ(negative->Caption(), "negativ");
  EXPECT_EQ(edit->Text(), "Eingabe");
  EXPECT_EQ(memo->Text(), "Memo");
  EXPECT_EQ(scroll->Caption(), "orig");
  EXPECT_EQ(missing->Caption(), "## 99 ##");
  EXPECT_EQ(pages->Caption(), "Reiter");
  EXPECT_EQ(page1->Caption(), "Seite eins");
  EXPECT_EQ(page2->Caption(), "Seite zwei");
  EXPECT_EQ(onPage->Caption(), "Auswahl");
  EXPECT_EQ(panel->Caption(), "Datei");
  EXPECT_EQ(button->Caption(), "Knopf");
  EXPECT_EQ(radio->Caption(), "Auswahl");
  EXPECT_EQ(group->Caption(), "Name:");
  EXPECT_EQ(inGroup->Caption(), "Eingabe");
  EXPECT_EQ(radioGroup->Caption(), "Seite eins");
  EXPECT_EQ(untaggedPanel->Caption(), "Panel");
  EXPECT_EQ(deep->Caption(), "Spalte");
  EXPECT_EQ(view->Caption(), "");
  EXPECT_EQ(view->Column(0)->Caption(), "Spalte");
  EXPECT_EQ(view->Column(1)->Caption(), "col");
  EXPECT_EQ(view->Column(2)->Caption(), "Spalte minus"); // columns take negative numbers too
  EXPECT_EQ(view->Column(3)->Caption(), "## 99 ##");
  EXPECT_EQ(toolButton->Caption(), "Werkzeug");
  EXPECT_EQ(bitBtn->Caption(), "Knopf");
  EXPECT_EQ(speed->Caption(), "Auswahl");

  // Translating starts below the form as well, and an empty root does nothing.
  label->SetCaption("again");
  cache.TranslateControls(panel);
  EXPECT_EQ(label->Caption(), "again");
  EXPECT_EQ(button->Caption(), "Knopf");
  cache.TranslateControls(nullptr);
}

// A menu item of text number `tag` under `parent`.
TMenuItem* addItem(TMenuItem* parent, int tag, const std::string& caption) {
  auto* item = new TMenuItem(nullptr); // freed with its parent item
  item->Tag = tag;
  item->SetCaption(caption);
  parent->Add(item);
  return item;
}

TEST_F(TranslateTest, MenuItemsWithANonZeroNumberGetTheirCaption) {
  TMainMenu menu(nullptr);
  TMenuItem* root = menu.Items();
  root->Tag = 9;
  root->SetCaption("root");
  TMenuItem* file = addItem(root, 9, "&File");
  TMenuItem* open = addItem(file, 10, "&Open");
  TMenuItem* sep = addItem(file, 0, "-");
  TMenuItem* sub = addItem(file, -5, "Sub");
  TMenuItem* deep = addItem(sub, 99, "deep");
  TMenuItem* edit = addItem(root, 0, "&Edit");
  TMenuItem* under = addItem(edit, 2, "x");

  cache.TranslateMenu(&menu);
  EXPECT_EQ(root->Caption(), "root");
  EXPECT_EQ(file->Caption(), "Datei");
  EXPECT_EQ(open->Caption(), "Öffnen");
  EXPECT_EQ(sep->Caption(), "-");
  EXPECT_EQ(sub->Caption(), "Spalte minus");
  EXPECT_EQ(deep->Caption(), "## 99 ##");
  EXPECT_EQ(edit->Caption(), "&Edit");
  EXPECT_EQ(under->Caption(), "Name:");
  cache.TranslateMenu(nullptr);

  // A popup menu is a menu as well.
  TPopupMenu popup(nullptr);
  TMenuItem* item = addItem(popup.Items(), 2, "y");
  cache.TranslateMenu(&popup);
  EXPECT_EQ(item->Caption(), "Name:");
}

} // namespace
