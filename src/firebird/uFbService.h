// The installed Firebird server as the updater finds it in the registry, and
// the stop and start of its service.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace updater {

// Where the server is installed and how to stop and start it. All fields are
// empty when no server was detected.
struct TFBServParams {
  std::string ServerRoot;        // installation folder, ending in a delimiter
  std::string ServerKind;        // "SUPER", "CLASSIC" or empty
  std::string ConnectionPrefix;  // "localhost/<port>:" from the service's command line
  std::string ServerExe;         // upper-case executable file name
  std::string ServiceName;       // the service to stop and start
};

// Reads the registry (HKEY_LOCAL_MACHINE, read only) for the two supported
// installations: the maker's own build, registered as the service
// "BrenvikFireXBirdServer", or a stock Firebird 2.0 under the maker's
// uninstall entry, run by the default-instance services. Returns the empty
// record when neither is there. Raises UpdateFailure with "Тип сервера FB
// определить не удалось." when the service's image path names none of its
// two executables, and with "Сервис FireBird поврежден или не адаптирован для
// ПО ГК "Бренвик". Обновление прервано." when the maker's server folder does
// not exist or the uninstall entry cannot be opened. `ConnectionPrefix` is
// "localhost/<port>:" after the image path's "-p <port>", "localhost/3051:"
// without one; the update itself keeps using the profile's ServerPrefix.
TFBServParams DetectFirebirdServer(platform::Platform& platform);

// --- Service control ---------------------------------------------------------

// The fixed pause after every service stop: the server's files and port are
// given time to be released before anything else touches them.
inline constexpr uint32_t kSettleAfterStopMs = 15000;

// Shows the closing notice of a service command (a plain box without icon,
// captioned with the application title, one OK button). The front end
// supplies it: this layer knows no window and no prompt.
using ServiceNotice = std::function<void(const std::string& text)>;

// Stops the service `params.ServiceName` of this computer and waits for it,
// then ends (with the debug privilege enabled for just that, and withdrawn
// on every path) every process whose executable is `params.ServerExe`: a
// Classic server's per-connection processes outlive its service. Checks that
// the service reports stopped, waits 15 seconds on the platform's clock, and
// with `announce` shows the notice "Служба FireBird остановлена." through
// `notice`. Raises UpdateFailure, showing no notice:
// - "Невозможно остановить службу FireBird-сервера. Попробуйте перезагрузить
//   компьютер и снова запустить приложение." when the service did not stop
//   (also when it cannot be opened, as with an empty ServiceName);
// - "Не удалось остановить процесс(ы):<ServerExe> классического FB сервера. ",
//   a CR and "Выполните остановку вручную и повторите попытку." when any
//   process of ServerExe could not be ended or the processes cannot be
//   listed;
// - "Служба FireBird-сервера не остановлена!" when the service reports
//   another state than stopped afterwards.
// An already stopped service counts as stopped: the processes are still
// ended and the wait follows.
void StopFirebirdService(TFBServParams params, bool announce, platform::Platform& platform,
                         const ServiceNotice& notice = {});

// Restarts the server: StopFirebirdService(params, false) with any failure
// it raises discarded, then starts the service `params.ServiceName` and
// waits for it. Succeeds when "FirebirdGuardianDefaultInstance" or
// "BrenvikFireXBirdServer" runs afterwards, whichever was started; with
// `announce` it then shows "Служба FireBird запущена." through `notice`.
// Raises UpdateFailure "Невозможно запустить службу FireBird-сервера.
// Попробуйте перезагрузить компьютер и снова запустить приложение." when
// the service did not reach running, "Служба FireBird-сервера не запущена!"
// when neither of the two services runs afterwards.
void StartFirebirdService(TFBServParams params, bool announce, platform::Platform& platform,
                          const ServiceNotice& notice = {});

}  // namespace updater
