// Paradox tables from anyone, read as the programs read them: a table opened, every record walked
// with every field's value (memos from the memo file beside it), and the same table through
// queries, which read its records a block at a time. A table that cannot be read must be refused
// with the engine's exception, never crash, hang or leak; a table whose every record reads must
// give the same values through a query as through the table.
//
// Input: the table's length (32 bits), the table file, then the memo file (none when empty).
// With KV_FUZZ_WRITE_SEEDS set the target writes its seeds through the engine's own writer.
#include "FuzzSupport.h"

#include "Platform/Database/Database.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>

namespace {

namespace fs = std::filesystem;
namespace pf = kv::platform;
using pf::FieldValue;
using pf::TFieldDef;
using pf::TFieldType;

constexpr const char* kPassword = "secret";

const fs::path& folder() {
  static const fs::path f = kvfuzz::privateFolder() / "db";
  return f;
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "paradox table: %s\n", what.c_str());
  std::abort();
}

std::string sqlName(const std::string& name) {
  std::string q = "\"";
  for (char c : name)
    q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + '"';
}

// Every value of every record in order, or nothing when a record or a value cannot be read.
std::optional<std::vector<FieldValue>> walk(pf::TDataSet& data) {
  std::vector<FieldValue> values;
  bool whole = true;
  for (data.First(); !data.Eof(); data.Next())
    for (int i = 0; i < data.FieldCount(); ++i) {
      try {
        values.push_back(data.Fields(i).Value());
        (void)data.Fields(i).AsString();
      } catch (const pf::EDatabaseError&) {
        whole = false;
      }
    }
  if (!whole) return std::nullopt;
  return values;
}

// Equal values, a NaN equal to the same NaN.
bool sameValue(const FieldValue& x, const FieldValue& y) {
  const auto* dx = std::get_if<double>(&x);
  const auto* dy = std::get_if<double>(&y);
  if (dx && dy) return std::memcmp(dx, dy, sizeof(double)) == 0;
  return x == y;
}

// Fails naming the first value, counted over all records, where the two readings differ.
void expectSame(const std::vector<FieldValue>& table, const std::vector<FieldValue>& query) {
  if (table.size() != query.size()) fail("a query reads another number of values than the table");
  for (size_t i = 0; i < table.size(); ++i)
    if (!sameValue(table[i], query[i]))
      fail("value " + std::to_string(i) + " differs between the table and a query: " +
           std::to_string(table[i].index()) + " / " + std::to_string(query[i].index()));
}

void query(const std::string& sql, const FieldValue& param, const std::function<void(pf::TQuery&)>& use) {
  pf::TQuery q;
  q.DatabaseName = folder().string();
  q.SQL.SetText(sql);
  try {
    if (const auto* n = std::get_if<std::int64_t>(&param))
      q.Params[0].SetAsInteger(static_cast<int>(
          std::clamp<std::int64_t>(*n, std::numeric_limits<int>::min(), std::numeric_limits<int>::max())));
    if (const auto* t = std::get_if<std::string>(&param)) q.Params[0].SetAsString(*t);
    q.Open();
    use(q);
  } catch (const pf::EDatabaseError&) {
  }
}

void writeSeed(const fs::path& out, const std::string& name, const std::vector<TFieldDef>& fields,
               const std::vector<std::vector<FieldValue>>& records, const std::string& password = {}) {
  const fs::path table = folder() / "SEED.DB", memo = folder() / "SEED.MB";
  std::error_code ec;
  fs::remove(memo, ec);
  pf::CreateTable(table, fields, records, password);
  std::ifstream t(table, std::ios::binary), m(memo, std::ios::binary);
  const std::string tableBytes{std::istreambuf_iterator<char>(t), {}};
  const std::string memoBytes{std::istreambuf_iterator<char>(m), {}};
  std::string seed(4, '\0');
  for (int i = 0; i < 4; ++i)
    seed[i] = static_cast<char>(tableBytes.size() >> (8 * i));
  kvfuzz::writeFile(out / (name + ".seed"), seed + tableBytes + memoBytes);
}

