// The terminal front end, Updater_Marlix on Linux: the window's start-up
// and its Service menu commands for an operator without a window. It runs
// one command per start and tells by its exit status how it ended.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/failure_handler.h"
#include "platform/platform.h"
#include "ui/console/terminal.h"

namespace updater::console {

// Exit statuses.
inline constexpr int kExitDone = 0;       // the command returned normally
inline constexpr int kExitFailed = 1;     // a failure, shown on standard error
inline constexpr int kExitUsage = 2;      // the command line is wrong
inline constexpr int kExitAbandoned = 3;  // the operator declined (a silent abort)

// The exit status of a command that ended so.
int ExitStatusOf(CommandOutcome outcome);

// Where the front end reads and writes.
struct ConsoleIo {
  std::ostream& out;  // the on-screen log, the notices and the questions
  std::ostream& err;  // errors, failures and the command line's faults
  Terminal& terminal;
};

// An environment variable's value; nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

// The whole program after its arguments are split: start-up as the window
// does it (the update log opened in "Logs" next to the executable, the
// installed server detected with a failure reported and passed over, the
// default profile applied), then the command of `arguments` with the
// product folder of --folder or the profile's DefaultFolder and, for the
// two database commands, the system password of UPDATER_SYSTEM_PASSWORD, of
// the terminal, or the profile's default. Every failure goes to the
// application-wide failure handler. Returns the exit status.
int RunConsole(const std::vector<std::string>& arguments, platform::Platform& platform,
               ConsoleIo io, const EnvironmentLookup& environment);

}  // namespace updater::console
