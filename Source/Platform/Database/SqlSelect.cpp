#include "Platform/Database/SqlSelect.h"

#include "Platform/Rtl/Classes.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace kv::platform::sql {

namespace {

bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

struct Token {
  enum class Kind { Word, Param, Integer, Text, Symbol, End } kind;
  std::string text;
};

class Tokenizer {
public:
  explicit Tokenizer(const std::string& s) : s_(s) {}

  // Words take dots so that a table name such as lang.db is one token.
  Token next() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_])))
      ++pos_;
    if (pos_ >= s_.size()) return {Token::Kind::End, {}};
    const char c = s_[pos_];
    if (c == ':') {
      size_t end = pos_ + 1;
      while (end < s_.size() && isNameChar(s_[end]))
        ++end;
      if (end == pos_ + 1) fail("a parameter needs a name");
      Token t{Token::Kind::Param, s_.substr(pos_ + 1, end - pos_ - 1)};
      pos_ = (end < s_.size() && s_[end] == ':') ? end + 1 : end;
      return t;
    }
    if (c == '\'' || c == '"') return quoted(c);
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '-' && pos_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])))) {
      size_t end = pos_ + 1;
      while (end < s_.size() && std::isdigit(static_cast<unsigned char>(s_[end])))
        ++end;
      Token t{Token::Kind::Integer, s_.substr(pos_, end - pos_)};
      pos_ = end;
      return t;
    }
    if (isNameChar(c)) {
      size_t end = pos_;
      while (end < s_.size() && (isNameChar(s_[end]) || s_[end] == '.'))
        ++end;
      Token t{Token::Kind::Word, s_.substr(pos_, end - pos_)};
      pos_ = end;
      return t;
    }
    ++pos_;
    return {Token::Kind::Symbol, std::string(1, c)};
  }

  [[noreturn]] void fail(const std::string& why) const {
    throw EDBEngineError("Invalid SQL statement (" + why + "): " + s_);
  }

private:
  // 'text' is a literal, "name" a quoted table or column name; a doubled quote stands for itself.
  Token quoted(char quote) {
    std::string text;
    size_t i = pos_ + 1;
    for (;;) {
      if (i >= s_.size()) fail("unterminated quote");
      if (s_[i] == quote) {
        if (i + 1 < s_.size() && s_[i + 1] == quote) {
          text += quote;
          i += 2;
          continue;
        }
        break;
      }
      text += s_[i++];
    }
    pos_ = i + 1;
    return {quote == '\'' ? Token::Kind::Text : Token::Kind::Word, text};
  }

  const std::string& s_;
  size_t pos_ = 0;
};

bool isKeyword(const Token& t, const char* word) {
  return t.kind == Token::Kind::Word && SameText(t.text, word);
}

int columnIndex(const std::vector<TFieldDef>& fields, const std::string& name, const std::string& tableName) {
  for (size_t i = 0; i < fields.size(); ++i)
    if (SameText(fields[i].Name, name)) return static_cast<int>(i);
  throw EDBEngineError("Field " + name + " not found in table " + tableName);
}

bool isNumber(const FieldValue& v) {
  return std::holds_alternative<std::int64_t>(v) || std::holds_alternative<double>(v);
}
double asDouble(const FieldValue& v) {
  if (const auto* n = std::get_if<std::int64_t>(&v)) return static_cast<double>(*n);
  return std::get<double>(v);
}

