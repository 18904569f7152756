#include "faulty_platform.h"

#include <algorithm>

namespace updater::testing {
namespace {

// `path` is `root` or lies below it (either delimiter counts).
bool AtOrBelow(std::string_view path, std::string_view root) {
  if (root.empty()) return true;
  if (path.compare(0, root.size(), root) != 0) return false;
  if (path.size() == root.size()) return true;
  const char next = path[root.size()];
  const char last = root.back();
  return next == '/' || next == '\\' || last == '/' || last == '\\';
}

class FaultyInputFile final : public platform::InputFileWrapper {
 public:
  FaultyInputFile(std::unique_ptr<platform::InputFile> target, FaultyFileSystem& files,
                  std::string path)
      : InputFileWrapper(std::move(target)), files_(files), path_(std::move(path)) {}

  platform::Result<size_t> Read(char* buffer, size_t size) override {
    if (auto error = files_.CheckStream(FileCall::kStreamRead, "ReadFile", path_)) return *error;
    return InputFileWrapper::Read(buffer, size);
  }
  platform::Result<size_t> ReadAt(uint64_t offset, char* buffer, size_t size) override {
    if (auto error = files_.CheckStream(FileCall::kStreamRead, "ReadFile", path_)) return *error;
    return InputFileWrapper::ReadAt(offset, buffer, size);
  }
  platform::Result<uint64_t> Size() override {
    if (auto error = files_.CheckStream(FileCall::kStreamRead, "GetFileSizeEx", path_)) {
      return *error;
    }
    return InputFileWrapper::Size();
  }

 private:
  FaultyFileSystem& files_;
  std::string path_;
};

class FaultyOutputFile final : public platform::OutputFileWrapper {
 public:
  FaultyOutputFile(std::unique_ptr<platform::OutputFile> target, FaultyFileSystem& files,
                   std::string path)
      : OutputFileWrapper(std::move(target)), files_(files), path_(std::move(path)) {}

  platform::Status Write(std::string_view bytes) override {
    if (auto error = files_.CheckStream(FileCall::kStreamWrite, "WriteFile", path_)) {
      return *error;
    }
    return OutputFileWrapper::Write(bytes);
  }
  platform::Status Close() override {
    if (auto error = files_.CheckStream(FileCall::kStreamClose, "CloseHandle", path_)) {
      // The file is closed all the same, as a failed close leaves it.
      (void)OutputFileWrapper::Close();
      return *error;
    }
    return OutputFileWrapper::Close();
  }

 private:
  FaultyFileSystem& files_;
  std::string path_;
};

class FaultyChild final : public platform::ChildProcessWrapper {
 public:
  FaultyChild(std::unique_ptr<platform::ChildProcess> target, FaultyProcesses& processes,
              std::string application)
      : ChildProcessWrapper(std::move(target)),
        processes_(processes),
        application_(std::move(application)) {}

  platform::Result<uint32_t> WaitForExit() override {
    if (auto error = processes_.CheckChild(application_)) return *error;
    return ChildProcessWrapper::WaitForExit();
  }

 private:
  FaultyProcesses& processes_;
  std::string application_;
};

class FaultyService final : public platform::ServiceWrapper {
 public:
  FaultyService(std::unique_ptr<platform::Service> target, FaultyServiceControl& control,
                std::string name)
      : ServiceWrapper(std::move(target)), control_(control), name_(std::move(name)) {}

  platform::Status Start() override {
    if (auto error = control_.CheckCall(ServiceCall::kStart, "StartServiceW", name_)) {
      return *error;
    }
    return ServiceWrapper::Start();
  }
  platform::Status Control(uint32_t control, platform::ServiceStatus* status) override {
    if (auto error = control_.CheckCall(ServiceCall::kControl, "ControlService", name_)) {
      return *error;
    }
    return ServiceWrapper::Control(control, status);
  }
  platform::Result<platform::ServiceStatus> QueryStatus() override {
    if (auto error = control_.CheckCall(ServiceCall::kQueryStatus, "QueryServiceStatus", name_)) {
      return *error;
    }
    return ServiceWrapper::QueryStatus();
  }

 private:
  FaultyServiceControl& control_;
  std::string name_;
};

class FaultyServiceManager final : public platform::ServiceManagerWrapper {
 public:
  FaultyServiceManager(std::unique_ptr<platform::ServiceManager> target,
                       FaultyServiceControl& control)
      : ServiceManagerWrapper(std::move(target)), control_(control) {}

  platform::Result<std::unique_ptr<platform::Service>> OpenNamedService(const std::string& name,
                                                                        uint32_t access) override {
    if (auto error = control_.CheckCall(ServiceCall::kOpenService, "OpenServiceW", name)) {
      return *error;
    }
    auto opened = ServiceManagerWrapper::OpenNamedService(name, access);
    if (!opened) return opened;
    return std::unique_ptr<platform::Service>(
        std::make_unique<FaultyService>(std::move(opened).value(), control_, name));
  }

