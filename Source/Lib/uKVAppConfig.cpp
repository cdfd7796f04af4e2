#include "uKVAppConfig.h"

#include "uKVCrypto.h"
#include "uKVVersInfo.h"

#include "Platform/Registry/Registry.h"

namespace uKVAppConfig {

const char* const ConfigKey = "\\software\\dolvane\\Korvalis30\\cfg";
const char* const AppFileValue = "ape";

TKVConfigVersion* TKVConfig::GetAppVersion() {
  if (Version) return Version.get();
  std::string fileName;
  {
    kv::platform::TRegistry registry;
    if (registry.OpenKey(ConfigKey, true)) {
      if (registry.ValueExists(AppFileValue))
        fileName = uKVCrypto::KVDecryptString(registry.ReadString(AppFileValue));
      registry.CloseKey();
    }
  }
  uKVVersInfo::TqelVersionInfoResource reader;
  reader.SetFilename(fileName);
  auto version = std::make_unique<TKVConfigVersion>();
  version->Major = reader.FileVersion->GetVersionNumber(0);
  version->Minor = reader.FileVersion->GetVersionNumber(1);
  version->Release = reader.FileVersion->GetVersionNumber(2);
  version->Build = reader.FileVersion->GetVersionNumber(3);
  Version = std::move(version);
  return Version.get();
}

} // namespace uKVAppConfig
