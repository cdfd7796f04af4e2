// The desktop database engine as the class library presents it: the session with its
// aliases, table listing and passwords; tables and queries as data sets over Paradox files.
//
// A database name is an alias of aliases.ini (its PATH is the directory of the tables) or an
// absolute directory path. Table names are found regardless of case; a name without extension
// means the .DB file. An open table or query holds a lock on its .DB file until it is closed
// (see TableLock.h). Opening a table reads its header only; its records are read as a program
// walks them, and each value when it is asked for, so a memo that cannot be read fails the
// record and field that hold it and nothing else. A query reads the records once to select its
// rows and keeps those.
#pragma once

#include "Platform/Database/DbTypes.h"
#include "Platform/Rtl/Classes.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::platform {

namespace paradox {
class TableReader;
}

class TSession {
public:
  // Clears List and fills it with the alias's parameters as "NAME=VALUE" lines.
  // Raises EDBEngineError for an alias that aliases.ini does not hold.
  void GetAliasParams(const std::string& AliasName, TStrings& List) const;
  // Clears List and fills it with the names of the tables of the database that match Pattern
  // ("*.DB"; '*' and '?' wildcards, regardless of case), sorted, with or without their extension.
  // There are no system tables in a Paradox directory, so SystemTables adds nothing.
  void GetTableNames(const std::string& DatabaseName, const std::string& Pattern, bool Extensions,
                     bool SystemTables, TStrings& List) const;
  // Passwords open encrypted tables; the session keeps them until removed.
  void AddPassword(const std::string& Password);
  void RemovePassword(const std::string& Password);
  void RemoveAllPasswords();

  // The directory of a database name (see above); raises EDBEngineError for an unknown one,
  // naming `tableName` when given.
  std::filesystem::path databaseDirectory(const std::string& DatabaseName,
                                          const std::string& tableName = {}) const;
  // True when one of the session's passwords has this checksum.
  bool holdsPassword(std::uint32_t checksum) const;

private:
  std::map<std::string, std::uint32_t> passwords_;
};

// The session every data set uses unless given another.
TSession& Session();

class TDataSet;

// One column of the current record.
class TField {
public:
  TField(TDataSet& owner, int index, TFieldDef def) : owner_(&owner), index_(index), def_(std::move(def)) {}
  const std::string& FieldName() const { return def_.Name; }
  TFieldType DataType() const { return def_.DataType; }
  int Size() const { return def_.Size; }
  int Index() const { return index_; }

  const FieldValue& Value() const;
  bool IsNull() const;
  // Null reads as 0 / "" / false. Text that is not a number raises EDatabaseError.
  int AsInteger() const;
  std::string AsString() const;
  double AsFloat() const;
  bool AsBoolean() const;
  // The stored bytes of a text or memo field in the table's code page (TDataSet::codePage()), before
  // any conversion, for a reader that converts them on its own way; empty for null and for fields of
  // other types. Valid until the data set moves or another stored text is asked for.
  std::string_view storedText() const;

private:
  TDataSet* owner_;
  int index_;
  TFieldDef def_;
};

class TDataSet {
public:
  TDataSet();
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  // The session the data set uses; the default session unless set (only while closed).
  void SetSession(TSession& session);

  void Open();
  void Close();
  bool Active() const { return active_; }
  void SetActive(bool value) { value ? Open() : Close(); }

  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  int RecordCount() const;
  // 1-based number of the current record, 0 when there is none.
  int RecNo() const;

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Fields(int index);
  TField* FindField(const std::string& name);
  // Raises EDatabaseError for an unknown field.
  TField& FieldByName(const std::string& name);

  // The code page the open table stores its texts in (its header's, 1252 when it names none);
  // 0 while closed. Values come converted to UTF-8; this tells what their stored bytes were.
  int codePage() const;

protected:
  // What an open data set shows: the table it reads, which holds the table's lock, and for a
  // query the records it returns, in order, with their stored bytes one after another in the order
  // they were read, and where each row's lie among them.
  struct Contents {
    Contents();
    Contents(Contents&&) noexcept;
    Contents& operator=(Contents&&) noexcept;
    ~Contents();
    std::unique_ptr<paradox::TableReader> table;
    std::optional<std::vector<int>> rows; // nullopt: every record of the table in table order
    std::string rowBytes;
    std::vector<std::uint32_t> places; // each row's place in rowBytes, in records; empty: in row order
  };
  virtual Contents load() = 0;
  virtual std::string describe() const = 0;

  TSession& session() const { return *session_; }
  // Locates and locks one table and reads its header; encrypted tables need a password of the session.
  std::unique_ptr<paradox::TableReader> openTable(const std::string& databaseName,
                                                  const std::string& tableName, bool exclusive);

private:
  friend class TField;
  const FieldValue& valueAt(int index) const;
  std::string_view storedTextAt(int index) const;
  // The current record's stored bytes and its number in the table; empty when there is none.
  std::string_view currentRecord(int& recno) const;
  int rowCount() const;
  void moveTo(int row);

  TSession* session_;
  bool active_ = false;
  bool eof_ = true;
  bool bof_ = true;
  int current_ = -1;
  std::vector<std::unique_ptr<TField>> fields_;
  Contents contents_;
  // The current record's bytes and the values read from them so far.
  mutable std::string recordBytes_;
  mutable bool recordRead_ = false;
  mutable std::vector<FieldValue> values_;
  mutable std::vector<char> decoded_;
  mutable std::string storedMemo_; // the memo storedText() read last
};

class TTable : public TDataSet {
public:
  std::string DatabaseName;
  std::string TableName;
  bool Exclusive = false; // read when the table opens

protected:
  Contents load() override;
  std::string describe() const override { return TableName; }
};

class TParam {
public:
  explicit TParam(std::string name) : Name(std::move(name)) {}
  std::string Name;
  void SetAsInteger(int value) { value_ = static_cast<std::int64_t>(value); }
  void SetAsString(const std::string& value) { value_ = value; }
  void Clear() { value_ = std::monostate{}; }
  bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
  const FieldValue& Value() const { return value_; }

private:
  FieldValue value_;
};

class TQuery;

// The parameters of a query's statement, in order of appearance; they follow the statement
// text, keeping the values of names that stay.
class TParams {
public:
  explicit TParams(TQuery& owner) : owner_(owner) {}
  int Count();
  // Raises EDatabaseError for a position the statement does not have.
  TParam& operator[](int index);
  TParam& ParamByName(const std::string& name);

private:
  friend class TQuery;
  void sync();
  TQuery& owner_;
  std::string parsedText_;
  std::vector<TParam> items_;
};

class TQuery : public TDataSet {
public:
  TQuery() : Params(*this) {}
  std::string DatabaseName;
  TStringList SQL;
  TParams Params;

protected:
  Contents load() override;
  std::string describe() const override { return SQL.Text(); }
};

// Creates (or replaces) a table file in a directory and writes its records; with a password
// the table is encrypted. A table with memo fields gets its memo file beside it (the table's name
// with .MB, whole 4 kB blocks). The file is locked exclusively while it is written, so a table that
// another program has open is refused, not overwritten. Raises EDBEngineError naming the table.
void CreateTable(const std::filesystem::path& file, const std::vector<TFieldDef>& fields,
                 const std::vector<std::vector<FieldValue>>& records, const std::string& password = {});

} // namespace kv::platform
