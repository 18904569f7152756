#include "platform/posix/attributes.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstdlib>

#include "platform/files.h"
#include "platform/posix/posix_platform.h"

namespace updater::platform {
namespace {

constexpr uint32_t kXattrBits = kAttrHidden | kAttrSystem | kAttrArchive;

uint32_t DefaultBits(bool directory) { return directory ? 0u : uint32_t{kAttrArchive}; }

uint32_t ParseBits(const char* text, ssize_t length, bool directory) {
  if (length <= 0) return DefaultBits(directory);
  const std::string value(text, static_cast<size_t>(length));
  char* end = nullptr;
  const unsigned long bits = std::strtoul(value.c_str(), &end, 16);
  if (end == value.c_str()) return DefaultBits(directory);
  return static_cast<uint32_t>(bits) & kXattrBits;
}

std::string FormatBits(uint32_t bits) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text += kDigits[(bits >> 4) & 0xF];
  text += kDigits[bits & 0xF];
  return text;
}

}  // namespace

uint32_t ReadAttributes(const std::string& path, const struct stat& info) {
  if (S_ISLNK(info.st_mode)) {
    struct stat target {};
    const bool to_folder = stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    return to_folder ? uint32_t{kAttrDirectory} : DefaultBits(false);
  }
  const bool directory = S_ISDIR(info.st_mode);
  uint32_t attributes = directory ? uint32_t{kAttrDirectory} : 0;
  if ((info.st_mode & 0222) == 0) attributes |= kAttrReadOnly;
  char value[16];
  const ssize_t length = lgetxattr(path.c_str(), kAttributesXattr, value, sizeof value);
  attributes |= ParseBits(value, length, directory);
  return attributes;
}

Status WriteAttributes(const std::string& path, const struct stat& info, uint32_t attributes) {
  if (S_ISLNK(info.st_mode)) {
    return SystemError{"SetFileAttributes", path, EPERM, "a link has no attributes of its own"};
  }
  const bool read_only = (attributes & kAttrReadOnly) != 0;
  mode_t mode = info.st_mode & 07777;
  if (read_only) {
    mode &= ~mode_t{0222};
  } else if ((mode & 0222) == 0) {
    mode |= S_IWUSR;
  }
  if (mode != (info.st_mode & 07777) && chmod(path.c_str(), mode) != 0) {
    return ErrnoError("chmod", path, errno);
  }
  const bool directory = S_ISDIR(info.st_mode);
  const uint32_t bits = attributes & kXattrBits;
  if (bits == DefaultBits(directory)) {
    if (lremovexattr(path.c_str(), kAttributesXattr) != 0 && errno != ENODATA && errno != ENOTSUP) {
      return ErrnoError("removexattr", path, errno);
    }
    return Status::Ok();
  }
  const std::string text = FormatBits(bits);
  if (lsetxattr(path.c_str(), kAttributesXattr, text.data(), text.size(), 0) != 0) {
    return ErrnoError("setxattr", path, errno);
  }
  return Status::Ok();
}

Status CopyAttributeBits(int from, int to, const std::string& target_path) {
  char value[16];
  const ssize_t length = fgetxattr(from, kAttributesXattr, value, sizeof value);
  if (length < 0) {
    // No bits of its own: the target keeps the defaults a new file has.
    if (errno == ENODATA || errno == ENOTSUP) return Status::Ok();
    return ErrnoError("getxattr", target_path, errno);
  }
  if (fsetxattr(to, kAttributesXattr, value, static_cast<size_t>(length), 0) != 0) {
    return ErrnoError("setxattr", target_path, errno);
  }
  return Status::Ok();
}

}  // namespace updater::platform
