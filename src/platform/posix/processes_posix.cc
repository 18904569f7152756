// Processes on Linux: the snapshot from /proc, termination with SIGKILL,
// and programs started the way Windows starts them.
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <vector>

#include "platform/command_line.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/proc_table.h"
#include "platform/posix/spawn.h"

namespace updater::platform {
namespace {

class PosixChildProcess final : public ChildProcess {
 public:
  PosixChildProcess(pid_t pid, std::string path) : pid_(pid), path_(std::move(path)) {}
  ~PosixChildProcess() override {
    // A program that has ended is reaped; one that still runs is left to
    // run, as closing a Windows process handle leaves it.
    if (!waited_) waitpid(pid_, nullptr, WNOHANG);
  }
  PosixChildProcess(const PosixChildProcess&) = delete;
  PosixChildProcess& operator=(const PosixChildProcess&) = delete;

  Result<uint32_t> WaitForExit() override {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
      if (errno != EINTR) return ErrnoError("waitpid", path_, errno);
    }
    waited_ = true;
    // A program ended by a signal gets the code a shell would report.
    if (WIFSIGNALED(status)) return static_cast<uint32_t>(128 + WTERMSIG(status));
    return static_cast<uint32_t>(WEXITSTATUS(status));
  }

 private:
  pid_t pid_;
  std::string path_;
  bool waited_ = false;
};

// Bit 5 of the effective capabilities: CAP_KILL, which lets a process end
// the processes of other users.
bool HasKillCapability() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("CapEff:", 0) != 0) continue;
    const unsigned long long bits = std::stoull(line.substr(7), nullptr, 16);
    return (bits & (1ULL << 5)) != 0;
  }
  return false;
}

}  // namespace

Result<std::vector<ProcessEntry>> PosixProcesses::Snapshot() {
  std::vector<ProcessEntry> entries;
  for (const pid_t pid : ListProcessIds()) {
    // A process that has ended (a zombie not yet reaped, or one gone since
    // the listing) is not running.
    if (!LiveProcessStartTicks(pid)) continue;
    if (auto name = ProcessExecutableName(pid)) {
      entries.push_back(ProcessEntry{static_cast<uint32_t>(pid), *name});
    }
  }
  if (entries.empty()) return ErrnoError("opendir", "/proc", ENOENT);
  return entries;
}

// Linux has no exit code to hand a killed process: it ends by SIGKILL.
Status PosixProcesses::Terminate(uint32_t pid, uint32_t) {
  if (kill(static_cast<pid_t>(pid), SIGKILL) != 0) {
    return ErrnoError("kill", std::to_string(pid), errno);
  }
  return Status::Ok();
}

// What the debug privilege gives on Windows, ending any user's process,
// CAP_KILL gives here: enabling succeeds when the process has it.
Status PosixProcesses::SetDebugPrivilege(bool enable) {
  if (!enable || HasKillCapability()) return Status::Ok();
  return SystemError{"SetDebugPrivilege", "", EPERM,
                     "the process lacks CAP_KILL, the right to end other users' processes"};
}

Result<std::string> PosixProcesses::OwnExecutablePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length < 0) return ErrnoError("readlink", "/proc/self/exe", errno);
  return std::string(buffer.data(), static_cast<size_t>(length));
}

uint32_t PosixProcesses::OwnProcessId() { return static_cast<uint32_t>(getpid()); }

Result<std::unique_ptr<ChildProcess>> PosixProcesses::Start(const ProcessLaunch& launch) {
  SpawnRequest request;
  request.path = ResolveNameCase(launch.application);
  request.arguments = SplitCommandLine(launch.command_line);
  if (request.arguments.empty()) request.arguments.push_back(launch.application);
  request.environment = CurrentEnvironment();
  request.working_folder = ResolveNameCase(launch.working_folder);
  auto pid = Spawn(request);
  if (!pid) return pid.error();
  return std::unique_ptr<ChildProcess>(
      std::make_unique<PosixChildProcess>(*pid, launch.application));
}

}  // namespace updater::platform
