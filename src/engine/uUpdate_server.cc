// Server preparation: the attached users or the server stop warning, the
// database shut down, and the service restarted around the free-space
// check, with the recovery that puts the service and the database back when
// the restart or the check fails.
#include "common/failures.h"
#include "engine/uUpdate.h"
#include "engine/uUpdate_steps.h"
#include "firebird/uIBEScript.h"
#include "fsutil/uWexrRout.h"
#include "platform/paths.h"

namespace updater {
namespace {

using update_steps::Log;
using update_steps::LogSafely;

const char kDeclined[] = "Обновление прервано пользователем: Отключение клиентов отложено.";

std::string AttachedUsersQuestion(const std::vector<std::string>& users) {
  std::string names;
  for (size_t i = 0; i < users.size(); ++i) {
    if (i > 0) names += "; ";
    names += users[i];
  }
  return "Программа обновления обнаружила, что к СЕРВЕРНОЙ части обновляемой программы подключены "
         "следующие пользователи: " +
         names +
         "\r\rНеобходимо, чтобы все подключенные пользователи (клиенты) вышли из обновляемой "
         "программы, после чего процесс обновления можно повторить заново.\r\rПродолжение "
         "установки оборвет все подключения к базе данных принудительно!\r\rПродолжить установку?";
}

const char kStopWarning[] =
    "Сейчас будет выполнена остановка сервера FireBird.Убедитесь, что пользователи не имеют "
    "активных подключений ко всем базам данных на этом сервере!\r\rПродолжение установки оборвет "
    "все подключения к базам данных на этом сервере принудительно!\r\rПродолжить установку?";

// Only the No button (or Esc) stops the run; the close box goes on.
void AskToDisconnect(UpdateRun& run, const std::string& question, const char* done) {
  if (run.front.prompt.AskYesNo(question) == PromptAnswer::No) {
    Log(run, kDeclined);
    throw SilentAbort();
  }
  Log(run, done);
}

// A: with a Super Server the attached users are listed and the operator
// decides; with any other kind of server the stop warning is always asked.
void DealWithAttachedUsers(UpdateRun& run) {
  if (run.ServerParams.ServerKind == "SUPER") {
    Log(run, "Проверка подключений к Firebird-серверу.");
    std::vector<std::string> users;
    GetAttachedUsers(run.Profile.ClientLibrary, run.Context.DbConnectString, "SYSDBA",
                     run.Request.SysdbaPassword, "", users, run.platform);
    if (users.empty()) return;
    Log(run, "Отключение клиентов");
    AskToDisconnect(run, AttachedUsersQuestion(users), "Отключение клиентов завершено");
    return;
  }
  Log(run, "Отключение клиентов");
  AskToDisconnect(run, kStopWarning, "Отключение клиентов завершено.");
}

// C: a database that cannot be shut down has not been changed; the message
// tells the operator what to do when it already is in that mode.
void ShutDownTheDatabase(UpdateRun& run) {
  Log(run, "Перевод базы данных в однопользовательский режим (Shutdown)");
  try {
    update_steps::ShutdownDatabase(run);
  } catch (const UpdateFailure& failure) {
    throw UpdateFailure(
        "Программе обновления не удалось перевести базу данных (сервер) в однопользовательский "
        "режим (Shutdown mode). Возможная причина - база данных (сервер)  уже находится в "
        "однопользовательском  режиме. \rВ этом случае необходимо вручную перевести  базу данных "
        "(сервер) в  многопользовательский режим (Online Mode), с помощью пункта меню "
        "\"Операции\" -> \"Перевести базу данных в многопользовательский режим (OnLine)\".\r "
        "Сообщение об ошибке:\r\r" +
        failure.Message());
  }
  Log(run, "База данных переведена в однопользовательский режим.");
}

// D3 to D6: the database file's size can be read exclusively only while the
// service is stopped.
void CheckFreeSpace(UpdateRun& run) {
  const UpdateContext& context = run.Context;
  Log(run, "Проверка свободного места на диске.");
  try {
    CheckFreeSize(run.platform, run.front.pump,
                  platform::JoinPath(context.DbDataDir, run.Profile.DatabaseFile),
                  run.platform.volumes.DriveRoot(context.DbDataDir),
                  static_cast<uint8_t>(run.Profile.FreeSpaceFactor));
    Log(run, "Завершена проверка свободного места на диске.");
  } catch (const UpdateFailure& failure) {
    const std::string message =
        failure.Message().empty()
            ? "Процедуре CheckFreeSize не удалось получить доступ к файлу БД на чтение!"
            : failure.Message();
    run.ErrorText = AppendErrorText(run.ErrorText, message);
    throw UpdateFailure(message);
  }
}

// D: the service stopped, the space checked, the service started again in
// every case. A failure of the start takes the place of the one under way.
void RestartServiceAroundSpaceCheck(UpdateRun& run) {
  run.ErrorText.clear();
  Log(run, "Остановка службы FireBird.");
  update_steps::StopService(run);
  Log(run, "Служба FireBird остановлена.");
  std::exception_ptr failure;
  try {
    CheckFreeSpace(run);
  } catch (...) {
    failure = std::current_exception();
  }
  Log(run, "Запуск службы FireBird.");
  update_steps::StartService(run);
  Log(run, "Служба FireBird запущена.");
  if (failure) std::rethrow_exception(failure);
}

// E: the service and the database are put back as they were before the run
// touched them; the run then fails with everything collected.
[[noreturn]] void Recover(UpdateRun& run, const std::string& message) {
  run.ErrorText = AppendErrorText(run.ErrorText, message);
  LogSafely(run, "Перевод базы данных в многопользовательский режим (Online)");
  try {
    update_steps::BringDatabaseOnline(run);
    LogSafely(run, "База данных переведена в многопользовательский режим.");
  } catch (...) {
    const std::string online_failure = FailureMessage(std::current_exception());
    run.front.pump.ProcessMessages();
    run.front.prompt.ShowError(
        "Программе обновления не удалось перевести базу данных (сервер) в многопользовательский "
        "режим. Для ручного перевода базы данных (сервера) в многопользовательский режим: \r1. "
        "Запустите службу FireBird-сервера (пункт меню \"Операции\"->\"Запустить службу "
        "FireBird-сервера\");\r2. Выберите пункт меню \"Операции\"->\"Перевести базу данных в "
        "многопользовательский режим (OnLine));\r3. Повторите попытку обновления.");
    run.ErrorText = AppendErrorText(
        run.ErrorText,
        "Обновление прервано: невозможно перевести базу данных в многопользовательский "
        "режим.\rOriginal Message: " +
            online_failure);
  }
  throw UpdateFailure(run.ErrorText);
}

}  // namespace

void ProductUpdatePhases::PrepareServer(UpdateRun& run) {
  DealWithAttachedUsers(run);
  ShutDownTheDatabase(run);
  try {
    RestartServiceAroundSpaceCheck(run);
  } catch (...) {
    Recover(run, FailureMessage(std::current_exception()));
  }
}

}  // namespace updater
