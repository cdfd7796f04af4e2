// The engines' side of the callback: fills a fresh callback record for each call, reads the
// reply back within the record's bounds, and remembers when the caller asked to stop.
#pragma once

#include "ZipEngineRecords.h"

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <thread>

namespace kv::engine {

class CallbackChannel {
public:
  CallbackChannel(ZipCallbackFunction function, void* caller, uint64_t handle, int32_t version, bool isZip);

  // One callback; false when the caller answered -1 now or earlier in this run.
  bool send(int32_t action, int32_t code, int64_t size, std::string_view text, std::string_view comment = {});
  bool message(int32_t code, std::string_view text) { return send(zcaMessage, code, 0, text); }

  const CallbackRecord& reply() const { return record_; }
  // The reply text, read no further than the text area.
  std::string replyText() const;
  bool cancelled() const { return cancelled_; }
  // Errors reported through message() or send() with a non-zero code in this run.
  int errorCount() const { return errors_; }

private:
  ZipCallbackFunction function_;
  void* caller_;
  uint64_t handle_;
  int32_t version_;
  bool isZip_;
  bool cancelled_ = false;
  int errors_ = 0;
  std::thread::id thread_;
  CallbackRecord record_{};
};

// One call of an engine's entry point: a Run of the command, every exception it raises turned
// into a message and the result 0, so that none reaches the caller across the C boundary.
template <class Run, class Command>
int32_t executeCommand(const Command* command, int32_t version, bool isZip, const char* noMemoryText) {
  if (!command) return 0;
  CallbackChannel channel(command->Callback, command->Caller, command->Handle, version, isZip);
  try {
    Run run(*command, channel);
    return run.execute();
  } catch (const std::bad_alloc&) {
    channel.message(zeNoMemory, noMemoryText);
  } catch (const std::exception& e) {
    channel.message(zeInternal, std::string("Unexpected failure: ") + e.what());
  } catch (...) {
    channel.message(zeInternal, "Unexpected failure");
  }
  return 0;
}

} // namespace kv::engine
