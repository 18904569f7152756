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

int ScriptExecutor::Run(ByteSource& source) {
  StatementSplitter splitter(source);
  int failures = 0;
  while (ending_ == Ending::kAtTheEnd) {
    std::optional<ScriptStatement> statement;
    try {
      statement = splitter.Next();
    } catch (const std::exception& e) {
      // The source itself failed (a read error): nothing more can be read.
      reporter_.StatementError("", e.what());
      if (bail_) ending_ = Ending::kRollBack;
      return failures + 1 + EndTransaction();
    }
    if (!statement) break;
    if (RunOne(splitter, *statement)) continue;
    ++failures;
    if (bail_) {
      ending_ = Ending::kRollBack;
      ended_by_ = "SET BAIL ON: the failure at line " + std::to_string(statement->line);
    }
  }
  if (ending_ != Ending::kAtTheEnd) {
    ReportEarlyEnd(splitter);
  } else if (data_open_) {
    // The rows loaded so far are not all the rows there are: the work
    // since the last commit goes, and the run fails.
    reporter_.StatementError("SET DATA END",
                             "the data script ends before its SET DATA END: it was cut short, "
                             "and the table data it holds is not all of the data");
    ++failures;
    ending_ = Ending::kRollBack;
  }
  return failures + EndTransaction();
}

bool ScriptExecutor::RunOne(StatementSplitter& splitter, const ScriptStatement& statement) {
  ++number_;
  reporter_.StatementText(number_, statement.text);
  shown_statement_.clear();
  bool succeeded = false;
  std::string failure;
  try {
    if (!statement.error.empty()) throw ScriptError(statement.error);
    RunStatement(splitter, statement);
    succeeded = true;
  } catch (const DatabaseError& e) {
    failure = e.what();
  } catch (const ScriptError& e) {
    failure = e.what();
  } catch (const std::exception& e) {
    failure = std::string("internal error: ") + e.what();
  }
  if (!succeeded) {
    reporter_.StatementError(shown_statement_.empty() ? statement.text : shown_statement_, failure);
  }
  reporter_.StatementDone(number_, succeeded);
  return succeeded;
}

void ScriptExecutor::ReportEarlyEnd(StatementSplitter& splitter) {
  bool more = false;
  try {
    more = splitter.Next().has_value();
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
      database_.Rollback();
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
    database_.Commit();
    return;
  } catch (const DatabaseError& e) {
    failure = e.what();
  }
  // A transaction whose commit failed never commits: every later commit
  // would fail the same way and take the statements run in between with
  // it. Rolled back, it loses only its own work.
  try {
    database_.Rollback();
  } catch (const std::exception& e) {
    throw DatabaseError(failure + "\r\nThe transaction cannot be rolled back either: " + e.what());
  }
  throw DatabaseError(
      failure + "\r\nThe transaction is rolled back: its work since the last commit is lost.");
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
      database_.DataLoad(begin);
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
        database_.Rollback();
      }
      return;
    case ClientCommand::Kind::kReconnect:
      database_.Reconnect(names_);
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
  if (sql.find('\0') != std::string_view::npos) {
    // The server reads a statement up to its first NUL: "DELETE FROM T<NUL>
    // WHERE ..." would delete every row.
    throw ScriptError("the statement holds a NUL byte, which would cut it short at the server");
  }
  const TokenizeResult scanned = Tokenize(sql);
  // When the tokens miss something (the splitter saw a complete statement),
  // the statement goes as it stands: the server is the one to say what is
  // wrong with it.
  const bool tokenized = scanned.error.empty();
  const ParameterizedStatement parameterized = tokenized
                                                   ? ReplaceBlobReferences(sql, scanned.tokens)
                                                   : ParameterizedStatement{std::string(sql), {}};
  if (plan_only_) {
    database_.Prepare(parameterized.sql);
    return;
  }
  std::vector<Value> params;
  if (!parameterized.references.empty()) {
    const BlobFile& file = CurrentBlobFile();
    for (const BlobReference& reference : parameterized.references) {
      if (reference.offset > file.Size() || reference.length > file.Size() - reference.offset) {
        throw ScriptError("the blob file reference " +
                          BlobReferenceText(reference.offset, reference.length) +
                          " lies outside the blob file \"" + file.Path() + "\" (" +
                          std::to_string(file.Size()) + " bytes)");
      }
      params.push_back(Value::Slice(file, reference.offset, reference.length));
    }
  }
  if (std::optional<DataBlock> block =
          tokenized ? ParseDataBlock(scanned.tokens, params) : std::nullopt) {
    LoadDataBlock(*block, sql, scanned.tokens, parameterized, params);
    return;
  }
  database_.Execute(parameterized.sql, params, auto_ddl_);
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

void ScriptExecutor::LoadDataBlock(const DataBlock& block, std::string_view sql,
                                   const std::vector<Token>& tokens,
                                   const ParameterizedStatement& parameterized,
                                   const std::vector<Value>& params) {
  uint64_t& loaded = data_rows_[block.table];
  const uint64_t first = loaded;
  loaded += block.rows.size();
  try {
    if (!database_.InsertRows(block)) database_.Execute(parameterized.sql, params, auto_ddl_);
  } catch (const ScriptError& e) {
    // The block's blob file failed it: no row of its own.
    shown_statement_ = DataBlockExcerpt(sql, InsertOffsets(tokens).front(), block.rows.size());
    throw ScriptError("the data of " + QuoteName(block.table) + ", rows " +
                      std::to_string(first + 1) + " to " + std::to_string(loaded) + ": " +
                      e.what());
  } catch (const DatabaseError& e) {
    const std::vector<size_t> inserts = InsertOffsets(tokens);
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
      where += "rows " + std::to_string(first + 1) + " to " + std::to_string(loaded);
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
  if (meter_ != nullptr) {
    meter_->Loaded(CanonicalName(block.table, database_.Charset()),
                   static_cast<int64_t>(block.rows.size()));
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
