#include "Platform/Registry/RegistryStore.h"

#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Settings/SettingsFolder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {

namespace {

const char* const kHeader = "KVREGISTRY 1";

// One key: its full path as spelled when created and its values in creation order.
struct StoredKey {
  std::string path;
  std::vector<std::pair<std::string, RegValue>> values;

  std::pair<std::string, RegValue>* find(const std::string& name) {
    for (auto& v : values)
      if (SameText(v.first, name)) return &v;
    return nullptr;
  }
};

// The whole store of one root: the root key (path "") always exists.
struct Store {
  std::vector<StoredKey> keys{StoredKey{}};

  StoredKey* find(const std::string& path) {
    for (auto& k : keys)
      if (SameText(k.path, path)) return &k;
    return nullptr;
  }
  // Creates the key and every missing parent; the spelling of existing parents is kept.
  StoredKey& create(const std::string& path) {
    if (StoredKey* k = find(path)) return *k;
    std::string spelled;
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find('\\', start);
      if (end == std::string::npos) end = path.size();
      const std::string segment = path.substr(start, end - start);
      const std::string candidate = RegistryStore::joinKeys(spelled, segment);
      if (StoredKey* k = find(candidate)) {
        spelled = k->path;
      } else {
        keys.push_back(StoredKey{candidate, {}});
        spelled = candidate;
      }
      start = end + 1;
    }
    return *find(path);
  }
  static bool isBelow(const std::string& path, const std::string& parent) {
    if (parent.empty()) return !path.empty();
    return path.size() > parent.size() && path[parent.size()] == '\\' &&
           SameText(path.substr(0, parent.size()), parent);
  }
};

// Escapes the bytes that would break a line of the store: '%', blanks and control characters.
std::string escape(const std::string& s, bool escapeBlank) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if (c == '%' || c < 0x20 || c == 0x7F || (escapeBlank && c == ' ')) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> unescape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return std::nullopt;
    const int hi = hexDigit(s[i + 1]), lo = hexDigit(s[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

std::string toHex(const std::string& bytes) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out;
}

std::optional<std::string> fromHex(const std::string& s) {
  if (s.size() % 2) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < s.size(); i += 2) {
    const int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

std::string serialize(const Store& store) {
  std::string out = std::string(kHeader) + "\n";
  for (const auto& key : store.keys) {
    out += "[" + escape(key.path, false) + "]\n";
    for (const auto& [name, value] : key.values) {
      switch (value.type) {
      case RegValueType::String:
        out += "s " + escape(name, true) + " " + escape(value.data, true);
        break;
      case RegValueType::ExpandString:
        out += "e " + escape(name, true) + " " + escape(value.data, true);
        break;
      case RegValueType::Integer:
        out += "d " + escape(name, true) + " " + std::to_string(value.integer);
        break;
      case RegValueType::Binary:
        out += "b " + escape(name, true) + " " + toHex(value.data);
        break;
      }
      out += "\n";
    }
  }
  return out;
}

[[noreturn]] void damaged(const std::filesystem::path& file, int line) {
  throw RegistryStoreError("The registry store " + file.string() + " is damaged (line " +
                           std::to_string(line) + ").");
}

Store parse(const std::string& text, const std::filesystem::path& file) {
  Store store;
  if (text.empty()) return store;
  size_t pos = 0;
  int lineNo = 0;
  StoredKey* current = nullptr;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) damaged(file, lineNo + 1); // every complete store ends with a line feed
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (lineNo == 1) {
      if (line != kHeader) damaged(file, lineNo);
      continue;
    }
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      const auto path = unescape(line.substr(1, line.size() - 2));
      if (!path || *path != RegistryStore::normalizeKey(*path)) damaged(file, lineNo);
      current = &store.create(*path);
      continue;
    }
    const size_t sp1 = line.find(' ');
    const size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
    if (!current || sp1 != 1 || sp2 == std::string::npos) damaged(file, lineNo);
    const auto name = unescape(line.substr(2, sp2 - 2));
    const std::string data = line.substr(sp2 + 1);
    if (!name) damaged(file, lineNo);
    RegValue value;
    switch (line[0]) {
    case 's':
    case 'e': {
      const auto textValue = unescape(data);
      if (!textValue) damaged(file, lineNo);
      value = RegValue{line[0] == 's' ? RegValueType::String : RegValueType::ExpandString, *textValue, 0};
      break;
    }
    case 'd': {
      if (data.empty() || data.size() > 10 || data.find_first_not_of("0123456789") != std::string::npos)
        damaged(file, lineNo);
      const unsigned long long n = std::stoull(data);
      if (n > 0xFFFFFFFFull) damaged(file, lineNo);
      value = RegValue::dword(static_cast<uint32_t>(n));
      break;
    }
    case 'b': {
      const auto bytes = fromHex(data);
      if (!bytes) damaged(file, lineNo);
      value = RegValue::binary(*bytes);
      break;
    }
    default:
      damaged(file, lineNo);
    }
    if (auto* existing = current->find(*name))
      existing->second = value;
    else
      current->values.emplace_back(*name, value);
  }
  return store;
}

[[noreturn]] void ioFailure(const std::string& what, const std::filesystem::path& path) {
  throw RegistryStoreError("Cannot " + what + " " + path.string() + ": " + std::strerror(errno));
}

// Reads the whole store file; an absent file is an empty store.
Store load(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Store{};
    ioFailure("read the registry store", file);
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int saved = errno;
      ::close(fd);
      errno = saved;
      ioFailure("read the registry store", file);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return parse(text, file);
}

