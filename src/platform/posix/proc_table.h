// The process table of /proc, as the Linux stand-ins read it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace updater::platform {

// The ids of every process /proc lists, in its order.
std::vector<pid_t> ListProcessIds();

// The start time of `pid` in clock ticks since boot (field 22 of
// /proc/PID/stat), or nullopt when the process is gone or already a zombie.
// A pid and its start time name one process even after the pid is reused.
std::optional<uint64_t> LiveProcessStartTicks(pid_t pid);

// The file name `pid` was started under: the last component of its first
// argument when the kernel's command name (at most 15 characters) is the
// start of it, the command name otherwise. "fbsrvmrlx.exe" for a server
// started through a link of that name.
std::optional<std::string> ProcessExecutableName(pid_t pid);

}  // namespace updater::platform
