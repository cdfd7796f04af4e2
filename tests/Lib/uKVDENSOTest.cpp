#include "uKVDENSO.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

using namespace uKVDENSO;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using kvtest::dayNumber;

namespace {

// An answer frame as the instrument builds it: the byte sum through ")" in three digits.
std::string answer(const std::string& scanType, char letter, const std::string& payload) {
  std::string s = "<" + scanType + letter + "(" + payload + ")";
  unsigned sum = 0;
  for (unsigned char c : s)
    sum += c;
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03u", sum % 256);
  return s + digits + ">";
}

// A wedge payload: group i holds "ii: " and the density i x 0.15.
std::string wedgePayload() {
  std::string p;
  for (int i = 1; i <= 21; ++i) {
    char group[16];
    std::snprintf(group, sizeof group, "%02d: %d.%02d", i, i * 15 / 100, i * 15 % 100);
    p += group;
  }
  return p;
}

} // namespace

TEST(DensoFrames, Numbers) {
  TDenso d;
  EXPECT_EQ(d.IntToDensnum(7), "007");
  EXPECT_EQ(d.IntToDensnum(45), "045");
  EXPECT_EQ(d.IntToDensnum(255), "255");
  EXPECT_EQ(d.IntToDensnum(0), "000");
  EXPECT_EQ(d.IntToDensnum(1234), "1234");
  std::string cmd = "<10V()";
  d.CalcCheckSum(cmd);
  EXPECT_EQ(cmd, std::string("<10V()068>\r\n\0", 13));
}

TEST(DensoFrames, Commands) {
  TDenso d;
  EXPECT_EQ(d.ScanType, "10");
  EXPECT_EQ(d.ComPort, 2);
  EXPECT_FALSE(d.Connected);
  EXPECT_LT(d.Handle, 0);
  const std::string tail("\r\n\0", 3);
  struct Case {
    const char* scanType;
    TCommand cmd;
    std::string frame;
  } cases[] = {
      {"10", dcGetSteps, "<10D()050>" + tail},
      {"10", dcGetFeatures, "<10K()057>" + tail},
      {"10", dcSoftRev, "<10V()068>" + tail},
      {"10", dcBattery, "<10B()048>" + tail},
      {"10", dcLock, "<10S()065>" + tail},
      {"10", dcUnlock, "<10L()058>" + tail},
      {"10", dcLastDens, "<10M()059>" + tail},
      {"50", dcGetSteps, "<50D()054>" + tail},
      {"50", dcLastDens, "<50M()063>" + tail},
      {"10", dcRevDate, ""},
      {"10", dcswitchOff, ""},
      {"10", dcDmin, ""},
      {"10", dcError, ""},
  };
  for (const auto& c : cases) {
    d.SetScanType(c.scanType);
    EXPECT_EQ(d.GenerateCmd(c.cmd), c.frame) << int(c.cmd);
  }
}

