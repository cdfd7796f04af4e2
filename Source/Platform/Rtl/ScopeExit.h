// Cleanup that must run however a scope is left, by its end, a return or an exception:
//
//   const ScopeExit done([&] { ... });
//
// The steps run when the guard goes, in the reverse order of the guards of one scope. They must
// not throw: a guard runs while an exception may already be on its way.
#pragma once

#include <utility>

namespace kv::platform {

template <class Steps> class ScopeExit {
public:
  explicit ScopeExit(Steps steps) : steps_(std::move(steps)) {}
  ~ScopeExit() { steps_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

private:
  Steps steps_;
};

} // namespace kv::platform
