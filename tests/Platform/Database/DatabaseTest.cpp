#include "DbTestSupport.h"

#include <algorithm>

using namespace kv::platform;
using dbtest::engineError;
using dbtest::LockHolder;
using dbtest::outsiderCanLock;

namespace {

const std::vector<TFieldDef> kConfigFields = {
    {"cid", TFieldType::ftInteger, 0},     {"cname", TFieldType::ftString, 20},
    {"cshort", TFieldType::ftSmallint, 0}, {"cflag", TFieldType::ftBoolean, 0},
    {"cvalue", TFieldType::ftFloat, 0},    {"cnote", TFieldType::ftMemo, 40},
};

std::vector<std::vector<FieldValue>> configRecords() {
  return {
      {std::int64_t{1}, std::string("Grüße"), std::int64_t{-7}, std::int64_t{1}, 2.5,
       std::string("erste Zeile")},
      {std::int64_t{2}, FieldValue{}, std::int64_t{32767}, std::int64_t{0}, -0.125, FieldValue{}},
      {std::int64_t{-3}, std::string("€ 12"), FieldValue{}, FieldValue{}, FieldValue{}, std::string(30, 'm')},
  };
}

std::uint32_t le(const std::vector<unsigned char>& b, size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = (v << 8) | b.at(at + i);
  return v;
}

bool contains(const std::vector<unsigned char>& bytes, const std::string& needle) {
  const std::vector<unsigned char> wanted(needle.begin(), needle.end());
  return std::search(bytes.begin(), bytes.end(), wanted.begin(), wanted.end()) != bytes.end();
}

std::vector<std::string> lines(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i)
    out.push_back(list[i]);
  return out;
}

std::vector<std::string> filesIn(const std::filesystem::path& dir) {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    files.push_back(e.path().filename());
  std::sort(files.begin(), files.end());
  return files;
}

using DatabaseTest = dbtest::DatabaseFixture;

} // namespace

