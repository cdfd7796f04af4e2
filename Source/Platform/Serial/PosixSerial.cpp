// Serial ports on termios.
#include "Platform/Serial/Serial.h"

#include <cerrno>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kv::platform {

namespace {

using Clock = std::chrono::steady_clock;

std::optional<speed_t> speedFor(int baud) {
  switch (baud) {
  case 1200:
    return B1200;
  case 2400:
    return B2400;
  case 4800:
    return B4800;
  case 9600:
    return B9600;
  case 19200:
    return B19200;
  case 38400:
    return B38400;
  case 57600:
    return B57600;
  case 115200:
    return B115200;
  default:
    return std::nullopt;
  }
}

class PosixSerialPort final : public SerialPort {
public:
  explicit PosixSerialPort(int fd) : fd_(fd) {}
  ~PosixSerialPort() override { ::close(fd_); }
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  int handle() const override { return fd_; }

  bool configure(const SerialSettings& settings) override {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return false;
    if (settings.baudRate != 0) {
      const auto speed = speedFor(settings.baudRate);
      if (!speed) return false;
      cfsetispeed(&tio, *speed);
      cfsetospeed(&tio, *speed);
    }
    tio.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    // No start, stop, end-of-file or other special characters: every byte is data.
    for (cc_t& c : tio.c_cc)
      c = 0;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd_, TCSANOW, &tio) == 0;
  }

  size_t write(std::string_view bytes, std::chrono::milliseconds gap) override {
    size_t written = 0;
    for (char c : bytes) {
      if (!writeOne(c)) break;
      ++written;
      if (gap.count() > 0) std::this_thread::sleep_for(gap);
    }
    return written;
  }

  std::optional<uint8_t> readByte(std::chrono::milliseconds timeout) override {
    setRts(true);
    const auto result = waitForByte(timeout);
    setRts(false);
    return result;
  }

private:
  bool writeOne(char c) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(1500);
    for (;;) {
      const ssize_t n = ::write(fd_, &c, 1);
      if (n == 1) return true;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return false;
      if (!waitFor(POLLOUT, deadline)) return false;
    }
  }

  std::optional<uint8_t> waitForByte(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      uint8_t byte = 0;
      const ssize_t n = ::read(fd_, &byte, 1);
      if (n == 1) return byte;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return std::nullopt;
      // Nothing there yet (a raw line answers 0 or EAGAIN): wait for it.
      if (!waitFor(POLLIN, deadline)) return std::nullopt;
    }
  }

  // Waits until the descriptor is ready for `events`; false after the deadline or when
  // the line is gone.
  bool waitFor(short events, Clock::time_point deadline) {
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd_, events, 0};
      const int r = ::poll(&p, 1, static_cast<int>(left.count()));
      if (r > 0) return (p.revents & events) != 0;
      if (r == 0) return false;
      if (errno != EINTR) return false;
    }
  }

  void setRts(bool raised) {
    // Lines without modem signals (pseudo-terminals) refuse this; the byte still comes.
    int bits = TIOCM_RTS;
    (void)::ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &bits);
  }

  int fd_;
};

} // namespace

std::string serialDevicePath(int portNumber) {
  if (portNumber < 1) return {};
  const std::string own = "KV_SERIAL_COM" + std::to_string(portNumber);
  if (const char* path = std::getenv(own.c_str()); path && *path) return path;
  const char* prefix = std::getenv("KV_SERIAL_PREFIX");
  return std::string(prefix && *prefix ? prefix : "/dev/ttyS") + std::to_string(portNumber - 1);
}

std::unique_ptr<SerialPort> openSerialDevice(const std::string& path) {
  if (path.empty()) return nullptr;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (!isatty(fd)) {
    ::close(fd);
    return nullptr;
  }
  // What arrived before the port was opened belongs to no command of ours.
  tcflush(fd, TCIOFLUSH);
  return std::make_unique<PosixSerialPort>(fd);
}

std::unique_ptr<SerialPort> openSerialPort(int portNumber) {
  return openSerialDevice(serialDevicePath(portNumber));
}

} // namespace kv::platform
