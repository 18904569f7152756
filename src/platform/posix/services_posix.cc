// The service control manager stand-in of the Linux build.
//
// A service is a key under HKLM\SYSTEM\CurrentControlSet\Services of the
// registry stand-in. Starting it runs its ImagePath, split as Windows splits
// a command line, detached in a session of its own, with the key's
// Environment (NAME=VALUE strings) added to the environment; standard output
// and error go to <state folder>/<name>.log. The process is recorded in
// <state folder>/<name>.state (its pid and start time, so that a reused pid
// is not taken for it). There is no service manager process: every call
// reads the record and the process table, under a lock shared with other
// processes (the updater-sc command).
//
// States: running once the process listens on a TCP port (the Firebird
// server accepts connections: a restarted server whose port is still held
// by the connections of the last one retries its bind for up to a minute,
// and is not running for its clients meanwhile); start pending before that;
// stop pending from the stop control (SIGTERM) until the process has ended,
// with SIGKILL sent by the first call kKillAfterMs after the stop; stopped
// when no recorded process lives. Check points grow while a state is
// pending, so that the caller's bounded wait decides how long a start may
// take.
//
// Beside this state machine: the record (service_record.h), the lock
// (folder_lock.h), what a service is started with (service_environment.h)
// and the look at its sockets (proc_table.h).
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include "platform/command_line.h"
#include "platform/name_case.h"
#include "platform/posix/folder_lock.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/proc_table.h"
#include "platform/posix/service_environment.h"
#include "platform/posix/service_record.h"
#include "platform/posix/spawn.h"

namespace updater::platform {
namespace {

constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr uint32_t kStartHintMs = 100;
constexpr uint32_t kStopHintMs = 250;
constexpr uint64_t kKillAfterMs = 5000;

// Windows' errors for the cases the stand-in reproduces.
constexpr int64_t kErrorAccessDenied = 5;
constexpr int64_t kErrorInvalidServiceControl = 1052;
constexpr int64_t kErrorServiceDoesNotExist = 1060;
constexpr int64_t kErrorServiceCannotAcceptControl = 1061;
constexpr int64_t kErrorRpcServerUnavailable = 1722;

uint64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

SystemError ServiceError(const std::string& call, const std::string& name, int64_t code,
                         const std::string& text) {
  return SystemError{call, name, code, text};
}

class PosixService final : public Service {
 public:
  PosixService(RegKeyData key, std::string name, std::string folder, uint32_t access)
      : key_(std::move(key)),
        name_(std::move(name)),
        folder_(std::move(folder)),
        record_path_(folder_ + "/" + name_ + ".state"),
        access_(access) {}

  Status Start() override {
    if ((access_ & kServiceStart) == 0) return Denied("StartService");
    auto lock = FolderLock::Take(folder_);
    if (!lock) return lock.error();
    const auto record = LoadServiceRecord(record_path_);
    if (record && record->Alive()) {
      return ServiceError("StartService", name_, kErrorServiceAlreadyRunning,
                          "An instance of the service is already running.");
    }
    const RegValue* image = key_.Find("ImagePath");
    if (image == nullptr || image->text.empty()) {
      return ServiceError("StartService", name_, ENOENT, "the service has no ImagePath");
    }
    SpawnRequest request;
    request.arguments = SplitCommandLine(ExpandVariables(image->text));
    if (request.arguments.empty()) {
      return ServiceError("StartService", name_, ENOENT, "the service has no ImagePath");
    }
    request.path = ResolveNameCase(request.arguments[0]);
    request.environment = ServiceEnvironment(key_);
    request.working_folder.push_back('/');  // not = "/": GCC 12 warns wrongly (-Wrestrict)
    request.detached = true;
    request.output_file = folder_ + "/" + name_ + ".log";
    auto pid = Spawn(request);
    if (!pid) return pid.error();
    ServiceRecord started;
    started.pid = *pid;
    started.start_ticks = LiveProcessStartTicks(*pid).value_or(0);
    started.started_ms = NowMs();
    return SaveServiceRecord(record_path_, started);
  }

  Status Control(uint32_t control, ServiceStatus* status) override {
    if (control != kServiceControlStop) {
      return ServiceError("ControlService", name_, kErrorInvalidServiceControl,
                          "The requested control is not valid for this service.");
    }
    if ((access_ & kServiceStop) == 0) return Denied("ControlService");
    auto lock = FolderLock::Take(folder_);
    if (!lock) return lock.error();
    auto record = LoadServiceRecord(record_path_);
    if (!record || !record->Alive()) {
      *status = CurrentStatus(record);
      return ServiceError("ControlService", name_, kErrorServiceNotActive,
                          "The service has not been started.");
    }
    if (record->stop_ms != 0) {
      *status = CurrentStatus(record);
      return ServiceError("ControlService", name_, kErrorServiceCannotAcceptControl,
                          "The service cannot accept control messages at this time.");
    }
    if (kill(record->pid, SIGTERM) != 0) return ErrnoError("kill", name_, errno);
    record->stop_ms = NowMs();
    Status saved = SaveServiceRecord(record_path_, *record);
    if (!saved) return saved;
    *status = ServiceStatus{kServiceStopPending, 1, kStopHintMs};
    return Status::Ok();
  }

