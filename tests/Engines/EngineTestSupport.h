// Drives the zip and unzip engines the way the archive component does: each library is loaded
// with dlopen, its entry points bound by name, and one command record filled per call. The
// callback records what arrives and answers from a script.
#pragma once

#include "Engines/ZipEngineRecords.h"
#include "TestSupport.h"

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace enginetest {

namespace fs = std::filesystem;
// The general test helpers both engine tests use, so that `using namespace enginetest` brings them.
using kvtest::haveTool;
using kvtest::run;
using kvtest::shellQuote;
using kvtest::TempDir;
using kvtest::writeFile;

class EngineLibraries {
public:
  EngineLibraries();
  ~EngineLibraries();
  VizIviExecFunction zipExec = nullptr;
  GetVizIviVersionFunction zipVersion = nullptr;
  RozIzeExecFunction unzipExec = nullptr;
  GetRozIzeVersionFunction unzipVersion = nullptr;

private:
  void* zip_ = nullptr;
  void* unzip_ = nullptr;
};
EngineLibraries& engines();

struct Call {
  int32_t action = 0;
  int32_t code = 0;
  int64_t size = 0;
  std::string text;
  std::string comment;
  bool isZip = false;
  std::thread::id thread;
};

// Collects every callback; a reply function may answer (write into the record) and stop the run.
class Recorder {
public:
  std::vector<Call> calls;
  std::function<int32_t(CallbackRecord&)> reply;
  std::vector<Call> of(int32_t action) const;
  std::vector<std::string> texts(int32_t action) const;
  std::vector<int32_t> errorCodes() const; // codes of messages and skips that are not 0
  static int32_t callback(CallbackRecord* record);
};

// Writes the reply text into the record's text area.
void replyText(CallbackRecord& record, const std::string& text);

struct ZipOptions {
  std::vector<std::string> specs;
  std::string rootDir;
  std::string password;
  bool encrypt = false;
  bool recurse = false;
  bool dirNames = true;
  bool hidden = false;
  bool move = false;
  bool allowUndo = false;
  bool freshen = false;
  bool update = false;
  bool oem = false;
  bool separateDirs = false;
  bool zipTime = false;
  int level = 9;
  std::string storeSuffixes;
  std::vector<std::string> exclusions;
  std::string fromDate; // "mm dd yy", empty for none
  std::string comment;
};
int32_t runZip(const std::string& archive, const ZipOptions& options, Recorder& recorder);

struct UnzipOptions {
  std::vector<std::string> specs;
  std::string baseDir;
  std::string password;
  bool test = false;
  bool dirNames = true;
  bool overwrite = false;
  bool freshen = false;
  bool update = false;
  uint32_t passwordReqCount = 1;
};
int32_t runUnzip(const std::string& archive, const UnzipOptions& options, Recorder& recorder);

// Runs a short Python program with Debian's Python; fails the test when it fails.
std::string python(const std::string& program);
// Every file below a directory, relative path to contents.
std::vector<std::pair<std::string, std::string>> treeOf(const fs::path& dir);
std::string randomBytes(size_t size, uint32_t seed);
std::string textBytes(size_t size, uint32_t seed);

} // namespace enginetest
