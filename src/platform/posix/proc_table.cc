#include "platform/posix/proc_table.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/paths.h"
#include "platform/posix/handles.h"

namespace updater::platform {
namespace {

std::optional<std::string> ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The inodes of the listening TCP sockets of this network namespace.
std::set<std::string> ListeningSocketInodes() {
  std::set<std::string> inodes;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
      if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
            timeout >> inode)) {
        continue;
      }
      if (state == "0A") inodes.insert(inode);
    }
  }
  return inodes;
}

}  // namespace

std::vector<pid_t> ListProcessIds() {
  std::vector<pid_t> pids;
  const UniqueDir proc(opendir("/proc"));
  if (!proc) return pids;
  while (const dirent* entry = readdir(proc.get())) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == '\0' && pid > 0) pids.push_back(static_cast<pid_t>(pid));
  }
  return pids;
}

DescriptorWalk WalkDescriptors(pid_t pid, const std::function<bool(const std::string&)>& visit) {
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  const UniqueDir fds(opendir(folder.c_str()));
  if (!fds) return errno == ENOENT ? DescriptorWalk::kGone : DescriptorWalk::kUnreadable;
  while (const dirent* entry = readdir(fds.get())) {
    if (entry->d_name[0] == '.') continue;
    if (visit(folder + "/" + entry->d_name)) return DescriptorWalk::kStopped;
  }
  return DescriptorWalk::kAllSeen;
}

bool ListensOnTcp(pid_t pid) {
  const std::set<std::string> inodes = ListeningSocketInodes();
  if (inodes.empty()) return false;
  const DescriptorWalk walk = WalkDescriptors(pid, [&](const std::string& fd_link) {
    char target[128];
    const ssize_t length = readlink(fd_link.c_str(), target, sizeof target - 1);
    if (length <= 0) return false;
    const std::string link(target, static_cast<size_t>(length));
    return link.rfind("socket:[", 0) == 0 && inodes.count(link.substr(8, link.size() - 9)) != 0;
  });
  return walk == DescriptorWalk::kStopped;
}

std::optional<uint64_t> LiveProcessStartTicks(pid_t pid) {
  const auto stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return std::nullopt;
  // The command name in parentheses may hold blanks and parentheses itself:
  // the fields start after the last ")".
  const size_t close = stat->rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat->substr(close + 1));
  std::string state;
  fields >> state;
  if (state == "Z" || state == "X" || state == "x") return std::nullopt;
  // state is field 3; starttime is field 22.
  std::string field;
  for (int index = 4; index < 22; ++index) fields >> field;
  uint64_t start_ticks = 0;
  if (!(fields >> start_ticks)) return std::nullopt;
  return start_ticks;
}

std::optional<std::string> ProcessExecutableName(pid_t pid) {
  const std::string base = "/proc/" + std::to_string(pid);
  auto comm = ReadSmallFile(base + "/comm");
  if (!comm) return std::nullopt;
  if (!comm->empty() && comm->back() == '\n') comm->pop_back();
  const auto cmdline = ReadSmallFile(base + "/cmdline");
  if (cmdline && !cmdline->empty()) {
    const std::string first = cmdline->substr(0, cmdline->find('\0'));
    const std::string name = SplitPath(first).name;
    if (!comm->empty() && name.compare(0, comm->size(), *comm) == 0) return name;
  }
  return *comm;
}

}  // namespace updater::platform
