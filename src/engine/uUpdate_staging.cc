// Lock check, staging and backup: nobody holds the product folder, the
// run's working folders are made and the payload unpacked into them, and the
// installed parts are copied into the backup the rollback restores from.
#include "common/failures.h"
#include "engine/uUpdate.h"
#include "engine/uUpdate_steps.h"
#include "fsutil/folder_tree.h"
#include "fsutil/uWexrRout.h"
#include "platform/paths.h"

namespace updater {
namespace {

using update_steps::Log;

// How the payload's window is shown (SW_SHOWNORMAL).
constexpr int kShowNormal = 1;
// How many seconds a run waits for a working folder name of its own.
constexpr int kFreshStampAttempts = 3;

// A: renaming the product folder fails while any process has a file open
// in it or works in it.
void CheckFolderNotInUse(UpdateRun& run) {
  platform::FileSystem& files = run.platform.files;
  const std::string& path = run.Context.ProgramPath;
  const std::string folder = platform::ExcludeTrailingDelimiter(path);
  Log(run, "Проверка наличия блокировок каталогов/файлов");
  if (!files.Rename(folder, folder + "_")) {
    throw UpdateFailure(
        "Невозможно получить полный доступ к папке " + path +
        ".\r\rЗакройте все открытые приложения, в том числе файл-менеджеры (Total Commander, "
        "Проводник, Explorer и т.д.) и повторите обновление.\rТакже проверьте, что данная "
        "программа обновления НЕ расположена в папке " +
        path + ".\r\rЕсли ошибка повторяется, ПЕРЕЗАГРУЗИТЕ компьютер!");
  }
  if (!files.Rename(folder + "_", folder)) {
    throw UpdateFailure(
        "Произошла критическая ошибка переименования пути к обновляемой программе! Обратитесь к "
        "разработчику.");
  }
  Log(run, "Завершена проверка наличия блокировок каталогов/файлов");
}

bool HoldsEntries(platform::FileSystem& files, const std::string& folder) {
  auto entries = files.ListFolder(folder);
  return entries && !entries->empty();
}

// A working folder of this second that holds a backup belongs to an
// earlier run that ended within the same second. Its backup is the only
// copy of what that run replaced, so it stays, and this run takes the name
// of a later second instead.
void KeepEarlierBackup(UpdateRun& run) {
  platform::Clock& clock = run.platform.clock;
  for (int attempt = 0; HoldsEntries(run.platform.files, run.Context.OldDir); ++attempt) {
    if (attempt == kFreshStampAttempts) {
      throw UpdateFailure("Папка " + run.Context.TmpDir +
                          " уже содержит резервную копию другого обновления!");
    }
    clock.Sleep(static_cast<uint32_t>(1000 - clock.Now().millisecond));
    SetTimeStamp(run.Context, clock.Now());
  }
}

// B: the working folders, with the payload written out and unpacked into
// NewDir.
void MakeWorkingFolders(UpdateRun& run) {
  const UpdateContext& context = run.Context;
  Log(run, "Создание временной структуры каталогов.");
  DeleteFolderTree(run.platform, context.TmpDir);
  CreateFolder(run.platform, context.TmpDir);
  CreateFolder(run.platform, context.NewDir);
  CreateFolder(run.platform, context.OldDir);
  update_steps::BeginJournal(run);
  const std::string payload = update_steps::NewFile(run, "files.exe");
  ExtractPayloadResource(run.platform, payload, "");
  // The exit code says nothing the later steps would not find out: a file
  // the payload did not unpack is missed by the step that needs it.
  (void)RunProgramAndWait(run.platform, run.front.pump, payload, std::nullopt, kShowNormal);
  Log(run, "Завершено создание временной структуры каталогов.");
}

// C: the installed parts copied into OldDir. A backup that misses a file
// is no backup: the run stops here, before anything is changed, naming
// every file that could not be copied.
void BackUpInstalledParts(UpdateRun& run) {
  const UpdateContext& context = run.Context;
  Log(run, "Создание резервной копии программы");
  update_steps::EnterJournalPhase(run, JournalPhase::kBackup);
  std::vector<std::string> not_copied;
  if (context.HasClientPart) {
    not_copied = CopyFolderTree(run.platform, context.ProgramDir, context.OldProgramDir);
  }
  if (context.HasServerPart) {
    for (std::string& path :
         CopyFolderTree(run.platform, context.DbDataDir, context.OldDbDataDir)) {
      not_copied.push_back(std::move(path));
    }
  }
  if (!not_copied.empty()) {
    std::string message = "Не удалось создать полную резервную копию программы. Не скопированы:";
    for (const std::string& path : not_copied) message += "\r" + path;
    throw UpdateFailure(message);
  }
  // On the disk before anything of the product is changed, the backup and
  // then the journal that calls it complete: from here on a power loss
  // leaves a product that only this backup can bring back, and the system
  // may still hold the copies' contents in memory.
  FlushFolderTree(run.platform, context.OldDir);
  update_steps::EnterJournalPhase(run, JournalPhase::kBackup, true);
}

}  // namespace

void ProductUpdatePhases::StageAndBackup(UpdateRun& run) {
  CheckFolderNotInUse(run);
  // Before the guard: the guard deletes the working folder, and this one
  // may be an earlier run's.
  KeepEarlierBackup(run);
  try {
    MakeWorkingFolders(run);
    BackUpInstalledParts(run);
  } catch (...) {
    // The product folder is unchanged: only this run's working folder goes.
    const std::exception_ptr failure = std::current_exception();
    run.ErrorText = AppendErrorText(run.ErrorText, FailureMessage(failure));
    try {
      DeleteFolderTree(run.platform, run.Context.TmpDir);
    } catch (...) {
      run.ErrorText = AppendErrorText(run.ErrorText, FailureMessage(std::current_exception()));
    }
    std::rethrow_exception(failure);
  }
  Log(run, "Завершено создание резервной копии программы");
}

}  // namespace updater
