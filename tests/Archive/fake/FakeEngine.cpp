// Built once per variant: FAKE_ZIP or FAKE_UNZIP chooses the entry points, FAKE_NO_EXEC and
// FAKE_NO_VERSION leave one out, FAKE_DEFAULT_VERSION is the version it answers.
#include "FakeEngine.h"

#include <cstring>

using namespace fakeengine;

namespace {

State& state() {
  static State s;
  return s;
}

[[maybe_unused]] Text copy(const char* p) { return p ? Text(std::string(p)) : std::nullopt; }

[[maybe_unused]] void play(ZipCallbackFunction callback, void* caller, bool isZip) {
  for (const Step& step : state().script) {
    CallbackRecord rec;
    std::memset(&rec, 0, sizeof rec);
    rec.Caller = caller;
    rec.Version = state().version;
    rec.IsZipOperation = isZip ? 1 : 0;
    rec.ActionCode = step.action;
    rec.ErrorCode = step.code;
    rec.FileSize = step.size;
    if (step.fullText)
      std::memset(rec.Text, 'x', sizeof rec.Text);
    else
      std::strncpy(rec.Text, step.text.c_str(), sizeof rec.Text - 1);
    std::strncpy(rec.FileComment, step.comment.c_str(), sizeof rec.FileComment - 1);
    Reply r;
    r.result = callback ? callback(&rec) : 0;
    r.action = rec.ActionCode;
    r.code = rec.ErrorCode;
    r.size = rec.FileSize;
    r.text.assign(rec.Text, strnlen(rec.Text, sizeof rec.Text));
    state().replies.push_back(r);
  }
}

// What every entry point does around keeping its own record: count the call, run the test's
// hook, play the script and answer the scripted result.
template <class Command, class Keep>
[[maybe_unused]] int32_t exec(const Command* cmd, bool isZip, Keep keep) {
  State& s = state();
  ++s.execCalls;
  keep(s);
  if (s.duringExec) s.duringExec();
  play(cmd->Callback, cmd->Caller, isZip);
  return s.result;
}

[[maybe_unused]] int32_t answerVersion() {
  ++state().versionCalls;
  return state().version;
}

} // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT State* FakeEngineControl() { return &state(); }
FAKE_EXPORT void FakeEngineReset() { state() = State{}; }

#ifdef FAKE_ZIP
#ifndef FAKE_NO_VERSION
FAKE_EXPORT int32_t GetVizIviVersion(void) { return answerVersion(); }
#endif
#ifndef FAKE_NO_EXEC
FAKE_EXPORT int32_t VizIviExec(const ZipCommandRecord* cmd) {
  return exec(cmd, true, [cmd](State& s) {
    s.zip = *cmd;
    s.zipPassword = copy(cmd->Password);
    s.storeSuffixes = copy(cmd->StoreSuffixes);
    s.zipFileName = copy(cmd->ZipFileName);
    s.tempDir = copy(cmd->TempDir);
    s.archiveComment = copy(cmd->ArchiveComment);
    s.fileSpecs.clear();
    for (int32_t i = 0; i < cmd->FSpecCount && cmd->FSpecs; ++i) {
      const FileSpecRecord& f = cmd->FSpecs[i];
      s.fileSpecs.push_back({copy(f.FileSpec), copy(f.Password), copy(f.RootDir), f.Encrypt, f.Recurse});
    }
    s.exclusionsNull = cmd->Exclusions == nullptr;
    s.exclusions.clear();
    for (int32_t i = 0; i < cmd->ExclCount && cmd->Exclusions; ++i)
      s.exclusions.emplace_back(cmd->Exclusions[i]);
  });
}
#endif
#endif

#ifdef FAKE_UNZIP
#ifndef FAKE_NO_VERSION
FAKE_EXPORT int32_t GetRozIzeVersion(void) { return answerVersion(); }
#endif
#ifndef FAKE_NO_EXEC
FAKE_EXPORT int32_t RozIzeExec(const UnzipCommandRecord* cmd) {
  return exec(cmd, false, [cmd](State& s) {
    s.unzip = *cmd;
    s.unzipPassword = copy(cmd->Password);
    s.unzipFileName = copy(cmd->ZipFileName);
    s.baseDir = copy(cmd->ExtractBaseDir);
    s.unzipSpecsNull = cmd->FSpecs == nullptr;
    s.unzipSpecs.clear();
    for (int32_t i = 0; i < cmd->FSpecCount && cmd->FSpecs; ++i)
      s.unzipSpecs.push_back(copy(cmd->FSpecs[i].FileSpec));
  });
}
#endif
#endif
