// The Windows implementations of the platform areas. Private to
// platform/win32. Every call goes through the W functions with UTF-16 texts.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/transient_retry.h"

namespace updater::platform {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// GetLastError() after a failed `call` about `path`, as a SystemError with
// the system's own text.
SystemError LastError(const std::string& call, const std::string& path);
SystemError Win32Error(const std::string& call, const std::string& path, DWORD code);

// The errors of a file held for a moment by another process, as SQLite's
// Windows layer counts them: sharing and lock violations, a network path
// that dropped for a moment, and access denied where the file's attributes
// do not explain it (transient_retry.h).
TransientErrors Win32TransientErrors();

// The drive part of a full path as Windows names it: "C:" for "C:\...",
// "\\server\share" for a UNC path, empty otherwise.
std::string ExtractFileDrive(const std::string& path);

class Win32Libraries final : public Libraries {
 public:
  Result<std::unique_ptr<Library>> Load(const std::string& file_name) override;
};

class Win32Clock final : public Clock {
 public:
  LocalTime Now() override;
  uint64_t MonotonicMs() override;
  void Sleep(uint32_t milliseconds) override;
  std::string ShortDate(const LocalTime& time) override;
  std::string LongTime(const LocalTime& time) override;
};

class Win32FileSystem final : public FileSystem {
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

class Win32Registry final : public Registry {
 public:
  bool KeyExists(const std::string& key_path) override;
  Result<std::unique_ptr<RegistryKey>> OpenKeyReadOnly(const std::string& key_path) override;
};

class Win32ServiceControl final : public ServiceControl {
 public:
  Result<std::unique_ptr<ServiceManager>> OpenManager(const std::string& machine,
                                                      uint32_t access) override;
};

class Win32Processes final : public Processes {
 public:
  Result<std::vector<ProcessEntry>> Snapshot() override;
  Status Terminate(uint32_t pid, uint32_t exit_code) override;
  Status SetDebugPrivilege(bool enable) override;
  Result<std::string> OwnExecutablePath() override;
  uint32_t OwnProcessId() override;
  Result<std::unique_ptr<ChildProcess>> Start(const ProcessLaunch& launch) override;
};

class Win32Resources final : public Resources {
 public:
  Result<std::unique_ptr<ResourceStream>> Open(const std::string& type,
                                               const std::string& name) override;
};

class Win32Volumes final : public Volumes {
 public:
  std::string DriveRoot(const std::string& path) override;
  DriveType DriveTypeOf(const std::string& root) override;
  Result<uint64_t> FreeBytes(const std::string& root) override;
  Result<std::string> SystemFolder() override;
};

}  // namespace updater::platform
