// The desktop's disk service played by python3-dbusmock (udisks2_template.py) on a D-Bus of
// the test's own, never the machine's: a drive folder in which the disk put in is reported as
// a mounted vfat filesystem, and disks that are folders while they are out. While the object
// lives, DBUS_SYSTEM_BUS_ADDRESS names its bus, so the real volume provider talks to it.
#pragma once

#include "DesktopTestSupport.h"

#include <memory>
#include <string>
#include <vector>

namespace kvtest {

class UDisksMock {
public:
  struct Disk {
    std::string name;
    std::string label;
    bool removable = true;
  };

  // How the disk put in is mounted: at the drive folder (a fixed mount point), or as a
  // desktop mounts sticks: at a folder under media() named after its label (its name when it
  // has none), by the desktop itself or, unmounted, left to whoever wants it.
  enum class Mounting { AtTheDrive, ByLabel, ByLabelOnRequest };

  // Disks are kept in dir/disks/NAME; the drive is dir/drive. With a refusal every change
  // (label, format) is refused with that reason.
  UDisksMock(const fs::path& dir, const std::vector<Disk>& disks, const std::string& refusal = {},
             Mounting mounting = Mounting::AtTheDrive)
      : dir_(dir) {
    fs::create_directories(dir);
    address_ =
        bus_.startForLine({"dbus-daemon", "--session", "--nofork", "--print-address=3"}, dir / "bus.log");
    if (address_.empty()) return;

    std::string list;
    for (const auto& d : disks)
      list += std::string(list.empty() ? "" : ", ") + "{\"name\": " + json(d.name) +
              ", \"store\": " + json(store(d.name).string()) + ", \"label\": " + json(d.label) +
              ", \"removable\": " + (d.removable ? "true" : "false") + "}";
    const std::string parameters =
        "{\"drive\": " + json((dir / "drive").string()) + ", \"disks\": [" + list +
        "], \"refuse\": " + json(refusal) +
        ", \"media\": " + json(mounting == Mounting::AtTheDrive ? std::string() : media().string()) +
        ", \"automount\": " + (mounting == Mounting::ByLabel ? "true" : "false") + "}";
    const std::string tmpl = (sourceDir() / "tests/Platform/Volumes/udisks2_template.py").string();
    mock_.start({systemPython(), "-m", "dbusmock", "--system", "--template", tmpl, "-p", parameters},
                {{"DBUS_SYSTEM_BUS_ADDRESS", address_}}, dir / "mock.log");
    if (run("timeout 20 gdbus wait --address " + shellQuote(address_) +
            " --timeout 15 org.freedesktop.UDisks2 >/dev/null 2>&1")
            .exitCode != 0)
      return;
    env_ = std::make_unique<ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS", address_);
  }
  UDisksMock(const UDisksMock&) = delete;
  UDisksMock& operator=(const UDisksMock&) = delete;

  bool ready() const { return env_ != nullptr; }
  // What went wrong when it is not ready.
  std::string log() const { return readFile(dir_ / "bus.log") + readFile(dir_ / "mock.log"); }
  // The drive's root, with a trailing '/'.
  std::string drive() const { return (dir_ / "drive").string() + "/"; }
  fs::path store(const std::string& disk) const { return dir_ / "disks" / disk; }
  // Where sticks are mounted, each at a folder of its own.
  fs::path media() const { return dir_ / "media"; }
  // Takes the disk in the drive out and puts the named one in ("" leaves the drive empty).
  bool insert(const std::string& disk) {
    return run("gdbus call --address " + shellQuote(address_) +
               " --dest org.freedesktop.UDisks2 --object-path /org/freedesktop/UDisks2"
               " --method org.korvalis.Test.Insert " +
               shellQuote("'" + disk + "'") + " >/dev/null")
               .exitCode == 0;
  }

private:
  static std::string json(const std::string& s) {
    std::string out = "\"";
    for (char c : s)
      out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return out + "\"";
  }

  fs::path dir_;
  desktop::Child bus_, mock_;
  std::string address_;
  std::unique_ptr<ScopedEnv> env_; // last, so that it goes first
};

} // namespace kvtest
