// Helpers for tests on a real (virtual) X display: an Xvfb of the test's own on a free display
// number, programs started in the background, and screenshots read back as pixels. Every wait
// has a time limit; the server and the programs are stopped when their objects go.
#pragma once

#include "TestSupport.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kvtest::desktop {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (true) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(50ms);
  }
}

// A program started in the background, its output into a file; stopped when the object goes.
class Child {
public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { stop(); }

  // Starts argv with extra environment variables (an empty value removes one); `passFd`,
  // when given, becomes descriptor 3 of the program.
  bool start(const std::vector<std::string>& argv,
             const std::vector<std::pair<std::string, std::string>>& env, const fs::path& output,
             int passFd = -1) {
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      const int in = open("/dev/null", O_RDONLY);
      const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0) _exit(127);
      dup2(in, 0);
      dup2(out, 1);
      dup2(out, 2);
      if (passFd >= 0 && passFd != 3) {
        dup2(passFd, 3);
        close(passFd);
      }
      for (const auto& [name, value] : env)
        if (value.empty())
          unsetenv(name.c_str());
        else
          setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> args;
      for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    return true;
  }

  // Starts argv with a pipe as its descriptor 3 and returns the first line it writes there
  // within the limit (a server telling where it listens), "" when none came.
  std::string startForLine(const std::vector<std::string>& argv, const fs::path& output,
                           std::chrono::milliseconds limit = 15s) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const bool started = start(argv, {}, output, fds[1]);
    close(fds[1]);
    std::string text;
    pollfd p{fds[0], POLLIN, 0};
    const auto end = std::chrono::steady_clock::now() + limit;
    while (started && text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[256];
      const ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, size_t(n));
    }
    close(fds[0]);
    const auto eol = text.find('\n');
    return eol == std::string::npos ? std::string() : text.substr(0, eol);
  }

  // The exit status once the program has ended within the limit, else nothing.
  std::optional<int> wait(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return status_;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (true) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return status_;
      }
      if (std::chrono::steady_clock::now() >= end) return std::nullopt;
      std::this_thread::sleep_for(20ms);
    }
  }

  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!wait(3s)) {
      kill(pid_, SIGKILL);
      wait(3s);
    }
  }

private:
  pid_t pid_ = 0;
  std::optional<int> status_;
};

// The environment of a GTK program on the display: X11 only, settings kept in memory (there is
// no session bus to store them), no accessibility bridge.
inline std::vector<std::pair<std::string, std::string>> gtkProgramEnvironment(const std::string& display) {
  return {{"DISPLAY", display},
          {"WAYLAND_DISPLAY", ""},
          {"GDK_BACKEND", "x11"},
          {"GSETTINGS_BACKEND", "memory"},
          {"NO_AT_BRIDGE", "1"}};
}

// An X server of our own on whatever display number is free, its one screen `screen` (WxHxDepth).
class VirtualDisplay {
public:
  VirtualDisplay(const fs::path& log, const std::string& screen) {
    // The server writes its display number once it takes connections.
    const std::string number =
        server_.startForLine({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp"}, log);
    if (!number.empty()) name_ = ":" + number;
  }
  bool ready() const { return !name_.empty(); }
  const std::string& name() const { return name_; }

private:
  Child server_;
  std::string name_;
};

// A screenshot in 8-bit RGB; pixels outside read as 0xFFFFFFFF.
struct Screenshot {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  uint32_t at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFFu;
    const size_t i = (size_t(y) * width + x) * 3;
    return uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2];
  }
  // How many pixels of the rectangle [x0, x1) x [y0, y1) satisfy `is`.
  int count(int x0, int y0, int x1, int y1, const std::function<bool(uint32_t)>& is) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (is(at(x, y))) ++n;
    return n;
  }
  std::vector<uint32_t> pixels(int x0, int y0, int x1, int y1) const {
    std::vector<uint32_t> out;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        out.push_back(at(x, y));
    return out;
  }
};

// The desktop's file chooser fills its name field and its list in its own time and takes keys
// once it shows what it offers selected, in the desktop theme's blue: the name in the field to
// type over, or the first file of the list.
inline bool chooserShowsSelection(const Screenshot& s) {
  return s.count(0, 0, s.width, s.height, [](uint32_t c) { return c == 0x3584E4; }) > 200;
}

// Reads a binary PPM (P6, maxval 255) as ImageMagick writes it.
inline bool readPpm(const fs::path& path, Screenshot& shot) {
  const std::vector<unsigned char> bytes = kvtest::readBytes(path);
  size_t pos = 0;
  auto token = [&]() {
    std::string t;
    while (pos < bytes.size()) {
      const char c = char(bytes[pos]);
      if (c == '#') {
        while (pos < bytes.size() && bytes[pos] != '\n')
          ++pos;
      } else if (isspace(static_cast<unsigned char>(c))) {
        if (!t.empty()) break;
        ++pos;
      } else {
        t += c;
        ++pos;
      }
    }
    return t;
  };
  if (token() != "P6") return false;
  const int w = std::atoi(token().c_str()), h = std::atoi(token().c_str());
  if (token() != "255" || w <= 0 || h <= 0) return false;
  ++pos; // the one white space after the header
  if (bytes.size() - pos < size_t(w) * h * 3) return false;
  shot.width = w;
  shot.height = h;
  shot.rgb.assign(bytes.begin() + long(pos), bytes.begin() + long(pos + size_t(w) * h * 3));
  return true;
}

// The whole screen of `display` as pixels, the PNG kept at `png` for a look at it. ImageMagick's
// import reads every window from its own contents: a dump of the root alone (xwd) shows the windows
// GTK maps over others, message boxes and pop-ups, as black boxes on a server without compositing.
inline Screenshot screenshotOf(const std::string& display, const fs::path& png) {
  Screenshot shot;
  fs::path ppm = png;
  ppm.replace_extension(".ppm");
  const std::string on = "DISPLAY=" + display + " timeout 20 ";
  if (kvtest::run(on + "import -window root " + kvtest::shellQuote(png.string())).exitCode == 0 &&
      kvtest::run("convert " + kvtest::shellQuote(png.string()) +
                  " -depth 8 ppm:" + kvtest::shellQuote(ppm.string()))
              .exitCode == 0)
    readPpm(ppm, shot);
  return shot;
}

} // namespace kvtest::desktop
