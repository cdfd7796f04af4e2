// A stand-in engine for the archive tests: it keeps a copy of the command record it was
// given, plays a script of callbacks and keeps the replies. Tests reach its state through
// FakeEngineControl, looked up in the library they hold open.
#pragma once

#include "Engines/ZipEngineRecords.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fakeengine {

using Text = std::optional<std::string>; // nothing: a null pointer

struct Step {
  int32_t action = 0;
  int32_t code = 0;
  int64_t size = 0;
  std::string text;
  std::string comment;
  bool fullText = false; // fill the whole text area, with no NUL in it
};

struct Reply {
  int32_t result = 0;
  int32_t action = 0;
  int32_t code = 0;
  int64_t size = 0;
  std::string text; // read within the text area
};

struct FileSpec {
  Text spec, password, rootDir;
  int32_t encrypt = 0;
  uint16_t recurse = 0;
};

struct State {
  int32_t version = FAKE_DEFAULT_VERSION;
  int32_t result = 1;
  std::vector<Step> script;
  std::function<void()> duringExec;

  int versionCalls = 0;
  int execCalls = 0;
  std::vector<Reply> replies;

  // The zip record as received: the value fields, and copies of what the pointers showed.
  ZipCommandRecord zip{};
  Text zipPassword, storeSuffixes, zipFileName, tempDir, archiveComment;
  std::vector<FileSpec> fileSpecs;
  std::vector<std::string> exclusions;
  bool exclusionsNull = true;

  UnzipCommandRecord unzip{};
  Text unzipPassword, unzipFileName, baseDir;
  std::vector<Text> unzipSpecs; // FSpecCount of them
  bool unzipSpecsNull = true;
};

using ControlFunction = State* (*)();
using ResetFunction = void (*)();

} // namespace fakeengine
