#include "ui/console/console_app.h"

#include "common/failures.h"
#include "engine/database_commands.h"
#include "engine/profiles.h"
#include "engine/retry_log.h"
#include "engine/service_commands.h"
#include "engine/startup.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_options.h"

namespace updater::console {
namespace {

// The application title before the executable's own name is known.
const char kDefaultTitle[] = "Updater_Marlix";

const char kPasswordVariable[] = "UPDATER_SYSTEM_PASSWORD";

// The system password field as the window would hand it over: set from the
// environment, typed on the terminal (an empty line keeps the pre-filled
// default), or the pre-filled default when nobody can be asked.
std::string SystemPassword(const ProfileFields& fields, ConsoleIo& io,
                           const EnvironmentLookup& environment) {
  if (std::optional<std::string> set = environment(kPasswordVariable)) return *set;
  if (!io.terminal.Interactive()) return fields.SystemPassword;
  io.out << "Системный пароль (Enter: по умолчанию): " << std::flush;
  const std::optional<std::string> typed = io.terminal.ReadSecretLine();
  return typed && !typed->empty() ? *typed : fields.SystemPassword;
}

}  // namespace

int ExitStatusOf(CommandOutcome outcome) {
  switch (outcome) {
    case CommandOutcome::kCompleted:
      return kExitDone;
    case CommandOutcome::kSilentAbort:
      return kExitAbandoned;
    case CommandOutcome::kFailed:
      break;
  }
  return kExitFailed;
}

int RunConsole(const std::vector<std::string>& arguments, platform::Platform& platform,
               ConsoleIo io, const EnvironmentLookup& environment) {
  const platform::Result<std::string> executable = platform.processes.OwnExecutablePath();
  const ProgramLocation program =
      executable ? LocateProgram(*executable) : ProgramLocation{"", kDefaultTitle};

  std::string error;
  const std::optional<ConsoleOptions> options = ParseConsoleOptions(arguments, error);
  if (!options) {
    io.err << program.title << ": " << error << "\n\n" << ConsoleUsage(program.title);
    return kExitUsage;
  }
  if (options->command == ConsoleCommand::kHelp) {
    io.out << ConsoleUsage(program.title);
    return kExitDone;
  }

  TerminalScreen screen(io.out);
  TerminalPrompt prompt(io.out, io.err, io.terminal, options->answering, program.title);
  IdlePump pump;
  TerminalCaptions captions(io.out);
  UpdateLog log(platform.files, platform.clock, screen);
  RetryLogEntries retries(platform.files, log);
  FrontEnd front{log, prompt, pump, captions};

  TFBServParams server_params;
  if (executable) {
    server_params = OpenLogAndDetectServer(program.folder, platform, log, prompt);
  } else {
    // Without its own path the program has no folder for its log.
    RunOperatorCommand([&] { throw UpdateFailure(executable.error().Describe()); }, log, prompt);
  }
  ProfileFields fields;
  ApplyDefaultProfile(fields);
  const std::string folder = options->folder.value_or(fields.ProductFolder);

  std::function<void()> command;
  switch (options->command) {
    case ConsoleCommand::kDatabaseOnline:
    case ConsoleCommand::kDatabaseShutdown: {
      const std::string password = SystemPassword(fields, io, environment);
      const auto request = options->command == ConsoleCommand::kDatabaseOnline
                               ? DatabaseOnlineCommand
                               : DatabaseShutdownCommand;
      command = [&, password, request] {
        request(folder, password, fields.Profile, platform, front);
      };
      break;
    }
    case ConsoleCommand::kServiceStart:
      command = [&] { StartFirebirdServiceCommand(server_params, platform, front); };
      break;
    case ConsoleCommand::kServiceStop:
      command = [&] { StopFirebirdServiceCommand(server_params, platform, front); };
      break;
    case ConsoleCommand::kHelp:
      break;
  }
  return ExitStatusOf(RunOperatorCommand(command, log, prompt));
}

}  // namespace updater::console
