#include "scriptengine/script_executor.h"

#include "platform/paths.h"
#include "platform/text.h"
#include "scriptengine/block_language.h"
#include "scriptengine/client_commands.h"
#include "scriptengine/data_block.h"
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
  for (;;) {
    std::optional<ScriptStatement> statement;
    try {
      statement = splitter.Next();
    } catch (const std::exception& e) {
      // The source itself failed (a read error): nothing more can be read.
      reporter_.StatementError("", e.what());
      ++failures;
      break;
    }
    if (!statement) break;
    ++number_;
    reporter_.StatementText(number_, statement->text);
    bool succeeded = false;
    try {
      if (!statement->error.empty()) throw ScriptError(statement->error);
      RunStatement(splitter, *statement);
      succeeded = true;
    } catch (const DatabaseError& e) {
      reporter_.StatementError(statement->text, e.what());
    } catch (const ScriptError& e) {
      reporter_.StatementError(statement->text, e.what());
    } catch (const std::exception& e) {
      reporter_.StatementError(statement->text, std::string("internal error: ") + e.what());
    }
    if (!succeeded) ++failures;
    reporter_.StatementDone(number_, succeeded);
  }
  try {
    database_.Commit();
  } catch (const std::exception& e) {
    reporter_.StatementError("COMMIT", e.what());
    ++failures;
  }
  return failures;
}

void ScriptExecutor::RunStatement(StatementSplitter& splitter, const ScriptStatement& statement) {
  const ClientCommand command = RecogniseCommand(statement.text);
  switch (command.kind) {
    case ClientCommand::Kind::kSetTerm:
      splitter.SetTerminator(command.argument);
      return;
    case ClientCommand::Kind::kAutoDdl:
      auto_ddl_ = command.flag;
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
    case ClientCommand::Kind::kCommit:
      database_.Commit();
      return;
    case ClientCommand::Kind::kRollback:
      database_.Rollback();
      return;
    case ClientCommand::Kind::kReconnect:
      database_.Reconnect(names_);
      return;
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
  const TokenizeResult scanned = Tokenize(sql);
  if (!scanned.error.empty()) {
    // The splitter saw a complete statement; whatever the tokens miss, the
    // server is the one to say what is wrong with it.
    database_.Execute(sql, {}, auto_ddl_);
    return;
  }
  const ParameterizedStatement parameterized = ReplaceBlobReferences(sql, scanned.tokens);
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
  if (std::optional<DataBlock> block = ParseDataBlock(scanned.tokens, params)) {
    if (database_.InsertRows(*block)) return;
  }
  database_.Execute(parameterized.sql, params, auto_ddl_);
}

const BlobFile& ScriptExecutor::CurrentBlobFile() {
  if (blob_file_path_.empty()) {
    throw ScriptError("the statement refers to a blob file, but no SET BLOBFILE came before it");
  }
  if (!blob_file_) blob_file_ = std::make_unique<BlobFile>(files_, blob_file_path_);
  return *blob_file_;
}

}  // namespace updater::scriptengine
