// Runs a parsed block: variables, expressions with SQL's NULL rules, the
// statements, and the built-in functions (block_functions.cc).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_streams.h"
#include "scriptengine/block_ast.h"
#include "scriptengine/block_language.h"

namespace updater::scriptengine {

class BlockInterpreter {
 public:
  explicit BlockInterpreter(BlockEnvironment& environment) : environment_(environment) {}
  ~BlockInterpreter();

  void Run(const Block& block);

  // For the built-in functions.
  BlockEnvironment& Environment() { return environment_; }
  int64_t OpenFile(const std::string& path, bool append);
  platform::OutputFile& File(const Value& number, size_t line);
  void CloseFile(const Value& number, size_t line);

 private:
  enum class Flow { kNext, kBreak, kExit };

  Flow Execute(const Stmt& stmt);
  Flow ExecuteBody(const Stmt& stmt, size_t index);
  Value Evaluate(const Expr& expr);
  Value Call(const Expr& expr);
  std::vector<Value> SqlParams(const BlockSql& sql, size_t line);
  // Fetches the current row of `cursor` into the variables `into`.
  void FetchInto(Cursor& cursor, const std::vector<std::string>& into, size_t line);
  void CloseAll();

  BlockEnvironment& environment_;
  std::map<std::string, Value> variables_;
  std::map<int64_t, std::unique_ptr<platform::OutputFile>> files_;
  int64_t next_file_ = 1;
};

// Throws ScriptError "block line N: message".
[[noreturn]] void BlockFailure(size_t line, const std::string& message);

// Runs built-in function `name` (upper case) with `args`; throws
// ScriptError for an unknown function or wrong arguments.
Value CallBuiltIn(BlockInterpreter& interpreter, const std::string& name,
                  const std::vector<Value>& args, size_t line);

}  // namespace updater::scriptengine
