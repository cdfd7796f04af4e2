// What the engine-link tests share: the fake engines held open so that their state can be
// read, a program location of the test's choosing, and a counter for the message loop.
#pragma once

#include "ArchiveTestSupport.h"
#include "FakeEngine.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/DynLib/DynLib.h"

#include <filesystem>

namespace enginelinktest {

namespace fs = std::filesystem;
namespace pf = kv::platform;

inline fs::path fakeDir(const std::string& variant) { return fs::path(KV_FAKE_ENGINE_ROOT) / variant; }
inline fs::path realEngineDir() { return fs::path(KV_REAL_ENGINE_DIR); }

// One fake engine library, opened by the test as well, so that its state outlives the
// component's unloading; the state starts afresh.
class FakeEngine {
public:
  FakeEngine(const std::string& variant, const std::string& side)
      : path_((fakeDir(variant) / ("lib" + side + ".so")).string()) {
    handle_ = pf::openLibrary(path_);
    if (!handle_) throw std::runtime_error("cannot open " + path_);
    auto control =
        reinterpret_cast<fakeengine::ControlFunction>(pf::librarySymbol(handle_, "FakeEngineControl"));
    auto reset = reinterpret_cast<fakeengine::ResetFunction>(pf::librarySymbol(handle_, "FakeEngineReset"));
    if (!control || !reset) throw std::runtime_error("no control in " + path_);
    reset();
    state_ = control();
  }
  ~FakeEngine() { pf::closeLibrary(handle_); }
  FakeEngine(const FakeEngine&) = delete;
  FakeEngine& operator=(const FakeEngine&) = delete;
  fakeengine::State* operator->() { return state_; }
  fakeengine::State& state() { return *state_; }
  const std::string& path() const { return path_; }

private:
  std::string path_;
  pf::LibraryHandle handle_ = nullptr;
  fakeengine::State* state_ = nullptr;
};

// The running program as the component sees it: its file name and window handle.
class ProgramAt {
public:
  explicit ProgramAt(std::string exeName, uintptr_t window = 0) {
    old_ = pf::setApplication(std::make_unique<Info>(std::move(exeName), window));
  }
  ~ProgramAt() { pf::setApplication(std::move(old_)); }

private:
  struct Info : pf::AppInfo {
    Info(std::string exe, uintptr_t window) : exe_(std::move(exe)), window_(window) {}
    std::string title() const override { return "EngineLinkTest"; }
    void setTitle(const std::string&) override {}
    std::string exeName() const override { return exe_; }
    uintptr_t windowHandle() const override { return window_; }
    std::string exe_;
    uintptr_t window_;
  };
  std::unique_ptr<pf::AppInfo> old_;
};

// Counts how often pending window messages were let run.
class MessageLoopCounter {
public:
  MessageLoopCounter() {
    old_ = pf::setProcessMessagesHook([this] { ++count; });
  }
  ~MessageLoopCounter() { pf::setProcessMessagesHook(std::move(old_)); }
  int count = 0;

private:
  pf::ProcessMessagesHook old_;
};

// Changes the current directory for one test.
class InDirectory {
public:
  explicit InDirectory(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
  ~InDirectory() { fs::current_path(old_); }

private:
  fs::path old_;
};

inline void copyEngine(const std::string& variant, const std::string& side, const fs::path& toDir) {
  fs::create_directories(toDir);
  fs::copy_file(fakeDir(variant) / ("lib" + side + ".so"), toDir / ("lib" + side + ".so"),
                fs::copy_options::overwrite_existing);
}

} // namespace enginelinktest
