// DAZUDus.BIN: the stub of the self-extracting archives the archive component builds. The
// builder copies this program and puts its settings (caption, default folder, command line,
// start message, options, overwrite mode) and the archive behind it; started as
//
//   ./setup.exe            with a display: a window to choose the folder (and the files), then
//                          the extraction; without one: into the default folder, texts on
//                          standard error and every question answered with its safe choice
//   ./setup.exe -d DIR     into DIR without a window and without asking, as a script runs it
//
// it extracts the archive appended to itself with the unzip engine's code linked into it. It
// needs nothing but the C library; its window part, carried inside it, is loaded only where a
// display is there, and without GTK the program runs without a window. Without a window, a
// password (which has no safe answer) is still asked on the terminal when standard input is one.
//
// Exit codes: 0 every file came out (existing files kept as the settings or the user said
// count as done) and the command line, when one ran, ended well; 1 damaged, truncated or
// refused archive, a member not extracted, no room, or a failed command; 2 a wrong command
// line; 3 the user cancelled.
#include "SfxCommand.h"
#include "SfxExtract.h"
#include "SfxPackage.h"
#include "SfxWindowLink.h"

#include "EngineFiles.h"
#include "Platform/Dialogs/ConsoleDialogs.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace sfxstub {

namespace pf = kv::platform;
namespace fmt = ZavSFXFormat;

namespace {

constexpr int ExitDone = 0, ExitFailed = 1, ExitUsage = 2, ExitCancelled = 3;

struct Arguments {
  bool valid = true;
  bool unattended = false;
  std::string target;
};

Arguments parseArguments(int argc, char** argv) {
  Arguments a;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-d" && i + 1 < argc && argv[i + 1][0] != '\0' && !a.unattended) {
      a.unattended = true;
      a.target = argv[++i];
    } else {
      a.valid = false;
    }
  }
  return a;
}

std::string ownPath(const char* argv0) {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return argv0 ? argv0 : "";
}

// The free space of the folder's volume: of the folder, or of its nearest existing parent.
std::optional<uint64_t> freeSpace(const std::string& folder) {
  std::string dir = kv::engine::normalizePath(
      folder.front() == '/' ? folder : kv::engine::joinPath(kv::engine::currentDirectory(), folder));
  while (true) {
    struct statvfs st {};
    if (statvfs(dir.c_str(), &st) == 0) return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    if (dir.empty() || dir == "/") return std::nullopt;
    dir = kv::engine::parentOf(dir);
  }
}

// Without a window nothing is asked but a password, which has no safe answer: on a terminal it
// is typed there, unseen.
class TerminalPasswordDialogs : public pf::NonInteractiveDialogs {
public:
  pf::PasswordReply password(const pf::PasswordRequest& request) override {
    return console_.password(request);
  }

private:
  pf::ConsoleDialogs console_;
};

