// The zip engine: adds files to a zip archive. The archive is always built in a new file beside
// the target and put in its place only when it is complete, so a failed or cancelled add never
// damages an archive that was there before. Members are compressed on worker threads; every
// callback is made on the caller's thread, in member order.
#include "ZipEngineRecords.h"

#include "EngineArchive.h"
#include "EngineCallback.h"
#include "EngineCrypt.h"
#include "EngineFiles.h"
#include "EngineWildcard.h"
#include "EngineWorkers.h"
#include "Platform/CodePage/CodePage.h"
#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Trash/Trash.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <libdeflate.h>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace kv::engine {
namespace {

constexpr uint64_t kInMemoryLimit = 48ull << 20; // larger files are streamed on the calling thread
constexpr uint64_t kMemoryBudget = 384ull << 20; // input and output of members in flight
constexpr size_t kStreamChunk = 1 << 20;
constexpr auto kTickInterval = std::chrono::milliseconds(200);

// A failure that ends the whole add; the archive stays as it was.
class AddFailure : public std::runtime_error {
public:
  AddFailure(int code, const std::string& text) : std::runtime_error(text), code(code) {}
  int code;
};

bool flag(int32_t value) { return value != 0; }

std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string text(const char* p) { return p ? std::string(p) : std::string(); }

// One member to be written from a file (or a directory entry).
struct NewMember {
  std::string path;       // the file on disk
  std::string name;       // UTF-8, '/' separators; directories end in '/'
  std::string storedName; // bytes as written
  std::string comment;    // bytes as written
  struct stat st {};
  bool directory = false;
  bool store = false;
  bool encrypt = false;
  std::string password;
  uint16_t flags = 0;
  uint8_t host = kHostUnix;
  DosDateTime dos;
  const CentralEntry* replaces = nullptr; // the old member this one takes the place of
  bool big = false;

  // Takes over what planning decided of another member (a member itself cannot move: the
  // worker's flag is atomic).
  void takePlan(NewMember& from) {
    path = std::move(from.path);
    name = std::move(from.name);
    storedName = std::move(from.storedName);
    comment = std::move(from.comment);
    st = from.st;
    directory = from.directory;
    store = from.store;
    encrypt = from.encrypt;
    password = std::move(from.password);
    flags = from.flags;
    host = from.host;
    dos = from.dos;
    replaces = from.replaces;
    big = from.big;
  }

