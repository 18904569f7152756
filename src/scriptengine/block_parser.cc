// The parser of the block language: recursive descent over the SQL tokens.
#include <array>

#include "platform/strings.h"
#include "scriptengine/block_ast.h"
#include "scriptengine/errors.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {
namespace {

class Parser {
 public:
  Parser(std::string_view text, std::vector<Token> tokens)
      : text_(text), tokens_(std::move(tokens)) {}

  Block ParseWhole() {
    Block block;
    Expect("EXECUTE");
    Expect("IBEBLOCK");
    if (Accept("(")) {
      do {
        block.params.push_back(ParseParam());
      } while (Accept(","));
      Expect(")");
    }
    if (Accept("RETURNS")) SkipParenthesised();
    Expect("AS");
    while (Peek().Is("DECLARE")) ParseDeclaration(block);
    if (!Peek().Is("BEGIN")) Fail("BEGIN expected");
    block.body = ParseStatement();
    if (Accept(";")) {
    }
    if (!AtEnd()) Fail("nothing may follow the END of the block");
    return block;
  }

 private:
  static const Token& EndToken() {
    static const Token end{TokenKind::kSymbol, "", 0, 0};
    return end;
  }
  bool AtEnd() const { return position_ >= tokens_.size(); }
  const Token& Peek(size_t ahead = 0) const {
    return position_ + ahead < tokens_.size() ? tokens_[position_ + ahead] : EndToken();
  }
  size_t Line() const {
    if (!AtEnd()) return Peek().line;
    return tokens_.empty() ? 1 : tokens_.back().line;
  }
  [[noreturn]] void Fail(const std::string& message) const {
    std::string near = AtEnd() ? "the end of the block" : "\"" + std::string(Peek().text) + "\"";
    throw ScriptError("block line " + std::to_string(Line()) + ": " + message + " (at " + near +
                      ")");
  }
  bool Accept(std::string_view upper) {
    if (!AtEnd() && Peek().Is(upper)) {
      ++position_;
      return true;
    }
    return false;
  }
  void Expect(std::string_view upper) {
    if (!Accept(upper)) Fail(std::string(upper) + " expected");
  }
  std::string ExpectName() {
    Accept(":");
    if (AtEnd() || Peek().kind != TokenKind::kWord) Fail("a name expected");
    return tokens_[position_++].Value();
  }

  void SkipParenthesised() {
    Expect("(");
    int depth = 1;
    while (!AtEnd() && depth > 0) {
      if (Peek().Is("(")) ++depth;
      if (Peek().Is(")")) --depth;
      ++position_;
    }
    if (depth > 0) Fail(") expected");
  }

  // Type words are accepted and ignored: values carry their own types.
  void SkipType() {
    while (!AtEnd() && !Peek().Is("=") && !Peek().Is(",") && !Peek().Is(")") && !Peek().Is(";")) {
      if (Peek().Is("(")) {
        SkipParenthesised();
      } else {
        ++position_;
      }
    }
  }

  BlockParam ParseParam() {
    BlockParam param;
    param.name = ExpectName();
    SkipType();
    if (Accept("=")) param.value = ParseLiteral();
    return param;
  }

  Value ParseLiteral() {
    bool negative = false;
    if (Accept("-")) negative = true;
    if (AtEnd()) Fail("a value expected");
    const Token& token = tokens_[position_];
    if (token.kind == TokenKind::kString && !negative) {
      ++position_;
      return Value::Text(token.Value());
    }
    if (token.kind == TokenKind::kNumber) {
      ++position_;
      return NumberValue(negative ? "-" + std::string(token.text) : std::string(token.text));
    }
    if (token.Is("NULL") && !negative) {
      ++position_;
      return Value::Null();
    }
    Fail("a string or a number expected");
  }

  Value NumberValue(const std::string& text) {
    int64_t integer = 0;
    int scale = 0;
    if (ParseInteger(text, integer, scale)) return Value::Integer(integer, scale);
    double real = 0;
    if (ParseDouble(text, real)) return Value::Double(real);
    Fail("the number " + text + " is out of range");
  }

  void ParseDeclaration(Block& block) {
    Expect("DECLARE");
    Accept("VARIABLE");
    const size_t line = Line();
    const std::string name = ExpectName();
    SkipType();
    if (Accept("=") || Accept("DEFAULT")) {
      auto assign = std::make_unique<Stmt>();
      assign->kind = Stmt::Kind::kAssign;
      assign->line = line;
      assign->name = name;
      assign->expr = ParseExpr();
      block.declarations.push_back(std::move(assign));
    } else {
      block.declared.push_back(name);
    }
    Expect(";");
  }

