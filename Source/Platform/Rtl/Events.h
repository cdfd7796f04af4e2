// Events: a bound handler that remembers the name of the handler it was bound to,
// so that stored forms can name their handlers and tests can see what is assigned.
#pragma once

#include <functional>
#include <string>
#include <utility>

namespace kv::platform {

class TObject;

// What every event holds: its handler and the name it was bound by.
template <class Handler> class EventBinding {
public:
  EventBinding() = default;
  EventBinding(Handler handler, std::string name = {})
      : handler_(std::move(handler)), name_(std::move(name)) {}

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

protected:
  Handler handler_;
  std::string name_;
};

template <class... Args> class TEvent : public EventBinding<std::function<void(Args...)>> {
public:
  using Handler = std::function<void(Args...)>;
  using EventBinding<Handler>::EventBinding;

  // Calls the handler when one is assigned; an unassigned event does nothing.
  void operator()(Args... args) const {
    if (this->handler_) this->handler_(std::forward<Args>(args)...);
  }
};

using TNotifyEvent = TEvent<TObject*>;

// An event whose handler answers with a value (a scroll handler's message result); an
// unassigned event answers with the value type's default.
template <class R, class... Args> class TFuncEvent : public EventBinding<std::function<R(Args...)>> {
public:
  using Handler = std::function<R(Args...)>;
  using EventBinding<Handler>::EventBinding;

  R operator()(Args... args) const {
    if (this->handler_) return this->handler_(std::forward<Args>(args)...);
    return R{};
  }
};

} // namespace kv::platform