  Result<ServiceStatus> QueryStatus() override {
    if ((access_ & kServiceQueryStatus) == 0) return Denied("QueryServiceStatus");
    auto lock = FolderLock::Take(folder_);
    if (!lock) return lock.error();
    auto record = LoadServiceRecord(record_path_);
    return CurrentStatus(record);
  }

 private:
  SystemError Denied(const std::string& call) const {
    return ServiceError(call, name_, kErrorAccessDenied,
                        "Access is denied (the service was opened without that right).");
  }

  // The state the record and the process table give now; moves the record
  // on (SIGKILL after a stop that was not obeyed, the record removed when
  // its process has ended). Called with the lock held.
  ServiceStatus CurrentStatus(std::optional<ServiceRecord>& record) {
    if (!record || !record->Alive()) {
      if (record) unlink(record_path_.c_str());
      record.reset();
      return ServiceStatus{kServiceStopped, 0, 0};
    }
    const uint64_t now = NowMs();
    if (record->stop_ms != 0) {
      const uint64_t stopping = now - record->stop_ms;
      // A process that ignores SIGTERM (the Firebird 3 server now and then)
      // is ended the hard way.
      if (stopping >= kKillAfterMs && !record->killed) {
        kill(record->pid, SIGKILL);
        record->killed = true;
        // Unsaved, the next query sends the signal again: no harm.
        (void)SaveServiceRecord(record_path_, *record);
      }
      return ServiceStatus{kServiceStopPending, static_cast<uint32_t>(1 + stopping / kStopHintMs),
                           kStopHintMs};
    }
    const uint64_t running_for = now - record->started_ms;
    if (!record->running && ListensOnTcp(record->pid)) {
      record->running = true;
      // Unsaved, the next query finds it running again by the same test.
      (void)SaveServiceRecord(record_path_, *record);
    }
    if (record->running) return ServiceStatus{kServiceRunning, 0, 0};
    return ServiceStatus{kServiceStartPending,
                         static_cast<uint32_t>(1 + running_for / kStartHintMs), kStartHintMs};
  }

  RegKeyData key_;
  std::string name_;
  std::string folder_;
  std::string record_path_;
  uint32_t access_;
};

class PosixServiceManager final : public ServiceManager {
 public:
  PosixServiceManager(PosixRegistry& registry, std::string folder)
      : registry_(registry), folder_(std::move(folder)) {}

  Result<std::unique_ptr<Service>> OpenNamedService(const std::string& name,
                                                    uint32_t access) override {
    auto registry = registry_.Load();
    if (!registry) return registry.error();
    const RegKeyData* key =
        name.find('\\') == std::string::npos ? registry->FindKey(kServicesKey + name) : nullptr;
    if (key == nullptr) {
      return ServiceError("OpenService", name, kErrorServiceDoesNotExist,
                          "The specified service does not exist as an installed service.");
    }
    // The registry's spelling names the state files, whatever case the
    // caller used.
    const std::string spelled = key->path.substr(key->path.rfind('\\') + 1);
    return std::unique_ptr<Service>(std::make_unique<PosixService>(*key, spelled, folder_, access));
  }

 private:
  PosixRegistry& registry_;
  std::string folder_;
};

bool IsThisComputer(std::string machine) {
  if (machine.rfind("\\\\", 0) == 0) machine.erase(0, 2);
  if (machine.empty() || NamesEqualIgnoringCase(machine, "localhost") || machine == ".") {
    return true;
  }
  char host[256] = {};
  return gethostname(host, sizeof host - 1) == 0 && NamesEqualIgnoringCase(machine, host);
}

}  // namespace

std::string ServiceStateFolderFromEnvironment() {
  const char* folder = std::getenv("UPDATER_SERVICE_STATE_DIR");
  return folder != nullptr && *folder != '\0' ? folder : "/run/updater-marlix/services";
}

PosixServiceControl::PosixServiceControl(PosixRegistry& registry, std::string state_folder)
    : registry_(registry), state_folder_(std::move(state_folder)) {}

Result<std::unique_ptr<ServiceManager>> PosixServiceControl::OpenManager(const std::string& machine,
                                                                         uint32_t) {
  if (!IsThisComputer(machine)) {
    return ServiceError("OpenSCManager", machine, kErrorRpcServerUnavailable,
                        "The RPC server is unavailable (the stand-in serves this computer only).");
  }
  return std::unique_ptr<ServiceManager>(
      std::make_unique<PosixServiceManager>(registry_, state_folder_));
}

}  // namespace updater::platform
