#include "firebird/uFbService.h"

#include "common/failures.h"
#include "fsutil/uWexrRout.h"
#include "platform/paths.h"
#include "platform/strings.h"

namespace updater {
namespace {

const char kMakerServiceKey[] = "\\SYSTEM\\CurrentControlSet\\Services\\BrenvikFireXBirdServer";
const char kStockUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Firebird 2.0 для ПО ГК "
    "\"Бренвик\"";
const char kStockServerKey[] = "SYSTEM\\CurrentControlSet\\Services\\FirebirdServerDefaultInstance";

const char kUnknownKind[] = "Тип сервера FB определить не удалось.";
const char kDamagedService[] =
    "Сервис FireBird поврежден или не адаптирован для ПО ГК \"Бренвик\". Обновление прервано.";

// The two executables of one installation, Super first: a later match
// overrides an earlier one.
struct KindRule {
  const char* exe;
  const char* kind;
};
constexpr KindRule kMakerKinds[] = {{"FBSRVMRLX.EXE", "SUPER"}, {"FB_INET_SRVMRLX.EXE", "CLASSIC"}};
constexpr KindRule kStockKinds[] = {{"FBSERVER.EXE", "SUPER"}, {"FB_INET_SERVER.EXE", "CLASSIC"}};

// Fills kind, executable, root and connection prefix from the service's
// image path; fails when the path names none of the two executables.
template <size_t N>
void DescribeServer(const std::string& image_path, const KindRule (&rules)[N],
                    TFBServParams& params) {
  const std::string upper = platform::AsciiUpper(image_path);
  for (const KindRule& rule : rules) {
    if (upper.find(rule.exe) != std::string::npos) {
      params.ServerKind = rule.kind;
      params.ServerExe = rule.exe;
    }
  }
  if (params.ServerKind.empty()) throw UpdateFailure(kUnknownKind);

  // The root is the text up to and including the delimiter that begins
  // "<delimiter>bin<delimiter>"; the text is cut, not parsed.
  const std::string delimiter(1, platform::PathDelimiter());
  const size_t bin = image_path.find(delimiter + "bin" + delimiter);
  params.ServerRoot = bin == std::string::npos ? "" : image_path.substr(0, bin + 1);

  std::string port;
  const size_t option = image_path.find("-p ");
  if (option != std::string::npos) {
    port = platform::Trim(image_path.substr(option + 3));
    port = port.substr(0, port.find(' '));
  }
  params.ConnectionPrefix = "localhost/" + (port.empty() ? std::string("3051") : port) + ":";
}

std::string ReadImagePath(platform::RegistryKey& key) {
  return key.ReadString("ImagePath").value_or("");
}

const char kCannotStopService[] =
    "Невозможно остановить службу FireBird-сервера. Попробуйте перезагрузить компьютер и снова "
    "запустить приложение.";
const char kServiceNotStopped[] = "Служба FireBird-сервера не остановлена!";
const char kCannotStartService[] =
    "Невозможно запустить службу FireBird-сервера. Попробуйте перезагрузить компьютер и снова "
    "запустить приложение.";
const char kServiceNotStarted[] = "Служба FireBird-сервера не запущена!";

// The services whose running state counts as a started server, whatever
// service was started.
const char kStockGuardianService[] = "FirebirdGuardianDefaultInstance";
const char kMakerService[] = "BrenvikFireXBirdServer";

// The service waits of this computer (an empty machine name).
const char kThisComputer[] = "";

// Holds the debug privilege enabled while it lives: it is a property of the
// whole process and must not stay on after the processes are ended, on any
// path. Whether the enabling succeeded does not matter: the termination
// reports what it could not end.
class DebugPrivilege {
 public:
  explicit DebugPrivilege(platform::Platform& platform) : platform_(platform) {
    SetDebugPrivilege(platform_, true);
  }
  ~DebugPrivilege() { SetDebugPrivilege(platform_, false); }
  DebugPrivilege(const DebugPrivilege&) = delete;
  DebugPrivilege& operator=(const DebugPrivilege&) = delete;

 private:
  platform::Platform& platform_;
};

void Announce(bool announce, const ServiceNotice& notice, const std::string& text) {
  if (announce && notice) notice(text);
}

}  // namespace

TFBServParams DetectFirebirdServer(platform::Platform& platform) {
  platform::Registry& registry = platform.registry;
  TFBServParams params;

  // A maker's key that exists but refuses to open counts as absent, and the
  // stock installation is looked for instead.
  if (auto maker = registry.OpenKeyReadOnly(kMakerServiceKey); maker.ok()) {
    params.ServiceName = kMakerService;
    DescribeServer(ReadImagePath(*maker.value()), kMakerKinds, params);
    if (params.ServerRoot.empty() || !platform.files.FolderExists(params.ServerRoot)) {
      throw UpdateFailure(kDamagedService);
    }
    return params;
  }

  if (!registry.KeyExists(kStockUninstallKey)) return {};
  // The entry only tells that the stock server was installed for the
  // product; nothing is read from it.
  if (!registry.OpenKeyReadOnly(kStockUninstallKey).ok()) throw UpdateFailure(kDamagedService);

  auto server = registry.OpenKeyReadOnly(kStockServerKey);
  if (!server.ok()) return {};
  // The guardian service controls the stock server; its key is not read.
  params.ServiceName = kStockGuardianService;
  DescribeServer(ReadImagePath(*server.value()), kStockKinds, params);
  return params;
}

void StopFirebirdService(TFBServParams params, bool announce, platform::Platform& platform,
                         const ServiceNotice& notice) {
  if (!StopServiceAndWait(platform, kThisComputer, params.ServiceName)) {
    throw UpdateFailure(kCannotStopService);
  }
  ProcessTermination ended;
  {
    DebugPrivilege privilege(platform);
    ended = TerminateProcessesByNameCounted(platform, params.ServerExe);
  }
  // Any server process left, not only the last one tried, keeps the
  // database files open: the stop has not done its work. One that could
  // not be ended because it exited by itself after the snapshot (a
  // connection that closed) is gone all the same.
  if ((ended.result == 0 || ended.not_ended > 0) &&
      !WaitUntilNoProcessNamed(platform, params.ServerExe)) {
    throw UpdateFailure("Не удалось остановить процесс(ы):" + params.ServerExe +
                        " классического FB сервера. \rВыполните остановку вручную и повторите "
                        "попытку.");
  }
  if (QueryServiceState(platform, kThisComputer, params.ServiceName) != platform::kServiceStopped) {
    throw UpdateFailure(kServiceNotStopped);
  }
  platform.clock.Sleep(kSettleAfterStopMs);
  Announce(announce, notice, "Служба FireBird остановлена.");
}

void StartFirebirdService(TFBServParams params, bool announce, platform::Platform& platform,
                          const ServiceNotice& notice) {
  try {
    StopFirebirdService(params, false, platform);
  } catch (const UpdateFailure&) {
    // A restart: a service that would not stop, or was never there, gets
    // its say in the start that follows.
  }
  if (!StartServiceAndWait(platform, kThisComputer, params.ServiceName)) {
    throw UpdateFailure(kCannotStartService);
  }
  if (QueryServiceState(platform, kThisComputer, kStockGuardianService) !=
          platform::kServiceRunning &&
      QueryServiceState(platform, kThisComputer, kMakerService) != platform::kServiceRunning) {
    throw UpdateFailure(kServiceNotStarted);
  }
  Announce(announce, notice, "Служба FireBird запущена.");
}

}  // namespace updater
