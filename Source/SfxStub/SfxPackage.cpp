#include "SfxPackage.h"

#include "EngineArchive.h"
#include "EngineFiles.h"
#include "Platform/Folders/SpecialFolders.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace sfxstub {

namespace fmt = ZavSFXFormat;
using kv::engine::preadAll;

namespace {

class ReadOnlyFile {
public:
  explicit ReadOnlyFile(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~ReadOnlyFile() {
    if (fd >= 0) ::close(fd);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  const int fd;
};

std::string text(const std::optional<std::string>& t) { return t ? *t : std::string(); }

} // namespace

Package readPackage(const std::string& path) {
  ReadOnlyFile file(path);
  if (file.fd < 0) throw StubError("Cannot read " + path + ": " + kv::engine::systemErrorText(errno));
  std::string why;
  bool unsupported = false;
  const auto dir = kv::engine::readArchiveDirectory(file.fd, why, unsupported);
  if (!dir)
    throw StubError(path + " is damaged or incomplete: " + why +
                    (unsupported ? "" : ". No archive can be extracted from it"));

  // The trailer stands right in front of the first member and names the header block before it.
  const auto damagedHeader = [&] {
    return StubError(path + " has no self-extractor settings in front of its archive: it is damaged, or it "
                            "is not a self-extracting archive");
  };
  uint8_t trailer[fmt::TrailerSize];
  if (dir->dataStart < fmt::TrailerSize || !preadAll(file.fd, trailer, sizeof trailer, dir->dataStart - 8))
    throw damagedHeader();
  const auto size = fmt::ParseTrailer(trailer);
  if (!size || *size < fmt::Header::FixedSize || *size > 0xFFFF || *size > dir->dataStart - fmt::TrailerSize)
    throw damagedHeader();
  std::vector<uint8_t> block(*size);
  if (!preadAll(file.fd, block.data(), block.size(), dir->dataStart - fmt::TrailerSize - *size))
    throw damagedHeader();
  const auto header = fmt::ParseHeader(block);
  if (!header || !header->Complete) throw damagedHeader();

  Package p;
  p.path = path;
  p.options = header->Options;
  p.overwrite = header->OverWrite;
  p.style = header->Style;
  p.caption = text(header->Caption);
  p.defaultDir = text(header->DefaultDir);
  p.commandLine = text(header->CommandLine);
  p.message = text(header->Message);
  for (const auto& e : dir->entries) {
    Member m;
    m.name = e.textName();
    if (m.name.empty() || m.name.back() == '/') continue;
    m.size = e.uncompressedSize;
    m.encrypted = (e.flags & kv::engine::kFlagEncrypted) != 0;
    p.totalSize += m.size;
    p.members.push_back(std::move(m));
  }
  return p;
}

std::string nativeDirectory(const std::string& stored) {
  std::string dir = stored;
  const bool drive = dir.size() >= 2 && dir[1] == ':' && std::isalpha(static_cast<unsigned char>(dir[0]));
  if (drive) dir.erase(0, 2);
  const bool fromRoot = drive || (!dir.empty() && dir[0] == '\\');
  std::replace(dir.begin(), dir.end(), '\\', '/');
  if (!fromRoot) return dir;
  const size_t start = dir.find_first_not_of('/');
  const std::string home = kv::platform::homeFolder();
  return start == std::string::npos ? home : kv::engine::joinPath(home, dir.substr(start));
}

} // namespace sfxstub