  // Filled by the worker.
  std::atomic<bool> done{false};
  bool dispatched = false;
  uint64_t cost = 0;
  bool ok = false;
  int errorCode = 0;
  std::string error;
  uint16_t method = kMethodStored;
  uint32_t crc = 0;
  uint64_t size = 0;
  uint8_t header[kEncryptionHeaderSize] = {};
  std::vector<uint8_t> input;  // the file's bytes (also the stored data)
  std::vector<uint8_t> output; // deflated data, when smaller than the input
};

struct Compressor {
  int level = -1;
  libdeflate_compressor* handle = nullptr;
  ~Compressor() {
    if (handle) libdeflate_free_compressor(handle);
  }
  libdeflate_compressor* at(int wanted) {
    if (!handle || level != wanted) {
      if (handle) libdeflate_free_compressor(handle);
      handle = libdeflate_alloc_compressor(wanted);
      level = wanted;
    }
    return handle;
  }
};

// The zip level asks for a size; libdeflate reaches zlib's size at each level with less work,
// and from its level 7 on it packs at least as tightly as zlib's level 9 (within a few tenths of
// a percent on text, tables and programs), while its deeper levels cost two to six times the
// time for under 1 %. So the deeper zip levels are served by level 7.
int libdeflateLevel(int zipLevel) { return std::min(zipLevel, 7); }

// Packed media, archives and ciphertext cost the deflater as much time as text does, only to be
// stored in the end. Stretches taken evenly across a large member tell them apart: when not one
// of them packs at the quickest level, the member is stored without deflating the rest.
// `stretchAt` gives the kProbeStretch bytes at an offset, or nothing when they cannot be read.
constexpr size_t kProbeStretch = 4096;
bool looksIncompressible(uint64_t size, const std::function<const uint8_t*(uint64_t)>& stretchAt) {
  constexpr uint64_t kProbeFrom = 1 << 20;
  constexpr uint64_t kStretches = 32;
  if (size < kProbeFrom) return false;
  thread_local Compressor quickest;
  libdeflate_compressor* c = quickest.at(1);
  if (!c) throw std::bad_alloc();
  // A stretch that does not fit in 63/64 of its size did not pack: libdeflate returns 0.
  uint8_t packed[kProbeStretch - kProbeStretch / 64];
  for (uint64_t i = 0; i < kStretches; ++i) {
    const uint8_t* stretch = stretchAt((size - kProbeStretch) / (kStretches - 1) * i);
    if (!stretch || libdeflate_deflate_compress(c, stretch, kProbeStretch, packed, sizeof packed) > 0)
      return false;
  }
  return true;
}

// One piece of a member too large to hold in memory, deflated on a worker. It carries the bytes
// that precede it, so that matches reach back across the cut, and ends on a byte boundary (a sync
// flush), so that the pieces written one after the other are one deflate stream.
struct DeflatePiece {
  std::vector<uint8_t> history;
  std::vector<uint8_t> input;
  std::vector<uint8_t> output;
  std::atomic<bool> done{false};
  bool ok = false;
};

// What ends a stream of sync-flushed pieces: an empty final block of fixed codes.
constexpr uint8_t kFinalEmptyBlock[] = {0x03, 0x00};

void deflatePiece(DeflatePiece& p, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
  const kv::platform::ScopeExit end([&] { deflateEnd(&z); });
  if (!p.history.empty() &&
      deflateSetDictionary(&z, p.history.data(), static_cast<uInt>(p.history.size())) != Z_OK)
    return;
  p.output.resize(deflateBound(&z, p.input.size()) + 64);
  z.next_in = p.input.data();
  z.avail_in = static_cast<uInt>(p.input.size());
  for (;;) {
    z.next_out = p.output.data() + z.total_out;
    z.avail_out = static_cast<uInt>(p.output.size() - z.total_out);
    const int result = deflate(&z, Z_SYNC_FLUSH);
    if (result != Z_OK && result != Z_BUF_ERROR) return;
    if (z.avail_out > 0) break; // all input taken and the flush complete
    p.output.resize(p.output.size() * 2);
  }
  p.output.resize(z.total_out);
  p.ok = true;
}

// The encryption header: eleven random bytes and the check byte, ready to be encrypted.
bool makeEncryptionHeader(uint8_t header[kEncryptionHeaderSize], uint8_t check) {
  if (!randomBytes(header, kEncryptionHeaderSize - 1)) return false;
  header[kEncryptionHeaderSize - 1] = check;
  return true;
}

// Worker: read, checksum, compress and encrypt one member that fits in memory.
void prepareInMemory(NewMember& m, int level, const std::atomic<bool>& abort) {
  if (abort.load()) return;
  const int fd = open(m.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    m.errorCode = zeFileRead;
    m.error = "Cannot open " + m.path + ": " + systemErrorText(errno);
    return;
  }
  const bool readOk = readWhole(fd, m.input, static_cast<size_t>(m.st.st_size));
  const int readError = errno;
  close(fd);
  if (!readOk) {
    m.errorCode = zeFileRead;
    m.error = "Cannot read " + m.path + ": " + systemErrorText(readError);
    return;
  }
  if (m.input.size() >= kMax32) {
    m.errorCode = zeUnsupported;
    m.error = m.path + " is too large for a zip archive without 64-bit extensions";
    return;
  }
  m.size = m.input.size();
  m.crc = crc32Of(0, m.input.data(), m.input.size());
  m.method = kMethodStored;
  const auto inMemory = [&m](uint64_t at) { return m.input.data() + at; };
  if (!m.store && level > 0 && !m.input.empty() && !looksIncompressible(m.input.size(), inMemory)) {
    thread_local Compressor compressor;
    libdeflate_compressor* c = compressor.at(libdeflateLevel(level));
    if (!c) throw std::bad_alloc();
    m.output.resize(libdeflate_deflate_compress_bound(c, m.input.size()));
    const size_t packed =
        libdeflate_deflate_compress(c, m.input.data(), m.input.size(), m.output.data(), m.output.size());
    if (packed > 0 && packed < m.input.size()) {
      m.output.resize(packed);
      m.method = kMethodDeflated;
      std::vector<uint8_t>().swap(m.input);
    } else {
      std::vector<uint8_t>().swap(m.output);
    }
  }
  if (m.encrypt) {
    if (!makeEncryptionHeader(m.header, static_cast<uint8_t>(m.crc >> 24))) {
      m.errorCode = zeInternal;
      m.error = "No random source for the encryption of " + m.name;
      return;
    }
    TraditionalCipher cipher(m.password);
    cipher.encrypt(m.header, kEncryptionHeaderSize);
    auto& data = m.method == kMethodDeflated ? m.output : m.input;
    cipher.encrypt(data.data(), data.size());
  }
  m.ok = true;
}

// Buffered sequential output with the position the records need.
class ArchiveWriter {
public:
  explicit ArchiveWriter(int fd) : fd_(fd) { buffer_.reserve(kBufferSize); }
  uint64_t position() const { return position_; }
  void write(const void* data, size_t size) {
    if (position_ + size > kMax32 + 1)
      throw AddFailure(zeUnsupported, "The archive would exceed 4 GB, which needs 64-bit extensions");
    const auto* p = static_cast<const uint8_t*>(data);
    if (buffer_.size() + size > kBufferSize) flush();
    if (size >= kBufferSize) {
      if (!writeAll(fd_, p, size)) fail();
    } else {
      buffer_.insert(buffer_.end(), p, p + size);
    }
    position_ += size;
  }
  void write(const std::string& bytes) { write(bytes.data(), bytes.size()); }
  void flush() {
    if (!buffer_.empty() && !writeAll(fd_, buffer_.data(), buffer_.size())) fail();
    buffer_.clear();
  }
  // Drops everything written from offset on (to write a member again).
  void truncateTo(uint64_t offset) {
    flush();
    if (ftruncate(fd_, static_cast<off_t>(offset)) != 0 ||
        lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
      fail();
    position_ = offset;
  }

private:
  [[noreturn]] void fail() {
    throw AddFailure(zeArchiveWrite, "Write error in the new archive: " + systemErrorText(errno));
  }
  static constexpr size_t kBufferSize = 1 << 20;
  int fd_;
  uint64_t position_ = 0;
  std::vector<uint8_t> buffer_;
};

class ZipRun {
public:
  ZipRun(const ZipCommandRecord& cmd, CallbackChannel& channel) : cmd_(cmd), channel_(channel) {}
  int32_t execute();

private:
  void readOptions();
  void openOldArchive();
  void collect(const FileSpecRecord& spec);
  size_t walk(const std::string& dir, const std::string& pattern, bool explicitName, bool recurse,
              const FileSpecRecord& spec, const std::string& nameRoot);
  std::optional<std::string> memberName(const std::string& path, const std::string& nameRoot) const;
  void consider(const std::string& path, const struct stat& st, const FileSpecRecord& spec,
                const std::string& nameRoot);
  void considerDirectory(const std::string& path, const struct stat& st, const std::string& nameRoot);
  bool excluded(const std::string& path, const std::string& relative) const;
  std::string encodeName(const std::string& name, uint16_t& flags, uint8_t& host) const;
  std::string encodeComment(const std::string& comment, uint16_t& flags) const;
  std::string dosName(const std::string& name) const;
  bool planMembers();
  void addDirectoryEntries();
  void writeArchive();
  void copyOldMember(const CentralEntry& old);
  void writeNewMember(NewMember& m);
  void streamMember(NewMember& m);
  void finishMember(NewMember& m, uint64_t localOffset, uint64_t dataSize);
  void dispatchMore();
  void waitFor(NewMember& m);
  void waitForJob(const std::atomic<bool>& done);
  void deflateInPieces(const std::function<size_t(std::vector<uint8_t>&)>& readPiece,
                       const std::function<void(uint8_t*, size_t)>& emit);
  void checkCancel() {
    if (channel_.cancelled()) throw AddFailure(zeAbort, "User abort");
  }
  void verbose(const std::string& message) {
    if (verbose_) channel_.message(0, message);
  }

