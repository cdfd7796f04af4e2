#include "Platform/DynLib/DynLib.h"

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <dlfcn.h>
#include <link.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace kv::platform {

namespace {

bool isFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The folders the system loader searches for a bare name opened from here, in its order: the
// library path, the run paths and the system's library folders (its cache of system libraries
// aside).
std::vector<std::string> loaderFolders() {
  Dl_info self{};
  void* handle = nullptr;
  if (::dladdr(reinterpret_cast<void*>(&openLibrary), &self) && self.dli_fname)
    handle = ::dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  if (!handle) handle = ::dlopen(nullptr, RTLD_NOW);
  std::vector<std::string> folders;
  Dl_serinfo size{};
  if (handle && ::dlinfo(handle, RTLD_DI_SERINFOSIZE, &size) == 0 && size.dls_size >= sizeof(Dl_serinfo)) {
    const size_t words = (size.dls_size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    auto buffer = std::make_unique<std::max_align_t[]>(words);
    auto* info = reinterpret_cast<Dl_serinfo*>(buffer.get());
    *info = size;
    if (::dlinfo(handle, RTLD_DI_SERINFO, info) == 0)
      for (unsigned i = 0; i < info->dls_cnt; ++i)
        folders.emplace_back(info->dls_serpath[i].dls_name ? info->dls_serpath[i].dls_name : "");
  }
  if (handle) ::dlclose(handle);
  return folders;
}

void* openFile(const std::string& fileName) { return ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL); }

// A bare name through the system loader's search, which reaches the current directory only
// through an empty or relative folder of the library path. When such a folder holds the
// library, only the loader's absolute folders are searched, so a library lying below the
// current directory is never loaded by its bare name.
void* openBareName(const std::string& name) {
  const std::vector<std::string> folders = loaderFolders();
  ::dlerror(); // what asking for the folders left is no reason of this load
  bool belowCurrent = false;
  for (const auto& folder : folders)
    if (folder.empty() || folder[0] != '/')
      belowCurrent = belowCurrent || isFile((folder.empty() ? "." : folder) + "/" + name);
  if (!belowCurrent) return openFile(name);
  for (const auto& folder : folders) {
    if (folder.empty() || folder[0] != '/') continue;
    const std::string path = folder + "/" + name;
    if (!isFile(path)) continue;
    if (void* handle = openFile(path)) return handle;
  }
  return nullptr;
}

} // namespace

LibraryHandle openLibrary(const std::string& fileName, std::string* error) {
  if (fileName.empty()) {
    if (error) *error = "no library name";
    return nullptr;
  }
  ::dlerror();
  void* handle = fileName.find('/') == std::string::npos ? openBareName(fileName) : openFile(fileName);
  if (!handle && error) {
    const char* why = ::dlerror();
    *error = why ? why : "cannot be loaded";
  }
  return handle;
}

void* librarySymbol(LibraryHandle library, const std::string& name) {
  if (!library) return nullptr;
  ::dlerror();
  return ::dlsym(library, name.c_str());
}

void closeLibrary(LibraryHandle library) {
  if (library) ::dlclose(library);
}

std::string libraryFileName(LibraryHandle library) {
  if (!library) return {};
  struct link_map* map = nullptr;
  if (::dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name || !*map->l_name) return {};
  // The loader keeps the name it was given; a relative one is made whole here.
  char full[PATH_MAX];
  if (::realpath(map->l_name, full)) return full;
  return map->l_name;
}

} // namespace kv::platform
