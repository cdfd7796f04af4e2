// What the running program says about itself: its title (the caption of its message
// boxes), its own file name and its main window. The class library's application object
// takes this over when it exists; until then the program's file tells.
#pragma once

#include <cstdint>
#include <functional>
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
// The running process's number, as other processes see it.
uint32_t processId();

// Lets the window messages that are waiting run, as the application object's
// ProcessMessages does. Long work on the main thread (an engine run) calls it so that the
// windows stay responsive. Until the class library installs its message loop here it does
// nothing; tests install a counter.
void processMessages();
using ProcessMessagesHook = std::function<void()>;
// Installs the hook (an empty one: nothing to do); returns the previous one.
ProcessMessagesHook setProcessMessagesHook(ProcessMessagesHook hook);

} // namespace kv::platform
