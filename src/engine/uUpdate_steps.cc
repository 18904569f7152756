#include "engine/uUpdate_steps.h"

#include "common/failures.h"
#include "firebird/uIBEScript.h"
#include "fsutil/folder_tree.h"
#include "platform/paths.h"

namespace updater::update_steps {
namespace {

const char* UserName(DbUser user) { return user == DbUser::kAdmn ? "ADMN" : "SYSDBA"; }

const std::string& Password(const UpdateRun& run, DbUser user) {
  return user == DbUser::kAdmn ? run.Request.AdmnPassword : run.Request.SysdbaPassword;
}

}  // namespace

void Log(UpdateRun& run, const std::string& entry) {
  run.front.log.SaveExceptionToLog(entry);
  run.front.pump.ProcessMessages();
}

void LogSafely(UpdateRun& run, const std::string& entry) noexcept {
  try {
    run.front.log.SaveExceptionToLog(entry);
  } catch (...) {
    // The entry is on the screen; the file missed it. What the caller does
    // next matters more than the file: the failure is kept for the end.
    try {
      if (run.LogFailure.empty()) run.LogFailure = FailureMessage(std::current_exception());
    } catch (...) {
      // Out of memory while keeping the text: nothing more can be done here.
    }
  }
  try {
    run.front.pump.ProcessMessages();
  } catch (...) {
    // Letting the window repaint is a courtesy; the step goes on without it.
  }
}

std::string NewFile(const UpdateRun& run, const std::string& name) {
  return platform::JoinPath(run.Context.NewDir, name);
}

void ShutdownDatabase(UpdateRun& run) {
  updater::ShutdownDatabase(run.Profile.ClientLibrary, run.Context.DbConnectString, "SYSDBA",
                            run.Request.SysdbaPassword, run.platform);
}

void BringDatabaseOnline(UpdateRun& run) {
  updater::BringDatabaseOnline(run.Profile.ClientLibrary, run.Context.DbConnectString, "SYSDBA",
                               run.Request.SysdbaPassword, run.platform);
}

void RunScriptFile(UpdateRun& run, DbUser user, const std::string& charset, const std::string& name,
                   bool echo, LoadProgressView* progress) {
  updater::RunScriptFile(run.Profile.ClientLibrary, run.Context.DbConnectString, UserName(user),
                         charset, Password(run, user), "", NewFile(run, name),
                         echo ? run.Request.ScriptLogView : nullptr, run.platform, run.front.pump,
                         progress);
}

void RunScriptText(UpdateRun& run, DbUser user, const std::string& charset,
                   const std::string& text) {
  updater::RunScriptText(run.Profile.ClientLibrary, run.Context.DbConnectString, UserName(user),
                         charset, Password(run, user), "", text, run.Request.ScriptLogView,
                         run.platform, run.front.pump);
}

void TestAdmnPassword(UpdateRun& run, const std::string& charset) {
  try {
    RunScriptText(run, DbUser::kAdmn, charset, "SET SQL DIALECT 3; ");
  } catch (const UpdateFailure& failure) {
    throw UpdateFailure("Вероятно, неправильно задан пароль пользователя ADMN!\r\r" +
                        failure.Message());
  }
}

void StopService(UpdateRun& run) { StopFirebirdService(run.ServerParams, false, run.platform); }

void StartService(UpdateRun& run) { StartFirebirdService(run.ServerParams, false, run.platform); }

void CopyFileOrFail(UpdateRun& run, const std::string& source, const std::string& target) {
  if (platform::Status copied = CopyFileOverwriteStatus(run.platform, source, target); !copied) {
    throw UpdateFailure("Невозможно скопировать файл " + source + " в " + target + "!\r" +
                        copied.error().Describe());
  }
}

}  // namespace updater::update_steps
