// kvreg: the registry store from a shell, for installers and for looking at what the
// programs remembered.
//
//   kvreg get KEY NAME          prints the value (text as it is, integers in decimal,
//                               binary data in hexadecimal)
//   kvreg set KEY NAME VALUE    writes VALUE as a string value, creating the key
//   kvreg list KEY              prints the subkeys ("Name\") and the values ("Name=value")
//
// Exit codes: 0 done, 1 the key or value does not exist, 2 wrong arguments, 3 the store
// could not be read or written.
#include "Platform/Registry/RegistryStore.h"

#include <cstdio>
#include <exception>
#include <string>

using kv::platform::RegistryStore;
using kv::platform::RegValue;
using kv::platform::RegValueType;

namespace {

enum ExitCode { kDone = 0, kMissing = 1, kUsage = 2, kStoreFailure = 3 };

int usage() {
  std::fputs("usage: kvreg get KEY NAME\n"
             "       kvreg set KEY NAME VALUE\n"
             "       kvreg list KEY\n",
             stderr);
  return kUsage;
}

std::string shown(const RegValue& value) {
  switch (value.type) {
  case RegValueType::String:
  case RegValueType::ExpandString:
    return value.data;
  case RegValueType::Integer:
    return std::to_string(value.integer);
  case RegValueType::Binary: {
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned char c : value.data) {
      out += hex[c >> 4];
      out += hex[c & 15];
    }
    return out;
  }
  }
  return {};
}

void printLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

int run(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string command = argv[1];
  RegistryStore store;
  if (command == "get" && argc == 4) {
    const auto value = store.readValue(argv[2], argv[3]);
    if (!value) {
      std::fprintf(stderr, "kvreg: no value '%s' under '%s'\n", argv[3], argv[2]);
      return kMissing;
    }
    printLine(shown(*value));
    return kDone;
  }
  if (command == "set" && argc == 5) {
    store.writeValue(argv[2], argv[3], RegValue::string(argv[4]));
    return kDone;
  }
  if (command == "list" && argc == 3) {
    if (!store.keyExists(argv[2])) {
      std::fprintf(stderr, "kvreg: no key '%s'\n", argv[2]);
      return kMissing;
    }
    for (const auto& sub : store.subKeyNames(argv[2]))
      printLine(sub + "\\");
    for (const auto& name : store.valueNames(argv[2])) {
      const auto value = store.readValue(argv[2], name);
      if (value) printLine(name + "=" + shown(*value));
    }
    return kDone;
  }
  return usage();
}

} // namespace

int main(int argc, char** argv) {
  try {
    const int code = run(argc, argv);
    if (std::fflush(stdout) != 0) return kStoreFailure;
    return code;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kvreg: %s\n", e.what());
    return kStoreFailure;
  }
}
