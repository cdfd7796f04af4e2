// The class library's registry object on top of the per-user registry store: one open key
// at a time, relative and absolute key paths, and the exceptions the class raises when a
// value is missing or has another type.
#pragma once

#include "Platform/Registry/RegistryStore.h"
#include "Platform/Rtl/Classes.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kv::platform {

using HKEY = uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

KV_DECLARE_EXCEPTION(ERegistryException, Exception);

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class TRegistry : public TObject {
public:
  TRegistry(); // RootKey HKEY_CURRENT_USER, no key open
  ~TRegistry() override;
  std::string ClassName() const override { return "TRegistry"; }

  HKEY RootKey() const { return rootKey_; }
  // Closes the open key and switches to another root.
  void SetRootKey(HKEY Value);
  // The open key's path below the root ("Software\Dolvane"), empty when none is open.
  const std::string& CurrentPath() const { return currentPath_; }
  bool HasCurrentKey() const { return open_; }

  // A key starting with '\' is taken from the root, any other from the open key (or the root
  // when none is open). False when the key is missing and CanCreate is false, or cannot be made.
  bool OpenKey(const std::string& Key, bool CanCreate);
  bool OpenKeyReadOnly(const std::string& Key);
  bool CreateKey(const std::string& Key);
  bool DeleteKey(const std::string& Key);
  bool KeyExists(const std::string& Key);
  void CloseKey();

  bool ValueExists(const std::string& Name);
  TRegDataType GetDataType(const std::string& Name);
  // The empty string for a missing value; ERegistryException for a value of another type.
  std::string ReadString(const std::string& Name);
  void WriteString(const std::string& Name, const std::string& Value);
  void WriteExpandString(const std::string& Name, const std::string& Value);
  // ERegistryException for a missing value or a value of another type.
  int ReadInteger(const std::string& Name);
  void WriteInteger(const std::string& Name, int Value);
  bool ReadBool(const std::string& Name);
  void WriteBool(const std::string& Name, bool Value);
  // Copies the value into Buffer and returns its size; ERegistryException when it is missing,
  // not binary or larger than BufSize.
  int ReadBinaryData(const std::string& Name, void* Buffer, int BufSize);
  void WriteBinaryData(const std::string& Name, const void* Buffer, int BufSize);
  bool DeleteValue(const std::string& Name);
  void GetValueNames(TStrings& Strings);
  void GetKeyNames(TStrings& Strings);

private:
  std::string resolve(const std::string& key) const;
  bool openKey(const std::string& key, bool canCreate, bool readOnly);
  std::optional<RegValue> read(const std::string& name);
  void put(const std::string& name, const RegValue& value);

  HKEY rootKey_ = HKEY_CURRENT_USER;
  std::unique_ptr<RegistryStore> store_;
  bool open_ = false;
  bool readOnly_ = false;
  std::string currentPath_;
};

} // namespace kv::platform
