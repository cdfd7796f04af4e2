// The memo file (.MB) beside a Paradox table: blocks of 4 kB after a header block. A memo that
// does not fit the leader bytes kept in its record lies in the memo file, either in a block of its
// own (one or more 4 kB chunks) or, when short, in a sub-allocated block that holds up to 64 memos
// behind an index. The last ten bytes of a memo field say where (see BlobRef). The memo file of an
// encrypted table is enciphered with the table's key, every 256 bytes alike, the header block too.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kv::platform::paradox {

constexpr std::uint32_t kMemoBlockSize = 4096;
// A memo's block counts its 4 kB chunks in 16 bits.
constexpr std::uint64_t kMaxMemoLength = 65535ull * kMemoBlockSize - 9;

// The ten bytes at the end of a memo field: the offset of the block (its low byte the index of the
// memo in a sub-allocated block, 0xFF for a block of its own), the memo's length and the number of
// times it was modified.
struct BlobRef {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
  std::uint16_t modification = 0;

  static constexpr size_t kSize = 10;
  static BlobRef parse(std::string_view tenBytes);
  void store(char* tenBytes) const;
};

// A memo file that cannot give what a reference asks for.
class MemoDamaged : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Reads memos from an open memo file; never follows a chain of blocks, so a damaged file can
// neither loop nor lead a read outside itself.
class MemoReader {
public:
  // Takes over the descriptor; `key` is the encrypted table's password checksum, 0 for a plain one.
  // Raises MemoDamaged when the file does not start with a header block (for an encrypted table,
  // one deciphered with the key or, as some writers leave it, a plain one).
  explicit MemoReader(int fd, std::uint32_t key = 0);
  ~MemoReader();
  MemoReader(const MemoReader&) = delete;
  MemoReader& operator=(const MemoReader&) = delete;

  // The whole memo a reference names, or MemoDamaged saying why not (wrong block type, a reference
  // or length past the end of its block or of the file, an index out of range).
  // The memo goes into `memo`, whose room is used again.
  void read(const BlobRef& ref, std::string& memo) const;

private:
  void checkHeader();
  void readAt(std::uint64_t offset, char* out, size_t size) const;
  void readPlain(std::uint64_t offset, char* out, size_t size) const;
  int fd_;
  std::uint64_t size_;
  std::uint32_t key_;
  mutable std::string chunks_; // enciphered bytes read, deciphered in place
};

// Lays memos out in a new memo file, whole blocks only.
class MemoWriter {
public:
  MemoWriter();
  // Stores one memo and returns the reference its record keeps. Raises std::length_error, and
  // stores nothing, for a memo longer than kMaxMemoLength or one that would take the file past
  // the offsets a reference can name.
  BlobRef add(std::string_view memo);
  // The file: the header block and every block after it; enciphered with `key` unless it is 0 (the
  // password checksum of an encrypted table).
  std::string bytes(std::uint32_t key = 0) const;

private:
  std::string file_;
  std::uint32_t subBlock_ = 0; // offset of the sub-allocated block being filled, 0 for none
  int nextIndex_ = 0;
  std::uint32_t nextData_ = 0; // offset of the next free byte inside that block
};

} // namespace kv::platform::paradox
