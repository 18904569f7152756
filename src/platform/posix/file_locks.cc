#include "platform/posix/file_locks.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <sstream>

#include "platform/posix/handles.h"
#include "platform/posix/proc_table.h"

namespace updater::platform {
namespace {

void IgnoreLeaseBreak(int) {}

// While a lease is held, another process's open makes the kernel send SIGIO
// to the holder, whose default action ends it. The lease is released at
// once, but the signal may still arrive: a handler that does nothing is
// installed before the first lease, unless the program handles SIGIO itself.
void InstallLeaseBreakHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (sigaction(SIGIO, nullptr, &current) != 0) return;
    if (current.sa_handler != SIG_DFL) return;
    struct sigaction quiet {};
    quiet.sa_handler = IgnoreLeaseBreak;
    quiet.sa_flags = SA_RESTART;
    sigemptyset(&quiet.sa_mask);
    sigaction(SIGIO, &quiet, nullptr);
  });
}

enum class LeaseTest { kFree, kHeld, kUntestable };

LeaseTest TryLease(int fd) {
  InstallLeaseBreakHandler();
  if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
    fcntl(fd, F_SETLEASE, F_UNLCK);
    return LeaseTest::kFree;
  }
  return errno == EAGAIN || errno == EBUSY ? LeaseTest::kHeld : LeaseTest::kUntestable;
}

std::string ReadLink(const std::string& path, int* error) {
  char target[PATH_MAX];
  const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
  if (length < 0) {
    *error = errno;
    return {};
  }
  *error = 0;
  return std::string(target, static_cast<size_t>(length));
}

bool IsBelow(std::string path, const std::string& folder) {
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() &&
      path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
    path.resize(path.size() - deleted.size());
  }
  if (folder == "/") return !path.empty() && path[0] == '/';
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

// What one scan of a process found.
enum class Scan { kClear, kFound, kUninspectable };

Scan Combine(Scan a, Scan b) {
  if (a == Scan::kFound || b == Scan::kFound) return Scan::kFound;
  if (a == Scan::kUninspectable || b == Scan::kUninspectable) return Scan::kUninspectable;
  return Scan::kClear;
}

// Runs `matches(fd_link)` on every descriptor of `pid`.
Scan ScanDescriptors(pid_t pid, const std::function<bool(const std::string&)>& matches) {
  switch (WalkDescriptors(pid, matches)) {
    case DescriptorWalk::kStopped:
      return Scan::kFound;
    case DescriptorWalk::kUnreadable:
      return Scan::kUninspectable;
    case DescriptorWalk::kAllSeen:
    case DescriptorWalk::kGone:
      break;
  }
  return Scan::kClear;
}

// Runs `matches(line)` on every line of /proc/PID/maps.
template <typename Match>
Scan ScanMappings(pid_t pid, Match matches) {
  const std::string path = "/proc/" + std::to_string(pid) + "/maps";
  const UniqueStdioFile maps(std::fopen(path.c_str(), "re"));
  if (!maps) return errno == ENOENT ? Scan::kClear : Scan::kUninspectable;
  Scan result = Scan::kClear;
  char* buffer = nullptr;
  size_t capacity = 0;
  ssize_t length = 0;
  while ((length = getline(&buffer, &capacity, maps.get())) > 0) {
    std::string line(buffer, static_cast<size_t>(length));
    if (line.back() == '\n') line.pop_back();
    if (matches(line)) {
      result = Scan::kFound;
      break;
    }
  }
  if (result == Scan::kClear && std::ferror(maps.get()) && errno != ESRCH) {
    result = Scan::kUninspectable;
  }
  std::free(buffer);
  return result;
}

// The device and inode columns of a maps line.
bool MapsLineIs(const std::string& line, dev_t device, ino_t inode) {
  std::istringstream fields(line);
  std::string range, permissions, offset, dev;
  unsigned long long node = 0;
  if (!(fields >> range >> permissions >> offset >> dev >> node)) return false;
  const size_t colon = dev.find(':');
  if (colon == std::string::npos || node != inode) return false;
  const unsigned dev_major = static_cast<unsigned>(std::stoul(dev.substr(0, colon), nullptr, 16));
  const unsigned dev_minor = static_cast<unsigned>(std::stoul(dev.substr(colon + 1), nullptr, 16));
  return dev_major == major(device) && dev_minor == minor(device);
}

