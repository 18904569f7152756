// The Linux implementations of the platform areas. Private to platform/posix.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/posix/reg_file.h"

namespace updater::platform {

// errno after a failed `call` about `path`, as a SystemError.
SystemError ErrnoError(const std::string& call, const std::string& path, int error_number);

// `path` with every component that does not exist as written replaced by an
// existing entry of the same folder whose name differs only in letter case,
// as Windows would find it. Components that exist in no spelling are kept as
// written, so that the call that uses the result fails or creates them.
std::string ResolveNameCase(const std::string& path);

// The folder of the running executable, without a trailing delimiter.
std::string ExecutableFolder();

class PosixLibraries final : public Libraries {
 public:
  Result<std::unique_ptr<Library>> Load(const std::string& file_name) override;
};

class PosixClock final : public Clock {
 public:
  LocalTime Now() override;
  uint64_t MonotonicMs() override;
  void Sleep(uint32_t milliseconds) override;
  std::string ShortDate(const LocalTime& time) override;
  std::string LongTime(const LocalTime& time) override;
};

class PosixFileSystem final : public FileSystem {
 public:
  Result<std::string> FullPath(const std::string& path) override;
  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  Result<std::vector<FolderEntry>> ListFolder(const std::string& folder) override;
  Result<uint32_t> GetAttributes(const std::string& path) override;
  Status SetAttributes(const std::string& path, uint32_t attributes) override;
  Status RemoveFile(const std::string& path) override;
  Status RemoveFolder(const std::string& path) override;
  Status CreateFolder(const std::string& path) override;
  Status CopyWholeFile(const std::string& source, const std::string& target) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Result<uint64_t> ExclusiveFileSize(const std::string& path) override;
  Status WriteFile(const std::string& path, const std::string& bytes) override;
  Status AppendToFile(const std::string& path, const std::string& bytes) override;
  Status FlushToDisk(const std::string& path) override;
  Result<std::string> ReadFile(const std::string& path) override;
  Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) override;
  Result<std::unique_ptr<OutputFile>> OpenOutputFile(const std::string& path, bool append) override;
  // Nothing to report: this file system does not retry.
  void ReportRetriesTo(RetryObserver*) override {}
  Result<bool> IniSectionExists(const std::string& path, const std::string& section) override;
  Result<std::optional<std::string>> IniReadString(const std::string& path,
                                                   const std::string& section,
                                                   const std::string& key) override;
  Status IniWriteString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) override;
};

// Where the registry file is: the environment variable UPDATER_REGISTRY_FILE,
// or /etc/updater-marlix/registry.reg.
std::string RegistryFileFromEnvironment();

// Where the service stand-in keeps its state: the environment variable
// UPDATER_SERVICE_STATE_DIR, or /run/updater-marlix/services.
std::string ServiceStateFolderFromEnvironment();

// The registry read from a .reg file. A missing file is a registry without
// keys.
class PosixRegistry final : public Registry {
 public:
  explicit PosixRegistry(std::string file);
  bool KeyExists(const std::string& key_path) override;
  Result<std::unique_ptr<RegistryKey>> OpenKeyReadOnly(const std::string& key_path) override;

  // The file as it is now.
  Result<RegFile> Load();

 private:
  std::string file_;
};

// The service control manager stand-in (services_posix.cc): the services are
// the keys under HKLM\SYSTEM\CurrentControlSet\Services of `registry`; the
// processes started for them are recorded in `state_folder`.
class PosixServiceControl final : public ServiceControl {
 public:
  PosixServiceControl(PosixRegistry& registry, std::string state_folder);
  Result<std::unique_ptr<ServiceManager>> OpenManager(const std::string& machine,
                                                      uint32_t access) override;

 private:
  PosixRegistry& registry_;
  std::string state_folder_;
};

class PosixProcesses final : public Processes {
 public:
  Result<std::vector<ProcessEntry>> Snapshot() override;
  Status Terminate(uint32_t pid, uint32_t exit_code) override;
  Status SetDebugPrivilege(bool enable) override;
  Result<std::string> OwnExecutablePath() override;
  uint32_t OwnProcessId() override;
  Result<std::unique_ptr<ChildProcess>> Start(const ProcessLaunch& launch) override;
};

// Resources appended to the running executable's file (resource_index.h).
// The file is a parameter so that tests can read resources of another file.
class PosixResources final : public Resources {
 public:
  explicit PosixResources(std::string file = "/proc/self/exe");
  Result<std::unique_ptr<ResourceStream>> Open(const std::string& type,
                                               const std::string& name) override;

 private:
  std::string file_;
};

// Drive kinds from the mount table. The two locations are parameters so that
// tests can hand in a mount table and a /sys tree of their own.
class PosixVolumes final : public Volumes {
 public:
  explicit PosixVolumes(std::string mountinfo_path = "/proc/self/mountinfo",
                        std::string sysfs_root = "/sys");

  std::string DriveRoot(const std::string& path) override;
  DriveType DriveTypeOf(const std::string& root) override;
  Result<uint64_t> FreeBytes(const std::string& root) override;
  Result<std::string> SystemFolder() override;

 private:
  std::string mountinfo_path_;
  std::string sysfs_root_;
};

}  // namespace updater::platform
