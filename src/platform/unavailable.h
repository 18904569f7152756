// Platform areas that this build does not provide yet. Every call fails with a
// SystemError that says so; nothing pretends to work.
#pragma once

#include <string>

#include "platform/platform.h"

namespace updater::platform {

SystemError NotAvailable(const std::string& call);

class UnavailableRegistry final : public Registry {
 public:
  bool KeyExists(const std::string&) override { return false; }
  Result<std::unique_ptr<RegistryKey>> OpenKeyReadOnly(const std::string& key_path) override;
};

class UnavailableServiceControl final : public ServiceControl {
 public:
  Result<std::unique_ptr<ServiceManager>> OpenManager(const std::string&, uint32_t) override;
};

class UnavailableProcesses final : public Processes {
 public:
  Result<std::vector<ProcessEntry>> Snapshot() override;
  Status Terminate(uint32_t, uint32_t) override;
  Status SetDebugPrivilege(bool) override;
  Result<std::unique_ptr<ChildProcess>> Start(const ProcessLaunch&) override;
};

class UnavailableLibraries final : public Libraries {
 public:
  Result<std::unique_ptr<Library>> Load(const std::string& file_name) override;
};

class UnavailableResources final : public Resources {
 public:
  Result<std::unique_ptr<ResourceStream>> Open(const std::string&, const std::string&) override;
};

}  // namespace updater::platform
