#include "Platform/Volumes/Volumes.h"

namespace kv::platform {

namespace {
std::unique_ptr<VolumeProvider>& current() {
  static std::unique_ptr<VolumeProvider> provider = std::make_unique<RealVolumes>();
  return provider;
}
} // namespace

VolumeProvider& volumes() { return *current(); }

std::unique_ptr<VolumeProvider> setVolumes(std::unique_ptr<VolumeProvider> provider) {
  auto old = std::move(current());
  current() = provider ? std::move(provider) : std::make_unique<RealVolumes>();
  return old;
}

} // namespace kv::platform
