// What the archive tests share: a component that records its messages, scripted
// dialogs that fail the test on any dialog nobody expected, and the peer fixtures.
#pragma once

#include "Archive/ZavOzeriz.h"
#include "Platform/Dialogs/ScriptedDialogs.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace archivetest {

struct Message {
  int errCodeArg; // the code OnMessage received
  int errCodeNow; // the component's ErrCode while OnMessage ran
  std::string text;
};

// Installs a dialog service for one scope and puts the previous one back at its end; where
// the service keeps what it still expects (pending()), every expected dialog must have come.
template <class Service> class DialogsScope {
public:
  template <class... Args> explicit DialogsScope(Args&&... args) {
    auto s = std::make_unique<Service>(std::forward<Args>(args)...);
    service_ = s.get();
    old_ = kv::platform::setDialogs(std::move(s));
  }
  ~DialogsScope() {
    if constexpr (requires(Service& s) { s.pending(); }) {
      EXPECT_EQ(service_->pending(), 0u) << "expected dialogs not shown";
    }
    kv::platform::setDialogs(std::move(old_));
  }
  DialogsScope(const DialogsScope&) = delete;
  DialogsScope& operator=(const DialogsScope&) = delete;
  Service& operator*() { return *service_; }
  Service* operator->() { return service_; }

private:
  Service* service_;
  std::unique_ptr<kv::platform::DialogService> old_;
};

// Scripted dialogs for one test: any dialog nobody expected fails it.
struct ScriptedDialogsScope : DialogsScope<kv::platform::ScriptedDialogs> {
  ScriptedDialogsScope() : DialogsScope([](const std::string& why) { ADD_FAILURE() << why; }) {}
};

// A component that records its messages and directory updates.
struct Recorder {
  explicit Recorder(ZavOzeriz::TZavOzeriz& z) : zip(z) {
    z.OnMessage.Bind([this](kv::platform::TObject*, int code, const std::string& text) {
      messages.push_back({code, zip.ErrCode(), text});
    });
    z.OnDirUpdate.Bind([this](kv::platform::TObject*) { ++dirUpdates; });
    z.OnNewName.Bind([this](kv::platform::TObject*, int seq, ZavOzeriz::ZipDirEntry e) {
      seqNos.push_back(seq);
      names.push_back(e.FileName);
    });
  }
  std::vector<int> messageIds() const {
    std::vector<int> ids;
    for (const auto& m : messages)
      ids.push_back(m.errCodeNow);
    return ids;
  }
  ZavOzeriz::TZavOzeriz& zip;
  std::vector<Message> messages;
  int dirUpdates = 0;
  std::vector<int> seqNos;
  std::vector<std::string> names;
};

// The three peers' verdicts; empty when all accept the archive and agree on its members.
// 7-Zip looks for an archive behind a program only in the program's first megabytes; a caller
// whose program is larger leaves it out.
inline std::string peersAccept(const std::string& zip, int members, const std::string& password = {},
                               bool sevenZip = true) {
  std::string problems;
  const std::string q = kvtest::shellQuote(zip);
  const std::string pw = kvtest::shellQuote(password);
  auto u = kvtest::run("unzip -tq " + (password.empty() ? std::string() : "-P " + pw + " ") + q);
  if (u.exitCode != 0) problems += "unzip: " + u.out + u.err + "\n";
  if (sevenZip) {
    auto s = kvtest::run("7z t -p" + pw + " " + q);
    if (s.exitCode != 0 || s.out.find("Everything is Ok") == std::string::npos)
      problems += "7z: " + s.out + s.err + "\n";
  }
  auto p = kvtest::run(kvtest::systemPython() + " -c " +
                       kvtest::shellQuote("import sys, zipfile\n"
                                          "z = zipfile.ZipFile(sys.argv[1])\n"
                                          "if sys.argv[2]: z.setpassword(sys.argv[2].encode())\n"
                                          "bad = z.testzip()\n"
                                          "print(len(z.infolist()), bad)\n") +
                       " " + q + " " + pw);
  if (p.exitCode != 0 || p.out != std::to_string(members) + " None\n") problems += "python: " + p.out + p.err;
  return problems;
}

} // namespace archivetest
