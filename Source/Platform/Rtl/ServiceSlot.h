// A platform service that tests replace with a stand-in: the real service, made at its first
// use, until a stand-in is put in place, and the real one again once nothing is put back.
//
//   constinit ServiceSlot<VolumeProvider, RealVolumes> slot;   // namespace scope, set up at load
//   VolumeProvider& volumes() { return slot.get(); }
#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace kv::platform {

template <class Service, class Real> class ServiceSlot {
public:
  constexpr ServiceSlot() = default;
  ServiceSlot(const ServiceSlot&) = delete;
  ServiceSlot& operator=(const ServiceSlot&) = delete;

  // Locked so that two threads asking first never make two real services.
  Service& get() {
    std::lock_guard lock(mutex_);
    if (!current_) current_ = std::make_unique<Real>();
    return *current_;
  }
  // Puts next in place (nothing: the real service again) and hands back the one that was there.
  std::unique_ptr<Service> replace(std::unique_ptr<Service> next) {
    std::lock_guard lock(mutex_);
    std::unique_ptr<Service> previous = std::move(current_);
    current_ = std::move(next);
    return previous;
  }

private:
  std::mutex mutex_;
  std::unique_ptr<Service> current_;
};

} // namespace kv::platform
