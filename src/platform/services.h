// The service control manager, shaped after its Win32 calls so that the
// start, stop and query algorithms with their checkpoint polling are written
// once above it. On Linux a stand-in serves the services that the registry
// stand-in lists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/result.h"

namespace updater::platform {

// Service states as Windows numbers them.
enum ServiceState : uint32_t {
  kServiceStopped = 1,
  kServiceStartPending = 2,
  kServiceStopPending = 3,
  kServiceRunning = 4,
  kServiceContinuePending = 5,
  kServicePausePending = 6,
  kServicePaused = 7,
};

// Access rights and controls with their Windows values.
inline constexpr uint32_t kScManagerConnect = 0x0001;
inline constexpr uint32_t kServiceQueryStatus = 0x0004;
inline constexpr uint32_t kServiceStart = 0x0010;
inline constexpr uint32_t kServiceStop = 0x0020;
inline constexpr uint32_t kServiceControlStop = 1;

// Windows' error for a control sent to a service that is not running.
inline constexpr int64_t kErrorServiceNotActive = 1062;
// Windows' error for a start of a service that already runs.
inline constexpr int64_t kErrorServiceAlreadyRunning = 1056;

struct ServiceStatus {
  uint32_t current_state = 0;
  uint32_t check_point = 0;
  uint32_t wait_hint_ms = 0;
};

// One open service; closed when destroyed.
class Service {
 public:
  virtual ~Service() = default;

  // StartService with no arguments. Fails with kErrorServiceAlreadyRunning
  // for a running service.
  virtual Status Start() = 0;

  // ControlService: sends `control` and stores the service's status in
  // `*status` whenever the platform reports one, also on failure (a stop sent
  // to a stopped service fails with kErrorServiceNotActive and reports the
  // stopped state).
  virtual Status Control(uint32_t control, ServiceStatus* status) = 0;

  // QueryServiceStatus.
  virtual Result<ServiceStatus> QueryStatus() = 0;
};

// One open service control manager; closed when destroyed.
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;

  // OpenService with the given access rights.
  virtual Result<std::unique_ptr<Service>> OpenNamedService(const std::string& name,
                                                       uint32_t access) = 0;
};

class ServiceControl {
 public:
  virtual ~ServiceControl() = default;

  // OpenSCManager of `machine` (empty: this computer) with `access`.
  virtual Result<std::unique_ptr<ServiceManager>> OpenManager(const std::string& machine,
                                                              uint32_t access) = 0;
};

}  // namespace updater::platform
