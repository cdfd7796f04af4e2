#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace kvtest {

double dayNumber(int y, int m, int d) {
  using namespace std::chrono;
  const sys_days date = year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
  const sys_days epoch = year_month_day{year{1899}, December, day{30}};
  return static_cast<double>((date - epoch).count());
}

TempDir::TempDir(const std::string& prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only folders behind; make them writable before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) {
    hadValue_ = true;
    oldValue_ = old;
  }
  setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnv::ScopedEnv(std::string name) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) {
    hadValue_ = true;
    oldValue_ = old;
  }
  unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (hadValue_)
    setenv(name_.c_str(), oldValue_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

std::string shellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

CommandResult run(const std::string& commandLine) {
  CommandResult result;
  TempDir scratch("kvrun");
  const auto errPath = scratch / "stderr";
  const std::string full =
      "( " + commandLine + " ) </dev/null 2>" + shellQuote(errPath.string());
  FILE* pipe = popen(full.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 65536> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
  const int status = pclose(pipe);
  result.exitCode = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
  result.err = readFile(errPath);
  return result;
}

bool haveTool(const std::string& name) {
  return run("command -v " + shellQuote(name) + " >/dev/null").exitCode == 0;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<unsigned char> readBytes(const fs::path& path) {
  const std::string all = readFile(path);
  return {all.begin(), all.end()};
}

fs::path buildDir() {
  if (const char* dir = std::getenv("KV_BUILD_DIR")) return dir;
  return KV_DEFAULT_BUILD_DIR;
}

fs::path sourceDir() {
  if (const char* dir = std::getenv("KV_SOURCE_DIR")) return dir;
  return KV_DEFAULT_SOURCE_DIR;
}

std::string hexOf(std::string_view bytes, bool upperCase) {
  const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string unhex(const std::string& digits) {
  std::string out;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  return out;
}

std::string systemPython() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

bool checkBytesRefuse(const fs::path& archive, const std::string& password) {
  const auto r =
      run(systemPython() + " -c " +
          shellQuote("import struct, sys, zipfile\n"
                     "raw = open(sys.argv[1], 'rb').read()\n"
                     "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                     "  if not i.flag_bits & 1: continue\n"
                     "  n, e = struct.unpack('<HH', raw[i.header_offset + 26:i.header_offset + 30])\n"
                     "  at = i.header_offset + 30 + n + e\n"
                     "  last = zipfile._ZipDecrypter(sys.argv[2].encode())(raw[at:at + 12])[11]\n"
                     "  if last == i.CRC >> 24 or (i.flag_bits & 8 and last == i._raw_time >> 8):\n"
                     "    print('passes', i.filename)\n") +
          " " + shellQuote(archive.string()) + " " + shellQuote(password));
  return r.exitCode == 0 && r.out.empty();
}

namespace {
// Gives the whole test program a private settings folder before the first test.
class PrivateSettingsFolder : public ::testing::Environment {
public:
  void SetUp() override {
    dir_ = std::make_unique<TempDir>("kvconfig");
    setenv("KV_CONFIG_DIR", dir_->str().c_str(), 1);
  }
  void TearDown() override { dir_.reset(); }

private:
  std::unique_ptr<TempDir> dir_;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new PrivateSettingsFolder);
}  // namespace

}  // namespace kvtest