std::string MapsLinePath(const std::string& line) {
  // The path is the sixth column and may hold blanks.
  std::istringstream fields(line);
  std::string skip;
  for (int i = 0; i < 5; ++i) fields >> skip;
  std::string path;
  std::getline(fields, path);
  const size_t start = path.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : path.substr(start);
}

Holders ScanForFile(dev_t device, ino_t inode) {
  const pid_t self = getpid();
  bool unknown = false;
  for (const pid_t pid : ListProcessIds()) {
    // The caller's own descriptor is the one being tested.
    if (pid == self) continue;
    const Scan fds = ScanDescriptors(pid, [&](const std::string& link) {
      struct stat info {};
      return stat(link.c_str(), &info) == 0 && info.st_dev == device && info.st_ino == inode;
    });
    const Scan maps =
        ScanMappings(pid, [&](const std::string& line) { return MapsLineIs(line, device, inode); });
    const Scan scan = Combine(fds, maps);
    if (scan == Scan::kFound) return Holders::kOthers;
    if (scan == Scan::kUninspectable) unknown = true;
  }
  return unknown ? Holders::kUnknown : Holders::kNone;
}

// Lease tests of every regular file below `folder`, links not followed.
Holders LeaseEveryFile(const std::string& folder) {
  const UniqueDir dir(opendir(folder.c_str()));
  if (!dir) return Holders::kUnknown;
  Holders result = Holders::kNone;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) continue;
    Holders here = Holders::kNone;
    if (S_ISDIR(info.st_mode)) {
      here = LeaseEveryFile(path);
    } else if (S_ISREG(info.st_mode)) {
      const UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
      if (!fd) {
        here = errno == EWOULDBLOCK ? Holders::kOthers : Holders::kUnknown;
      } else {
        const LeaseTest test = TryLease(fd.get());
        here = test == LeaseTest::kFree   ? Holders::kNone
               : test == LeaseTest::kHeld ? Holders::kOthers
                                          : Holders::kUnknown;
      }
    }
    if (here == Holders::kOthers) {
      result = here;
      break;
    }
    if (here == Holders::kUnknown) result = here;
  }
  return result;
}

}  // namespace

Holders FileHolders(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return Holders::kUnknown;
  if (!S_ISREG(info.st_mode)) return Holders::kNone;
  switch (TryLease(fd)) {
    case LeaseTest::kFree:
      return Holders::kNone;
    case LeaseTest::kHeld:
      return Holders::kOthers;
    case LeaseTest::kUntestable:
      break;
  }
  return ScanForFile(info.st_dev, info.st_ino);
}

Holders FolderHolders(const std::string& real_folder) {
  bool uninspectable = false;
  for (const pid_t pid : ListProcessIds()) {
    const std::string base = "/proc/" + std::to_string(pid);
    Scan scan = Scan::kClear;
    for (const char* link : {"/cwd", "/root"}) {
      int error = 0;
      const std::string target = ReadLink(base + link, &error);
      if (error == 0 && IsBelow(target, real_folder)) scan = Scan::kFound;
      // Kernel threads and exited processes have no links to read.
      if (error != 0 && error != ENOENT) scan = Combine(scan, Scan::kUninspectable);
    }
    scan = Combine(scan, ScanDescriptors(pid, [&](const std::string& fd_link) {
                     int error = 0;
                     const std::string target = ReadLink(fd_link, &error);
                     return error == 0 && IsBelow(target, real_folder);
                   }));
    scan = Combine(scan, ScanMappings(pid, [&](const std::string& line) {
                     const std::string path = MapsLinePath(line);
                     return !path.empty() && path[0] == '/' && IsBelow(path, real_folder);
                   }));
    if (scan == Scan::kFound) return Holders::kOthers;
    if (scan == Scan::kUninspectable) uninspectable = true;
  }
  return uninspectable ? LeaseEveryFile(real_folder) : Holders::kNone;
}

}  // namespace updater::platform
