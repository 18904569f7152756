// Starting programs on Linux, for the process and service stand-ins.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/result.h"

namespace updater::platform {

struct SpawnRequest {
  std::string path;                      // the file executed, exactly this one
  std::vector<std::string> arguments;    // argv, the program's name first
  std::vector<std::string> environment;  // the whole environment, NAME=VALUE
  std::string working_folder;            // empty: the caller's
  // In a session of its own and not a child of the caller (it is started
  // through an intermediate process that ends at once), as a service runs.
  bool detached = false;
  // Standard output and error are appended to this file; empty: the
  // caller's. Standard input is always /dev/null, and no other descriptor is
  // inherited.
  std::string output_file;
};

// Starts the program and returns its process id once it runs the new
// program; fails with the errno of the step that failed (the working folder,
// the output file or execve) without leaving a process behind.
Result<pid_t> Spawn(const SpawnRequest& request);

// The environment of this process, NAME=VALUE.
std::vector<std::string> CurrentEnvironment();

}  // namespace updater::platform
