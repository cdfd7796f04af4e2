// Shared fixtures of the database engine tests: a private settings folder with the alias
// Korv3 pointing at a fresh directory, and a forked process that holds a table lock.
#pragma once

#include "Platform/Database/Database.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dbtest {

class DatabaseFixture : public ::testing::Test {
protected:
  void SetUp() override {
    kvtest::writeFile(config / "aliases.ini", "[Korv3]\nPATH=" + db.str() + "\n");
    kv::platform::Session().RemoveAllPasswords();
  }
  void TearDown() override { kv::platform::Session().RemoveAllPasswords(); }

  kvtest::TempDir config{"kvdbcfg"};
  kvtest::ScopedEnv configEnv{"KV_CONFIG_DIR", config.str()};
  kvtest::TempDir db{"kvdb"};
};

// Another process holding flock on a file until this object goes.
class LockHolder {
public:
  LockHolder(const std::filesystem::path& file, bool exclusive) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release[1]);
      const int fd = open(file.c_str(), O_RDONLY);
      const char ok = (fd >= 0 && flock(fd, exclusive ? LOCK_EX : LOCK_SH) == 0) ? 'y' : 'n';
      (void)!write(ready[1], &ok, 1);
      char c;
      (void)!read(release[0], &c, 1); // returns when the parent closes its end
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    pollfd p{ready[0], POLLIN, 0};
    char ok = 'n';
    if (poll(&p, 1, 5000) == 1) (void)!read(ready[0], &ok, 1);
    close(ready[0]);
    locked_ = ok == 'y';
  }
  ~LockHolder() {
    close(release_);
    int status;
    waitpid(pid_, &status, 0);
  }
  bool locked() const { return locked_; }

private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool locked_ = false;
};

// Whether util-linux's flock, as an outside program, can take the lock without waiting.
inline bool outsiderCanLock(const std::filesystem::path& file, bool exclusive) {
  return kvtest::run("flock -n " + std::string(exclusive ? "-x " : "-s ") +
                     kvtest::shellQuote(file.string()) + " true")
             .exitCode == 0;
}

// The message of the engine exception `f` raises, or "" when it raises none.
template <class F> std::string engineError(F&& f) {
  try {
    f();
  } catch (const kv::platform::EDBEngineError& e) {
    return e.what();
  }
  return {};
}

} // namespace dbtest
