#include "scriptengine/block_interpreter.h"

#include <algorithm>
#include <cmath>

#include "scriptengine/errors.h"
#include "scriptengine/script_charset.h"

namespace updater::scriptengine {
namespace {

constexpr int64_t kPowers[] = {1,
                               10,
                               100,
                               1000,
                               10000,
                               100000,
                               1000000,
                               10000000,
                               100000000,
                               1000000000,
                               10000000000,
                               100000000000,
                               1000000000000,
                               10000000000000,
                               100000000000000,
                               1000000000000000,
                               10000000000000000,
                               100000000000000000,
                               1000000000000000000};

bool IsNumber(const Value& v) {
  return v.kind == Value::Kind::kInteger || v.kind == Value::Kind::kDouble;
}

double AsDouble(const Value& v) {
  return v.kind == Value::Kind::kDouble
             ? v.real
             : static_cast<double>(v.integer) / static_cast<double>(kPowers[v.scale]);
}

// `v` as a number: numbers as they are, texts that read as numbers.
Value Numeric(const Value& v, size_t line) {
  if (IsNumber(v)) return v;
  if (v.kind == Value::Kind::kText) {
    int64_t integer = 0;
    int scale = 0;
    if (ParseInteger(v.text, integer, scale)) return Value::Integer(integer, scale);
    double real = 0;
    if (ParseDouble(v.text, real)) return Value::Double(real);
  }
  BlockFailure(line, "\"" + ValueText(v) + "\" is not a number");
}

// Brings two scaled integers to the same scale; false on overflow.
bool Align(int64_t& a, int& scale_a, int64_t& b, int& scale_b) {
  while (scale_a < scale_b) {
    if (__builtin_mul_overflow(a, 10, &a)) return false;
    ++scale_a;
  }
  while (scale_b < scale_a) {
    if (__builtin_mul_overflow(b, 10, &b)) return false;
    ++scale_b;
  }
  return true;
}

Value Arithmetic(const std::string& op, const Value& left, const Value& right, size_t line) {
  const Value a = Numeric(left, line);
  const Value b = Numeric(right, line);
  if (a.kind == Value::Kind::kInteger && b.kind == Value::Kind::kInteger) {
    int64_t x = a.integer, y = b.integer, result = 0;
    int sx = a.scale, sy = b.scale;
    bool overflow = false;
    if (op == "+" || op == "-") {
      overflow = !Align(x, sx, y, sy) || (op == "+" ? __builtin_add_overflow(x, y, &result)
                                                    : __builtin_sub_overflow(x, y, &result));
      if (!overflow) return Value::Integer(result, sx);
    } else if (op == "*") {
      overflow = sx + sy > 18 || __builtin_mul_overflow(x, y, &result);
      if (!overflow) return Value::Integer(result, sx + sy);
    } else if (sx == 0 && sy == 0) {
      if (y == 0) BlockFailure(line, "division by zero");
      if (x == INT64_MIN && y == -1) BlockFailure(line, "integer overflow");
      return Value::Integer(x / y);
    }
    if (overflow) BlockFailure(line, "integer overflow");
  }
  const double x = AsDouble(a), y = AsDouble(b);
  if (op == "/" && y == 0) BlockFailure(line, "division by zero");
  const double result = op == "+" ? x + y : op == "-" ? x - y : op == "*" ? x * y : x / y;
  return Value::Double(result);
}

bool IsMoment(const Value& v) {
  return v.kind == Value::Kind::kDate || v.kind == Value::Kind::kTime ||
         v.kind == Value::Kind::kTimestamp;
}

// `v` as a date, time or timestamp for a comparison with `other`, one of
// them: a text in the form of `other`'s kind is read as that kind.
Value Moment(const Value& v, const Value& other, size_t line) {
  if (IsMoment(v)) return v;
  if (v.kind == Value::Kind::kText) {
    int32_t date = 0;
    uint32_t time = 0;
    if (ParseDate(v.text, date)) return Value::Date(date);
    if (ParseTimestamp(v.text, date, time)) return Value::Timestamp(date, time);
    if (ParseTime(v.text, time)) return Value::Time(time);
  }
  BlockFailure(line, "\"" + ValueText(v) + "\" cannot be compared with " +
                         (other.kind == Value::Kind::kTime ? "a time" : "a date"));
}

// Dates and timestamps as points in time (a date is its midnight, as SQL
// takes it); times only with times.
int CompareMoments(const Value& a, const Value& b, size_t line) {
  if ((a.kind == Value::Kind::kTime) != (b.kind == Value::Kind::kTime)) {
    BlockFailure(line, "a time of day cannot be compared with a date");
  }
  const int64_t x = (a.kind == Value::Kind::kTime ? 0 : int64_t{a.date} * kTicksPerDay) +
                    (a.kind == Value::Kind::kDate ? 0 : a.time);
  const int64_t y = (b.kind == Value::Kind::kTime ? 0 : int64_t{b.date} * kTicksPerDay) +
                    (b.kind == Value::Kind::kDate ? 0 : b.time);
  return x < y ? -1 : x > y ? 1 : 0;
}

// -1, 0 or 1; both values are not NULL.
int Compare(const Value& a, const Value& b, size_t line) {
  if (IsNumber(a) || IsNumber(b)) {
    const Value x = Numeric(a, line), y = Numeric(b, line);
    if (x.kind == Value::Kind::kInteger && y.kind == Value::Kind::kInteger) {
      int64_t p = x.integer, q = y.integer;
      int sp = x.scale, sq = y.scale;
      if (Align(p, sp, q, sq)) return p < q ? -1 : p > q ? 1 : 0;
    }
    const double p = AsDouble(x), q = AsDouble(y);
    return p < q ? -1 : p > q ? 1 : 0;
  }
  if (a.kind == Value::Kind::kBoolean && b.kind == Value::Kind::kBoolean) {
    return static_cast<int>(a.boolean) - static_cast<int>(b.boolean);
  }
  if (IsMoment(a) || IsMoment(b))
    return CompareMoments(Moment(a, b, line), Moment(b, a, line), line);
  // Texts as the server compares them: trailing blanks (a CHAR value's
  // padding) make no difference.
  std::string x = ValueText(a), y = ValueText(b);
  x.erase(x.find_last_not_of(' ') + 1);
  y.erase(y.find_last_not_of(' ') + 1);
  return x < y ? -1 : x > y ? 1 : 0;
}

// NULL stays NULL (unknown); anything else must be a boolean.
bool Truth(const Value& v, size_t line, bool& known) {
  known = !v.IsNull();
  if (!known) return false;
  if (v.kind != Value::Kind::kBoolean) BlockFailure(line, "a condition must be true or false");
  return v.boolean;
}

enum class FileStart { kEmpty, kMarked, kUnmarked };

// How the file at `path` begins (a missing file is empty).
FileStart StartOf(platform::FileSystem& files, const std::string& path) {
  auto file = files.OpenInputFile(path);
  if (!file.ok()) return FileStart::kEmpty;
  char head[kUtf8Mark.size()] = {};
  auto read = file.value()->ReadAt(0, head, sizeof head);
  if (!read.ok() || read.value() == 0) return FileStart::kEmpty;
  return std::string_view(head, read.value()) == kUtf8Mark ? FileStart::kMarked
                                                           : FileStart::kUnmarked;
}

}  // namespace

void BlockFailure(size_t line, const std::string& message) {
  throw ScriptError("block line " + std::to_string(line) + ": " + message);
}

BlockInterpreter::~BlockInterpreter() { CloseAll(); }

void BlockInterpreter::CloseAll() {
  // Closing here is the clean-up after a failure that is already on its way:
  // a further failure of the close would only hide it.
  for (auto& [number, file] : files_) (void)file->Close();
  files_.clear();
}

void BlockInterpreter::Run(const Block& block) {
  for (const BlockParam& param : block.params) variables_[param.name] = param.value;
  for (const std::string& name : block.declared) variables_[name] = Value::Null();
  for (const auto& declaration : block.declarations) Execute(*declaration);
  Execute(*block.body);
  // Files left open are closed and their failures reported.
  for (auto& [number, file] : files_) {
    platform::Status closed = file->Close();
    if (!closed)
      throw ScriptError("a file of the block cannot be written: " + closed.error().Describe());
  }
  files_.clear();
}

BlockInterpreter::Flow BlockInterpreter::ExecuteBody(const Stmt& stmt, size_t index) {
  return Execute(*stmt.body[index]);
}

BlockInterpreter::Flow BlockInterpreter::Execute(const Stmt& stmt) {
  switch (stmt.kind) {
    case Stmt::Kind::kCompound:
      for (const auto& inner : stmt.body) {
        const Flow flow = Execute(*inner);
        if (flow != Flow::kNext) return flow;
      }
      return Flow::kNext;
    case Stmt::Kind::kAssign:
      variables_[stmt.name] = Evaluate(*stmt.expr);
      return Flow::kNext;
    case Stmt::Kind::kIf: {
      bool known = false;
      if (Truth(Evaluate(*stmt.expr), stmt.line, known)) return ExecuteBody(stmt, 0);
      if (stmt.body.size() > 1) return ExecuteBody(stmt, 1);
      return Flow::kNext;
    }
    case Stmt::Kind::kWhile:
      for (;;) {
        bool known = false;
        if (!Truth(Evaluate(*stmt.expr), stmt.line, known)) return Flow::kNext;
        const Flow flow = ExecuteBody(stmt, 0);
        if (flow == Flow::kExit) return flow;
        if (flow == Flow::kBreak) return Flow::kNext;
      }
    case Stmt::Kind::kForSelect:
    case Stmt::Kind::kForExecute: {
      std::unique_ptr<Cursor> cursor;
      if (stmt.kind == Stmt::Kind::kForSelect) {
        cursor = environment_.database.Open(stmt.sql.sql, SqlParams(stmt.sql, stmt.line));
      } else {
        cursor = environment_.database.Open(ValueText(Evaluate(*stmt.expr)), {});
      }
      while (cursor->Next()) {
        FetchInto(*cursor, stmt.into, stmt.line);
        const Flow flow = ExecuteBody(stmt, 0);
        if (flow == Flow::kExit) return flow;
        if (flow == Flow::kBreak) break;
      }
      return Flow::kNext;
    }
    case Stmt::Kind::kExecuteStatement: {
      const std::string sql = ValueText(Evaluate(*stmt.expr));
      if (stmt.into.empty()) {
        environment_.database.Execute(sql, {}, true);
      } else {
        std::unique_ptr<Cursor> cursor = environment_.database.Open(sql, {});
        if (cursor->Next()) FetchInto(*cursor, stmt.into, stmt.line);
      }
      return Flow::kNext;
    }
    case Stmt::Kind::kCall:
      Evaluate(*stmt.expr);
      return Flow::kNext;
    case Stmt::Kind::kExit:
      return Flow::kExit;
    case Stmt::Kind::kBreak:
      return Flow::kBreak;
  }
  return Flow::kNext;
}

std::vector<Value> BlockInterpreter::SqlParams(const BlockSql& sql, size_t line) {
  std::vector<Value> params;
  for (const std::string& name : sql.variables) {
    const auto found = variables_.find(name);
    if (found == variables_.end()) BlockFailure(line, "the variable " + name + " has no value");
    params.push_back(found->second);
  }
  return params;
}

void BlockInterpreter::FetchInto(Cursor& cursor, const std::vector<std::string>& into,
                                 size_t line) {
  if (into.size() != cursor.Columns().size()) {
    BlockFailure(line, "the query gives " + std::to_string(cursor.Columns().size()) +
                           " values for " + std::to_string(into.size()) + " variables");
  }
  for (size_t i = 0; i < into.size(); ++i) {
    const Value& value = cursor.Get(i);
    if (value.kind == Value::Kind::kBlob) {
      std::string content;
      cursor.ReadBlob(i, [&](std::string_view piece) { content.append(piece); });
      variables_[into[i]] = Value::Text(std::move(content));
    } else {
      variables_[into[i]] = value;
    }
  }
}

Value BlockInterpreter::Evaluate(const Expr& expr) {
  switch (expr.kind) {
    case Expr::Kind::kLiteral:
      return expr.literal;
    case Expr::Kind::kVariable: {
      const auto found = variables_.find(expr.name);
      if (found == variables_.end()) {
        BlockFailure(expr.line, "the variable " + expr.name + " has no value");
      }
      return found->second;
    }
    case Expr::Kind::kIsNull: {
      const bool null = Evaluate(*expr.args[0]).IsNull();
      return Value::Boolean(expr.negated ? !null : null);
    }
    case Expr::Kind::kCall:
      return Call(expr);
    case Expr::Kind::kUnary: {
      const Value operand = Evaluate(*expr.args[0]);
      if (operand.IsNull()) return operand;
      if (expr.name == "NOT") {
        bool known = false;
        return Value::Boolean(!Truth(operand, expr.line, known));
      }
      return Arithmetic("-", Value::Integer(0), operand, expr.line);
    }
    case Expr::Kind::kBinary:
      break;
  }
  const std::string& op = expr.name;
  if (op == "AND" || op == "OR") {
    const Value left = Evaluate(*expr.args[0]);
    bool left_known = false;
    const bool l = Truth(left, expr.line, left_known);
    // FALSE AND x is FALSE, TRUE OR x is TRUE, whatever x is.
    if (left_known && l == (op == "OR")) return Value::Boolean(l);
    const Value right = Evaluate(*expr.args[1]);
    bool right_known = false;
    const bool r = Truth(right, expr.line, right_known);
    if (right_known && r == (op == "OR")) return Value::Boolean(r);
    if (!left_known || !right_known) return Value::Null();
    return Value::Boolean(op == "OR" ? (l || r) : (l && r));
  }
  const Value left = Evaluate(*expr.args[0]);
  const Value right = Evaluate(*expr.args[1]);
  if (left.IsNull() || right.IsNull()) return Value::Null();
  if (op == "||") return Value::Text(ValueText(left) + ValueText(right));
  if (op == "+" || op == "-" || op == "*" || op == "/") {
    return Arithmetic(op, left, right, expr.line);
  }
  const int order = Compare(left, right, expr.line);
  if (op == "=") return Value::Boolean(order == 0);
  if (op == "<>") return Value::Boolean(order != 0);
  if (op == "<") return Value::Boolean(order < 0);
  if (op == ">") return Value::Boolean(order > 0);
  if (op == "<=") return Value::Boolean(order <= 0);
  return Value::Boolean(order >= 0);
}

Value BlockInterpreter::Call(const Expr& expr) {
  std::vector<Value> args;
  for (const auto& arg : expr.args) args.push_back(Evaluate(*arg));
  return CallBuiltIn(*this, expr.name, args, expr.line);
}

int64_t BlockInterpreter::OpenFile(const std::string& path, bool append) {
  const FileStart start = append ? StartOf(environment_.files, path) : FileStart::kEmpty;
  platform::Result<std::unique_ptr<platform::OutputFile>> opened =
      environment_.files.OpenOutputFile(path, append);
  if (!opened.ok()) throw ScriptError("the file cannot be opened: " + opened.error().Describe());
  const int64_t number = next_file_++;
  // The file carries the character set of its texts (script_charset.h); a
  // file of the connection's bytes that a block appends to stays one.
  files_[number] = start == FileStart::kUnmarked ? std::move(opened).value()
                                                 : MarkedOutputFile(std::move(opened).value(),
                                                                    environment_.database.Charset(),
                                                                    start == FileStart::kMarked);
  return number;
}

platform::OutputFile& BlockInterpreter::File(const Value& number, size_t line) {
  const auto found = number.kind == Value::Kind::kInteger && number.scale == 0
                         ? files_.find(number.integer)
                         : files_.end();
  if (found == files_.end()) BlockFailure(line, "no open file has the number " + ValueText(number));
  return *found->second;
}

void BlockInterpreter::CloseFile(const Value& number, size_t line) {
  platform::OutputFile& file = File(number, line);
  platform::Status closed = file.Close();
  files_.erase(number.integer);
  if (!closed) throw ScriptError("the file cannot be written: " + closed.error().Describe());
}

void RunBlock(std::string_view text, BlockEnvironment& environment) {
  const Block block = ParseBlock(text);
  BlockInterpreter interpreter(environment);
  interpreter.Run(block);
}

}  // namespace updater::scriptengine
