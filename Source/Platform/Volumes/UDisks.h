// The desktop's disk service (UDisks2 on the system bus) as the real volume provider needs it:
// which filesystems it has mounted where, their labels, and labelling and formatting them
// without root rights. The bus is the system bus, or the one DBUS_SYSTEM_BUS_ADDRESS names;
// every call opens its own connection, so a changed address counts at once.
#pragma once

#include "Platform/Volumes/Volumes.h"

#include <optional>
#include <string>
#include <vector>

namespace kv::platform::udisks {

struct MountedVolume {
  std::string mountPoint; // as the service reports it, without a trailing '/'
  std::string label;
  bool removable = false; // its drive is removable, or its media are, as the service reports it
};

// One entry per mount point of every filesystem the service has mounted; empty when there
// is no service.
std::vector<MountedVolume> mountedVolumes();

// The mount point of the removable volume that is in now: preferred when one is mounted
// there, else one the service has mounted wherever it is, else one that it mounts now;
// nothing (and why) when no removable volume is in.
std::optional<std::string> removableVolume(const std::string& preferred, std::string& why);

// Both act on the filesystem the service has mounted at mountPoint; what went wrong, in the
// service's words, goes to why.
bool setLabel(const std::string& mountPoint, const std::string& label, std::string& why);
// Formats it as vfat, keeping its label, and mounts it again at the same place.
FormatResult format(const std::string& mountPoint, std::string& why);

} // namespace kv::platform::udisks
