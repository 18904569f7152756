#include "platform/posix/mount_table.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/paths.h"

namespace updater::platform {
namespace {

// mountinfo writes space, tab, newline and backslash as octal escapes.
std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

bool IsUnder(const std::string& path, const std::string& mount_point) {
  if (mount_point == "/") return true;
  if (path.compare(0, mount_point.size(), mount_point) != 0) return false;
  return path.size() == mount_point.size() || path[mount_point.size()] == '/';
}

const std::set<std::string>& RemoteTypes() {
  static const std::set<std::string> types = {
      "nfs",        "nfs4",      "cifs",        "smb3",        "smbfs",         "ncpfs",
      "ceph",       "9p",        "afs",         "glusterfs",   "lustre",        "davfs",
      "fuse.sshfs", "fuse.s3fs", "fuse.rclone", "fuse.davfs2", "fuse.glusterfs"};
  return types;
}

const std::set<std::string>& PseudoTypes() {
  static const std::set<std::string> types = {
      "proc",   "sysfs",       "cgroup",  "cgroup2",  "devpts",     "debugfs",  "securityfs",
      "pstore", "bpf",         "tracefs", "mqueue",   "hugetlbfs",  "configfs", "fusectl",
      "autofs", "binfmt_misc", "nsfs",    "efivarfs", "rpc_pipefs", "selinuxfs"};
  return types;
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The drive kind of the block device major:minor from its /sys entry.
DriveType ClassifyBlockDevice(unsigned major, unsigned minor, const std::string& sysfs_root) {
  const std::string link =
      sysfs_root + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  char real[PATH_MAX];
  if (realpath(link.c_str(), real) == nullptr) return DriveType::kFixed;
  std::string device = real;
  // A partition's own entry has no "removable"; its disk is the folder above.
  struct stat info {};
  if (stat((device + "/partition").c_str(), &info) == 0) {
    device = SplitPath(device).folder;
  }
  const PathParts disk = SplitPath(device);
  const std::string& name = disk.name;
  if (name.rfind("zram", 0) == 0 || name.rfind("ram", 0) == 0) return DriveType::kRamDisk;
  if (name.rfind("sr", 0) == 0) return DriveType::kCdRom;
  if (ReadFirstLine(device + "/removable") == "1") return DriveType::kRemovable;
  return DriveType::kFixed;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
  std::vector<MountEntry> mounts;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mount_point, options, field;
    if (!(fields >> id >> parent >> device >> root >> mount_point >> options)) continue;
    // Optional fields run up to a lone "-".
    while (fields >> field && field != "-") {
    }
    MountEntry entry;
    if (!(fields >> entry.fs_type >> entry.source)) continue;
    const size_t colon = device.find(':');
    if (colon == std::string::npos) continue;
    entry.major = static_cast<unsigned>(std::strtoul(device.c_str(), nullptr, 10));
    entry.minor = static_cast<unsigned>(std::strtoul(device.c_str() + colon + 1, nullptr, 10));
    entry.mount_point = Unescape(mount_point);
    entry.source = Unescape(entry.source);
    mounts.push_back(entry);
  }
  return mounts;
}

std::optional<MountEntry> FindMount(const std::vector<MountEntry>& mounts,
                                    const std::string& real_path) {
  std::optional<MountEntry> best;
  for (const MountEntry& mount : mounts) {
    if (!IsUnder(real_path, mount.mount_point)) continue;
    if (!best || mount.mount_point.size() >= best->mount_point.size()) best = mount;
  }
  return best;
}

DriveType ClassifyMount(const MountEntry& mount, const std::string& sysfs_root) {
  const std::string& type = mount.fs_type;
  if (RemoteTypes().count(type) != 0) return DriveType::kRemote;
  if (type == "iso9660" || type == "udf") return DriveType::kCdRom;
  if (type == "tmpfs" || type == "ramfs" || type == "devtmpfs") return DriveType::kRamDisk;
  if (PseudoTypes().count(type) != 0) return DriveType::kUnknown;
  if (mount.major != 0) return ClassifyBlockDevice(mount.major, mount.minor, sysfs_root);
  // Anonymous device numbers (btrfs, some fuse file systems): the source may
  // still name the block device.
  struct stat info {};
  if (stat(mount.source.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
    return ClassifyBlockDevice(major(info.st_rdev), minor(info.st_rdev), sysfs_root);
  }
  // A local file system without a block device of its own (overlay and the
  // like) lives on the machine's disks.
  return DriveType::kFixed;
}

}  // namespace updater::platform