  const ZipCommandRecord& cmd_;
  CallbackChannel& channel_;

  std::string archivePath_;
  int level_ = 9;
  bool verbose_ = false;
  bool dirNames_ = true;
  bool recurse_ = false;
  bool hidden_ = false;
  bool oem_ = false;
  bool forceDos_ = false;
  bool move_ = false;
  bool allowUndo_ = false;
  bool update_ = false;
  bool freshen_ = false;
  bool separateDirs_ = false;
  bool zipTime_ = false;
  bool useFromDate_ = false;
  time_t fromDate_ = 0;
  std::vector<std::string> storeSuffixes_;
  std::vector<std::string> exclusions_;
  std::string cwd_;

  int oldFd_ = -1;
  bool oldExists_ = false;
  struct stat oldStat_ {};
  uint64_t oldSize_ = 0;
  std::optional<ArchiveDirectory> old_;
  std::map<std::string, const CentralEntry*> oldByName_;

  std::deque<NewMember> members_;
  std::set<std::string> newNames_;
  std::set<std::string> seenPaths_;
  // Directories met on the way down, each stored as an entry of its own (empty ones too).
  std::deque<NewMember> walkedDirs_;
  size_t matched_ = 0;
  bool askedPassword_ = false;
  bool mayAskPassword_ = true;
  std::string sessionPassword_;

  // Writing.
  std::unique_ptr<WorkerPool> pool_;
  std::atomic<bool> abort_{false};
  std::vector<NewMember*> order_;
  size_t nextDispatch_ = 0;
  uint64_t inFlightCost_ = 0;
  size_t inFlight_ = 0;
  std::unique_ptr<ArchiveWriter> out_;
  std::vector<CentralEntry> central_;
  int32_t added_ = 0;
  time_t newest_ = 0;
  std::vector<std::string> movedFiles_;

public:
  ~ZipRun() {
    if (oldFd_ >= 0) close(oldFd_);
  }
};

void ZipRun::readOptions() {
  archivePath_ = text(cmd_.ZipFileName);
  if (archivePath_.empty()) throw AddFailure(zeBadParameters, "No archive name given");
  level_ = std::clamp(cmd_.Level, 0, 9);
  verbose_ = flag(cmd_.Verbose) || flag(cmd_.Trace);
  dirNames_ = !flag(cmd_.NoDirNames);
  recurse_ = cmd_.Recurse != 0;
  hidden_ = flag(cmd_.AddHiddenFiles);
  forceDos_ = flag(cmd_.ForceDOS);
  oem_ = cmd_.CodePage == KV_CODEPAGE_OEM || forceDos_;
  move_ = flag(cmd_.Move);
  allowUndo_ = flag(cmd_.AllowUndo);
  update_ = flag(cmd_.Update);
  freshen_ = flag(cmd_.Freshen) && !update_;
  separateDirs_ = !flag(cmd_.NoSeparateDirs);
  zipTime_ = flag(cmd_.ZipTime);
  useFromDate_ = flag(cmd_.AddFromDate);
  cwd_ = currentDirectory();

  if (useFromDate_) {
    const char* d = cmd_.FromDate;
    auto digits = [&](int at) -> int {
      if (d[at] < '0' || d[at] > '9' || d[at + 1] < '0' || d[at + 1] > '9') return -1;
      return (d[at] - '0') * 10 + (d[at + 1] - '0');
    };
    const int month = digits(0), day = digits(3), year = digits(6);
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 0)
      throw AddFailure(zeBadParameters, "The date for adding files is not valid");
    struct tm local {};
    local.tm_year = (year < 80 ? 2000 + year : 1900 + year) - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_isdst = -1;
    fromDate_ = mktime(&local);
  }

