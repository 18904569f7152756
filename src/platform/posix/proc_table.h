// The process table of /proc, as the Linux stand-ins read it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
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

// How a walk over the open descriptors of a process ended.
enum class DescriptorWalk {
  kAllSeen,     // every descriptor was visited
  kStopped,     // the visitor found what it looked for
  kGone,        // there is no such process (any more)
  kUnreadable,  // its descriptors cannot be listed (another user's process)
};

// Calls `visit` with the link of every open descriptor of `pid`
// ("/proc/PID/fd/N"), until it returns true.
DescriptorWalk WalkDescriptors(pid_t pid, const std::function<bool(const std::string&)>& visit);

// True when `pid` has a TCP socket open that listens, in this network
// namespace.
bool ListensOnTcp(pid_t pid);

// The file name `pid` was started under: the last component of its first
// argument when the kernel's command name (at most 15 characters) is the
// start of it, the command name otherwise. "fbsrvmrlx.exe" for a server
// started through a link of that name.
std::optional<std::string> ProcessExecutableName(pid_t pid);

}  // namespace updater::platform
