// The parsed form of a block: expressions and statements.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scriptengine/values.h"

namespace updater::scriptengine {

struct Expr {
  enum class Kind { kLiteral, kVariable, kUnary, kBinary, kIsNull, kCall };
  Kind kind = Kind::kLiteral;
  size_t line = 0;
  Value literal;
  std::string name;      // variable or function (upper case), or operator
  bool negated = false;  // IS NOT NULL
  std::vector<std::unique_ptr<Expr>> args;
};

// SQL text of a block statement with its ":variable" references taken out:
// `sql` holds "?" in their place and `variables` names them in order.
struct BlockSql {
  std::string sql;
  std::vector<std::string> variables;
};

struct Stmt {
  enum class Kind {
    kCompound,          // body
    kAssign,            // name = expr
    kIf,                // expr, body[0] then, body[1] else (optional)
    kWhile,             // expr, body[0]
    kForSelect,         // sql, into, body[0]
    kForExecute,        // expr (the SQL text), into, body[0]
    kExecuteStatement,  // expr, into (may be empty)
    kCall,              // expr (a call)
    kExit,
    kBreak,
  };
  Kind kind = Kind::kCompound;
  size_t line = 0;
  std::string name;
  std::unique_ptr<Expr> expr;
  BlockSql sql;
  std::vector<std::string> into;
  std::vector<std::unique_ptr<Stmt>> body;
};

struct BlockParam {
  std::string name;  // upper case
  Value value;
};

struct Block {
  std::vector<BlockParam> params;
  std::vector<std::unique_ptr<Stmt>> declarations;  // DECLARE ... = expr, as assignments
  std::vector<std::string> declared;                // declared names without a value
  std::unique_ptr<Stmt> body;
};

// Parses a block. Throws ScriptError "block line N: ..." at the first error.
Block ParseBlock(std::string_view text);

}  // namespace updater::scriptengine
