// The mount table of /proc/self/mountinfo, and the drive kind of a mount.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/volumes.h"

namespace updater::platform {

struct MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::string mount_point;  // unescaped
  std::string fs_type;
  std::string source;  // unescaped
};

// Parses mountinfo text; lines that do not parse are skipped.
std::vector<MountEntry> ParseMountInfo(const std::string& text);

// The entry whose mount point holds `real_path` (a path with links resolved):
// the longest mount point that is a prefix of it, the later entry winning
// among equal ones (a mount over another).
std::optional<MountEntry> FindMount(const std::vector<MountEntry>& mounts,
                                    const std::string& real_path);

// The drive kind of `mount`; `sysfs_root` is where /sys is.
DriveType ClassifyMount(const MountEntry& mount, const std::string& sysfs_root);

}  // namespace updater::platform
