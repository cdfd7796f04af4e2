// Run-time binding to other modules: a program's own exports or a shared library's,
// found by name. Everything above the platform layer loads modules through here.
#pragma once

#include <string>

namespace kv::platform {

// The dynamic loader's handle of a loaded module; nullptr stands for none.
using ModuleHandle = void*;

// Loads a shared library (its own names kept local to it); nullptr when it cannot be loaded.
ModuleHandle loadModule(const std::string& path);
// The running program itself, whose exports (linked with -rdynamic) can then be found by name.
ModuleHandle programModule();
// The address of the export `name` of exactly this module (and what it was linked against),
// or nullptr when it has no such export or the handle is nullptr.
void* findExport(ModuleHandle module, const char* name);
// Releases a handle of loadModule or programModule; nullptr is ignored.
void unloadModule(ModuleHandle module);
// The loader's text for the last failure of this thread, or an empty string.
std::string moduleError();

} // namespace kv::platform
