#include "Platform/Database/Database.h"

#include "Platform/Database/AliasFile.h"
#include "Platform/Database/ParadoxFile.h"
#include "Platform/Database/SqlSelect.h"
#include "Platform/Database/TableLock.h"
#include "Platform/Rtl/Rounding.h"
#include "Platform/Settings/SettingsFolder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fnmatch.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {

namespace fs = std::filesystem;

namespace {

// The number a field's text stands for; a text that is not wholly one is refused.
template <class T> T numberOfText(const std::string& text, const char* kind, const std::string& field) {
  T value{};
  const auto* end = text.data() + text.size();
  const auto res = std::from_chars(text.data(), end, value);
  if (text.empty() || res.ec != std::errc() || res.ptr != end)
    throw EDatabaseError("'" + text + "' is not a valid " + kind + " value for field " + field);
  return value;
}

// The file of a table in a directory, found regardless of case when its exact name is missing.
std::optional<fs::path> findTable(const fs::path& dir, const std::string& tableName) {
  fs::path name(tableName);
  if (!name.has_extension()) name += ".DB";
  const fs::path wanted = name.is_absolute() ? name : dir / name;
  std::error_code ec;
  if (fs::is_regular_file(wanted, ec)) return wanted;
  std::vector<fs::path> candidates;
  const std::string fileName = wanted.filename().string();
  for (auto it = fs::directory_iterator(wanted.parent_path(), ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec) && SameText(it->path().filename().string(), fileName))
      candidates.push_back(it->path());
  }
  if (candidates.empty()) return std::nullopt;
  std::sort(candidates.begin(), candidates.end());
  return candidates.front();
}

std::string withTable(const std::string& tableName) {
  return tableName.empty() ? std::string() : " (table " + tableName + ")";
}

} // namespace

// --- session ---------------------------------------------------------------------------------------------

TSession& Session() {
  static TSession session;
  return session;
}

void TSession::GetAliasParams(const std::string& AliasName, TStrings& List) const {
  const auto params = readAliasParams(settingsFolder() / "aliases.ini", AliasName);
  if (!params) throw EDBEngineError("Unknown alias " + AliasName);
  List.BeginUpdate();
  List.Clear();
  for (const auto& line : *params)
    List.Add(line);
  List.EndUpdate();
}

fs::path TSession::databaseDirectory(const std::string& DatabaseName, const std::string& tableName) const {
  if (const auto params = readAliasParams(settingsFolder() / "aliases.ini", DatabaseName)) {
    const std::string path = paramValue(*params, "PATH");
    if (path.empty()) throw EDBEngineError("Alias " + DatabaseName + " has no PATH" + withTable(tableName));
    return path;
  }
  std::error_code ec;
  if (!DatabaseName.empty() && fs::path(DatabaseName).is_absolute() && fs::is_directory(DatabaseName, ec))
    return DatabaseName;
  throw EDBEngineError("Unknown database " + DatabaseName + withTable(tableName));
}

void TSession::GetTableNames(const std::string& DatabaseName, const std::string& Pattern, bool Extensions,
                             bool /*SystemTables*/, TStrings& List) const {
  const fs::path dir = databaseDirectory(DatabaseName);
  std::error_code ec;
  std::vector<std::string> names;
  const std::string pattern = Pattern.empty() ? "*" : Pattern;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (it->is_regular_file(ec) && fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD | FNM_PERIOD) == 0)
      names.push_back(Extensions ? name : it->path().stem().string());
  }
  if (ec) throw EDBEngineError("Cannot list the tables of " + dir.string() + ": " + ec.message());
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int c = CompareText(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  List.BeginUpdate();
  List.Clear();
  for (const auto& name : names)
    List.Add(name);
  List.EndUpdate();
}

void TSession::AddPassword(const std::string& Password) {
  if (!passwords_.count(Password)) passwords_[Password] = paradox::passwordChecksum(Password);
}

