#include "fake_services.h"

#include "platform/strings.h"

namespace updater::testing {
namespace {

using platform::ServiceStatus;

class FakeService final : public platform::Service {
 public:
  FakeService(FakeServiceControl& control, std::string name, uint32_t access)
      : control_(control), name_(std::move(name)), access_(access) {
    ++control_.open_handles;
  }
  ~FakeService() override { --control_.open_handles; }
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  platform::Status Start() override {
    if ((access_ & platform::kServiceStart) == 0) return Denied("StartService");
    return control_.Start(*control_.Find(name_), name_);
  }

  platform::Status Control(uint32_t control, ServiceStatus* status) override {
    if (control != platform::kServiceControlStop) {
      return platform::SystemError{"ControlService", name_, 1052,
                                   "The requested control is not valid for this service."};
    }
    if ((access_ & platform::kServiceStop) == 0) return Denied("ControlService");
    return control_.Stop(*control_.Find(name_), name_, status);
  }

  platform::Result<ServiceStatus> QueryStatus() override {
    if ((access_ & platform::kServiceQueryStatus) == 0) return Denied("QueryServiceStatus");
    return control_.Status(*control_.Find(name_));
  }

 private:
  platform::SystemError Denied(const std::string& call) const {
    return platform::SystemError{call, name_, 5, "Access is denied."};
  }
  FakeServiceControl& control_;
  std::string name_;
  uint32_t access_;
};

class FakeManager final : public platform::ServiceManager {
 public:
  explicit FakeManager(FakeServiceControl& control) : control_(control) { ++control_.open_handles; }
  ~FakeManager() override { --control_.open_handles; }
  FakeManager(const FakeManager&) = delete;
  FakeManager& operator=(const FakeManager&) = delete;

  platform::Result<std::unique_ptr<platform::Service>> OpenNamedService(const std::string& name,
                                                                        uint32_t access) override {
    if (control_.Find(name) == nullptr) {
      return platform::SystemError{"OpenService", name, 1060,
                                   "The specified service does not exist as an installed "
                                   "service."};
    }
    return std::unique_ptr<platform::Service>(
        std::make_unique<FakeService>(control_, name, access));
  }

 private:
  FakeServiceControl& control_;
};

}  // namespace

FakeServiceControl::FakeServiceControl(platform::Clock& clock, FakeProcesses* processes)
    : clock_(clock), processes_(processes) {}

void FakeServiceControl::AddService(const std::string& name, FakeServiceBehaviour behaviour,
                                    uint32_t state) {
  Entry& entry = services_[platform::AsciiUpper(name)];
  entry.behaviour = std::move(behaviour);
  Enter(entry,
        state == platform::kServiceRunning ? Entry::Phase::kRunning : Entry::Phase::kStopped);
}

FakeServiceControl::Entry* FakeServiceControl::Find(const std::string& name) {
  const auto it = services_.find(platform::AsciiUpper(name));
  return it == services_.end() ? nullptr : &it->second;
}

uint32_t FakeServiceControl::StateOf(const std::string& name) {
  Entry* entry = Find(name);
  return entry == nullptr ? 0 : Status(*entry).current_state;
}

int FakeServiceControl::StartCount(const std::string& name) {
  Entry* entry = Find(name);
  return entry == nullptr ? 0 : entry->starts;
}

platform::Result<std::unique_ptr<platform::ServiceManager>> FakeServiceControl::OpenManager(
    const std::string& machine, uint32_t) {
  if (manager_unavailable)
    return platform::SystemError{"OpenSCManager", machine, 5, "Access is denied."};
  if (!machine.empty()) {
    return platform::SystemError{"OpenSCManager", machine, 1722, "The RPC server is unavailable."};
  }
  return std::unique_ptr<platform::ServiceManager>(std::make_unique<FakeManager>(*this));
}

void FakeServiceControl::Enter(Entry& entry, Entry::Phase phase) {
  const bool had_process = entry.phase != Entry::Phase::kStopped;
  entry.phase = phase;
  entry.since_ms = clock_.MonotonicMs();
  if (processes_ == nullptr || entry.behaviour.process_name.empty()) return;
  if (phase == Entry::Phase::kStopped && had_process) {
    processes_->Remove(entry.pid);
  } else if (phase != Entry::Phase::kStopped && !had_process) {
    entry.pid = processes_->Add(entry.behaviour.process_name);
  }
}

ServiceStatus FakeServiceControl::Status(Entry& entry) {
  const FakeServiceBehaviour& b = entry.behaviour;
  const uint64_t elapsed = clock_.MonotonicMs() - entry.since_ms;
  const uint32_t hint = b.wait_hint_ms;
  const auto pending_point = [&] {
    return static_cast<uint32_t>(1 + elapsed / (hint == 0 ? 1 : hint));
  };
  switch (entry.phase) {
    case Entry::Phase::kStarting:
      if (b.hangs_in_start) return {platform::kServiceStartPending, 1, hint};
      if (elapsed >= b.start_ms) {
        Enter(entry, b.dies_in_start ? Entry::Phase::kStopped : Entry::Phase::kRunning);
        return Status(entry);
      }
      if (b.dies_in_start) return {platform::kServiceStartPending, 0, hint};
      return {platform::kServiceStartPending, pending_point(), hint};
    case Entry::Phase::kStopping:
      if (b.hangs_in_stop) return {platform::kServiceStopPending, 1, hint};
      if (elapsed >= b.stop_ms) {
        Enter(entry, Entry::Phase::kStopped);
        return Status(entry);
      }
      return {platform::kServiceStopPending, pending_point(), hint};
    case Entry::Phase::kRunning:
      return {platform::kServiceRunning, 0, 0};
    case Entry::Phase::kStopped:
      break;
  }
  return {platform::kServiceStopped, 0, 0};
}

platform::Status FakeServiceControl::Start(Entry& entry, const std::string& name) {
  if (Status(entry).current_state != platform::kServiceStopped) {
    return platform::SystemError{"StartService", name, platform::kErrorServiceAlreadyRunning,
                                 "An instance of the service is already running."};
  }
  if (entry.behaviour.refuses_start) {
    return platform::SystemError{"StartService", name, 1053,
                                 "The service did not respond to the start or control request "
                                 "in a timely fashion."};
  }
  ++entry.starts;
  Enter(entry, Entry::Phase::kStarting);
  return platform::Status::Ok();
}

platform::Status FakeServiceControl::Stop(Entry& entry, const std::string& name,
                                          ServiceStatus* status) {
  *status = Status(entry);
  if (status->current_state == platform::kServiceStopped) {
    return platform::SystemError{"ControlService", name, platform::kErrorServiceNotActive,
                                 "The service has not been started."};
  }
  if (status->current_state != platform::kServiceRunning) {
    return platform::SystemError{"ControlService", name, 1061,
                                 "The service cannot accept control messages at this time."};
  }
  Enter(entry, Entry::Phase::kStopping);
  *status = Status(entry);
  return platform::Status::Ok();
}

}  // namespace updater::testing
