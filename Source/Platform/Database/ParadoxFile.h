// Reading and writing one Paradox table. The header is decoded here, field by field, so that
// opening a table costs the same whatever its size; records are read through pxlib when a
// program asks for them; memos longer than their record's leader lie in the memo file (.MB)
// beside the table and are read and written by our own code (MemoFile.h), never by pxlib.
#pragma once

#include "Platform/Database/DbTypes.h"
#include "Platform/Database/TableLock.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::platform::paradox {

using Record = std::vector<FieldValue>;

// The checksum an encrypted table stores for its password.
std::uint32_t passwordChecksum(const std::string& password);

// The header of a table file (.DB).
struct TableHeader {
  struct Field {
    int type = 0;     // the stored type (pxlib's pxf... numbers)
    int length = 0;   // bytes in the record
    int offset = 0;   // where it starts in the record
    std::string name; // in the table's code page
  };
  int recordSize = 0;
  int headerSize = 0;
  int blockSize = 0;
  std::int64_t recordCount = 0;
  std::int64_t fileBlocks = 0;
  int fileVersion = 0;
  int codePage = 0;             // 0 when the header names none
  std::uint32_t encryption = 0; // the password's checksum, 0 for a table without one
  std::vector<Field> fields;

  // nullopt when the bytes cannot start a table file.
  static std::optional<TableHeader> parse(std::string_view bytes);
};

class MemoReader;
} // namespace kv::platform::paradox

namespace kv::platform {
class SingleByteCodePage;
}

namespace kv::platform::paradox {

class TableReader {
public:
  // Takes over the lock (and with it the open file) and reads the header, nothing else. Raises
  // EDBEngineError naming `tableName` when the file is not a readable Paradox table.
  TableReader(TableLock lock, std::filesystem::path file, std::string tableName);
  ~TableReader();
  TableReader(const TableReader&) = delete;
  TableReader& operator=(const TableReader&) = delete;

  // 0 for a table without password.
  std::uint32_t encryption() const { return header_.encryption; }
  // The code page its texts are stored in: the header's, 1252 when it names none.
  int codePage() const;
  const std::vector<TFieldDef>& fields() const { return fields_; }
  int recordCount() const { return static_cast<int>(header_.recordCount); }
  int recordSize() const { return header_.recordSize; }

  // The stored bytes of one record (0-based). Raises EDBEngineError when the table is damaged.
  void readRecord(int recno, std::string& raw);
  // Every record in table order, with its number and stored bytes, a block at a time.
  void forEachRecord(const std::function<void(int recno, std::string_view raw)>& visit);
  // One field of a record's stored bytes, text in UTF-8. A memo longer than its leader is read
  // from the memo file; one that cannot be read raises EDBEngineError naming the table, the
  // record (1-based) and the field.
  FieldValue value(std::string_view raw, int field, int recno);
  // The stored bytes of a text or memo field in the table's code page, before any conversion; empty
  // for null and for fields of other types. A memo longer than its leader is read into `memo`, whose
  // room is used again, and the view shows it. Raises EDBEngineError as value() does.
  std::string_view storedText(std::string_view raw, int field, int recno, std::string& memo);
  // One field's bytes of a record.
  std::string_view fieldBytes(std::string_view raw, int field) const;
  // The bytes a field holds exactly when its value equals `value`, so that records are tested on their
  // stored bytes: for integer fields compared with an integer; an empty string when no record can hold
  // that value. nullopt for the others, whose bytes do not tell (a text's bytes and its characters, 0
  // and -0 of a number).
  std::optional<std::string> storedEqual(int field, const FieldValue& value);
  // Whether a field's stored bytes, compared as unsigned bytes, sort as its values do (null first).
  bool storedOrder(int field) const;

private:
  struct Doc;
  Doc& doc();
  std::unique_ptr<Doc> openBlocks();
  const MemoReader& memos();
  [[noreturn]] void damaged(const std::string& why) const;

  TableLock lock_;
  std::filesystem::path file_;
  std::string tableName_;
  TableHeader header_;
  const SingleByteCodePage* codePage_ = nullptr;
  std::vector<TFieldDef> fields_;
  std::unique_ptr<Doc> doc_;
  std::optional<std::string> unreadable_; // why the blocks could not be read
  std::unique_ptr<MemoReader> memos_;
  std::string memoText_; // the memo value() read last, its room used again
};

// Builds a new table in memory; with a password the table is encrypted.
class TableWriter {
public:
  TableWriter(std::vector<TFieldDef> fields, const std::string& password, std::string tableName);
  ~TableWriter();
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  // Raises EDBEngineError, and writes nothing, for a value that does not fit its field.
  void append(const Record& record);
  // Completes the table: its file's bytes, and its memo file's when it has memo fields (every memo
  // field has one, even when all its texts fit their records).
  void finish();
  const std::string& tableBytes() const;
  const std::optional<std::string>& memoBytes() const { return memoBytes_; }

private:
  struct Doc;
  std::unique_ptr<Doc> doc_;
  std::string tableName_;
  std::vector<TFieldDef> fields_;
  std::optional<std::string> memoBytes_;
};

} // namespace kv::platform::paradox
