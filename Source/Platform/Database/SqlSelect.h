// The one kind of statement the engine answers: a select of every column of one table,
// filtered by equalities joined with AND and ordered by columns, ascending:
//   select * from lang.db where lfkmodid=:modid: and llang=:lang: order by lid
// A parameter is written :name, optionally closed by a second colon (:name:); parameters
// are numbered by position. Literals are integers and 'quoted' texts.
#pragma once

#include "Platform/Database/DbTypes.h"

#include <string>
#include <vector>

namespace kv::platform::sql {

using Record = std::vector<FieldValue>;

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

// The records that meet every condition, in the requested order (stable, so records equal in
// the ordering keep their table order; null sorts first). Raises EDBEngineError naming the table
// for an unknown column, a missing parameter or a comparison of text with a number.
std::vector<Record> evaluate(const Select& select, const std::vector<TFieldDef>& fields,
                             std::vector<Record> records, const std::vector<FieldValue>& params,
                             const std::string& tableName);

} // namespace kv::platform::sql
