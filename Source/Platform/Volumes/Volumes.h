// Volumes stand in for the drives of the system this replaces: the "drive" of a path is
// the mounted volume that holds it. A provider answers the type, free space and label of
// a volume, sets its label and formats it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace kv::platform {

// With the values of the drive types they stand for.
enum class DriveType {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6
};

// What a format request came to: done, failed, cancelled by the operator, or not
// possible on this volume (nothing was touched).
enum class FormatResult { Done, Failed, Cancelled, Refused };

struct VolumeSpace {
  uint64_t freeBytes = 0; // available to this user
  uint64_t totalBytes = 0;
};

class VolumeProvider {
public:
  virtual ~VolumeProvider() = default;
  // The root (mount point, with a trailing '/') of the volume that holds path, which
  // need not exist yet; empty when no volume holds it.
  virtual std::string volumeRoot(const std::string& path) = 0;
  virtual DriveType driveType(const std::string& root) = 0;
  // Nothing when the volume is not ready (no medium).
  virtual std::optional<VolumeSpace> space(const std::string& root) = 0;
  // The label ("" when it has none); nothing when the volume is not ready.
  virtual std::optional<std::string> label(const std::string& root) = 0;
  virtual bool setLabel(const std::string& root, const std::string& label) = 0;
  virtual bool format(const std::string& root) = 0;
  // Formats the volume and tells how the request ended; a provider that cannot ask or
  // format refuses.
  virtual FormatResult formatVolume(const std::string& root) {
    return format(root) ? FormatResult::Done : FormatResult::Refused;
  }
  // The root of the volume that is in the drive of root now, for a removable drive whose
  // disk was just changed; nothing when the drive is empty (not ready). Where every disk
  // comes back at the same root (a drive folder, a fixed mount point) that is root.
  virtual std::optional<std::string> volumeInDrive(const std::string& root) { return root; }
  // Why the last label or format request was refused, in the words of whoever refused it;
  // "" when it was not refused or nobody said why.
  const std::string& lastFailure() const { return failure_; }

protected:
  std::string failure_;
};

// The provider in use: the real one unless replaced.
VolumeProvider& volumes();
// Replaces the provider; returns the previous one.
std::unique_ptr<VolumeProvider> setVolumes(std::unique_ptr<VolumeProvider> provider);

// The system's volumes: statvfs and the mount table; removable media from the kernel's
// removable flag; labels, labelling and formatting through the desktop's disk service
// (UDisks2, on the system bus or the one DBUS_SYSTEM_BUS_ADDRESS names), labels of volumes
// it does not know from /dev/disk/by-label. A volume the disk service reports mounted
// counts as mounted where it says, with the removable flag it reports for its disk.
// A desktop mounts each stick at a folder of its own (named after its label or id): the
// volume in the drive after a change of disks is the removable volume the disk service has,
// wherever it is mounted, mounted through the service when nobody did.
class RealVolumes : public VolumeProvider {
public:
  std::optional<std::string> volumeInDrive(const std::string& root) override;
  std::string volumeRoot(const std::string& path) override;
  DriveType driveType(const std::string& root) override;
  std::optional<VolumeSpace> space(const std::string& root) override;
  std::optional<std::string> label(const std::string& root) override;
  bool setLabel(const std::string& root, const std::string& label) override;
  bool format(const std::string& root) override { return formatVolume(root) == FormatResult::Done; }
  // Only a removable volume is formatted: vfat, keeping its label, mounted again in its place.
  FormatResult formatVolume(const std::string& root) override;
};

// For tests: directories standing for removable drives into which simulated disks are
// inserted and from which they are ejected. A disk keeps its files, capacity and label
// while it is out; its files sit in the drive directory while it is in. Paths outside
// every simulated drive go to the fallback provider.
class SimulatedVolumes : public VolumeProvider {
public:
  explicit SimulatedVolumes(std::unique_ptr<VolumeProvider> fallback = std::make_unique<RealVolumes>());
  // An empty drive directory (created when missing), removable.
  void addDrive(const std::string& root);
  // A disk kept beside the drives until inserted.
  void addDisk(const std::string& disk, uint64_t capacity, const std::string& label);
  // A disk that was never formatted: while it is in, the drive has no readable label or
  // space and no directory to write to, until it is formatted.
  void addUnformattedDisk(const std::string& disk, uint64_t capacity);
  // A write-protected label: setting it fails.
  void refuseLabels(const std::string& disk, bool refuse = true);
  // How the next format requests end (the operator's answer in the format dialog);
  // Done formats the disk in the drive.
  void setFormatAnswer(FormatResult answer) { formatAnswer_ = answer; }
  int formatRequests() const { return formatRequests_; }
  // Moves the disk's files into the drive; false when the drive is full or either is unknown.
  bool insert(const std::string& root, const std::string& disk);
  // Moves the drive's files back onto the disk that is in it.
  bool eject(const std::string& root);
  std::optional<std::string> diskIn(const std::string& root) const;

  std::string volumeRoot(const std::string& path) override;
  DriveType driveType(const std::string& root) override;
  std::optional<VolumeSpace> space(const std::string& root) override;
  std::optional<std::string> label(const std::string& root) override;
  bool setLabel(const std::string& root, const std::string& label) override;
  bool format(const std::string& root) override;
  FormatResult formatVolume(const std::string& root) override;

private:
  struct Disk {
    uint64_t capacity = 0;
    std::string label;
    std::string store; // folder holding the files while the disk is out
    bool formatted = true;
    bool labelRefused = false;
  };
  struct Drive {
    std::optional<std::string> disk;
  };
  Drive* findDrive(const std::string& root);
  // A request for a volume that is not simulated, and why the fallback refused it.
  template <class Request> auto forward(Request request) {
    auto result = request();
    failure_ = fallback_->lastFailure();
    return result;
  }
  std::unique_ptr<VolumeProvider> fallback_;
  std::map<std::string, Drive> drives_; // keyed by root with a trailing '/'
  std::map<std::string, Disk> disks_;
  FormatResult formatAnswer_ = FormatResult::Done;
  int formatRequests_ = 0;
};

} // namespace kv::platform
