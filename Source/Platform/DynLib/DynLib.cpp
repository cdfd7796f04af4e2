#include "Platform/DynLib/DynLib.h"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <link.h>

namespace kv::platform {

LibraryHandle openLibrary(const std::string& fileName, std::string* error) {
  if (fileName.empty()) {
    if (error) *error = "no library name";
    return nullptr;
  }
  dlerror();
  void* handle = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle && error) {
    const char* why = dlerror();
    *error = why ? why : "cannot be loaded";
  }
  return handle;
}

void* librarySymbol(LibraryHandle library, const std::string& name) {
  if (!library) return nullptr;
  dlerror();
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
