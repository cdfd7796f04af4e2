// Events: a bound handler that remembers the name of the handler it was bound to,
// so that stored forms can name their handlers and tests can see what is assigned.
#pragma once

#include <functional>
#include <string>
#include <utility>

namespace kv::platform {

class TObject;

template <class... Args> class TEvent {
public:
  using Handler = std::function<void(Args...)>;

  TEvent() = default;
  TEvent(Handler handler, std::string name = {}) : handler_(std::move(handler)), name_(std::move(name)) {}

  void Bind(Handler handler, std::string name = {}) {
    handler_ = std::move(handler);
    name_ = std::move(name);
  }
  void Clear() {
    handler_ = nullptr;
    name_.clear();
  }
  bool Assigned() const { return static_cast<bool>(handler_); }
  explicit operator bool() const { return Assigned(); }
  const std::string& HandlerName() const { return name_; }

  // Calls the handler when one is assigned; an unassigned event does nothing.
  void operator()(Args... args) const {
    if (handler_) handler_(std::forward<Args>(args)...);
  }

private:
  Handler handler_;
  std::string name_;
};

using TNotifyEvent = TEvent<TObject*>;

} // namespace kv::platform

namespace kv::platform {

// An event whose handler answers with a value (a scroll handler's message result); an
// unassigned event answers with the value type's default.
template <class R, class... Args> class TFuncEvent {
public:
  using Handler = std::function<R(Args...)>;

  TFuncEvent() = default;
  TFuncEvent(Handler handler, std::string name = {}) : handler_(std::move(handler)), name_(std::move(name)) {}

  void Bind(Handler handler, std::string name = {}) {
    handler_ = std::move(handler);
    name_ = std::move(name);
  }
  void Clear() {
    handler_ = nullptr;
    name_.clear();
  }
  bool Assigned() const { return static_cast<bool>(handler_); }
  explicit operator bool() const { return Assigned(); }
  const std::string& HandlerName() const { return name_; }

  R operator()(Args... args) const {
    if (handler_) return handler_(std::forward<Args>(args)...);
    return R{};
  }

private:
  Handler handler_;
  std::string name_;
};

} // namespace kv::platform