 private:
  FaultyServiceControl& control_;
};

}  // namespace

platform::SystemError InjectedDenial() {
  return platform::SystemError{"", "", 5, "Access is denied (injected)."};
}

template <typename Call>
std::optional<platform::SystemError> FaultPlan<Call>::Check(
    Call call, const char* name, std::initializer_list<std::string_view> paths) {
  calls_.push_back(call);
  std::optional<platform::SystemError> failure;
  // Every rule counts the call, also when an earlier one already fails it.
  for (Rule& rule : rules_) {
    const Fault<Call>& fault = rule.fault;
    if (fault.call != Call::kAny && fault.call != call) continue;
    const auto about = std::find_if(paths.begin(), paths.end(), [&](std::string_view path) {
      return AtOrBelow(path, fault.path);
    });
    if (about == paths.end()) continue;
    ++rule.matched;
    const bool fails = rule.matched >= fault.nth && rule.matched - fault.nth < fault.times;
    if (!fails || failure) continue;
    failure = fault.error;
    if (failure->call.empty()) failure->call = name;
    if (failure->path.empty()) failure->path = std::string(*about);
  }
  if (failure) ++injected_;
  return failure;
}

template <typename Call>
int FaultPlan<Call>::Calls(Call call) const {
  return static_cast<int>(std::count_if(
      calls_.begin(), calls_.end(), [&](Call made) { return call == Call::kAny || made == call; }));
}

template class FaultPlan<FileCall>;
template class FaultPlan<ProcessCall>;
template class FaultPlan<ServiceCall>;

// A call of the file system: counted, and failed when a rule says so.
#define UPDATER_FILE_FAULT(kind, name, ...)                                 \
  do {                                                                      \
    if (auto injected = plan_.Check(FileCall::kind, name, {__VA_ARGS__})) { \
      return *injected;                                                     \
    }                                                                       \
  } while (false)

platform::Result<std::string> FaultyFileSystem::FullPath(const std::string& path) {
  UPDATER_FILE_FAULT(kFullPath, "GetFullPathNameW", path);
  return FileSystemWrapper::FullPath(path);
}
platform::Result<std::vector<platform::FolderEntry>> FaultyFileSystem::ListFolder(
    const std::string& folder) {
  UPDATER_FILE_FAULT(kListFolder, "FindFirstFileW", folder);
  return FileSystemWrapper::ListFolder(folder);
}
platform::Result<uint32_t> FaultyFileSystem::GetAttributes(const std::string& path) {
  UPDATER_FILE_FAULT(kGetAttributes, "GetFileAttributesW", path);
  return FileSystemWrapper::GetAttributes(path);
}
platform::Status FaultyFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  UPDATER_FILE_FAULT(kSetAttributes, "SetFileAttributesW", path);
  return FileSystemWrapper::SetAttributes(path, attributes);
}
platform::Status FaultyFileSystem::RemoveFile(const std::string& path) {
  UPDATER_FILE_FAULT(kRemoveFile, "DeleteFileW", path);
  return FileSystemWrapper::RemoveFile(path);
}
platform::Status FaultyFileSystem::RemoveFolder(const std::string& path) {
  UPDATER_FILE_FAULT(kRemoveFolder, "RemoveDirectoryW", path);
  return FileSystemWrapper::RemoveFolder(path);
}
platform::Status FaultyFileSystem::CreateFolder(const std::string& path) {
  UPDATER_FILE_FAULT(kCreateFolder, "CreateDirectoryW", path);
  return FileSystemWrapper::CreateFolder(path);
}
platform::Status FaultyFileSystem::CopyWholeFile(const std::string& source,
                                                 const std::string& target) {
  UPDATER_FILE_FAULT(kCopyWholeFile, "CopyFileW", source, target);
  return FileSystemWrapper::CopyWholeFile(source, target);
}
platform::Status FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
  UPDATER_FILE_FAULT(kRename, "MoveFileW", from, to);
  return FileSystemWrapper::Rename(from, to);
}
platform::Result<uint64_t> FaultyFileSystem::ExclusiveFileSize(const std::string& path) {
  UPDATER_FILE_FAULT(kExclusiveFileSize, "CreateFileW", path);
  return FileSystemWrapper::ExclusiveFileSize(path);
}
platform::Status FaultyFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  UPDATER_FILE_FAULT(kWriteFile, "CreateFileW", path);
  return FileSystemWrapper::WriteFile(path, bytes);
}
platform::Status FaultyFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  UPDATER_FILE_FAULT(kAppendToFile, "CreateFileW", path);
  return FileSystemWrapper::AppendToFile(path, bytes);
}
platform::Status FaultyFileSystem::FlushToDisk(const std::string& path) {
  UPDATER_FILE_FAULT(kFlushToDisk, "FlushFileBuffers", path);
  return FileSystemWrapper::FlushToDisk(path);
}
platform::Result<std::string> FaultyFileSystem::ReadFile(const std::string& path) {
  UPDATER_FILE_FAULT(kReadFile, "CreateFileW", path);
  return FileSystemWrapper::ReadFile(path);
}
platform::Result<std::unique_ptr<platform::InputFile>> FaultyFileSystem::OpenInputFile(
    const std::string& path) {
  UPDATER_FILE_FAULT(kOpenInputFile, "CreateFileW", path);
  auto opened = FileSystemWrapper::OpenInputFile(path);
  if (!opened) return opened;
  return std::unique_ptr<platform::InputFile>(
      std::make_unique<FaultyInputFile>(std::move(opened).value(), *this, path));
}
platform::Result<std::unique_ptr<platform::OutputFile>> FaultyFileSystem::OpenOutputFile(
    const std::string& path, bool append) {
  UPDATER_FILE_FAULT(kOpenOutputFile, "CreateFileW", path);
  auto opened = FileSystemWrapper::OpenOutputFile(path, append);
  if (!opened) return opened;
  return std::unique_ptr<platform::OutputFile>(
      std::make_unique<FaultyOutputFile>(std::move(opened).value(), *this, path));
}
platform::Result<bool> FaultyFileSystem::IniSectionExists(const std::string& path,
                                                          const std::string& section) {
  UPDATER_FILE_FAULT(kIniSectionExists, "GetPrivateProfileSectionNamesW", path);
  return FileSystemWrapper::IniSectionExists(path, section);
}
platform::Result<std::optional<std::string>> FaultyFileSystem::IniReadString(
    const std::string& path, const std::string& section, const std::string& key) {
  UPDATER_FILE_FAULT(kIniReadString, "GetPrivateProfileStringW", path);
  return FileSystemWrapper::IniReadString(path, section, key);
}
platform::Status FaultyFileSystem::IniWriteString(const std::string& path,
                                                  const std::string& section,
                                                  const std::string& key,
                                                  const std::string& value) {
  UPDATER_FILE_FAULT(kIniWriteString, "WritePrivateProfileStringW", path);
  return FileSystemWrapper::IniWriteString(path, section, key, value);
}

