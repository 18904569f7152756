#include "ui/win32/help_command.h"

namespace updater::win32 {

HelpCommand BuildHelpCommand(const std::string& program_folder, const std::string& system_folder) {
  const size_t system32 = system_folder.find("\\system32");
  const std::string windows_folder =
      system32 == std::string::npos ? std::string() : system_folder.substr(0, system32);
  return HelpCommand{"\"" + windows_folder + "\\hh.exe\"", "\"" + program_folder + "\\help.chm\""};
}

}  // namespace updater::win32
