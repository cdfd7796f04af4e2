// Shared libraries opened at run time by their file name, the way the system loads its
// engines: open one library, look up an entry point by name, ask where it was loaded
// from, and close it again.
#pragma once

#include <string>

namespace kv::platform {

// An open library; nullptr stands for none.
using LibraryHandle = void*;

// Opens the library of that file name, binding all its symbols at once and keeping them
// out of the global namespace. A name with a '/' is that very file (a relative one
// counts from the current directory); a bare name goes through the system loader's
// search (library path, run paths, the system's library folders and their cache), but
// never finds a library below the current directory, not even through an empty or
// relative folder of the library path. nullptr on failure, with the loader's reason in
// *error when asked.
LibraryHandle openLibrary(const std::string& fileName, std::string* error = nullptr);
// The address of the named entry point, nullptr when the library has none.
void* librarySymbol(LibraryHandle library, const std::string& name);
// Closes one opening of the library; the library goes when its last opening is closed.
void closeLibrary(LibraryHandle library);
// The full file name the library was loaded from, "" when it cannot be told.
std::string libraryFileName(LibraryHandle library);

} // namespace kv::platform
