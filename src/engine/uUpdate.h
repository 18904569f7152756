// The update run: its working context and the driver that takes the product
// from its installed state to the new version, or back.
#pragma once

#include <optional>
#include <string>

#include "engine/caption_area.h"
#include "engine/operator_prompt.h"
#include "engine/profiles.h"
#include "engine/update_journal.h"
#include "engine/update_log.h"
#include "firebird/uFbService.h"
#include "platform/platform.h"

namespace updater {

// What the front end lends the engine for a run or a command: the log, the
// boxes, the message pump and the caption area.
struct FrontEnd {
  UpdateLog& log;
  OperatorPrompt& prompt;
  MessagePump& pump;
  CaptionArea& captions;
};

// The paths of one run or command, computed once at its start.
struct UpdateContext {
  std::string ProgramPath;      // the product folder, expanded to a full path
  std::string ProgramDir;       // ProgramPath\Program
  std::string DbDataDir;        // ProgramPath\DB_Data
  std::string TimeStamp;        // ddmmyyhhnnss
  std::string TmpDir;           // ProgramPath\Tmp$<TimeStamp>
  std::string NewDir;           // TmpDir\New: the unpacked payload
  std::string OldDir;           // TmpDir\Old: the backup
  std::string OldProgramDir;    // OldDir\Program
  std::string OldDbDataDir;     // OldDir\DB_Data
  std::string OldOtherDir;      // OldDir\Other
  std::string DbConnectString;  // ServerPrefix, DbDataDir\, DatabaseFile as spelled on disk
  bool HasClientPart = false;   // ProgramDir\ExeFile is a file
  bool HasServerPart = false;   // DbDataDir\DatabaseFile is a file
};

// The prefix of a run's working folder's name: "Tmp$" and its TimeStamp.
inline constexpr char kWorkingFolderPrefix[] = "Tmp$";

// Sets the context's ProgramPath to `program_path` and the product's part
// folders below it (ProgramDir, DbDataDir).
void SetProductFolders(UpdateContext& context, const std::string& program_path);

// Sets the context's TimeStamp ("ddmmyyhhnnss" of `time`) and the working
// folders named after it (TmpDir, NewDir, OldDir and the three backup
// folders inside OldDir), below the context's ProgramPath.
void SetTimeStamp(UpdateContext& context, const platform::LocalTime& time);

// The same from a time stamp text "ddmmyyhhnnss".
void SetWorkingFolders(UpdateContext& context, const std::string& stamp);

// `folder` joined with the name of its entry that is `name` without regard
// to case, as that entry is spelled on disk; with `name` as given when there
// is none. A path handed to the database server must be spelled so, since a
// Linux server opens it case-sensitively.
std::string SpelledPath(platform::FileSystem& files, const std::string& folder,
                        const std::string& name);

// Turns the product folder text into the context of one run or command.
// Reads the profile's ExeFile, DatabaseFile and ServerPrefix; writes its
// opening and closing log lines. Fails with UpdateFailure when the folder
// does not exist or is not on a local (fixed or removable) drive; the message
// names the expanded path. Touches nothing on disk.
UpdateContext InitUpdateContext(const std::string& product_folder, const ProjectProfile& profile,
                                platform::Platform& platform, FrontEnd& front);

// The five inputs of one run, in the order the Start command hands them over.
struct UpdateRequest {
  std::string ProductFolder;  // as typed
  std::string SysdbaPassword;
  std::string AdmnPassword;
  std::string ProjectCode;
  UpdateLog* ScriptLogView = nullptr;  // where script output goes, or none
};

// The state of one run, shared by its phases.
struct UpdateRun {
  UpdateRequest Request;
  ProjectProfile Profile;      // the profile as it was when the run started
  TFBServParams ServerParams;  // the detected server, as it was at the start
  UpdateContext Context;
  std::string ErrorText;    // failures collected while the run recovers
  bool RolledBack = false;  // set when the run enters its rollback
  // The first log entry that could not be written while the run restored
  // the product or brought the database online, steps that go on whatever
  // happens to the log; the run shows it once at its end.
  std::string LogFailure;
  platform::Platform& platform;
  FrontEnd& front;
  // The run's journal as last written; empty until the working folder
  // exists (update_journal.h).
  std::optional<JournalRecord> Journal;
};

// The phases the driver calls, in the order it calls them. A phase fails by
// raising UpdateFailure (or SilentAbort, where the operator declined).
class UpdatePhases {
 public:
  virtual ~UpdatePhases() = default;

  // Attached users or the server stop warning, database shutdown, service
  // stop, free-space check and service start, with their own recovery.
  virtual void PrepareServer(UpdateRun& run) = 0;

  // Lock check, working folders, payload, backup of the installed parts.
  virtual void StageAndBackup(UpdateRun& run) = 0;

