// The terminal front end's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/console/console_front_end.h"

namespace updater::console {

// The window's Start command and the commands of its Service menu.
enum class ConsoleCommand {
  kDatabaseOnline,    // "online"
  kDatabaseShutdown,  // "shutdown"
  kServiceStart,      // "service-start"
  kServiceStop,       // "service-stop"
  kUpdate,            // "update": the window's Start command
  kRecover,           // "recover": the restore of an interrupted update alone
  kVersion,           // "--version"
  kHelp,              // "help", "--help", "-h"
};

struct ConsoleOptions {
  ConsoleCommand command = ConsoleCommand::kHelp;
  std::optional<std::string> folder;      // --folder PATH; none: the profile's DefaultFolder
  Answering answering = Answering::kAsk;  // --answer yes|no
};

// Reads the arguments after the program's name: one command and the
// options, in any order; "--option value" and "--option=value" alike.
// Returns the options, or the reason they are wrong in `error`.
std::optional<ConsoleOptions> ParseConsoleOptions(const std::vector<std::string>& arguments,
                                                  std::string& error);

// The usage text, for `title` (the program's name).
std::string ConsoleUsage(const std::string& title);

}  // namespace updater::console
