// What libKVLib.so exports, as binutils' nm reads its dynamic symbol table: hosts bind to
// these names, so every operation a unit offers them must be there as a symbol of its own.
#pragma once

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <sstream>
#include <string>
#include <vector>

namespace kvtest {

// The demangled names of the symbols that the loaded library `soname` defines for others;
// empty when it is not loaded or nm cannot read it.
inline std::vector<std::string> exportedNames(const std::string& soname) {
  void* library = dlopen(soname.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!library) return {};
  link_map* map = nullptr;
  const bool found = dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name;
  const std::string path = found ? map->l_name : "";
  dlclose(library);
  if (path.empty()) return {};
  const auto r = run("nm -D -C --defined-only " + shellQuote(path));
  std::vector<std::string> names;
  std::istringstream lines(r.out);
  // "0000000000012340 T kvchart::TDateChart::SetXStep(double)"
  for (std::string line; std::getline(lines, line);)
    if (line.size() > 19 && line[16] == ' ' && line[18] == ' ') names.push_back(line.substr(19));
  return names;
}

// Success when libKVLib.so exports every operation (a name up to its opening parenthesis
// stands for every signature); otherwise the failure names those it lacks.
inline ::testing::AssertionResult exportedByKVLib(const std::vector<std::string>& operations) {
  const std::vector<std::string> names = exportedNames("libKVLib.so");
  if (names.empty()) return ::testing::AssertionFailure() << "nm could not read libKVLib.so";
  std::string missing;
  for (const std::string& op : operations) {
    bool found = false;
    for (const std::string& name : names)
      if (name.compare(0, op.size(), op) == 0) found = true;
    if (!found) missing += "\n  " + op;
  }
  if (missing.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "not exported:" << missing;
}

} // namespace kvtest
