// The memo file reader over arbitrary bytes: each reference either yields a memo of exactly its
// length or is refused with MemoDamaged, never a crash, a hang or a read outside the file. And
// what the writer lays out, the reader gives back unchanged.
//
// Input: one byte n, then n references of ten bytes (offset, length, modification number), then
// the memo file.
#include "FuzzSupport.h"

#include "Platform/Database/MemoFile.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <vector>

using kv::platform::paradox::BlobRef;
using kv::platform::paradox::MemoDamaged;
using kv::platform::paradox::MemoReader;
using kv::platform::paradox::MemoWriter;

namespace {

// A reader over the bytes given, or nullptr when they have no header block.
std::unique_ptr<MemoReader> readerOf(const std::string& bytes) {
  static const std::string file = (kvfuzz::privateFolder() / "memo.mb").string();
  kvfuzz::writeFile(file, bytes);
  const int fd = open(file.c_str(), O_RDONLY);
  if (fd < 0) std::abort();
  try {
    return std::make_unique<MemoReader>(fd);
  } catch (const MemoDamaged&) {
    return nullptr;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t count = static_cast<uint8_t>(input[0]) % 16;
  if (size < 1 + count * BlobRef::kSize) return 0;
  std::vector<BlobRef> refs;
  for (size_t i = 0; i < count; ++i)
    refs.push_back(BlobRef::parse(std::string_view(input).substr(1 + i * BlobRef::kSize, BlobRef::kSize)));
  const std::string file = input.substr(1 + count * BlobRef::kSize);

  std::string memo;
  if (auto reader = readerOf(file)) {
    for (const auto& ref : refs) {
      try {
        reader->read(ref, memo);
        if (memo.size() != ref.length) std::abort();
      } catch (const MemoDamaged&) {
      }
    }
  }

  // The same bytes cut into memos at the lengths the references name, written and read back.
  MemoWriter writer;
  std::vector<std::pair<BlobRef, std::string>> written;
  size_t at = 0;
  for (const auto& ref : refs) {
    const size_t length = std::min<size_t>(ref.length % 9000 + 1, file.size() - at);
    if (length == 0) break;
    written.emplace_back(writer.add(std::string_view(file).substr(at, length)), file.substr(at, length));
    at += length;
  }
  if (writer.bytes().size() % kv::platform::paradox::kMemoBlockSize != 0) std::abort();
  auto reader = readerOf(writer.bytes());
  if (!reader) std::abort();
  for (const auto& [ref, expected] : written) {
    reader->read(ref, memo);
    if (memo != expected) std::abort();
  }
  return 0;
}