TEST(DensoFrames, CheckAndSplit) {
  TDenso d;
  struct Case {
    std::string s;
    bool valid;
  } cases[] = {
      {"<10V(17)172>", true},
      {"\n\r<10V(17)172>", true},
      {"<10V(17)172>\n", true},
      {"<10V(17)173>", false},
      {"<10V(17)171>", false},
      {"<10V(17)428>", true}, // only the value modulo 256 counts
      {"<10V(17)>", false},   // no checksum
      {"10V(17)172>", false},
      {"<10V(17)172", false},
      {"", false},
      {"<", false},
      {">", false},
      {"<>", false},
      {"<10M(-.--)240>", true},
      {"<10U(24.12.2003)045>", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(d.CheckResponse(c.s), c.valid) << c.s;

  std::string scanType, letter, payload;
  for (const std::string s : {"<10U(24.12.2003)045>", "\n\n<10U(24.12.2003)045>"}) {
    d.SplitResponse(s, scanType, letter, payload);
    EXPECT_EQ(scanType, "10");
    EXPECT_EQ(letter, "U");
    EXPECT_EQ(payload, "24.12.2003");
  }
  d.SplitResponse("<50V()000>", scanType, letter, payload);
  EXPECT_EQ(scanType, "50");
  EXPECT_EQ(letter, "V");
  EXPECT_EQ(payload, "");
  // Too short to hold a frame: nothing is read past the end.
  for (const std::string s : {"", "<", "<1", "<10V(", "<10V()0>"}) {
    d.SplitResponse(s, scanType, letter, payload);
    EXPECT_EQ(payload, "") << s;
  }
}

TEST(DensoFrames, UnaskedLines) {
  TDenso d;
  struct Case {
    std::string line;
    bool result;
    TCommand command;
    int32_t value; // for single readings
  } cases[] = {
      {answer("10", 'M', "-.--"), true, dcLastDens, -1},
      {answer("10", 'M', "0.85"), true, dcLastDens, 8500},
      {answer("10", 'M', "1.2345"), true, dcLastDens, 12345},
      {answer("10", 'M', "0.00005"), true, dcLastDens, 0}, // a half goes to the even neighbour
      {answer("10", 'M', "abc"), true, dcError, 0},
      {answer("10", 'M', ""), true, dcError, 0},
      {answer("10", 'M', "1e3"), true, dcError, 0},
      {answer("10", 'M', "999999999"), true, dcError, 0}, // does not fit
      {answer("10", 'K', "#01:0.50#03:0.12#04:9.99"), true, dcDmin, 12},
      {answer("10", 'K', "#03:"), true, dcError, 0},
      {answer("10", 'K', "no base"), true, dcError, 0},
      {answer("10", 'V', "17"), true, dcSoftRev, 17},
      {answer("10", 'V', "1.2"), true, dcError, 0},
      {answer("10", 'V', ""), true, dcError, 0},
      {answer("10", 'V', "99999999999"), true, dcError, 0},
      {answer("10", 'S', ""), true, dcError, 0},
      {answer("10", 'Z', "1"), true, dcError, 0},
      {"<10M(0.85)007>", false, dcError, 0},
      {"garbage", false, dcError, 0},
  };
  for (const auto& c : cases) {
    TResponse r;
    r.Command = dcBattery;
    EXPECT_EQ(d.CommEvent(r, c.line), c.result) << c.line;
    EXPECT_EQ(r.Command, c.command) << c.line;
    if (c.command != dcError) {
      EXPECT_EQ(r.Value, c.value) << c.line;
    }
  }

  TResponse r;
  EXPECT_TRUE(d.CommEvent(r, answer("10", 'U', "24.12.2003")));
  EXPECT_EQ(r.Command, dcRevDate);
  EXPECT_EQ(r.Date, dayNumber(2003, 12, 24));
  for (const char* bad : {"31.02.2003", "24-12-20x3", "24.12", "00.01.2000"}) {
    EXPECT_TRUE(d.CommEvent(r, answer("10", 'U', bad)));
    EXPECT_EQ(r.Command, dcError) << bad;
  }

  EXPECT_TRUE(d.CommEvent(r, answer("10", 'D', wedgePayload())));
  EXPECT_EQ(r.Command, dcGetSteps);
  for (int i = 1; i <= 21; ++i)
    EXPECT_EQ(r.Steps[i], i * 15) << i;
  // A wedge answer that passes its check stays one: a step that is no number, or is missing,
  // reads 0, as ExtractSteps gives it.
  EXPECT_TRUE(d.CommEvent(r, answer("10", 'D', wedgePayload().substr(0, 100))));
  EXPECT_EQ(r.Command, dcGetSteps) << "a wedge answer with missing steps";
  for (int i = 1; i <= 21; ++i)
    EXPECT_EQ(r.Steps[i], i <= 12 ? i * 15 : 0) << i;
  std::string payload = wedgePayload();
  payload.replace(8 * 4 + 4, 4, "x.yz");
  EXPECT_TRUE(d.CommEvent(r, answer("10", 'D', payload)));
  EXPECT_EQ(r.Command, dcGetSteps) << "a wedge answer with a step that is no number";
  EXPECT_EQ(r.Steps[5], 0);
  EXPECT_EQ(r.Steps[6], 90);
}

TEST(DensoFrames, Steps) {
  TDenso d;
  int16_t steps[22];
  std::fill(std::begin(steps), std::end(steps), int16_t{77});
  std::string payload = wedgePayload();
  payload.replace(8 * 2 + 4, 4, "-.--"); // step 3 without a reading
  payload.replace(8 * 4 + 4, 4, "x.yz"); // step 5 no number
  d.ExtractSteps(payload, steps);
  EXPECT_EQ(steps[0], 77) << "only steps 1 to 21 are filled";
  EXPECT_EQ(steps[1], 15);
  EXPECT_EQ(steps[3], -1);
  EXPECT_EQ(steps[5], 0);
  EXPECT_EQ(steps[21], 315);
  d.ExtractSteps("01: 1.00", steps);
  EXPECT_EQ(steps[1], 100);
  EXPECT_EQ(steps[2], 0);
  EXPECT_EQ(steps[21], 0);
  d.ExtractSteps(payload, nullptr);
}

namespace {

// A densitometer on a pseudo-terminal: it answers each command letter as told, stays
// silent for letters it has no answer for, or floods the line with noise.
class Instrument {
public:
  Instrument() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(master_, 0);
    grantpt(master_);
    unlockpt(master_);
    slave_ = ptsname(master_);
    // Holding the slave side open keeps the master usable while the link is closed.
    holder_ = open(slave_.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(holder_, &t);
    cfmakeraw(&t);
    tcsetattr(holder_, TCSANOW, &t);
    thread_ = std::thread([this] { run(); });
  }
  ~Instrument() {
    stop_ = true;
    thread_.join();
    close(holder_);
    close(master_);
  }
  const std::string& path() const { return slave_; }
  void reply(char letter, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    replies_[letter] = bytes;
  }
  void silence(char letter) {
    std::lock_guard lock(mutex_);
    replies_.erase(letter);
  }
  void flood(bool on) {
    std::lock_guard lock(mutex_);
    flood_ = on;
  }
  std::vector<std::string> commands() {
    std::lock_guard lock(mutex_);
    return commands_;
  }
  // Arrival time of every byte of the last command.
  std::vector<Clock::time_point> lastTimes() {
    std::lock_guard lock(mutex_);
    return lastTimes_;
  }
  speed_t speed() const {
    termios t{};
    tcgetattr(holder_, &t);
    return cfgetospeed(&t);
  }

private:
  void run() {
    std::string current;
    std::vector<Clock::time_point> times;
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      poll(&p, 1, 2);
      char buf[64];
      for (ssize_t n; (n = read(master_, buf, sizeof buf)) > 0;) {
        for (ssize_t i = 0; i < n; ++i) {
          current += buf[i];
          times.push_back(Clock::now());
          if (buf[i] == '\0') {
            std::string out;
            {
              std::lock_guard lock(mutex_);
              commands_.push_back(current);
              lastTimes_ = times;
              if (auto it = replies_.find(current.size() > 3 ? current[3] : 0); it != replies_.end())
                out = it->second;
            }
            send(out);
            current.clear();
            times.clear();
          }
        }
      }
      std::lock_guard lock(mutex_);
      if (flood_) {
        static const std::string noise(512, '<');
        (void)!write(master_, noise.data(), noise.size());
      }
    }
  }
  void send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size() && !stop_) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0)
        done += static_cast<size_t>(n);
      else
        std::this_thread::sleep_for(1ms);
    }
  }

  int master_ = -1, holder_ = -1;
  std::string slave_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::map<char, std::string> replies_;
  std::vector<std::string> commands_;
  std::vector<Clock::time_point> lastTimes_;
  bool flood_ = false;
};

