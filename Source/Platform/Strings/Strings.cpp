#include "Platform/Strings/Strings.h"

namespace kv::platform {

StringTable& resourceStrings() {
  static StringTable table;
  return table;
}

std::optional<std::string> loadResString(int id) { return resourceStrings().find(id); }

} // namespace kv::platform
