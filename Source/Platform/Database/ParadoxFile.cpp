#include "Platform/Database/ParadoxFile.h"

#include "Platform/Database/CodePage.h"

// pxlib's header declares C functions without saying so.
extern "C" {
#include <paradox.h>
}

#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform::paradox {

namespace {

// The code page of every table we write: the product's texts are Western European.
constexpr int kWrittenCodePage = 1252;
constexpr int kMaxFieldName = 25;

void bootOnce() {
  static std::once_flag once;
  std::call_once(once, [] { PX_boot(); });
}

// pxlib reports through a callback; we keep the first real error for the exception text.
struct ErrorSink {
  std::string error;
  void clear() { error.clear(); }
};

void collectError(pxdoc_t*, int level, const char* msg, void* data) {
  auto* sink = static_cast<ErrorSink*>(data);
  if (level == PX_Warning || !sink || !sink->error.empty()) return;
  sink->error = msg ? msg : "unknown error";
}

TFieldType typeOf(char pxType) {
  switch (pxType) {
  case pxfAlpha:
    return TFieldType::ftString;
  case pxfShort:
    return TFieldType::ftSmallint;
  case pxfLong:
    return TFieldType::ftInteger;
  case pxfAutoInc:
    return TFieldType::ftAutoInc;
  case pxfLogical:
    return TFieldType::ftBoolean;
  case pxfNumber:
    return TFieldType::ftFloat;
  case pxfCurrency:
    return TFieldType::ftCurrency;
  case pxfMemoBLOb:
  case pxfFmtMemoBLOb:
    return TFieldType::ftMemo;
  default:
    return TFieldType::ftUnknown;
  }
}

// Which member of pxlib's value union a stored type fills.
enum class Slot { Integer, Double, Bytes };
Slot slotOf(char pxType) {
  switch (pxType) {
  case pxfShort:
  case pxfLong:
  case pxfDate:
  case pxfTime:
  case pxfLogical:
  case pxfAutoInc:
    return Slot::Integer;
  case pxfTimestamp:
  case pxfNumber:
  case pxfCurrency:
    return Slot::Double;
  default:
    return Slot::Bytes;
  }
}

struct PxType {
  char type;
  int length;
};

PxType pxTypeOf(const TFieldDef& def) {
  switch (def.DataType) {
  case TFieldType::ftString:
    return {pxfAlpha, def.Size};
  case TFieldType::ftSmallint:
    return {pxfShort, 2};
  case TFieldType::ftInteger:
    return {pxfLong, 4};
  case TFieldType::ftAutoInc:
    return {pxfAutoInc, 4};
  case TFieldType::ftBoolean:
    return {pxfLogical, 1};
  case TFieldType::ftFloat:
    return {pxfNumber, 8};
  case TFieldType::ftCurrency:
    return {pxfCurrency, 8};
  case TFieldType::ftMemo:
    return {pxfMemoBLOb, def.Size};
  case TFieldType::ftUnknown:
    break;
  }
  return {0, 0};
}

FILE* reopen(int fd, const char* mode) {
  const int copy = dup(fd);
  if (copy < 0) return nullptr;
  FILE* fp = fdopen(copy, mode);
  if (!fp) close(copy);
  return fp;
}

} // namespace

// One pxlib document with its stream and its error sink.
struct PxDoc {
  ErrorSink sink;
  pxdoc_t* px = nullptr;
  FILE* fp = nullptr;
  std::unique_ptr<CodePageConverter> converter;

  explicit PxDoc(FILE* stream) : fp(stream) {
    bootOnce();
    px = PX_new3(collectError, nullptr, nullptr, nullptr, &sink);
  }
  ~PxDoc() { release(); }
  void release() {
    if (px) {
      PX_close(px);
      PX_delete(px);
      px = nullptr;
    }
    if (fp) {
      std::fclose(fp);
      fp = nullptr;
    }
  }
};

struct TableReader::Doc : PxDoc {
  using PxDoc::PxDoc;
};
struct TableWriter::Doc : PxDoc {
  using PxDoc::PxDoc;
  bool finished = false;
};

std::uint32_t passwordChecksum(const std::string& password) {
  // pxlib computes the checksum as soon as a new table is given its password; a scratch
  // table in memory tells it to us without touching any file.
  std::vector<char> buffer(64 * 1024);
  FILE* mem = fmemopen(buffer.data(), buffer.size(), "w+");
  if (!mem) throw EDBEngineError("Cannot check the table password: out of memory");
  PxDoc doc(mem);
  pxfield_t* field = static_cast<pxfield_t*>(doc.px->malloc(doc.px, sizeof(pxfield_t), "password field"));
  field->px_fname = PX_strdup(doc.px, "x");
  field->px_ftype = pxfShort;
  field->px_flen = 2;
  field->px_fdc = 0;
  if (PX_create_fp(doc.px, field, 1, mem, pxfFileTypNonIndexDB) < 0 ||
      PX_set_parameter(doc.px, "password", password.c_str()) < 0)
    throw EDBEngineError("Cannot check the table password: " + doc.sink.error);
  return static_cast<std::uint32_t>(doc.px->px_head->px_encryption);
}