void TSession::RemovePassword(const std::string& Password) { passwords_.erase(Password); }

void TSession::RemoveAllPasswords() { passwords_.clear(); }

bool TSession::holdsPassword(std::uint32_t checksum) const {
  return std::any_of(passwords_.begin(), passwords_.end(),
                     [&](const auto& p) { return p.second == checksum; });
}

// --- fields ----------------------------------------------------------------------------------------------

const FieldValue& TField::Value() const { return owner_->valueAt(index_); }

bool TField::IsNull() const { return std::holds_alternative<std::monostate>(Value()); }

int TField::AsInteger() const {
  const FieldValue& v = Value();
  if (const auto* n = std::get_if<std::int64_t>(&v)) return saturate(*n);
  if (const auto* d = std::get_if<double>(&v)) return RoundToInt(*d);
  if (const auto* s = std::get_if<std::string>(&v)) return numberOfText<int>(*s, "integer", FieldName());
  return 0;
}

std::string TField::AsString() const {
  const FieldValue& v = Value();
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* n = std::get_if<std::int64_t>(&v)) {
    if (DataType() == TFieldType::ftBoolean) return *n ? "True" : "False";
    return std::to_string(*n);
  }
  if (const auto* d = std::get_if<double>(&v)) {
    char buffer[64];
    const auto res = std::to_chars(buffer, buffer + sizeof buffer, *d);
    return std::string(buffer, res.ptr);
  }
  return {};
}

double TField::AsFloat() const {
  const FieldValue& v = Value();
  if (const auto* n = std::get_if<std::int64_t>(&v)) return static_cast<double>(*n);
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (const auto* s = std::get_if<std::string>(&v))
    return numberOfText<double>(*s, "floating point", FieldName());
  return 0;
}

std::string_view TField::storedText() const { return owner_->storedTextAt(index_); }

bool TField::AsBoolean() const {
  const FieldValue& v = Value();
  if (const auto* s = std::get_if<std::string>(&v)) {
    if (SameText(*s, "true")) return true;
    if (SameText(*s, "false") || s->empty()) return false;
    throw EDatabaseError("'" + *s + "' is not a valid boolean value for field " + FieldName());
  }
  if (const auto* d = std::get_if<double>(&v)) return *d != 0;
  if (const auto* n = std::get_if<std::int64_t>(&v)) return *n != 0;
  return false;
}

// --- data sets -------------------------------------------------------------------------------------------

TDataSet::Contents::Contents() = default;
TDataSet::Contents::Contents(Contents&&) noexcept = default;
TDataSet::Contents& TDataSet::Contents::operator=(Contents&&) noexcept = default;
TDataSet::Contents::~Contents() = default;

TDataSet::TDataSet() : session_(&Session()) {}

TDataSet::~TDataSet() { Close(); }

void TDataSet::SetSession(TSession& session) {
  if (active_) throw EDatabaseError("Cannot change the session of an open data set");
  session_ = &session;
}

void TDataSet::Open() {
  if (active_) return;
  Contents contents = load();
  const auto& defs = contents.table->fields();
  fields_.clear();
  for (size_t i = 0; i < defs.size(); ++i)
    fields_.push_back(std::make_unique<TField>(*this, static_cast<int>(i), defs[i]));
  contents_ = std::move(contents);
  values_.assign(defs.size(), FieldValue{});
  decoded_.assign(defs.size(), 0);
  active_ = true;
  First();
}

void TDataSet::Close() {
  contents_ = Contents(); // the table goes, and with it its lock
  fields_.clear();
  values_.clear();
  decoded_.clear();
  active_ = false;
  current_ = -1;
  recordRead_ = false;
  eof_ = bof_ = true;
}

int TDataSet::rowCount() const {
  if (!active_) return 0;
  return contents_.rows ? static_cast<int>(contents_.rows->size()) : contents_.table->recordCount();
}

