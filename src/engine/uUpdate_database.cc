// The database rebuild and the server part update: the old database's data
// exported by the payload's blocks, the database replaced by the payload's
// empty UTF8 one and the data loaded into it, then the new version's
// metadata, privileges and server function library.
//
// Each script step runs as its user with its character set; each ADMN step
// is framed by bringing the database online before it and shutting it down
// after it, while every SYSDBA script runs on the shut-down database.
#include "common/failures.h"
#include "engine/uUpdate.h"
#include "engine/uUpdate_blocks.h"
#include "engine/uUpdate_check.h"
#include "engine/uUpdate_privileges.h"
#include "engine/uUpdate_steps.h"
#include "fsutil/backup_restore.h"
#include "fsutil/folder_tree.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace updater {
namespace {

using update_steps::BringDatabaseOnline;
using update_steps::DbUser;
using update_steps::kUtf8;
using update_steps::kWin1251;
using update_steps::Log;
using update_steps::NewFile;
using update_steps::RunScriptFile;
using update_steps::RunScriptText;
using update_steps::ShutdownDatabase;
using update_steps::TestAdmnPassword;
using update_steps::WriteFileOrFail;

// The database file the rebuild replaces, and the one the payload brings.
constexpr char kDatabaseFileName[] = "MARLIX.FDB";
constexpr char kServerLibraryName[] = "wexr_udf_u8.dll";

// One of the payload's export blocks and the file it writes into NewDir.
struct ExportBlock {
  const char* file;
  const char* parameter;
  const char* output;
};
constexpr ExportBlock kGeneratorsBlock{"Sys_Generators.sql", "Generators_File_Name",
                                       "Generators.sql"};
constexpr ExportBlock kRolesBlock{"Sys_Roles.sql", "Roles_File_Name", "Roles.sql"};
constexpr ExportBlock kDataBlock{"Sys_Data.sql", "Data_File_Name", "Data.sql"};

// The block's first line replaced by a header naming its output file in
// NewDir, then the block run as SYSDBA.
void RunExportBlock(UpdateRun& run, const ExportBlock& block, const char* charset) {
  platform::FileSystem& files = run.platform.files;
  const std::string path = NewFile(run, block.file);
  auto bytes = files.ReadFile(path);
  if (!bytes) {
    throw UpdateFailure("Невозможно прочитать файл " + path + "!\r" + bytes.error().Describe());
  }
  const std::string header =
      platform::Utf8ToAnsi(ExportBlockHeader(block.parameter, run.Context.NewDir, block.output));
  const std::optional<std::string> prepared = WithFirstLineReplaced(*bytes, header);
  if (!prepared) {
    throw UpdateFailure("Файл " + path +
                        " пуст: в нем нет строки заголовка, которую нужно заменить!");
  }
  WriteFileOrFail(run, path, *prepared);
  RunScriptFile(run, DbUser::kSysdba, charset, block.file);
}

// A2 to A8: the old database tested for the ADMN password and its data,
// generators and roles exported.
void ExportOldDatabase(UpdateRun& run) {
  BringDatabaseOnline(run);
  TestAdmnPassword(run, kWin1251);
  ShutdownDatabase(run);
  RunScriptFile(run, DbUser::kSysdba, kWin1251, "Check_Version.sql");
  RunExportBlock(run, kGeneratorsBlock, kWin1251);
  RunExportBlock(run, kRolesBlock, kWin1251);
  RunExportBlock(run, kDataBlock, kWin1251);
}

// A9, A10: the old database file deleted (the backup holds it) and the
// payload's empty one copied in its place.
void ReplaceDatabaseFile(UpdateRun& run) {
  // Put in under the old file's spelling, which every attachment of the run
  // uses (DbConnectString).
  const std::string path =
      SpelledPath(run.platform.files, run.Context.DbDataDir, kDatabaseFileName);
  if (!run.platform.files.RemoveFile(path)) {
    throw UpdateFailure("Невозможно удалить файл " + path + "!");
  }
  update_steps::CopyFileOrFail(run, NewFile(run, kDatabaseFileName), path);
}

// A11 to A15: the exported data loaded into the new database, then its
// constraints, triggers and generator values.
void LoadDataIntoNewDatabase(UpdateRun& run) {
  ShutdownDatabase(run);
  Log(run, "Начало загрузки данных");
  {
    // However large, the data script is not echoed to the screen: how far
    // it has come shows in the caption area, and goes from there when the
    // load ends, failed or not.
    CaptionArea& captions = run.front.captions;
    struct ProgressShown {
      CaptionArea& captions;
      ~ProgressShown() { captions.EndLoadProgress(); }
    } shown{captions};
    RunScriptFile(run, DbUser::kSysdba, kWin1251, "Data.sql", false, &captions);
  }
  Log(run, "Окончание загрузки данных");
  RunScriptFile(run, DbUser::kSysdba, kUtf8, "Meta_Constraints.sql");
  RunScriptFile(run, DbUser::kSysdba, kUtf8, "Triggers_ Active.sql");
  RunScriptFile(run, DbUser::kSysdba, kUtf8, "Generators.sql");
}

// A16 to A18: the roles of the old database granted in the new one.
void GrantExportedRoles(UpdateRun& run) {
  BringDatabaseOnline(run);
  RunScriptFile(run, DbUser::kAdmn, kUtf8, "Roles.sql");
  ShutdownDatabase(run);
}

// B7 and B9: the privileges `user` granted to other users removed, as that
// user, by the means the server allows.
void RemovePrivilegesGrantedBy(UpdateRun& run, DbUser user) {
  const std::string grantor = user == DbUser::kAdmn ? "ADMN" : "SYSDBA";
  const std::string& password =
      user == DbUser::kAdmn ? run.Request.AdmnPassword : run.Request.SysdbaPassword;
  const TPrivilegeSurvey survey =
      SurveyUserPrivileges(run.Profile.ClientLibrary, run.Context.DbConnectString, grantor,
                           password, grantor, run.platform);
  if (survey.OdsMajorVersion < kFirstOdsWithReadOnlySystemTables) {
    RunScriptText(run, user, kUtf8, DeletePrivilegesStatement(grantor));
    return;
  }
  const std::string revokes = RevokeScript(survey.GrantedToUsers);
  if (!revokes.empty()) RunScriptText(run, user, kUtf8, revokes);
}

// The backup entry of `path` in OldOtherDir: its full path encoded as a
// file name, the deletion marker in front when there is no file to save.
void BackUpOutsideFile(UpdateRun& run, const std::string& path) {
  const std::string& folder = run.Context.OldOtherDir;
  platform::FileSystem& files = run.platform.files;
  if (!files.FolderExists(folder)) CreateFolder(run.platform, folder);
  if (!files.FileExists(path)) {
    const std::string marker = platform::JoinPath(folder, DeletionMarker + EncodeBackupName(path));
    if (platform::Status written = files.WriteFile(marker, ""); !written) {
      throw UpdateFailure("Невозможно создать файл " + marker + "!\r" + written.error().Describe());
    }
    return;
  }
  update_steps::CopyFileOrFail(run, path, platform::JoinPath(folder, EncodeBackupName(path)));
}

// B10, B11: the server function library replaced while the service is
// stopped, the installed one saved first for the rollback; the service is
// started again in every case, and a failure to start is the failure.
void ReplaceServerLibrary(UpdateRun& run) {
  update_steps::StopService(run);
  std::exception_ptr failure;
  try {
    const std::string installed = platform::IncludeTrailingDelimiter(run.ServerParams.ServerRoot) +
                                  "udf" + platform::PathDelimiter() + kServerLibraryName;
    BackUpOutsideFile(run, installed);
    update_steps::CopyFileOrFail(run, NewFile(run, kServerLibraryName), installed);
  } catch (...) {
    failure = std::current_exception();
  }
  update_steps::StartService(run);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

void ProductUpdatePhases::RebuildDatabase(UpdateRun& run) {
  Log(run, "Формирование базы UTF8");
  ExportOldDatabase(run);
  ReplaceDatabaseFile(run);
  LoadDataIntoNewDatabase(run);
  VerifyLoadedData(run);
  GrantExportedRoles(run);
}

void ProductUpdatePhases::UpdateServerPart(UpdateRun& run) {
  Log(run, "Обновление серверной части");
  BringDatabaseOnline(run);
  TestAdmnPassword(run, kUtf8);
  ShutdownDatabase(run);
  RunExportBlock(run, kRolesBlock, kUtf8);
  BringDatabaseOnline(run);
  RemovePrivilegesGrantedBy(run, DbUser::kAdmn);
  ShutdownDatabase(run);
  RemovePrivilegesGrantedBy(run, DbUser::kSysdba);
  ReplaceServerLibrary(run);
  RunScriptFile(run, DbUser::kSysdba, kUtf8, "script.sql");
  BringDatabaseOnline(run);
  RunScriptFile(run, DbUser::kAdmn, kUtf8, "Roles.sql");
  ShutdownDatabase(run);
}

}  // namespace updater
