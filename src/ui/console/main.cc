// Updater_Marlix, the terminal front end of the Linux build.
#include <cstdlib>
#include <exception>
#include <iostream>

#include "platform/platform.h"
#include "ui/console/console_app.h"

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return updater::console::RunConsole(arguments, updater::platform::SystemPlatform(),
                                        {std::cout, std::cerr, updater::console::SystemTerminal()},
                                        [](const std::string& name) -> std::optional<std::string> {
                                          const char* value = std::getenv(name.c_str());
                                          if (value == nullptr) return std::nullopt;
                                          return std::string(value);
                                        });
  } catch (const std::exception& e) {
    // Only what the failure handler cannot take (memory exhausted) gets here.
    std::cerr << "Updater_Marlix: " << e.what() << "\n";
    return updater::console::kExitFailed;
  }
}
