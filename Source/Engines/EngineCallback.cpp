#include "EngineCallback.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace kv::engine {

CallbackChannel::CallbackChannel(ZipCallbackFunction function, void* caller, uint64_t handle, int32_t version,
                                 bool isZip)
    : function_(function), caller_(caller), handle_(handle), version_(version), isZip_(isZip),
      thread_(std::this_thread::get_id()) {}

namespace {

void copyBounded(char* area, std::string_view text) {
  const size_t n = std::min(text.size(), size_t{KV_CALLBACK_TEXT_SIZE - 1});
  if (n > 0) std::memcpy(area, text.data(), n);
  area[n] = '\0';
}

} // namespace

bool CallbackChannel::send(int32_t action, int32_t code, int64_t size, std::string_view text,
                           std::string_view comment) {
  // Every callback must reach the caller on the thread that called the engine.
  assert(std::this_thread::get_id() == thread_);
  if ((action == zcaMessage || action == zcaSkipped) && code != 0) ++errors_;
  if (!function_) return !cancelled_;
  std::memset(&record_, 0, sizeof record_);
  record_.Handle = handle_;
  record_.Caller = caller_;
  record_.Version = version_;
  record_.IsZipOperation = isZip_ ? 1 : 0;
  record_.ActionCode = action;
  record_.ErrorCode = code;
  record_.FileSize = size;
  copyBounded(record_.Text, text);
  copyBounded(record_.FileComment, comment);
  if (function_(&record_) == -1) cancelled_ = true;
  return !cancelled_;
}

std::string CallbackChannel::replyText() const {
  return std::string(record_.Text, strnlen(record_.Text, KV_CALLBACK_TEXT_SIZE));
}

} // namespace kv::engine
