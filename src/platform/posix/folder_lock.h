// A lock that processes share through a file: the service stand-in's calls
// in every process (the updater, updater-sc) take it on the state folder
// before they read or change a service's record.
#pragma once

#include <memory>
#include <string>

#include "platform/posix/handles.h"
#include "platform/result.h"

namespace updater::platform {

// Holds `folder`/.lock locked (flock, exclusive) while it lives.
class FolderLock {
 public:
  // Creates `folder` with its parents where missing, and waits for the lock.
  static Result<std::unique_ptr<FolderLock>> Take(const std::string& folder);

 private:
  explicit FolderLock(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;  // closing the descriptor releases the lock
};

}  // namespace updater::platform