  // The database rebuilt in UTF8 with the customer's data carried over.
  virtual void RebuildDatabase(UpdateRun& run) = 0;

  // Metadata, privileges and the server function library of the new version.
  virtual void UpdateServerPart(UpdateRun& run) = 0;

  // The new program and its help file.
  virtual void UpdateClientPart(UpdateRun& run) = 0;

  // Puts both installed parts back from the backup after `failure_message`
  // stopped the update proper. Leaves in run.ErrorText the message the run
  // fails with: empty when the restore succeeded.
  virtual void RollBack(UpdateRun& run, const std::string& failure_message) = 0;

  // Removes the unpacked payload; a failure is logged, not raised.
  virtual void RemovePayloadFolder(UpdateRun& run) = 0;

  // The closing action: brings the database online. Returns false after
  // appending the failure and the operator's instructions to run.ErrorText.
  virtual bool BringDatabaseOnlineAtEnd(UpdateRun& run) = 0;
};

// The phases as the product runs them, on the platform and the front end
// of the run. Each phase lives in a file of its own: uUpdate_server.cc,
// uUpdate_staging.cc, uUpdate_database.cc, uUpdate_client.cc and
// uUpdate_completion.cc.
class ProductUpdatePhases final : public UpdatePhases {
 public:
  void PrepareServer(UpdateRun& run) override;
  void StageAndBackup(UpdateRun& run) override;
  void RebuildDatabase(UpdateRun& run) override;
  void UpdateServerPart(UpdateRun& run) override;
  void UpdateClientPart(UpdateRun& run) override;
  void RollBack(UpdateRun& run, const std::string& failure_message) override;
  void RemovePayloadFolder(UpdateRun& run) override;
  bool BringDatabaseOnlineAtEnd(UpdateRun& run) override;
};

// How one run ended, for the front end's outcome display and its failure
// handler.
struct UpdateOutcome {
  enum class End {
    kSucceeded,  // the new version is installed
    kAbandoned,  // a silent abort: the operator declined; nothing to show
    kFailed,     // the run failed; Message says why
  };
  End end = End::kSucceeded;
  // The run entered its rollback (the window's RolledBack flag).
  bool RolledBack = false;
  // kFailed: the failure's message, which the front end logs and shows;
  // empty when the run rolled back and logged everything itself.
  std::string Message;
};

// What the front end's outcome display shows in its caption area when the
// run ended as `outcome` (lines separated by single CR characters):
// "Обновление прошло успешно.", CR, "Завершите работу с программой." after
// success; "Обновление прошло с ошибками!", CR, "Откат изменений завершен."
// after a rollback; "Обновление прервано!" otherwise.
std::string OutcomeCaption(const UpdateOutcome& outcome);

// The log entry of the outcome display after a successful run.
inline constexpr char kUpdateSucceededLogEntry[] =
    "Обновление прошло успешно. Завершите работу с программой.";

// What the search for interrupted runs found and did.
struct RecoveryOutcome {
  // kSucceeded: nothing is left to recover (none found, or each restored or
  // closed); kAbandoned: the operator declined a restore; kFailed: a journal
  // could not be read, or a restore or the database's online step failed.
  UpdateOutcome outcome;
  int found = 0;  // unfinished journals found
};

// Looks in the product folder for working folders Tmp$<stamp> whose journal
// (update_journal.h) says that their run never ended: a crash, a kill or a
// power loss cut it short. For each, with the product folder's lock held:
// a run that never completed its backup changed nothing, and its journal is
// finished with a log line; otherwise the operator is told what was cut
// short and when, and asked whether to restore the previous version. Yes:
// the run's own rollback (phases.RollBack: both parts from the backup,
// Old\Other restored), the Firebird service started when the run left it
// stopped, and the database brought online, then the journal
// finished; No: everything is left as it is (kAbandoned). A journal that
// cannot be read or names another product folder, and a backup that lacks
// a part the restore would empty, are reported (kFailed) with nothing
// touched, never guessed at. Never throws.
RecoveryOutcome RecoverInterruptedUpdates(const UpdateRequest& request,
                                          const ProjectProfile& profile,
                                          const TFBServParams& server_params,
                                          platform::Platform& platform, FrontEnd& front,
                                          UpdatePhases& phases);

// The update run. Never throws: every way it can end is in the outcome.
// An interrupted earlier run is recovered first (RecoverInterruptedUpdates);
// when that does not succeed, its outcome is the run's.
// Phases fail by raising UpdateFailure or SilentAbort; any other exception
// that escapes a phase ends the run as kFailed with its text.
UpdateOutcome RunUpdate(const UpdateRequest& request, const ProjectProfile& profile,
                        const TFBServParams& server_params, platform::Platform& platform,
                        FrontEnd& front, UpdatePhases& phases);

}  // namespace updater
