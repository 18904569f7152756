// The end of a run: the unpacked payload removed after success, both parts
// restored from the backup after a failure, and the database brought online
// whatever happened before.
//
// The restore and the online step log through LogSafely: once they have
// begun, nothing the log file does stops them.
#include "common/failures.h"
#include "engine/uUpdate.h"
#include "engine/uUpdate_steps.h"
#include "fsutil/backup_restore.h"
#include "fsutil/folder_tree.h"
#include "fsutil/uWexrRout.h"
#include "platform/paths.h"

namespace updater {
namespace {

using update_steps::Log;
using update_steps::LogSafely;

// One installed part put back from its backup: the part's folder emptied,
// then the backup copied into it. Both are tried, so that a file that
// cannot be deleted leaves the others restored. Every file not put back
// adds a line to `failures`.
void RestorePart(UpdateRun& run, const std::string& part, const std::string& backup,
                 std::vector<std::string>& failures) {
  try {
    DeleteFolderTree(run.platform, part);
  } catch (...) {
    failures.push_back(FailureMessage(std::current_exception()));
  }
  try {
    const std::vector<std::string> not_restored = CopyFolderTree(run.platform, backup, part);
    for (const std::string& source : not_restored) {
      failures.push_back("Не удалось восстановить файл: " + source);
    }
    // The journal goes once the restore is done: what was put back must be
    // on the disk by then.
    FlushFolderTree(run.platform, part);
  } catch (...) {
    failures.push_back(FailureMessage(std::current_exception()));
  }
}

// B8: every part the run found put back, whichever step failed. The
// failures' lines, each followed by CR LF; empty when all went back.
std::string RestoreFromBackup(UpdateRun& run) {
  const UpdateContext& context = run.Context;
  try {
    DeleteFolderTree(run.platform, context.NewDir);
  } catch (...) {
    // Left-over payload files harm nothing; the restore matters.
  }
  std::vector<std::string> failures;
  if (context.HasClientPart) RestorePart(run, context.ProgramDir, context.OldProgramDir, failures);
  if (context.HasServerPart) RestorePart(run, context.DbDataDir, context.OldDbDataDir, failures);
  if (run.platform.files.FolderExists(context.OldOtherDir)) {
    for (std::string& line : RestoreEncodedFiles(run.platform, context.OldOtherDir)) {
      failures.push_back(std::move(line));
    }
  }
  std::string message;
  for (const std::string& line : failures) message += line + "\r\n";
  return message;
}

}  // namespace

void ProductUpdatePhases::RemovePayloadFolder(UpdateRun& run) {
  const std::string& folder = run.Context.NewDir;
  try {
    DeleteFolderTree(run.platform, folder);
  } catch (const UpdateFailure&) {
    Log(run, "Не удалось удалить временную папку: " + platform::ExcludeTrailingDelimiter(folder) +
                 ". Попробуйте удалить ее вручную после перезагрузки компьютера.");
    return;
  }
  Log(run, "Временная папка \"" + platform::IncludeTrailingDelimiter(folder) + "\" удалена");
}

void ProductUpdatePhases::RollBack(UpdateRun& run, const std::string& failure_message) {
  run.ErrorText = AppendErrorText(run.ErrorText, failure_message);
  run.RolledBack = true;
  run.front.captions.ShowCaption("Обновление завершено с ошибками.\rВыполняется откат изменений!");
  LogSafely(run, run.ErrorText + "\rОбновление завершено с ошибками. Выполняется откат изменений!");
  run.ErrorText.clear();
  LogSafely(run, "Восстановление каталогов программы из резервной копии.");
  const std::string failures = RestoreFromBackup(run);
  if (!failures.empty()) {
    run.ErrorText =
        AppendErrorText("Восстановление каталогов программы завершено с ошибками", failures);
    return;
  }
  LogSafely(run, "Завершено восстановление каталогов программы из резервной копии.");
}

bool ProductUpdatePhases::BringDatabaseOnlineAtEnd(UpdateRun& run) {
  LogSafely(run, "Перевод базы данных в многопользовательский режим (OnLine)");
  try {
    update_steps::BringDatabaseOnline(run);
  } catch (...) {
    run.ErrorText = AppendErrorText(
        run.ErrorText,
        "Программе обновления не удалось перевести базу данных (сервер) в многопользовательский "
        "режим. Для ручного перевода базы данных (сервера) в многопользовательский режим "
        "воспользуйтесь пунктом меню \"Перевести базу данных в многопользовательский режим "
        "(OnLine)\".\rOriginal Message: " +
            FailureMessage(std::current_exception()));
    return false;
  }
  LogSafely(run, "База данных переведена в многопользовательский режим.");
  return true;
}

}  // namespace updater
