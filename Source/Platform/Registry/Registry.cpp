#include "Platform/Registry/Registry.h"

#include <cstring>

namespace kv::platform {

namespace {

std::string rootName(HKEY root) {
  switch (root) {
  case HKEY_CLASSES_ROOT:
    return "HKEY_CLASSES_ROOT";
  case HKEY_CURRENT_USER:
    return "HKEY_CURRENT_USER";
  case HKEY_LOCAL_MACHINE:
    return "HKEY_LOCAL_MACHINE";
  case HKEY_USERS:
    return "HKEY_USERS";
  case HKEY_CURRENT_CONFIG:
    return "HKEY_CURRENT_CONFIG";
  default:
    throw ERegistryException("Invalid root key");
  }
}

[[noreturn]] void getDataFailed(const std::string& name) {
  throw ERegistryException("Failed to get data for '" + name + "'");
}
[[noreturn]] void setDataFailed(const std::string& name) {
  throw ERegistryException("Failed to set data for '" + name + "'");
}
[[noreturn]] void invalidType(const std::string& name) {
  throw ERegistryException("Invalid data type for '" + name + "'");
}

} // namespace

TRegistry::TRegistry() : store_(std::make_unique<RegistryStore>(rootName(rootKey_))) {}

TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(HKEY Value) {
  if (Value == rootKey_) return;
  CloseKey();
  store_ = std::make_unique<RegistryStore>(rootName(Value));
  rootKey_ = Value;
}

std::string TRegistry::resolve(const std::string& key) const {
  const bool relative = key.empty() || key.front() != '\\';
  if (relative && open_) return RegistryStore::normalizeKey(RegistryStore::joinKeys(currentPath_, key));
  return RegistryStore::normalizeKey(key);
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) { return openKey(Key, CanCreate, false); }

bool TRegistry::OpenKeyReadOnly(const std::string& Key) { return openKey(Key, false, true); }

bool TRegistry::openKey(const std::string& key, bool canCreate, bool readOnly) {
  const std::string path = resolve(key);
  try {
    if (canCreate)
      store_->createKey(path);
    else if (!store_->keyExists(path))
      return false;
  } catch (const RegistryStoreError&) {
    return false;
  }
  open_ = true;
  readOnly_ = readOnly;
  currentPath_ = path;
  return true;
}

bool TRegistry::CreateKey(const std::string& Key) {
  try {
    store_->createKey(resolve(Key));
    return true;
  } catch (const RegistryStoreError&) {
    throw ERegistryException("Failed to create key " + Key);
  }
}

bool TRegistry::DeleteKey(const std::string& Key) {
  const std::string path = resolve(Key);
  try {
    const bool deleted = store_->deleteKey(path);
    // The open key may just have gone with its parent.
    if (deleted && open_ && !store_->keyExists(currentPath_)) CloseKey();
    return deleted;
  } catch (const RegistryStoreError&) {
    return false;
  }
}

bool TRegistry::KeyExists(const std::string& Key) {
  try {
    return store_->keyExists(resolve(Key));
  } catch (const RegistryStoreError&) {
    return false;
  }
}

void TRegistry::CloseKey() {
  open_ = false;
  readOnly_ = false;
  currentPath_.clear();
}

std::optional<RegValue> TRegistry::read(const std::string& name) {
  if (!open_) return std::nullopt;
  try {
    return store_->readValue(currentPath_, name);
  } catch (const RegistryStoreError& e) {
    throw ERegistryException(e.Message());
  }
}

void TRegistry::put(const std::string& name, const RegValue& value) {
  if (!open_ || readOnly_) setDataFailed(name);
  try {
    store_->writeValue(currentPath_, name, value);
  } catch (const RegistryStoreError&) {
    setDataFailed(name);
  }
}

bool TRegistry::ValueExists(const std::string& Name) {
  try {
    return read(Name).has_value();
  } catch (const ERegistryException&) {
    return false;
  }
}

TRegDataType TRegistry::GetDataType(const std::string& Name) {
  const auto value = read(Name);
  if (!value) return TRegDataType::rdUnknown;
  switch (value->type) {
  case RegValueType::String:
    return TRegDataType::rdString;
  case RegValueType::ExpandString:
    return TRegDataType::rdExpandString;
  case RegValueType::Integer:
    return TRegDataType::rdInteger;
  case RegValueType::Binary:
    return TRegDataType::rdBinary;
  }
  return TRegDataType::rdUnknown;
}

std::string TRegistry::ReadString(const std::string& Name) {
  const auto value = read(Name);
  if (!value) return {};
  if (value->type != RegValueType::String && value->type != RegValueType::ExpandString) invalidType(Name);
  return value->data;
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
  put(Name, RegValue::string(Value));
}

void TRegistry::WriteExpandString(const std::string& Name, const std::string& Value) {
  put(Name, RegValue{RegValueType::ExpandString, Value, 0});
}

int TRegistry::ReadInteger(const std::string& Name) {
  const auto value = read(Name);
  if (!value) getDataFailed(Name);
  if (value->type != RegValueType::Integer) invalidType(Name);
  return static_cast<int>(value->integer);
}

void TRegistry::WriteInteger(const std::string& Name, int Value) {
  put(Name, RegValue::dword(static_cast<uint32_t>(Value)));
}

bool TRegistry::ReadBool(const std::string& Name) { return ReadInteger(Name) != 0; }

void TRegistry::WriteBool(const std::string& Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }

int TRegistry::ReadBinaryData(const std::string& Name, void* Buffer, int BufSize) {
  const auto value = read(Name);
  if (!value) getDataFailed(Name);
  if (value->type != RegValueType::Binary || BufSize < 0 || value->data.size() > static_cast<size_t>(BufSize))
    invalidType(Name);
  if (!value->data.empty()) std::memcpy(Buffer, value->data.data(), value->data.size());
  return static_cast<int>(value->data.size());
}

void TRegistry::WriteBinaryData(const std::string& Name, const void* Buffer, int BufSize) {
  if (BufSize < 0) setDataFailed(Name);
  put(Name, RegValue::binary(std::string(static_cast<const char*>(Buffer), static_cast<size_t>(BufSize))));
}

bool TRegistry::DeleteValue(const std::string& Name) {
  if (!open_ || readOnly_) return false;
  try {
    return store_->deleteValue(currentPath_, Name);
  } catch (const RegistryStoreError&) {
    return false;
  }
}

namespace {
// Lists names into Strings (nothing while no key is open); a store failure becomes the registry's
// exception.
template <class List> void fillNames(TStrings& Strings, bool open, List list) {
  Strings.Clear();
  if (!open) return;
  try {
    for (const auto& name : list())
      Strings.Add(name);
  } catch (const RegistryStoreError& e) {
    throw ERegistryException(e.Message());
  }
}
} // namespace

void TRegistry::GetValueNames(TStrings& Strings) {
  fillNames(Strings, open_, [this] { return store_->valueNames(currentPath_); });
}

void TRegistry::GetKeyNames(TStrings& Strings) {
  fillNames(Strings, open_, [this] { return store_->subKeyNames(currentPath_); });
}

} // namespace kv::platform