TableReader::TableReader(int fd, std::string tableName) : tableName_(std::move(tableName)) {
  FILE* fp = reopen(fd, "rb");
  if (!fp) throw EDBEngineError("Cannot read table " + tableName_ + ": " + std::strerror(errno));
  doc_ = std::make_unique<Doc>(fp);
  if (!doc_->px) throw EDBEngineError("Cannot read table " + tableName_ + ": out of memory");
  if (PX_open_fp(doc_->px, fp) < 0)
    throw EDBEngineError("Table " + tableName_ + " is not a Paradox table (" + doc_->sink.error + ")");

  // pxlib reads past the end of a cut-off file without noticing; check the size the header promises.
  const pxhead_t* head = doc_->px->px_head;
  struct stat st {};
  const long long promised =
      head->px_headersize + static_cast<long long>(head->px_fileblocks) * head->px_maxtablesize * 1024LL;
  if (fstat(fd, &st) != 0 || head->px_numfields <= 0 || head->px_recordsize <= 0 || promised > st.st_size)
    throw EDBEngineError("Table " + tableName_ + " is damaged");

  for (int i = 0; i < head->px_numfields; ++i) {
    const pxfield_t& f = head->px_fields[i];
    TFieldDef def{f.px_fname ? f.px_fname : "", typeOf(f.px_ftype), 0};
    if (def.DataType == TFieldType::ftString || def.DataType == TFieldType::ftMemo) def.Size = f.px_flen;
    fields_.push_back(std::move(def));
  }
  doc_->converter = std::make_unique<CodePageConverter>(head->px_doscodepage);
  // Field names are stored in the table's code page too.
  for (auto& def : fields_)
    def.Name = doc_->converter->toUtf8(def.Name);
}

TableReader::~TableReader() = default;

std::uint32_t TableReader::encryption() const {
  return static_cast<std::uint32_t>(doc_->px->px_head->px_encryption);
}

std::vector<Record> TableReader::readAll() {
  pxdoc_t* px = doc_->px;
  const pxhead_t* head = px->px_head;
  const int count = PX_get_num_records(px);
  std::vector<Record> records;
  records.reserve(count > 0 ? count : 0);
  for (int r = 0; r < count; ++r) {
    doc_->sink.clear();
    pxval_t** values = PX_retrieve_record(px, r);
    if (!values)
      throw EDBEngineError("Cannot read record " + std::to_string(r + 1) + " of table " + tableName_ + ": " +
                           doc_->sink.error);
    Record record(fields_.size());
    for (int i = 0; i < head->px_numfields; ++i) {
      pxval_t* v = values[i];
      if (!v) continue;
      const char pxType = head->px_fields[i].px_ftype;
      const Slot slot = slotOf(pxType);
      if (!v->isnull && fields_[i].DataType != TFieldType::ftUnknown) {
        if (slot == Slot::Integer)
          record[i] = static_cast<std::int64_t>(v->value.lval);
        else if (slot == Slot::Double)
          record[i] = v->value.dval;
        else if (v->value.str.val)
          record[i] = doc_->converter->toUtf8(std::string_view(v->value.str.val, v->value.str.len));
      }
      if (slot == Slot::Bytes && v->value.str.val) px->free(px, v->value.str.val);
      px->free(px, v);
    }
    px->free(px, values);
    // A memo kept in a companion blob file cannot be read here; the record would be wrong.
    if (!doc_->sink.error.empty())
      throw EDBEngineError("Cannot read record " + std::to_string(r + 1) + " of table " + tableName_ + ": " +
                           doc_->sink.error);
    records.push_back(std::move(record));
  }
  return records;
}

TableWriter::TableWriter(int fd, std::vector<TFieldDef> fields, const std::string& password,
                         std::string tableName)
    : tableName_(std::move(tableName)), fields_(std::move(fields)) {
  if (fields_.empty() || fields_.size() > 255)
    throw EDBEngineError("Table " + tableName_ + " needs 1 to 255 fields");
  for (const auto& def : fields_) {
    const auto [type, length] = pxTypeOf(def);
    const bool badSize = (def.DataType == TFieldType::ftString && (def.Size < 1 || def.Size > 255)) ||
                         (def.DataType == TFieldType::ftMemo && (def.Size < 11 || def.Size > 240));
    if (type == 0 || badSize || def.Name.empty() || def.Name.size() > kMaxFieldName)
      throw EDBEngineError("Invalid field definition '" + def.Name + "' for table " + tableName_);
  }
  FILE* fp = reopen(fd, "r+b");
  if (!fp) throw EDBEngineError("Cannot write table " + tableName_ + ": " + std::strerror(errno));
  doc_ = std::make_unique<Doc>(fp);
  pxdoc_t* px = doc_->px;
  if (!px) throw EDBEngineError("Cannot write table " + tableName_ + ": out of memory");
  doc_->converter = std::make_unique<CodePageConverter>(kWrittenCodePage);

  // pxlib takes ownership of the field array and frees it with its own allocator.
  auto* pxFields = static_cast<pxfield_t*>(px->malloc(px, sizeof(pxfield_t) * fields_.size(), "fields"));
  for (size_t i = 0; i < fields_.size(); ++i) {
    const auto [type, length] = pxTypeOf(fields_[i]);
    const auto storedName = doc_->converter->fromUtf8(fields_[i].Name);
    pxFields[i].px_fname = PX_strdup(px, storedName ? storedName->c_str() : fields_[i].Name.c_str());
    pxFields[i].px_ftype = type;
    pxFields[i].px_flen = length;
    pxFields[i].px_fdc = 0;
  }
  if (PX_create_fp(px, pxFields, static_cast<int>(fields_.size()), fp, pxfFileTypNonIndexDB) < 0)
    throw EDBEngineError("Cannot create table " + tableName_ + ": " + doc_->sink.error);
  px->px_head->px_doscodepage = kWrittenCodePage;
  PX_set_parameter(px, "tablename", tableName_.c_str());
  if (!password.empty() && PX_set_parameter(px, "password", password.c_str()) < 0)
    throw EDBEngineError("Cannot encrypt table " + tableName_ + ": " + doc_->sink.error);
}

