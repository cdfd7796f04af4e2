// What a self-extractor carries behind its stub: the header block with the builder's settings
// and the archive's members, read from the executable's own file.
#pragma once

#include "Archive/ZavSFXHeader.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sfxstub {

// A failure the user is told about in so many words; the run ends with it.
class StubError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct Member {
  std::string name; // as the unzip engine writes and matches it
  uint64_t size = 0;
  bool encrypted = false;
};

struct Package {
  std::string path; // the executable
  uint16_t options = ZavSFXFormat::OptBase;
  uint8_t overwrite = ZavSFXFormat::OverWriteConfirm;
  uint32_t style = ZavSFXFormat::StyleOK;
  std::string caption, defaultDir, commandLine, message;
  std::vector<Member> members; // files; folders of their own come out with every member
  uint64_t totalSize = 0;

  bool has(uint16_t option) const { return (options & option) != 0; }
};

// Reads the executable's archive directory and, in front of its first member, the trailer and
// the header block. StubError when there is no archive, it is damaged or cut short, or the
// header is missing or damaged.
Package readPackage(const std::string& path);

// The default directory as a folder of this system: '\' of the Windows-era settings is '/', and
// a folder from the root of a drive ("C:\Program Files\Korvalis", "\Apps") lies below the home
// folder, as the user's own place; the drive is dropped.
std::string nativeDirectory(const std::string& stored);

} // namespace sfxstub
