#include "Platform/Volumes/Volumes.h"

#include "Platform/Rtl/ServiceSlot.h"

namespace kv::platform {

namespace {
constinit ServiceSlot<VolumeProvider, RealVolumes> slot;
} // namespace

VolumeProvider& volumes() { return slot.get(); }

std::unique_ptr<VolumeProvider> setVolumes(std::unique_ptr<VolumeProvider> provider) {
  return slot.replace(std::move(provider));
}

} // namespace kv::platform
