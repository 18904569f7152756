// The process table as a list, and the programs Start can run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace updater::testing {

class FakeProcesses final : public platform::Processes {
 public:
  // Adds a running process and returns its id. One that is not terminable
  // refuses termination (access denied), as a protected process does.
  uint32_t Add(const std::string& exe_name, bool terminable = true);
  // Ends a process as if it had exited on its own.
  void Remove(uint32_t pid);
  // The process exits on its own right after the next snapshot has listed
  // it (a connection that closes while the server is being stopped): a
  // termination attempted from that snapshot finds it gone.
  void ExitOnceListed(uint32_t pid);
  bool Running(uint32_t pid) const;
  // The names of the running processes, in the table's order.
  std::vector<std::string> RunningNames() const;

  // A program Start can run: `application` (a full path, compared exactly)
  // ends with `exit_code` after `action`, if given, has run when the caller
  // waits for it. Start fails for any other program (file not found).
  void AddProgram(const std::string& application, uint32_t exit_code,
                  std::function<void(const platform::ProcessLaunch&)> action = {});

  bool snapshot_fails = false;                    // Snapshot fails (access denied)
  bool privilege_available = true;                // SetDebugPrivilege(true) fails when false
  bool debug_privilege = false;                   // the privilege's state in the token
  std::vector<platform::ProcessLaunch> launches;  // every started program, in order
  std::vector<uint32_t> terminated;               // ended processes, in order
  std::string own_executable;                     // what OwnExecutablePath gives; empty: fails
  uint32_t own_pid = 1;                           // what OwnProcessId gives

  platform::Result<std::vector<platform::ProcessEntry>> Snapshot() override;
  platform::Status Terminate(uint32_t pid, uint32_t exit_code) override;
  platform::Status SetDebugPrivilege(bool enable) override;
  platform::Result<std::string> OwnExecutablePath() override;
  uint32_t OwnProcessId() override { return own_pid; }
  platform::Result<std::unique_ptr<platform::ChildProcess>> Start(
      const platform::ProcessLaunch& launch) override;

 private:
  struct Process {
    uint32_t pid;
    std::string exe_name;
    bool terminable;
    bool exits_once_listed = false;
  };
  struct Program {
    std::string application;
    uint32_t exit_code;
    std::function<void(const platform::ProcessLaunch&)> action;
  };
  std::vector<Process> table_;
  std::vector<Program> programs_;
  uint32_t next_pid_ = 100;
};

}  // namespace updater::testing
