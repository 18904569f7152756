#include "platform/posix/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "platform/posix/posix_platform.h"

namespace updater::platform {

Result<std::unique_ptr<FolderLock>> FolderLock::Take(const std::string& folder) {
  PosixFileSystem files;
  Status made = CreateFolderWithParents(files, folder);
  if (!made) return made.error();
  const std::string path = folder + "/.lock";
  UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd) return ErrnoError("open", path, errno);
  while (flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return ErrnoError("flock", path, errno);
  }
  return std::unique_ptr<FolderLock>(new FolderLock(std::move(fd)));
}

}  // namespace updater::platform
