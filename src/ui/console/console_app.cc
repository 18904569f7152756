#include "ui/console/console_app.h"

#include "common/failures.h"
#include "engine/database_commands.h"
#include "engine/profiles.h"
#include "engine/retry_log.h"
#include "engine/service_commands.h"
#include "engine/startup.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_options.h"
#include "ui/console/console_update.h"

namespace updater::console {
namespace {

// The application title before the executable's own name is known.
const char kDefaultTitle[] = "Updater_Marlix";

// A password field of the window: where its text comes from here.
struct PasswordField {
  const char* variable;  // the environment variable that sets it
  const char* prompt;    // the question on the terminal
};
constexpr PasswordField kSystemPassword{"UPDATER_SYSTEM_PASSWORD",
                                        "Системный пароль (Enter: по умолчанию): "};
constexpr PasswordField kAdmnPassword{"UPDATER_ADMN_PASSWORD",
                                      "Пароль пользователя ADMN (Enter: по умолчанию): "};

// A password field as the window would hand it over: set from the
// environment, typed on the terminal without echo (an empty line keeps the
// pre-filled default), or the pre-filled default when nobody can be asked.
// Never from the command line, where other users could read it.
std::string Password(const PasswordField& field, const std::string& prefilled, ConsoleIo& io,
                     const EnvironmentLookup& environment) {
  if (std::optional<std::string> set = environment(field.variable)) return *set;
  if (!io.terminal.Interactive()) return prefilled;
  io.out << field.prompt << std::flush;
  const std::optional<std::string> typed = io.terminal.ReadSecretLine();
  return typed && !typed->empty() ? *typed : prefilled;
}

std::string VersionText(const std::string& title) {
  return title + " " + UPDATER_VERSION + "\nОбновляет программу до версии: Marlix " +
         UPDATER_PRODUCT_VERSION + "\n";
}

// True when `path` is a full path on this system: the profile's default
// folder, a Windows path, is none on Linux, where it would be taken from the
// current folder.
bool IsFullPath(platform::Platform& platform, const std::string& path) {
  const platform::Result<std::string> full = platform.files.FullPath(path);
  return full && *full == path;
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
  if (options->command == ConsoleCommand::kVersion) {
    io.out << VersionText(program.title);
    return kExitDone;
  }
  ProfileFields fields;
  ApplyDefaultProfile(fields);
  const bool needs_folder = options->command == ConsoleCommand::kUpdate ||
                            options->command == ConsoleCommand::kRecover ||
                            options->command == ConsoleCommand::kDatabaseOnline ||
                            options->command == ConsoleCommand::kDatabaseShutdown;
  if (needs_folder && !options->folder && !IsFullPath(platform, fields.ProductFolder)) {
    io.err << program.title << ": give the product folder with --folder: the project's default "
           << fields.ProductFolder << " is not a full path on this system\n\n"
           << ConsoleUsage(program.title);
    return kExitUsage;
  }

  ProgressPump pump(platform.clock, io.err);
  TerminalScreen screen(io.out, pump);
  TerminalPrompt prompt(io.out, io.err, io.terminal, options->answering, program.title);
  TerminalCaptions captions(io.out, io.terminal.OutputIsTerminal(), pump);
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
  const std::string folder = options->folder.value_or(fields.ProductFolder);

  std::function<void()> command;
  switch (options->command) {
    case ConsoleCommand::kUpdate: {
      UpdateRequest request;
      request.ProductFolder = folder;
      request.SysdbaPassword = Password(kSystemPassword, fields.SystemPassword, io, environment);
      request.AdmnPassword = Password(kAdmnPassword, fields.AdmnPassword, io, environment);
      request.ProjectCode = fields.Profile.ProjectCode;
      request.ScriptLogView = &log;
      command = [&, request] {
        UpdateCommand(request, fields.Profile, server_params, platform, front, io.out);
      };
      break;
    }
    case ConsoleCommand::kRecover: {
      UpdateRequest request;
      request.ProductFolder = folder;
      // The restore brings the database online as the system user.
      request.SysdbaPassword = Password(kSystemPassword, fields.SystemPassword, io, environment);
      request.ProjectCode = fields.Profile.ProjectCode;
      request.ScriptLogView = &log;
      command = [&, request] {
        RecoverCommand(request, fields.Profile, server_params, platform, front);
      };
      break;
    }
    case ConsoleCommand::kDatabaseOnline:
    case ConsoleCommand::kDatabaseShutdown: {
      const std::string password =
          Password(kSystemPassword, fields.SystemPassword, io, environment);
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
    case ConsoleCommand::kVersion:
      break;
  }
  return ExitStatusOf(RunOperatorCommand(command, log, prompt));
}

}  // namespace updater::console
