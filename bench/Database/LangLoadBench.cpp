// Loading one module's language from a large language table with TLangCache, beside one plain read
// of the table's file. 100,000 rows (33 MB): 37,500 of them are the module's in the language
// loaded, under 25,000 distinct numbers (the first row of a number wins), the others belong to other
// modules or languages; every text carries a code-page escape, every 50th is a long one in the memo
// file. Best of several rounds each; every text is checked. With --smoke: 2,000 rows, one round, no
// target.
#include "Platform/Database/Database.h"
#include "uKVModuleLangCache.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace kv::platform;

namespace {

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Row i of the table: of eight rows in a row, three are module 7's in language 1, two module 8's,
// two module 7's in language 2 and one module 9's.
struct Row {
  int module, lang;
};
Row rowKind(int i) {
  static const Row kinds[8] = {{7, 1}, {7, 1}, {7, 1}, {8, 1}, {8, 1}, {7, 2}, {7, 2}, {9, 1}};
  return kinds[i % 8];
}
// The k-th row of module 7 in language 1 is row 8 * (k / 3) + k % 3.
int rowOfModuleRow(int k) { return 8 * (k / 3) + k % 3; }
bool isLong(int i) { return i % 50 == 0; }
size_t longLength(int i) { return i % 500 == 0 ? 4997 : 597; }

// The stored texts, escape-encoded in code page 1252, and what the cache must show for them.
std::string storedShort(int i) { return "Text number " + std::to_string(i) + " \\FC\\DF"; }
std::string shownShort(int i) { return "Text number " + std::to_string(i) + " \xC3\xBC\xC3\x9F"; } // üß
std::string storedLong(int i) { return std::string(longLength(i), 'x') + "\\E4"; }
std::string shownLong(int i) { return std::string(longLength(i), 'x') + "\xC3\xA4"; } // ä

// One read of the whole file, in pieces of 1 MB.
size_t plainRead(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::vector<char> buffer(1 << 20);
  size_t total = 0;
  for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;)
    total += static_cast<size_t>(n);
  ::close(fd);
  return total;
}

} // namespace

int main(int argc, char** argv) {
  const bool smoke = argc > 1 && std::string(argv[1]) == "--smoke";
  const int rows = smoke ? 2000 : 100000;
  const int moduleRows = rows / 8 * 3;
  const int distinct = rows / 4;
  const int rounds = smoke ? 1 : 5;
  char dir[] = "/tmp/kvbench-lang-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const fs::path table = fs::path(dir) / "LANG.DB";

  std::vector<std::vector<FieldValue>> records;
  int k = 0; // rows of module 7, language 1, so far
  for (int i = 0; i < rows; ++i) {
    const Row kind = rowKind(i);
    const int lid = kind.module == 7 && kind.lang == 1 ? k++ % distinct : i;
    records.push_back({std::int64_t{lid}, std::int64_t{kind.module}, std::int64_t{kind.lang}, storedShort(i),
                       isLong(i) ? FieldValue{storedLong(i)} : FieldValue{}, std::int64_t{isLong(i)}});
  }
  double t0 = seconds();
  CreateTable(table,
              {{"lid", TFieldType::ftInteger, 0},
               {"lfkmodid", TFieldType::ftInteger, 0},
               {"llang", TFieldType::ftInteger, 0},
               {"ltext", TFieldType::ftString, 80},
               {"llongtext", TFieldType::ftMemo, 240},
               {"lislong", TFieldType::ftSmallint, 0}},
              records);
  const double written = seconds() - t0;
  records.clear();

  double ours = 1e9;
  bool right = true;
  for (int r = 0; r < rounds; ++r) {
    uKVModuleLangCache::TLangCache cache(7, dir);
    t0 = seconds();
    cache.SetLanguage(1);
    ours = std::min(ours, seconds() - t0);
    // Number n is first held by the module's row n, the later rows of a number lose.
    right = right && cache.Tree->Count == distinct && moduleRows == distinct + distinct / 2;
    for (int n = 0; n < distinct && right; ++n) {
      const int i = rowOfModuleRow(n);
      if (cache.GetText(n) != (isLong(i) ? shownLong(i) : shownShort(i))) {
        std::printf("wrong text for number %d: %s\n", n, cache.GetText(n).substr(0, 60).c_str());
        right = false;
      }
    }
  }
  double peer = 1e9;
  size_t peerBytes = 0;
  for (int r = 0; r < rounds; ++r) {
    t0 = seconds();
    peerBytes = plainRead(table);
    peer = std::min(peer, seconds() - t0);
  }
  right = right && peerBytes == fs::file_size(table);

  std::printf("language table: %d rows, %.1f MB (+ %.1f MB memo file), written in %.2f s\n", rows,
              fs::file_size(table) / 1e6, fs::file_size(fs::path(dir) / "LANG.MB") / 1e6, written);
  std::printf("TLangCache.SetLanguage:     %8.1f ms  (%d rows of module 7 in language 1, %d texts)\n",
              ours * 1000, moduleRows, distinct);
  std::printf("one plain read of LANG.DB:  %8.1f ms  (%.1f MB)\n", peer * 1000, peerBytes / 1e6);
  std::printf("ours / plain read:          %8.1fx\n", ours / peer);
  if (!std::getenv("KV_BENCH_KEEP"))
    fs::remove_all(dir);
  else
    std::printf("kept %s\n", dir);
  if (!right) std::puts("wrong result");
  return right && (smoke || ours <= 0.100) ? 0 : 2;
}
