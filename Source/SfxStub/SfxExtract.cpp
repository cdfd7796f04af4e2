#include "SfxExtract.h"

#include "Archive/ZavSFXHeader.h"
#include "ZipEngineRecords.h"

#include <algorithm>
#include <cstring>
#include <exception>

// The unzip engine's entry points, linked into the stub instead of loaded.
extern "C" int32_t RozIzeExec(const UnzipCommandRecord* command);
extern "C" int32_t GetRozIzeVersion(void);

namespace sfxstub {

namespace pf = kv::platform;
namespace fmt = ZavSFXFormat;

namespace {

// How often a password is asked for one member before it counts as wrong.
constexpr uint32_t kPasswordTries = 3;

class Run {
public:
  Run(const ExtractRequest& request, pf::DialogService& dialogs, const ProgressReport& progress)
      : request_(request), dialogs_(dialogs), progress_(progress) {}

  ExtractOutcome execute() {
    UnzipCommandRecord cmd{};
    cmd.Caller = this;
    cmd.Version = GetRozIzeVersion();
    cmd.Callback = &Run::callback;
    cmd.Password = "";
    cmd.MinusOne = -1;
    cmd.DirNames = -1;
    cmd.Overwrite = request_.overwrite == fmt::OverWriteAlways ? -1 : 0;
    cmd.ZipFileName = request_.archive.c_str();
    cmd.ExtractBaseDir = request_.target.c_str();
    cmd.PasswordReqCount = kPasswordTries;
    cmd.Check = KV_RECORD_CHECK;
    std::vector<UnzipFileSpec> specs(request_.members.size());
    for (size_t i = 0; i < specs.size(); ++i)
      specs[i].FileSpec = request_.members[i].c_str();
    cmd.FSpecCount = static_cast<int32_t>(specs.size());
    cmd.FSpecs = specs.empty() ? nullptr : specs.data();
    outcome_.extracted = RozIzeExec(&cmd);
    if (failure_) std::rethrow_exception(failure_);
    return outcome_;
  }

private:
  // No exception crosses the engine; the first one ends the run and is raised again after it.
  static int32_t callback(CallbackRecord* r) {
    auto* self = static_cast<Run*>(r->Caller);
    try {
      return self->handle(*r) ? 0 : -1;
    } catch (...) {
      if (!self->failure_) self->failure_ = std::current_exception();
      return -1;
    }
  }

  bool handle(CallbackRecord& r) {
    const std::string text(r.Text, strnlen(r.Text, sizeof r.Text));
    switch (r.ActionCode) {
    case zcaNewFile:
      name_ = text;
      break;
    case zcaProgress:
      done_ += static_cast<uint64_t>(std::max<int64_t>(r.FileSize, 0));
      break;
    case zcaTotalSize:
      total_ = static_cast<uint64_t>(std::max<int64_t>(r.FileSize, 0));
      break;
    case zcaMessage:
      // A stop the user asked for is no failure; an archive of folders only has no files to do.
      if (r.ErrorCode == zeAbort && outcome_.cancelled) break;
      if (r.ErrorCode != zeOk && r.ErrorCode != zeNothingToDo) outcome_.failures.push_back(text);
      break;
    case zcaSkipped:
      if (r.ErrorCode == zeOk && r.FileSize == zstFileExists) ++outcome_.kept;
      break;
    case zcaOverwrite:
      r.FileSize = replace(text) ? 1 : 0;
      break;
    case zcaPassword:
      askPassword(r, text);
      break;
    case zcaCrcError:
      r.ErrorCode = 0; // damaged data never takes a file's place
      break;
    default:
      break;
    }
    if (!progress_(name_, done_, total_)) outcome_.cancelled = true;
    return !outcome_.cancelled;
  }

  bool replace(const std::string& name) {
    switch (request_.overwrite) {
    case fmt::OverWriteAlways:
      return true;
    case fmt::OverWriteNever:
      return false;
    default:
      return dialogs_.messageBox({name + " already exists.\nDo you want to replace it?", request_.caption,
                                  pf::mb::YESNO | pf::mb::ICONQUESTION}) == pf::id::YES;
    }
  }

  void askPassword(CallbackRecord& r, const std::string& name) {
    pf::PasswordRequest ask;
    ask.caption = request_.caption;
    ask.prompt = "Enter the password for " + name + ":";
    ask.buttons = 1 | 2;
    ask.maxLength = KV_CALLBACK_TEXT_SIZE - 1;
    const pf::PasswordReply reply = dialogs_.password(ask);
    if (reply.result != pf::mrOk) {
      // Nobody gives one: no more questions in this run.
      r.ErrorCode = 0;
      r.ActionCode = 0;
      return;
    }
    const size_t n = std::min(reply.text.size(), sizeof r.Text - 1);
    std::memcpy(r.Text, reply.text.data(), n);
    r.Text[n] = '\0';
    r.ErrorCode = 1;
  }

  const ExtractRequest& request_;
  pf::DialogService& dialogs_;
  const ProgressReport& progress_;
  ExtractOutcome outcome_;
  std::exception_ptr failure_;
  std::string name_;
  uint64_t done_ = 0, total_ = 0;
};

} // namespace

ExtractOutcome extract(const ExtractRequest& request, pf::DialogService& dialogs,
                       const ProgressReport& progress) {
  return Run(request, dialogs, progress).execute();
}

} // namespace sfxstub
