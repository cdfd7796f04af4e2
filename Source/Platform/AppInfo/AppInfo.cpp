#include "Platform/AppInfo/AppInfo.h"

#include "Platform/Rtl/ServiceSlot.h"

#include <unistd.h>
#include <vector>

namespace kv::platform {

uint32_t processId() { return static_cast<uint32_t>(::getpid()); }

std::string programFileName() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<size_t>(n));
}

namespace {
class ProgramInfo : public AppInfo {
public:
  ProgramInfo() {
    // The default title is the program's file name without its extension.
    std::string name = programFileName();
    const auto slash = name.find_last_of('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name = name.substr(0, dot);
    title_ = name;
  }
  std::string title() const override { return title_; }
  void setTitle(const std::string& title) override { title_ = title; }
  std::string exeName() const override { return programFileName(); }
  uintptr_t windowHandle() const override { return 0; }

private:
  std::string title_;
};

constinit ServiceSlot<AppInfo, ProgramInfo> slot;
} // namespace

AppInfo& application() { return slot.get(); }

namespace {
ProcessMessagesHook& messagesHook() {
  static ProcessMessagesHook hook;
  return hook;
}
} // namespace

void processMessages() {
  // A copy, so that a hook that replaces itself while it runs stays alive to its end.
  const ProcessMessagesHook hook = messagesHook();
  if (hook) hook();
}

ProcessMessagesHook setProcessMessagesHook(ProcessMessagesHook hook) {
  ProcessMessagesHook old = std::move(messagesHook());
  messagesHook() = std::move(hook);
  return old;
}

std::unique_ptr<AppInfo> setApplication(std::unique_ptr<AppInfo> info) {
  return slot.replace(std::move(info));
}

} // namespace kv::platform
