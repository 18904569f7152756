// The small steps the phases of the update run are made of: log entries,
// the database requests and script runs with the run's connection inputs,
// the service stop and start, file copies that must not fail unnoticed.
// Shared by the phase files (uUpdate_*.cc); nothing outside the engine's
// update run uses them.
#pragma once

#include <string>

#include "common/log_view.h"
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

// The script file NewDir\`name` run as RunScriptFile runs it, the
// engine's lines going to `lines` instead of the run's script log view.
void RunScriptFileInto(UpdateRun& run, DbUser user, const std::string& charset,
                       const std::string& name, LogView& lines);

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
// out without a word. The copy is on the disk when this returns
// (FileSystem::FlushToDisk); a copy that cannot be written there fails
// the same way.
void CopyFileOrFail(UpdateRun& run, const std::string& source, const std::string& target);

// Writes `content` as the file `path`; a write that fails raises
// UpdateFailure "Невозможно записать файл <path>!", a CR and the system's text.
void WriteFileOrFail(UpdateRun& run, const std::string& path, const std::string& content);

// The rollback of the phases with the journal around it: kRollback entered
// (a journal that cannot be written is logged, not waited for), then the
// journal finished once both parts are back. A restore that failed leaves
// it unfinished, so that the next start offers the restore again.
void RollBackWithJournal(UpdateRun& run, UpdatePhases& phases, const std::string& message);

// The run's journal begun in its fresh working folder: the parts found, the
// backup not yet complete, the phase kStaging. Raises UpdateFailure
// "Не удалось записать журнал обновления <path>." and the system's text
// when it cannot be written: a run that could not be found again after a
// crash must not change the product.
void BeginJournal(UpdateRun& run);

// The journal written again with `phase` entered, and with the backup
// complete once `backup_complete` is set. Nothing happens before
// BeginJournal. Raises as BeginJournal does.
void EnterJournalPhase(UpdateRun& run, JournalPhase phase, bool backup_complete = false);

// The run has ended and nothing is left to recover: the journal is removed,
// or marked finished when it cannot be removed; when that fails too, the
// failure is logged (LogSafely). Never throws.
void FinishJournal(UpdateRun& run) noexcept;

}  // namespace updater::update_steps