void TDataSet::moveTo(int row) {
  if (row == current_) return;
  current_ = row;
  recordRead_ = false;
  std::fill(decoded_.begin(), decoded_.end(), 0);
}

void TDataSet::First() {
  moveTo(rowCount() == 0 ? -1 : 0);
  bof_ = true;
  eof_ = rowCount() == 0;
}

void TDataSet::Next() {
  if (eof_) return;
  if (current_ + 1 < rowCount()) {
    moveTo(current_ + 1);
    bof_ = false;
  } else {
    eof_ = true;
  }
}

void TDataSet::Prior() {
  if (bof_) return;
  if (current_ > 0) {
    moveTo(current_ - 1);
    eof_ = false;
  } else {
    bof_ = true;
  }
}

void TDataSet::Last() {
  moveTo(rowCount() - 1);
  eof_ = true;
  bof_ = rowCount() == 0;
}

int TDataSet::RecordCount() const { return rowCount(); }

int TDataSet::RecNo() const { return current_ + 1; }

int TDataSet::codePage() const { return active_ ? contents_.table->codePage() : 0; }

TField& TDataSet::Fields(int index) {
  if (index < 0 || index >= FieldCount())
    throw EDatabaseError("Field index out of range: " + std::to_string(index));
  return *fields_[index];
}

TField* TDataSet::FindField(const std::string& name) {
  for (auto& f : fields_)
    if (SameText(f->FieldName(), name)) return f.get();
  return nullptr;
}

TField& TDataSet::FieldByName(const std::string& name) {
  if (TField* f = FindField(name)) return *f;
  throw EDatabaseError("Field '" + name + "' not found in " + describe());
}

std::string_view TDataSet::currentRecord(int& recno) const {
  recno = current_;
  if (current_ < 0 || current_ >= rowCount()) return {};
  if (contents_.rows) {
    const size_t size = contents_.table->recordSize();
    recno = (*contents_.rows)[current_];
    const size_t place = contents_.places.empty() ? current_ : contents_.places[current_];
    return std::string_view(contents_.rowBytes).substr(place * size, size);
  }
  if (!recordRead_) contents_.table->readRecord(current_, recordBytes_);
  recordRead_ = true;
  return recordBytes_;
}

const FieldValue& TDataSet::valueAt(int index) const {
  static const FieldValue null;
  if (!decoded_[index]) {
    int recno = 0;
    const std::string_view bytes = currentRecord(recno);
    if (bytes.empty()) return null;
    values_[index] = contents_.table->value(bytes, index, recno);
    decoded_[index] = 1;
  }
  return values_[index];
}

std::string_view TDataSet::storedTextAt(int index) const {
  int recno = 0;
  const std::string_view bytes = currentRecord(recno);
  return bytes.empty() ? std::string_view() : contents_.table->storedText(bytes, index, recno, storedMemo_);
}

std::unique_ptr<paradox::TableReader> TDataSet::openTable(const std::string& databaseName,
                                                          const std::string& tableName, bool exclusive) {
  if (tableName.empty()) throw EDBEngineError("No table name given for database " + databaseName);
  const fs::path dir = databaseName.empty() && fs::path(tableName).is_absolute()
                           ? fs::path()
                           : session().databaseDirectory(databaseName, tableName);
  const auto file = findTable(dir, tableName);
  if (!file) throw EDBEngineError("Table does not exist: " + (dir / tableName).string());
  const std::string shown = file->string();

  TableLock lock;
  switch (lock.acquire(*file, exclusive ? TableLock::Mode::Exclusive : TableLock::Mode::Shared)) {
  case TableLock::Result::Locked:
    break;
  case TableLock::Result::Busy:
    throw EDBEngineError("Table is in use by another program: " + shown);
  case TableLock::Result::Missing:
    throw EDBEngineError("Table does not exist: " + shown);
  case TableLock::Result::Failed:
    throw EDBEngineError("Cannot open table " + shown + ": " + std::strerror(lock.error()));
  }
  auto reader = std::make_unique<paradox::TableReader>(std::move(lock), *file, shown);
  if (const auto checksum = reader->encryption(); checksum != 0 && !session().holdsPassword(checksum))
    throw EDBEngineError("Table " + shown + " is encrypted; the session holds no valid password for it");
  return reader;
}

