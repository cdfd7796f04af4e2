// The per-user registry: a file-backed store of keys and values that stands in for the
// Windows registry. One store file per root key in <settings folder>/registry/.
//
// Key paths are '\'-separated ("\Software\Dolvane\Korvalis30\BR", leading and doubled
// separators ignored); key names and value names compare without regard to (ASCII) case and
// keep the spelling they were created with. Every call reads the store afresh under a shared
// lock; every change is a read-modify-write under an exclusive lock that replaces the store
// file atomically (temporary file, fsync, rename), so a crash never leaves a half-written
// store and two processes never lose each other's values.
#pragma once

#include "Platform/Rtl/SysUtils.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

// The store could not be read or written (unreadable or damaged file, no permission).
KV_DECLARE_EXCEPTION(RegistryStoreError, Exception);

enum class RegValueType { String, ExpandString, Integer, Binary };

struct RegValue {
  RegValueType type = RegValueType::String;
  std::string data;     // String, ExpandString: the text; Binary: the bytes
  uint32_t integer = 0; // Integer (DWORD)

  static RegValue string(std::string text) { return {RegValueType::String, std::move(text), 0}; }
  static RegValue dword(uint32_t value) { return {RegValueType::Integer, {}, value}; }
  static RegValue binary(std::string bytes) { return {RegValueType::Binary, std::move(bytes), 0}; }
  bool operator==(const RegValue&) const = default;
};

class RegistryStore {
public:
  // The store of one root key ("HKEY_CURRENT_USER") in `folder`, by default the registry folder
  // of the settings folder as it is when the store is made.
  explicit RegistryStore(std::string rootName = "HKEY_CURRENT_USER", std::filesystem::path folder = {});

  // "\A\\b\" -> "A\b": the canonical spelling used for comparing (case aside).
  static std::string normalizeKey(const std::string& key);
  // "A\B" + "C\D" -> "A\B\C\D".
  static std::string joinKeys(const std::string& parent, const std::string& child);

  bool keyExists(const std::string& key) const;
  // Creates the key and its missing parents; true when it exists afterwards.
  void createKey(const std::string& key);
  // Deletes the key with its values and subkeys; false when it did not exist. The root stays.
  bool deleteKey(const std::string& key);

  std::optional<RegValue> readValue(const std::string& key, const std::string& name) const;
  // Writes (creating the key when missing) one value.
  void writeValue(const std::string& key, const std::string& name, const RegValue& value);
  bool deleteValue(const std::string& key, const std::string& name);

  // Names in the spelling they were created with, in creation order; empty for a missing key.
  std::vector<std::string> valueNames(const std::string& key) const;
  std::vector<std::string> subKeyNames(const std::string& key) const;

  const std::filesystem::path& file() const { return file_; }

private:
  std::filesystem::path folder_;
  std::filesystem::path file_;
};

} // namespace kv::platform