  const std::string suffixes = lowerAscii(text(cmd_.StoreSuffixes));
  size_t start = 0;
  while (start <= suffixes.size()) {
    auto end = suffixes.find(':', start);
    if (end == std::string::npos) end = suffixes.size();
    if (end > start) storeSuffixes_.push_back(suffixes.substr(start, end - start));
    start = end + 1;
  }
  if (cmd_.ExclCount > 0 && cmd_.Exclusions)
    for (int32_t i = 0; i < cmd_.ExclCount; ++i)
      if (cmd_.Exclusions[i] && *cmd_.Exclusions[i]) exclusions_.push_back(cmd_.Exclusions[i]);
}

void ZipRun::openOldArchive() {
  if (lstat(archivePath_.c_str(), &oldStat_) != 0) {
    if (errno != ENOENT)
      throw AddFailure(zeArchiveRead, "Cannot open " + archivePath_ + ": " + systemErrorText(errno));
    return;
  }
  if (S_ISLNK(oldStat_.st_mode) && stat(archivePath_.c_str(), &oldStat_) != 0)
    throw AddFailure(zeArchiveRead, archivePath_ + " is a dangling link");
  if (!S_ISREG(oldStat_.st_mode)) throw AddFailure(zeArchiveRead, archivePath_ + " is not a file");
  oldExists_ = true;
  oldFd_ = open(archivePath_.c_str(), O_RDONLY | O_CLOEXEC);
  if (oldFd_ < 0)
    throw AddFailure(zeArchiveRead, "Cannot open " + archivePath_ + ": " + systemErrorText(errno));
  oldSize_ = static_cast<uint64_t>(oldStat_.st_size);
  std::string error;
  bool unsupported = false;
  old_ = readArchiveDirectory(oldFd_, error, unsupported);
  if (!old_)
    throw AddFailure(unsupported ? zeUnsupported : zeArchiveRead,
                     "Cannot add to " + archivePath_ + ": " + error);
  for (const auto& entry : old_->entries)
    oldByName_.emplace(entry.textName(), &entry);
}

bool ZipRun::excluded(const std::string& path, const std::string& relative) const {
  const std::string leaf = leafOf(path);
  for (const auto& pattern : exclusions_) {
    if (pattern.find('/') == std::string::npos) {
      if (wildcardMatch(pattern, leaf)) return true;
    } else if (wildcardMatch(pattern, relative) || wildcardMatch(pattern, path)) {
      return true;
    }
  }
  return false;
}

std::string ZipRun::dosName(const std::string& name) const {
  // Each component in upper case, at most eight characters and a three-character extension.
  std::string out;
  size_t start = 0;
  while (start < name.size()) {
    auto end = name.find('/', start);
    const bool last = end == std::string::npos;
    if (last) end = name.size();
    std::string part = name.substr(start, end - start);
    for (char& c : part)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const auto dot = part.rfind('.');
    std::string base = dot == std::string::npos ? part : part.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : part.substr(dot + 1);
    base.erase(std::remove(base.begin(), base.end(), '.'), base.end());
    base = base.substr(0, 8);
    ext = ext.substr(0, 3);
    if (base.empty()) base = "_";
    out += ext.empty() ? base : base + "." + ext;
    if (!last) out += '/';
    start = end + 1;
  }
  return out;
}

std::string ZipRun::encodeName(const std::string& name, uint16_t& flags, uint8_t& host) const {
  if (oem_) {
    host = kHostFat;
    return kv::platform::ansiToOem(name, '_');
  }
  host = kHostUnix;
  if (!kv::platform::isAscii(name) && kv::platform::isValidUtf8(name)) flags |= kFlagUtf8;
  return name;
}

std::string ZipRun::encodeComment(const std::string& comment, uint16_t& flags) const {
  if (oem_) return kv::platform::ansiToOem(comment, '_');
  if (!kv::platform::isAscii(comment) && kv::platform::isValidUtf8(comment)) flags |= kFlagUtf8;
  return comment;
}

// The name a file or directory is stored under, its path below the name root; nothing when
// an exclusion takes it out.
std::optional<std::string> ZipRun::memberName(const std::string& path, const std::string& nameRoot) const {
  std::string relative;
  if (!nameRoot.empty() && path.size() > nameRoot.size() && path.compare(0, nameRoot.size(), nameRoot) == 0 &&
      (nameRoot.back() == '/' || path[nameRoot.size()] == '/'))
    relative = path.substr(nameRoot.size() + (nameRoot.back() == '/' ? 0 : 1));
  else
    relative = path[0] == '/' ? path.substr(1) : path;
  if (excluded(path, relative)) return std::nullopt;
  std::string name = dirNames_ ? relative : leafOf(relative);
  if (forceDos_) name = dosName(name);
  return name;
}

void ZipRun::consider(const std::string& path, const struct stat& st, const FileSpecRecord& spec,
                      const std::string& nameRoot) {
  if (oldExists_ && st.st_dev == oldStat_.st_dev && st.st_ino == oldStat_.st_ino)
    return; // the archive itself, under whichever name or link it is met
  auto name = memberName(path, nameRoot);
  if (!name) return;
  if (useFromDate_ && st.st_mtime < fromDate_) return;
  ++matched_;
  // Every name is a member of its own: a second hard link or a symbolic link to a file
  // already taken is stored again under its own name. Only the same path named by two
  // specifications is taken once.
  if (!seenPaths_.insert(path).second) return;

  if (static_cast<uint64_t>(st.st_size) >= kMax32) {
    channel_.message(zeUnsupported, path + " is too large for a zip archive without 64-bit extensions");
    return;
  }

  NewMember& m = members_.emplace_back();
  m.path = path;
  m.name = std::move(*name);
  m.st = st;
  m.encrypt = spec.Encrypt != 0;
  m.password = text(spec.Password);
  const std::string lower = lowerAscii(leafOf(path));
  m.store = level_ == 0;
  for (const auto& suffix : storeSuffixes_)
    if (lower.size() >= suffix.size() &&
        lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0)
      m.store = true;
}

// Directories a recursive walk goes down into are stored as entries of their own when the
// pattern takes their name, so that an empty one comes back on extraction.
void ZipRun::considerDirectory(const std::string& path, const struct stat& st, const std::string& nameRoot) {
  if (!separateDirs_ || !dirNames_ || freshen_ || (useFromDate_ && st.st_mtime < fromDate_)) return;
  auto name = memberName(path, nameRoot);
  if (!name || name->empty() || !seenPaths_.insert(path + '/').second) return;
  NewMember& d = walkedDirs_.emplace_back();
  d.directory = true;
  d.path = path + '/';
  d.name = std::move(*name) + '/';
  d.st = st;
}

// Answers how many names the pattern took, whatever became of them afterwards.
size_t ZipRun::walk(const std::string& dir, const std::string& pattern, bool explicitName, bool recurse,
                    const FileSpecRecord& spec, const std::string& nameRoot) {
  std::vector<std::string> subdirs;
  size_t taken = 0;
  for (const auto& name : listDirectory(dir)) {
    const std::string path = joinPath(dir, name);
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) continue;
    const bool isLink = S_ISLNK(st.st_mode);
    if (isLink && stat(path.c_str(), &st) != 0) continue; // dangling link
    const bool isHidden = name[0] == '.';
    if (S_ISDIR(st.st_mode)) {
      // Linked directories are not followed, so a link to a parent cannot loop.
      if (recurse && !isLink && (hidden_ || !isHidden)) {
        subdirs.push_back(path);
        if (wildcardMatch(pattern, name)) considerDirectory(path, st, nameRoot);
      }
      continue;
    }
    if (!S_ISREG(st.st_mode)) continue;
    if (isHidden && !hidden_ && !explicitName) continue;
    if (!wildcardMatch(pattern, name)) continue;
    ++taken;
    consider(path, st, spec, nameRoot);
  }
  for (const auto& sub : subdirs)
    taken += walk(sub, pattern, explicitName, recurse, spec, nameRoot);
  return taken;
}

