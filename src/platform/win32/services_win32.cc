// The service control manager on Windows.
#include "platform/win32/handles.h"

namespace updater::platform {
namespace {

ServiceStatus FromWindows(const SERVICE_STATUS& status) {
  return ServiceStatus{status.dwCurrentState, status.dwCheckPoint, status.dwWaitHint};
}

class Win32Service final : public Service {
 public:
  Win32Service(UniqueServiceHandle handle, std::string name)
      : handle_(std::move(handle)), name_(std::move(name)) {}

  Status Start() override {
    if (!StartServiceW(handle_.get(), 0, nullptr)) return LastError("StartServiceW", name_);
    return Status::Ok();
  }

  Status Control(uint32_t control, ServiceStatus* status) override {
    SERVICE_STATUS reported{};
    if (ControlService(handle_.get(), control, &reported)) {
      *status = FromWindows(reported);
      return Status::Ok();
    }
    const DWORD error = GetLastError();
    // The manager fills in the status for these refusals only.
    if (error == ERROR_INVALID_SERVICE_CONTROL || error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
        error == ERROR_SERVICE_NOT_ACTIVE) {
      *status = FromWindows(reported);
    }
    return Win32Error("ControlService", name_, error);
  }

  Result<ServiceStatus> QueryStatus() override {
    SERVICE_STATUS reported{};
    if (!QueryServiceStatus(handle_.get(), &reported))
      return LastError("QueryServiceStatus", name_);
    return FromWindows(reported);
  }

 private:
  UniqueServiceHandle handle_;
  std::string name_;
};

class Win32ServiceManager final : public ServiceManager {
 public:
  explicit Win32ServiceManager(UniqueServiceHandle handle) : handle_(std::move(handle)) {}

  Result<std::unique_ptr<Service>> OpenNamedService(const std::string& name,
                                                    uint32_t access) override {
    UniqueServiceHandle service(OpenServiceW(handle_.get(), Widen(name).c_str(), access));
    if (!service) return LastError("OpenServiceW", name);
    return std::unique_ptr<Service>(std::make_unique<Win32Service>(std::move(service), name));
  }

 private:
  UniqueServiceHandle handle_;
};

}  // namespace

Result<std::unique_ptr<ServiceManager>> Win32ServiceControl::OpenManager(const std::string& machine,
                                                                         uint32_t access) {
  const std::wstring wide = Widen(machine);
  UniqueServiceHandle manager(
      OpenSCManagerW(machine.empty() ? nullptr : wide.c_str(), nullptr, access));
  if (!manager) return LastError("OpenSCManagerW", machine);
  return std::unique_ptr<ServiceManager>(std::make_unique<Win32ServiceManager>(std::move(manager)));
}

}  // namespace updater::platform
