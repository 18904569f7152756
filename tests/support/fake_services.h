// The service control manager as a small state machine on the fake clock.
// A started service is start pending for a while and then runs; a stopped
// one is stop pending and then stops; pending states report growing check
// points and a wait hint, as Windows services do. Some services misbehave
// on request: they hang in start pending, die during the start, or never
// finish stopping.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "fake_processes.h"
#include "platform/clock.h"
#include "platform/services.h"

namespace updater::testing {

struct FakeServiceBehaviour {
  uint32_t start_ms = 3000;      // start pending this long, then running
  uint32_t stop_ms = 2000;       // stop pending this long, then stopped
  uint32_t wait_hint_ms = 1000;  // reported while pending
  bool hangs_in_start = false;   // start pending for ever, the check point frozen at 1
  bool dies_in_start = false;    // stopped after start_ms, check point 0 throughout
  bool hangs_in_stop = false;    // stop pending for ever, the check point frozen at 1
  bool refuses_start = false;    // StartService fails (the service did not respond)
  // While the service runs (from its start until it has stopped), a process
  // of this name is in the process table given to FakeServiceControl.
  std::string process_name = {};
};

class FakeServiceControl final : public platform::ServiceControl {
 public:
  // `processes` may be null when no service names a process.
  FakeServiceControl(platform::Clock& clock, FakeProcesses* processes);

  // Installs a service, stopped or (for kServiceRunning) already running.
  void AddService(const std::string& name, FakeServiceBehaviour behaviour = {},
                  uint32_t state = platform::kServiceStopped);
  // The state the manager would report now.
  uint32_t StateOf(const std::string& name);
  // How often the service was started successfully.
  int StartCount(const std::string& name);

  bool manager_unavailable = false;  // OpenSCManager fails (access denied)
  // Manager and service handles open now; every routine must close its own.
  int open_handles = 0;

  platform::Result<std::unique_ptr<platform::ServiceManager>> OpenManager(
      const std::string& machine, uint32_t access) override;

  // The machinery the handles use.
  struct Entry {
    FakeServiceBehaviour behaviour;
    enum class Phase { kStopped, kStarting, kRunning, kStopping } phase = Phase::kStopped;
    uint64_t since_ms = 0;
    uint32_t pid = 0;
    int starts = 0;
  };
  Entry* Find(const std::string& name);
  platform::ServiceStatus Status(Entry& entry);
  platform::Status Start(Entry& entry, const std::string& name);
  platform::Status Stop(Entry& entry, const std::string& name, platform::ServiceStatus* status);

 private:
  void Enter(Entry& entry, Entry::Phase phase);
  platform::Clock& clock_;
  FakeProcesses* processes_;
  std::map<std::string, Entry> services_;  // by upper-case name
};

}  // namespace updater::testing
