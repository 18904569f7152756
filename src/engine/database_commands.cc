#include "engine/database_commands.h"

#include "common/failures.h"
#include "engine/uUpdate_lock.h"
#include "firebird/client_failures.h"
#include "firebird/uIBEScript.h"

namespace updater {
namespace {

const char kNoServerPart[] =
    "Программа обновления, исходя из заданного пути к обновляемой программе, обнаружила, что на "
    "данном компьютере отсутствует СЕРВЕРНАЯ часть обновляемой программы, поэтому выполнение "
    "данной функции невозможно!";

// What tells one command from the other.
struct ModeCommand {
  const char* announcement;
  const char* success;
  const char* already;
  void (*request)(const std::string&, const std::string&, const std::string&, const std::string&,
                  platform::Platform&);
};

// True when `failure` is the server's answer that the database already is in
// the requested mode ("Target shutdown mode is invalid for database ...").
bool AlreadyInRequestedMode(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const FirebirdFailure& firebird) {
    return firebird.Status().Has(isc_bad_shutdown_mode);
  } catch (...) {
    return false;
  }
}

void Log(FrontEnd& front, const std::string& line) {
  front.log.SaveExceptionToLog(line);
  front.pump.ProcessMessages();
}

void RunModeCommand(const ModeCommand& command, const std::string& product_folder,
                    const std::string& password, const ProjectProfile& profile,
                    platform::Platform& platform, FrontEnd& front) {
  const UpdateContext context = InitUpdateContext(product_folder, profile, platform, front);
  Log(front, command.announcement);
  if (!context.HasServerPart) throw UpdateFailure(kNoServerPart);
  // An update run of this folder switches the database itself.
  CheckProductFolderNotLocked(platform, context.ProgramPath, product_folder);
  try {
    command.request(profile.ClientLibrary, context.DbConnectString, "SYSDBA", password, platform);
  } catch (...) {
    front.pump.ProcessMessages();
    if (!AlreadyInRequestedMode(std::current_exception())) throw;
    Log(front, command.already);
    front.prompt.ShowWarning(command.already);
    return;
  }
  Log(front, command.success);
  front.prompt.ShowInformation(command.success);
}

}  // namespace

void DatabaseOnlineCommand(const std::string& product_folder, const std::string& password,
                           const ProjectProfile& profile, platform::Platform& platform,
                           FrontEnd& front) {
  static const ModeCommand online{"Перевод базы данных в многопользовательский режим (OnLine)",
                                  "База данных переведена в многопользовательский режим.",
                                  "База данных уже работает в многопользовательском режиме.",
                                  BringDatabaseOnline};
  RunModeCommand(online, product_folder, password, profile, platform, front);
}

void DatabaseShutdownCommand(const std::string& product_folder, const std::string& password,
                             const ProjectProfile& profile, platform::Platform& platform,
                             FrontEnd& front) {
  static const ModeCommand shutdown{"Перевод базы данных в однопользовательский режим (Shutdown)",
                                    "База данных переведена в однопользовательский режим.",
                                    "База данных уже находится в однопользовательском режиме.",
                                    ShutdownDatabase};
  RunModeCommand(shutdown, product_folder, password, profile, platform, front);
}

}  // namespace updater
