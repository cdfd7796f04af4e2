// Loading one module's language from a large language table (100,000 rows, 33 MB, half of them
// the module's) with TLangCache, against pxlib reading every record of the same table as the engine
// once did. Best of several rounds each. With --smoke: 2,000 rows, one round, no targets.
#include "Platform/Database/Database.h"
#include "uKVModuleLangCache.h"

extern "C" {
#include <paradox.h>
}

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace kv::platform;

namespace {

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void quiet(pxdoc_t*, int, const char*, void*) {}

// Every record through pxlib, kept when it is module 7's, language 1's.
int pxlibRead(const fs::path& table) {
  pxdoc_t* px = PX_new3(quiet, nullptr, nullptr, nullptr, nullptr);
  if (PX_open_file(px, table.c_str()) < 0) return -1;
  int matching = 0;
  for (int r = 0; r < PX_get_num_records(px); ++r) {
    pxval_t** v = PX_retrieve_record(px, r);
    if (!v) continue;
    if (!v[1]->isnull && v[1]->value.lval == 7 && !v[2]->isnull && v[2]->value.lval == 1) ++matching;
    for (int i = 0; i < PX_get_num_fields(px); ++i) {
      if (v[i]->type == pxfAlpha || v[i]->type == pxfMemoBLOb)
        if (v[i]->value.str.val) px->free(px, v[i]->value.str.val);
      px->free(px, v[i]);
    }
    px->free(px, v);
  }
  PX_close(px);
  PX_delete(px);
  return matching;
}

} // namespace

int main(int argc, char** argv) {
  const bool smoke = argc > 1 && std::string(argv[1]) == "--smoke";
  const int rows = smoke ? 2000 : 100000;
  const int rounds = smoke ? 1 : 5;
  char dir[] = "/tmp/kvbench-lang-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const fs::path table = fs::path(dir) / "LANG.DB";

  // Two modules, one language; every 50th text a long one of 600 bytes in a shared memo block,
  // every 500th one of 5,000 bytes in a block of its own.
  std::vector<std::vector<FieldValue>> records;
  for (int i = 0; i < rows; ++i) {
    const int islong = i % 50 == 0 ? 1 : 0;
    FieldValue longText;
    if (islong) longText = std::string(i % 500 == 0 ? 4997 : 597, 'x') + "\\E4";
    records.push_back({std::int64_t{i}, std::int64_t{i % 2 ? 8 : 7}, std::int64_t{1},
                       "Text number " + std::to_string(i) + " \\FC\\DF", longText, std::int64_t{islong}});
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

  double ours = 1e9;
  int loaded = 0;
  std::string sample;
  for (int r = 0; r < rounds; ++r) {
    uKVModuleLangCache::TLangCache cache(7, dir);
    t0 = seconds();
    cache.SetLanguage(1);
    ours = std::min(ours, seconds() - t0);
    loaded = cache.Tree->Count;
    sample = cache.GetText(2);
  }
  double peer = 1e9;
  int peerMatching = 0;
  for (int r = 0; r < (smoke ? 1 : 3); ++r) {
    t0 = seconds();
    peerMatching = pxlibRead(table);
    peer = std::min(peer, seconds() - t0);
  }

  std::printf("language table: %d rows, %.1f MB (+ %.1f MB memo file), written in %.2f s\n", rows,
              fs::file_size(table) / 1e6, fs::file_size(fs::path(dir) / "LANG.MB") / 1e6, written);
  std::printf("TLangCache.SetLanguage:      %8.1f ms  (%d texts of module 7)\n", ours * 1000, loaded);
  std::printf("pxlib reading every record:  %8.1f ms  (%d rows of module 7)\n", peer * 1000, peerMatching);
  if (!std::getenv("KV_BENCH_KEEP"))
    fs::remove_all(dir);
  else
    std::printf("kept %s\n", dir);
  const bool right = loaded == rows / 2 && peerMatching == rows / 2 && sample == "Text number 2 üß";
  if (!right) std::puts("wrong result");
  return right && (smoke || ours <= 0.100) ? 0 : 2;
}