class DensoLink : public ::testing::Test {
protected:
  Instrument instrument;
  kvtest::ScopedEnv port{"KV_SERIAL_COM2", instrument.path()};
  TDenso denso;
};

} // namespace

TEST_F(DensoLink, DecodesEveryAnswer) {
  instrument.reply('V', "\n" + answer("10", 'V', "17") + "\n");
  instrument.reply('B', answer("10", 'B', "3 ok") + "\r\n");
  instrument.reply('S', answer("10", 'S', "") + "\n");
  instrument.reply('L', answer("10", 'L', "x") + "\n");
  instrument.reply('M', answer("10", 'M', "0.85") + "\n");
  instrument.reply('D', answer("10", 'D', wedgePayload()) + "\n");
  instrument.reply('K', answer("10", 'K', "#01:1.11#03:0.07") + "\n");
  struct Case {
    TCommand cmd;
    int32_t value;
  } cases[] = {{dcSoftRev, 17}, {dcBattery, 3}, {dcLastDens, 85}, {dcLock, -5}, {dcUnlock, -5}};
  for (const auto& c : cases) {
    TResponse r;
    r.Command = dcError;
    r.Value = -5;
    denso.SendCommand(c.cmd, r);
    EXPECT_EQ(r.Command, c.cmd) << int(c.cmd);
    EXPECT_EQ(r.Value, c.value) << int(c.cmd);
    EXPECT_TRUE(denso.Connected);
    EXPECT_GE(denso.Handle, 0);
  }
  TResponse r;
  denso.SendCommand(dcGetSteps, r);
  EXPECT_EQ(r.Command, dcGetSteps);
  EXPECT_EQ(r.Steps[0], 7);
  for (int i = 1; i <= 21; ++i)
    EXPECT_EQ(r.Steps[i], i * 15) << i;
  const auto sent = instrument.commands();
  ASSERT_EQ(sent.size(), 7u);
  EXPECT_EQ(sent[0], std::string("<10V()068>\r\n\0", 13));
  EXPECT_EQ(sent[5], std::string("<10D()050>\r\n\0", 13));
  EXPECT_EQ(sent[6], std::string("<10K()057>\r\n\0", 13));
  EXPECT_EQ(instrument.speed(), B9600);

  // No reading yet.
  instrument.reply('M', answer("10", 'M', "-.--") + "\n");
  denso.SendCommand(dcLastDens, r);
  EXPECT_EQ(r.Command, dcLastDens);
  EXPECT_EQ(r.Value, -1);
  // Commands without a frame send nothing and leave the response alone.
  r.Command = dcBattery;
  r.Value = 99;
  for (TCommand cmd : {dcRevDate, dcswitchOff, dcDmin, dcError, dcGetFeatures})
    denso.SendCommand(cmd, r);
  EXPECT_EQ(r.Command, dcBattery);
  EXPECT_EQ(r.Value, 99);
  EXPECT_EQ(instrument.commands().size(), 8u);
  // A wedge answer with a step without a reading and one that is no number: still the wedge,
  // those steps at -1 and 0, and the features are asked for all the same.
  std::string payload = wedgePayload();
  payload.replace(8 * 2 + 4, 4, "-.--");
  payload.replace(8 * 4 + 4, 4, "x.yz");
  instrument.reply('D', answer("10", 'D', payload) + "\n");
  denso.SendCommand(dcGetSteps, r);
  EXPECT_EQ(r.Command, dcGetSteps);
  EXPECT_EQ(r.Steps[0], 7);
  EXPECT_EQ(r.Steps[3], -1);
  EXPECT_EQ(r.Steps[5], 0);
  EXPECT_EQ(r.Steps[21], 315);
  const auto last = instrument.commands();
  ASSERT_EQ(last.size(), 10u);
  EXPECT_EQ(last[9], std::string("<10K()057>\r\n\0", 13));
  denso.DisConnect();
  EXPECT_FALSE(denso.Connected);
  EXPECT_LT(denso.Handle, 0);
}

