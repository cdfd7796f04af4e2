// The one kind of statement the engine answers: a select of every column of one table,
// filtered by equalities joined with AND and ordered by columns, ascending:
//   select * from lang.db where lfkmodid=:modid: and llang=:lang: order by lid
// A parameter is written :name, optionally closed by a second colon (:name:); parameters
// are numbered by position. Literals are integers and 'quoted' texts.
#pragma once

#include "Platform/Database/DbTypes.h"

#include <functional>
#include <string>
#include <vector>

namespace kv::platform::sql {

struct Condition {
  std::string column;
  int param = -1;     // position of the parameter, or -1 for a literal
  FieldValue literal; // integer or text
};

struct Select {
  std::string table;
  std::vector<Condition> where;
  std::vector<std::string> orderBy;
};

// The parameter names of a statement in order of appearance (quoted texts skipped).
std::vector<std::string> paramNames(const std::string& text);

// Raises EDBEngineError for anything outside the supported form.
Select parseSelect(const std::string& text);

// What a statement asks of each record: equalities of columns (by index) with values, and the
// columns to order by.
struct Plan {
  struct Test {
    int column;
    FieldValue value;
  };
  std::vector<Test> where;
  std::vector<int> orderBy;
};

// Raises EDBEngineError naming the table for an unknown column, a missing parameter or a
// comparison of text with a number.
Plan plan(const Select& select, const std::vector<TFieldDef>& fields, const std::vector<FieldValue>& params,
          const std::string& tableName);

// Whether a record meets every test; `value` reads one of its columns, only those the tests need,
// and stops at the first that fails.
bool matches(const Plan& plan, const std::function<FieldValue(int column)>& value);

// The positions of rows in the requested order, given each row's values of the order columns one
// row after another (stable, so rows equal in the ordering keep their table order; null sorts first).
std::vector<size_t> order(const std::vector<FieldValue>& keys, size_t columns);

} // namespace kv::platform::sql
