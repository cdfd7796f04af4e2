#include "DbTestSupport.h"

#include "Platform/Database/SqlSelect.h"

using namespace kv::platform;
using dbtest::engineError;

namespace {

const char* kLangQuery = "select * from lang.db where lfkmodid=:modid: and llang=:lang: order by lid";

FieldValue i(std::int64_t v) { return v; }
FieldValue s(const std::string& v) { return v; }

class LangQueryTest : public dbtest::DatabaseFixture {
protected:
  void SetUp() override {
    DatabaseFixture::SetUp();
    // lid, lfkmodid, llang, ltext, llongtext, lislong: stored out of order on purpose.
    CreateTable(db / "LANG.DB",
                {{"lid", TFieldType::ftInteger, 0},
                 {"lfkmodid", TFieldType::ftInteger, 0},
                 {"llang", TFieldType::ftInteger, 0},
                 {"ltext", TFieldType::ftString, 60},
                 {"llongtext", TFieldType::ftMemo, 120},
                 {"lislong", TFieldType::ftSmallint, 0}},
                {
                    {i(9), i(2), i(1), s("Neun"), FieldValue{}, i(0)},
                    {i(1), i(2), i(1), s("Datei\\3A"), FieldValue{}, i(0)},
                    {i(5), i(2), i(1), s("kurz"), s("lang und \\4a"), i(1)},
                    {i(3), i(2), i(2), s("three"), FieldValue{}, i(0)},
                    {i(2), i(3), i(1), s("other module"), FieldValue{}, i(0)},
                    {i(1), i(2), i(1), s("zweite Eins"), FieldValue{}, i(2)},
                    {i(-4), i(2), i(1), s("negativ"), FieldValue{}, FieldValue{}},
                });
  }

  std::vector<std::string> run(TQuery& q) {
    std::vector<std::string> rows;
    q.Open();
    for (; !q.Eof(); q.Next())
      rows.push_back(q.FieldByName("lid").AsString() + ":" +
                     (q.FieldByName("lislong").AsInteger() == 1 ? q.FieldByName("llongtext").AsString()
                                                                : q.FieldByName("ltext").AsString()));
    q.Close();
    return rows;
  }
};

} // namespace

TEST_F(LangQueryTest, LanguageQueryTakesItsParametersByPosition) {
  TQuery q;
  q.DatabaseName = "Korv3";
  q.SQL.SetText(kLangQuery);
  ASSERT_EQ(q.Params.Count(), 2);
  EXPECT_EQ(q.Params[0].Name, "modid");
  EXPECT_EQ(q.Params[1].Name, "lang");
  EXPECT_THROW(q.Params[2], EDatabaseError);
  q.Params[0].SetAsInteger(2);
  q.Params[1].SetAsInteger(1);
  // Rows of module 2, language 1, by lid; the two rows numbered 1 keep their table order.
  EXPECT_EQ(run(q), (std::vector<std::string>{"-4:negativ", "1:Datei\\3A", "1:zweite Eins", "5:lang und \\4a",
                                              "9:Neun"}));
  q.Params[1].SetAsInteger(2);
  EXPECT_EQ(run(q), std::vector<std::string>{"3:three"});
  q.Params[0].SetAsInteger(7);
  EXPECT_EQ(run(q), std::vector<std::string>{});

  // New text with the same names keeps the values; a new name starts empty.
  q.SQL.Clear();
  q.SQL.Add("SELECT * FROM LANG where LLANG = :lang and lfkmodid = :mod");
  EXPECT_EQ(q.Params[0].Name, "lang");
  EXPECT_EQ(std::get<std::int64_t>(q.Params[0].Value()), 2);
  EXPECT_TRUE(q.Params[1].IsNull());
  EXPECT_NE(engineError([&] { q.Open(); }).find("parameter 2"), std::string::npos);
  q.Params.ParamByName("MOD").SetAsInteger(3);
  q.Params[0].SetAsInteger(1);
  EXPECT_EQ(run(q), std::vector<std::string>{"2:other module"});
}