TEST_F(DensoLink, RejectedAnswers) {
  instrument.reply('V', "<10V(17)173>\n");
  instrument.reply('M', answer("10", 'M', "lots") + "\n");
  instrument.reply('D', answer("10", 'D', wedgePayload()) + "\n");
  instrument.reply('K', "<10K(#03:0.07)000>\n");
  TResponse r;
  denso.SendCommand(dcSoftRev, r);
  EXPECT_EQ(r.Command, dcError);
  r.Command = dcBattery;
  denso.SendCommand(dcLastDens, r);
  EXPECT_EQ(r.Command, dcError) << "a reading that is no number";
  denso.SendCommand(dcGetSteps, r);
  EXPECT_EQ(r.Command, dcError) << "the features answer was rejected";
  EXPECT_EQ(r.Steps[21], 315) << "the steps were filled before";
  // A rejected wedge answer ends the command before the features are asked for.
  instrument.reply('D', "<10D()000>\n");
  const size_t before = instrument.commands().size();
  denso.SendCommand(dcGetSteps, r);
  EXPECT_EQ(r.Command, dcError);
  EXPECT_EQ(instrument.commands().size(), before + 1);
}

TEST_F(DensoLink, SilenceTimesOutPerCharacter) {
  TResponse r;
  r.Command = dcBattery;
  auto start = Clock::now();
  denso.SendCommand(dcSoftRev, r);
  auto waited = Clock::now() - start;
  EXPECT_EQ(r.Command, dcError);
  EXPECT_GE(waited, 1450ms);
  EXPECT_LT(waited, 2500ms);

  // A frame that stops half-way also waits one character time, then fails.
  instrument.reply('B', "<10B(4");
  start = Clock::now();
  r.Command = dcBattery;
  denso.SendCommand(dcBattery, r);
  waited = Clock::now() - start;
  EXPECT_EQ(r.Command, dcError);
  EXPECT_GE(waited, 1450ms);
  EXPECT_LT(waited, 2500ms);
}

