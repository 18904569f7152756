#include "scriptengine/script_executor.h"

#include <algorithm>

#include "platform/paths.h"
#include "platform/text.h"
#include "scriptengine/block_language.h"
#include "scriptengine/client_commands.h"
#include "scriptengine/data_block.h"
#include "scriptengine/data_manifest.h"
#include "scriptengine/errors.h"
#include "scriptengine/sql_tokens.h"
#include "scriptengine/table_columns.h"

namespace updater::scriptengine {
namespace {

bool IsAbsolute(std::string_view path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
         (path.size() >= 2 && path[1] == ':');
}

}  // namespace

std::string ScriptFilePath(const std::string& folder, std::string_view name) {
  const std::string path = platform::AnsiToUtf8(name);
  if (folder.empty() || IsAbsolute(path)) return path;
  return platform::JoinPath(folder, path);
}

ScriptExecutor::ScriptExecutor(Database& database, platform::FileSystem& files,
                               ScriptReporter& reporter, std::string folder)
    : database_(database), files_(files), reporter_(reporter), folder_(std::move(folder)) {}

// A data block read ahead of its turn: what runs it on a lane and what
// reports it afterwards.
struct ScriptExecutor::QueuedBlock {
  int32_t number = 0;
  std::string text;  // the statement's, as the script holds it
  size_t line = 0;
  std::vector<Token> tokens;
  ParameterizedStatement parameterized;
  std::vector<Value> params;
  DataBlock block;
  uint64_t first = 0;  // rows of the table before this block's
  bool auto_ddl = true;
  BlockLanes::Ticket ticket;
};

namespace {

// Blocks read ahead and not yet reported, at most: what is in flight on
// the lanes and what waits to be reported behind a slower block.
constexpr size_t kMaxQueued = 4;

// Runs `run`; the failure's text when it throws.
template <typename Run>
std::optional<std::string> FailureOf(Run run) {
  try {
    run();
    return std::nullopt;
  } catch (const DatabaseError& e) {
    return e.what();
  } catch (const ScriptError& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("internal error: ") + e.what();
  }
}

}  // namespace

int ScriptExecutor::Run(ByteSource& source) {
  StatementSplitter splitter(source);
  failures_ = 0;
  skipped_ = false;
  while (ending_ == Ending::kAtTheEnd) {
    std::optional<ScriptStatement> statement;
    try {
      statement = splitter.Next();
    } catch (const std::exception& e) {
      // The source itself failed (a read error): nothing more can be read.
      // What was read before it still runs.
      ReportQueued(true);
      if (ending_ != Ending::kAtTheEnd) {
        skipped_ = true;
        break;
      }
      reporter_.StatementError("", e.what());
      if (bail_) ending_ = Ending::kRollBack;
      CloseLanes();
      const int failed = failures_ + 1 + EndTransaction();
      sibling_.reset();
      return failed;
    }
    if (!statement) break;
    if (Queue(*statement)) continue;
    ReportQueued(true);
    if (ending_ != Ending::kAtTheEnd) {
      skipped_ = true;  // read after the failure that ended the script
      break;
    }
    RunOne(splitter, *statement);
  }
  ReportQueued(true);
  CloseLanes();
  if (ending_ != Ending::kAtTheEnd) {
    ReportEarlyEnd(splitter);
  } else if (data_open_) {
    // The rows loaded so far are not all the rows there are: the work
    // since the last commit goes, and the run fails.
    reporter_.StatementError("SET DATA END",
                             "the data script ends before its SET DATA END: it was cut short, "
                             "and the table data it holds is not all of the data");
    ++failures_;
    ending_ = Ending::kRollBack;
  }
  const int failed = failures_ + EndTransaction();
  sibling_.reset();
  return failed;
}

bool ScriptExecutor::RunOne(StatementSplitter& splitter, const ScriptStatement& statement) {
  ++number_;
  reporter_.StatementText(number_, statement.text);
  shown_statement_.clear();
  const std::optional<std::string> failure = FailureOf([&] {
    if (!statement.error.empty()) throw ScriptError(statement.error);
    RunStatement(splitter, statement);
  });
  Conclude(number_, statement.text, statement.line, failure);
  return !failure;
}

void ScriptExecutor::Conclude(int32_t number, std::string_view text, size_t line,
                              const std::optional<std::string>& failure) {
  if (failure) {
    reporter_.StatementError(shown_statement_.empty() ? text : shown_statement_, *failure);
  }
  reporter_.StatementDone(number, !failure);
  if (!failure) return;
  ++failures_;
  if (bail_) {
    ending_ = Ending::kRollBack;
    ended_by_ = "SET BAIL ON: the failure at line " + std::to_string(line);
  }
}

void ScriptExecutor::OpenLanes() {
  if (plan_only_) return;  // nothing is loaded under SET PLANONLY
  load_charset_ = database_.Charset();
  // The second attachment and the threads only make the load faster:
  // without them the blocks run over the script's own attachment, which
  // loads them as completely, so the load goes on without them and without
  // a word (the update's log stays silent during the load).
  // (A second attachment kept from an earlier load holds uncommitted work:
  // it stays.)
  side_by_side_.clear();
  try {
    if (!sibling_) sibling_ = database_.OpenSibling();
    if (sibling_) side_by_side_ = TablesLoadableSideBySide(database_);
  } catch (const std::exception&) {
    side_by_side_.clear();
    if (!sibling_work_) sibling_.reset();
  }
  std::vector<Database*> databases{&database_};
  if (sibling_) databases.push_back(sibling_.get());
  try {
    lanes_ = std::make_unique<BlockLanes>(databases);
  } catch (const std::exception&) {
    lanes_.reset();
    if (!sibling_work_) sibling_.reset();
  }
}

void ScriptExecutor::CloseLanes() {
  lanes_.reset();
  // A second attachment with work since the last commit stays until that
  // work is committed or rolled back with the script's own.
  if (!sibling_work_) sibling_.reset();
}

bool ScriptExecutor::Queue(ScriptStatement& statement) {
  if (!lanes_ || plan_only_ || !statement.error.empty()) return false;
  if (RecogniseCommand(statement.text).kind != ClientCommand::Kind::kSql) return false;
  auto queued = std::make_shared<QueuedBlock>();
  try {
    if (!ReadDataBlock(statement.text, *queued)) return false;
  } catch (const std::exception&) {
    return false;  // run in turn, the statement reports its own failure
  }
  queued->number = ++number_;
  queued->line = statement.line;
  queued->text = std::move(statement.text);
  // Two attachments inserting into one table wait for each other's
  // uncommitted rows when a key, a reference or a trigger joins them, and
  // neither transaction would end while the other waits: such tables load
  // over the script's own attachment only.
  const bool first_only = !sibling_ || side_by_side_.count(queued->block.table) == 0;
  while (queued_.size() >= kMaxQueued) {
    lanes_->Wait(queued_.front()->ticket);
    ReportQueued(false);
  }
  lanes_->WaitForFree(first_only);
  ReportQueued(false);
  if (ending_ != Ending::kAtTheEnd) {
    // A block before this one failed under SET BAIL ON: this one is not
    // started.
    skipped_ = true;
    return true;
  }
  size_t lane = 0;
  QueuedBlock& block = *queued;
  queued->ticket = lanes_->Start([&block](Database& database) { InsertBlock(database, block); },
                                 first_only, lane);
  if (lane > 0) sibling_work_ = true;
  queued_.push_back(std::move(queued));
  ReportQueued(false);
  return true;
}

void ScriptExecutor::ReportQueued(bool all) {
  while (!queued_.empty()) {
    const std::shared_ptr<QueuedBlock> queued = queued_.front();
    if (all) {
      lanes_->Wait(queued->ticket);
    } else if (!lanes_->Done(queued->ticket)) {
      return;
    }
    queued_.pop_front();
    if (ending_ != Ending::kAtTheEnd) {
      // After the failure that stopped the script: its work is rolled back
      // with the rest, and the statement counts as not run.
      skipped_ = true;
      continue;
    }
    reporter_.StatementText(queued->number, queued->text);
    shown_statement_.clear();
    const std::exception_ptr error = queued->ticket->error;
    const std::optional<std::string> failure = FailureOf([&] {
      if (error) ExplainBlockFailure(*queued, queued->text, error);
    });
    Conclude(queued->number, queued->text, queued->line, failure);
    if (!failure) CountLoaded(*queued, load_charset_);
  }
}

void ScriptExecutor::ReportEarlyEnd(StatementSplitter& splitter) {
  bool more = skipped_;
  try {
    more = more || splitter.Next().has_value();
  } catch (const std::exception&) {
    // What cannot be read is not run either; the line below says so.
    more = true;
  }
  std::string text = ended_by_ + " ends the script";
  if (ending_ == Ending::kRollBack) text += "; the work since the last commit is rolled back";
  if (more) text += "; the statements after it are not run";
  if (ending_ == Ending::kRollBack || more) reporter_.StatementText(0, text);
}

int ScriptExecutor::EndTransaction() {
  const bool roll_back = ending_ == Ending::kRollBack;
  try {
    if (roll_back) {
      RollBack();
    } else {
      Commit();
    }
    return 0;
  } catch (const std::exception& e) {
    reporter_.StatementError(roll_back ? "ROLLBACK" : "COMMIT", e.what());
    return 1;
  }
}

void ScriptExecutor::CheckData(std::string_view name) {
  if (data_open_) {
    throw ScriptError(
        "SET DATA CHECK between SET DATA BEGIN and SET DATA END: the data is not all "
        "loaded yet");
  }
  if (plan_only_) return;  // nothing is loaded under SET PLANONLY either
  const std::string path = ScriptFilePath(folder_, name);
  const DataCheck check = CheckAgainstManifest(database_, files_, path);
  if (check.differences.empty()) {
    reporter_.StatementText(0, AgreementLine(check));
    return;
  }
  std::string failure = "the data differs from the manifest \"" + path + "\" in " +
                        std::to_string(check.differences.size()) + " of " +
                        std::to_string(check.tables) + " tables:";
  for (const DataCheck::Difference& difference : check.differences) {
    const std::string line = DifferenceLine(difference);
    reporter_.StatementText(0, line);
    failure += "\n" + line;
  }
  throw ScriptError(failure);
}

void ScriptExecutor::Commit() {
  std::string failure;
  try {
    // The second attachment's work is written and checked first, so that
    // the two commits that follow cannot part: a failure here rolls both
    // back, as a single attachment's failed commit would.
    if (sibling_) sibling_->PrepareCommit();
    database_.Commit();
  } catch (const DatabaseError& e) {
    failure = e.what();
  }
  if (failure.empty()) {
    if (sibling_) {
      sibling_work_ = false;
      sibling_->Commit();
      if (!data_open_) sibling_.reset();
    }
    return;
  }
  // A transaction whose commit failed never commits: every later commit
  // would fail the same way and take the statements run in between with
  // it. Rolled back, it loses only its own work.
  try {
    RollBack();
  } catch (const std::exception& e) {
    throw DatabaseError(failure + "\r\nThe transaction cannot be rolled back either: " + e.what());
  }
  throw DatabaseError(
      failure + "\r\nThe transaction is rolled back: its work since the last commit is lost.");
}

void ScriptExecutor::RollBack() {
  std::exception_ptr failure;
  if (sibling_) {
    try {
      sibling_->Rollback();
    } catch (...) {
      failure = std::current_exception();
    }
    sibling_work_ = false;
    if (!data_open_) sibling_.reset();
  }
  database_.Rollback();
  if (failure) std::rethrow_exception(failure);
}

namespace {

bool Switched(bool now, const ClientCommand& command) {
  return command.toggle ? !now : command.flag;
}

}  // namespace

void ScriptExecutor::RunStatement(StatementSplitter& splitter, const ScriptStatement& statement) {
  const ClientCommand command = RecogniseCommand(statement.text);
  switch (command.kind) {
    case ClientCommand::Kind::kSetTerm:
      splitter.SetTerminator(command.argument);
      return;
    case ClientCommand::Kind::kAutoDdl:
      auto_ddl_ = Switched(auto_ddl_, command);
      return;
    case ClientCommand::Kind::kBail:
      bail_ = Switched(bail_, command);
      return;
    case ClientCommand::Kind::kPlanOnly:
      plan_only_ = Switched(plan_only_, command);
      return;
    case ClientCommand::Kind::kDialect:
      database_.SetDialect(command.number);
      if (sibling_) sibling_->SetDialect(command.number);
      return;
    case ClientCommand::Kind::kNames:
      names_ = command.argument;
      return;
    case ClientCommand::Kind::kBlobFile:
      blob_file_path_ = ScriptFilePath(folder_, command.argument);
      blob_file_.reset();
      return;
    case ClientCommand::Kind::kDataBegin:
    case ClientCommand::Kind::kDataEnd: {
      const bool begin = command.kind == ClientCommand::Kind::kDataBegin;
      if (begin == data_open_) {
        throw ScriptError(begin ? "SET DATA BEGIN again before SET DATA END"
                                : "SET DATA END without SET DATA BEGIN");
      }
      data_open_ = begin;
      // The second attachment comes after forced writes are off and goes
      // before they are on again.
      if (!begin) CloseLanes();
      database_.DataLoad(begin);
      if (begin) OpenLanes();
      return;
    }
    case ClientCommand::Kind::kDataCheck:
      CheckData(command.argument);
      return;
    case ClientCommand::Kind::kCommit:
    case ClientCommand::Kind::kRollback:
      // As in isql, SET PLANONLY holds for COMMIT and ROLLBACK too.
      if (plan_only_) {
        database_.Prepare(statement.text);
      } else if (command.kind == ClientCommand::Kind::kCommit) {
        Commit();
      } else {
        RollBack();
      }
      return;
    case ClientCommand::Kind::kReconnect:
      // A reconnection commits: the second attachment's work goes with it,
      // and the load goes on over attachments with the new parameters.
      if (sibling_) {
        Commit();
        CloseLanes();
        sibling_.reset();
      }
      database_.Reconnect(names_);
      if (data_open_) OpenLanes();
      return;
    case ClientCommand::Kind::kExit:
    case ClientCommand::Kind::kQuit: {
      const bool exit = command.kind == ClientCommand::Kind::kExit;
      ending_ = exit ? Ending::kCommit : Ending::kRollBack;
      ended_by_ =
          std::string(exit ? "EXIT" : "QUIT") + " at line " + std::to_string(statement.line);
      return;
    }
    case ClientCommand::Kind::kIgnored:
      return;
    case ClientCommand::Kind::kInvalid:
      throw ScriptError(command.argument);
    case ClientCommand::Kind::kBlock: {
      BlockEnvironment environment{database_, files_, folder_, [this](std::string_view text) {
                                     reporter_.StatementText(0, text);
                                   }};
      RunBlock(statement.text, environment);
      return;
    }
    case ClientCommand::Kind::kSql:
      RunSql(statement.text);
      return;
  }
}

void ScriptExecutor::RunSql(std::string_view sql) {
  QueuedBlock block;
  if (ReadDataBlock(sql, block)) {
    LoadDataBlock(block, sql);
    return;
  }
  if (plan_only_) {
    database_.Prepare(block.parameterized.sql);
    return;
  }
  database_.Execute(block.parameterized.sql, block.params, auto_ddl_);
}

bool ScriptExecutor::ReadDataBlock(std::string_view sql, QueuedBlock& block) {
  if (sql.find('\0') != std::string_view::npos) {
    // The server reads a statement up to its first NUL: "DELETE FROM T<NUL>
    // WHERE ..." would delete every row.
    throw ScriptError("the statement holds a NUL byte, which would cut it short at the server");
  }
  TokenizeResult scanned = Tokenize(sql);
  // When the tokens miss something (the splitter saw a complete statement),
  // the statement goes as it stands: the server is the one to say what is
  // wrong with it.
  const bool tokenized = scanned.error.empty();
  block.parameterized = tokenized ? ReplaceBlobReferences(sql, scanned.tokens)
                                  : ParameterizedStatement{std::string(sql), {}};
  if (plan_only_) return false;
  if (!block.parameterized.references.empty()) {
    const BlobFile& file = CurrentBlobFile();
    for (const BlobReference& reference : block.parameterized.references) {
      if (reference.offset > file.Size() || reference.length > file.Size() - reference.offset) {
        throw ScriptError("the blob file reference " +
                          BlobReferenceText(reference.offset, reference.length) +
                          " lies outside the blob file \"" + file.Path() + "\" (" +
                          std::to_string(file.Size()) + " bytes)");
      }
      block.params.push_back(Value::Slice(file, reference.offset, reference.length));
    }
  }
  if (!tokenized) return false;
  std::optional<DataBlock> rows = ParseDataBlock(scanned.tokens, block.params);
  if (!rows) return false;
  block.block = std::move(*rows);
  block.tokens = std::move(scanned.tokens);
  block.auto_ddl = auto_ddl_;
  // Where the block's rows stand in its table's data, for its failure.
  uint64_t& loaded = data_rows_[block.block.table];
  block.first = loaded;
  loaded += block.block.rows.size();
  return true;
}

namespace {

// A data block's statement as a failure shows it: its INSERT at
// `insert_offset` (the failed row's, else the first), cut short, between
// the block's first words and its end; never the whole block, whose rows
// are the customer's data and may fill 48 KB.
std::string DataBlockExcerpt(std::string_view sql, size_t insert_offset, size_t rows) {
  constexpr size_t kMaxInsertBytes = 240;
  std::string_view insert = sql.substr(insert_offset);
  insert = insert.substr(0, insert.find('\n'));
  std::string excerpt = "EXECUTE BLOCK ... ";
  if (insert.size() > kMaxInsertBytes) {
    size_t cut = kMaxInsertBytes;
    // Not inside a UTF-8 character.
    while (cut > 0 && (static_cast<unsigned char>(insert[cut]) & 0xC0) == 0x80) --cut;
    excerpt += std::string(insert.substr(0, cut)) + "...";
  } else {
    excerpt += insert;
  }
  return excerpt + " ... END (" + std::to_string(rows) + " rows, " + std::to_string(sql.size()) +
         " bytes)";
}

// Where the INSERTs of a data block's `tokens` start, one a row.
std::vector<size_t> InsertOffsets(const std::vector<Token>& tokens) {
  std::vector<size_t> inserts;
  for (const Token& token : tokens) {
    if (token.Is("INSERT")) inserts.push_back(token.offset);
  }
  return inserts;
}

}  // namespace

void ScriptExecutor::LoadDataBlock(const QueuedBlock& block, std::string_view sql) {
  try {
    InsertBlock(database_, block);
  } catch (const std::exception&) {
    ExplainBlockFailure(block, sql, std::current_exception());
  }
  CountLoaded(block, database_.Charset());
}

void ScriptExecutor::InsertBlock(Database& database, const QueuedBlock& block) {
  if (!database.InsertRows(block.block)) {
    database.Execute(block.parameterized.sql, block.params, block.auto_ddl);
  }
}

void ScriptExecutor::CountLoaded(const QueuedBlock& block, const std::string& charset) {
  if (meter_ == nullptr) return;
  meter_->Loaded(CanonicalName(block.block.table, charset),
                 static_cast<int64_t>(block.block.rows.size()));
}

void ScriptExecutor::ExplainBlockFailure(const QueuedBlock& queued, std::string_view sql,
                                         std::exception_ptr error) {
  const DataBlock& block = queued.block;
  const uint64_t first = queued.first;
  const uint64_t last = first + block.rows.size();
  try {
    std::rethrow_exception(error);
  } catch (const ScriptError& e) {
    // The block's blob file failed it: no row of its own.
    shown_statement_ =
        DataBlockExcerpt(sql, InsertOffsets(queued.tokens).front(), block.rows.size());
    throw ScriptError("the data of " + QuoteName(block.table) + ", rows " +
                      std::to_string(first + 1) + " to " + std::to_string(last) + ": " + e.what());
  } catch (const DatabaseError& e) {
    const std::vector<size_t> inserts = InsertOffsets(queued.tokens);
    std::optional<size_t> row = e.block_row;
    if (!row && e.BlockLine() > 0) {
      for (size_t r = 0; r < inserts.size(); ++r) {
        const auto line = 1 + std::count(sql.begin(), sql.begin() + inserts[r], '\n');
        if (static_cast<size_t>(line) == e.BlockLine()) row = r;
      }
    }
    std::string where = "the data of " + QuoteName(block.table) + ", ";
    if (row && *row < inserts.size()) {
      where += "row " + std::to_string(first + *row + 1);
    } else {
      where += "rows " + std::to_string(first + 1) + " to " + std::to_string(last);
    }
    if (!e.block_column.empty()) {
      where += ", column " + QuoteName(e.block_column);
    } else if (const fbclient::FbError* invalid = e.Status().Find(isc_not_valid);
               invalid != nullptr && !invalid->arguments.empty()) {
      where += ", column " + invalid->arguments.front();
    }
    shown_statement_ = DataBlockExcerpt(
        sql, row && *row < inserts.size() ? inserts[*row] : inserts.front(), block.rows.size());
    throw DatabaseError(where + ": " + e.what(), e.Status());
  }
}

const BlobFile& ScriptExecutor::CurrentBlobFile() {
  if (blob_file_path_.empty()) {
    throw ScriptError("the statement refers to a blob file, but no SET BLOBFILE came before it");
  }
  if (!blob_file_) blob_file_ = std::make_unique<BlobFile>(files_, blob_file_path_);
  return *blob_file_;
}

}  // namespace updater::scriptengine
