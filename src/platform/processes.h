// Processes: the snapshot of running processes, their termination, the debug
// privilege of the own token, the own executable's path, and starting a
// program and waiting for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/result.h"

namespace updater::platform {

struct ProcessEntry {
  uint32_t pid = 0;
  // The executable's name as the snapshot lists it (Windows: szExeFile;
  // Linux: the file name the process was started under).
  std::string exe_name;
};

struct ProcessLaunch {
  std::string application;   // the program to start, full path; started exactly
  std::string command_line;  // the whole command line handed to the program
  std::string working_folder;
  int show_command = 1;  // a Windows show-window value (SW_SHOWNORMAL = 1)
};

// A started process; its handles are released when destroyed.
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;

  // Waits with no time limit for the process to end and returns its exit code.
  virtual Result<uint32_t> WaitForExit() = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;

  // Every running process, in the order the platform lists them.
  virtual Result<std::vector<ProcessEntry>> Snapshot() = 0;

  // Opens the process with terminate access and ends it with `exit_code`.
  virtual Status Terminate(uint32_t pid, uint32_t exit_code) = 0;

  // Enables or withdraws SeDebugPrivilege in the own process token. Fails
  // when the token cannot be adjusted or the privilege was not assigned.
  virtual Status SetDebugPrivilege(bool enable) = 0;

  // The full path of the running executable (Windows: GetModuleFileName of
  // the process; Linux: /proc/self/exe). Start-up takes the application
  // title and the program folder from it.
  virtual Result<std::string> OwnExecutablePath() = 0;

  // The id of the own process, as Snapshot lists it.
  virtual uint32_t OwnProcessId() = 0;

  // Starts a program in a new console, with the own environment, handles not
  // inherited.
  virtual Result<std::unique_ptr<ChildProcess>> Start(const ProcessLaunch& launch) = 0;
};

}  // namespace updater::platform
