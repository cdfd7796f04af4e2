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
  struct Case {
    const char* database;
    const char* table;
    const char* expected; // part of the message besides the table name
  };
  const Case cases[] = {
      {"Nowhere", "GOOD.DB", "Unknown database Nowhere"},
      {"Korv3", "MISSING.DB", "does not exist"},
      {"Korv3", "GARBAGE.DB", "not a Paradox table"},
      {"Korv3", "EMPTY.DB", "not a Paradox table"},
      {"Korv3", "CUT.DB", "damaged"},
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
  CreateTable(db / "LDEF.DB", {{"lname", TFieldType::ftString, 30}}, {{std::string("Deutsch geheim")}},
              "58k31");
  // The plain text must not be readable in the file.
  EXPECT_FALSE(contains(kvtest::readBytes(db / "LDEF.DB"), "geheim"));

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
  t.Close();

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
