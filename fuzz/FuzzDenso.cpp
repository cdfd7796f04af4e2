// Densitometer answers as the instrument (or anything else on the serial line) may send them:
// the bytes as an unasked line, checked, split and decoded, and as the answer to a command that
// the densitometer link sends over a pseudo-terminal. Nothing may crash or read outside the bytes;
// an answer decoded as a reading must have passed the frame check.
#include "FuzzSupport.h"

#include "uKVDENSO.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

using namespace uKVDENSO;

// An instrument on a pseudo-terminal that answers every command with the same bytes, ended as
// the instrument ends its frames, so that no read waits for a time-out. What does not fit into
// the terminal's buffer is dropped, as a line drops what nobody reads.
class Instrument {
public:
  Instrument() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
    path_ = ptsname(master_);
    holder_ = open(path_.c_str(), O_RDWR | O_NOCTTY); // keeps the line up between connections
    termios t{};
    tcgetattr(holder_, &t);
    cfmakeraw(&t);
    tcsetattr(holder_, TCSANOW, &t);
    thread_ = std::thread([this] { run(); });
  }
  const std::string& path() const { return path_; }
  void answerWith(std::string bytes) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(bytes) + ">\r\n";
    tcflush(holder_, TCIFLUSH); // nothing of the last answer is left on the line
  }

private:
  void run() {
    for (;;) {
      pollfd p{master_, POLLIN, 0};
      poll(&p, 1, 100);
      char buf[64];
      for (ssize_t n; (n = read(master_, buf, sizeof buf)) > 0;)
        for (ssize_t i = 0; i < n; ++i)
          if (buf[i] == '\0') send(); // a command frame ends with a zero byte
    }
  }
  void send() {
    std::lock_guard lock(mutex_);
    size_t done = 0;
    while (done < answer_.size()) {
      const ssize_t n = write(master_, answer_.data() + done, answer_.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }

  int master_ = -1, holder_ = -1;
  std::string path_;
  std::thread thread_;
  std::mutex mutex_;
  std::string answer_;
};

Instrument& instrument() {
  static Instrument* i = new Instrument; // runs until the process ends
  return *i;
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "densitometer: %s\n", what);
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("KV_SERIAL_COM2", instrument().path().c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(kvfuzz::asText(data, size));
  TDenso denso;
  TResponse response;
  const bool valid = denso.CheckResponse(line);
  if (denso.CommEvent(response, line) != valid) fail("CommEvent and CheckResponse disagree");
  if (!valid && response.Command != dcError) fail("a rejected line gave a reading");
  std::string scanType, letter, payload;
  denso.SplitResponse(line, scanType, letter, payload);
  int16_t steps[22] = {};
  denso.ExtractSteps(payload, steps);

  // The same bytes as the answer to one command; which one follows from the length.
  static const TCommand commands[] = {dcGetSteps, dcSoftRev, dcBattery, dcLock, dcLastDens};
  instrument().answerWith(line);
  TResponse answer;
  denso.SendCommand(commands[size % std::size(commands)], answer);
  if (!denso.Connected) fail("the link to the pseudo-terminal did not open");
  return 0;
}
