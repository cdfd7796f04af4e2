// Reading and writing one Paradox table file through pxlib. The caller opens the file and
// holds its lock; these classes only ever see the descriptor.
#pragma once

#include "Platform/Database/DbTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kv::platform::paradox {

using Record = std::vector<FieldValue>;

// The checksum an encrypted table stores for its password.
std::uint32_t passwordChecksum(const std::string& password);

class TableReader {
public:
  // Reads the header; raises EDBEngineError naming `tableName` when the file is not a
  // readable Paradox table.
  TableReader(int fd, std::string tableName);
  ~TableReader();
  TableReader(const TableReader&) = delete;
  TableReader& operator=(const TableReader&) = delete;

  // 0 for a table without password.
  std::uint32_t encryption() const;
  const std::vector<TFieldDef>& fields() const { return fields_; }
  // Every record in file order, texts in UTF-8.
  std::vector<Record> readAll();

private:
  struct Doc;
  std::unique_ptr<Doc> doc_;
  std::string tableName_;
  std::vector<TFieldDef> fields_;
};

class TableWriter {
public:
  // Writes a new table over the (empty) file; with a password the table is encrypted.
  TableWriter(int fd, std::vector<TFieldDef> fields, const std::string& password, std::string tableName);
  ~TableWriter();
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  // Raises EDBEngineError, and writes nothing, for a value that does not fit its field.
  void append(const Record& record);
  // Writes the header; the table is complete afterwards.
  void finish();

private:
  struct Doc;
  std::unique_ptr<Doc> doc_;
  std::string tableName_;
  std::vector<TFieldDef> fields_;
};

} // namespace kv::platform::paradox
