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

void WriteRunJournal(UpdateRun& run) {
  const std::string& tmp_dir = run.Context.TmpDir;
  if (platform::Status written = WriteJournal(run.platform.files, tmp_dir, *run.Journal);
      !written) {
    throw UpdateFailure("Не удалось записать журнал обновления " +
                        platform::JoinPath(tmp_dir, kJournalFileName) + ".\r" +
                        written.error().Describe());
  }
}

}  // namespace

void BeginJournal(UpdateRun& run) {
  const UpdateContext& context = run.Context;
  JournalRecord record;
  record.TimeStamp = context.TimeStamp;
  record.ProgramPath = context.ProgramPath;
  record.HasClientPart = context.HasClientPart;
  record.HasServerPart = context.HasServerPart;
  record.DatabasePath = context.DbConnectString;
  record.BackupDir = context.OldDir;
  run.Journal = record;
  WriteRunJournal(run);
}

void EnterJournalPhase(UpdateRun& run, JournalPhase phase, bool backup_complete) {
  if (!run.Journal) return;
  run.Journal->Phase = phase;
  if (backup_complete) run.Journal->BackupComplete = true;
  WriteRunJournal(run);
}

void RollBackWithJournal(UpdateRun& run, UpdatePhases& phases, const std::string& message) {
  try {
    EnterJournalPhase(run, JournalPhase::kRollback);
  } catch (...) {
    // The journal still names the phase that failed, which leads to the
    // same restore.
    LogSafely(run, FailureMessage(std::current_exception()));
  }
  phases.RollBack(run, message);
  if (run.ErrorText.empty()) FinishJournal(run);
}

void FinishJournal(UpdateRun& run) noexcept {
  if (!run.Journal) return;
  try {
    run.Journal->Finished = true;
    platform::FileSystem& files = run.platform.files;
    // A working folder the run removed again took its journal with it.
    if (!files.FolderExists(run.Context.TmpDir)) return;
    // Removed, so that the working folder holds only the backup, as after
    // any run. Either name counts as the journal (ReadJournal), so the
    // outcome of each removal is judged by what is left.
    const std::string path = platform::JoinPath(run.Context.TmpDir, kJournalFileName);
    const std::string twin = path + ".new";
    (void)files.RemoveFile(twin);
    (void)files.RemoveFile(path);
    if (!files.FileExists(path) && !files.FileExists(twin)) {
      (void)files.FlushToDisk(run.Context.TmpDir);  // a lost removal only finishes it again
      return;
    }
    // A journal that cannot be removed is marked finished instead: an
    // unfinished one would offer to undo this run at the next start.
    WriteRunJournal(run);
  } catch (...) {
    LogSafely(run, FailureMessage(std::current_exception()));
  }
}

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

namespace {

void RunScriptFileTo(UpdateRun& run, DbUser user, const std::string& charset,
                     const std::string& name, LogView* view, LoadProgressView* progress) {
  updater::RunScriptFile(run.Profile.ClientLibrary, run.Context.DbConnectString, UserName(user),
                         charset, Password(run, user), "", NewFile(run, name), view, run.platform,
                         run.front.pump, progress);
}

}  // namespace

void RunScriptFile(UpdateRun& run, DbUser user, const std::string& charset, const std::string& name,
                   bool echo, LoadProgressView* progress) {
  RunScriptFileTo(run, user, charset, name, echo ? run.Request.ScriptLogView : nullptr, progress);
}

void RunScriptFileInto(UpdateRun& run, DbUser user, const std::string& charset,
                       const std::string& name, LogView& lines) {
  RunScriptFileTo(run, user, charset, name, &lines, nullptr);
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
  platform::Status copied = CopyFileOverwriteStatus(run.platform, source, target);
  // On the disk before the run goes on: each copy is a file installed or
  // the backup of one about to be replaced, and the journal will soon say so.
  if (copied) copied = run.platform.files.FlushToDisk(target);
  if (!copied) {
    throw UpdateFailure("Невозможно скопировать файл " + source + " в " + target + "!\r" +
                        copied.error().Describe());
  }
}

void WriteFileOrFail(UpdateRun& run, const std::string& path, const std::string& content) {
  if (platform::Status written = run.platform.files.WriteFile(path, content); !written) {
    throw UpdateFailure("Невозможно записать файл " + path + "!\r" + written.error().Describe());
  }
}

}  // namespace updater::update_steps
