// The unzip engine over hostile archives, driven through its entry point as the archive
// component drives it: each input is tested, extracted into a private folder, and extracted a
// second time over what the first run left, with a callback that answers password requests, CRC
// errors and overwrite questions. Whatever the archive holds, nothing may appear outside that
// folder, no symbolic link inside it, and the engine must not crash, hang or leak.
#include "Engines/ZipEngineRecords.h"
#include "FuzzSupport.h"

#include <cstring>
#include <string>
#include <system_error>

// The engine library is linked in rather than loaded, so its coverage steers the fuzzer.
extern "C" int32_t RozIzeExec(const UnzipCommandRecord* command);

// The engine starts a worker pool of one thread per processor for every run. Under the
// sanitizers starting and ending threads costs more than the run itself, so this process tells
// the engine it has two processors: still workers beside the caller, at many more runs a second.
extern "C" int get_nprocs() { return 2; }

namespace {

namespace fs = std::filesystem;

constexpr const char* kPassword = "secret";

struct Folders {
  fs::path archive; // the fuzzed archive
  fs::path outer;   // holds the archive and the levels above the target, nothing else
  fs::path target;  // outer/a/b/target: where the engine extracts
};

const Folders& folders() {
  static const Folders f = [] {
    Folders f;
    f.outer = kvfuzz::privateFolder() / "outer";
    f.archive = f.outer / "input.zip";
    f.target = f.outer / "a" / "b" / "target";
    fs::create_directories(f.target.parent_path());
    return f;
  }();
  return f;
}

// What one run's callback answers: the password requests go wrong first, then right.
struct Answers {
  bool cancelPasswords = false; // the first request answers "no more passwords"
  bool keepCrcErrors = false;
  int passwordRequests = 0;
};

void replyText(CallbackRecord& r, const char* text) {
  std::strncpy(r.Text, text, sizeof r.Text - 1);
  r.Text[sizeof r.Text - 1] = '\0';
}

int32_t answer(CallbackRecord* r) {
  auto& a = *static_cast<Answers*>(r->Caller);
  switch (r->ActionCode) {
  case zcaPassword:
    if (a.cancelPasswords) {
      r->ActionCode = 0;
      r->ErrorCode = 0;
      break;
    }
    r->ErrorCode = 1;
    replyText(*r, a.passwordRequests++ % 2 == 0 ? "wrong" : kPassword);
    break;
  case zcaCrcError:
    r->ErrorCode = a.keepCrcErrors ? 1 : 0;
    break;
  case zcaOverwrite:
    r->FileSize = 1;
    break;
  default:
    break;
  }
  return 0;
}

struct Run {
  bool test = false;
  bool dirNames = true;
  bool overwrite = false;
  bool update = false;
  const char* password = "";
  Answers answers;
};

void unzip(Run run) {
  UnzipCommandRecord cmd{};
  cmd.Caller = &run.answers;
  cmd.Version = KV_ROZIZE_VERSION;
  cmd.Callback = answer;
  cmd.Password = run.password;
  cmd.Test = run.test ? -1 : 0;
  cmd.MinusOne = -1;
  cmd.DirNames = run.dirNames ? -1 : 0;
  cmd.Overwrite = run.overwrite ? -1 : 0;
  cmd.Update = run.update ? -1 : 0;
  const std::string archive = folders().archive.string(), base = folders().target.string();
  cmd.ZipFileName = archive.c_str();
  cmd.PasswordReqCount = 3;
  cmd.ExtractBaseDir = base.c_str();
  cmd.Check = KV_RECORD_CHECK;
  RozIzeExec(&cmd);
}

[[noreturn]] void fail(const char* what, const fs::path& where) {
  std::fprintf(stderr, "unzip engine: %s: %s\n", what, where.c_str());
  std::abort();
}

// Every level between the private folder and the target holds exactly what the harness put
// there, and nothing below the target is a symbolic link (a later member could write through it).
void checkNothingEscaped() {
  const Folders& f = folders();
  const fs::path levels[][2] = {{f.outer, "a"}, {f.outer / "a", "b"}, {f.outer / "a" / "b", "target"}};
  for (const auto& [level, only] : levels)
    for (const auto& entry : fs::directory_iterator(level)) {
      const fs::path name = entry.path().filename();
      if (name != only && !(level == f.outer && name == f.archive.filename()))
        fail("written outside the target folder", entry.path());
    }
  if (!fs::exists(f.target)) return;
  for (const auto& entry : fs::recursive_directory_iterator(f.target))
    if (entry.is_symlink()) fail("a symbolic link in the target folder", entry.path());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Folders& f = folders();
  kvfuzz::writeFile(f.archive, kvfuzz::asText(data, size));
  std::error_code ec;
  fs::remove_all(f.target, ec);

  Run test;
  test.test = true;
  unzip(test);
  checkNothingEscaped();
  if (fs::exists(f.target)) fail("a test wrote into the target folder", f.target);

  Run first;
  first.password = kPassword;
  unzip(first);
  checkNothingEscaped();

  // Over the first run's files: every overwrite question comes, CRC errors are kept, names
  // flattened into the target, and the passwords are refused at the first request.
  Run second;
  second.dirNames = false;
  second.overwrite = true;
  second.update = size % 2 == 1;
  second.answers.cancelPasswords = true;
  second.answers.keepCrcErrors = true;
  unzip(second);
  checkNothingEscaped();

  fs::remove_all(f.target, ec);
  return 0;
}
