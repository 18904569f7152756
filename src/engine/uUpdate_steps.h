// The small steps the phases of the update run are made of: log entries,
// the database requests and script runs with the run's connection inputs,
// the service stop and start, file copies that must not fail unnoticed.
// Shared by the phase files (uUpdate_*.cc); nothing outside the engine's
// update run uses them.
#pragma once

#include <string>

#include "engine/uUpdate.h"

namespace updater::update_steps {

// The two database users of the run.
enum class DbUser { kSysdba, kAdmn };

inline constexpr char kWin1251[] = "WIN1251";
inline constexpr char kUtf8[] = "UTF8";

// One log entry, then the front end's pending messages.
void Log(UpdateRun& run, const std::string& entry);

// Log for the steps that must go on whatever happens to the log (the
// restore, the database brought online again): never throws. The first
// entry that could not be written is kept in run.LogFailure.
void LogSafely(UpdateRun& run, const std::string& entry) noexcept;

// `name` in the unpacked payload folder NewDir.
std::string NewFile(const UpdateRun& run, const std::string& name);

// The database of the run shut down or brought online, as SYSDBA with the
// run's system password.
void ShutdownDatabase(UpdateRun& run);
void BringDatabaseOnline(UpdateRun& run);

// The script file NewDir\`name`, or the script text `text`, run against the
// run's database as `user` with its password and `charset`. The statements
// are echoed to the run's script log view unless `echo` is false; the
// figures of the data the file loads go to `progress` when given.
void RunScriptFile(UpdateRun& run, DbUser user, const std::string& charset, const std::string& name,
                   bool echo = true, LoadProgressView* progress = nullptr);
void RunScriptText(UpdateRun& run, DbUser user, const std::string& charset,
                   const std::string& text);

// The ADMN password test: the script text "SET SQL DIALECT 3; " as ADMN.
// A failure's message gets "Вероятно, неправильно задан пароль
// пользователя ADMN!" and two line breaks in front.
void TestAdmnPassword(UpdateRun& run, const std::string& charset);

// The Firebird service of the run's server stopped, or restarted, without a
// notice box.
void StopService(UpdateRun& run);
void StartService(UpdateRun& run);

// Copies `source` onto `target` as CopyFileOverwrite does. A copy that fails
// raises UpdateFailure "Невозможно скопировать файл <source> в <target>!",
// a CR and the system's text: a file the new version needs is never left
// out without a word.
void CopyFileOrFail(UpdateRun& run, const std::string& source, const std::string& target);

}  // namespace updater::update_steps