TEST_F(LangQueryTest, LiteralsAndTextComparisons) {
  struct Case {
    const char* sql;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"select * from LANG.DB where llang=2", {"3:three"}},
      {"select * from lang.db where ltext='Neun'", {"9:Neun"}},
      {"select * from lang.db where ltext='neun'", {}}, // texts compare exactly
      {"select * from lang.db where lfkmodid=2 and lislong=1", {"5:lang und \\4a"}},
      {"select * from lang.db where lfkmodid=3 order by lid;", {"2:other module"}},
      {"select * from lang.db where lid=-4", {"-4:negativ"}},
      {"select * from \"lang.db\" where llang=1 and lfkmodid=2 order by lislong, lid",
       {"-4:negativ", "1:Datei\\3A", "9:Neun", "5:lang und \\4a", "1:zweite Eins"}},
      // Texts order by their bytes, capitals first.
      {"select * from lang.db where llang=1 and lfkmodid=2 order by ltext",
       {"1:Datei\\3A", "9:Neun", "5:lang und \\4a", "-4:negativ", "1:zweite Eins"}},
      // Values no field holds: 2^32 + 1 is not 1, and the smallest of 16 bits is what null is stored as.
      {"select * from lang.db where lid=4294967297", {}},
      {"select * from lang.db where lislong=-32768", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    TQuery q;
    q.DatabaseName = db.str();
    q.SQL.SetText(c.sql);
    EXPECT_EQ(run(q), c.rows);
  }
}

TEST_F(LangQueryTest, StatementErrorsNameTheirCause) {
  struct Case {
    const char* sql;
    const char* expected;
  };
  const Case cases[] = {
      {"select lid from lang.db", "SELECT *"},
      {"select * lang.db", "FROM"},
      {"delete from lang.db", "SELECT"},
      {"select * from lang.db where lid<3", "only ="},
      {"select * from lang.db where lid=3 or lid=4", "unexpected"},
      {"select * from lang.db where lid=:", "parameter needs a name"},
      {"select * from lang.db order lid", "BY"},
      {"select * from lang.db where ltext='open", "unterminated"},
      {"select * from lang.db where nosuch=1", "Field nosuch not found in table lang.db"},
      {"select * from lang.db order by nosuch", "Field nosuch not found in table lang.db"},
      {"select * from lang.db where lid='1'", "Type mismatch"},
      {"select * from lang.db where ltext=1", "Type mismatch"},
      {"select * from nolang.db", "nolang.db"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    TQuery q;
    q.DatabaseName = "Korv3";
    q.SQL.SetText(c.sql);
    const std::string message = engineError([&] { q.Open(); });
    EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    EXPECT_FALSE(q.Active());
  }
  // A failed query holds no lock on the table.
  EXPECT_TRUE(dbtest::outsiderCanLock(db / "LANG.DB", true));
}

TEST_F(LangQueryTest, OpenQueryKeepsTheTableShared) {
  TQuery q;
  q.DatabaseName = "Korv3";
  q.SQL.SetText(kLangQuery);
  q.Params[0].SetAsInteger(2);
  q.Params[1].SetAsInteger(1);
  q.Open();
  TTable t;
  t.DatabaseName = "Korv3";
  t.TableName = "LANG.DB";
  t.Exclusive = true;
  EXPECT_THROW(t.Open(), EDBEngineError);
  q.Close();
  t.Open();
  EXPECT_THROW(q.Open(), EDBEngineError);
}

TEST(SqlParamNames, ColonsInsideQuotesAreNotParameters) {
  EXPECT_EQ(sql::paramNames("select * from t where a=:one: and b=':no' and c=:two"),
            (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(sql::paramNames("where a=:x:and b=:y"), (std::vector<std::string>{"x", "y"}));
}