void ZipRun::collect(const FileSpecRecord& spec) {
  const std::string specText = text(spec.FileSpec);
  if (specText.empty()) return;
  std::string root = text(spec.RootDir);
  if (root.empty())
    root = cwd_;
  else if (root[0] != '/')
    root = joinPath(cwd_, root);
  root = normalizePath(root);
  const bool relativeSpec = specText[0] != '/';
  const std::string full = normalizePath(relativeSpec ? joinPath(root, specText) : specText);
  // Names keep their path below the root directory, or below the current one for a relative
  // specification; otherwise the whole path without its leading '/'.
  const std::string nameRoot = (relativeSpec || spec.RootDir) ? root : std::string();

  std::string dir = parentOf(full);
  std::string pattern = leafOf(full);
  bool explicitName = !hasWildcards(pattern);
  struct stat st {};
  if (explicitName && stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    dir = full;
    pattern = "*.*";
    explicitName = false;
  }
  const bool recurse = spec.Recurse != 0;
  // A name given without wildcards that names nothing is said so, as the other names go on
  // being added; what the add answers stays as it is.
  if (walk(dir, pattern, explicitName, recurse, spec, nameRoot) == 0 && explicitName)
    channel_.message(0, "No file named " + specText + ": not added");
}

bool ZipRun::planMembers() {
  // Freshen and update decide on the names as they would be stored.
  std::deque<NewMember> kept;
  for (auto& m : members_) {
    m.storedName = encodeName(m.name, m.flags, m.host);
    m.dos = toDosDateTime(m.st.st_mtime);
    const auto it = oldByName_.find(m.name);
    const CentralEntry* existing = it == oldByName_.end() ? nullptr : it->second;
    if (freshen_ && !existing) continue;
    if ((freshen_ || update_) && existing &&
        m.dos.packed() <= ((static_cast<uint32_t>(existing->dosDate) << 16) | existing->dosTime)) {
      verbose("Up to date: " + m.name);
      continue;
    }
    kept.emplace_back().takePlan(m);
  }
  members_.swap(kept);
  if (members_.empty()) return false;

  int64_t totalSize = 0;
  for (const auto& m : members_)
    totalSize += m.st.st_size;
  channel_.send(zcaTotalFiles, 0, static_cast<int64_t>(members_.size()), "");
  channel_.send(zcaTotalSize, 0, totalSize, "");
  checkCancel();

  std::deque<NewMember> planned;
  for (auto& m : members_) {
    // The caller may give the member another name and a comment.
    channel_.send(zcaNewName, 0, m.st.st_size, m.name);
    checkCancel();
    if (channel_.reply().ErrorCode == 1) {
      std::string wanted = channel_.replyText();
      std::replace(wanted.begin(), wanted.end(), '\\', '/');
      while (!wanted.empty() && wanted[0] == '/')
        wanted.erase(0, 1);
      const std::string normal = normalizePath(wanted);
      if (wanted.empty() || normal == "." || normal == ".." || normal.compare(0, 3, "../") == 0) {
        channel_.message(zeBadParameters, "The new name \"" + wanted + "\" for " + m.name + " is not usable");
      } else {
        m.name = normal;
        m.flags = 0;
        m.storedName = encodeName(m.name, m.flags, m.host);
      }
    }
    const auto it = oldByName_.find(m.name);
    m.replaces = it == oldByName_.end() ? nullptr : it->second;
    const std::string current = m.replaces ? m.replaces->textComment() : "";
    channel_.send(zcaFileComment, 0, 0, m.name, current);
    checkCancel();
    // The comment is stored as the new member's name is, whatever the old member had.
    if (channel_.reply().ErrorCode == 1)
      m.comment = encodeComment(channel_.replyText(), m.flags);
    else if (m.replaces)
      m.comment = encodeComment(current, m.flags);

    if (!newNames_.insert(m.storedName).second) {
      channel_.message(zeBadParameters, "Duplicate name " + m.name + ": " + m.path + " not added");
      continue;
    }
    if (m.encrypt && m.password.empty()) {
      if (!askedPassword_ && mayAskPassword_) {
        askedPassword_ = true;
        channel_.send(zcaPassword, KV_PASSWORD_REQUEST_ADD, 1, m.name);
        checkCancel();
        // Only a reply flag of 1 is an answer: a caller that wrote nothing back left the
        // request's own code there, and the member's name in the text.
        if (channel_.reply().ErrorCode == 1) sessionPassword_ = channel_.replyText();
        if (channel_.reply().ActionCode == 0) mayAskPassword_ = false;
      }
      m.password = sessionPassword_;
      if (m.password.empty()) {
        channel_.message(zePassword, "No password to encrypt " + m.name + ": not added");
        continue;
      }
    }
    NewMember& p = planned.emplace_back();
    p.takePlan(m);
    p.big = static_cast<uint64_t>(p.st.st_size) > kInMemoryLimit;
  }
  members_.swap(planned);
  return !members_.empty();
}

void ZipRun::addDirectoryEntries() {
  if (!separateDirs_ || !dirNames_ || freshen_) return;
  std::deque<NewMember> withDirs;
  std::set<std::string> known;
  for (const auto& [name, entry] : oldByName_)
    known.insert(name);
  // Every directory of the member's name that the archive lacks goes in front of it; for a
  // directory met on the walk (its path ends in '/' as its name does), that is itself too.
  auto addDirectoriesOf = [&](const NewMember& m) {
    for (size_t slash = 0; (slash = m.name.find('/', slash)) != std::string::npos;) {
      const std::string dirName = m.name.substr(0, ++slash);
      if (!known.insert(dirName).second) continue;
      NewMember& d = withDirs.emplace_back();
      d.directory = true;
      d.name = dirName;
      d.storedName = encodeName(dirName, d.flags, d.host);
      d.path = m.path.substr(0, m.path.size() - (m.name.size() - dirName.size()) - 1);
      if (stat(d.path.c_str(), &d.st) != 0) d.st.st_mode = S_IFDIR | 0755, d.st.st_mtime = time(nullptr);
      d.dos = toDosDateTime(d.st.st_mtime);
    }
  };
  for (auto& m : members_) {
    addDirectoriesOf(m);
    withDirs.emplace_back().takePlan(m);
  }
  for (const auto& d : walkedDirs_)
    addDirectoriesOf(d);
  members_.swap(withDirs);
}

