// The help command: the updater's help file "help.chm" beside the executable,
// opened in the Windows HTML Help viewer.
#pragma once

#include <string>

namespace updater::win32 {

// The program the shell starts and its argument, each in double quotes.
struct HelpCommand {
  std::string viewer;    // "<Windows folder>\hh.exe"
  std::string argument;  // "<program folder>\help.chm"
};

// The command for the program folder `program_folder` (without a trailing
// "\") and the system folder `system_folder` (SystemFolderPath). The
// Windows folder is the system folder's text before its first "\system32",
// compared exactly (so "C:\WINDOWS" for "C:\WINDOWS\system32\"); without one
// it is empty and the viewer is "\hh.exe", which the shell then fails to
// find.
HelpCommand BuildHelpCommand(const std::string& program_folder, const std::string& system_folder);

}  // namespace updater::win32