  std::vector<std::string> ParseInto() {
    std::vector<std::string> names;
    do {
      names.push_back(ExpectName());
    } while (Accept(","));
    return names;
  }

  // The SQL from the current token up to INTO at the top level.
  BlockSql ParseSqlUntilInto() {
    if (AtEnd()) Fail("a SELECT expected");
    const size_t start = Peek().offset;
    int depth = 0;
    BlockSql sql;
    size_t copied = start;
    while (!AtEnd()) {
      const Token& token = Peek();
      if (depth == 0 && token.Is("INTO")) break;
      if (token.Is("(")) ++depth;
      if (token.Is(")")) --depth;
      if (token.Is(":") && Peek(1).kind == TokenKind::kWord && Peek(1).offset == token.offset + 1) {
        sql.sql.append(text_.substr(copied, token.offset - copied));
        sql.sql += '?';
        sql.variables.push_back(Peek(1).Value());
        copied = Peek(1).offset + Peek(1).text.size();
        position_ += 2;
        continue;
      }
      ++position_;
    }
    if (AtEnd()) Fail("INTO expected after the SELECT");
    sql.sql.append(text_.substr(copied, Peek().offset - copied));
    sql.sql = platform::Trim(sql.sql);
    return sql;
  }

  std::unique_ptr<Stmt> ParseStatement() {
    auto stmt = std::make_unique<Stmt>();
    stmt->line = Line();
    if (Accept("BEGIN")) {
      stmt->kind = Stmt::Kind::kCompound;
      while (!Peek().Is("END")) {
        if (AtEnd()) Fail("END expected");
        stmt->body.push_back(ParseStatement());
      }
      Expect("END");
      return stmt;
    }
    if (Accept("IF")) {
      stmt->kind = Stmt::Kind::kIf;
      stmt->expr = ParseExpr();
      Expect("THEN");
      stmt->body.push_back(ParseStatement());
      if (Accept("ELSE")) stmt->body.push_back(ParseStatement());
      return stmt;
    }
    if (Accept("WHILE")) {
      stmt->kind = Stmt::Kind::kWhile;
      stmt->expr = ParseExpr();
      Expect("DO");
      stmt->body.push_back(ParseStatement());
      return stmt;
    }
    if (Accept("FOR")) {
      if (Peek().Is("EXECUTE") && Peek(1).Is("STATEMENT")) {
        position_ += 2;
        stmt->kind = Stmt::Kind::kForExecute;
        stmt->expr = ParseExpr();
      } else {
        stmt->kind = Stmt::Kind::kForSelect;
        stmt->sql = ParseSqlUntilInto();
      }
      Expect("INTO");
      stmt->into = ParseInto();
      Expect("DO");
      stmt->body.push_back(ParseStatement());
      return stmt;
    }
    if (Peek().Is("EXECUTE") && Peek(1).Is("STATEMENT")) {
      position_ += 2;
      stmt->kind = Stmt::Kind::kExecuteStatement;
      stmt->expr = ParseExpr();
      if (Accept("INTO")) stmt->into = ParseInto();
      Expect(";");
      return stmt;
    }
    if (Accept("EXIT")) {
      stmt->kind = Stmt::Kind::kExit;
      Expect(";");
      return stmt;
    }
    if (Accept("BREAK") || Accept("LEAVE")) {
      stmt->kind = Stmt::Kind::kBreak;
      Expect(";");
      return stmt;
    }
    // An assignment or a call.
    const bool colon = Peek().Is(":");
    if (Peek(colon ? 1 : 0).kind == TokenKind::kWord && Peek(colon ? 2 : 1).Is("=")) {
      stmt->kind = Stmt::Kind::kAssign;
      stmt->name = ExpectName();
      Expect("=");
      stmt->expr = ParseExpr();
      Expect(";");
      return stmt;
    }
    if (Peek().kind == TokenKind::kWord && Peek(1).Is("(")) {
      stmt->kind = Stmt::Kind::kCall;
      stmt->expr = ParsePrimary();
      Expect(";");
      return stmt;
    }
    Fail("a statement expected");
  }

  std::unique_ptr<Expr> Make(Expr::Kind kind, std::string name) {
    auto expr = std::make_unique<Expr>();
    expr->kind = kind;
    expr->name = std::move(name);
    expr->line = Line();
    return expr;
  }