// -1, 0, 1; null before every value; numbers by value, texts by their bytes.
int compareValues(const FieldValue& a, const FieldValue& b) {
  const bool aNull = std::holds_alternative<std::monostate>(a);
  const bool bNull = std::holds_alternative<std::monostate>(b);
  if (aNull || bNull) return aNull == bNull ? 0 : (aNull ? -1 : 1);
  if (isNumber(a) && isNumber(b)) {
    const auto* ai = std::get_if<std::int64_t>(&a);
    const auto* bi = std::get_if<std::int64_t>(&b);
    if (ai && bi) return *ai < *bi ? -1 : (*ai > *bi ? 1 : 0);
    const double x = asDouble(a), y = asDouble(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (isNumber(a) != isNumber(b)) return isNumber(a) ? -1 : 1;
  const int c = std::get<std::string>(a).compare(std::get<std::string>(b));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

std::vector<std::string> paramNames(const std::string& text) {
  std::vector<std::string> names;
  Tokenizer tokens(text);
  try {
    for (Token t = tokens.next(); t.kind != Token::Kind::End; t = tokens.next())
      if (t.kind == Token::Kind::Param) names.push_back(t.text);
  } catch (const EDBEngineError&) {
    // The statement's own errors are reported when it is opened.
  }
  return names;
}

Select parseSelect(const std::string& text) {
  Tokenizer tokens(text);
  Select select;
  Token t = tokens.next();
  if (!isKeyword(t, "select")) tokens.fail("expected SELECT");
  t = tokens.next();
  if (t.kind != Token::Kind::Symbol || t.text != "*") tokens.fail("only SELECT * is supported");
  if (!isKeyword(tokens.next(), "from")) tokens.fail("expected FROM");
  t = tokens.next();
  if (t.kind != Token::Kind::Word || t.text.empty()) tokens.fail("expected a table name");
  select.table = t.text;
  t = tokens.next();
  int params = 0;
  if (isKeyword(t, "where")) {
    do {
      const Token column = tokens.next();
      if (column.kind != Token::Kind::Word) tokens.fail("expected a column name");
      const Token eq = tokens.next();
      if (eq.kind != Token::Kind::Symbol || eq.text != "=") tokens.fail("only = comparisons are supported");
      const Token operand = tokens.next();
      Condition condition{column.text, -1, {}};
      if (operand.kind == Token::Kind::Param) {
        condition.param = params++;
      } else if (operand.kind == Token::Kind::Integer) {
        std::int64_t value = 0;
        const auto* end = operand.text.data() + operand.text.size();
        if (std::from_chars(operand.text.data(), end, value).ptr != end) tokens.fail("integer out of range");
        condition.literal = value;
      } else if (operand.kind == Token::Kind::Text) {
        condition.literal = operand.text;
      } else {
        tokens.fail("expected a parameter or a literal");
      }
      select.where.push_back(std::move(condition));
      t = tokens.next();
    } while (isKeyword(t, "and"));
  }
  if (isKeyword(t, "order")) {
    if (!isKeyword(tokens.next(), "by")) tokens.fail("expected BY");
    for (;;) {
      const Token column = tokens.next();
      if (column.kind != Token::Kind::Word) tokens.fail("expected a column name");
      select.orderBy.push_back(column.text);
      t = tokens.next();
      if (isKeyword(t, "asc")) t = tokens.next();
      if (t.kind == Token::Kind::Symbol && t.text == ",") continue;
      break;
    }
  }
  if (t.kind == Token::Kind::Symbol && t.text == ";") t = tokens.next();
  if (t.kind != Token::Kind::End) tokens.fail("unexpected '" + t.text + "'");
  return select;
}

Plan plan(const Select& select, const std::vector<TFieldDef>& fields, const std::vector<FieldValue>& params,
          const std::string& tableName) {
  Plan result;
  for (const auto& c : select.where) {
    const int column = columnIndex(fields, c.column, tableName);
    FieldValue value = c.literal;
    if (c.param >= 0) {
      if (c.param >= static_cast<int>(params.size()) ||
          std::holds_alternative<std::monostate>(params[c.param]))
        throw EDBEngineError("No value for parameter " + std::to_string(c.param + 1) +
                             " of the query on table " + tableName);
      value = params[c.param];
    }
    const TFieldType type = fields[column].DataType;
    const bool textColumn = type == TFieldType::ftString || type == TFieldType::ftMemo;
    if (type != TFieldType::ftUnknown && textColumn != std::holds_alternative<std::string>(value))
      throw EDBEngineError("Type mismatch in expression: field " + fields[column].Name + " of table " +
                           tableName);
    result.where.push_back({column, std::move(value)});
  }
  for (const auto& name : select.orderBy)
    result.orderBy.push_back(columnIndex(fields, name, tableName));
  return result;
}

bool matches(const Plan& plan, const std::function<FieldValue(int column)>& value) {
  return std::all_of(plan.where.begin(), plan.where.end(), [&](const Plan::Test& test) {
    const FieldValue stored = value(test.column);
    return !std::holds_alternative<std::monostate>(stored) && compareValues(stored, test.value) == 0;
  });
}

std::vector<size_t> order(const std::vector<FieldValue>& keys, size_t columns) {
  std::vector<size_t> positions(columns ? keys.size() / columns : 0);
  for (size_t i = 0; i < positions.size(); ++i)
    positions[i] = i;
  std::stable_sort(positions.begin(), positions.end(), [&](size_t a, size_t b) {
    for (size_t k = 0; k < columns; ++k)
      if (const int c = compareValues(keys[a * columns + k], keys[b * columns + k]); c != 0) return c < 0;
    return false;
  });
  return positions;
}

} // namespace kv::platform::sql
