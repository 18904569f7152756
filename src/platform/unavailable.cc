#include "platform/unavailable.h"

namespace updater::platform {

SystemError NotAvailable(const std::string& call) {
  return SystemError{call, "", 0, "not available in this build"};
}

Result<std::unique_ptr<RegistryKey>> UnavailableRegistry::OpenKeyReadOnly(
    const std::string& key_path) {
  SystemError error = NotAvailable("RegOpenKeyEx");
  error.path = key_path;
  return error;
}

Result<std::unique_ptr<ServiceManager>> UnavailableServiceControl::OpenManager(const std::string&,
                                                                               uint32_t) {
  return NotAvailable("OpenSCManager");
}

Result<std::vector<ProcessEntry>> UnavailableProcesses::Snapshot() {
  return NotAvailable("CreateToolhelp32Snapshot");
}

Status UnavailableProcesses::Terminate(uint32_t, uint32_t) {
  return NotAvailable("TerminateProcess");
}

Status UnavailableProcesses::SetDebugPrivilege(bool) {
  return NotAvailable("AdjustTokenPrivileges");
}

Result<std::unique_ptr<ChildProcess>> UnavailableProcesses::Start(const ProcessLaunch&) {
  return NotAvailable("CreateProcess");
}

Result<std::unique_ptr<Library>> UnavailableLibraries::Load(const std::string& file_name) {
  SystemError error = NotAvailable("LoadLibrary");
  error.path = file_name;
  return error;
}

Result<std::unique_ptr<ResourceStream>> UnavailableResources::Open(const std::string&,
                                                                   const std::string&) {
  return NotAvailable("FindResource");
}

}  // namespace updater::platform