TEST_F(DatabaseTest, AliasParamsComeFromTheAliasFile) {
  struct Case {
    const char* file;
    const char* alias;
    std::vector<std::string> params; // empty: the alias is unknown
  };
  const Case cases[] = {
      {"[Korv3]\nPATH=/srv/db\n", "Korv3", {"PATH=/srv/db"}},
      {"[KORV3]\r\n PATH = /srv/db \r\nDEFAULT DRIVER=PARADOX\r\n",
       "korv3",
       {"PATH=/srv/db", "DEFAULT DRIVER=PARADOX"}},
      {"; comment\n[Other]\nPATH=/a\n\n# more\n[Korv3]\nPATH=/b\n[Third]\nPATH=/c\n", "Korv3", {"PATH=/b"}},
      {"[Korv3]\nPATH=/first\n[korv3]\nPATH=/second\n", "Korv3", {"PATH=/first"}},
      {"\xEF\xBB\xBF[Korv3]\nPATH=/bom\n", "Korv3", {"PATH=/bom"}},
      {"[Korv3]\nPATH=/srv/db\n", "Korv", {}},
      {"", "Korv3", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    kvtest::writeFile(config / "aliases.ini", c.file);
    TStringList list;
    list.Add("stale");
    if (c.params.empty()) {
      EXPECT_NE(engineError([&] { Session().GetAliasParams(c.alias, list); }).find(c.alias),
                std::string::npos);
    } else {
      Session().GetAliasParams(c.alias, list);
      EXPECT_EQ(lines(list), c.params);
    }
  }
  std::filesystem::remove(config / "aliases.ini");
  TStringList list;
  EXPECT_THROW(Session().GetAliasParams("Korv3", list), EDBEngineError);
}

TEST_F(DatabaseTest, TableNamesAreListedRegardlessOfCase) {
  for (const char* name : {"CONFIG.DB", "modules.db", "Lang.Db", "LDEF.DB", "notes.txt", "LDEF.DB.bak",
                           "kvbak", "CONFIG.MB", "PARADOX.LCK"})
    kvtest::writeFile(db / name, "x");
  std::filesystem::create_directory(db / "OLD.DB");
  TStringList list;
  Session().GetTableNames("Korv3", "*.DB", true, false, list);
  EXPECT_EQ(lines(list), (std::vector<std::string>{"CONFIG.DB", "Lang.Db", "LDEF.DB", "modules.db"}));
  Session().GetTableNames("Korv3", "*.DB", false, false, list);
  EXPECT_EQ(lines(list), (std::vector<std::string>{"CONFIG", "Lang", "LDEF", "modules"}));
  Session().GetTableNames(db.str(), "l*.db", true, false, list);
  EXPECT_EQ(lines(list), (std::vector<std::string>{"Lang.Db", "LDEF.DB"}));
  EXPECT_NE(
      engineError([&] { Session().GetTableNames("Nowhere", "*.DB", true, false, list); }).find("Nowhere"),
      std::string::npos);
}

TEST_F(DatabaseTest, WrittenTableReadsBackWithItsValues) {
  CreateTable(db / "CONFIG.DB", kConfigFields, configRecords());

  // Header fields checked by hand: record size is the sum of the field widths
  // (4 + 20 + 2 + 1 + 8 + 40), the record count sits at offset 6, the field count at 33.
  const auto bytes = kvtest::readBytes(db / "CONFIG.DB");
  EXPECT_EQ(le(bytes, 0, 2), 75u);
  EXPECT_EQ(le(bytes, 6, 4), 3u);
  EXPECT_EQ(bytes.at(33), 6);
  // Texts are stored in Windows-1252: "Grüße" is 47 72 FC DF 65, "€" is 80.
  EXPECT_TRUE(contains(bytes, "Gr\xFC\xDF"
                              "e"));
  EXPECT_TRUE(contains(bytes, "\x80 12"));

  TTable table;
  table.DatabaseName = "Korv3";
  table.TableName = "config"; // no extension, other case
  table.Open();
  ASSERT_TRUE(table.Active());
  ASSERT_EQ(table.FieldCount(), 6);
  EXPECT_EQ(table.Fields(1).FieldName(), "cname");
  EXPECT_EQ(table.Fields(1).DataType(), TFieldType::ftString);
  EXPECT_EQ(table.Fields(1).Size(), 20);
  EXPECT_EQ(table.RecordCount(), 3);

  EXPECT_EQ(table.FieldByName("CID").AsInteger(), 1);
  EXPECT_EQ(table.FieldByName("cname").AsString(), "Grüße");
  EXPECT_EQ(table.FieldByName("cshort").AsInteger(), -7);
  EXPECT_TRUE(table.FieldByName("cflag").AsBoolean());
  EXPECT_EQ(table.FieldByName("cflag").AsString(), "True");
  EXPECT_DOUBLE_EQ(table.FieldByName("cvalue").AsFloat(), 2.5);
  EXPECT_EQ(table.FieldByName("cnote").AsString(), "erste Zeile");
  table.Next();
  EXPECT_TRUE(table.FieldByName("cname").IsNull());
  EXPECT_EQ(table.FieldByName("cname").AsString(), "");
  EXPECT_EQ(table.FieldByName("cshort").AsInteger(), 32767);
  EXPECT_EQ(table.FieldByName("cvalue").AsString(), "-0.125");
  table.Next();
  EXPECT_EQ(table.FieldByName("cid").AsInteger(), -3);
  EXPECT_EQ(table.FieldByName("cname").AsString(), "€ 12");
  EXPECT_TRUE(table.FieldByName("cshort").IsNull());
  EXPECT_EQ(table.FieldByName("cshort").AsInteger(), 0);
  EXPECT_EQ(table.FieldByName("cnote").AsString(), std::string(30, 'm'));
  EXPECT_EQ(table.FindField("nothere"), nullptr);
  EXPECT_THROW(table.FieldByName("nothere"), EDatabaseError);
  EXPECT_THROW(table.FieldByName("cname").AsInteger(), EDatabaseError);
  table.Close();
  EXPECT_FALSE(table.Active());
}

TEST_F(DatabaseTest, RecordNavigationStopsAtBothEnds) {
  CreateTable(db / "T.DB", {{"n", TFieldType::ftInteger, 0}},
              {{std::int64_t{10}}, {std::int64_t{20}}, {std::int64_t{30}}});
  CreateTable(db / "EMPTY.DB", {{"n", TFieldType::ftInteger, 0}}, {});
  TTable t;
  t.DatabaseName = "Korv3";
  t.TableName = "T.DB";
  t.Open();
  std::vector<int> seen;
  for (; !t.Eof(); t.Next())
    seen.push_back(t.Fields(0).AsInteger());
  EXPECT_EQ(seen, (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(t.RecNo(), 3); // stays on the last record
  t.Prior();
  EXPECT_FALSE(t.Eof());
  EXPECT_EQ(t.Fields(0).AsInteger(), 20);
  t.First();
  EXPECT_TRUE(t.Bof());
  t.Prior();
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.Fields(0).AsInteger(), 10);
  t.Last();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.Fields(0).AsInteger(), 30);

  TTable e;
  e.DatabaseName = "Korv3";
  e.TableName = "empty";
  e.Open();
  EXPECT_TRUE(e.Eof());
  EXPECT_TRUE(e.Bof());
  EXPECT_EQ(e.RecNo(), 0);
  EXPECT_TRUE(e.Fields(0).IsNull());
}

TEST_F(DatabaseTest, FailuresNameTheTable) {
  CreateTable(db / "GOOD.DB", {{"n", TFieldType::ftInteger, 0}}, {{std::int64_t{1}}});
  kvtest::writeFile(db / "GARBAGE.DB", std::string(3000, '\x6c'));
  kvtest::writeFile(db / "EMPTY.DB", "");
  const auto good = kvtest::readFile(db / "GOOD.DB");
  kvtest::writeFile(db / "CUT.DB", good.substr(0, good.size() - 100));
  // A header that claims to end before its fixed part does.
  kvtest::writeFile(db / "TINY.DB", good.substr(0, 2) + std::string("\x60\x00", 2) + good.substr(4, 0x5C));
  // Fields narrower than their type is read (record size and the field's length at 0x79 agreeing):
  // an integer of three bytes, a memo too short for the ten bytes that say where its text lies.
  const auto narrowed = [&](const std::string& bytes, char width) {
    std::string b = bytes;
    b[0] = b[0x79] = width;
    b[1] = 0;
    return b;
  };
  kvtest::writeFile(db / "NARROW.DB", narrowed(good, 3));
  CreateTable(db / "MEMO.DB", {{"m", TFieldType::ftMemo, 11}}, {{std::string("x")}});
  kvtest::writeFile(db / "SHORTMEMO.DB", narrowed(kvtest::readFile(db / "MEMO.DB"), 9));
  struct Case {
    const char* database;
    const char* table;
    const char* expected; // part of the message besides the table name
  };
  const Case cases[] = {
      {"Nowhere", "GOOD.DB", "Unknown database Nowhere"},
      {"Korv3", "MISSING.DB", "does not exist"},
      {"Korv3", "GARBAGE.DB", "not a Paradox table"},
      {"Korv3", "EMPTY.DB", "is an empty file"},
      {"Korv3", "CUT.DB", "damaged"},
      {"Korv3", "TINY.DB", "not a Paradox table"},
      {"Korv3", "NARROW.DB", "not a Paradox table"},
      {"Korv3", "SHORTMEMO.DB", "not a Paradox table"},
      {"/no/such/dir", "GOOD.DB", "Unknown database"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    TTable t;
    t.DatabaseName = c.database;
    t.TableName = c.table;
    const std::string message = engineError([&] { t.Open(); });
    EXPECT_NE(message.find(c.table), std::string::npos) << message;
    EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    EXPECT_FALSE(t.Active());
  }
  // A failed open leaves no lock behind.
  EXPECT_TRUE(outsiderCanLock(db / "GARBAGE.DB", true));
}

TEST_F(DatabaseTest, OpenTablesHoldLocksThatOtherProgramsSee) {
  CreateTable(db / "CONFIG.DB", kConfigFields, configRecords());
  const auto file = db / "CONFIG.DB";
  TTable shared1, shared2, exclusive;
  for (TTable* t : {&shared1, &shared2, &exclusive}) {
    t->DatabaseName = "Korv3";
    t->TableName = "CONFIG.DB";
  }
  exclusive.Exclusive = true;

  shared1.Open();
  shared2.Open(); // shared opens coexist
  EXPECT_TRUE(outsiderCanLock(file, false));
  EXPECT_FALSE(outsiderCanLock(file, true));
  const std::string busy = engineError([&] { exclusive.Open(); });
  EXPECT_NE(busy.find("CONFIG.DB"), std::string::npos) << busy;
  EXPECT_NE(busy.find("in use"), std::string::npos) << busy;
  shared1.Close();
  shared2.Close();

  exclusive.Open();
  EXPECT_FALSE(outsiderCanLock(file, false));
  EXPECT_THROW(shared1.Open(), EDBEngineError);
  exclusive.Close();
  EXPECT_TRUE(outsiderCanLock(file, true));

  {
    LockHolder other(file, false);
    ASSERT_TRUE(other.locked());
    EXPECT_NE(engineError([&] { exclusive.Open(); }).find("CONFIG.DB"), std::string::npos);
    shared1.Open();
    EXPECT_EQ(shared1.RecordCount(), 3);
    shared1.Close();
  }
  {
    LockHolder other(file, true);
    ASSERT_TRUE(other.locked());
    EXPECT_THROW(shared1.Open(), EDBEngineError);
  }
  exclusive.Open();
  EXPECT_TRUE(exclusive.Active());
  exclusive.Close();

  // Nothing but the table and its memo file was written into the directory.
  EXPECT_EQ(filesIn(db.path()), (std::vector<std::string>{"CONFIG.DB", "CONFIG.MB"}));
}

TEST_F(DatabaseTest, EncryptedTablesOpenOnlyWithTheirPassword) {
  CreateTable(
      db / "LDEF.DB", {{"lname", TFieldType::ftString, 30}, {"lnote", TFieldType::ftMemo, 20}},
      {{std::string("Deutsch geheim"), std::string(5000, 'n')}, {std::string("English"), FieldValue{}}},
      "58k31");
  // The plain text must not be readable in the file.
  EXPECT_FALSE(contains(kvtest::readBytes(db / "LDEF.DB"), "geheim"));
  // Nor in the memo file, which libpx's cipher deciphers with the table's key into the layout worked
  // out by hand: the header block, then the 5,000 bytes in a block of its own (9 header bytes and
  // the text take two chunks; length 0x1388, modification 1).
  const auto enciphered = kvtest::readFile(db / "LDEF.MB");
  EXPECT_EQ(enciphered.find(std::string(64, 'n')), std::string::npos);
  const auto files =
      kvtest::shellQuote((db / "LDEF.DB").string()) + " " + kvtest::shellQuote((db / "LDEF.MB").string());
  const auto peer = kvtest::shellQuote((kvtest::buildDir() / "bin" / "pxlib_peer").string());
  ASSERT_EQ(kvtest::run(peer + " decipher " + files).exitCode, 0);
  const auto plain = kvtest::readFile(db / "LDEF.MB");
  ASSERT_EQ(plain.size(), 3u * 4096);
  EXPECT_EQ(plain.substr(0, 3), std::string("\0\1\0", 3));
  EXPECT_EQ(plain.substr(4096, 9), std::string("\2\2\0\x88\x13\0\0\1\0", 9));
  EXPECT_EQ(plain.substr(4105, 5000), std::string(5000, 'n'));
  // Some writers leave the header block plain; it reads either way. The rest must be enciphered.
  kvtest::writeFile(db / "LDEF.MB", plain.substr(0, 4096) + enciphered.substr(4096));

  TTable t;
  t.DatabaseName = "Korv3";
  t.TableName = "LDEF.DB";
  t.Exclusive = true;
  std::string message = engineError([&] { t.Open(); });
  EXPECT_NE(message.find("LDEF.DB"), std::string::npos) << message;
  EXPECT_NE(message.find("password"), std::string::npos) << message;
  EXPECT_TRUE(outsiderCanLock(db / "LDEF.DB", true)); // the refused open took no lock along

  Session().AddPassword("58K31"); // another password
  EXPECT_NE(engineError([&] { t.Open(); }).find("LDEF.DB"), std::string::npos);
  Session().AddPassword("58k31");
  t.Open();
  EXPECT_EQ(t.FieldByName("lname").AsString(), "Deutsch geheim");
  EXPECT_EQ(t.FieldByName("lnote").AsString(), std::string(5000, 'n'));
  t.Close();
  kvtest::writeFile(db / "LDEF.MB", enciphered);
  t.Open();
  EXPECT_EQ(t.FieldByName("lnote").AsString(), std::string(5000, 'n'));
  t.Close();
  // A query deciphers the records it selects as well.
  TQuery q;
  q.DatabaseName = "Korv3";
  q.SQL.SetText("select * from ldef where lname='English'");
  q.Open();
  ASSERT_EQ(q.RecordCount(), 1);
  EXPECT_TRUE(q.FieldByName("lnote").IsNull());
  q.Close();

  // A session of its own holds its own passwords.
  TSession other;
  TTable u;
  u.SetSession(other);
  u.DatabaseName = "Korv3";
  u.TableName = "ldef";
  EXPECT_THROW(u.Open(), EDBEngineError);
  Session().RemovePassword("58k31");
  EXPECT_THROW(t.Open(), EDBEngineError);
}

TEST_F(DatabaseTest, WritingRefusesWhatDoesNotFitAndKeepsTheOldTable) {
  const std::vector<TFieldDef> fields = {{"name", TFieldType::ftString, 5},
                                         {"small", TFieldType::ftSmallint, 0},
                                         {"note", TFieldType::ftMemo, 15}};
  CreateTable(db / "T.DB", fields, {{std::string("alt"), std::int64_t{1}, std::string("x")}});
  const auto before = kvtest::readFile(db / "T.DB");
  struct Case {
    std::vector<FieldValue> record;
    const char* expected;
  };
  const Case cases[] = {
      {{std::string("sechs!"), std::int64_t{0}, FieldValue{}}, "longer than 5"},
      {{std::string("Ω"), std::int64_t{0}, FieldValue{}}, "code page"},
      {{std::string("\xff\xfe"), std::int64_t{0}, FieldValue{}}, "code page"},
      {{FieldValue{}, std::int64_t{32768}, FieldValue{}}, "out of range"},
      {{FieldValue{}, std::int64_t{-32769}, FieldValue{}}, "out of range"},
      {{FieldValue{}, std::string("1"), FieldValue{}}, "integer"},
      {{FieldValue{}, FieldValue{}, std::string("Ω")}, "code page"},
      {{FieldValue{}, FieldValue{}}, "needs 3 values"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    const std::string message = engineError([&] { CreateTable(db / "T.DB", fields, {c.record}); });
    EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    EXPECT_NE(message.find("T.DB"), std::string::npos) << message;
    EXPECT_EQ(kvtest::readFile(db / "T.DB"), before);
  }
  // Five characters of two UTF-8 bytes each are five bytes in CP1252 and fit.
  EXPECT_NO_THROW(
      CreateTable(db / "U.DB", fields, {{std::string("äöüßé"), FieldValue{}, std::string("12345")}}));
  std::filesystem::remove(db / "U.DB");
  std::filesystem::remove(db / "U.MB");
  EXPECT_THROW(CreateTable(db / "U.DB", {{"way_too_long_a_field_name_x", TFieldType::ftInteger, 0}}, {}),
               EDBEngineError);
  EXPECT_THROW(CreateTable(db / "U.DB", {{"m", TFieldType::ftMemo, 10}}, {}), EDBEngineError);
  EXPECT_THROW(CreateTable(db / "U.DB", {}, {}), EDBEngineError);
  EXPECT_FALSE(std::filesystem::exists(db / "U.DB"));

  // A table another program has open is not replaced.
  LockHolder other(db / "T.DB", false);
  ASSERT_TRUE(other.locked());
  EXPECT_NE(engineError([&] { CreateTable(db / "T.DB", fields, {}); }).find("in use"), std::string::npos);
  EXPECT_EQ(kvtest::readFile(db / "T.DB"), before);
  EXPECT_EQ(filesIn(db.path()), (std::vector<std::string>{"T.DB", "T.MB"}));
}

// ---- memo files

namespace {

// A table whose memo field keeps ten bytes of text in the record, with memos that stay in the record,
// share a sub-allocated block, or take blocks of their own.
const std::vector<TFieldDef> kNoteFields = {{"id", TFieldType::ftInteger, 0},
                                            {"note", TFieldType::ftMemo, 20}};
std::vector<std::vector<FieldValue>> noteRecords() {
  return {{std::int64_t{1}, std::string("kurz")},    {std::int64_t{2}, std::string(600, 'a')},
          {std::int64_t{3}, std::string(32, 'b')},   {std::int64_t{4}, std::string(70000, 'c')},
          {std::int64_t{5}, std::string(2049, 'd')}, {std::int64_t{6}, FieldValue{}}};
}

// Where a record of the notes table lies in its file: all of them sit in the first data block,
// which starts right after the header, behind the block's six bytes of links and size.
size_t recordAt(const std::vector<unsigned char>& table, int recno) {
  return (table.at(2) | table.at(3) << 8) + 6 + recno * 24;
}

void patch(const std::filesystem::path& file, size_t at, std::vector<unsigned char> bytes) {
  auto content = kvtest::readFile(file);
  std::copy(bytes.begin(), bytes.end(), content.begin() + at);
  kvtest::writeFile(file, content);
}

} // namespace

TEST_F(DatabaseTest, MemoFileLaysOutWholeBlocks) {
  CreateTable(db / "NOTES.DB", kNoteFields, noteRecords());
  // By hand from the format: the header block; a shared block at 4096 holding 600 bytes at 21 * 16
  // (38 units, 8 bytes in the last) and 32 bytes at 59 * 16 (2 units, all 16 used); 70,000 bytes
  // in 18 chunks from 8192 (9 header bytes + 70,000 need 17.1 chunks); 2,049 bytes, over the
  // sharing limit, in one chunk at 81920. 21 blocks in all.
  const auto memo = kvtest::readBytes(db / "NOTES.MB");
  ASSERT_EQ(memo.size(), 21u * 4096);
  EXPECT_EQ(std::vector<unsigned char>(memo.begin(), memo.begin() + 3),
            (std::vector<unsigned char>{0, 1, 0}));
  EXPECT_EQ(std::vector<unsigned char>(memo.begin() + 4096, memo.begin() + 4096 + 3),
            (std::vector<unsigned char>{3, 1, 0}));
  EXPECT_EQ(std::vector<unsigned char>(memo.begin() + 4096 + 12, memo.begin() + 4096 + 22),
            (std::vector<unsigned char>{21, 38, 1, 0, 8, 59, 2, 1, 0, 16}));
  EXPECT_EQ(memo.at(4096 + 336), 'a');
  EXPECT_EQ(memo.at(4096 + 944), 'b');
  EXPECT_EQ(std::vector<unsigned char>(memo.begin() + 8192, memo.begin() + 8192 + 10),
            (std::vector<unsigned char>{2, 18, 0, 0x70, 0x11, 0x01, 0x00, 1, 0, 'c'}));
  EXPECT_EQ(std::vector<unsigned char>(memo.begin() + 81920, memo.begin() + 81920 + 10),
            (std::vector<unsigned char>{2, 1, 0, 0x01, 0x08, 0, 0, 1, 0, 'd'}));

  // Each record keeps the first ten bytes and the reference: offset with index (0xFF for a block of
  // its own), length, modification number.
  const auto table = kvtest::readBytes(db / "NOTES.DB");
  const std::vector<std::vector<unsigned char>> references = {{0, 0, 0, 0, 4, 0, 0, 0, 0, 0},
                                                              {0x00, 0x10, 0, 0, 0x58, 0x02, 0, 0, 1, 0},
                                                              {0x01, 0x10, 0, 0, 32, 0, 0, 0, 1, 0},
                                                              {0xFF, 0x20, 0, 0, 0x70, 0x11, 0x01, 0, 1, 0},
                                                              {0xFF, 0x40, 1, 0, 0x01, 0x08, 0, 0, 1, 0},
                                                              {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
  const auto records = noteRecords();
  TTable t;
  t.DatabaseName = "Korv3";
  t.TableName = "notes";
  t.Open();
  for (int r = 0; r < 6; ++r, t.Next()) {
    SCOPED_TRACE(r);
    const size_t at = recordAt(table, r) + 4;
    EXPECT_EQ(std::vector<unsigned char>(table.begin() + at + 10, table.begin() + at + 20), references[r]);
    const auto* text = std::get_if<std::string>(&records[r][1]);
    EXPECT_EQ(std::string(table.begin() + at, table.begin() + at + 10),
              text ? (*text + std::string(10, '\0')).substr(0, 10) : std::string(10, '\0'));
    EXPECT_EQ(t.FieldByName("note").Value(), records[r][1]);
  }
}

TEST_F(DatabaseTest, DamagedMemoFilesFailTheirFieldOnly) {
  struct Case {
    const char* what;
    std::function<void(const std::filesystem::path& table, const std::filesystem::path& memo)> damage;
    int record;           // 1-based record whose note fails
    const char* expected; // part of the message
  };
  const auto ref = [](const std::filesystem::path& table, int recno, std::vector<unsigned char> bytes) {
    patch(table, recordAt(kvtest::readBytes(table), recno) + 14, std::move(bytes));
  };
  const Case cases[] = {
      {"wrong block type", [](auto&, auto& m) { patch(m, 4096, {4}); }, 2, "type 4"},
      {"free block named as own", [](auto&, auto& m) { patch(m, 8192, {4}); }, 4, "type 4"},
      {"index out of range", [&](auto& t, auto&) { ref(t, 1, {64}); }, 2, "index 64"},
      {"reference into the header block",
       [&](auto& t, auto&) {
         ref(t, 1, {0x00, 0x00});
       },
       2, "names no memo block"},
      {"reference past the end",
       [&](auto& t, auto&) {
         ref(t, 3, {0xFF, 0x00, 0x70});
       },
       4, "past the end"},
      {"file cut in a memo", [](auto&, auto& m) { std::filesystem::resize_file(m, 8192 + 100); }, 4,
       "cut off"},
      {"length beyond the block",
       [](auto&, auto& m) {
         patch(m, 8192 + 1, {1, 0});
       },
       4, "does not fit"},
      {"no chunks",
       [](auto&, auto& m) {
         patch(m, 8192 + 1, {0, 0});
       },
       4, "does not fit"},
      {"length differs from the record's", [](auto&, auto& m) { patch(m, 8192 + 3, {0x6F}); }, 4,
       "the record says"},
      {"entry length differs", [](auto&, auto& m) { patch(m, 4096 + 16, {7}); }, 2, "599 bytes"},
      {"entry reaches past its block", [](auto&, auto& m) { patch(m, 4096 + 12, {250}); }, 2, "reaches past"},
      {"empty entry", [](auto&, auto& m) { patch(m, 4096 + 12, {0}); }, 2, "holds 0 bytes"},
      {"no header block", [](auto&, auto& m) { patch(m, 0, {3}); }, 2, "no header block"},
      {"memo file missing", [](auto&, auto& m) { std::filesystem::remove(m); }, 2,
       "cannot open the memo file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CreateTable(db / "NOTES.DB", kNoteFields, noteRecords());
    c.damage(db / "NOTES.DB", db / "NOTES.MB");
    const auto records = noteRecords();
    TTable t;
    t.DatabaseName = "Korv3";
    t.TableName = "NOTES.DB";
    t.Open();
    for (int r = 1; !t.Eof(); ++r, t.Next()) {
      EXPECT_EQ(t.FieldByName("id").AsInteger(), r);
      if (r != c.record) {
        if (r == 1 || r == 6) {
          EXPECT_EQ(t.FieldByName("note").Value(), records[r - 1][1]) << r;
        }
        continue;
      }
      const std::string message = engineError([&] { t.FieldByName("note").AsString(); });
      for (const std::string& part : {std::string(c.expected), "record " + std::to_string(r),
                                      std::string("note"), std::string("NOTES.DB")})
        EXPECT_NE(message.find(part), std::string::npos) << message;
    }
  }
}

// Memos at the bounds of their blocks, each file laid out by hand: a block of its own holds
// its nine header bytes and the memo in whole 4 kB chunks; a shared block holds 64 index entries
// from byte 12 (data offset / 16, units of 16 bytes, modification number, bytes used of the last
// unit with 0 standing for 16) and the data from byte 336. Memos of up to ten bytes stay in
// their records, so the short ones here have eleven.
TEST_F(DatabaseTest, MemosAtTheBoundsOfTheirBlocks) {
  using Bytes = std::vector<unsigned char>;
  const auto shortMemos = [](int n) {
    std::vector<std::string> memos;
    for (int i = 0; i < n; ++i)
      memos.push_back(std::string(11, static_cast<char>('0' + i)));
    return memos;
  };
  // A memo of its own whose bytes 247 on, at 4352 in the file, look like a block of its own
  // holding twelve bytes.
  std::string decoy(3000, 'x');
  decoy.replace(247, 21, std::string("\x02\x01\x00\x0C\x00\x00\x00\x01\x00hello there!", 21));
  struct Case {
    const char* what;
    std::vector<std::string> memos;
    size_t blocks;                               // the memo file's size in 4 kB blocks
    std::vector<std::pair<size_t, Bytes>> bytes; // by hand: bytes at offsets of the memo file
    std::function<void(const std::filesystem::path& table, const std::filesystem::path& memo)> change;
    int refused = 0; // 1-based record refused after the change
    const char* message = "";
  };
  const auto none = [](auto&, auto&) {};
  const Case cases[] = {
      {"a memo ending at its own block's last byte",
       {std::string(4087, 'e')},
       2,
       {{4096, {2, 1, 0, 0xF7, 0x0F, 0, 0, 1, 0, 'e'}}, {8191, {'e'}}},
       none},
      {"one byte more takes a second chunk",
       {std::string(4088, 'e')},
       3,
       {{4096, {2, 2, 0, 0xF8, 0x0F, 0, 0, 1, 0}}},
       none},
      {"the header counts against the chunks",
       {std::string(4088, 'e')},
       3,
       {},
       [](auto&, auto& m) { patch(m, 4096 + 1, {1}); },
       1,
       "does not fit"},
      {"two memos filling a shared block to its last byte",
       {std::string(2048, 'f'), std::string(1712, 'g')},
       2,
       {{4096, {3, 1, 0}},
        {4096 + 12, {21, 128, 1, 0, 16, 149, 107, 1, 0, 16}},
        {4096 + 2384, {'g'}},
        {4096 + 4095, {'g'}}},
       none},
      {"a last unit's byte 0 stands for 16",
       {std::string(32, 'h')},
       2,
       {{4096 + 12, {21, 2, 1, 0, 16}}},
       [](auto&, auto& m) { patch(m, 4096 + 16, {0}); }},
      {"64 short memos share a block",
       shortMemos(64),
       2,
       {{4096 + 12, {21, 1, 1, 0, 11}},
        {4096 + 12 + 63 * 5, {84, 1, 1, 0, 11}},
        {4096 + 332, {0, 0, 0, 0, '0'}},
        {4096 + 84 * 16, {'o'}}},
       none},
      {"the 65th opens a block of its own kind",
       shortMemos(65),
       3,
       {{4096 + 332, {0, 0, 0, 0, '0'}},
        {8192, {3, 1, 0}},
        {8192 + 12, {21, 1, 1, 0, 11, 0}},
        {8192 + 336, {'p'}}},
       none},
      {"a reference between two 4 kB boundaries",
       {decoy},
       2,
       {},
       [](auto& t, auto&) {
         patch(t, recordAt(kvtest::readBytes(t), 0) + 14, {0xFF, 0x11, 0, 0, 12, 0, 0, 0, 1, 0});
       },
       1,
       "names no memo block"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::vector<FieldValue>> records;
    for (size_t i = 0; i < c.memos.size(); ++i)
      records.push_back({static_cast<std::int64_t>(i + 1), c.memos[i]});
    CreateTable(db / "BOUNDS.DB", kNoteFields, records);
    const auto memo = kvtest::readBytes(db / "BOUNDS.MB");
    EXPECT_EQ(memo.size(), c.blocks * 4096);
    for (const auto& [at, bytes] : c.bytes) {
      ASSERT_LE(at + bytes.size(), memo.size()) << at;
      EXPECT_EQ(Bytes(memo.begin() + at, memo.begin() + at + bytes.size()), bytes) << at;
    }
    c.change(db / "BOUNDS.DB", db / "BOUNDS.MB");
    TTable t;
    t.DatabaseName = "Korv3";
    t.TableName = "BOUNDS.DB";
    t.Open();
    for (int r = 1; !t.Eof(); ++r, t.Next()) {
      if (r != c.refused) {
        EXPECT_EQ(t.FieldByName("note").Value(), records[r - 1][1]) << r;
        continue;
      }
      const std::string message = engineError([&] { t.FieldByName("note").AsString(); });
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
  }
}

// Opening reads the header alone: a table whose blocks are broken opens, exclusively too, and fails
// at the first record that lies in or behind the broken block. A chain of blocks that leaves the
// file, runs in a circle or claims more records than a block holds is never followed further.
TEST_F(DatabaseTest, OpeningReadsTheHeaderOnlyAndBrokenBlocksFailTheirRecords) {
  using Bytes = std::vector<unsigned char>;
  struct Case {
    const char* what;
    const char* password;
    std::function<void(Bytes& table, size_t first, size_t last, size_t blockSize)> damage; // block offsets
    bool firstBlockReadable; // else no record is
  };
  const auto putLe16 = [](Bytes& b, size_t at, int v) {
    b.at(at) = static_cast<unsigned char>(v);
    b.at(at + 1) = static_cast<unsigned char>(v >> 8);
  };
  const Case cases[] = {
      // A block's first two bytes name the next block, the last two its records' bytes less one record.
      {"link to a block the file lacks", "",
       [&](Bytes& t, size_t f, size_t, size_t) { putLe16(t, f, 30000); }, true},
      {"chain back to its first block", "", [&](Bytes& t, size_t, size_t l, size_t) { putLe16(t, l, 1); },
       false},
      {"more records than the block holds", "",
       [&](Bytes& t, size_t f, size_t, size_t) { putLe16(t, f + 4, 0x7FFF); }, false},
      // An enciphered block in another's place deciphers to links and counts that lead anywhere.
      {"enciphered block copied over the last", "secret",
       [](Bytes& t, size_t f, size_t l, size_t size) { std::copy_n(t.begin() + f, size, t.begin() + l); },
       false},
  };
  // 300 records of 254 bytes; a block holds as many as fit behind its six bytes of links and size.
  std::vector<std::vector<FieldValue>> records;
  for (int i = 0; i < 300; ++i)
    records.push_back({std::int64_t{i}, std::string(200, 'x')});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (*c.password) Session().AddPassword(c.password);
    CreateTable(db / "WIDE.DB", {{"n", TFieldType::ftInteger, 0}, {"s", TFieldType::ftString, 250}}, records,
                c.password);
    auto table = kvtest::readBytes(db / "WIDE.DB");
    const size_t firstBlock = table.at(2) | table.at(3) << 8, blockSize = table.at(5) * 1024u;
    const size_t perBlock = (blockSize - 6) / 254, blocks = (300 + perBlock - 1) / perBlock;
    ASSERT_GE(blocks, 3u);
    ASSERT_EQ(table.size(), firstBlock + blocks * blockSize);
    c.damage(table, firstBlock, firstBlock + (blocks - 1) * blockSize, blockSize);
    kvtest::writeFile(db / "WIDE.DB", std::string(table.begin(), table.end()));
    TTable t;
    t.DatabaseName = "Korv3";
    t.TableName = "WIDE.DB";
    t.Exclusive = true;
    t.Open();
    EXPECT_EQ(t.RecordCount(), 300);
    EXPECT_EQ(t.FieldByName("s").Size(), 250);
    int read = 0;
    const std::string message = engineError([&] {
      for (; !t.Eof(); t.Next(), ++read)
        EXPECT_EQ(t.FieldByName("n").AsInteger(), read);
    });
    EXPECT_NE(message.find("damaged"), std::string::npos) << message;
    EXPECT_EQ(read, c.firstBlockReadable ? static_cast<int>(perBlock) : 0);
    // A query, which reads a block at a time, fails as well.
    t.Close();
    TQuery q;
    q.DatabaseName = "Korv3";
    q.SQL.SetText("select * from WIDE.DB where n = 299");
    const std::string queried = engineError([&] { q.Open(); });
    EXPECT_NE(queried.find("damaged"), std::string::npos) << queried;
  }
}

// Texts are converted from the code page the table's header names (1252 when none).
TEST_F(DatabaseTest, TextsComeFromTheTablesCodePage) {
  struct Case {
    int codePage;
    const char* text; // byte 9E
  };
  const Case cases[] = {{1252, "ž"}, {0, "ž"}, {850, "×"}, {437, "₧"}, {866, "Ю"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    CreateTable(db / "CP.DB", {{"s", TFieldType::ftString, 10}, {"m", TFieldType::ftMemo, 11}},
                {{std::string("ž"), std::string(5000, 'x') + "ž"}});
    patch(db / "CP.DB", 0x6A,
          {static_cast<unsigned char>(c.codePage), static_cast<unsigned char>(c.codePage >> 8)});
    TTable t;
    t.DatabaseName = "Korv3";
    t.TableName = "CP.DB";
    t.Open();
    EXPECT_EQ(t.FieldByName("s").AsString(), c.text);
    EXPECT_EQ(t.FieldByName("m").AsString(), std::string(5000, 'x') + c.text);
    EXPECT_EQ(t.codePage(), c.codePage ? c.codePage : 1252);
  }
}
