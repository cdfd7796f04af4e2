// Small helpers shared by the fuzz targets: a private folder per target, whole-file writes, and
// the seed mode of targets whose starting corpus our own writers make.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kvfuzz {

namespace fs = std::filesystem;

// A fresh folder of this process in `parent`, removed when the process ends normally (after a
// crash it stays, with what the input left there).
inline fs::path makeFolderUntilExit(const fs::path& parent) {
  static std::vector<fs::path> folders;
  std::string name = (parent / "kvfuzz-XXXXXX").string();
  if (!mkdtemp(name.data())) std::abort();
  if (folders.empty())
    std::atexit([] {
      std::error_code ec;
      for (const auto& f : folders)
        fs::remove_all(f, ec);
    });
  folders.push_back(name);
  return name;
}

// The process's folder under the temporary folder.
inline const fs::path& privateFolder() {
  static const fs::path folder = makeFolderUntilExit(fs::temp_directory_path());
  return folder;
}

inline void writeFile(const fs::path& path, std::string_view bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline std::string_view asText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Run with KV_FUZZ_WRITE_SEEDS set, a target writes its seeds into the folder named by its last
// argument and ends instead of fuzzing: the corpus then comes from the same writers the product
// uses. Call from LLVMFuzzerInitialize.
inline void writeSeedsWhenAsked(int argc, char** argv, const std::function<void(const fs::path&)>& write) {
  if (!std::getenv("KV_FUZZ_WRITE_SEEDS")) return;
  if (argc < 2) {
    std::fprintf(stderr, "usage: KV_FUZZ_WRITE_SEEDS=1 %s FOLDER\n", argv[0]);
    std::exit(2);
  }
  const fs::path out = argv[argc - 1];
  fs::create_directories(out);
  write(out);
  std::exit(0);
}

} // namespace kvfuzz
