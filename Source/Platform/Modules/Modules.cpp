#include "Platform/Modules/Modules.h"

#include <dlfcn.h>

namespace kv::platform {

namespace {
thread_local std::string lastError;

void noteError() {
  const char* text = dlerror();
  lastError = text ? text : "";
}
} // namespace

ModuleHandle loadModule(const std::string& path) {
  if (path.empty()) {
    lastError = "no module name";
    return nullptr;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) noteError();
  return handle;
}

ModuleHandle programModule() {
  void* handle = dlopen(nullptr, RTLD_NOW);
  if (!handle) noteError();
  return handle;
}

void* findExport(ModuleHandle module, const char* name) {
  // A null handle would mean the loader's global search (RTLD_DEFAULT), which could
  // find a same-named function anywhere in the process; no handle finds nothing.
  if (!module || !name) return nullptr;
  dlerror();
  void* address = dlsym(module, name);
  if (!address) noteError();
  return address;
}

void unloadModule(ModuleHandle module) {
  if (module) dlclose(module);
}

std::string moduleError() { return lastError; }

} // namespace kv::platform