void ZipRun::dispatchMore() {
  const size_t maxAhead = pool_->size() * 4;
  while (nextDispatch_ < order_.size()) {
    NewMember& m = *order_[nextDispatch_];
    if (m.directory || m.big) {
      ++nextDispatch_;
      continue;
    }
    const uint64_t cost = static_cast<uint64_t>(m.st.st_size) * 2 + 4096;
    if (inFlight_ > 0 && (inFlight_ >= maxAhead || inFlightCost_ + cost > kMemoryBudget)) break;
    m.cost = cost;
    m.dispatched = true;
    inFlightCost_ += cost;
    ++inFlight_;
    NewMember* member = &m;
    WorkerPool* pool = pool_.get(); // the pool outlives its jobs, the pointer to it may not
    pool_->submit([this, member, pool] {
      try {
        prepareInMemory(*member, level_, abort_);
      } catch (const std::bad_alloc&) {
        member->errorCode = zeNoMemory;
        member->error = "Not enough memory for " + member->name;
      } catch (...) {
        member->errorCode = zeInternal;
        member->error = "Unexpected failure while packing " + member->name;
      }
      pool->finish(member->done);
    });
    ++nextDispatch_;
  }
}

void ZipRun::waitForJob(const std::atomic<bool>& done) {
  while (!pool_->waitFor(done, kTickInterval)) {
    channel_.send(zcaTick, 0, 0, "");
    checkCancel();
  }
}

void ZipRun::waitFor(NewMember& m) {
  waitForJob(m.done);
  inFlightCost_ -= m.cost;
  --inFlight_;
}

void ZipRun::copyOldMember(const CentralEntry& old) {
  const auto layout = readLocalLayout(oldFd_, old, oldSize_);
  if (!layout) throw AddFailure(zeArchiveRead, "The member " + old.name + " of the old archive is damaged");
  const uint64_t dataEnd = layout->dataOffset + old.compressedSize;
  const uint64_t length =
      layout->headerLength + old.compressedSize + dataDescriptorLength(oldFd_, old, dataEnd, oldSize_);
  CentralEntry copy = old;
  copy.localHeaderOffset = out_->position();
  copy.diskStart = 0;
  std::vector<uint8_t> buffer(std::min<uint64_t>(length, kStreamChunk));
  uint64_t done = 0;
  while (done < length) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - done));
    if (!preadAll(oldFd_, buffer.data(), n, old.localHeaderOffset + done))
      throw AddFailure(zeArchiveRead, "Cannot read the member " + old.name + " of the old archive");
    out_->write(buffer.data(), n);
    done += n;
  }
  newest_ = std::max(newest_, fromDosDateTime(old.dosDate, old.dosTime));
  central_.push_back(std::move(copy));
}

void ZipRun::finishMember(NewMember& m, uint64_t localOffset, uint64_t dataSize) {
  CentralEntry entry;
  entry.versionMadeBy = 20;
  entry.hostSystem = m.host;
  entry.versionNeeded = (m.method == kMethodDeflated || m.encrypt || m.directory) ? 20 : 10;
  entry.flags = m.flags;
  entry.method = m.method;
  entry.dosTime = m.dos.time;
  entry.dosDate = m.dos.date;
  entry.crc = m.crc;
  entry.compressedSize = dataSize;
  entry.uncompressedSize = m.size;
  entry.localHeaderOffset = localOffset;
  entry.name = m.storedName;
  entry.extra = encodeTimestampExtra(m.st.st_mtime);
  entry.comment = m.comment.substr(0, 0xFFFF);
  uint32_t dosAttributes = m.directory ? 0x10 : 0x20;
  if (!(m.st.st_mode & S_IWUSR)) dosAttributes |= 0x01;
  entry.externalAttributes = dosAttributes;
  if (m.host == kHostUnix) entry.externalAttributes |= (static_cast<uint32_t>(m.st.st_mode) & 0xFFFF) << 16;
  newest_ = std::max(newest_, m.st.st_mtime);
  central_.push_back(std::move(entry));
}

void ZipRun::writeNewMember(NewMember& m) {
  if (m.directory) {
    LocalHeader h;
    h.versionNeeded = 20;
    h.flags = m.flags;
    h.dosTime = m.dos.time;
    h.dosDate = m.dos.date;
    h.name = m.storedName;
    h.extra = encodeTimestampExtra(m.st.st_mtime);
    const uint64_t offset = out_->position();
    out_->write(h.encode());
    finishMember(m, offset, 0);
    return;
  }
  if (m.big) {
    channel_.send(zcaNewFile, 0, m.st.st_size, m.name);
    checkCancel();
    streamMember(m);
    return;
  }
  waitFor(m);
  channel_.send(zcaNewFile, 0, static_cast<int64_t>(m.ok ? m.size : m.st.st_size), m.name);
  checkCancel();
  if (!m.ok) {
    channel_.message(m.errorCode ? m.errorCode : zeFileRead, m.error);
    if (m.replaces) copyOldMember(*m.replaces); // keep what the archive had
    return;
  }
  if (m.encrypt) m.flags |= kFlagEncrypted;
  const auto& data = m.method == kMethodDeflated ? m.output : m.input;
  const uint64_t dataSize = data.size() + (m.encrypt ? kEncryptionHeaderSize : 0);
  LocalHeader h;
  h.versionNeeded = (m.method == kMethodDeflated || m.encrypt) ? 20 : 10;
  h.flags = m.flags;
  h.method = m.method;
  h.dosTime = m.dos.time;
  h.dosDate = m.dos.date;
  h.crc = m.crc;
  h.compressedSize = static_cast<uint32_t>(dataSize);
  h.uncompressedSize = static_cast<uint32_t>(m.size);
  h.name = m.storedName;
  h.extra = encodeTimestampExtra(m.st.st_mtime);
  const uint64_t offset = out_->position();
  out_->write(h.encode());
  if (m.encrypt) out_->write(m.header, kEncryptionHeaderSize);
  out_->write(data.data(), data.size());
  std::vector<uint8_t>().swap(m.input);
  std::vector<uint8_t>().swap(m.output);
  finishMember(m, offset, dataSize);
  ++added_;
  if (move_) movedFiles_.push_back(m.path);
  channel_.send(zcaProgress, 0, static_cast<int64_t>(m.size), "");
  checkCancel();
}

