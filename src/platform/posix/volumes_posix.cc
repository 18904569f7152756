// Drives on Linux: the mount table stands in for Windows' drive letters.
#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/paths.h"
#include "platform/posix/mount_table.h"
#include "platform/posix/posix_platform.h"

namespace updater::platform {
namespace {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// `path` with links resolved; a path that does not exist is resolved as far
// as its deepest existing folder, the rest kept as written.
std::string RealPathOfNearest(const std::string& path) {
  std::string head = ResolveNameCase(path);
  while (head.size() > 1 && head.back() == '/') head.pop_back();
  std::string tail;
  for (;;) {
    char real[PATH_MAX];
    if (!head.empty() && realpath(head.c_str(), real) != nullptr) {
      std::string out = real;
      if (!tail.empty()) out += (out == "/" ? "" : "/") + tail;
      return out;
    }
    if (head.find('/') == std::string::npos) return path;
    PathParts parts = SplitPath(head);
    tail = tail.empty() ? parts.name : parts.name + "/" + tail;
    head = std::move(parts.folder);
  }
}

}  // namespace

PosixVolumes::PosixVolumes(std::string mountinfo_path, std::string sysfs_root)
    : mountinfo_path_(std::move(mountinfo_path)), sysfs_root_(std::move(sysfs_root)) {}

std::string PosixVolumes::DriveRoot(const std::string& path) {
  const auto mount =
      FindMount(ParseMountInfo(ReadWholeFile(mountinfo_path_)), RealPathOfNearest(path));
  if (!mount) return "/";
  return mount->mount_point == "/" ? "/" : mount->mount_point + "/";
}

DriveType PosixVolumes::DriveTypeOf(const std::string& root) {
  char real[PATH_MAX];
  struct stat info {};
  if (realpath(ResolveNameCase(root).c_str(), real) == nullptr || stat(real, &info) != 0 ||
      !S_ISDIR(info.st_mode)) {
    return DriveType::kNoRootDir;
  }
  const auto mount = FindMount(ParseMountInfo(ReadWholeFile(mountinfo_path_)), real);
  if (!mount) return DriveType::kUnknown;
  return ClassifyMount(*mount, sysfs_root_);
}

Result<uint64_t> PosixVolumes::FreeBytes(const std::string& root) {
  struct statvfs info {};
  if (statvfs(ResolveNameCase(root).c_str(), &info) != 0) {
    return ErrnoError("statvfs", root, errno);
  }
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

// Linux has no Windows system folder. Its stand-in is the folder of the
// system's libraries, the one that holds the C library this program runs
// with ("/usr/lib/x86_64-linux-gnu" on Debian for x86-64).
Result<std::string> PosixVolumes::SystemFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &info) == 0 ||
      info.dli_fname == nullptr) {
    return SystemError{"dladdr", "gnu_get_libc_version", 0, "the C library cannot be found"};
  }
  char real[PATH_MAX];
  if (realpath(info.dli_fname, real) == nullptr)
    return ErrnoError("realpath", info.dli_fname, errno);
  return SplitPath(real).folder;
}

}  // namespace updater::platform