void writeAll(int fd, const std::string& text, const std::filesystem::path& path) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ioFailure("write", path);
    }
    done += static_cast<size_t>(n);
  }
}

// Replaces the store file atomically: the new content goes to a temporary file in the same
// folder, reaches the disk, and only then takes the store's name.
void save(const Store& store, const std::filesystem::path& file) {
  std::string tmpl = file.string() + ".tmpXXXXXX";
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) ioFailure("create a temporary file beside", file);
  int tempFd = fd;
  bool renamed = false;
  const ScopeExit cleanUp([&] {
    if (tempFd >= 0) ::close(tempFd);
    if (!renamed) ::unlink(tmpl.c_str());
  });
  ::fchmod(fd, S_IRUSR | S_IWUSR);
  writeAll(fd, serialize(store), tmpl);
  if (::fsync(fd) != 0) ioFailure("write", tmpl);
  ::close(tempFd);
  tempFd = -1;
  if (::rename(tmpl.c_str(), file.c_str()) != 0) ioFailure("replace", file);
  renamed = true;
  const int dir = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

// Holds the store's lock file exclusively for one read-modify-write.
class WriteLock {
public:
  explicit WriteLock(const std::filesystem::path& folder, const std::filesystem::path& lockFile) {
    std::error_code ec;
    if (std::filesystem::create_directories(folder, ec))
      std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) ioFailure("open the registry lock", lockFile);
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        ioFailure("lock", lockFile);
      }
    }
  }
  ~WriteLock() { ::close(fd_); } // closing releases the lock
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

private:
  int fd_ = -1;
};

void mutate(const std::filesystem::path& folder, const std::filesystem::path& file,
            const std::function<bool(Store&)>& change) {
  WriteLock lock(folder, file.string() + ".lock");
  Store store = load(file);
  if (change(store)) save(store, file);
}

} // namespace

RegistryStore::RegistryStore(std::string rootName, std::filesystem::path folder)
    : folder_(folder.empty() ? settingsFolder() / "registry" : std::move(folder)),
      file_(folder_ / (rootName + ".reg")) {}

std::string RegistryStore::normalizeKey(const std::string& key) {
  std::string out;
  size_t start = 0;
  while (start < key.size()) {
    size_t end = key.find('\\', start);
    if (end == std::string::npos) end = key.size();
    if (end > start) out = joinKeys(out, key.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::string RegistryStore::joinKeys(const std::string& parent, const std::string& child) {
  if (parent.empty()) return child;
  if (child.empty()) return parent;
  return parent + "\\" + child;
}

bool RegistryStore::keyExists(const std::string& key) const {
  Store store = load(file_);
  return store.find(normalizeKey(key)) != nullptr;
}

void RegistryStore::createKey(const std::string& key) {
  const std::string path = normalizeKey(key);
  mutate(folder_, file_, [&](Store& store) {
    if (store.find(path)) return false;
    store.create(path);
    return true;
  });
}

bool RegistryStore::deleteKey(const std::string& key) {
  const std::string path = normalizeKey(key);
  if (path.empty()) return false;
  bool existed = false;
  mutate(folder_, file_, [&](Store& store) {
    const size_t before = store.keys.size();
    std::erase_if(store.keys,
                  [&](const StoredKey& k) { return SameText(k.path, path) || Store::isBelow(k.path, path); });
    existed = store.keys.size() != before;
    return existed;
  });
  return existed;
}

std::optional<RegValue> RegistryStore::readValue(const std::string& key, const std::string& name) const {
  Store store = load(file_);
  StoredKey* k = store.find(normalizeKey(key));
  if (!k) return std::nullopt;
  if (auto* v = k->find(name)) return v->second;
  return std::nullopt;
}

void RegistryStore::writeValue(const std::string& key, const std::string& name, const RegValue& value) {
  const std::string path = normalizeKey(key);
  mutate(folder_, file_, [&](Store& store) {
    StoredKey& k = store.create(path);
    if (auto* v = k.find(name)) {
      if (v->second == value) return false;
      v->second = value;
    } else {
      k.values.emplace_back(name, value);
    }
    return true;
  });
}

bool RegistryStore::deleteValue(const std::string& key, const std::string& name) {
  const std::string path = normalizeKey(key);
  bool existed = false;
  mutate(folder_, file_, [&](Store& store) {
    StoredKey* k = store.find(path);
    if (!k) return false;
    existed = std::erase_if(k->values, [&](const auto& v) { return SameText(v.first, name); }) > 0;
    return existed;
  });
  return existed;
}

std::vector<std::string> RegistryStore::valueNames(const std::string& key) const {
  Store store = load(file_);
  std::vector<std::string> names;
  if (StoredKey* k = store.find(normalizeKey(key)))
    for (const auto& v : k->values)
      names.push_back(v.first);
  return names;
}

std::vector<std::string> RegistryStore::subKeyNames(const std::string& key) const {
  Store store = load(file_);
  const std::string path = normalizeKey(key);
  std::vector<std::string> names;
  for (const auto& k : store.keys) {
    if (!Store::isBelow(k.path, path)) continue;
    const std::string rest = path.empty() ? k.path : k.path.substr(path.size() + 1);
    if (rest.find('\\') == std::string::npos) names.push_back(rest);
  }
  return names;
}

} // namespace kv::platform
