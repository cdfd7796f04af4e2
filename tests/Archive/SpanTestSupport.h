// What the spanned-set tests share: the fixture archives (made by zip and Python at test
// time), simulated removable drives, and dialogs that swap disks before they answer.
#pragma once

#include "ArchiveTestSupport.h"
#include "Platform/AppInfo/AppInfo.h"
#include "Platform/Volumes/Volumes.h"

#include <deque>
#include <functional>
#include <map>
#include <sstream>

namespace spantest {

namespace fs = std::filesystem;
namespace pf = kv::platform;
using namespace ZavOzeriz;

// The fixtures of this test program, made once, and the layout of a set that the fixture
// script computes for the archive and volume sizes asked for.
struct SetLayout {
  std::vector<int64_t> sizes; // of the parts
  int headersOnLast = 0;      // central headers on the last part
};

class Fixtures {
public:
  static Fixtures& get() {
    static Fixtures f;
    return f;
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  // first: the room of the first volume when it differs from cap.
  SetLayout layout(const std::string& name, int64_t cap, int64_t first = 0) const {
    const auto r =
        kvtest::run(script_ + " sizes " + kvtest::shellQuote((dir_ / "sizes").string()) + " " + name + ":" +
                    std::to_string(cap) + (first ? ":" + std::to_string(first) : "") + " 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    std::istringstream in(r.out);
    std::string n, c, slash;
    in >> n >> c;
    SetLayout layout;
    for (int64_t s; in >> s;)
      layout.sizes.push_back(s);
    in.clear();
    in >> slash >> layout.headersOnLast;
    return layout;
  }

private:
  Fixtures() {
    script_ = kvtest::systemPython() + " " +
              kvtest::shellQuote((kvtest::sourceDir() / "tests/Archive/span_fixtures.py").string());
    const auto r = kvtest::run(script_ + " make " + kvtest::shellQuote(dir_.str()) + " 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    // The size computation reads copies, so tests may change their own.
    fs::create_directories(dir_ / "sizes");
    for (const auto& e : fs::directory_iterator(dir_.path()))
      if (e.is_regular_file()) fs::copy_file(e.path(), dir_ / "sizes" / e.path().filename());
  }
  kvtest::TempDir dir_{"kvspanfix"};
  std::string script_;
};

inline std::string fixture(const std::string& name) { return Fixtures::get().path(name); }

// Simulated removable drives for one test; the real provider answers for everything else.
class SimulatedScope {
public:
  SimulatedScope() {
    auto s = std::make_unique<pf::SimulatedVolumes>();
    sim_ = s.get();
    old_ = pf::setVolumes(std::move(s));
  }
  ~SimulatedScope() {
    for (const auto& d : drives_)
      sim_->eject(d);
    pf::setVolumes(std::move(old_));
  }
  pf::SimulatedVolumes* operator->() { return sim_; }
  std::string addDrive(const fs::path& dir) {
    const std::string root = dir.string() + "/";
    sim_->addDrive(root);
    drives_.push_back(root);
    return root;
  }
  // Puts the disk in, taking out whatever is in the drive.
  void swap(const std::string& drive, const std::string& disk) {
    if (sim_->diskIn(drive) == disk) return;
    sim_->eject(drive);
    ASSERT_TRUE(sim_->insert(drive, disk)) << disk;
  }

private:
  pf::SimulatedVolumes* sim_;
  std::unique_ptr<pf::VolumeProvider> old_;
  std::vector<std::string> drives_;
};

// One simulated removable drive, its disks kept in a directory of their own.
struct Drive {
  kvtest::TempDir dir;
  SimulatedScope sim;
  std::string root;
  Drive() : root(sim.addDrive(dir / "floppy")) {}
  // A new disk, put into the drive.
  void insertNew(const std::string& disk, uint64_t capacity, const std::string& label) {
    sim->addDisk(disk, capacity, label);
    sim.swap(root, disk);
  }
};

// Message boxes answered in order, each after an action (an operator changing disks).
// Any other dialog, or a box with another text, fails the test.
class OperatorDialogs : public pf::DialogService {
public:
  struct Box {
    std::string text;
    int answer;
    std::function<void()> action;
    std::optional<uint32_t> flags;
  };
  OperatorDialogs& expect(std::string text, int answer, std::function<void()> action = {},
                          std::optional<uint32_t> flags = {}) {
    boxes_.push_back({std::move(text), answer, std::move(action), flags});
    return *this;
  }
  int messageBox(const pf::MessageBoxRequest& r) override {
    shown.push_back(r.text);
    if (boxes_.empty()) {
      ADD_FAILURE() << "unexpected box: " << r.text;
      return pf::safeMessageBoxAnswer(r.flags);
    }
    Box b = boxes_.front();
    boxes_.pop_front();
    EXPECT_EQ(r.text, b.text);
    if (b.flags) {
      EXPECT_EQ(r.flags, *b.flags) << r.text;
    }
    captions.push_back(r.caption);
    if (b.action) b.action();
    return b.answer;
  }
  pf::TModalResult messageDialog(const pf::MessageDialogRequest& r) override {
    ADD_FAILURE() << "unexpected dialog: " << r.text;
    return pf::mrCancel;
  }
  pf::PasswordReply password(const pf::PasswordRequest&) override {
    ADD_FAILURE() << "unexpected password prompt";
    return {};
  }
  std::optional<std::string> fileDialog(const pf::FileDialogRequest&) override {
    ADD_FAILURE() << "unexpected file dialog";
    return {};
  }
  void exceptionBox(const std::string&, const std::string& m) override {
    ADD_FAILURE() << "exception box " << m;
  }
  size_t pending() const { return boxes_.size(); }
  std::vector<std::string> shown, captions;

private:
  std::deque<Box> boxes_;
};

using OperatorScope = archivetest::DialogsScope<OperatorDialogs>;

inline std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Peers' verdicts on an archive.
inline bool unzipAccepts(const std::string& zip) {
  return kvtest::run("unzip -tq " + kvtest::shellQuote(zip) + " >/dev/null 2>&1").exitCode == 0;
}

} // namespace spantest
