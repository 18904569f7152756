// An update run cut short by a crash, a kill or a power loss, found by its
// journal at the next start and rolled back with the run's own rollback.
#include <cctype>

#include "common/failures.h"
#include "engine/uUpdate.h"
#include "engine/uUpdate_lock.h"
#include "engine/uUpdate_steps.h"
#include "fsutil/uWexrRout.h"
#include "platform/name_case.h"
#include "platform/paths.h"

namespace updater {
namespace {

using platform::JoinPath;
using update_steps::LogSafely;

constexpr size_t kStampLength = 12;

// The stamp of a working folder's name "Tmp$ddmmyyhhnnss", or empty.
std::string StampOf(const std::string& name) {
  const std::string prefix = kWorkingFolderPrefix;
  if (name.size() != prefix.size() + kStampLength || name.compare(0, prefix.size(), prefix) != 0) {
    return {};
  }
  const std::string stamp = name.substr(prefix.size());
  for (char c : stamp) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return {};
  }
  return stamp;
}

// What the operator reads for the phase a run was cut short in.
const char* PhaseWording(JournalPhase phase) {
  switch (phase) {
    case JournalPhase::kStaging:
      return "создание временной структуры каталогов";
    case JournalPhase::kBackup:
      return "создание резервной копии программы";
    case JournalPhase::kDatabase:
      return "формирование базы UTF8";
    case JournalPhase::kServerPart:
      return "обновление серверной части";
    case JournalPhase::kClientPart:
      return "обновление клиентской части";
    case JournalPhase::kRollback:
      return "откат изменений";
  }
  return "";
}

struct Interrupted {
  std::string tmp_dir;
  std::string stamp;
  JournalReading reading;
};

// The working folders of `program_path` whose journal is unfinished or
// unreadable, in the order the folder lists them.
std::vector<Interrupted> FindInterrupted(platform::FileSystem& files,
                                         const std::string& program_path) {
  std::vector<Interrupted> found;
  auto entries = files.ListFolder(program_path);
  if (!entries) return found;  // no product folder: the run itself says so
  for (const platform::FolderEntry& entry : *entries) {
    if ((entry.attributes & platform::kAttrDirectory) == 0 || entry.is_link) continue;
    const std::string stamp = StampOf(entry.name);
    if (stamp.empty()) continue;
    const std::string tmp_dir = JoinPath(program_path, entry.name);
    JournalReading reading = ReadJournal(files, tmp_dir);
    if (!reading.found || (reading.record && reading.record->Finished)) continue;
    found.push_back({tmp_dir, stamp, std::move(reading)});
  }
  return found;
}

// The context of the interrupted run as its journal recorded it, with its
// working folders where they are now.
UpdateContext ContextOf(const std::string& program_path, const Interrupted& run) {
  const JournalRecord& record = *run.reading.record;
  UpdateContext context;
  SetProductFolders(context, program_path);
  SetWorkingFolders(context, run.stamp);
  context.DbConnectString = record.DatabasePath;
  context.HasClientPart = record.HasClientPart;
  context.HasServerPart = record.HasServerPart;
  return context;
}

// The cut twin of a journal whose first write never completed, removed so
// that the next start does not meet it again.
void RemoveCutJournal(UpdateRun& run, const std::string& tmp_dir) {
  const std::string twin = JoinPath(tmp_dir, std::string(kJournalFileName) + ".new");
  if (platform::Status removed = run.platform.files.RemoveFile(twin); !removed) {
    throw UpdateFailure("Не удалось удалить журнал обновления " + twin + ".\r" +
                        removed.error().Describe());
  }
}

// A run cut short while it had the Firebird service stopped (the server
// library is replaced with the service stopped) left it so, and the
// database cannot come online without it. A failure to start it is added
// to the run's ErrorText.
void StartServiceLeftStopped(UpdateRun& run) {
  const std::string& service = run.ServerParams.ServiceName;
  if (service.empty() ||
      QueryServiceState(run.platform, "", service) != platform::kServiceStopped) {
    return;
  }
  LogSafely(run, "Запуск службы FireBird.");
  try {
    update_steps::StartService(run);
  } catch (...) {
    run.ErrorText = AppendErrorText(run.ErrorText, FailureMessage(std::current_exception()));
    return;
  }
  LogSafely(run, "Служба FireBird запущена.");
}

// One interrupted run dealt with; raises SilentAbort when the operator
// declines and UpdateFailure when it cannot be recovered.
void Recover(UpdateRun& run, UpdatePhases& phases, const Interrupted& found) {
  const std::string when = StampText(found.stamp);
  if (found.reading.first_write_cut) {
    LogSafely(run, "Обновление программы от " + when +
                       " было прервано до начала резервной копии. Программа не "
                       "изменялась, восстановление не требуется.");
    RemoveCutJournal(run, found.tmp_dir);
    return;
  }
  // What the operator is told when the journal cannot lead the restore.
  const auto cannot_restore = [&](const std::string& why) {
    return UpdateFailure("Не удается прочитать журнал прерванного обновления от " + when + " (" +
                         JoinPath(found.tmp_dir, kJournalFileName) + "): " + why +
                         ".\rВосстановить предыдущую версию программы автоматически невозможно. "
                         "Резервная копия программы находится в папке " +
                         JoinPath(found.tmp_dir, "Old") + ".");
  };
  if (!found.reading.record) throw cannot_restore(found.reading.error);
  // A working folder copied from elsewhere, or a folder moved since: its
  // database and backup are not this folder's to restore.
  if (!platform::NamesEqualIgnoringCase(found.reading.record->ProgramPath,
                                        run.Context.ProgramPath)) {
    throw cannot_restore("журнал относится к каталогу \"" + found.reading.record->ProgramPath +
                         "\"");
  }
  const JournalRecord& record = *found.reading.record;
  run.Context = ContextOf(run.Context.ProgramPath, found);
  run.Journal = record;
  run.ErrorText.clear();
  if (!record.BackupComplete) {
    LogSafely(run, "Обновление программы от " + when +
                       " было прервано до завершения резервной копии. Программа не "
                       "изменялась, восстановление не требуется.");
    update_steps::FinishJournal(run);
    return;
  }
  // The restore empties each part before it copies the backup in: a part
  // whose backup is gone would be lost, so nothing is touched then.
  platform::FileSystem& files = run.platform.files;
  const UpdateContext& context = run.Context;
  std::string missing;
  if (record.HasClientPart && !files.FolderExists(context.OldProgramDir)) {
    missing += "\r" + context.OldProgramDir;
  }
  if (record.HasServerPart) {
    const std::string database = SpelledPath(files, context.OldDbDataDir, run.Profile.DatabaseFile);
    if (!files.FileExists(database)) missing += "\r" + database;
  }
  if (!missing.empty()) {
    throw UpdateFailure("Резервная копия программы для прерванного обновления от " + when +
                        " неполна, не найдено:" + missing +
                        "\rВосстановить предыдущую версию программы автоматически невозможно.");
  }
  const std::string what = "Обновление программы от " + when + " было прервано на этапе \"" +
                           PhaseWording(record.Phase) + "\".";
  const PromptAnswer answer = run.front.prompt.AskYesNo(
      "Обнаружено незавершенное обновление программы от " + when + " в каталоге \"" +
      run.Context.ProgramPath + "\": обновление было прервано на этапе \"" +
      PhaseWording(record.Phase) +
      "\".\rВосстановить предыдущую версию программы из резервной копии?");
  if (answer != PromptAnswer::Yes) {
    LogSafely(run, what + " Восстановление предыдущей версии отменено.");
    throw SilentAbort();
  }
  update_steps::RollBackWithJournal(run, phases, what);
  if (record.HasServerPart) {
    StartServiceLeftStopped(run);
    phases.BringDatabaseOnlineAtEnd(run);  // its failure is added to ErrorText
  }
  if (!run.ErrorText.empty()) throw UpdateFailure(run.ErrorText);
  LogSafely(run, "Предыдущая версия программы восстановлена после прерванного обновления от " +
                     when + ".");
}

}  // namespace

