// Platform areas that hand every call on to another implementation of the
// same area. A class that changes one behaviour (a retry, a failure on
// demand, an observation) derives from the wrapper and overrides only that
// call; everything else reaches the wrapped implementation unchanged. A call
// added to an area is added here too, so that no wrapper misses it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/processes.h"
#include "platform/services.h"

namespace updater::platform {

class FileSystemWrapper : public FileSystem {
 public:
  // `target` must outlive the wrapper.
  explicit FileSystemWrapper(FileSystem& target) : target_(target) {}

  FileSystem& target() { return target_; }

  Result<std::string> FullPath(const std::string& path) override { return target_.FullPath(path); }
  bool FolderExists(const std::string& path) override { return target_.FolderExists(path); }
  bool FileExists(const std::string& path) override { return target_.FileExists(path); }
  Result<std::vector<FolderEntry>> ListFolder(const std::string& folder) override {
    return target_.ListFolder(folder);
  }
  Result<uint32_t> GetAttributes(const std::string& path) override {
    return target_.GetAttributes(path);
  }
  Status SetAttributes(const std::string& path, uint32_t attributes) override {
    return target_.SetAttributes(path, attributes);
  }
  Status RemoveFile(const std::string& path) override { return target_.RemoveFile(path); }
  Status RemoveFolder(const std::string& path) override { return target_.RemoveFolder(path); }
  Status CreateFolder(const std::string& path) override { return target_.CreateFolder(path); }
  Status CopyWholeFile(const std::string& source, const std::string& target) override {
    return target_.CopyWholeFile(source, target);
  }
  Status Rename(const std::string& from, const std::string& to) override {
    return target_.Rename(from, to);
  }
  Result<uint64_t> ExclusiveFileSize(const std::string& path) override {
    return target_.ExclusiveFileSize(path);
  }
  Status WriteFile(const std::string& path, const std::string& bytes) override {
    return target_.WriteFile(path, bytes);
  }
  Status AppendToFile(const std::string& path, const std::string& bytes) override {
    return target_.AppendToFile(path, bytes);
  }
  Status FlushToDisk(const std::string& path) override { return target_.FlushToDisk(path); }
  Result<std::string> ReadFile(const std::string& path) override { return target_.ReadFile(path); }
  Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) override {
    return target_.OpenInputFile(path);
  }
  Result<std::unique_ptr<OutputFile>> OpenOutputFile(const std::string& path,
                                                     bool append) override {
    return target_.OpenOutputFile(path, append);
  }
  Result<bool> IniSectionExists(const std::string& path, const std::string& section) override {
    return target_.IniSectionExists(path, section);
  }
  Result<std::optional<std::string>> IniReadString(const std::string& path,
                                                   const std::string& section,
                                                   const std::string& key) override {
    return target_.IniReadString(path, section, key);
  }
  Status IniWriteString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) override {
    return target_.IniWriteString(path, section, key, value);
  }
  void ReportRetriesTo(RetryObserver* observer) override { target_.ReportRetriesTo(observer); }

 private:
  FileSystem& target_;
};

class InputFileWrapper : public InputFile {
 public:
  explicit InputFileWrapper(std::unique_ptr<InputFile> target) : target_(std::move(target)) {}

  Result<size_t> Read(char* buffer, size_t size) override { return target_->Read(buffer, size); }
  Result<size_t> ReadAt(uint64_t offset, char* buffer, size_t size) override {
    return target_->ReadAt(offset, buffer, size);
  }
  Result<uint64_t> Size() override { return target_->Size(); }

 private:
  std::unique_ptr<InputFile> target_;
};

class OutputFileWrapper : public OutputFile {
 public:
  explicit OutputFileWrapper(std::unique_ptr<OutputFile> target) : target_(std::move(target)) {}

  Status Write(std::string_view bytes) override { return target_->Write(bytes); }
  uint64_t Position() const override { return target_->Position(); }
  Status Close() override { return target_->Close(); }

 private:
  std::unique_ptr<OutputFile> target_;
};

class ProcessesWrapper : public Processes {
 public:
  // `target` must outlive the wrapper.
  explicit ProcessesWrapper(Processes& target) : target_(target) {}

  Processes& target() { return target_; }

  Result<std::vector<ProcessEntry>> Snapshot() override { return target_.Snapshot(); }
  Status Terminate(uint32_t pid, uint32_t exit_code) override {
    return target_.Terminate(pid, exit_code);
  }
  Status SetDebugPrivilege(bool enable) override { return target_.SetDebugPrivilege(enable); }
  Result<std::string> OwnExecutablePath() override { return target_.OwnExecutablePath(); }
  uint32_t OwnProcessId() override { return target_.OwnProcessId(); }
  Result<std::unique_ptr<ChildProcess>> Start(const ProcessLaunch& launch) override {
    return target_.Start(launch);
  }

 private:
  Processes& target_;
};

class ChildProcessWrapper : public ChildProcess {
 public:
  explicit ChildProcessWrapper(std::unique_ptr<ChildProcess> target) : target_(std::move(target)) {}

  Result<uint32_t> WaitForExit() override { return target_->WaitForExit(); }

 private:
  std::unique_ptr<ChildProcess> target_;
};

class ServiceControlWrapper : public ServiceControl {
 public:
  // `target` must outlive the wrapper.
  explicit ServiceControlWrapper(ServiceControl& target) : target_(target) {}

  ServiceControl& target() { return target_; }

  Result<std::unique_ptr<ServiceManager>> OpenManager(const std::string& machine,
                                                      uint32_t access) override {
    return target_.OpenManager(machine, access);
  }

 private:
  ServiceControl& target_;
};

class ServiceManagerWrapper : public ServiceManager {
 public:
  explicit ServiceManagerWrapper(std::unique_ptr<ServiceManager> target)
      : target_(std::move(target)) {}

  Result<std::unique_ptr<Service>> OpenNamedService(const std::string& name,
                                                    uint32_t access) override {
    return target_->OpenNamedService(name, access);
  }

 private:
  std::unique_ptr<ServiceManager> target_;
};

class ServiceWrapper : public Service {
 public:
  explicit ServiceWrapper(std::unique_ptr<Service> target) : target_(std::move(target)) {}

  Status Start() override { return target_->Start(); }
  Status Control(uint32_t control, ServiceStatus* status) override {
    return target_->Control(control, status);
  }
  Result<ServiceStatus> QueryStatus() override { return target_->QueryStatus(); }

 private:
  std::unique_ptr<Service> target_;
};

}  // namespace updater::platform
