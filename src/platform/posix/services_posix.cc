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
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/command_line.h"
#include "platform/name_case.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/proc_table.h"
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

Status MakeFolders(const std::string& folder) {
  std::string path;
  for (size_t at = 0; at != std::string::npos;) {
    const size_t next = folder.find('/', at + 1);
    path = folder.substr(0, next);
    if (!path.empty() && mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
      return ErrnoError("mkdir", path, errno);
    }
    at = next;
  }
  return Status::Ok();
}

// Holds the state folder's lock file locked while it lives.
class FolderLock {
 public:
  static Result<std::unique_ptr<FolderLock>> Take(const std::string& folder) {
    Status made = MakeFolders(folder);
    if (!made) return made.error();
    const std::string path = folder + "/.lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return ErrnoError("open", path, errno);
    while (flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        const int error = errno;
        close(fd);
        return ErrnoError("flock", path, error);
      }
    }
    return std::unique_ptr<FolderLock>(new FolderLock(fd));
  }
  ~FolderLock() { close(fd_); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  explicit FolderLock(int fd) : fd_(fd) {}
  int fd_;
};

// The recorded process of one service.
struct Record {
  pid_t pid = 0;
  uint64_t start_ticks = 0;
  uint64_t started_ms = 0;
  uint64_t stop_ms = 0;  // when the stop control came; 0: none
  bool killed = false;
  bool running = false;  // reported running once: it stays so

  bool Alive() const { return pid > 0 && LiveProcessStartTicks(pid) == start_ticks; }
};

std::optional<Record> LoadRecord(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  Record record;
  std::string key;
  uint64_t value = 0;
  while (in >> key >> value) {
    if (key == "pid") record.pid = static_cast<pid_t>(value);
    if (key == "start_ticks") record.start_ticks = value;
    if (key == "started_ms") record.started_ms = value;
    if (key == "stop_ms") record.stop_ms = value;
    if (key == "killed") record.killed = value != 0;
    if (key == "running") record.running = value != 0;
  }
  return record;
}

Status SaveRecord(const std::string& path, const Record& record) {
  std::ofstream out(path, std::ios::trunc);
  out << "pid " << record.pid << "\nstart_ticks " << record.start_ticks << "\nstarted_ms "
      << record.started_ms << "\nstop_ms " << record.stop_ms << "\nkilled " << record.killed
      << "\nrunning " << record.running << "\n";
  out.close();
  if (!out) return ErrnoError("write", path, errno != 0 ? errno : EIO);
  return Status::Ok();
}

// The inodes of the listening TCP sockets of this network namespace.
std::set<std::string> ListeningSocketInodes() {
  std::set<std::string> inodes;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
      if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
            timeout >> inode)) {
        continue;
      }
      if (state == "0A") inodes.insert(inode);
    }
  }
  return inodes;
}

bool ListensOnTcp(pid_t pid) {
  const std::set<std::string> inodes = ListeningSocketInodes();
  if (inodes.empty()) return false;
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  DIR* fds = opendir(folder.c_str());
  if (fds == nullptr) return false;
  bool listens = false;
  while (const dirent* entry = readdir(fds)) {
    char target[128];
    const ssize_t length =
        readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
    if (length <= 0) continue;
    const std::string link(target, static_cast<size_t>(length));
    if (link.rfind("socket:[", 0) == 0 && inodes.count(link.substr(8, link.size() - 9)) != 0) {
      listens = true;
      break;
    }
  }
  closedir(fds);
  return listens;
}

// %NAME% replaced by the variable's value, as Windows expands an
// expandable string; unknown names stay as written.
std::string ExpandVariables(const std::string& text) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find('%', at);
    const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      out += text.substr(at);
      break;
    }
    out += text.substr(at, open - at);
    const std::string name = text.substr(open + 1, close - open - 1);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    out += value != nullptr ? std::string(value) : text.substr(open, close - open + 1);
    at = close + 1;
  }
  return out;
}

std::vector<std::string> ServiceEnvironment(const RegKeyData& key) {
  std::vector<std::string> environment = CurrentEnvironment();
  const RegValue* extra = key.Find("Environment");
  if (extra == nullptr || extra->kind != RegValue::Kind::kMultiString) return environment;
  for (const std::string& assignment : extra->strings) {
    const std::string name = assignment.substr(0, assignment.find('=') + 1);
    std::erase_if(environment, [&](const std::string& entry) { return entry.rfind(name, 0) == 0; });
    environment.push_back(assignment);
  }
  return environment;
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
    const auto record = LoadRecord(record_path_);
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
    request.working_folder = "/";
    request.detached = true;
    request.output_file = folder_ + "/" + name_ + ".log";
    auto pid = Spawn(request);
    if (!pid) return pid.error();
    Record started;
    started.pid = *pid;
    started.start_ticks = LiveProcessStartTicks(*pid).value_or(0);
    started.started_ms = NowMs();
    return SaveRecord(record_path_, started);
  }

  Status Control(uint32_t control, ServiceStatus* status) override {
    if (control != kServiceControlStop) {
      return ServiceError("ControlService", name_, kErrorInvalidServiceControl,
                          "The requested control is not valid for this service.");
    }
    if ((access_ & kServiceStop) == 0) return Denied("ControlService");
    auto lock = FolderLock::Take(folder_);
    if (!lock) return lock.error();
    auto record = LoadRecord(record_path_);
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
    Status saved = SaveRecord(record_path_, *record);
    if (!saved) return saved;
    *status = ServiceStatus{kServiceStopPending, 1, kStopHintMs};
    return Status::Ok();
  }

  Result<ServiceStatus> QueryStatus() override {
    if ((access_ & kServiceQueryStatus) == 0) return Denied("QueryServiceStatus");
    auto lock = FolderLock::Take(folder_);
    if (!lock) return lock.error();
    auto record = LoadRecord(record_path_);
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
  ServiceStatus CurrentStatus(std::optional<Record>& record) {
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
        (void)SaveRecord(record_path_, *record);
      }
      return ServiceStatus{kServiceStopPending, static_cast<uint32_t>(1 + stopping / kStopHintMs),
                           kStopHintMs};
    }
    const uint64_t running_for = now - record->started_ms;
    if (!record->running && ListensOnTcp(record->pid)) {
      record->running = true;
      (void)SaveRecord(record_path_, *record);
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