TableWriter::~TableWriter() = default;

void TableWriter::append(const Record& record) {
  if (!doc_->px || doc_->finished) throw EDBEngineError("Table " + tableName_ + " is already complete");
  if (record.size() != fields_.size())
    throw EDBEngineError("A record of table " + tableName_ + " needs " + std::to_string(fields_.size()) +
                         " values");
  std::vector<pxval_t> values(fields_.size());
  std::vector<pxval_t*> pointers(fields_.size());
  std::vector<std::string> texts(fields_.size());
  for (size_t i = 0; i < fields_.size(); ++i) {
    const TFieldDef& def = fields_[i];
    const FieldValue& value = record[i];
    pxval_t& v = values[i];
    pointers[i] = &v;
    v.type = pxTypeOf(def).type;
    const auto refuse = [&](const std::string& why) {
      throw EDBEngineError("Value for field " + def.Name + " of table " + tableName_ + " " + why);
    };
    if (std::holds_alternative<std::monostate>(value)) {
      v.isnull = 1;
      continue;
    }
    switch (def.DataType) {
    case TFieldType::ftString:
    case TFieldType::ftMemo: {
      const auto* text = std::get_if<std::string>(&value);
      if (!text) refuse("must be text");
      auto stored = doc_->converter->fromUtf8(*text);
      if (!stored) refuse("holds a character the table's code page lacks");
      const int capacity = def.DataType == TFieldType::ftString ? def.Size : def.Size - 10;
      if (stored->size() > static_cast<size_t>(capacity))
        refuse("is longer than " + std::to_string(capacity) + " bytes");
      texts[i] = std::move(*stored);
      v.value.str.val = texts[i].data();
      v.value.str.len = static_cast<int>(texts[i].size());
      break;
    }
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftAutoInc:
    case TFieldType::ftBoolean: {
      const auto* number = std::get_if<std::int64_t>(&value);
      if (!number) refuse("must be an integer");
      const std::int64_t low =
          def.DataType == TFieldType::ftSmallint  ? std::numeric_limits<std::int16_t>::min()
          : def.DataType == TFieldType::ftBoolean ? 0
                                                  : std::numeric_limits<std::int32_t>::min();
      const std::int64_t high =
          def.DataType == TFieldType::ftSmallint  ? std::numeric_limits<std::int16_t>::max()
          : def.DataType == TFieldType::ftBoolean ? 1
                                                  : std::numeric_limits<std::int32_t>::max();
      if (*number < low || *number > high) refuse("is out of range");
      v.value.lval = static_cast<long>(*number);
      break;
    }
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      if (const auto* d = std::get_if<double>(&value))
        v.value.dval = *d;
      else if (const auto* n = std::get_if<std::int64_t>(&value))
        v.value.dval = static_cast<double>(*n);
      else
        refuse("must be a number");
      break;
    case TFieldType::ftUnknown:
      refuse("has no type");
    }
  }
  doc_->sink.clear();
  if (PX_insert_record(doc_->px, pointers.data()) < 0 || !doc_->sink.error.empty())
    throw EDBEngineError("Cannot add a record to table " + tableName_ + ": " + doc_->sink.error);
}

void TableWriter::finish() {
  if (doc_->finished) return;
  doc_->finished = true;
  doc_->sink.clear();
  PX_close(doc_->px);
  PX_delete(doc_->px);
  doc_->px = nullptr;
  const bool flushed = std::fflush(doc_->fp) == 0 && fsync(fileno(doc_->fp)) == 0;
  const bool closed = std::fclose(doc_->fp) == 0;
  doc_->fp = nullptr;
  if (!flushed || !closed || !doc_->sink.error.empty())
    throw EDBEngineError("Cannot write table " + tableName_ + ": " +
                         (doc_->sink.error.empty() ? std::strerror(errno) : doc_->sink.error));
}

} // namespace kv::platform::paradox