TEST_F(DensoLink, FloodIsCutOff) {
  instrument.flood(true);
  TResponse r;
  r.Command = dcBattery;
  const auto start = Clock::now();
  denso.SendCommand(dcSoftRev, r);
  EXPECT_EQ(r.Command, dcError);
  EXPECT_LT(Clock::now() - start, 1000ms);
  const std::string line = denso.RecvString();
  EXPECT_LE(line.size(), 256u);
  instrument.flood(false);
  std::this_thread::sleep_for(20ms);
  // The next command opens the line afresh and finds it clean.
  instrument.reply('V', answer("10", 'V', "21") + "\n");
  denso.SendCommand(dcSoftRev, r);
  EXPECT_EQ(r.Command, dcSoftRev);
  EXPECT_EQ(r.Value, 21);
}

TEST_F(DensoLink, ScanType50IsPaced) {
  denso.SetScanType("50");
  instrument.reply('V', answer("50", 'V', "5") + "\n");
  TResponse r;
  const auto start = Clock::now();
  denso.SendCommand(dcSoftRev, r);
  EXPECT_GE(Clock::now() - start, 1250ms);
  EXPECT_EQ(r.Command, dcSoftRev);
  EXPECT_EQ(r.Value, 5);
  EXPECT_EQ(instrument.speed(), B2400);
  const auto times = instrument.lastTimes();
  ASSERT_EQ(times.size(), 13u);
  // Measured where the characters arrive, so one late arrival shortens the next gap: check that
  // character i cannot have come before i paced gaps have passed.
  for (size_t i = 1; i < times.size(); ++i)
    EXPECT_GE(times[i] - times[0], 90ms * static_cast<int>(i)) << "character " << i;
  EXPECT_EQ(instrument.commands().back(), std::string("<50V()072>\r\n\0", 13));
}

TEST(DensoPort, UnopenablePortTouchesNothing) {
  kvtest::TempDir dir;
  kvtest::ScopedEnv port("KV_SERIAL_COM4", (dir / "none").string());
  // Make sure descriptor 0 is something we can watch.
  if (fcntl(0, F_GETFD) == -1) {
    ASSERT_EQ(open("/dev/null", O_RDONLY), 0);
  }
  {
    TDenso d;
    d.SetComPort(4);
    EXPECT_EQ(d.ComPort, 4);
    TResponse r;
    r.Command = dcBattery;
    r.Value = 42;
    d.SendCommand(dcSoftRev, r);
    EXPECT_EQ(r.Command, dcBattery);
    EXPECT_EQ(r.Value, 42);
    EXPECT_FALSE(d.Connected);
    EXPECT_FALSE(d.Connect());
    EXPECT_EQ(d.RecvString(), "");
    d.DisConnect();
    d.DisConnect();
    int32_t p = 9;
    d.SearchScanner(p);
    EXPECT_EQ(p, 9);
  }
  EXPECT_NE(fcntl(0, F_GETFD), -1) << "descriptor 0 was closed";
}
