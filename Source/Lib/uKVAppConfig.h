// The application configuration object: finds the installed application's file through an
// encrypted registry value and gives the four numbers of that file's version.
#pragma once

#include "Platform/Rtl/Classes.h"

#include <cstdint>
#include <memory>

namespace uKVAppConfig {

class TKVConfigVersion : public kv::platform::TObject {
public:
  std::string ClassName() const override { return "TKVConfigVersion"; }
  uint16_t Major = 0;   // version number 0
  uint16_t Build = 0;   // version number 3
  uint16_t Release = 0; // version number 2
  uint16_t Minor = 0;   // version number 1
};

class TKVConfig : public kv::platform::TObject {
public:
  std::string ClassName() const override { return "TKVConfig"; }
  // Read once, at the first call; the result stays owned by this object.
  TKVConfigVersion* GetAppVersion();

  std::unique_ptr<TKVConfigVersion> Version;
};

// The key and value that installations write the application's file name to.
extern const char* const ConfigKey;
extern const char* const AppFileValue;

} // namespace uKVAppConfig
