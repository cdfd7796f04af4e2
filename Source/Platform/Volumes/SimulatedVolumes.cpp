#include "Platform/Paths/Paths.h"
#include "Platform/Volumes/Volumes.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace kv::platform {

namespace fs = std::filesystem;

namespace {
std::string key(const std::string& root) { return includeTrailingPathDelimiter(expandFileName(root)); }

uint64_t bytesIn(const fs::path& dir) {
  uint64_t total = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec)) total += it->file_size(ec);
  }
  return total;
}

bool moveContents(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::create_directories(to, ec);
  for (const auto& e : fs::directory_iterator(from, ec)) {
    fs::rename(e.path(), to / e.path().filename(), ec);
    if (ec) return false;
  }
  return !ec;
}
} // namespace

SimulatedVolumes::SimulatedVolumes(std::unique_ptr<VolumeProvider> fallback)
    : fallback_(std::move(fallback)) {}

void SimulatedVolumes::addDrive(const std::string& root) {
  std::error_code ec;
  fs::create_directories(root, ec);
  drives_[key(root)] = Drive{};
}

void SimulatedVolumes::addDisk(const std::string& disk, uint64_t capacity, const std::string& label) {
  // The disk's files wait in a private folder beside the first drive's parent when out.
  const fs::path store = fs::temp_directory_path() / ("kvdisk-" + std::to_string(::getpid()) + "-" + disk);
  std::error_code ec;
  fs::remove_all(store, ec);
  fs::create_directories(store, ec);
  disks_[disk] = Disk{capacity, label, store.string()};
}

void SimulatedVolumes::addUnformattedDisk(const std::string& disk, uint64_t capacity) {
  addDisk(disk, capacity, "");
  disks_[disk].formatted = false;
}

void SimulatedVolumes::refuseLabels(const std::string& disk, bool refuse) {
  auto it = disks_.find(disk);
  if (it != disks_.end()) it->second.labelRefused = refuse;
}

SimulatedVolumes::Drive* SimulatedVolumes::findDrive(const std::string& root) {
  auto it = drives_.find(key(root));
  return it == drives_.end() ? nullptr : &it->second;
}

bool SimulatedVolumes::insert(const std::string& root, const std::string& disk) {
  Drive* d = findDrive(root);
  auto it = disks_.find(disk);
  if (!d || d->disk || it == disks_.end()) return false;
  if (!it->second.formatted) {
    // Nothing can be written to a disk without a file system: the drive has no directory.
    std::error_code ec;
    if (!fs::remove(key(root), ec) && fs::exists(key(root))) return false;
  } else if (!moveContents(it->second.store, key(root))) {
    return false;
  }
  d->disk = disk;
  return true;
}

bool SimulatedVolumes::eject(const std::string& root) {
  Drive* d = findDrive(root);
  if (!d || !d->disk) return false;
  if (!disks_[*d->disk].formatted) {
    std::error_code ec;
    fs::create_directories(key(root), ec);
  } else if (!moveContents(key(root), disks_[*d->disk].store)) {
    return false;
  }
  d->disk.reset();
  return true;
}

std::optional<std::string> SimulatedVolumes::diskIn(const std::string& root) const {
  auto it = drives_.find(key(root));
  return it == drives_.end() ? std::nullopt : it->second.disk;
}

std::string SimulatedVolumes::volumeRoot(const std::string& path) {
  // The innermost drive holds the path: a disk may be mounted below another disk's root.
  const std::string full = includeTrailingPathDelimiter(expandFileName(path));
  std::string found;
  for (const auto& [root, drive] : drives_)
    if (full.starts_with(root) && root.size() > found.size()) found = root;
  return found.empty() ? fallback_->volumeRoot(path) : found;
}

DriveType SimulatedVolumes::driveType(const std::string& root) {
  if (findDrive(root)) return DriveType::Removable;
  return fallback_->driveType(root);
}

std::optional<VolumeSpace> SimulatedVolumes::space(const std::string& root) {
  Drive* d = findDrive(root);
  if (!d) return fallback_->space(root);
  if (!d->disk || !disks_[*d->disk].formatted) return std::nullopt;
  const uint64_t cap = disks_[*d->disk].capacity;
  const uint64_t used = bytesIn(key(root));
  return VolumeSpace{used >= cap ? 0 : cap - used, cap};
}

std::optional<std::string> SimulatedVolumes::label(const std::string& root) {
  Drive* d = findDrive(root);
  if (!d) return fallback_->label(root);
  if (!d->disk || !disks_[*d->disk].formatted) return std::nullopt;
  return disks_[*d->disk].label;
}

bool SimulatedVolumes::setLabel(const std::string& root, const std::string& label) {
  Drive* d = findDrive(root);
  if (!d) return forward([&] { return fallback_->setLabel(root, label); });
  failure_.clear();
  if (!d->disk) return false;
  Disk& disk = disks_[*d->disk];
  if (!disk.formatted || disk.labelRefused) return false;
  disk.label = label;
  return true;
}

bool SimulatedVolumes::format(const std::string& root) {
  Drive* d = findDrive(root);
  if (!d) return forward([&] { return fallback_->format(root); });
  failure_.clear();
  if (!d->disk) return false;
  std::error_code ec;
  Disk& disk = disks_[*d->disk];
  if (!disk.formatted) {
    fs::create_directories(key(root), ec);
    disk.formatted = !ec;
  } else {
    for (const auto& e : fs::directory_iterator(key(root), ec))
      fs::remove_all(e.path(), ec);
  }
  disk.label.clear();
  return !ec;
}

FormatResult SimulatedVolumes::formatVolume(const std::string& root) {
  if (!findDrive(root)) return forward([&] { return fallback_->formatVolume(root); });
  failure_.clear();
  ++formatRequests_;
  if (formatAnswer_ != FormatResult::Done) return formatAnswer_;
  return format(root) ? FormatResult::Done : FormatResult::Failed;
}

} // namespace kv::platform
