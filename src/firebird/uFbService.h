// The installed Firebird server as the updater finds it in the registry.
#pragma once

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

}  // namespace updater
