#include "ui/console/console_options.h"

namespace updater::console {
namespace {

struct CommandWord {
  const char* word;
  ConsoleCommand command;
};
constexpr CommandWord kCommands[] = {
    {"online", ConsoleCommand::kDatabaseOnline},
    {"shutdown", ConsoleCommand::kDatabaseShutdown},
    {"service-start", ConsoleCommand::kServiceStart},
    {"service-stop", ConsoleCommand::kServiceStop},
    {"update", ConsoleCommand::kUpdate},
    {"recover", ConsoleCommand::kRecover},
    {"--version", ConsoleCommand::kVersion},
    {"help", ConsoleCommand::kHelp},
    {"--help", ConsoleCommand::kHelp},
    {"-h", ConsoleCommand::kHelp},
};

}  // namespace

std::optional<ConsoleOptions> ParseConsoleOptions(const std::vector<std::string>& arguments,
                                                  std::string& error) {
  ConsoleOptions options;
  bool have_command = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    std::optional<std::string> value;
    if (argument.rfind("--", 0) == 0 && argument.find('=') != std::string::npos) {
      value = argument.substr(argument.find('=') + 1);
      argument = argument.substr(0, argument.find('='));
    }
    if (argument == "--folder" || argument == "--answer") {
      if (!value) {
        if (i + 1 == arguments.size()) {
          error = argument + " needs a value";
          return std::nullopt;
        }
        value = arguments[++i];
      }
      if (argument == "--folder") {
        options.folder = *value;
      } else if (*value == "yes") {
        options.answering = Answering::kYes;
      } else if (*value == "no") {
        options.answering = Answering::kNo;
      } else {
        error = "--answer takes yes or no, not \"" + *value + "\"";
        return std::nullopt;
      }
      continue;
    }
    const CommandWord* found = nullptr;
    for (const CommandWord& command : kCommands) {
      if (argument == command.word && !value) found = &command;
    }
    if (found == nullptr) {
      error = "unknown " + std::string(argument.rfind("-", 0) == 0 ? "option" : "command") + " \"" +
              arguments[i] + "\"";
      return std::nullopt;
    }
    if (have_command && options.command != found->command) {
      error = "one command at a time";
      return std::nullopt;
    }
    options.command = found->command;
    have_command = true;
  }
  if (!have_command) {
    error = "no command given";
    return std::nullopt;
  }
  return options;
}

std::string ConsoleUsage(const std::string& title) {
  return "Usage: " + title +
         " COMMAND [--folder PATH] [--answer yes|no]\n"
         "\n"
         "Commands (the window's Start button and its Service menu):\n"
         "  update          update the product in the folder to the version this program\n"
         "                  carries, or roll it back when anything fails\n"
         "  recover         restore the previous version after an update that was cut\n"
         "                  short (a crash, a kill, a power loss); update does it too\n"
         "  online          bring the product's database into multi-user mode (Online)\n"
         "  shutdown        put the product's database into single-user mode (Shutdown)\n"
         "  service-start   start the Firebird service (stopping it first when it runs)\n"
         "  service-stop    stop the Firebird service and end its server processes\n"
         "  help            show this text\n"
         "  --version       show this program's version and the product version it carries\n"
         "\n"
         "Options:\n"
         "  --folder PATH   the product folder (default: the project's default folder,\n"
         "                  where that is a full path on this system: not on Linux)\n"
         "  --answer yes|no answer every Yes/No question so, without asking\n"
         "\n"
         "Environment:\n"
         "  UPDATER_SYSTEM_PASSWORD    the system (SYSDBA) password; when it is not set,\n"
         "                             it is asked for on the terminal without echo (Enter\n"
         "                             keeps the project's default), or, without a terminal,\n"
         "                             the project's default is used\n"
         "  UPDATER_ADMN_PASSWORD      the password of the database user ADMN (update),\n"
         "                             in the same way\n"
         "  UPDATER_REGISTRY_FILE      the registry stand-in's .reg file\n"
         "  UPDATER_SERVICE_STATE_DIR  the service control stand-in's state folder\n"
         "\n"
         "Exit status: 0 done, 1 failed, 2 wrong command line, 3 abandoned by the operator.\n";
}

}  // namespace updater::console
