#include "Archive/ZavOzerizScratch.h"

#include "Platform/Paths/Paths.h"
#include "Platform/TempFiles/TempFiles.h"

#include <filesystem>
#include <random>
#include <system_error>

namespace ZavOzeriz {

namespace fs = std::filesystem;
namespace pf = kv::platform;

bool TScratchFolder::Create(const std::string& Base) {
  Remove();
  if (Base.empty()) return false;
  std::random_device random;
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "kvzip-";
    for (int i = 0; i < 12; ++i)
      name += alphabet[random() % 62];
    const fs::path dir = fs::path(pf::includeTrailingPathDelimiter(Base)) / name;
    std::error_code ec;
    // Creating fails when anything of that name is there, a link included: the folder is
    // always our own.
    if (!fs::create_directory(dir, ec)) {
      if (ec && ec != std::errc::file_exists) return false;
      continue;
    }
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    path_ = pf::includeTrailingPathDelimiter(dir.string());
    if (ec) {
      Remove();
      return false;
    }
    return true;
  }
  return false;
}

std::string TScratchFolder::NewFileName(const std::string& Prefix, const std::string& Extension) const {
  if (path_.empty()) return {};
  auto file = pf::createTempFile(path_, Prefix, Extension);
  if (!file) return {};
  pf::fileClose(file->handle);
  pf::deleteFile(file->name);
  return file->name;
}

void TScratchFolder::Remove() {
  if (path_.empty()) return;
  std::error_code ec;
  // Links inside are removed, never followed.
  fs::remove_all(path_, ec);
  path_.clear();
}

} // namespace ZavOzeriz
