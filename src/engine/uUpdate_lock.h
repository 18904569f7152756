// The product folder's lock: one updater at a time changes a product folder.
//
// The lock is a small file, "Updater.lock", in the product folder, made for
// the whole of an update run and removed at its end, however the run ends.
// It is not held open: the lock check of the run renames the product folder,
// which an open file inside would prevent (on Windows, and in the Linux
// build's emulation of Windows' rules). It names the process that made it
// (its id and its executable's name as the process table lists them) and
// when; a lock whose process no longer runs under that name is stale, left
// by an updater that crashed or was killed, and is taken over.
#pragma once

#include <string>

#include "platform/platform.h"

namespace updater {

// The lock file's name inside the product folder.
inline constexpr char kProductFolderLockName[] = "Updater.lock";

class ProductFolderLock {
 public:
  // Makes the lock file of `product_path` (the expanded product folder) for
  // this process. A stale lock is taken over. Raises UpdateFailure when
  // another running updater holds the lock (the message names
  // `folder_as_typed`, the process and when it started) or when the file
  // cannot be made (with the system's text).
  static ProductFolderLock Take(platform::Platform& platform, const std::string& product_path,
                                const std::string& folder_as_typed);

  // Removes the lock file, if it is still this process's. A file that cannot
  // be removed is left: the next updater finds it stale.
  ~ProductFolderLock();
  ProductFolderLock(ProductFolderLock&& other) noexcept;
  ProductFolderLock(const ProductFolderLock&) = delete;
  ProductFolderLock& operator=(const ProductFolderLock&) = delete;
  ProductFolderLock& operator=(ProductFolderLock&&) = delete;

 private:
  ProductFolderLock(platform::Platform& platform, std::string path, std::string content);

  platform::Platform* platform_;
  std::string path_;     // empty once moved from
  std::string content_;  // what this process wrote into the file
};

// Raises UpdateFailure, as ProductFolderLock::Take does, when another
// running updater holds the lock of `product_path`; takes nothing. For
// commands that change the database of a product folder without updating it.
void CheckProductFolderNotLocked(platform::Platform& platform, const std::string& product_path,
                                 const std::string& folder_as_typed);

}  // namespace updater
