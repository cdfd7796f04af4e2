#include "EngineWildcard.h"

namespace kv::engine {

namespace {

inline char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Iterative matcher with one backtracking point per "*": linear in practice, never exponential.
bool plainMatch(std::string_view p, std::string_view s) {
  size_t pi = 0, si = 0;
  size_t starP = std::string_view::npos, starS = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == '*') {
      starP = pi++;
      starS = si;
    } else if (pi < p.size() && (p[pi] == '?' || fold(p[pi]) == fold(s[si]))) {
      ++pi;
      ++si;
    } else if (starP != std::string_view::npos) {
      pi = starP + 1;
      si = ++starS;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*')
    ++pi;
  return pi == p.size();
}

} // namespace

bool hasWildcards(std::string_view pattern) { return pattern.find_first_of("*?") != std::string_view::npos; }

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  if (plainMatch(pattern, name)) return true;
  // A pattern ending in ".*" also takes names without an extension ("*.*" takes every name,
  // "readme.*" takes "readme"), and one ending in a lone "." takes only such names.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
    const auto last = name.rfind('/');
    const auto leaf = last == std::string_view::npos ? name : name.substr(last + 1);
    if (leaf.find('.') == std::string_view::npos)
      return plainMatch(pattern.substr(0, pattern.size() - 2), name);
  }
  if (pattern.size() >= 2 && pattern.back() == '.' && pattern[pattern.size() - 2] != '.') {
    const auto last = name.rfind('/');
    const auto leaf = last == std::string_view::npos ? name : name.substr(last + 1);
    if (leaf.find('.') == std::string_view::npos)
      return plainMatch(pattern.substr(0, pattern.size() - 1), name);
  }
  return false;
}

} // namespace kv::engine