void ZipRun::streamMember(NewMember& m) {
  // Too large to hold in memory: packed here in chunks, the sizes and CRC in a data descriptor
  // after the data (so the encryption check byte is the time's high byte).
  const uint64_t offset = out_->position();
  bool store = m.store || level_ == 0;
  for (;;) {
    const int fd = open(m.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      channel_.message(zeFileRead, "Cannot open " + m.path + ": " + systemErrorText(errno));
      if (m.replaces) copyOldMember(*m.replaces);
      return;
    }
    const kv::platform::ScopeExit closer([fd] { close(fd); });
    std::vector<uint8_t> stretch(kProbeStretch);
    const auto onDisk = [&](uint64_t at) {
      return preadAll(fd, stretch.data(), stretch.size(), at) ? stretch.data() : nullptr;
    };
    if (!store && looksIncompressible(static_cast<uint64_t>(m.st.st_size), onDisk)) store = true;
    m.method = store ? kMethodStored : kMethodDeflated;
    m.flags |= kFlagDataDescriptor | (m.encrypt ? kFlagEncrypted : 0);
    LocalHeader h;
    h.versionNeeded = 20;
    h.flags = m.flags;
    h.method = m.method;
    h.dosTime = m.dos.time;
    h.dosDate = m.dos.date;
    h.name = m.storedName;
    h.extra = encodeTimestampExtra(m.st.st_mtime);
    out_->write(h.encode());
    std::unique_ptr<TraditionalCipher> cipher;
    uint64_t written = 0;
    if (m.encrypt) {
      uint8_t header[kEncryptionHeaderSize];
      if (!makeEncryptionHeader(header, static_cast<uint8_t>(m.dos.time >> 8)))
        throw AddFailure(zeInternal, "No random source for the encryption of " + m.name);
      cipher = std::make_unique<TraditionalCipher>(m.password);
      cipher->encrypt(header, sizeof header);
      out_->write(header, sizeof header);
      written += sizeof header;
    }
    uint32_t crc = 0;
    uint64_t size = 0;
    auto emit = [&](uint8_t* data, size_t n) {
      if (cipher) cipher->encrypt(data, n);
      out_->write(data, n);
      written += n;
    };
    // Fills the buffer from the file as far as it goes; 0 at the end.
    auto readPiece = [&](std::vector<uint8_t>& buffer) {
      size_t got = 0;
      while (got < buffer.size()) {
        const ssize_t n = read(fd, buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw AddFailure(zeFileRead, "Cannot read " + m.path + ": " + systemErrorText(errno));
        if (n == 0) break;
        got += static_cast<size_t>(n);
      }
      crc = crc32Of(crc, buffer.data(), got);
      size += got;
      if (size >= kMax32)
        throw AddFailure(zeUnsupported, m.path + " is too large for a zip archive without 64-bit extensions");
      return got;
    };
    if (store) {
      std::vector<uint8_t> in(kStreamChunk);
      while (const size_t got = readPiece(in)) {
        emit(in.data(), got);
        channel_.send(zcaProgress, 0, static_cast<int64_t>(got), "");
        checkCancel();
      }
    } else {
      deflateInPieces(readPiece, emit);
    }
    const uint64_t dataSize = written;
    const uint64_t plainData = dataSize - (m.encrypt ? kEncryptionHeaderSize : 0);
    if (!store && plainData >= size) {
      // Deflating made it larger: write the member again, stored.
      out_->truncateTo(offset);
      store = true;
      m.flags &= static_cast<uint16_t>(~(kFlagDataDescriptor | kFlagEncrypted));
      continue;
    }
    m.crc = crc;
    m.size = size;
    out_->write(encodeDataDescriptor(crc, static_cast<uint32_t>(dataSize), static_cast<uint32_t>(size)));
    finishMember(m, offset, dataSize);
    ++added_;
    if (move_) movedFiles_.push_back(m.path);
    return;
  }
}

// The pieces are deflated on the workers, a few ahead of the one being written, in the order of
// the file; the progress events come as each piece is written.
void ZipRun::deflateInPieces(const std::function<size_t(std::vector<uint8_t>&)>& readPiece,
                             const std::function<void(uint8_t*, size_t)>& emit) {
  constexpr size_t kHistory = 32 << 10; // the deflate window
  const size_t ahead = pool_->size() * 2;
  std::deque<std::shared_ptr<DeflatePiece>> pieces; // shared with the jobs, which may outlive a failure here
  std::vector<uint8_t> history;
  bool ended = false;
  for (;;) {
    while (!ended && pieces.size() < ahead) {
      auto piece = std::make_shared<DeflatePiece>();
      piece->input.resize(kStreamChunk);
      piece->input.resize(readPiece(piece->input));
      if (piece->input.empty()) {
        ended = true;
        break;
      }
      piece->history = history;
      history.insert(history.end(), piece->input.end() - std::min(piece->input.size(), kHistory),
                     piece->input.end());
      if (history.size() > kHistory) history.erase(history.begin(), history.end() - kHistory);
      WorkerPool* pool = pool_.get();
      pool_->submit([piece, pool, level = level_, &abort = abort_] {
        try {
          if (!abort.load()) deflatePiece(*piece, level);
        } catch (...) {
          piece->ok = false;
        }
        pool->finish(piece->done);
      });
      pieces.push_back(std::move(piece));
    }
    if (pieces.empty()) break;
    DeflatePiece& piece = *pieces.front();
    waitForJob(piece.done);
    if (!piece.ok) throw std::bad_alloc();
    emit(piece.output.data(), piece.output.size());
    channel_.send(zcaProgress, 0, static_cast<int64_t>(piece.input.size()), "");
    checkCancel();
    pieces.pop_front();
  }
  uint8_t last[sizeof kFinalEmptyBlock];
  std::memcpy(last, kFinalEmptyBlock, sizeof last); // emitting encrypts in place
  emit(last, sizeof last);
}

void ZipRun::writeArchive() {
  std::string tempPath;
  const int fd = createTempBeside(archivePath_, tempPath);
  if (fd < 0)
    throw AddFailure(zeArchiveWrite,
                     "Cannot create a temporary file beside " + archivePath_ + ": " + systemErrorText(errno));
  bool renamed = false;
  int ownedFd = fd;
  const kv::platform::ScopeExit tempGone([&] {
    if (ownedFd >= 0) close(ownedFd);
    if (!renamed) unlink(tempPath.c_str());
  });

  pool_ = std::make_unique<WorkerPool>(WorkerPool::defaultThreads());
  const kv::platform::ScopeExit poolGone([this] {
    abort_.store(true);
    pool_.reset(); // waits for the jobs in flight
  });
  out_ = std::make_unique<ArchiveWriter>(ownedFd);

  // What lies in front of the old archive's first member (a self-extractor stub) stays in front.
  if (old_ && old_->dataStart > 0) {
    uint64_t prefix = old_->dataStart;
    uint8_t marker[4];
    const bool onlyMarker =
        prefix == 4 && preadAll(oldFd_, marker, 4, 0) && getU32(marker) == kDataDescriptorSignature;
    if (!onlyMarker) {
      std::vector<uint8_t> buffer(std::min<uint64_t>(prefix, kStreamChunk));
      uint64_t done = 0;
      while (done < prefix) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), prefix - done));
        if (!preadAll(oldFd_, buffer.data(), n, done))
          throw AddFailure(zeArchiveRead, "Cannot read " + archivePath_);
        out_->write(buffer.data(), n);
        done += n;
      }
    }
  }

  // Old members keep their places; a member added again takes the place of the old one.
  struct Item {
    const CentralEntry* old = nullptr;
    NewMember* fresh = nullptr;
  };
  std::vector<Item> items;
  std::map<const CentralEntry*, NewMember*> replacing;
  for (auto& m : members_)
    if (m.replaces) replacing[m.replaces] = &m;
  if (old_)
    for (const auto& entry : old_->entries) {
      const auto it = replacing.find(&entry);
      items.push_back(it == replacing.end() ? Item{&entry, nullptr} : Item{nullptr, it->second});
    }
  for (auto& m : members_)
    if (!m.replaces) items.push_back(Item{nullptr, &m});
  for (const auto& item : items)
    if (item.fresh) order_.push_back(item.fresh);

  dispatchMore();
  for (const auto& item : items) {
    if (item.old)
      copyOldMember(*item.old);
    else
      writeNewMember(*item.fresh);
    dispatchMore();
  }
  if (added_ == 0) throw AddFailure(0, "");

  if (central_.size() > 0xFFFF)
    throw AddFailure(zeUnsupported, "More than 65535 members need 64-bit extensions");
  const uint64_t centralOffset = out_->position();
  for (const auto& entry : central_)
    out_->write(entry.encode());
  const uint64_t centralSize = out_->position() - centralOffset;
  std::string comment = cmd_.ArchiveComment ? std::string(cmd_.ArchiveComment) : (old_ ? old_->comment : "");
  if (comment.size() > 0xFFFF) comment.resize(0xFFFF);
  out_->write(encodeEndOfCentralDir(static_cast<uint16_t>(central_.size()),
                                    static_cast<uint32_t>(centralSize), static_cast<uint32_t>(centralOffset),
                                    comment));
  out_->flush();

  // The new archive gets the old one's permissions, or the usual ones for a new file.
  mode_t mode = 0666;
  if (oldExists_) {
    mode = oldStat_.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode &= ~mask;
  }
  fchmod(ownedFd, mode);
  // The files of a move are deleted only when the archive is surely on disk.
  if ((move_ || oldExists_) && fsync(ownedFd) != 0)
    throw AddFailure(zeArchiveWrite, "Cannot write the new archive: " + systemErrorText(errno));
  if (close(ownedFd) != 0) {
    ownedFd = -1;
    throw AddFailure(zeArchiveWrite, "Cannot write the new archive: " + systemErrorText(errno));
  }
  ownedFd = -1;
  if (rename(tempPath.c_str(), archivePath_.c_str()) != 0)
    throw AddFailure(zeArchiveWrite, "Cannot replace " + archivePath_ + ": " + systemErrorText(errno));
  renamed = true;
  if (zipTime_ && newest_ > 0) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = newest_;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    utimensat(AT_FDCWD, archivePath_.c_str(), times, 0);
  }
}

