#include "Platform/Database/MemoFile.h"

#include "Platform/Database/LittleEndian.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

// libpx exports the cipher of memo files without declaring it.
extern "C" {
void px_encrypt_mb_block(unsigned char* src, unsigned char* dest, long encryption, long size);
void px_decrypt_mb_block(unsigned char* src, unsigned char* dest, long encryption, long size);
}

namespace kv::platform::paradox {

namespace {

// The cipher works on 256-byte chunks, each on its own, so any whole chunks of the file can be
// deciphered without the rest.
constexpr std::uint64_t kChunk = 256;

void decipher(std::string& chunks, std::uint32_t key) {
  auto* bytes = reinterpret_cast<unsigned char*>(chunks.data());
  px_decrypt_mb_block(bytes, bytes, static_cast<long>(key), static_cast<long>(chunks.size()));
}

enum BlockType : unsigned char { kHeaderBlock = 0, kSingleBlock = 2, kSubAllocatedBlock = 3 };

// A block of its own: type, number of 4 kB chunks, the memo's length and modification number.
constexpr std::uint32_t kSingleHeader = 9;
// A sub-allocated block: type and chunk count, nine unused bytes, then 64 index entries of five
// bytes (data offset / 16, data length / 16 rounded up, modification number, length modulo 16);
// the data areas start on the first 16-byte boundary after them.
constexpr std::uint32_t kIndexStart = 12;
constexpr std::uint32_t kIndexEntries = 64;
constexpr std::uint32_t kIndexEntrySize = 5;
constexpr std::uint32_t kFirstData = 336;
constexpr unsigned kOwnBlock = 0xFF;
// Short memos share a block; one that would take most of a block gets a block of its own.
constexpr std::uint32_t kSubAllocatedLimit = 2048;

std::string where(std::uint32_t block) { return "the memo block at offset " + std::to_string(block); }

} // namespace

BlobRef BlobRef::parse(std::string_view tenBytes) {
  return {getLe32(tenBytes.data()), getLe32(tenBytes.data() + 4), getLe16(tenBytes.data() + 8)};
}

void BlobRef::store(char* tenBytes) const {
  putLe32(tenBytes, offset);
  putLe32(tenBytes + 4, length);
  putLe16(tenBytes + 8, modification);
}

MemoReader::MemoReader(int fd, std::uint32_t key) : fd_(fd), size_(0), key_(key) {
  try {
    checkHeader();
  } catch (const MemoDamaged&) {
    ::close(fd_);
    throw;
  }
}

void MemoReader::checkHeader() {
  struct stat st {};
  if (fstat(fd_, &st) != 0)
    throw MemoDamaged(std::string("cannot read the memo file: ") + std::strerror(errno));
  size_ = static_cast<std::uint64_t>(st.st_size);
  // Whether the header block is enciphered says nothing about the others: only its type is checked.
  std::string head(std::min<std::uint64_t>(size_, kChunk), '\0');
  readPlain(0, head.data(), head.size());
  const auto isHeader = [&] { return head.size() >= 3 && head[0] == kHeaderBlock && getLe16(&head[1]) != 0; };
  bool found = isHeader();
  if (!found && key_ != 0 && head.size() == kChunk) {
    decipher(head, key_);
    found = isHeader();
  }
  if (!found) throw MemoDamaged("the memo file has no header block");
}

MemoReader::~MemoReader() { ::close(fd_); }

void MemoReader::readAt(std::uint64_t offset, char* out, size_t size) const {
  if (key_ == 0) return readPlain(offset, out, size);
  // The whole chunks around the bytes wanted; the file's blocks are whole chunks.
  const std::uint64_t first = offset / kChunk * kChunk;
  const std::uint64_t end = (offset + size + kChunk - 1) / kChunk * kChunk;
  if (end > size_) throw MemoDamaged("the memo file ends early");
  chunks_.resize(end - first);
  readPlain(first, chunks_.data(), chunks_.size());
  decipher(chunks_, key_);
  std::memcpy(out, chunks_.data() + (offset - first), size);
}

void MemoReader::readPlain(std::uint64_t offset, char* out, size_t size) const {
  while (size > 0) {
    const ssize_t n = pread(fd_, out, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw MemoDamaged(n < 0 ? std::string("cannot read the memo file: ") + std::strerror(errno)
                              : std::string("the memo file ends early"));
    out += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
}

void MemoReader::read(const BlobRef& ref, std::string& memo) const {
  const std::uint32_t block = ref.offset & ~0xFFu;
  const unsigned index = ref.offset & 0xFFu;
  if (block == 0 || block % kMemoBlockSize != 0)
    throw MemoDamaged("the reference " + std::to_string(ref.offset) + " names no memo block");
  const auto fits = [&](std::uint64_t start, std::uint64_t length) { return start + length <= size_; };
  if (!fits(block, kIndexStart)) throw MemoDamaged(where(block) + " lies past the end of the memo file");
  char head[kIndexStart];
  readAt(block, head, sizeof head);
  const auto type = static_cast<unsigned char>(head[0]);
  const std::uint32_t chunks = getLe16(head + 1);

  std::uint64_t start = 0;
  if (index == kOwnBlock) {
    if (type != kSingleBlock)
      throw MemoDamaged(where(block) + " is of type " + std::to_string(type) + ", not a single memo");
    if (getLe32(head + 3) != ref.length)
      throw MemoDamaged(where(block) + " holds " + std::to_string(getLe32(head + 3)) +
                        " bytes, the record says " + std::to_string(ref.length));
    if (kSingleHeader + static_cast<std::uint64_t>(ref.length) > chunks * std::uint64_t{kMemoBlockSize})
      throw MemoDamaged("the memo of " + std::to_string(ref.length) + " bytes does not fit " + where(block));
    start = block + kSingleHeader;
  } else {
    if (type != kSubAllocatedBlock)
      throw MemoDamaged(where(block) + " is of type " + std::to_string(type) + ", not a shared memo block");
    if (index >= kIndexEntries)
      throw MemoDamaged("index " + std::to_string(index) + " is out of range in " + where(block));
    const std::uint64_t at = block + kIndexStart + index * kIndexEntrySize;
    if (!fits(at, kIndexEntrySize)) throw MemoDamaged(where(block) + " lies past the end of the memo file");
    unsigned char entry[kIndexEntrySize];
    readAt(at, reinterpret_cast<char*>(entry), sizeof entry);
    // The last byte counts 1 to 16 (0 read as 16): the bytes used of the last 16-byte unit.
    const std::uint32_t tail = entry[4] == 0 ? 16 : entry[4];
    const std::uint32_t length = entry[1] == 0 || tail > 16 ? 0 : (entry[1] - 1u) * 16 + tail;
    if (entry[0] == 0 || length != ref.length)
      throw MemoDamaged("entry " + std::to_string(index) + " of " + where(block) + " holds " +
                        std::to_string(entry[0] == 0 ? 0 : length) + " bytes, the record says " +
                        std::to_string(ref.length));
    if (entry[0] * 16u + ref.length > kMemoBlockSize)
      throw MemoDamaged("entry " + std::to_string(index) + " reaches past the end of " + where(block));
    start = block + entry[0] * 16u;
  }
  if (!fits(start, ref.length))
    throw MemoDamaged("the memo in " + where(block) + " is cut off by the end of the file");
  memo.resize(ref.length);
  readAt(start, memo.data(), memo.size());
}

MemoWriter::MemoWriter() : file_(kMemoBlockSize, '\0') {
  file_[0] = kHeaderBlock;
  putLe16(file_.data() + 1, 1);
}

BlobRef MemoWriter::add(std::string_view memo) {
  if (memo.size() > kMaxMemoLength || file_.size() + memo.size() + 2 * kMemoBlockSize > 0xFFFFFF00u)
    throw std::length_error("a memo of " + std::to_string(memo.size()) + " bytes does not fit the memo file");
  const auto length = static_cast<std::uint32_t>(memo.size());
  if (length <= kSubAllocatedLimit) {
    const std::uint32_t units = (length + 15) / 16;
    if (subBlock_ == 0 || nextIndex_ >= static_cast<int>(kIndexEntries) ||
        nextData_ + units * 16 > kMemoBlockSize) {
      subBlock_ = static_cast<std::uint32_t>(file_.size());
      file_.resize(file_.size() + kMemoBlockSize, '\0');
      file_[subBlock_] = static_cast<char>(kSubAllocatedBlock);
      putLe16(file_.data() + subBlock_ + 1, 1);
      nextIndex_ = 0;
      nextData_ = kFirstData;
    }
    const int index = nextIndex_++;
    char* entry = file_.data() + subBlock_ + kIndexStart + index * kIndexEntrySize;
    entry[0] = static_cast<char>(nextData_ / 16);
    entry[1] = static_cast<char>(units);
    putLe16(entry + 2, 1);
    entry[4] = static_cast<char>(length % 16 == 0 ? 16 : length % 16);
    std::copy(memo.begin(), memo.end(), file_.begin() + subBlock_ + nextData_);
    nextData_ += units * 16;
    return {subBlock_ | static_cast<std::uint32_t>(index), length, 1};
  }
  const std::uint32_t chunks = (kSingleHeader + length + kMemoBlockSize - 1) / kMemoBlockSize;
  const auto block = static_cast<std::uint32_t>(file_.size());
  file_.resize(file_.size() + chunks * std::size_t{kMemoBlockSize}, '\0');
  char* head = file_.data() + block;
  head[0] = static_cast<char>(kSingleBlock);
  putLe16(head + 1, static_cast<std::uint16_t>(chunks));
  putLe32(head + 3, length);
  putLe16(head + 7, 1);
  std::copy(memo.begin(), memo.end(), file_.begin() + block + kSingleHeader);
  return {block | kOwnBlock, length, 1};
}

std::string MemoWriter::bytes(std::uint32_t key) const {
  std::string file = file_;
  if (key != 0) {
    auto* data = reinterpret_cast<unsigned char*>(file.data());
    px_encrypt_mb_block(data, data, static_cast<long>(key), static_cast<long>(file.size()));
  }
  return file;
}

} // namespace kv::platform::paradox
