// updater-sc start|stop|query NAME
//
// Drives the service control manager of this build as Windows' sc.exe
// drives the real one, for the test harness, the demo and an administrator:
// start and stop wait (bounded) until the service has settled, query shows
// its state. Exit code 0 when the service reached the state asked for (for
// query: when it exists), 1 when not, 2 for a wrong command line.
#include <cstring>
#include <iostream>
#include <string>

#include "fsutil/uWexrRout.h"
#include "platform/platform.h"

namespace {

const char* StateName(uint32_t state) {
  static const char* const kNames[] = {
      "?",       "STOPPED",          "START_PENDING", "STOP_PENDING",
      "RUNNING", "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
  return state < 8 ? kNames[state] : "?";
}

void ShowState(const std::string& name, uint32_t state) {
  std::cout << "SERVICE_NAME: " << name << "\n        STATE              : " << state << "  "
            << StateName(state) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "start") != 0 && std::strcmp(argv[1], "stop") != 0 &&
                    std::strcmp(argv[1], "query") != 0)) {
    std::cerr << "usage: updater-sc start|stop|query NAME\n";
    return 2;
  }
  const std::string command = argv[1];
  const std::string name = argv[2];
  updater::platform::Platform& platform = updater::platform::SystemPlatform();

  if (command == "query") {
    auto manager = platform.services.OpenManager("", updater::platform::kScManagerConnect);
    if (!manager) {
      std::cerr << "updater-sc: " << manager.error().Describe() << "\n";
      return 1;
    }
    auto service = manager.value()->OpenNamedService(name, updater::platform::kServiceQueryStatus);
    if (!service) {
      std::cerr << "updater-sc: " << service.error().Describe() << "\n";
      return 1;
    }
    auto status = service.value()->QueryStatus();
    if (!status) {
      std::cerr << "updater-sc: " << status.error().Describe() << "\n";
      return 1;
    }
    ShowState(name, status->current_state);
    return 0;
  }
  const bool reached = command == "start" ? updater::StartServiceAndWait(platform, "", name)
                                          : updater::StopServiceAndWait(platform, "", name);
  ShowState(name, updater::QueryServiceState(platform, "", name));
  return reached ? 0 : 1;
}
