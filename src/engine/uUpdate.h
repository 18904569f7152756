// The update run: its working context and the driver that takes the product
// from its installed state to the new version, or back.
#pragma once

#include <string>

#include "engine/operator_prompt.h"
#include "engine/profiles.h"
#include "engine/update_log.h"
#include "firebird/uFbService.h"
#include "platform/platform.h"

namespace updater {

// What the front end lends the engine for a run or a command: the log, the
// boxes and the message pump.
struct FrontEnd {
  UpdateLog& log;
  OperatorPrompt& prompt;
  MessagePump& pump;
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
  std::string DbConnectString;  // ServerPrefix, DbDataDir\, DatabaseFile
  bool HasClientPart = false;   // ProgramDir\ExeFile is a file
  bool HasServerPart = false;   // DbDataDir\DatabaseFile is a file
};

// Turns the product folder text into the context of one run or command.
// Reads the profile's ExeFile, DatabaseFile and ServerPrefix; writes its
// opening and closing log lines. Fails with UpdateFailure when the folder
// does not exist or is not on a local (fixed or removable) drive; the message
// names the expanded path. Touches nothing on disk.
UpdateContext InitUpdateContext(const std::string& product_folder, const ProjectProfile& profile,
                                platform::Platform& platform, FrontEnd& front);

// The five inputs of one run, in the order the Start command hands them over.
struct UpdateRequest {
  std::string ProductFolder;             // as typed
  std::string SysdbaPassword;
  std::string AdmnPassword;
  std::string ProjectCode;
  UpdateLog* ScriptLogView = nullptr;    // where script output goes, or none
};

// The state of one run, shared by its phases.
struct UpdateRun {
  UpdateRequest Request;
  ProjectProfile Profile;        // the profile as it was when the run started
  TFBServParams ServerParams;    // the detected server, as it was at the start
  UpdateContext Context;
  std::string ErrorText;         // failures collected while the run recovers
  bool& RolledBack;              // the window's flag, read by its outcome display
  platform::Platform& platform;
  FrontEnd& front;
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

// The update run. Returns normally when the update succeeded; otherwise raises
// SilentAbort (the operator declined) or UpdateFailure, whose empty message
// means that the run rolled back and logged everything itself. Clears
// `rolled_back` at its start; the rollback sets it.
void RunUpdate(const UpdateRequest& request, const ProjectProfile& profile,
               const TFBServParams& server_params, bool& rolled_back,
               platform::Platform& platform, FrontEnd& front, UpdatePhases& phases);

}  // namespace updater