#undef UPDATER_FILE_FAULT

platform::Result<std::vector<platform::ProcessEntry>> FaultyProcesses::Snapshot() {
  if (auto error = plan_.Check(ProcessCall::kSnapshot, "CreateToolhelp32Snapshot", {""})) {
    return *error;
  }
  return ProcessesWrapper::Snapshot();
}
platform::Status FaultyProcesses::Terminate(uint32_t pid, uint32_t exit_code) {
  if (auto error = plan_.Check(ProcessCall::kTerminate, "OpenProcess", {std::to_string(pid)})) {
    return *error;
  }
  return ProcessesWrapper::Terminate(pid, exit_code);
}
platform::Status FaultyProcesses::SetDebugPrivilege(bool enable) {
  if (auto error = plan_.Check(ProcessCall::kSetDebugPrivilege, "AdjustTokenPrivileges", {""})) {
    return *error;
  }
  return ProcessesWrapper::SetDebugPrivilege(enable);
}
platform::Result<std::string> FaultyProcesses::OwnExecutablePath() {
  if (auto error = plan_.Check(ProcessCall::kOwnExecutablePath, "GetModuleFileNameW", {""})) {
    return *error;
  }
  return ProcessesWrapper::OwnExecutablePath();
}
platform::Result<std::unique_ptr<platform::ChildProcess>> FaultyProcesses::Start(
    const platform::ProcessLaunch& launch) {
  if (auto error = plan_.Check(ProcessCall::kStart, "CreateProcessW", {launch.application})) {
    return *error;
  }
  auto started = ProcessesWrapper::Start(launch);
  if (!started) return started;
  return std::unique_ptr<platform::ChildProcess>(
      std::make_unique<FaultyChild>(std::move(started).value(), *this, launch.application));
}

platform::Result<std::unique_ptr<platform::ServiceManager>> FaultyServiceControl::OpenManager(
    const std::string& machine, uint32_t access) {
  if (auto error = plan_.Check(ServiceCall::kOpenManager, "OpenSCManagerW", {machine})) {
    return *error;
  }
  auto opened = ServiceControlWrapper::OpenManager(machine, access);
  if (!opened) return opened;
  return std::unique_ptr<platform::ServiceManager>(
      std::make_unique<FaultyServiceManager>(std::move(opened).value(), *this));
}

}  // namespace updater::testing
