// Serial ports, numbered as the instruments' software numbers them (port 1, 2, ...).
//
// Port n is the device in the environment variable KV_SERIAL_COM<n> when that is set,
// else KV_SERIAL_PREFIX (default "/dev/ttyS") followed by n - 1, so port 1 is /dev/ttyS0.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

struct SerialSettings {
  // Line speed in baud; 0 keeps the speed the port has.
  int baudRate = 0;
};

// One open port. Closing happens when the object goes.
class SerialPort {
public:
  virtual ~SerialPort() = default;
  // The operating system's descriptor of the port, never below 0 while it is open.
  virtual int handle() const = 0;
  // Raw 8 data bits, no parity, one stop bit, no flow-control or special characters,
  // starting from the port's current settings.
  virtual bool configure(const SerialSettings& settings) = 0;
  // Writes the bytes one at a time, waiting `gap` after each; returns how many were written.
  virtual size_t write(std::string_view bytes, std::chrono::milliseconds gap) = 0;
  // Raises RTS, waits at most `timeout` for one byte, lowers RTS; nothing on a time-out
  // or when the line is gone.
  virtual std::optional<uint8_t> readByte(std::chrono::milliseconds timeout) = 0;
};

// The device that stands for port `portNumber`; empty for numbers below 1.
std::string serialDevicePath(int portNumber);
// Opens a port by number or by device path; nullptr when it cannot be opened or is no
// terminal device.
std::unique_ptr<SerialPort> openSerialPort(int portNumber);
std::unique_ptr<SerialPort> openSerialDevice(const std::string& path);

} // namespace kv::platform
