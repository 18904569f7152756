#include "fake_processes.h"

#include <algorithm>

namespace updater::testing {
namespace {

class FakeChild final : public platform::ChildProcess {
 public:
  FakeChild(platform::ProcessLaunch launch, uint32_t exit_code,
            std::function<void(const platform::ProcessLaunch&)> action)
      : launch_(std::move(launch)), exit_code_(exit_code), action_(std::move(action)) {}

  platform::Result<uint32_t> WaitForExit() override {
    if (action_) action_(launch_);
    return exit_code_;
  }

 private:
  platform::ProcessLaunch launch_;
  uint32_t exit_code_;
  std::function<void(const platform::ProcessLaunch&)> action_;
};

}  // namespace

uint32_t FakeProcesses::Add(const std::string& exe_name, bool terminable) {
  const uint32_t pid = next_pid_;
  next_pid_ += 4;
  table_.push_back(Process{pid, exe_name, terminable});
  return pid;
}

void FakeProcesses::Remove(uint32_t pid) {
  std::erase_if(table_, [&](const Process& process) { return process.pid == pid; });
}

void FakeProcesses::ExitOnceListed(uint32_t pid) {
  for (Process& process : table_) {
    if (process.pid == pid) process.exits_once_listed = true;
  }
}

bool FakeProcesses::Running(uint32_t pid) const {
  return std::any_of(table_.begin(), table_.end(),
                     [&](const Process& process) { return process.pid == pid; });
}

std::vector<std::string> FakeProcesses::RunningNames() const {
  std::vector<std::string> names;
  for (const Process& process : table_) names.push_back(process.exe_name);
  return names;
}

void FakeProcesses::AddProgram(const std::string& application, uint32_t exit_code,
                               std::function<void(const platform::ProcessLaunch&)> action) {
  programs_.push_back(Program{application, exit_code, std::move(action)});
}

platform::Result<std::vector<platform::ProcessEntry>> FakeProcesses::Snapshot() {
  if (snapshot_fails) {
    return platform::SystemError{"CreateToolhelp32Snapshot", "", 5, "Access is denied."};
  }
  std::vector<platform::ProcessEntry> entries;
  for (const Process& process : table_) entries.push_back({process.pid, process.exe_name});
  std::erase_if(table_, [](const Process& process) { return process.exits_once_listed; });
  return entries;
}

platform::Status FakeProcesses::Terminate(uint32_t pid, uint32_t) {
  const auto it = std::find_if(table_.begin(), table_.end(),
                               [&](const Process& process) { return process.pid == pid; });
  if (it == table_.end()) {
    return platform::SystemError{"OpenProcess", std::to_string(pid), 87,
                                 "The parameter is incorrect."};
  }
  if (!it->terminable) {
    return platform::SystemError{"OpenProcess", std::to_string(pid), 5, "Access is denied."};
  }
  table_.erase(it);
  terminated.push_back(pid);
  return platform::Status::Ok();
}

platform::Status FakeProcesses::SetDebugPrivilege(bool enable) {
  if (enable && !privilege_available) {
    return platform::SystemError{"AdjustTokenPrivileges", "", 1300,
                                 "Not all privileges or groups referenced are assigned to the "
                                 "caller."};
  }
  debug_privilege = enable;
  return platform::Status::Ok();
}

platform::Result<std::string> FakeProcesses::OwnExecutablePath() {
  if (own_executable.empty()) {
    return platform::SystemError{"GetModuleFileNameW", "", 5, "Access is denied."};
  }
  return own_executable;
}

platform::Result<std::unique_ptr<platform::ChildProcess>> FakeProcesses::Start(
    const platform::ProcessLaunch& launch) {
  for (const Program& program : programs_) {
    if (program.application != launch.application) continue;
    launches.push_back(launch);
    return std::unique_ptr<platform::ChildProcess>(
        std::make_unique<FakeChild>(launch, program.exit_code, program.action));
  }
  return platform::SystemError{"CreateProcess", launch.application, 2,
                               "The system cannot find the file specified."};
}

}  // namespace updater::testing
