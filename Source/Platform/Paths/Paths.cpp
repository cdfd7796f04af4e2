#include "Platform/Paths/Paths.h"

#include <unistd.h>
#include <vector>

namespace kv::platform {

namespace {
std::string currentDir() {
  std::vector<char> buf(4096);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (buf.size() > (1u << 20)) return "/";
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}
} // namespace

std::string expandFileName(const std::string& name) {
  const std::string full = !name.empty() && name[0] == PathDelim ? name : currentDir() + "/" + name;
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= full.size()) {
    size_t next = full.find(PathDelim, pos);
    if (next == std::string::npos) next = full.size();
    const std::string part = full.substr(pos, next - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = next + 1;
  }
  std::string out;
  for (const auto& p : parts)
    out += "/" + p;
  if (out.empty()) out = "/";
  // Keep a trailing separator: it says the name is a directory.
  const bool trailing = !name.empty() && (name.back() == PathDelim || name == "." || name.ends_with("/."));
  if (trailing && out != "/") out += PathDelim;
  return out;
}

std::string extractFilePath(const std::string& name) {
  const auto p = name.find_last_of(PathDelim);
  return p == std::string::npos ? std::string() : name.substr(0, p + 1);
}

std::string extractFileDir(const std::string& name) {
  const auto p = name.find_last_of(PathDelim);
  if (p == std::string::npos) return {};
  if (p == 0) return "/";
  return name.substr(0, p);
}

std::string extractFileName(const std::string& name) {
  const auto p = name.find_last_of(PathDelim);
  return p == std::string::npos ? name : name.substr(p + 1);
}

std::string extractFileExt(const std::string& name) {
  const auto p = name.find_last_of(std::string(".") + PathDelim);
  if (p == std::string::npos || name[p] != '.') return {};
  return name.substr(p);
}

std::string changeFileExt(const std::string& name, const std::string& ext) {
  const auto p = name.find_last_of(std::string(".") + PathDelim);
  if (p == std::string::npos || name[p] != '.') return name + ext;
  return name.substr(0, p) + ext;
}

std::string includeTrailingPathDelimiter(const std::string& path) {
  if (path.empty() || path.back() == PathDelim) return path;
  return path + PathDelim;
}

std::string excludeTrailingPathDelimiter(const std::string& path) {
  std::string out = path;
  while (out.size() > 1 && out.back() == PathDelim)
    out.pop_back();
  return out;
}

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (name.empty()) return dir;
  const bool a = dir.back() == PathDelim, b = name.front() == PathDelim;
  if (a && b) return dir + name.substr(1);
  if (!a && !b) return dir + PathDelim + name;
  return dir + name;
}

} // namespace kv::platform
