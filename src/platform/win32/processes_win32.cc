// Processes on Windows: the Toolhelp snapshot, termination, the debug
// privilege and CreateProcess.
// clang-format off
#include "platform/win32/win32_platform.h"
#include <tlhelp32.h>
// clang-format on

#include <vector>

namespace updater::platform {
namespace {

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

class Win32ChildProcess final : public ChildProcess {
 public:
  Win32ChildProcess(HANDLE process, std::string path) : process_(process), path_(std::move(path)) {}

  Result<uint32_t> WaitForExit() override {
    if (WaitForSingleObject(process_.get(), INFINITE) == WAIT_FAILED) {
      return LastError("WaitForSingleObject", path_);
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.get(), &code)) return LastError("GetExitCodeProcess", path_);
    return static_cast<uint32_t>(code);
  }

 private:
  Handle process_;
  std::string path_;
};

// The attributes that switch a privilege off: no "enabled" bit, only the
// top bit of the 32 set.
constexpr DWORD kPrivilegeDisabled = 0x80000000;

}  // namespace

Result<std::vector<ProcessEntry>> Win32Processes::Snapshot() {
  Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return LastError("CreateToolhelp32Snapshot", "");
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  std::vector<ProcessEntry> entries;
  if (!Process32FirstW(snapshot.get(), &entry)) return LastError("Process32FirstW", "");
  do {
    entries.push_back(ProcessEntry{entry.th32ProcessID, Narrow(entry.szExeFile)});
  } while (Process32NextW(snapshot.get(), &entry));
  return entries;
}

Status Win32Processes::Terminate(uint32_t pid, uint32_t exit_code) {
  Handle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  if (!process.valid()) return LastError("OpenProcess", std::to_string(pid));
  if (!TerminateProcess(process.get(), exit_code)) {
    return LastError("TerminateProcess", std::to_string(pid));
  }
  return Status::Ok();
}

Status Win32Processes::SetDebugPrivilege(bool enable) {
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &raw_token)) {
    return LastError("OpenProcessToken", "");
  }
  Handle token(raw_token);
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  if (!LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &privileges.Privileges[0].Luid)) {
    return LastError("LookupPrivilegeValueW", "SeDebugPrivilege");
  }
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : kPrivilegeDisabled;
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr);
  // Success with a partial assignment (the token lacks the privilege) sets
  // ERROR_NOT_ALL_ASSIGNED: only a last error of 0 is success.
  const DWORD error = GetLastError();
  if (error != ERROR_SUCCESS) return Win32Error("AdjustTokenPrivileges", "SeDebugPrivilege", error);
  return Status::Ok();
}

Result<std::string> Win32Processes::OwnExecutablePath() {
  // The path may be longer than MAX_PATH: the buffer grows until it fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return LastError("GetModuleFileNameW", "");
    if (length < path.size()) {
      path.resize(length);
      return Narrow(path);
    }
    path.resize(path.size() * 2);
  }
}

uint32_t Win32Processes::OwnProcessId() { return GetCurrentProcessId(); }

Result<std::unique_ptr<ChildProcess>> Win32Processes::Start(const ProcessLaunch& launch) {
  const std::wstring application = Widen(launch.application);
  std::wstring command_line = Widen(launch.command_line);
  const std::wstring folder = Widen(launch.working_folder);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(launch.show_command);
  PROCESS_INFORMATION started{};
  // The application name makes Windows start exactly this program, however
  // its path reads in the command line.
  if (!CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    return LastError("CreateProcessW", launch.application);
  }
  CloseHandle(started.hThread);
  return std::unique_ptr<ChildProcess>(
      std::make_unique<Win32ChildProcess>(started.hProcess, launch.application));
}

}  // namespace updater::platform