void writeSeeds(const fs::path& out) {
  fs::create_directories(folder());
  using I = std::int64_t;
  // The language table, as the runtime library's cache reads it.
  const std::vector<TFieldDef> lang = {
      {"lid", TFieldType::ftInteger, 0},      {"lfkmodid", TFieldType::ftInteger, 0},
      {"llang", TFieldType::ftInteger, 0},    {"ltext", TFieldType::ftString, 80},
      {"llongtext", TFieldType::ftMemo, 240}, {"lislong", TFieldType::ftSmallint, 0}};
  // Long texts of every length class: none, in the record, sharing a memo block, one of its own.
  const size_t longTexts[] = {0, 100, 300, 2500, 0, 120, 600, 240};
  std::vector<std::vector<FieldValue>> texts;
  for (int i = 0; i < 8; ++i) {
    const size_t n = longTexts[i];
    texts.push_back({I{i}, I{i % 3}, I{1 + i % 2}, std::string("Text ") + std::to_string(i),
                     n ? FieldValue{std::string(n, static_cast<char>('a' + i))} : FieldValue{}, I{n != 0}});
  }
  writeSeed(out, "lang", lang, texts);
  // Every type the engine reads.
  const std::vector<TFieldDef> all = {
      {"id", TFieldType::ftAutoInc, 0},     {"name", TFieldType::ftString, 20},
      {"short", TFieldType::ftSmallint, 0}, {"flag", TFieldType::ftBoolean, 0},
      {"value", TFieldType::ftFloat, 0},    {"money", TFieldType::ftCurrency, 0},
      {"note", TFieldType::ftMemo, 11},     {"count", TFieldType::ftInteger, 0}};
  writeSeed(out, "types", all,
            {{FieldValue{}, std::string("Grüße"), I{-7}, I{1}, 2.5, 12.25, std::string(3000, 'n'), I{1}},
             {FieldValue{}, FieldValue{}, I{32767}, I{0}, -0.125, FieldValue{}, std::string("x"), I{-2}},
             {FieldValue{}, std::string("€ 12"), FieldValue{}, FieldValue{}, FieldValue{}, 0.5, FieldValue{},
              I{3}}});
  // Records over several blocks, plain and enciphered.
  std::vector<std::vector<FieldValue>> many;
  for (int i = 0; i < 150; ++i)
    many.push_back({I{i}, std::string(i % 30, static_cast<char>('A' + i % 26))});
  const std::vector<TFieldDef> numbered = {{"n", TFieldType::ftInteger, 0}, {"s", TFieldType::ftString, 30}};
  writeSeed(out, "blocks", numbered, many);
  writeSeed(out, "encrypted", numbered, many, kPassword);
  writeSeed(out, "empty", {{"n", TFieldType::ftInteger, 0}}, {});
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kvfuzz::writeSeedsWhenAsked(*argc, *argv, writeSeeds);
  pf::Session().AddPassword(kPassword);
  fs::create_directories(folder());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint32_t declared = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
  const size_t tableSize = std::min<size_t>(declared, size - 4);
  const std::string_view input = kvfuzz::asText(data + 4, size - 4);
  kvfuzz::writeFile(folder() / "T.DB", input.substr(0, tableSize));
  std::error_code ec;
  fs::remove(folder() / "T.MB", ec);
  if (tableSize < input.size()) kvfuzz::writeFile(folder() / "T.MB", input.substr(tableSize));

  pf::TTable table;
  table.DatabaseName = folder().string();
  table.TableName = "T.DB";
  try {
    table.Open();
  } catch (const pf::EDatabaseError&) {
    return 0;
  }
  const auto values = walk(table);
  std::vector<std::string> names;
  for (int i = 0; i < table.FieldCount(); ++i)
    names.push_back(table.Fields(i).FieldName());
  const int records = table.RecordCount();
  // Back from the end, as a grid scrolls.
  table.Last();
  for (int i = 0; i < 3 && !table.Bof(); ++i, table.Prior()) {
    try {
      (void)table.Fields(0).AsString();
    } catch (const pf::EDatabaseError&) {
    }
  }
  FieldValue first;
  if (records > 0) {
    table.First();
    try {
      first = table.Fields(0).Value();
    } catch (const pf::EDatabaseError&) {
    }
  }
  table.Close();

  query("select * from \"T.DB\"", {}, [&](pf::TQuery& q) {
    if (q.RecordCount() != records) fail("a query of every record has a different number of them");
    const auto same = walk(q);
    if (values && !same) fail("a query cannot read what the table reads");
    if (values) expectSame(*values, *same);
  });
  // Selected by the first record's first value and ordered, as the language cache asks.
  if (std::holds_alternative<std::int64_t>(first) || std::holds_alternative<std::string>(first))
    query("select * from \"T.DB\" where " + sqlName(names[0]) + " = :p order by " + sqlName(names.back()),
          first, [&](pf::TQuery& q) {
            if (q.RecordCount() < 1 || q.RecordCount() > records)
              fail("a query selects a wrong number of records");
            (void)walk(q);
          });
  return 0;
}