int32_t ZipRun::execute() {
  try {
    readOptions();
    openOldArchive();
    if (cmd_.FSpecCount <= 0 || !cmd_.FSpecs) throw AddFailure(zeNothingToDo, "No files to add");
    for (int32_t i = 0; i < cmd_.FSpecCount; ++i)
      collect(cmd_.FSpecs[i]);
    if (matched_ == 0) throw AddFailure(zeNothingToDo, "Nothing to do: no file matches the specifications");
    if (!planMembers()) {
      if (channel_.errorCount() == 0)
        channel_.message(0, (freshen_ || update_) ? "Nothing to do: the archive is up to date"
                                                  : "Nothing to do: no file to add");
      throw AddFailure(0, "");
    }
    addDirectoryEntries();
    writeArchive();
  } catch (const AddFailure& failure) {
    if (failure.code != 0 || !std::string(failure.what()).empty())
      channel_.message(failure.code, failure.what());
    channel_.send(zcaEndOfBatch, 0, 0, "");
    return 0;
  }
  // Moved files go to the trash unless the caller wants them gone for good; one the trash
  // cannot take stays where it was.
  for (const auto& path : movedFiles_) {
    if (allowUndo_) {
      if (const int error = kv::platform::moveToTrash(path); error != 0)
        channel_.message(zeArchiveWrite,
                         "Cannot move " + path + " to the trash after moving it: " + systemErrorText(error));
    } else if (unlink(path.c_str()) != 0) {
      channel_.message(zeArchiveWrite,
                       "Cannot delete " + path + " after moving it: " + systemErrorText(errno));
    }
  }
  verbose("Added " + std::to_string(added_) + " file(s) to " + archivePath_);
  channel_.send(zcaEndOfBatch, 0, 0, "");
  return added_;
}

} // namespace
} // namespace kv::engine

extern "C" __attribute__((visibility("default"))) int32_t GetVizIviVersion(void) { return KV_VIZIVI_VERSION; }

extern "C" __attribute__((visibility("default"))) int32_t VizIviExec(const ZipCommandRecord* command) {
  return kv::engine::executeCommand<kv::engine::ZipRun>(command, KV_VIZIVI_VERSION, true,
                                                        "Not enough memory to add the files");
}
