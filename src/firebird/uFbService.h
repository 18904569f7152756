// The installed Firebird server as the updater found it.
#pragma once

#include <string>

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

}  // namespace updater
