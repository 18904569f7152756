// The service and process routines of uWexrRout.
#include <algorithm>

#include "fsutil/uWexrRout.h"
#include "platform/strings.h"

namespace updater {
namespace {

using platform::ServiceStatus;

// Polls `service` while its state is not `target`, sleeping its wait hint
// between two queries, and returns the last status it reported. Stops early
// when a query fails, the check point goes down, the service reports
// stopped while it was expected to start (it will not start any more), or
// kServiceWaitLimitMs have passed on the clock.
ServiceStatus PollUntil(platform::Service& service, platform::Clock& clock, ServiceStatus status,
                        uint32_t target) {
  const uint64_t deadline = clock.MonotonicMs() + kServiceWaitLimitMs;
  while (status.current_state != target) {
    const uint64_t now = clock.MonotonicMs();
    if (now >= deadline) break;
    const uint32_t previous_check_point = status.check_point;
    // A wait hint of 0 would spin; none may outlast the limit.
    const uint64_t pause =
        std::min<uint64_t>(std::max(status.wait_hint_ms, kServicePollMinimumMs), deadline - now);
    clock.Sleep(static_cast<uint32_t>(pause));
    auto next = service.QueryStatus();
    if (!next) break;
    status = *next;
    if (status.check_point < previous_check_point) break;
    if (target == platform::kServiceRunning && status.current_state == platform::kServiceStopped) {
      break;
    }
  }
  return status;
}

// True when `process`'s executable name is `wanted` (upper case): its file
// name part (after the last "\" or ":"), or else the whole name.
bool NameMatches(const platform::ProcessEntry& process, const std::string& wanted) {
  const std::string exe = platform::AsciiUpper(process.exe_name);
  const size_t cut = exe.find_last_of("\\:");
  const std::string file = cut == std::string::npos ? exe : exe.substr(cut + 1);
  return file == wanted || exe == wanted;
}

}  // namespace

bool StartServiceAndWait(platform::Platform& platform, const std::string& machine,
                         const std::string& service_name) {
  uint32_t state = platform::kServiceStopped;
  auto manager = platform.services.OpenManager(machine, platform::kScManagerConnect);
  if (!manager) return false;
  auto service = manager.value()->OpenNamedService(
      service_name, platform::kServiceStart | platform::kServiceQueryStatus);
  if (!service) return false;
  if (service.value()->Start()) {
    if (auto first = service.value()->QueryStatus()) {
      state = PollUntil(*service.value(), platform.clock, *first, platform::kServiceRunning)
                  .current_state;
    }
  }
  return state == platform::kServiceRunning;
}

bool StopServiceAndWait(platform::Platform& platform, const std::string& machine,
                        const std::string& service_name) {
  // No status yet: neither stopped nor anything else.
  ServiceStatus status{};
  auto manager = platform.services.OpenManager(machine, platform::kScManagerConnect);
  if (!manager) return false;
  auto service = manager.value()->OpenNamedService(
      service_name, platform::kServiceStop | platform::kServiceQueryStatus);
  if (!service) return false;
  // A stopped service refuses the control but reports its stopped state.
  if (service.value()->Control(platform::kServiceControlStop, &status)) {
    if (auto queried = service.value()->QueryStatus()) {
      status = PollUntil(*service.value(), platform.clock, *queried, platform::kServiceStopped);
    }
  }
  return status.current_state == platform::kServiceStopped;
}

uint32_t QueryServiceState(platform::Platform& platform, const std::string& machine,
                           const std::string& service_name) {
  auto manager = platform.services.OpenManager(machine, platform::kScManagerConnect);
  if (!manager) return platform::kServiceStopped;
  auto service = manager.value()->OpenNamedService(service_name, platform::kServiceQueryStatus);
  if (!service) return platform::kServiceStopped;
  auto status = service.value()->QueryStatus();
  return status ? status->current_state : uint32_t{platform::kServiceStopped};
}

int TerminateProcessesByName(platform::Platform& platform, const std::string& name) {
  return TerminateProcessesByNameCounted(platform, name).result;
}

ProcessTermination TerminateProcessesByNameCounted(platform::Platform& platform,
                                                   const std::string& name) {
  ProcessTermination outcome;
  auto snapshot = platform.processes.Snapshot();
  // Processes that cannot be listed may still run: not "none matched".
  if (!snapshot) {
    outcome.result = 0;
    return outcome;
  }
  const std::string wanted = platform::AsciiUpper(name);
  for (const platform::ProcessEntry& process : *snapshot) {
    if (!NameMatches(process, wanted)) continue;
    const bool ended = platform.processes.Terminate(process.pid, 0).ok();
    outcome.result = ended ? 1 : 0;
    if (!ended) ++outcome.not_ended;
  }
  return outcome;
}

bool WaitUntilNoProcessNamed(platform::Platform& platform, const std::string& name) {
  const std::string wanted = platform::AsciiUpper(name);
  const uint64_t deadline = platform.clock.MonotonicMs() + kProcessEndWaitMs;
  for (;;) {
    platform.clock.Sleep(kProcessLookIntervalMs);
    auto snapshot = platform.processes.Snapshot();
    if (snapshot && std::none_of(snapshot->begin(), snapshot->end(), [&](const auto& process) {
          return NameMatches(process, wanted);
        })) {
      return true;
    }
    if (platform.clock.MonotonicMs() >= deadline) return false;
  }
}

bool SetDebugPrivilege(platform::Platform& platform, bool enable) {
  return platform.processes.SetDebugPrivilege(enable).ok();
}

}  // namespace updater
