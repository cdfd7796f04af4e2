// Shared by the backup program's tests: the sample database, the alias file, peers' view of
// an archive and a second program that holds a table open.
#pragma once

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace backuptest {

namespace fs = std::filesystem;

// The sample database of the demo, written by kvmkdemo (CONFIG.DB and LANG.DB protected with the
// table password).
inline void makeSampleDatabase(const fs::path& dir) {
  const auto r = kvtest::run(kvtest::shellQuote((kvtest::buildDir() / "bin" / "kvmkdemo").string()) + " " +
                             kvtest::shellQuote(dir.string()) + " --password 58k31");
  ASSERT_EQ(r.exitCode, 0) << r.err;
}

inline void writeAliases(const fs::path& configDir, const std::string& path) {
  fs::create_directories(configDir);
  kvtest::writeFile(configDir / "aliases.ini", "[Korv3]\nPATH=" + path + "\n");
}

// The regular files of a folder, sorted by name.
inline std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    out.push_back(line);
  return out;
}

// Python's zipfile's reading of an archive: every member's name and bytes, sorted by name.
inline std::vector<std::pair<std::string, std::string>> peerMembers(const fs::path& archive) {
  const std::string script = "import sys, zipfile\n"
                             "z = zipfile.ZipFile(sys.argv[1])\n"
                             "for n in sorted(z.namelist()):\n"
                             "    print(n, z.read(n).hex())\n";
  const auto r = kvtest::run(kvtest::systemPython() + " -c " + kvtest::shellQuote(script) + " " +
                             kvtest::shellQuote(archive.string()));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::pair<std::string, std::string>> members;
  for (const auto& line : lines(r.out)) {
    const auto blank = line.rfind(' ');
    std::string bytes;
    for (size_t i = blank + 1; i + 1 < line.size(); i += 2)
      bytes += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    members.emplace_back(line.substr(0, blank), bytes);
  }
  return members;
}

// Writes an archive with Python's zipfile: the members in order, each a name and its bytes.
inline void peerWriteArchive(const fs::path& archive,
                             const std::vector<std::pair<std::string, std::string>>& members) {
  kvtest::TempDir parts("kvparts");
  std::string script = "import sys, zipfile\n"
                       "z = zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED)\n";
  for (size_t i = 0; i < members.size(); ++i) {
    const fs::path part = parts / std::to_string(i);
    kvtest::writeFile(part, members[i].second);
    script += "z.writestr('" + members[i].first + "', open('" + part.string() + "', 'rb').read())\n";
  }
  script += "z.close()\n";
  const auto r = kvtest::run(kvtest::systemPython() + " -W ignore -c " + kvtest::shellQuote(script) + " " +
                             kvtest::shellQuote(archive.string()));
  ASSERT_EQ(r.exitCode, 0) << r.err;
}

// Another program holding a shared lock on a table, as a running Korvalis does: a background
// shell that opens the table, has flock(1) lock it, and becomes a sleep that keeps the lock;
// ended by its process id when the holder goes.
class SharedLockHolder {
public:
  explicit SharedLockHolder(const fs::path& table) : table_(table) {
    const auto r = kvtest::run("sh -c 'exec 9<\"$1\"; flock -s 9; exec sleep 30' sh " +
                               kvtest::shellQuote(table.string()) + " </dev/null >/dev/null 2>&1 & echo $!");
    pid_ = r.out.substr(0, r.out.find('\n'));
    for (int i = 0; i < 100 && !holding(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ~SharedLockHolder() {
    if (!pid_.empty()) kvtest::run("kill " + pid_ + " 2>/dev/null; true");
  }
  // True while an exclusive lock cannot be had.
  bool holding() const {
    return kvtest::run("flock -n -x " + kvtest::shellQuote(table_.string()) + " true").exitCode != 0;
  }

private:
  fs::path table_;
  std::string pid_;
};

} // namespace backuptest
