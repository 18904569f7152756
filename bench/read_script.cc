// read-script: the engine's own work on a data script, without a server:
// the script read, split into statements, its commands recognised, its data
// blocks parsed into rows and every statement's text handed to the
// reporter as the library hands it to its caller, while the database takes
// everything and does nothing. Run it under /usr/bin/time or perf to see
// what reading a script costs the engine apart from the server's work.
//
//   read-script SCRIPT-FILE [CHARSET]    (CHARSET: the connection's, WIN1251)
//
// Prints the statements, data blocks and rows it read, and the number of
// statements that failed.
#include <cstdio>
#include <string>

#include "platform/paths.h"
#include "platform/platform.h"
#include "scriptengine/database.h"
#include "scriptengine/errors.h"
#include "scriptengine/script_charset.h"
#include "scriptengine/script_executor.h"
#include "scriptengine/script_splitter.h"
#include "scriptengine/text_bytes.h"

namespace se = updater::scriptengine;

namespace {

class NullDatabase final : public se::Database {
 public:
  explicit NullDatabase(std::string charset) : charset_(std::move(charset)) {}
  std::string Charset() const override { return charset_; }
  void SetDialect(int) override {}
  void Execute(std::string_view, const std::vector<se::Value>&, bool) override {}
  void Prepare(std::string_view) override {}
  std::unique_ptr<se::Cursor> Open(std::string_view, const std::vector<se::Value>&) override {
    throw se::ScriptError("read-script reads no data back");
  }
  bool InsertRows(const se::DataBlock& block) override {
    ++blocks;
    rows += block.rows.size();
    return true;
  }
  std::vector<se::Table> UserTables() override { return {}; }
  void Commit() override {}
  void Rollback() override {}
  void Reconnect(const std::string&) override {}

  size_t blocks = 0;
  size_t rows = 0;

 private:
  std::string charset_;
};

// Converts every text as the library does for its callbacks.
class AnsiReporter final : public se::ScriptReporter {
 public:
  void StatementText(int32_t, std::string_view text) override {
    ++statements;
    bytes += se::ToAnsi(text).size();
  }
  void StatementError(std::string_view statement, std::string_view error) override {
    std::fprintf(stderr, "%s\n  %s\n", se::ToAnsi(statement).substr(0, 200).c_str(),
                 se::ToAnsi(error).c_str());
  }
  void StatementDone(int32_t, bool) override {}

  size_t statements = 0;
  size_t bytes = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: read-script SCRIPT-FILE [CHARSET]\n");
    return 2;
  }
  updater::platform::Platform& platform = updater::platform::SystemPlatform();
  auto opened = platform.files.OpenInputFile(argv[1]);
  if (!opened.ok()) {
    std::fprintf(stderr, "%s\n", opened.error().Describe().c_str());
    return 2;
  }
  const std::string charset = argc == 3 ? argv[2] : "WIN1251";
  se::FileSource file(std::move(opened).value(), argv[1]);
  se::MarkedScriptSource source(file, charset);
  NullDatabase database(charset);
  AnsiReporter reporter;
  se::ScriptExecutor executor(
      database, platform.files, reporter,
      updater::platform::SplitPath(argv[1], updater::platform::Delimiters::kEither).folder);
  const int failures = executor.Run(source);
  std::printf("%zu statements, %zu data blocks, %zu rows, %d failed\n", reporter.statements,
              database.blocks, database.rows, failures);
  return failures == 0 ? 0 : 1;
}
