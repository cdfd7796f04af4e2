#include "Platform/Database/ParadoxFile.h"

#include "Platform/CodePage/CodePage.h"
#include "Platform/Database/LittleEndian.h"
#include "Platform/Database/MemoFile.h"
#include "Platform/Rtl/Classes.h"

// pxlib's header declares C functions without saying so.
extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform::paradox {

namespace fs = std::filesystem;

namespace {

// The code page of every table we write: the product's texts are Western European.
constexpr int kWrittenCodePage = 1252;
constexpr int kMaxFieldName = 25;
constexpr int kDefaultCodePage = 1252;

// Offsets in the header of a table file.
constexpr size_t kRecordSize = 0x00, kHeaderSize = 0x02, kFileType = 0x04, kMaxTableSize = 0x05,
                 kNumRecords = 0x06, kFileBlocks = 0x0C, kNumFields = 0x21, kEncryption1 = 0x25,
                 kFileVersion = 0x39, kEncryption2 = 0x5C, kCodePage = 0x6A;
// Tables of level 4 and later carry a longer header; its field list starts later.
constexpr size_t kFieldsOld = 0x58, kFieldsExtended = 0x78;
constexpr int kFirstExtendedVersion = 5;
// From level 7 on a table's name takes 261 bytes in the header, before that 79.
constexpr int kLongNameVersion = 12;
// A data block starts with the numbers of the next and previous blocks and the size of its data.
constexpr int kBlockHeader = 6;

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

TFieldType typeOf(int pxType) {
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

// The types the engine decodes are read from exactly their width, a memo from the reference in its
// last ten bytes; a field that says otherwise would be read past its end.
bool widthFits(int pxType, int length) {
  switch (pxType) {
  case pxfShort:
    return length == 2;
  case pxfLong:
  case pxfAutoInc:
    return length == 4;
  case pxfLogical:
    return length == 1;
  case pxfNumber:
  case pxfCurrency:
    return length == 8;
  case pxfMemoBLOb:
  case pxfFmtMemoBLOb:
    return length >= static_cast<int>(BlobRef::kSize);
  default:
    return true;
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

// Reads exactly `size` bytes at `offset`; false when the file ends first or cannot be read.
bool readFully(int fd, char* out, size_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t n = pread(fd, out, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

// A growable file in memory for pxlib to build a table in: it seeks and reads back for every
// record it adds, which on a real file costs system calls that grow with the table.
struct MemoryFile {
  std::string bytes;
  size_t pos = 0;

  static ssize_t read(void* cookie, char* buf, size_t size) {
    auto* m = static_cast<MemoryFile*>(cookie);
    if (m->pos >= m->bytes.size()) return 0;
    const size_t n = std::min(size, m->bytes.size() - m->pos);
    std::memcpy(buf, m->bytes.data() + m->pos, n);
    m->pos += n;
    return static_cast<ssize_t>(n);
  }
  static ssize_t write(void* cookie, const char* buf, size_t size) {
    auto* m = static_cast<MemoryFile*>(cookie);
    if (m->pos + size > m->bytes.size()) m->bytes.resize(m->pos + size, '\0');
    std::memcpy(m->bytes.data() + m->pos, buf, size);
    m->pos += size;
    return static_cast<ssize_t>(size);
  }
  static int seek(void* cookie, off64_t* offset, int whence) {
    auto* m = static_cast<MemoryFile*>(cookie);
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(m->pos)
                                              : static_cast<off64_t>(m->bytes.size());
    if (base + *offset < 0) return -1;
    m->pos = static_cast<size_t>(base + *offset);
    *offset = static_cast<off64_t>(m->pos);
    return 0;
  }
  FILE* open() { return fopencookie(this, "w+", {read, write, seek, nullptr}); }
};

// pxlib's memory comes zeroed, so that what it allocates and never fills reads as nothing: its
// index of a table's blocks has room for every block of the file and is filled along the chain.
void* zeroedAlloc(pxdoc_t*, size_t size, const char*) { return std::calloc(1, size); }
void* plainRealloc(pxdoc_t*, void* mem, size_t size, const char*) { return std::realloc(mem, size); }
void plainFree(pxdoc_t*, void* mem) { std::free(mem); }

// What pxlib reads a table through: the table's descriptor at a position of this stream's own.
// Opening follows the chain of data blocks wherever it leads, and an enciphered table's chain
// cannot be checked before; a chain that runs in a circle would keep it going for ever. Every
// block it visits costs it a few seeks, so while a table opens the stream allows no more of them
// than a table of that size needs, and pxlib gives up at the first one refused.
//
// Opening also reads every block through, and each seek empties the C library's buffer of a stream:
// that buffer is kept small, and refilled from a larger window of the file that seeks leave in place.
class TableStream {
public:
  TableStream(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  FILE* open() {
    FILE* fp = fopencookie(this, "rb", {read, nullptr, seek, nullptr});
    if (fp) std::setvbuf(fp, buffer_, _IOFBF, sizeof buffer_);
    return fp;
  }
  void limitSeeks(std::uint64_t count) { seeksLeft_ = count; }

private:
  static constexpr size_t kWindow = 256 * 1024, kBack = 32 * 1024;

  static ssize_t read(void* cookie, char* buf, size_t size) {
    auto* s = static_cast<TableStream*>(cookie);
    if (s->pos_ < s->windowAt_ || s->pos_ >= s->windowAt_ + s->window_.size()) {
      // pxlib reads on through a block and then goes back to its start: a window starts a block's
      // largest size before where it is read.
      s->windowAt_ = s->pos_ - std::min<std::uint64_t>(s->pos_, kBack);
      s->window_.resize(kWindow);
      ssize_t n;
      do
        n = pread(s->fd_, s->window_.data(), kWindow, static_cast<off_t>(s->windowAt_));
      while (n < 0 && errno == EINTR);
      s->window_.resize(n > 0 ? static_cast<size_t>(n) : 0);
      if (s->pos_ >= s->windowAt_ + s->window_.size()) return n < 0 ? n : 0;
    }
    const size_t offset = static_cast<size_t>(s->pos_ - s->windowAt_);
    const size_t n = std::min(size, s->window_.size() - offset);
    std::memcpy(buf, s->window_.data() + offset, n);
    s->pos_ += n;
    return static_cast<ssize_t>(n);
  }
  static int seek(void* cookie, off64_t* offset, int whence) {
    auto* s = static_cast<TableStream*>(cookie);
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(s->pos_)
                                              : static_cast<off64_t>(s->size_);
    if (s->seeksLeft_ == 0 || *offset < -base) {
      errno = EINVAL;
      return -1;
    }
    --s->seeksLeft_;
    s->pos_ = static_cast<std::uint64_t>(base + *offset);
    *offset = static_cast<off64_t>(s->pos_);
    return 0;
  }

  int fd_;
  std::uint64_t size_;
  std::uint64_t pos_ = 0;
  std::uint64_t seeksLeft_ = std::numeric_limits<std::uint64_t>::max();
  char buffer_[512];
  std::string window_; // the bytes of the file from windowAt_ on
  std::uint64_t windowAt_ = 0;
};

// How many records, from the first on, pxlib can be let read. Its index lists the blocks in the
// order of their chain as it read their headers (an enciphered table's deciphered), and it reads a
// record wherever the index says: a block the file does not hold, one met twice, or one that
// claims more records than it has room for would take it outside the block or the file. The
// records before such a block stay readable.
int readableRecords(const TableHeader& h, const pxdoc_t& px) {
  const auto* index = static_cast<const pxpindex_t*>(px.px_indexdata);
  const int perBlock = (h.blockSize - kBlockHeader) / h.recordSize;
  std::vector<bool> seen(static_cast<size_t>(h.fileBlocks) + 1);
  std::int64_t records = 0;
  for (int i = 0; index && i < px.px_indexdatalen && records < h.recordCount; ++i) {
    const int block = index[i].blocknumber, inBlock = index[i].numrecords;
    if (block < 1 || block > h.fileBlocks || seen[block] || inBlock < 0 || inBlock > perBlock) break;
    seen[block] = true;
    records += inBlock;
  }
  return static_cast<int>(std::min(records, h.recordCount));
}

} // namespace

// One pxlib document with its stream and its error sink.
struct PxDoc {
  ErrorSink sink;
  pxdoc_t* px = nullptr;
  FILE* fp = nullptr;

  explicit PxDoc(FILE* stream) : fp(stream) {
    bootOnce();
    px = PX_new3(collectError, zeroedAlloc, plainRealloc, plainFree, &sink);
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

// The stream comes first: pxlib's document reads from it until the last.
struct TableReader::Doc : TableStream, PxDoc {
  Doc(int fd, std::uint64_t size) : TableStream(fd, size), PxDoc(TableStream::open()) {}
  int readable = 0; // records, from the first on, that lie in blocks fit to be read
};

struct TableWriter::Doc {
  MemoryFile file;
  PxDoc px;
  MemoWriter memos;
  std::vector<int> offsets; // of each field in the record
  int records = 0;
  bool finished = false;
  std::uint32_t key = 0; // the password's checksum, which enciphers the memo file too
  Doc() : px(file.open()) {}
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

// --- header ----------------------------------------------------------------------------------------------

std::optional<TableHeader> TableHeader::parse(std::string_view bytes) {
  if (bytes.size() < kFieldsOld) return std::nullopt;
  const char* b = bytes.data();
  TableHeader h;
  h.recordSize = getLe16(b + kRecordSize);
  h.headerSize = getLe16(b + kHeaderSize);
  const int fileType = static_cast<unsigned char>(b[kFileType]);
  const int maxTableSize = static_cast<unsigned char>(b[kMaxTableSize]);
  h.recordCount = getLe32(b + kNumRecords);
  h.fileBlocks = getLe16(b + kFileBlocks);
  const int numFields = getLe16(b + kNumFields);
  h.fileVersion = static_cast<unsigned char>(b[kFileVersion]);
  const bool extended = h.fileVersion >= kFirstExtendedVersion;
  const size_t fieldInfo = extended ? kFieldsExtended : kFieldsOld;
  // Only data files (.DB, keyed or not); block sizes of 1 to 32 kB.
  if ((fileType != pxfFileTypIndexDB && fileType != pxfFileTypNonIndexDB) || maxTableSize < 1 ||
      maxTableSize > 32 || numFields < 1 || numFields > 255 || h.recordSize < 1 ||
      static_cast<size_t>(h.headerSize) > bytes.size() || h.recordCount > std::numeric_limits<int>::max())
    return std::nullopt;
  h.blockSize = maxTableSize * 1024;

  // Type and length of each field, then a pointer to the table name and one to each field name
  // (meaningless on disk), the table name, and the field names, each ended by a zero byte.
  const size_t tableName = fieldInfo + 2 * numFields + 4 + 4 * numFields;
  size_t name = tableName + (h.fileVersion >= kLongNameVersion ? 261 : 79);
  if (name > static_cast<size_t>(h.headerSize)) return std::nullopt;
  // From here on the bytes hold at least the fixed part of the header.
  h.codePage = extended ? getLe16(b + kCodePage) : 0;
  h.encryption = getLe32(b + (extended ? kEncryption2 : kEncryption1));
  int offset = 0;
  for (int i = 0; i < numFields; ++i) {
    Field f;
    f.type = static_cast<unsigned char>(b[fieldInfo + 2 * i]);
    f.length = static_cast<unsigned char>(b[fieldInfo + 2 * i + 1]);
    f.offset = offset;
    offset += f.length;
    const void* end = std::memchr(b + name, 0, h.headerSize - name);
    if (f.length == 0 || !widthFits(f.type, f.length) || !end) return std::nullopt;
    f.name.assign(b + name, static_cast<const char*>(end));
    name += f.name.size() + 1;
    h.fields.push_back(std::move(f));
  }
  if (offset != h.recordSize) return std::nullopt;
  return h;
}

// --- reading ---------------------------------------------------------------------------------------------

TableReader::TableReader(TableLock lock, fs::path file, std::string tableName)
    : lock_(std::move(lock)), file_(std::move(file)), tableName_(std::move(tableName)) {
  const int fd = lock_.fd();
  struct stat st {};
  if (fstat(fd, &st) != 0)
    throw EDBEngineError("Cannot read table " + tableName_ + ": " + std::strerror(errno));
  // The header is at most 64 kB, whatever the size of the table.
  std::string head(static_cast<size_t>(std::min<off_t>(st.st_size, 0x10000)), '\0');
  if (!readFully(fd, head.data(), head.size(), 0))
    throw EDBEngineError("Cannot read table " + tableName_ + ": " + std::strerror(errno));
  // What a crash or a full disk leaves behind is said as such, not as some other file.
  if (st.st_size == 0) throw EDBEngineError("Table " + tableName_ + " is an empty file");
  auto header = TableHeader::parse(head);
  if (!header) throw EDBEngineError("Table " + tableName_ + " is not a Paradox table");
  header_ = std::move(*header);
  // A cut-off file, or a count of records its blocks cannot hold, is found before any record is read.
  const std::int64_t promised = header_.headerSize + header_.fileBlocks * header_.blockSize;
  const std::int64_t room = header_.fileBlocks * ((header_.blockSize - kBlockHeader) / header_.recordSize);
  if (promised > st.st_size || header_.recordCount > room)
    damaged("its header promises more than the file holds");

  codePage_ = &SingleByteCodePage::get(header_.codePage ? header_.codePage : kDefaultCodePage);
  for (const auto& f : header_.fields) {
    TFieldDef def{codePage_->toUtf8(f.name), typeOf(f.type), 0};
    if (def.DataType == TFieldType::ftString || def.DataType == TFieldType::ftMemo) def.Size = f.length;
    fields_.push_back(std::move(def));
  }
}

TableReader::~TableReader() = default;

int TableReader::codePage() const { return codePage_->number(); }

void TableReader::damaged(const std::string& why) const {
  throw EDBEngineError("Table " + tableName_ + " is damaged: " + why);
}

TableReader::Doc& TableReader::doc() {
  if (doc_) return *doc_;
  // Blocks that could not be read fail every later record the same way, without a new try.
  if (unreadable_) throw EDBEngineError(*unreadable_);
  try {
    doc_ = openBlocks();
  } catch (const EDBEngineError& e) {
    unreadable_ = e.what();
    throw;
  }
  return *doc_;
}

std::unique_ptr<TableReader::Doc> TableReader::openBlocks() {
  struct stat st {};
  if (fstat(lock_.fd(), &st) != 0)
    throw EDBEngineError("Cannot read table " + tableName_ + ": " + std::strerror(errno));
  auto doc = std::make_unique<Doc>(lock_.fd(), static_cast<std::uint64_t>(st.st_size));
  if (!doc->px || !doc->fp) throw EDBEngineError("Cannot read table " + tableName_ + ": out of memory");
  // Opening reads the header (a few seeks a field) and visits each block once (a few seeks a
  // block); a block takes at least a kilobyte of the file.
  doc->limitSeeks(8192 + 16 * (static_cast<std::uint64_t>(st.st_size) / 1024 + 1));
  if (PX_open_fp(doc->px, doc->fp) < 0) {
    // pxlib frees its index of the blocks when it cannot read one, and leaves the pointer.
    doc->px->px_indexdata = nullptr;
    doc->px->px_indexdatalen = 0;
    damaged(doc->sink.error);
  }
  doc->limitSeeks(std::numeric_limits<std::uint64_t>::max());
  if (doc->px->px_head->px_recordsize != header_.recordSize || PX_get_num_records(doc->px) != recordCount())
    damaged("its blocks do not match its header");
  doc->readable = readableRecords(header_, *doc->px);
  return doc;
}

void TableReader::readRecord(int recno, std::string& raw) {
  Doc& d = doc();
  raw.resize(header_.recordSize);
  d.sink.clear();
  if (recno < 0 || recno >= d.readable || !PX_get_record(d.px, recno, raw.data()))
    damaged("record " + std::to_string(recno + 1) + " cannot be read " + d.sink.error);
}

void TableReader::forEachRecord(const std::function<void(int, std::string_view)>& visit) {
  const int count = recordCount();
  const size_t size = header_.recordSize;
  std::string records;
  if (header_.encryption != 0) {
    // pxlib deciphers an encrypted table record by record.
    for (int recno = 0; recno < count; ++recno) {
      readRecord(recno, records);
      visit(recno, records);
    }
    return;
  }
  // pxlib's index lists the blocks in the order of their chain with the records each holds; blocks
  // that follow each other in the file as well are read in one piece of up to a megabyte.
  Doc& d = doc();
  const auto* index = static_cast<const pxpindex_t*>(d.px->px_indexdata);
  const int blockSize = header_.blockSize;
  const int maxRun = std::max(1, (1 << 20) / blockSize);
  int recno = 0;
  for (int i = 0; recno < d.readable;) {
    int run = 1;
    // A damaged chain may name blocks the file lacks after the last record read: none is read along.
    while (run < maxRun && i + run < d.px->px_indexdatalen &&
           index[i + run].blocknumber == index[i].blocknumber + run &&
           index[i + run].blocknumber <= header_.fileBlocks)
      ++run;
    records.resize(static_cast<size_t>(run) * blockSize);
    const std::uint64_t at =
        header_.headerSize + static_cast<std::uint64_t>(index[i].blocknumber - 1) * blockSize;
    if (!readFully(lock_.fd(), records.data(), records.size(), at))
      damaged("record " + std::to_string(recno + 1) + " lies past its end");
    for (int b = 0; b < run && recno < d.readable; ++b) {
      const int inBlock = std::min(index[i + b].numrecords, d.readable - recno);
      const char* first = records.data() + static_cast<size_t>(b) * blockSize + kBlockHeader;
      for (int k = 0; k < inBlock; ++k)
        visit(recno + k, std::string_view(first + k * size, size));
      recno += inBlock;
    }
    i += run;
  }
  if (recno < count) damaged("record " + std::to_string(recno + 1) + " cannot be read");
}

const MemoReader& TableReader::memos() {
  if (memos_) return *memos_;
  // The memo file is the table's name with the extension .MB, found regardless of case.
  fs::path wanted = file_;
  wanted.replace_extension(".MB");
  std::error_code ec;
  if (!fs::is_regular_file(wanted, ec)) {
    for (auto it = fs::directory_iterator(file_.parent_path(), ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
      if (SameText(it->path().filename().string(), wanted.filename().string())) {
        wanted = it->path();
        break;
      }
  }
  const int fd = ::open(wanted.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw MemoDamaged("cannot open the memo file " + wanted.string() + ": " + std::strerror(errno));
  memos_ = std::make_unique<MemoReader>(fd, header_.encryption);
  return *memos_;
}

std::string_view TableReader::fieldBytes(std::string_view raw, int field) const {
  const TableHeader::Field& f = header_.fields.at(field);
  if (raw.size() != static_cast<size_t>(header_.recordSize)) damaged("a record is cut off");
  return raw.substr(f.offset, f.length);
}

std::string_view TableReader::storedText(std::string_view raw, int field, int recno, std::string& memo) {
  const TableHeader::Field& f = header_.fields.at(field);
  const std::string_view bytes = fieldBytes(raw, field);
  if (f.type == pxfAlpha) return bytes.substr(0, strnlen(bytes.data(), bytes.size()));
  if (f.type != pxfMemoBLOb && f.type != pxfFmtMemoBLOb) return {};
  // The first bytes of the text stay in the record (its leader); the last ten say where the whole is.
  const size_t leader = bytes.size() - BlobRef::kSize;
  const BlobRef ref = BlobRef::parse(bytes.substr(leader));
  if (ref.length <= leader) return bytes.substr(0, ref.length);
  try {
    memos().read(ref, memo);
  } catch (const MemoDamaged& e) {
    throw EDBEngineError("Cannot read memo field " + fields_[field].Name + " of record " +
                         std::to_string(recno + 1) + " of table " + tableName_ + ": " + e.what());
  }
  return memo;
}

std::optional<std::string> TableReader::storedEqual(int field, const FieldValue& value) {
  const TableHeader::Field& f = header_.fields.at(field);
  const auto* number = std::get_if<std::int64_t>(&value);
  if (!number || (f.type != pxfShort && f.type != pxfLong && f.type != pxfAutoInc)) return std::nullopt;
  // pxlib writes the value as a table would hold it and reads it back: a value the field cannot hold
  // (out of range, or the one whose bytes mean null) is held by no record. The stored form of an
  // integer is one-to-one, so equal bytes mean equal values.
  pxdoc_t* px = doc().px;
  std::string stored(f.length, '\0');
  bool held = false;
  if (f.type == pxfShort) {
    short back = 0;
    held = *number >= std::numeric_limits<short>::min() && *number <= std::numeric_limits<short>::max();
    if (held) PX_put_data_short(px, stored.data(), f.length, static_cast<short>(*number));
    held = held && PX_get_data_short(px, stored.data(), f.length, &back) > 0 && back == *number;
  } else {
    long back = 0;
    held = *number >= std::numeric_limits<std::int32_t>::min() &&
           *number <= std::numeric_limits<std::int32_t>::max();
    if (held) PX_put_data_long(px, stored.data(), f.length, static_cast<int>(*number));
    held = held && PX_get_data_long(px, stored.data(), f.length, &back) > 0 && back == *number;
  }
  return held ? stored : std::string();
}

bool TableReader::storedOrder(int field) const {
  // Integers are stored high byte first with the sign bit turned over, and null as zero bytes.
  const int type = header_.fields.at(field).type;
  return type == pxfShort || type == pxfLong || type == pxfAutoInc;
}

FieldValue TableReader::value(std::string_view raw, int field, int recno) {
  const TableHeader::Field& f = header_.fields.at(field);
  char* p = const_cast<char*>(fieldBytes(raw, field).data()); // pxlib's decoders only read
  switch (f.type) {
  case pxfAlpha:
  case pxfMemoBLOb:
  case pxfFmtMemoBLOb: {
    const std::string_view text = storedText(raw, field, recno, memoText_);
    if (text.empty()) return {};
    return codePage_->toUtf8(text);
  }
  case pxfShort: {
    short v = 0;
    if (PX_get_data_short(doc().px, p, f.length, &v) <= 0) return {};
    return static_cast<std::int64_t>(v);
  }
  case pxfLong:
  case pxfAutoInc: {
    long v = 0;
    if (PX_get_data_long(doc().px, p, f.length, &v) <= 0) return {};
    return static_cast<std::int64_t>(v);
  }
  case pxfLogical: {
    char v = 0;
    if (PX_get_data_byte(doc().px, p, f.length, &v) <= 0) return {};
    return static_cast<std::int64_t>(v);
  }
  case pxfNumber:
  case pxfCurrency: {
    double v = 0;
    if (PX_get_data_double(doc().px, p, f.length, &v) <= 0) return {};
    return v;
  }
  default:
    return {}; // a type this engine does not read
  }
}

// --- writing ---------------------------------------------------------------------------------------------

TableWriter::TableWriter(std::vector<TFieldDef> fields, const std::string& password, std::string tableName)
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
  doc_ = std::make_unique<Doc>();
  pxdoc_t* px = doc_->px.px;
  if (!px || !doc_->px.fp) throw EDBEngineError("Cannot write table " + tableName_ + ": out of memory");
  const SingleByteCodePage& cp = SingleByteCodePage::get(kWrittenCodePage);

  // pxlib takes ownership of the field array and frees it with its own allocator.
  auto* pxFields = static_cast<pxfield_t*>(px->malloc(px, sizeof(pxfield_t) * fields_.size(), "fields"));
  int offset = 0;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const auto [type, length] = pxTypeOf(fields_[i]);
    const auto storedName = cp.fromUtf8(fields_[i].Name);
    pxFields[i].px_fname = PX_strdup(px, storedName ? storedName->c_str() : fields_[i].Name.c_str());
    pxFields[i].px_ftype = type;
    pxFields[i].px_flen = length;
    pxFields[i].px_fdc = 0;
    doc_->offsets.push_back(offset);
    offset += length;
  }
  if (PX_create_fp(px, pxFields, static_cast<int>(fields_.size()), doc_->px.fp, pxfFileTypNonIndexDB) < 0)
    throw EDBEngineError("Cannot create table " + tableName_ + ": " + doc_->px.sink.error);
  px->px_head->px_doscodepage = kWrittenCodePage;
  PX_set_parameter(px, "tablename", tableName_.c_str());
  if (!password.empty() && PX_set_parameter(px, "password", password.c_str()) < 0)
    throw EDBEngineError("Cannot encrypt table " + tableName_ + ": " + doc_->px.sink.error);
  doc_->key = static_cast<std::uint32_t>(px->px_head->px_encryption);
}

TableWriter::~TableWriter() = default;

void TableWriter::append(const Record& record) {
  pxdoc_t* px = doc_->px.px;
  if (!px || doc_->finished) throw EDBEngineError("Table " + tableName_ + " is already complete");
  if (record.size() != fields_.size())
    throw EDBEngineError("A record of table " + tableName_ + " needs " + std::to_string(fields_.size()) +
                         " values");
  const SingleByteCodePage& cp = SingleByteCodePage::get(kWrittenCodePage);
  std::vector<pxval_t> values(fields_.size());
  std::vector<pxval_t*> pointers(fields_.size());
  std::vector<std::string> texts(fields_.size());
  std::vector<std::pair<size_t, std::string>> memos; // memo fields are written by us, not by pxlib
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
      auto stored = cp.fromUtf8(*text);
      if (!stored) refuse("holds a character the table's code page lacks");
      if (def.DataType == TFieldType::ftMemo) {
        if (stored->size() > kMaxMemoLength)
          refuse("is longer than " + std::to_string(kMaxMemoLength) + " bytes");
        v.isnull = 1;
        if (!stored->empty()) memos.emplace_back(i, std::move(*stored));
        break;
      }
      if (stored->size() > static_cast<size_t>(def.Size))
        refuse("is longer than " + std::to_string(def.Size) + " bytes");
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
  // The memo file takes what does not fit the records; a refusal there leaves the table as it was.
  std::vector<std::pair<size_t, BlobRef>> refs;
  for (const auto& [i, text] : memos) {
    const size_t leader = fields_[i].Size - BlobRef::kSize;
    try {
      refs.emplace_back(i, text.size() <= leader ? BlobRef{0, static_cast<std::uint32_t>(text.size()), 0}
                                                 : doc_->memos.add(text));
    } catch (const std::length_error& e) {
      throw EDBEngineError("Value for field " + fields_[i].Name + " of table " + tableName_ + ": " +
                           e.what());
    }
  }
  doc_->px.sink.clear();
  if (PX_insert_record(px, pointers.data()) < 0 || !doc_->px.sink.error.empty())
    throw EDBEngineError("Cannot add a record to table " + tableName_ + ": " + doc_->px.sink.error);
  const int recno = doc_->records++;
  if (memos.empty()) return;
  // Each memo field keeps the text's first bytes (its leader) and where the whole text is.
  std::string raw(PX_get_recordsize(px), '\0');
  if (!PX_get_record(px, recno, raw.data()))
    throw EDBEngineError("Cannot add a record to table " + tableName_ + ": " + doc_->px.sink.error);
  for (size_t k = 0; k < memos.size(); ++k) {
    const auto& [i, text] = memos[k];
    char* field = raw.data() + doc_->offsets[i];
    const size_t leader = fields_[i].Size - BlobRef::kSize;
    std::copy_n(text.begin(), std::min(leader, text.size()), field);
    refs[k].second.store(field + leader);
  }
  if (PX_put_recordn(px, raw.data(), recno) < 0)
    throw EDBEngineError("Cannot add a record to table " + tableName_ + ": " + doc_->px.sink.error);
}

void TableWriter::finish() {
  if (doc_->finished) return;
  doc_->finished = true;
  doc_->px.sink.clear();
  PX_close(doc_->px.px);
  PX_delete(doc_->px.px);
  doc_->px.px = nullptr;
  const bool flushed = std::fflush(doc_->px.fp) == 0;
  if (!flushed || !doc_->px.sink.error.empty())
    throw EDBEngineError("Cannot write table " + tableName_ + ": " +
                         (doc_->px.sink.error.empty() ? std::strerror(errno) : doc_->px.sink.error));
  const bool hasMemos = std::any_of(fields_.begin(), fields_.end(),
                                    [](const TFieldDef& def) { return def.DataType == TFieldType::ftMemo; });
  if (hasMemos) memoBytes_ = doc_->memos.bytes(doc_->key);
}

const std::string& TableWriter::tableBytes() const { return doc_->file.bytes; }

} // namespace kv::platform::paradox
