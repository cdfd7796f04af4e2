// Temporary files: always created exclusively (never opening one somebody else put in
// our way), readable and writable by the user alone, under a name nobody can guess.
#pragma once

#include "Platform/Files/Files.h"

#include <optional>
#include <string>

namespace kv::platform {

// $TMPDIR when it names a directory, else /tmp; with a trailing separator.
std::string systemTempDir();

struct TempFile {
  std::string name;
  FileHandle handle = InvalidFile; // open for reading and writing
};

// Creates dir/prefix + random part + ext with mode 0600, failing rather than opening an
// existing file. An empty dir is the system's temporary directory.
std::optional<TempFile> createTempFile(const std::string& dir, const std::string& prefix,
                                       const std::string& ext);

} // namespace kv::platform
