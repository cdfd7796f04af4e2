// Small helpers shared by every test program: temporary folders, files, environment
// variables and running peer tools. Each test program also gets a private settings
// folder (KV_CONFIG_DIR) before any test runs, so no test touches a real one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kvtest {

namespace fs = std::filesystem;

// The class library's day number of a civil date (day 0 is 1899-12-30), by the standard
// library's calendar.
double dayNumber(int year, int month, int day);

// A fresh private folder, removed with everything in it when the object goes.
class TempDir {
public:
  explicit TempDir(const std::string& prefix = "kvtest");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }
  std::string str() const { return path_.string(); }

private:
  fs::path path_;
};

// Sets (or, with unset, removes) an environment variable and puts the old value back.
class ScopedEnv {
public:
  ScopedEnv(std::string name, const std::string& value);
  explicit ScopedEnv(std::string name);  // unset
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  std::string name_;
  bool hadValue_ = false;
  std::string oldValue_;
};

struct CommandResult {
  int exitCode = -1;  // -1 when the command could not be run or was killed
  std::string out;    // standard output
  std::string err;    // standard error
};

// Runs a shell command line (sh -c) with standard input from /dev/null.
CommandResult run(const std::string& commandLine);
// Quotes one word for a shell command line.
std::string shellQuote(const std::string& word);
bool haveTool(const std::string& name);

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& bytes);
std::vector<unsigned char> readBytes(const fs::path& path);

// Bytes as hexadecimal digits, two a byte, and digits back as bytes.
std::string hexOf(std::string_view bytes, bool upperCase = false);
std::string unhex(const std::string& digits);

// The build and source trees of the project (from ctest's environment, else the configured ones).
fs::path buildDir();
fs::path sourceDir();
// Debian's own Python, which has the distribution's modules (pefile, dateutil).
std::string systemPython();

// Whether every encrypted member of the zip archive refuses the password on its check byte (the
// high byte of its CRC or, with a data descriptor, of its time), by Python's cipher. Headers are
// random: one wrong password in 256 gets past a member's check byte, and is then taken as the
// password and the member reported as damaged. Tests about wrong answers pick theirs with this.
bool checkBytesRefuse(const fs::path& archive, const std::string& password);

}  // namespace kvtest
