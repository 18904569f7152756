// Drives and volumes: which drive a path lies on, what kind of drive it is,
// how much space it has free, and where the system folder is.
#pragma once

#include <cstdint>
#include <string>

#include "platform/result.h"

namespace updater::platform {

// The drive kinds of GetDriveType, with their Windows numbers.
enum class DriveType : uint32_t {
  kUnknown = 0,
  kNoRootDir = 1,
  kRemovable = 2,
  kFixed = 3,
  kRemote = 4,
  kCdRom = 5,
  kRamDisk = 6,
};

class Volumes {
 public:
  virtual ~Volumes() = default;

  // The root of the drive that holds the full path `path`, ending in a
  // delimiter. Windows: the drive part ("C:" for "C:\...", "\\server\share"
  // for a UNC path) with "\" added. Linux: the mount point that holds the path
  // with "/" added ("/" for the root file system).
  virtual std::string DriveRoot(const std::string& path) = 0;

  // The kind of the drive whose root is `root`. Windows: GetDriveType. Linux:
  // classified from the mount table: network file systems are kRemote, optical
  // ones kCdRom, memory file systems kRamDisk, a block device that reports
  // itself removable kRemovable, other block devices kFixed, pseudo file
  // systems kUnknown, and a root that does not exist kNoRootDir.
  virtual DriveType DriveTypeOf(const std::string& root) = 0;

  // Free bytes on the drive of `root` that this program can write: Windows the
  // total free bytes of GetDiskFreeSpaceEx; Linux f_bavail times f_frsize of
  // statvfs (reserved blocks excluded, since they cannot be used).
  virtual Result<uint64_t> FreeBytes(const std::string& root) = 0;

  // The system folder, without a trailing delimiter (Windows:
  // GetSystemDirectory; Linux: a documented stand-in).
  virtual Result<std::string> SystemFolder() = 0;
};

}  // namespace updater::platform
