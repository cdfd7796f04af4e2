// The registry store's file as anyone with access to the settings folder may leave it. A store
// that cannot be read must be refused on reading and on writing, its file left as it was; one
// that can be read must keep every value through a write and a delete of another key.
//
// With KV_FUZZ_WRITE_SEEDS set the target writes its seeds through the store itself.
#include "FuzzSupport.h"

#include "Platform/Registry/RegistryStore.h"

#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using kv::platform::RegistryStore;
using kv::platform::RegistryStoreError;
using kv::platform::RegValue;

// Store files are written with fsync; a folder in memory keeps the runs fast where there is one.
const fs::path& storeFolder() {
  static const fs::path folder =
      fs::is_directory("/dev/shm") ? kvfuzz::makeFolderUntilExit("/dev/shm") : kvfuzz::privateFolder();
  return folder;
}

std::string contentOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "registry store: %s\n", what.c_str());
  std::abort();
}

using Snapshot = std::map<std::string, RegValue>; // "key\0name" in upper case -> value

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

void collect(const RegistryStore& store, const std::string& key, Snapshot& out, int depth) {
  for (const auto& name : store.valueNames(key)) {
    const auto value = store.readValue(key, name);
    if (!value) fail("a listed value cannot be read: " + key + " " + name);
    out[upper(key) + '\0' + upper(name)] = *value;
  }
  if (depth > 64) return;
  for (const auto& child : store.subKeyNames(key))
    collect(store, RegistryStore::joinKeys(key, child), out, depth + 1);
}

void writeSeeds(const fs::path& out) {
  const RegValue values[] = {RegValue::string("C:\\Program Files\\Korvalis"), RegValue::dword(4294967295u),
                             RegValue::binary(std::string("\0\x01\xFF%", 4)),
                             RegValue{kv::platform::RegValueType::ExpandString, "%HOME% and  blanks\t", 0},
                             RegValue::string("")};
  int n = 0;
  for (const char* key : {"\\Software\\Dolvane\\Korvalis30\\BR", "\\software\\dolvane\\Korvalis30\\cfg",
                          "\\Software\\Ünïcode [key]\\100% sub"}) {
    const fs::path folder = storeFolder() / ("seed" + std::to_string(n++));
    RegistryStore store("HKEY_CURRENT_USER", folder);
    store.writeValue(key, "BackupFile", RegValue::string("/srv/save/KorvBak001.zip"));
    for (size_t i = 0; i < std::size(values); ++i)
      store.writeValue(key, "value " + std::to_string(i), values[i]);
    store.createKey(std::string(key) + "\\empty");
    kvfuzz::writeFile(out / ("store" + std::to_string(n) + ".reg"), contentOf(store.file()));
    fs::remove_all(folder);
  }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kvfuzz::writeSeedsWhenAsked(*argc, *argv, writeSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const RegistryStore store("HKEY_CURRENT_USER", storeFolder());
  RegistryStore writer("HKEY_CURRENT_USER", storeFolder());
  const std::string bytes(kvfuzz::asText(data, size));
  kvfuzz::writeFile(store.file(), bytes);

  Snapshot before;
  try {
    collect(store, "", before, 0);
    (void)store.keyExists("\\Software\\Dolvane\\Korvalis30\\BR");
  } catch (const RegistryStoreError&) {
    try {
      writer.writeValue("\\Fuzz", "v", RegValue::string("x"));
    } catch (const RegistryStoreError&) {
      if (contentOf(store.file()) != bytes) fail("a damaged store was changed by a refused write");
      return 0;
    }
    fail("a store that cannot be read was written over");
  }

  // Another key written and deleted again leaves every value as it was.
  const std::string probe = "KVFUZZ-PROBE";
  for (const auto& [path, value] : before)
    if (path.starts_with(probe)) return 0;
  const std::string text = "a value\nwith %, blanks  and \x01 bytes";
  writer.writeValue("\\" + probe + "\\Written", "New Value", RegValue::string(text));
  Snapshot after;
  collect(store, "", after, 0);
  const auto written = after.find(probe + "\\WRITTEN" + '\0' + "NEW VALUE");
  if (written == after.end() || written->second != RegValue::string(text))
    fail("the written value did not come back");
  after.erase(written);
  if (after != before) fail("values changed by writing another key");
  writer.deleteKey("\\" + probe);
  Snapshot restored;
  collect(store, "", restored, 0);
  if (restored != before) fail("values changed by deleting another key");
  return 0;
}