TDataSet::Contents TTable::load() {
  Contents contents;
  contents.table = openTable(DatabaseName, TableName, Exclusive);
  return contents;
}

// --- queries ---------------------------------------------------------------------------------------------

void TParams::sync() {
  if (owner_.SQL.Text() == parsedText_) return;
  std::vector<TParam> old = std::move(items_);
  items_.clear();
  for (const auto& name : sql::paramNames(owner_.SQL.Text())) {
    TParam param(name);
    const auto kept =
        std::find_if(old.begin(), old.end(), [&](const TParam& p) { return SameText(p.Name, name); });
    if (kept != old.end()) {
      param = std::move(*kept);
      old.erase(kept);
    }
    items_.push_back(std::move(param));
  }
  parsedText_ = owner_.SQL.Text();
}

int TParams::Count() {
  sync();
  return static_cast<int>(items_.size());
}

TParam& TParams::operator[](int index) {
  sync();
  if (index < 0 || index >= static_cast<int>(items_.size()))
    throw EDatabaseError("List index out of bounds (" + std::to_string(index) + ")");
  return items_[index];
}

TParam& TParams::ParamByName(const std::string& name) {
  sync();
  for (auto& p : items_)
    if (SameText(p.Name, name)) return p;
  throw EDatabaseError("Parameter '" + name + "' not found");
}

TDataSet::Contents TQuery::load() {
  Params.sync();
  const sql::Select select = sql::parseSelect(SQL.Text());
  Contents contents;
  contents.table = openTable(DatabaseName, select.table, false);
  paradox::TableReader& table = *contents.table;
  std::vector<FieldValue> values;
  for (const auto& p : Params.items_)
    values.push_back(p.Value());
  const sql::Plan plan = sql::plan(select, table.fields(), values, select.table);

  // One pass over the records: tests that the stored bytes decide are made on them, before anything
  // is decoded; the others read only the columns they name. The rows kept are read further when a
  // program asks for their values.
  std::vector<std::pair<int, std::string>> byBytes;
  sql::Plan byValue;
  for (const auto& test : plan.where) {
    if (auto stored = table.storedEqual(test.column, test.value))
      byBytes.emplace_back(test.column, std::move(*stored));
    else
      byValue.where.push_back(test);
  }
  std::vector<int> rows;
  std::string bytes;
  bytes.reserve(static_cast<size_t>(table.recordCount()) * table.recordSize()); // only touched pages cost
  table.forEachRecord([&](int recno, std::string_view raw) {
    for (const auto& [column, stored] : byBytes)
      if (table.fieldBytes(raw, column) != stored) return;
    if (!byValue.where.empty() &&
        !sql::matches(byValue, [&](int column) { return table.value(raw, column, recno); }))
      return;
    rows.push_back(recno);
    bytes.append(raw);
  });
  const size_t size = table.recordSize();
  const auto row = [&](size_t i) { return std::string_view(bytes).substr(i * size, size); };
  if (!plan.orderBy.empty() && rows.size() > 1) {
    std::vector<size_t> order;
    bool byStoredBytes = true;
    size_t keyBytes = 0;
    for (int column : plan.orderBy) {
      byStoredBytes = byStoredBytes && table.storedOrder(column);
      keyBytes += table.fieldBytes(row(0), column).size();
    }
    if (byStoredBytes && keyBytes <= sizeof(std::uint64_t)) {
      // Stored bytes that sort as their values, few enough to make one number a row.
      std::vector<std::pair<std::uint64_t, size_t>> keys(rows.size());
      for (size_t i = 0; i < rows.size(); ++i) {
        std::uint64_t key = 0;
        for (int column : plan.orderBy)
          for (const char c : table.fieldBytes(row(i), column))
            key = key << 8 | static_cast<unsigned char>(c);
        keys[i] = {key, i};
      }
      std::stable_sort(keys.begin(), keys.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      for (const auto& key : keys)
        order.push_back(key.second);
    } else {
      std::vector<FieldValue> keys;
      keys.reserve(rows.size() * plan.orderBy.size());
      for (size_t i = 0; i < rows.size(); ++i)
        for (int column : plan.orderBy)
          keys.push_back(table.value(row(i), column, rows[i]));
      order = sql::order(keys, plan.orderBy.size());
    }
    if (!std::is_sorted(order.begin(), order.end())) { // else in table order already
      std::vector<int> sortedRows;
      sortedRows.reserve(rows.size());
      contents.places.reserve(rows.size());
      for (size_t i : order) {
        sortedRows.push_back(rows[i]);
        contents.places.push_back(static_cast<std::uint32_t>(i));
      }
      rows = std::move(sortedRows);
    }
  }
  contents.rows = std::move(rows);
  contents.rowBytes = std::move(bytes);
  return contents;
}

// --- writing ---------------------------------------------------------------------------------------------

namespace {

// A new file written beside the one it replaces; removed again unless it was put in place.
class StagedFile {
public:
  StagedFile(const fs::path& target, const std::string& bytes, const std::string& shown) : target_(target) {
    path_ = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(path_.data());
    if (fd < 0) {
      path_.clear();
      fail(shown, errno);
    }
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int err = n < 0 ? errno : EIO;
        ::close(fd);
        fail(shown, err);
      }
      done += static_cast<size_t>(n);
    }
    const bool written = fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    const int err = errno;
    if (::close(fd) != 0 || !written) fail(shown, written ? errno : err);
  }
  ~StagedFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  void putInPlace(const std::string& shown) {
    if (std::rename(path_.c_str(), target_.c_str()) != 0) fail(shown, errno);
    path_.clear();
  }

private:
  [[noreturn]] static void fail(const std::string& shown, int err) {
    throw EDBEngineError("Cannot create table " + shown + ": " + std::strerror(err));
  }
  fs::path target_;
  std::string path_;
};

