#include "platform/posix/proc_table.h"

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace updater::platform {
namespace {

std::optional<std::string> ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::vector<pid_t> ListProcessIds() {
  std::vector<pid_t> pids;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return pids;
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == '\0' && pid > 0) pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return pids;
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
    const std::string name = first.substr(first.rfind('/') + 1);
    if (!comm->empty() && name.compare(0, comm->size(), *comm) == 0) return name;
  }
  return *comm;
}

}  // namespace updater::platform
