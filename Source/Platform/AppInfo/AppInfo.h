// What the running program says about itself: its title (the caption of its message
// boxes), its own file name and its main window. The class library's application object
// takes this over when it exists; until then the program's file tells.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kv::platform {

class AppInfo {
public:
  virtual ~AppInfo() = default;
  virtual std::string title() const = 0;
  virtual void setTitle(const std::string& title) = 0;
  // Full file name of the running program.
  virtual std::string exeName() const = 0;
  // Handle of the application window, 0 when there is none.
  virtual uintptr_t windowHandle() const = 0;
};

AppInfo& application();
// Replaces the provider (the application object registers itself); returns the previous one.
std::unique_ptr<AppInfo> setApplication(std::unique_ptr<AppInfo> info);

// The program's own file name from the system, "" when it cannot be told.
std::string programFileName();

} // namespace kv::platform
