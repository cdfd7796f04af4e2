// The unzip engine: extracts or tests the members of a zip archive. Nothing is ever written
// outside the base directory: unsafe member names are refused, directories are walked without
// following symbolic links, and every file is written under a temporary name and renamed into
// place only when its data passed the CRC check (or the caller asked to keep it anyway).
// Members are decompressed on worker threads; every callback is made on the caller's thread, and
// all callbacks of one member come before those of the next.
#include "ZipEngineRecords.h"

#include "EngineArchive.h"
#include "EngineCallback.h"
#include "EngineCrypt.h"
#include "EngineFiles.h"
#include "EngineWildcard.h"
#include "EngineWorkers.h"
#include "Platform/CodePage/CodePage.h"

#include "Platform/Rtl/ScopeExit.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <libdeflate.h>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <zlib.h>

namespace kv::engine {
namespace {

constexpr uint64_t kInMemoryLimit = 64ull << 20; // compressed plus uncompressed; larger ones stream
constexpr uint64_t kMemoryBudget = 384ull << 20;
constexpr uint64_t kStreamCost = 4ull << 20;
constexpr size_t kStreamChunk = 1 << 20;
constexpr size_t kMaxCachedDirs = 200;
constexpr auto kTickInterval = std::chrono::milliseconds(200);
// Deflate makes at most 1032 bytes of one byte (a 258-byte match in two bits).
constexpr uint64_t kMaxDeflateRatio = 1032;

class ExtractFailure : public std::runtime_error {
public:
  ExtractFailure(int code, const std::string& text) : std::runtime_error(text), code(code) {}
  int code;
};

bool flag(int32_t value) { return value != 0; }
std::string text(const char* p) { return p ? std::string(p) : std::string(); }

// Splits a member name into safe components; false for a name that would leave the base
// directory (absolute, a drive, "..") or cannot be a file name at all.
bool safeComponents(const std::string& name, std::vector<std::string>& parts) {
  parts.clear();
  if (name.empty() || name.find('\0') != std::string::npos || name[0] == '/') return false;
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
    return false;
  size_t start = 0;
  while (start <= name.size()) {
    auto end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  return true;
}

struct Job {
  const CentralEntry* entry = nullptr;
  size_t index = 0;
  std::string name;
  std::string leaf;
  std::string relativePath; // "/dir/leaf" below the base
  int dirFd = -1;
  uint64_t dataOffset = 0;
  std::string password; // empty: not encrypted
  uint8_t cryptHeader[kEncryptionHeaderSize] = {};
  bool tentative = false; // the password came from the run, not from a question about this member
  bool test = false;
  mode_t mode = 0644;
  int64_t mtime = 0;
  bool newFileSent = false;

  std::atomic<bool> done{false};
  uint64_t cost = 0;
  bool ok = false;
  int errorCode = 0;
  std::string error;
  int skipType = zstGeneralExtractError;
  bool crcBad = false;
  uint32_t foundCrc = 0;
  std::string tempName;
};

struct Decompressor {
  libdeflate_decompressor* handle = nullptr;
  ~Decompressor() {
    if (handle) libdeflate_free_decompressor(handle);
  }
};

class OutputFile {
public:
  OutputFile(Job& job) : job_(job) {
    if (job.test) return;
    fd_ = createTempAt(job.dirFd, job.tempName);
    if (fd_ < 0) fail("Cannot create a file in the target directory for ");
  }
  ~OutputFile() {
    if (fd_ >= 0) close(fd_);
  }
  void write(const uint8_t* data, size_t size) {
    if (fd_ >= 0 && !writeAll(fd_, data, size)) fail("Cannot write ");
  }
  void finish() {
    if (fd_ < 0) return;
    fchmod(fd_, job_.mode);
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = job_.mtime;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    futimens(fd_, times);
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) fail("Cannot write ");
  }

private:
  [[noreturn]] void fail(const char* what) {
    throw ExtractFailure(zeArchiveWrite, what + job_.name + ": " + systemErrorText(errno));
  }
  Job& job_;
  int fd_ = -1;
};

// Worker: decrypt, decompress, check and write one member.
void extractMember(Job& job, int archiveFd, const std::atomic<bool>& abort) {
  if (abort.load()) return;
  const CentralEntry& e = *job.entry;
  const bool encrypted = !job.password.empty();
  uint64_t dataSize = e.compressedSize;
  uint64_t offset = job.dataOffset;
  std::unique_ptr<TraditionalCipher> cipher;
  if (encrypted) {
    if (dataSize < kEncryptionHeaderSize)
      throw ExtractFailure(zeBadData, "The data of " + job.name + " is damaged");
    uint8_t header[kEncryptionHeaderSize];
    if (!preadAll(archiveFd, header, sizeof header, offset))
      throw ExtractFailure(zeArchiveRead, "Cannot read the data of " + job.name);
    cipher = std::make_unique<TraditionalCipher>(job.password);
    cipher->decrypt(header, sizeof header);
    offset += kEncryptionHeaderSize;
    dataSize -= kEncryptionHeaderSize;
  }
  // A size that the data cannot hold is damage, found before any memory is set aside for it:
  // otherwise a small archive of members that each claim 60 MB keeps the engine busy for hours.
  if ((e.method == kMethodStored && e.uncompressedSize != dataSize) ||
      (e.method == kMethodDeflated && e.uncompressedSize > (dataSize + 1) * kMaxDeflateRatio))
    throw ExtractFailure(zeBadData, "The sizes of " + job.name + " disagree");
  OutputFile out(job);
  uint32_t crc = 0;

  if (dataSize + e.uncompressedSize <= kInMemoryLimit) {
    std::vector<uint8_t> packed(dataSize);
    if (dataSize && !preadAll(archiveFd, packed.data(), packed.size(), offset))
      throw ExtractFailure(zeArchiveRead, "Cannot read the data of " + job.name);
    if (cipher) cipher->decrypt(packed.data(), packed.size());
    if (e.method == kMethodStored) {
      crc = crc32Of(0, packed.data(), packed.size());
      out.write(packed.data(), packed.size());
    } else {
      thread_local Decompressor decompressor;
      if (!decompressor.handle) decompressor.handle = libdeflate_alloc_decompressor();
      if (!decompressor.handle) throw std::bad_alloc();
      std::vector<uint8_t> plain(e.uncompressedSize);
      size_t actual = 0;
      const auto result = libdeflate_deflate_decompress(decompressor.handle, packed.data(), packed.size(),
                                                        plain.data(), plain.size(), &actual);
      if (result != LIBDEFLATE_SUCCESS || actual != plain.size())
        throw ExtractFailure(zeBadData, "The data of " + job.name + " cannot be decompressed");
      crc = crc32Of(0, plain.data(), plain.size());
      out.write(plain.data(), plain.size());
    }
  } else {
    std::vector<uint8_t> in(kStreamChunk), plain(kStreamChunk);
    z_stream z{};
    const bool deflated = e.method == kMethodDeflated;
    if (deflated && inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    const kv::platform::ScopeExit zend([&] {
      if (deflated) inflateEnd(&z);
    });
    uint64_t remaining = dataSize, produced = 0;
    bool ended = !deflated;
    while (remaining > 0 || (deflated && !ended)) {
      if (abort.load()) return;
      const size_t n = static_cast<size_t>(std::min<uint64_t>(in.size(), remaining));
      if (n && !preadAll(archiveFd, in.data(), n, offset))
        throw ExtractFailure(zeArchiveRead, "Cannot read the data of " + job.name);
      if (cipher) cipher->decrypt(in.data(), n);
      offset += n;
      remaining -= n;
      if (!deflated) {
        crc = crc32Of(crc, in.data(), n);
        out.write(in.data(), n);
        produced += n;
        continue;
      }
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(n);
      do {
        z.next_out = plain.data();
        z.avail_out = static_cast<uInt>(plain.size());
        const int rc = inflate(&z, Z_NO_FLUSH);
        const size_t got = plain.size() - z.avail_out;
        crc = crc32Of(crc, plain.data(), got);
        out.write(plain.data(), got);
        produced += got;
        if (produced > e.uncompressedSize)
          throw ExtractFailure(zeBadData, "The data of " + job.name + " is longer than recorded");
        if (rc == Z_STREAM_END) {
          ended = true;
          break;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR)
          throw ExtractFailure(zeBadData, "The data of " + job.name + " cannot be decompressed");
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && remaining == 0)
          throw ExtractFailure(zeBadData, "The data of " + job.name + " ends too early");
      } while (z.avail_out == 0 || z.avail_in > 0);
    }
    if (produced != e.uncompressedSize)
      throw ExtractFailure(zeBadData, "The data of " + job.name + " has the wrong length");
  }
  out.finish();
  job.foundCrc = crc;
  job.crcBad = crc != e.crc;
  job.ok = true;
}

// A member's extraction on a worker, its failure kept in the job for the caller's thread.
void runMember(Job& job, int archiveFd, const std::atomic<bool>& abort) {
  try {
    extractMember(job, archiveFd, abort);
  } catch (const ExtractFailure& failure) {
    job.errorCode = failure.code;
    job.error = failure.what();
    job.skipType = failure.code == zeBadData ? zstCrcError : zstGeneralExtractError;
  } catch (const std::bad_alloc&) {
    job.errorCode = zeNoMemory;
    job.error = "Not enough memory for " + job.name;
  } catch (...) {
    job.errorCode = zeInternal;
    job.error = "Unexpected failure while extracting " + job.name;
  }
  if (!job.ok && !job.tempName.empty()) {
    unlinkat(job.dirFd, job.tempName.c_str(), 0);
    job.tempName.clear();
  }
}

// Directories below the base, opened one component at a time without following links.
class DirectoryCache {
public:
  explicit DirectoryCache(int baseFd) : baseFd_(baseFd) {}
  ~DirectoryCache() { clear(); }
  size_t size() const { return fds_.size(); }
  void clear() {
    for (auto& [path, fd] : fds_)
      close(fd);
    fds_.clear();
  }
  // The descriptor of the directory (created when missing), or -1 with the reason.
  int open(const std::vector<std::string>& parts, size_t count, bool create, std::string& error) {
    int current = baseFd_;
    std::string path;
    for (size_t i = 0; i < count; ++i) {
      path += "/" + parts[i];
      const auto it = fds_.find(path);
      if (it != fds_.end()) {
        current = it->second;
        continue;
      }
      int fd = openat(current, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0 && errno == ENOENT && create) {
        if (mkdirat(current, parts[i].c_str(), 0777) != 0 && errno != EEXIST) {
          error = "Cannot create the directory " + path.substr(1) + ": " + systemErrorText(errno);
          return -1;
        }
        fd = openat(current, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      }
      if (fd < 0) {
        struct stat st {};
        if (fstatat(current, parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
          error = path.substr(1) + " is a symbolic link; nothing is written through it";
        else
          error = "Cannot open the directory " + path.substr(1) + ": " + systemErrorText(errno);
        return -1;
      }
      fds_.emplace(path, fd);
      current = fd;
    }
    return current;
  }

private:
  int baseFd_;
  std::map<std::string, int> fds_;
};

class UnzipRun {
public:
  UnzipRun(const UnzipCommandRecord& cmd, CallbackChannel& channel) : cmd_(cmd), channel_(channel) {}
  ~UnzipRun() {
    pool_.reset();
    dirs_.reset();
    if (baseFd_ >= 0) close(baseFd_);
    if (archiveFd_ >= 0) close(archiveFd_);
  }
  int32_t execute();

private:
  void open();
  bool selected(const std::string& name) const;
  void process(const CentralEntry& e, size_t index);
  void skip(Job* job, const std::string& name, int skipType, int code, const std::string& why);
  void sendNewFile(Job& job);
  // Why a member has no password: none was given, the caller declined to give one, or every
  // one given failed its check byte.
  enum class NoPassword { notGiven, declined, wrong };
  bool passes(const Job& job, const std::string& password) const;
  std::vector<std::string> knownPasswords() const;
  bool findPassword(Job& job, NoPassword& why);
  std::optional<std::string> askPassword(Job& job, NoPassword& why);
  void retryPassword(Job& job);
  std::unique_ptr<Job> attemptWith(const Job& job, const std::string& password);
  void settleEarlierMembers(const std::vector<std::string>& parts, size_t count);
  void dispatch(std::unique_ptr<Job> job);
  void handle(Job& job);
  void drain();
  void handleFinished();
  void checkCancel() {
    if (channel_.cancelled()) throw ExtractFailure(zeAbort, "User abort");
  }
  void abandonPending();

  const UnzipCommandRecord& cmd_;
  CallbackChannel& channel_;
  std::string archivePath_;
  bool test_ = false, verbose_ = false, update_ = false, freshen_ = false, dirNames_ = false,
       overwrite_ = false;
  std::vector<std::string> specs_;
  std::vector<std::string> givenPasswords_; // the command's and each answer taken, oldest first
  std::set<std::string> provenPasswords_;   // those that opened a member whole
  int passwordAsks_ = 0;
  bool mayAskPassword_ = true;
  mode_t umask_ = 022;

  int archiveFd_ = -1;
  uint64_t archiveSize_ = 0;
  std::optional<ArchiveDirectory> dir_;
  int baseFd_ = -1;
  std::unique_ptr<DirectoryCache> dirs_;
  std::unique_ptr<WorkerPool> pool_;
  std::atomic<bool> abort_{false};
  std::deque<std::unique_ptr<Job>> pending_;
  std::multiset<std::string> pendingPaths_;
  uint64_t inFlightCost_ = 0;
  int32_t done_ = 0;
};

void UnzipRun::open() {
  archivePath_ = text(cmd_.ZipFileName);
  if (archivePath_.empty()) throw ExtractFailure(zeBadParameters, "No archive name given");
  test_ = flag(cmd_.Test);
  verbose_ = flag(cmd_.Verbose) || flag(cmd_.Trace);
  update_ = flag(cmd_.Update);
  freshen_ = flag(cmd_.Freshen) && !update_;
  dirNames_ = flag(cmd_.DirNames);
  overwrite_ = flag(cmd_.Overwrite);
  if (const std::string password = text(cmd_.Password); !password.empty())
    givenPasswords_.push_back(password);
  passwordAsks_ = static_cast<int>(std::min<uint32_t>(cmd_.PasswordReqCount, 15));
  if (cmd_.FSpecCount > 0 && cmd_.FSpecs)
    for (int32_t i = 0; i < cmd_.FSpecCount; ++i) {
      std::string spec = text(cmd_.FSpecs[i].FileSpec);
      std::replace(spec.begin(), spec.end(), '\\', '/');
      if (!spec.empty()) specs_.push_back(spec);
    }
  umask_ = umask(0);
  umask(umask_);

  archiveFd_ = ::open(archivePath_.c_str(), O_RDONLY | O_CLOEXEC);
  if (archiveFd_ < 0)
    throw ExtractFailure(zeArchiveRead, "Cannot open " + archivePath_ + ": " + systemErrorText(errno));
  struct stat st {};
  fstat(archiveFd_, &st);
  archiveSize_ = static_cast<uint64_t>(st.st_size);
  std::string error;
  bool unsupported = false;
  dir_ = readArchiveDirectory(archiveFd_, error, unsupported);
  if (!dir_) throw ExtractFailure(unsupported ? zeUnsupported : zeArchiveRead, archivePath_ + ": " + error);

  if (!test_) {
    std::string base = text(cmd_.ExtractBaseDir);
    if (base.empty()) base = ".";
    // The base directory itself is the caller's choice and may be reached through links.
    const std::string path = base;
    baseFd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd_ < 0 && errno == ENOENT) {
      std::string built = path[0] == '/' ? "/" : "";
      size_t start = 0;
      while (start <= path.size()) {
        auto end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
          built = joinPath(built, path.substr(start, end - start));
          mkdir(built.c_str(), 0777);
        }
        start = end + 1;
      }
      baseFd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (baseFd_ < 0)
      throw ExtractFailure(zeArchiveWrite,
                           "Cannot open the directory " + path + ": " + systemErrorText(errno));
    dirs_ = std::make_unique<DirectoryCache>(baseFd_);
  }
}

bool UnzipRun::selected(const std::string& name) const {
  if (specs_.empty()) return true;
  for (const auto& spec : specs_) {
    if (wildcardMatch(spec, name)) return true;
    // A directory named by itself takes everything below it.
    std::string prefix = spec;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    if (!hasWildcards(prefix) && name.size() > prefix.size() &&
        wildcardMatch(prefix, name.substr(0, prefix.size())))
      return true;
  }
  return false;
}

void UnzipRun::sendNewFile(Job& job) {
  if (job.newFileSent) return;
  job.newFileSent = true;
  channel_.send(zcaNewFile, 0, static_cast<int64_t>(job.entry->uncompressedSize), job.name);
  checkCancel();
}

void UnzipRun::skip(Job* job, const std::string& name, int skipType, int code, const std::string& why) {
  if (code != 0)
    channel_.message(code, why);
  else if (verbose_ && !why.empty())
    channel_.message(0, why);
  (void)job;
  channel_.send(zcaSkipped, code, skipType, name);
  checkCancel();
}

bool UnzipRun::passes(const Job& job, const std::string& password) const {
  const CentralEntry& e = *job.entry;
  return passwordMatches(password, job.cryptHeader, e.crc, e.dosTime, (e.flags & kFlagDataDescriptor) != 0);
}

// The passwords of the run that opened a member come first, the newest first; then the others.
std::vector<std::string> UnzipRun::knownPasswords() const {
  std::vector<std::string> out;
  for (const bool proven : {true, false})
    for (auto it = givenPasswords_.rbegin(); it != givenPasswords_.rend(); ++it)
      if ((provenPasswords_.count(*it) != 0) == proven) out.push_back(*it);
  return out;
}

// A password the run already has is taken on the member's check byte, which lets a wrong one
// through once in 256 tries; its data then proves it (retryPassword). Otherwise the caller is
// asked, and an answer that passes the check byte is taken as this member's password: should
// the data be damaged, that is reported as damage rather than asked again and again.
bool UnzipRun::findPassword(Job& job, NoPassword& why) {
  why = NoPassword::notGiven;
  for (const std::string& password : knownPasswords()) {
    if (passes(job, password)) {
      job.password = password;
      job.tentative = true;
      return true;
    }
    why = NoPassword::wrong;
  }
  drain();
  const auto answer = askPassword(job, why);
  if (answer) job.password = *answer;
  return answer.has_value();
}

// Asks as often as the repeat count allows; the caller may lower or raise it (at most 15) with
// each answer.
std::optional<std::string> UnzipRun::askPassword(Job& job, NoPassword& why) {
  int remaining = passwordAsks_;
  for (int asked = 0; mayAskPassword_ && remaining > 0 && asked < 15; ++asked) {
    sendNewFile(job);
    channel_.send(zcaPassword, KV_PASSWORD_REQUEST_EXTRACT, remaining, job.name);
    checkCancel();
    const CallbackRecord& reply = channel_.reply();
    if (reply.ActionCode == 0) mayAskPassword_ = false;
    const std::string answer = reply.ErrorCode == 1 ? channel_.replyText() : std::string();
    if (answer.empty()) {
      why = NoPassword::declined;
      return std::nullopt;
    }
    if (passes(job, answer)) {
      std::erase(givenPasswords_, answer);
      givenPasswords_.push_back(answer);
      return answer;
    }
    why = NoPassword::wrong;
    remaining = static_cast<int>(std::clamp<int64_t>(reply.FileSize, 0, 15)) - 1;
  }
  if (!mayAskPassword_ && why == NoPassword::notGiven) why = NoPassword::declined; // cancelled all before
  return std::nullopt;
}

// The member failed with a password taken on its check byte alone. Another password of the run
// that opens it whole is its own. One that opened another member is not this one's on the check
// byte alone, so the caller is asked; one that never opened a member is this member's as given.
// Without a better one, the damage found is reported as it is.
void UnzipRun::retryPassword(Job& job) {
  auto adopt = [&](Job& attempt) {
    if (!job.tempName.empty()) unlinkat(job.dirFd, job.tempName.c_str(), 0);
    job.password = attempt.password;
    job.ok = attempt.ok;
    job.crcBad = attempt.crcBad;
    job.foundCrc = attempt.foundCrc;
    job.errorCode = attempt.errorCode;
    job.error = attempt.error;
    job.skipType = attempt.skipType;
    job.tempName = std::exchange(attempt.tempName, std::string());
  };
  for (const std::string& password : knownPasswords()) {
    if (password == job.password || !passes(job, password)) continue;
    const auto attempt = attemptWith(job, password);
    if (attempt->ok && !attempt->crcBad) return adopt(*attempt);
    if (!attempt->tempName.empty()) unlinkat(attempt->dirFd, attempt->tempName.c_str(), 0);
  }
  if (!provenPasswords_.count(job.password)) return;
  NoPassword why;
  if (const auto answer = askPassword(job, why)) adopt(*attemptWith(job, *answer));
}

// The member extracted once more with another password, on a worker so that the caller hears
// ticks meanwhile, into a temporary file of its own.
std::unique_ptr<Job> UnzipRun::attemptWith(const Job& job, const std::string& password) {
  auto attempt = std::make_unique<Job>();
  attempt->entry = job.entry;
  attempt->index = job.index;
  attempt->name = job.name;
  attempt->leaf = job.leaf;
  attempt->dirFd = job.dirFd;
  attempt->dataOffset = job.dataOffset;
  attempt->test = job.test;
  attempt->mode = job.mode;
  attempt->mtime = job.mtime;
  std::memcpy(attempt->cryptHeader, job.cryptHeader, sizeof attempt->cryptHeader);
  attempt->password = password;
  Job* raw = attempt.get();
  WorkerPool* pool = pool_.get();
  pool_->submit([this, raw, pool, fd = archiveFd_] {
    runMember(*raw, fd, abort_);
    pool->finish(raw->done);
  });
  // It runs to its end even when the caller stops the run: it writes into the job we hold.
  while (!pool_->waitFor(raw->done, kTickInterval)) {
    channel_.send(zcaTick, 0, 0, "");
    if (channel_.cancelled()) abort_.store(true);
  }
  if (channel_.cancelled() && !raw->tempName.empty()) unlinkat(raw->dirFd, raw->tempName.c_str(), 0);
  checkCancel();
  return attempt;
}

void UnzipRun::process(const CentralEntry& e, size_t index) {
  auto job = std::make_unique<Job>();
  job->entry = &e;
  job->index = index;
  job->name = e.textName();
  job->test = test_;
  const bool isDirectory = !job->name.empty() && job->name.back() == '/';

  std::vector<std::string> parts;
  if (!safeComponents(job->name, parts)) {
    drain();
    skip(job.get(), job->name, zstUnsafeName, zeUnsafeName,
         "The member name " + job->name + " would leave the target directory: not extracted");
    return;
  }
  if (isDirectory) {
    if (test_ || !dirNames_ || parts.empty()) return;
    std::string error;
    if (dirs_->size() > kMaxCachedDirs) {
      drain();
      dirs_->clear();
    }
    settleEarlierMembers(parts, parts.size());
    if (dirs_->open(parts, parts.size(), true, error) < 0) {
      drain();
      skip(job.get(), job->name, zstGeneralExtractError, zeArchiveWrite, error);
    }
    return;
  }
  if (parts.empty()) return;
  job->leaf = parts.back();

  if ((e.flags & kFlagStrongEncryption) || (e.method != kMethodStored && e.method != kMethodDeflated)) {
    drain();
    sendNewFile(*job);
    skip(job.get(), job->name, zstUnsupported, zeUnsupported,
         "The compression or encryption of " + job->name + " is not supported");
    return;
  }
  const auto layout = readLocalLayout(archiveFd_, e, archiveSize_);
  if (!layout) {
    drain();
    sendNewFile(*job);
    skip(job.get(), job->name, zstGeneralExtractError, zeArchiveRead,
         "The local header of " + job->name + " is damaged");
    return;
  }
  job->dataOffset = layout->dataOffset;

  // File times: the extended timestamp when there is one, else the DOS time (local).
  const auto unixTime = e.unixModTime();
  job->mtime = unixTime ? *unixTime : fromDosDateTime(e.dosDate, e.dosTime);
  const uint32_t unixMode = e.externalAttributes >> 16;
  if (e.hostSystem == kHostUnix && (unixMode & S_IFMT) == S_IFREG)
    job->mode = unixMode & 0777;
  else
    job->mode = ((e.externalAttributes & 0x01) ? 0444 : 0666) & ~umask_;

  if (!test_) {
    if (dirs_->size() > kMaxCachedDirs) {
      drain();
      dirs_->clear();
    }
    std::string error;
    const size_t dirCount = dirNames_ ? parts.size() - 1 : 0;
    settleEarlierMembers(parts, dirCount);
    job->relativePath.clear();
    for (size_t i = 0; i < dirCount; ++i)
      job->relativePath += "/" + parts[i];
    job->relativePath += "/" + job->leaf;
    job->dirFd = dirs_->open(parts, dirCount, true, error);
    if (job->dirFd < 0) {
      drain();
      sendNewFile(*job);
      skip(job.get(), job->name, zstUnsafeName, zeUnsafeName, job->name + ": " + error);
      return;
    }
    struct stat st {};
    if (fstatat(job->dirFd, job->leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISDIR(st.st_mode)) {
        drain();
        sendNewFile(*job);
        skip(job.get(), job->name, zstGeneralExtractError, zeArchiveWrite,
             job->name + " exists as a directory: not extracted");
        return;
      }
      const int64_t tolerance = unixTime ? 0 : 2;
      const bool older = static_cast<int64_t>(st.st_mtime) + tolerance < job->mtime;
      if ((freshen_ || update_) && !older) {
        drain();
        skip(job.get(), job->name, freshen_ ? zstOnFreshen : zstOnUpdate, 0, "Up to date: " + job->name);
        return;
      }
      drain();
      sendNewFile(*job);
      const bool wanted = overwrite_ || freshen_ || update_;
      channel_.send(zcaOverwrite, (older ? 1 << 16 : 0) | static_cast<int32_t>(index & 0xFFFF),
                    wanted ? 1 : 0, job->name);
      checkCancel();
      if ((channel_.reply().FileSize & 0xFF) == 0) {
        skip(job.get(), job->name, zstFileExists, 0, "Not overwritten: " + job->name);
        return;
      }
    } else if (freshen_) {
      drain();
      skip(job.get(), job->name, zstOnFreshen, 0, "Not present, not freshened: " + job->name);
      return;
    }
  }

  if (e.flags & kFlagEncrypted) {
    if (e.compressedSize < kEncryptionHeaderSize ||
        !preadAll(archiveFd_, job->cryptHeader, sizeof job->cryptHeader, job->dataOffset)) {
      drain();
      sendNewFile(*job);
      skip(job.get(), job->name, zstGeneralExtractError, zeBadData,
           "The data of " + job->name + " is damaged");
      return;
    }
    NoPassword why;
    if (!findPassword(*job, why)) {
      drain();
      sendNewFile(*job);
      const char* const texts[] = {"No password given for ", "Password request cancelled for ",
                                   "Wrong password for "};
      skip(job.get(), job->name, why == NoPassword::wrong ? zstBadPassword : zstNoPassword, zePassword,
           texts[static_cast<int>(why)] + job->name + ": not extracted");
      return;
    }
  }
  dispatch(std::move(job));
}

void UnzipRun::settleEarlierMembers(const std::vector<std::string>& parts, size_t count) {
  // A directory on the way that an earlier member is about to become: that member comes first,
  // so the outcome never depends on how fast the workers are.
  std::string prefix;
  for (size_t i = 0; i < count && !pendingPaths_.empty(); ++i) {
    prefix += "/" + parts[i];
    if (pendingPaths_.count(prefix)) {
      drain();
      return;
    }
  }
}

void UnzipRun::dispatch(std::unique_ptr<Job> job) {
  const CentralEntry& e = *job->entry;
  const uint64_t size = e.compressedSize + e.uncompressedSize;
  job->cost = size <= kInMemoryLimit ? size + 4096 : kStreamCost;
  while (!pending_.empty() &&
         (pending_.size() >= pool_->size() * 4 || inFlightCost_ + job->cost > kMemoryBudget))
    handle(*pending_.front()), pending_.pop_front();
  inFlightCost_ += job->cost;
  if (!job->relativePath.empty()) pendingPaths_.insert(job->relativePath);
  Job* raw = job.get();
  pending_.push_back(std::move(job));
  const int fd = archiveFd_;
  WorkerPool* pool = pool_.get(); // the pool outlives its jobs, the pointer to it may not
  pool_->submit([this, raw, fd, pool] {
    runMember(*raw, fd, abort_);
    pool->finish(raw->done);
  });
  handleFinished();
}

void UnzipRun::handleFinished() {
  while (!pending_.empty() && pending_.front()->done.load()) {
    handle(*pending_.front());
    pending_.pop_front();
  }
}

void UnzipRun::drain() {
  while (!pending_.empty()) {
    handle(*pending_.front());
    pending_.pop_front();
  }
}

void UnzipRun::handle(Job& job) {
  while (!pool_->waitFor(job.done, kTickInterval)) {
    channel_.send(zcaTick, 0, 0, "");
    checkCancel();
  }
  inFlightCost_ -= job.cost;
  job.cost = 0;
  if (!job.relativePath.empty()) {
    const auto it = pendingPaths_.find(job.relativePath);
    if (it != pendingPaths_.end()) pendingPaths_.erase(it);
    job.relativePath.clear();
  }
  sendNewFile(job);
  channel_.send(zcaProgress, 0, static_cast<int64_t>(job.entry->uncompressedSize), "");
  checkCancel();
  if (job.tentative && (job.crcBad || job.errorCode == zeBadData)) retryPassword(job);
  if (job.ok && !job.crcBad && !job.password.empty()) provenPasswords_.insert(job.password);
  auto dropTemp = [&] {
    if (!job.tempName.empty()) unlinkat(job.dirFd, job.tempName.c_str(), 0);
    job.tempName.clear();
  };
  if (!job.ok) {
    dropTemp();
    skip(&job, job.name, job.skipType, job.errorCode ? job.errorCode : zeInternal, job.error);
    return;
  }
  if (job.crcBad) {
    bool keep = false;
    if (!test_) {
      channel_.send(zcaCrcError, static_cast<int32_t>(job.foundCrc), job.entry->crc, job.name);
      checkCancel();
      keep = channel_.reply().ErrorCode == 1;
    }
    if (!keep) {
      dropTemp();
      skip(&job, job.name, zstCrcError, zeCrc, "CRC error in " + job.name + (test_ ? "" : ": not extracted"));
      return;
    }
    channel_.message(zeCrc, "CRC error in " + job.name + ": extracted as asked");
  }
  if (!test_) {
    if (renameat(job.dirFd, job.tempName.c_str(), job.dirFd, job.leaf.c_str()) != 0) {
      const std::string why = systemErrorText(errno);
      dropTemp();
      skip(&job, job.name, zstGeneralExtractError, zeArchiveWrite, "Cannot write " + job.name + ": " + why);
      return;
    }
    job.tempName.clear();
  } else if (verbose_) {
    channel_.message(0, "OK: " + job.name);
  }
  ++done_;
}

void UnzipRun::abandonPending() {
  abort_.store(true);
  for (auto& job : pending_) {
    pool_->waitFor(job->done, std::chrono::hours(24));
    if (!job->tempName.empty()) unlinkat(job->dirFd, job->tempName.c_str(), 0);
  }
  pending_.clear();
}

int32_t UnzipRun::execute() {
  try {
    open();
    std::vector<size_t> chosen;
    uint64_t totalSize = 0;
    for (size_t i = 0; i < dir_->entries.size(); ++i)
      if (selected(dir_->entries[i].textName())) {
        chosen.push_back(i);
        totalSize += dir_->entries[i].uncompressedSize;
      }
    if (chosen.empty())
      throw ExtractFailure(zeNothingToDo, "Nothing to do: no member matches the specifications");
    channel_.send(zcaTotalFiles, 0, static_cast<int64_t>(chosen.size()), "");
    channel_.send(zcaTotalSize, 0, static_cast<int64_t>(totalSize), "");
    checkCancel();
    pool_ = std::make_unique<WorkerPool>(WorkerPool::defaultThreads());
    try {
      for (size_t i : chosen)
        process(dir_->entries[i], i);
      drain();
    } catch (...) {
      abandonPending();
      throw;
    }
  } catch (const ExtractFailure& failure) {
    channel_.message(failure.code, failure.what());
  }
  if (verbose_)
    channel_.message(0, std::to_string(done_) + (test_ ? " member(s) tested" : " member(s) extracted"));
  channel_.send(zcaEndOfBatch, 0, 0, "");
  return done_;
}

} // namespace
} // namespace kv::engine

extern "C" __attribute__((visibility("default"))) int32_t GetRozIzeVersion(void) { return KV_ROZIZE_VERSION; }

extern "C" __attribute__((visibility("default"))) int32_t RozIzeExec(const UnzipCommandRecord* command) {
  return kv::engine::executeCommand<kv::engine::UnzipRun>(command, KV_ROZIZE_VERSION, false,
                                                          "Not enough memory to extract the members");
}
