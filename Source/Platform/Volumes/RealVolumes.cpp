#include "Platform/Paths/Paths.h"
#include "Platform/Volumes/UDisks.h"
#include "Platform/Volumes/Volumes.h"

#include <cctype>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <vector>

namespace kv::platform {

namespace {

struct Mount {
  std::string point; // without a trailing '/', except "/"
  std::string fsType;
  std::string source;
  unsigned major = 0, minor = 0;
};

// mountinfo escapes blanks and the like as \ooo.
std::string unescapeOctal(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      const std::string oct = s.substr(i + 1, 3);
      if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::stoi(oct, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

std::vector<Mount> readMounts() {
  std::vector<Mount> mounts;
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string id, parent, devno, root, point;
    ls >> id >> parent >> devno >> root >> point;
    std::string word;
    while (ls >> word && word != "-") {
    }
    Mount m;
    ls >> m.fsType >> m.source;
    m.point = unescapeOctal(point);
    const auto colon = devno.find(':');
    if (colon != std::string::npos) {
      m.major = static_cast<unsigned>(std::stoul(devno.substr(0, colon)));
      m.minor = static_cast<unsigned>(std::stoul(devno.substr(colon + 1)));
    }
    mounts.push_back(m);
  }
  return mounts;
}

bool isUnder(const std::string& path, const std::string& point) {
  if (point == "/") return true;
  return path == point ||
         (path.size() > point.size() && path.starts_with(point) && path[point.size()] == '/');
}

// The last mount of the longest matching point wins, as later mounts hide earlier ones.
std::optional<Mount> mountOf(const std::string& path) {
  std::optional<Mount> best;
  for (const auto& m : readMounts())
    if (isUnder(path, m.point) && (!best || m.point.size() >= best->point.size())) best = m;
  return best;
}

std::optional<Mount> mountAt(const std::string& root) {
  const std::string point = excludeTrailingPathDelimiter(expandFileName(root));
  auto m = mountOf(point);
  if (!m || m->point != point) return std::nullopt;
  return m;
}

std::string readSmallFile(const std::string& name) {
  std::ifstream in(name);
  std::string s;
  std::getline(in, s);
  return s;
}

// What the disk service reports mounted at the root, if anything.
std::optional<udisks::MountedVolume> serviceVolumeAt(const std::string& root) {
  const std::string point = excludeTrailingPathDelimiter(expandFileName(root));
  for (auto& v : udisks::mountedVolumes())
    if (v.mountPoint == point) return v;
  return std::nullopt;
}

bool removableDevice(unsigned major, unsigned minor) {
  const std::string dev = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  std::string flag = readSmallFile(dev + "/removable");
  if (flag.empty()) flag = readSmallFile(dev + "/../removable"); // a partition: ask its disk
  return flag == "1";
}

} // namespace

std::string RealVolumes::volumeRoot(const std::string& path) {
  if (path.empty()) return {};
  const std::string full = excludeTrailingPathDelimiter(expandFileName(path));
  const auto m = mountOf(full);
  std::string point = m ? m->point : std::string();
  for (const auto& v : udisks::mountedVolumes())
    if (isUnder(full, v.mountPoint) && v.mountPoint.size() > point.size()) point = v.mountPoint;
  return point.empty() ? std::string() : includeTrailingPathDelimiter(point);
}

DriveType RealVolumes::driveType(const std::string& root) {
  const auto m = mountAt(root);
  if (!m) {
    const auto v = serviceVolumeAt(root);
    if (!v) return DriveType::NoRootDir;
    return v->removable ? DriveType::Removable : DriveType::Fixed;
  }
  const std::string& t = m->fsType;
  if (t == "tmpfs" || t == "ramfs") return DriveType::RamDisk;
  if (t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" || t == "fuse.sshfs" ||
      t == "afs" || t == "9p" || t == "ceph" || t == "glusterfs")
    return DriveType::Remote;
  if (t == "iso9660" || t == "udf") return DriveType::CdRom;
  if (m->major != 0 && removableDevice(m->major, m->minor)) return DriveType::Removable;
  return DriveType::Fixed;
}

std::optional<VolumeSpace> RealVolumes::space(const std::string& root) {
  struct statvfs vs {};
  if (root.empty() || ::statvfs(root.c_str(), &vs) != 0) return std::nullopt;
  return VolumeSpace{static_cast<uint64_t>(vs.f_bavail) * vs.f_frsize,
                     static_cast<uint64_t>(vs.f_blocks) * vs.f_frsize};
}

std::optional<std::string> RealVolumes::label(const std::string& root) {
  if (const auto v = serviceVolumeAt(root)) return v->label;
  const auto m = mountAt(root);
  if (!m) return std::nullopt;
  DIR* dir = ::opendir("/dev/disk/by-label");
  if (!dir) return std::string();
  std::string found;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::stat(("/dev/disk/by-label/" + name).c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
        ::major(st.st_rdev) == m->major && ::minor(st.st_rdev) == m->minor) {
      // udev writes unsafe characters as \xHH.
      for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            isxdigit(static_cast<unsigned char>(name[i + 3]))) {
          found += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
          i += 3;
        } else {
          found += name[i];
        }
      }
      break;
    }
  }
  ::closedir(dir);
  return found;
}

std::optional<std::string> RealVolumes::volumeInDrive(const std::string& root) {
  failure_.clear();
  // Something mounted at the root: the disk came back where the last one was.
  if (mountAt(root) || serviceVolumeAt(root)) return root;
  const auto point = udisks::removableVolume(excludeTrailingPathDelimiter(expandFileName(root)), failure_);
  if (!point) return std::nullopt;
  return includeTrailingPathDelimiter(*point);
}

bool RealVolumes::setLabel(const std::string& root, const std::string& label) {
  failure_.clear();
  return udisks::setLabel(excludeTrailingPathDelimiter(expandFileName(root)), label, failure_);
}

FormatResult RealVolumes::formatVolume(const std::string& root) {
  failure_.clear();
  if (driveType(root) != DriveType::Removable) {
    failure_ = root + " is not the root of a removable volume";
    return FormatResult::Refused;
  }
  return udisks::format(excludeTrailingPathDelimiter(expandFileName(root)), failure_);
}

} // namespace kv::platform