  std::unique_ptr<Expr> Binary(std::string op, std::unique_ptr<Expr> left,
                               std::unique_ptr<Expr> right) {
    auto expr = Make(Expr::Kind::kBinary, std::move(op));
    expr->args.push_back(std::move(left));
    expr->args.push_back(std::move(right));
    return expr;
  }

  std::unique_ptr<Expr> ParseExpr() {
    auto left = ParseAnd();
    while (Accept("OR")) left = Binary("OR", std::move(left), ParseAnd());
    return left;
  }

  std::unique_ptr<Expr> ParseAnd() {
    auto left = ParseNot();
    while (Accept("AND")) left = Binary("AND", std::move(left), ParseNot());
    return left;
  }

  std::unique_ptr<Expr> ParseNot() {
    if (Accept("NOT")) {
      auto expr = Make(Expr::Kind::kUnary, "NOT");
      expr->args.push_back(ParseNot());
      return expr;
    }
    return ParseComparison();
  }

  std::unique_ptr<Expr> ParseComparison() {
    auto left = ParseAdditive();
    static constexpr std::array<std::string_view, 8> kOperators = {
        "=", "<>", "!=", "^=", "<", ">", "<=", ">="};
    for (std::string_view op : kOperators) {
      if (Accept(op)) {
        const std::string name = op == "!=" || op == "^=" ? "<>" : std::string(op);
        return Binary(name, std::move(left), ParseAdditive());
      }
    }
    if (Accept("IS")) {
      auto expr = Make(Expr::Kind::kIsNull, "IS");
      expr->negated = Accept("NOT");
      Expect("NULL");
      expr->args.push_back(std::move(left));
      return expr;
    }
    return left;
  }

  std::unique_ptr<Expr> ParseAdditive() {
    auto left = ParseMultiplicative();
    for (;;) {
      if (Accept("+")) {
        left = Binary("+", std::move(left), ParseMultiplicative());
      } else if (Accept("-")) {
        left = Binary("-", std::move(left), ParseMultiplicative());
      } else if (Accept("||")) {
        left = Binary("||", std::move(left), ParseMultiplicative());
      } else {
        return left;
      }
    }
  }

  std::unique_ptr<Expr> ParseMultiplicative() {
    auto left = ParseUnary();
    for (;;) {
      if (Accept("*")) {
        left = Binary("*", std::move(left), ParseUnary());
      } else if (Accept("/")) {
        left = Binary("/", std::move(left), ParseUnary());
      } else {
        return left;
      }
    }
  }

  std::unique_ptr<Expr> ParseUnary() {
    if (Accept("-")) {
      auto expr = Make(Expr::Kind::kUnary, "-");
      expr->args.push_back(ParseUnary());
      return expr;
    }
    Accept("+");
    return ParsePrimary();
  }

  std::unique_ptr<Expr> ParsePrimary() {
    if (AtEnd()) Fail("a value expected");
    const Token& token = Peek();
    if (Accept("(")) {
      auto inner = ParseExpr();
      Expect(")");
      return inner;
    }
    if (token.kind == TokenKind::kString || token.kind == TokenKind::kNumber) {
      auto expr = Make(Expr::Kind::kLiteral, "");
      expr->literal = ParseLiteral();
      return expr;
    }
    if (Accept("NULL")) return Make(Expr::Kind::kLiteral, "");
    if (token.Is("TRUE") || token.Is("FALSE")) {
      auto expr = Make(Expr::Kind::kLiteral, "");
      expr->literal = Value::Boolean(token.Is("TRUE"));
      ++position_;
      return expr;
    }
    if (token.Is(":")) return Make(Expr::Kind::kVariable, ExpectName());
    if (token.kind == TokenKind::kWord) {
      const std::string name = token.Value();
      ++position_;
      if (!Accept("(")) return Make(Expr::Kind::kVariable, name);
      auto call = Make(Expr::Kind::kCall, name);
      if (!Accept(")")) {
        do {
          call->args.push_back(ParseExpr());
        } while (Accept(","));
        Expect(")");
      }
      return call;
    }
    Fail("a value expected");
  }

  std::string_view text_;
  std::vector<Token> tokens_;
  size_t position_ = 0;
};

}  // namespace

Block ParseBlock(std::string_view text) {
  TokenizeResult scanned = Tokenize(text);
  if (!scanned.error.empty()) throw ScriptError("block: " + scanned.error);
  Parser parser(text, std::move(scanned.tokens));
  return parser.ParseWhole();
}

}  // namespace updater::scriptengine