// The memo file of a table: its name with .MB, in the case of the table's extension.
fs::path memoFileOf(const fs::path& table) {
  const std::string ext = table.extension().string();
  const bool lower = !ext.empty() && std::all_of(ext.begin(), ext.end(), [](char c) {
    return !std::isupper(static_cast<unsigned char>(c));
  });
  fs::path memo = table;
  memo.replace_extension(lower ? ".mb" : ".MB");
  return memo;
}

} // namespace

void CreateTable(const fs::path& file, const std::vector<TFieldDef>& fields,
                 const std::vector<std::vector<FieldValue>>& records, const std::string& password) {
  const std::string shown = file.string();
  // Another program that has the old table open keeps it; we never pull it away under it.
  TableLock old;
  std::error_code ec;
  if (fs::exists(file, ec) && old.acquire(file, TableLock::Mode::Exclusive) != TableLock::Result::Locked)
    throw EDBEngineError("Table is in use by another program: " + shown);

  paradox::TableWriter writer(fields, password, file.filename().string());
  for (const auto& record : records)
    writer.append(record);
  writer.finish();

  // The new files are written beside the old ones and renamed over them, so a failure leaves the
  // old table as it was; the memo file goes first, for a table never names memos its file lacks.
  const fs::path memoFile = memoFileOf(file);
  std::optional<StagedFile> memo;
  if (writer.memoBytes()) memo.emplace(memoFile, *writer.memoBytes(), shown);
  StagedFile table(file, writer.tableBytes(), shown);
  if (memo)
    memo->putInPlace(shown);
  else
    fs::remove(memoFile, ec); // a table without memo fields keeps no memo file of an older one
  table.putInPlace(shown);
}

} // namespace kv::platform