RecoveryOutcome RecoverInterruptedUpdates(const UpdateRequest& request,
                                          const ProjectProfile& profile,
                                          const TFBServParams& server_params,
                                          platform::Platform& platform, FrontEnd& front,
                                          UpdatePhases& phases) {
  UpdateRun run{request, profile, server_params, {}, {}, false, {}, platform, front, {}};
  RecoveryOutcome recovery;
  try {
    platform::Result<std::string> full_path = platform.files.FullPath(request.ProductFolder);
    if (!full_path) return recovery;  // the run reports the folder
    run.Context.ProgramPath = *full_path;
    const std::vector<Interrupted> found = FindInterrupted(platform.files, *full_path);
    recovery.found = static_cast<int>(found.size());
    if (found.empty()) return recovery;
    // No second updater may start on the folder while it is restored.
    const ProductFolderLock lock =
        ProductFolderLock::Take(platform, *full_path, request.ProductFolder);
    for (const Interrupted& interrupted : found) Recover(run, phases, interrupted);
  } catch (const SilentAbort&) {
    recovery.outcome.end = UpdateOutcome::End::kAbandoned;
  } catch (...) {
    recovery.outcome.end = UpdateOutcome::End::kFailed;
    recovery.outcome.Message = FailureMessage(std::current_exception());
  }
  recovery.outcome.RolledBack = run.RolledBack;
  return recovery;
}

}  // namespace updater
