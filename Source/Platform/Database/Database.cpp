#include "Platform/Database/Database.h"

#include "Platform/Database/AliasFile.h"
#include "Platform/Database/ParadoxFile.h"
#include "Platform/Database/SqlSelect.h"
#include "Platform/Database/TableLock.h"
#include "Platform/Settings/SettingsFolder.h"

#include <algorithm>
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
  if (const auto* n = std::get_if<std::int64_t>(&v))
    return static_cast<int>(
        std::clamp<std::int64_t>(*n, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  if (const auto* d = std::get_if<double>(&v)) {
    if (std::isnan(*d)) return 0;
    const double r = std::nearbyint(*d);
    if (r <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    if (r >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(r);
  }
  if (const auto* s = std::get_if<std::string>(&v)) {
    int value = 0;
    const auto* end = s->data() + s->size();
    const auto res = std::from_chars(s->data(), end, value);
    if (s->empty() || res.ec != std::errc() || res.ptr != end)
      throw EDatabaseError("'" + *s + "' is not a valid integer value for field " + FieldName());
    return value;
  }
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
  if (const auto* s = std::get_if<std::string>(&v)) {
    double value = 0;
    const auto* end = s->data() + s->size();
    const auto res = std::from_chars(s->data(), end, value);
    if (s->empty() || res.ec != std::errc() || res.ptr != end)
      throw EDatabaseError("'" + *s + "' is not a valid floating point value for field " + FieldName());
    return value;
  }
  return 0;
}

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

struct TDataSet::Lock {
  TableLock lock;
};

TDataSet::TDataSet() : lock_(std::make_unique<Lock>()), session_(&Session()) {}

TDataSet::~TDataSet() { Close(); }

void TDataSet::SetSession(TSession& session) {
  if (active_) throw EDatabaseError("Cannot change the session of an open data set");
  session_ = &session;
}

void TDataSet::Open() {
  if (active_) return;
  Contents contents = load();
  fields_.clear();
  for (size_t i = 0; i < contents.fields.size(); ++i)
    fields_.push_back(std::make_unique<TField>(*this, static_cast<int>(i), contents.fields[i]));
  records_ = std::move(contents.records);
  active_ = true;
  First();
}

void TDataSet::Close() {
  lock_->lock.release();
  fields_.clear();
  records_.clear();
  active_ = false;
  current_ = -1;
  eof_ = bof_ = true;
}

void TDataSet::First() {
  current_ = records_.empty() ? -1 : 0;
  bof_ = true;
  eof_ = records_.empty();
}

void TDataSet::Next() {
  if (eof_) return;
  if (current_ + 1 < static_cast<int>(records_.size())) {
    ++current_;
    bof_ = false;
  } else {
    eof_ = true;
  }
}

void TDataSet::Prior() {
  if (bof_) return;
  if (current_ > 0) {
    --current_;
    eof_ = false;
  } else {
    bof_ = true;
  }
}

void TDataSet::Last() {
  current_ = static_cast<int>(records_.size()) - 1;
  eof_ = true;
  bof_ = records_.empty();
}

int TDataSet::RecordCount() const { return static_cast<int>(records_.size()); }

int TDataSet::RecNo() const { return current_ + 1; }

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

const FieldValue& TDataSet::valueAt(int index) const {
  static const FieldValue null;
  if (current_ < 0 || current_ >= static_cast<int>(records_.size())) return null;
  return records_[current_][index];
}

TDataSet::Contents TDataSet::openTable(const std::string& databaseName, const std::string& tableName,
                                       bool exclusive) {
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
  paradox::TableReader reader(lock.fd(), shown);
  if (const auto checksum = reader.encryption(); checksum != 0 && !session().holdsPassword(checksum))
    throw EDBEngineError("Table " + shown + " is encrypted; the session holds no valid password for it");
  Contents contents{reader.fields(), reader.readAll()};
  lock_->lock = std::move(lock);
  return contents;
}

TDataSet::Contents TTable::load() { return openTable(DatabaseName, TableName, Exclusive); }

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
  Contents contents = openTable(DatabaseName, select.table, false);
  std::vector<FieldValue> values;
  for (const auto& p : Params.items_)
    values.push_back(p.Value());
  try {
    contents.records =
        sql::evaluate(select, contents.fields, std::move(contents.records), values, select.table);
  } catch (...) {
    Close();
    throw;
  }
  return contents;
}

// --- writing ---------------------------------------------------------------------------------------------

void CreateTable(const fs::path& file, const std::vector<TFieldDef>& fields,
                 const std::vector<std::vector<FieldValue>>& records, const std::string& password) {
  const std::string shown = file.string();
  // Another program that has the old table open keeps it; we never pull it away under it.
  TableLock old;
  std::error_code ec;
  if (fs::exists(file, ec) && old.acquire(file, TableLock::Mode::Exclusive) != TableLock::Result::Locked)
    throw EDBEngineError("Table is in use by another program: " + shown);

  // The new table is written beside the old one and renamed over it, so a failure leaves the
  // old table as it was.
  std::string temp = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temp.data());
  if (fd < 0) throw EDBEngineError("Cannot create table " + shown + ": " + std::strerror(errno));
  const auto discard = [&] {
    ::close(fd);
    ::unlink(temp.c_str());
  };
  try {
    paradox::TableWriter writer(fd, fields, password, file.filename().string());
    for (const auto& record : records)
      writer.append(record);
    writer.finish();
  } catch (...) {
    discard();
    throw;
  }
  fchmod(fd, 0644);
  ::close(fd);
  if (std::rename(temp.c_str(), file.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw EDBEngineError("Cannot create table " + shown + ": " + std::strerror(err));
  }
}

} // namespace kv::platform
