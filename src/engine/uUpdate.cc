#include "engine/uUpdate.h"

#include "common/failures.h"
#include "engine/uUpdate_lock.h"
#include "engine/uUpdate_steps.h"
#include "fsutil/uWexrRout.h"
#include "platform/name_case.h"
#include "platform/paths.h"

namespace updater {
namespace {

using platform::JoinPath;

std::string FormatTimeStamp(const platform::LocalTime& t) {
  return TwoDigitText(t.day) + TwoDigitText(t.month) + TwoDigitText(t.year) + TwoDigitText(t.hour) +
         TwoDigitText(t.minute) + TwoDigitText(t.second);
}

void Log(FrontEnd& front, const std::string& line) {
  front.log.SaveExceptionToLog(line);
  front.pump.ProcessMessages();
}

// "КЛИЕНТСКАЯ и СЕРВЕРНАЯ части", "КЛИЕНТСКАЯ часть", "СЕРВЕРНАЯ часть" or
// empty, after the parts found.
std::string PartsWording(const UpdateContext& context) {
  if (context.HasClientPart && context.HasServerPart) return "КЛИЕНТСКАЯ и СЕРВЕРНАЯ части";
  if (context.HasClientPart) return "КЛИЕНТСКАЯ часть";
  if (context.HasServerPart) return "СЕРВЕРНАЯ часть";
  return {};
}

}  // namespace

std::string SpelledPath(platform::FileSystem& files, const std::string& folder,
                        const std::string& name) {
  if (auto entries = files.ListFolder(folder)) {
    for (const platform::FolderEntry& entry : *entries) {
      if (platform::NamesEqualIgnoringCase(entry.name, name)) return JoinPath(folder, entry.name);
    }
  }
  return JoinPath(folder, name);
}

void SetTimeStamp(UpdateContext& context, const platform::LocalTime& time) {
  SetWorkingFolders(context, FormatTimeStamp(time));
}

void SetProductFolders(UpdateContext& context, const std::string& program_path) {
  context.ProgramPath = program_path;
  context.ProgramDir = JoinPath(program_path, "Program");
  context.DbDataDir = JoinPath(program_path, "DB_Data");
}

void SetWorkingFolders(UpdateContext& context, const std::string& stamp) {
  context.TimeStamp = stamp;
  context.TmpDir = JoinPath(context.ProgramPath, kWorkingFolderPrefix + context.TimeStamp);
  context.NewDir = JoinPath(context.TmpDir, "New");
  context.OldDir = JoinPath(context.TmpDir, "Old");
  context.OldProgramDir = JoinPath(context.OldDir, "Program");
  context.OldDbDataDir = JoinPath(context.OldDir, "DB_Data");
  context.OldOtherDir = JoinPath(context.OldDir, "Other");
}

UpdateContext InitUpdateContext(const std::string& product_folder, const ProjectProfile& profile,
                                platform::Platform& platform, FrontEnd& front) {
  Log(front, "Инициализация переменных...");
  UpdateContext context;
  // A text that cannot be expanded (an empty one) stays as typed and fails
  // the existence test below.
  platform::Result<std::string> full_path = platform.files.FullPath(product_folder);
  SetProductFolders(context, full_path.ok() ? full_path.value() : product_folder);

  if (!platform.files.FolderExists(context.ProgramPath)) {
    throw UpdateFailure("Путь к обновляемой программе \"" + context.ProgramPath + "\" не найден!");
  }
  const platform::DriveType drive_type =
      platform.volumes.DriveTypeOf(platform.volumes.DriveRoot(context.ProgramPath));
  if (drive_type != platform::DriveType::kRemovable && drive_type != platform::DriveType::kFixed) {
    throw UpdateFailure("Путь к обновляемой программе \"" + context.ProgramPath +
                        "\" не является локальным!");
  }

  SetTimeStamp(context, platform.clock.Now());
  context.DbConnectString =
      profile.ServerPrefix + SpelledPath(platform.files, context.DbDataDir, profile.DatabaseFile);
  context.HasClientPart = platform.files.FileExists(JoinPath(context.ProgramDir, profile.ExeFile));
  context.HasServerPart =
      platform.files.FileExists(JoinPath(context.DbDataDir, profile.DatabaseFile));

  Log(front, "Завершена инициализация переменных");
  return context;
}

namespace {

// The run itself: returns when the update succeeded, raises otherwise.
void Update(UpdateRun& run, UpdatePhases& phases) {
  FrontEnd& front = run.front;
  const UpdateRequest& request = run.Request;
  run.Context = InitUpdateContext(request.ProductFolder, run.Profile, run.platform, front);
  const UpdateContext& context = run.Context;

  const std::string parts = PartsWording(context);
  if (parts.empty()) {
    throw UpdateFailure("В каталоге \"" + request.ProductFolder +
                        "\" не обнаружено ни КЛИЕНТСКОЙ, ни СЕРВЕРНОЙ частей программы \"" +
                        request.ProjectCode + "\"");
  }
  // Held until the run has ended, however it ends: a second updater on the
  // same folder must not act while this run changes it.
  const ProductFolderLock lock =
      ProductFolderLock::Take(run.platform, context.ProgramPath, request.ProductFolder);

  const PromptAnswer answer = front.prompt.AskYesNoFocusNo(
      "В указанном каталоге: \"" + request.ProductFolder + "\" - обнаружены " + parts +
      " программы \"" + request.ProjectCode + "\"\rПродолжить обновление?");
  if (answer != PromptAnswer::Yes) throw SilentAbort();

  if (request.ProjectCode == "Marlix" && context.HasServerPart && request.AdmnPassword.empty()) {
    throw UpdateFailure("Не задан пароль пользователя ADMN!");
  }

  if (context.HasServerPart) phases.PrepareServer(run);
  run.ErrorText.clear();

  // Staging, the update proper and the clean-up run under one guard: whatever
  // happens in them, the database is brought online afterwards.
  std::exception_ptr failure;
  try {
    phases.StageAndBackup(run);
    try {
      if (context.HasServerPart) {
        update_steps::EnterJournalPhase(run, JournalPhase::kDatabase);
        phases.RebuildDatabase(run);
        update_steps::EnterJournalPhase(run, JournalPhase::kServerPart);
        phases.UpdateServerPart(run);
      }
      if (context.HasClientPart) {
        update_steps::EnterJournalPhase(run, JournalPhase::kClientPart);
        phases.UpdateClientPart(run);
      }
    } catch (...) {
      const std::string message = FailureMessage(std::current_exception());
      front.prompt.ShowError(message);
      update_steps::RollBackWithJournal(run, phases, message);
      throw UpdateFailure(run.ErrorText);
    }
    phases.RemovePayloadFolder(run);
    // The new version is installed: a crash from here on leaves nothing to
    // undo, only the database to bring online (the Service menu does it).
    update_steps::FinishJournal(run);
  } catch (...) {
    failure = std::current_exception();
  }

  if (context.HasServerPart && !phases.BringDatabaseOnlineAtEnd(run)) {
    throw UpdateFailure(run.ErrorText);
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

UpdateOutcome RunUpdate(const UpdateRequest& request, const ProjectProfile& profile,
                        const TFBServParams& server_params, platform::Platform& platform,
                        FrontEnd& front, UpdatePhases& phases) {
  // An earlier run cut short is dealt with before this one begins.
  const RecoveryOutcome recovery =
      RecoverInterruptedUpdates(request, profile, server_params, platform, front, phases);
  if (recovery.outcome.end != UpdateOutcome::End::kSucceeded) return recovery.outcome;

  UpdateRun run{request, profile, server_params, {}, {}, false, {}, platform, front, {}};
  UpdateOutcome outcome;
  try {
    Update(run, phases);
  } catch (const SilentAbort&) {
    outcome.end = UpdateOutcome::End::kAbandoned;
  } catch (...) {
    outcome.end = UpdateOutcome::End::kFailed;
    outcome.Message = FailureMessage(std::current_exception());
  }
  outcome.RolledBack = run.RolledBack;
  if (!run.LogFailure.empty()) {
    // The restore and the closing step went on without their log entries;
    // the operator learns of it here, once.
    try {
      front.prompt.ShowError(run.LogFailure);
    } catch (...) {
      // A front end that cannot show a box has nowhere else to put it: the
      // outcome is what matters now.
    }
  }
  return outcome;
}

std::string OutcomeCaption(const UpdateOutcome& outcome) {
  if (outcome.end == UpdateOutcome::End::kSucceeded) {
    return "Обновление прошло успешно.\rЗавершите работу с программой.";
  }
  if (outcome.RolledBack) return "Обновление прошло с ошибками!\rОткат изменений завершен.";
  return "Обновление прервано!";
}

}  // namespace updater
