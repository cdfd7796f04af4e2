// The program's string table: texts by numeric id, as string resources linked into an
// executable are. Units register their tables at start-up; a missing id is reported as
// missing so the caller can fall back to its own text.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace kv::platform {

class StringTable {
public:
  void add(int id, std::string text) { texts_[id] = std::move(text); }
  void remove(int id) { texts_.erase(id); }
  bool contains(int id) const { return texts_.count(id) != 0; }
  std::optional<std::string> find(int id) const {
    auto it = texts_.find(id);
    if (it == texts_.end()) return std::nullopt;
    return it->second;
  }

private:
  std::map<int, std::string> texts_;
};

// The program's one table.
StringTable& resourceStrings();
// The text of id, or nothing when the table lacks it.
std::optional<std::string> loadResString(int id);

} // namespace kv::platform
