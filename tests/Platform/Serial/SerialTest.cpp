#include "Platform/Serial/Serial.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

using namespace kv::platform;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A pseudo-terminal standing in for a serial line: we talk to its slave side, the test
// plays the far end on the master side.
struct Pty {
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(master, 0);
    EXPECT_EQ(grantpt(master), 0);
    EXPECT_EQ(unlockpt(master), 0);
    slave = ptsname(master);
  }
  ~Pty() { close(master); }
  termios settings() const {
    termios t{};
    const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
    EXPECT_GE(fd, 0);
    tcgetattr(fd, &t);
    close(fd);
    return t;
  }
  std::string drain() {
    std::string out;
    char buf[256];
    for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;)
      out.append(buf, static_cast<size_t>(n));
    return out;
  }
  int master = -1;
  std::string slave;
};

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

} // namespace

TEST(SerialPorts, PortNumbersMapToDevices) {
  {
    kvtest::ScopedEnv prefix("KV_SERIAL_PREFIX");
    kvtest::ScopedEnv own("KV_SERIAL_COM2");
    EXPECT_EQ(serialDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(serialDevicePath(2), "/dev/ttyS1");
    EXPECT_EQ(serialDevicePath(12), "/dev/ttyS11");
    EXPECT_EQ(serialDevicePath(0), "");
    EXPECT_EQ(serialDevicePath(-3), "");
  }
  kvtest::ScopedEnv prefix("KV_SERIAL_PREFIX", "/dev/ttyUSB");
  kvtest::ScopedEnv own("KV_SERIAL_COM2", "/tmp/instrument");
  EXPECT_EQ(serialDevicePath(1), "/dev/ttyUSB0");
  EXPECT_EQ(serialDevicePath(2), "/tmp/instrument");
  EXPECT_EQ(serialDevicePath(3), "/dev/ttyUSB2");
}

TEST(SerialPorts, OnlyTerminalsOpen) {
  kvtest::TempDir dir;
  kvtest::writeFile(dir / "plain", "not a line");
  EXPECT_EQ(openSerialDevice((dir / "plain").string()), nullptr);
  EXPECT_EQ(openSerialDevice((dir / "missing").string()), nullptr);
  EXPECT_EQ(openSerialDevice(""), nullptr);
  kvtest::ScopedEnv own("KV_SERIAL_COM7", (dir / "missing").string());
  EXPECT_EQ(openSerialPort(7), nullptr);
  EXPECT_EQ(openSerialPort(0), nullptr);
}

TEST(SerialPorts, LineSettings) {
  Pty pty;
  auto port = openSerialDevice(pty.slave);
  ASSERT_NE(port, nullptr);
  EXPECT_GE(port->handle(), 0);
  for (int baud : {9600, 2400}) {
    ASSERT_TRUE(port->configure({baud}));
    const termios t = pty.settings();
    EXPECT_EQ(cfgetospeed(&t), baud == 9600 ? B9600 : B2400);
    EXPECT_EQ(cfgetispeed(&t), baud == 9600 ? B9600 : B2400);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VSTART], 0);
    EXPECT_EQ(t.c_cc[VSTOP], 0);
    EXPECT_EQ(t.c_cc[VEOF], 0);
  }
  // Speed 0 keeps what the line has.
  ASSERT_TRUE(port->configure({0}));
  const termios t = pty.settings();
  EXPECT_EQ(cfgetospeed(&t), B2400);
  EXPECT_FALSE(port->configure({12345}));
}

TEST(SerialPorts, WritesPacedAndReadsWithTimeOut) {
  Pty pty;
  auto port = openSerialDevice(pty.slave);
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(port->configure({9600}));
  auto start = Clock::now();
  EXPECT_EQ(port->write(std::string("ab\0c", 4), 0ms), 4u);
  EXPECT_LT(Clock::now() - start, 50ms);
  start = Clock::now();
  EXPECT_EQ(port->write("xyz", 40ms), 3u);
  EXPECT_GE(Clock::now() - start, 120ms);
  EXPECT_EQ(pty.drain(), std::string("ab\0cxyz", 7));

  ASSERT_EQ(write(pty.master, "Q\n", 2), 2);
  EXPECT_EQ(port->readByte(1000ms), 'Q');
  EXPECT_EQ(port->readByte(1000ms), '\n');
  start = Clock::now();
  EXPECT_EQ(port->readByte(150ms), std::nullopt);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 140ms);
  EXPECT_LT(waited, 1000ms);
}

TEST(SerialPorts, ClosingReleasesOnlyTheOwnDescriptor) {
  Pty pty;
  auto port = openSerialDevice(pty.slave);
  ASSERT_NE(port, nullptr);
  const int fd = port->handle();
  ASSERT_TRUE(isOpen(fd));
  const bool stdinOpen = isOpen(0);
  port.reset();
  EXPECT_FALSE(isOpen(fd));
  EXPECT_EQ(isOpen(0), stdinOpen);
}
