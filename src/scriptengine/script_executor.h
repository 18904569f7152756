// Runs a script statement by statement over a Database: the engine's own
// commands are carried out here, everything else goes to the server. Every
// statement's text is reported before it runs (a data block's, which runs
// on a lane while the next statements are read, before its outcome and
// after the outcome of the statement before it); a failure is reported with
// the statement and the error's text, and the script goes on with the next
// statement (unless SET BAIL ON says otherwise). At the end the default
// transaction is committed.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "scriptengine/blob_file.h"
#include "scriptengine/block_lanes.h"
#include "scriptengine/database.h"
#include "scriptengine/load_meter.h"
#include "scriptengine/script_splitter.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {

// Where the executor reports. Texts are the script's own bytes.
class ScriptReporter {
 public:
  virtual ~ScriptReporter() = default;
  // A statement about to run (`number` counts from 1), or a progress text
  // of a block (`number` 0).
  virtual void StatementText(int32_t number, std::string_view text) = 0;
  virtual void StatementError(std::string_view statement, std::string_view error) = 0;
  // After each statement: whether it succeeded.
  virtual void StatementDone(int32_t number, bool succeeded) = 0;
};

class ScriptExecutor {
 public:
  // `folder` (UTF-8, may be empty for the current folder) is where relative
  // file names of the script are looked up: its blob file and the files
  // its blocks open, all through `files`.
  ScriptExecutor(Database& database, platform::FileSystem& files, ScriptReporter& reporter,
                 std::string folder);

  // Runs the script from `source` to its end, or up to EXIT or QUIT, or up
  // to its first failure after SET BAIL ON; then commits the default
  // transaction (rolls it back after QUIT or the failure). Returns the
  // number of failed statements, a failed commit counted as one.
  int Run(ByteSource& source);

  // From now on the rows of every data block loaded are counted on `meter`
  // (which must outlive the runs), or on none.
  void CountLoadOn(LoadMeter* meter) { meter_ = meter; }

 private:
  struct QueuedBlock;

  // Runs and reports one statement; returns whether it succeeded.
  bool RunOne(StatementSplitter& splitter, const ScriptStatement& statement);
  // Reports the end of statement `number`: its failure (when `failure` is
  // set) and whether it succeeded; counts a failure and stops after it
  // under SET BAIL ON.
  void Conclude(int32_t number, std::string_view text, size_t line,
                const std::optional<std::string>& failure);
  void RunStatement(StatementSplitter& splitter, const ScriptStatement& statement);
  void RunSql(std::string_view sql);
  // Reads the SQL statement `sql` into `block`: its tokens, its blob file
  // references bound as parameters, and its rows when it is a data block,
  // counted on from the table's rows before it. Returns false for a
  // statement that is no data block.
  bool ReadDataBlock(std::string_view sql, QueuedBlock& block);
  // Loads a data block read by ReadDataBlock from `sql`, here and now; a
  // failure is explained by ExplainBlockFailure.
  void LoadDataBlock(const QueuedBlock& block, std::string_view sql);
  // The rows of `block` into `database`: bound to a prepared statement
  // when they fit one, else the block's text.
  static void InsertBlock(Database& database, const QueuedBlock& block);
  // The rows of a loaded `block` counted on the load meter, if any; table
  // names are in `charset`.
  void CountLoaded(const QueuedBlock& block, const std::string& charset);
  // Rethrows `error`, the failure of the data block `block` read from
  // `sql`, naming the table and the rows; the statement is then reported
  // by an excerpt.
  [[noreturn]] void ExplainBlockFailure(const QueuedBlock& block, std::string_view sql,
                                        std::exception_ptr error);

  // Between SET DATA BEGIN and SET DATA END, data blocks run on the lanes
  // while the next statements are read: the script's attachment and, when
  // the database gives one, a second one. Everything else waits for them.
  void OpenLanes();
  void CloseLanes();
  // Hands a data block to a free lane; false, having done nothing, for a
  // statement that must run on this thread after everything before it.
  bool Queue(ScriptStatement& statement);
  // Reports the blocks that have finished, in their order; with `all`,
  // waits for every block first.
  void ReportQueued(bool all);

  // Checks the database against the manifest `name` of a data export:
  // reports the tables that differ and a line for a check without a
  // difference; a difference fails the statement.
  void CheckData(std::string_view name);
  // Commits the default transaction (with the second attachment's, all or
  // none). A transaction whose commit fails is rolled back, and the
  // failure says so.
  void Commit();
  void RollBack();
  // Tells what an early end (EXIT, QUIT, SET BAIL) leaves undone.
  void ReportEarlyEnd(StatementSplitter& splitter);
  // Ends the default transaction; returns 1 when that fails, else 0.
  int EndTransaction();
  const BlobFile& CurrentBlobFile();

  Database& database_;
  platform::FileSystem& files_;
  ScriptReporter& reporter_;
  std::string folder_;
  bool auto_ddl_ = true;
  bool bail_ = false;
  bool plan_only_ = false;
  bool data_open_ = false;  // SET DATA BEGIN seen, its SET DATA END not yet
  std::string names_;
  std::string blob_file_path_;
  std::unique_ptr<BlobFile> blob_file_;
  int32_t number_ = 0;
  // Rows of each table's data blocks so far: where the next block's rows
  // stand in the table's data.
  std::map<std::string, uint64_t> data_rows_;
  LoadMeter* meter_ = nullptr;
  // What a failure reports as its statement, when not the statement's
  // whole text (a data block's excerpt).
  std::string shown_statement_;

  // How the script ends: at its end unless a statement ends it early.
  enum class Ending { kAtTheEnd, kCommit, kRollBack };
  Ending ending_ = Ending::kAtTheEnd;
  std::string ended_by_;  // what ended it early, for the report
  bool skipped_ = false;  // statements were read that the early end leaves unrun
  int failures_ = 0;

  // The data load's second attachment (declared before the lanes that use
  // it), whether it holds work since the last commit, and the tables whose
  // blocks may go over it.
  std::unique_ptr<Database> sibling_;
  bool sibling_work_ = false;
  std::set<std::string> side_by_side_;
  std::unique_ptr<BlockLanes> lanes_;
  std::deque<std::shared_ptr<QueuedBlock>> queued_;
  std::string load_charset_;  // the connection's, for the load meter
};

// The UTF-8 path of file name `name` from a script, relative to `folder`.
// Names in scripts are in the system's ANSI code page.
std::string ScriptFilePath(const std::string& folder, std::string_view name);

}  // namespace updater::scriptengine