std::string countText(int n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

class Stub {
public:
  Stub(const Arguments& args, std::string path) : args_(args), path_(std::move(path)) {}

  int run() {
    chooseWindow();
    try {
      package_ = readPackage(path_);
    } catch (const StubError& e) {
      box(e.what(), pf::mb::ICONERROR);
      return ExitFailed;
    }
    caption_ = package_.caption.empty() ? kv::engine::leafOf(path_) : package_.caption;
    ExtractRequest request;
    request.archive = path_;
    request.caption = caption_;
    request.overwrite = package_.overwrite;
    size_t expected = package_.members.size();
    if (args_.unattended) {
      request.target = args_.target;
    } else {
      if (!startMessageAccepted()) return ExitCancelled;
      request.target =
          package_.defaultDir.empty() ? kv::engine::currentDirectory() : nativeDirectory(package_.defaultDir);
      if (window_ && !chooseInWindow(request, expected)) return ExitCancelled;
    }
    if (const auto free = freeSpace(request.target); free && *free < neededBytes(request)) {
      box("There is not enough room in " + request.target +
              " for the files: " + std::to_string(neededBytes(request)) + " bytes are needed, " +
              std::to_string(*free) + " are free.",
          pf::mb::ICONERROR);
      return ExitFailed;
    }
    const ExtractOutcome outcome =
        extract(request, *dialogs_, [this](const std::string& name, uint64_t done, uint64_t total) {
          return !window_ || window_->calls().progress(window_->calls().self, name.c_str(), done, total) != 0;
        });
    if (!outcome.complete(expected)) return reportIncomplete(outcome, expected, request.target);
    if (!package_.has(fmt::OptNoSuccessMsg)) {
      std::string text = countText(outcome.extracted, "file") + " extracted to " + request.target + ".";
      if (outcome.kept) text += "\n" + countText(outcome.kept, "existing file") + " left unchanged.";
      box(text, pf::mb::ICONINFORMATION);
    }
    return runCommandLine(request.target);
  }

private:
  void chooseWindow() {
    if (!args_.unattended && pf::displayPresent()) {
      std::string why;
      window_ = WindowPart::open(why);
      if (window_) {
        dialogs_ = window_->dialogs();
        return;
      }
      std::fprintf(stderr, "No window (%s); going on without one.\n", why.c_str());
    }
    if (pf::terminalPresent())
      dialogs_ = std::make_unique<TerminalPasswordDialogs>();
    else
      dialogs_ = std::make_unique<pf::NonInteractiveDialogs>(stderr);
  }

  int box(const std::string& text, uint32_t flags) {
    return dialogs_->messageBox({text, caption_.empty() ? kv::engine::leafOf(path_) : caption_, flags});
  }

  bool startMessageAccepted() {
    if (package_.message.empty()) return true;
    switch (package_.style) {
    case fmt::StyleOKCancelInfo:
      return box(package_.message, pf::mb::OKCANCEL | pf::mb::ICONINFORMATION) == pf::id::OK;
    case fmt::StyleYesNoQuestion:
      return box(package_.message, pf::mb::YESNO | pf::mb::ICONQUESTION) == pf::id::YES;
    default:
      box(package_.message, pf::mb::OK | pf::mb::ICONINFORMATION);
      return true;
    }
  }

  bool chooseInWindow(ExtractRequest& request, size_t& expected) {
    std::vector<KvSfxMember> members;
    for (const auto& m : package_.members)
      members.push_back({m.name.c_str(), m.size});
    const KvSfxStart start{
        caption_.c_str(),  request.target.c_str(),         members.data(),
        members.size(),    package_.has(fmt::OptAskFiles), !package_.has(fmt::OptHideOverWriteBox),
        package_.overwrite};
    std::vector<uint8_t> chosen(members.size(), 1);
    KvSfxChoice choice{nullptr, chosen.data(), package_.overwrite};
    const KvSfxWindow& w = window_->calls();
    if (!w.start(w.self, &start, &choice)) return false;
    request.target = choice.directory ? choice.directory : request.target;
    request.overwrite = static_cast<uint8_t>(choice.overwrite);
    expected = 0;
    for (size_t i = 0; i < chosen.size(); ++i)
      if (chosen[i]) ++expected;
    // Every member chosen: the whole archive, folders of their own included.
    if (expected < chosen.size())
      for (size_t i = 0; i < chosen.size(); ++i)
        if (chosen[i]) request.members.push_back(package_.members[i].name);
    return true;
  }

  uint64_t neededBytes(const ExtractRequest& request) const {
    if (request.members.empty()) return package_.totalSize;
    uint64_t n = 0;
    for (const auto& m : package_.members)
      if (std::find(request.members.begin(), request.members.end(), m.name) != request.members.end())
        n += m.size;
    return n;
  }

  int reportIncomplete(const ExtractOutcome& outcome, size_t expected, const std::string& target) {
    std::string text = outcome.cancelled ? "The extraction was stopped. " : "Not every file was extracted. ";
    text += std::to_string(outcome.extracted) + " of " + std::to_string(expected) + " files are in " +
            target + ".";
    constexpr size_t kShown = 12;
    for (size_t i = 0; i < outcome.failures.size() && i < kShown; ++i)
      text += "\n" + outcome.failures[i];
    if (outcome.failures.size() > kShown)
      text += "\n... and " + std::to_string(outcome.failures.size() - kShown) + " more";
    box(text, outcome.cancelled ? pf::mb::ICONWARNING : pf::mb::ICONERROR);
    return outcome.cancelled ? ExitCancelled : ExitFailed;
  }

  int runCommandLine(const std::string& target) {
    if (!package_.has(fmt::OptAutoRun) || package_.commandLine.empty()) return ExitDone;
    std::string command = package_.commandLine;
    if (package_.has(fmt::OptAskCmdLine)) {
      const char* changed =
          window_ ? window_->calls().editCommand(window_->calls().self, target.c_str(), command.c_str())
                  : nullptr;
      if (!changed) {
        if (!window_) std::fprintf(stderr, "Not run, as nobody could confirm it: %s\n", command.c_str());
        return ExitDone;
      }
      command = changed;
    }
    if (const std::string failure = runCommand(command, target); !failure.empty()) {
      box(failure, pf::mb::ICONERROR);
      return ExitFailed;
    }
    return ExitDone;
  }

  const Arguments& args_;
  const std::string path_;
  std::unique_ptr<WindowPart> window_;
  std::unique_ptr<pf::DialogService> dialogs_;
  Package package_;
  std::string caption_;
};

} // namespace

} // namespace sfxstub

int main(int argc, char** argv) {
  using namespace sfxstub;
  const Arguments args = parseArguments(argc, argv);
  const std::string self = ownPath(argc > 0 ? argv[0] : nullptr);
  if (!args.valid) {
    std::fprintf(
        stderr,
        "Usage: %s [-d FOLDER]\n  -d FOLDER  extract into FOLDER without a window and without asking\n",
        argc > 0 ? argv[0] : "setup");
    return ExitUsage;
  }
  try {
    return Stub(args, self).run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", self.c_str(), e.what());
  } catch (...) {
    std::fprintf(stderr, "%s: unexpected failure\n", self.c_str());
  }
  return ExitFailed;
}
