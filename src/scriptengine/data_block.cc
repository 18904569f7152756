#include "scriptengine/data_block.h"

#include <map>

#include "scriptengine/blob_file.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {
namespace {

class DataBlockParser {
 public:
  DataBlockParser(const std::vector<Token>& tokens, const std::vector<Value>& params)
      : t_(tokens), params_(params) {}

  bool Parse(DataBlock& block) {
    if (!Accept("EXECUTE") || !Accept("BLOCK")) return false;
    if (Accept("(") && !ParseDeclarations()) return false;
    if (!Accept("AS") || !Accept("BEGIN")) return false;
    while (!Peek().Is("END")) {
      if (AtEnd() || block.rows.size() >= kMaxDataBlockRows) return false;
      if (!ParseInsert(block)) return false;
    }
    ++i_;
    return AtEnd() && !block.rows.empty();
  }

 private:
  bool AtEnd() const { return i_ >= t_.size(); }
  const Token& Peek(size_t ahead = 0) const {
    static const Token end{TokenKind::kSymbol, "", 0, 0};
    return i_ + ahead < t_.size() ? t_[i_ + ahead] : end;
  }
  bool Accept(std::string_view upper) {
    if (AtEnd() || !Peek().Is(upper)) return false;
    ++i_;
    return true;
  }

  // NAME type ... = :hXXXXXXXX_XXXXXXXX, ... )
  bool ParseDeclarations() {
    size_t next_param = 0;
    do {
      if (Peek().kind != TokenKind::kWord) return false;
      const std::string name = t_[i_++].Value();
      int depth = 0;
      while (!AtEnd() && !(depth == 0 && Peek().Is("="))) {
        if (Peek().Is("(")) ++depth;
        if (Peek().Is(")") && --depth < 0) return false;
        ++i_;
      }
      if (!Accept("=") || !Peek().Is(":")) return false;
      BlobReference reference{};
      if (Peek(1).kind != TokenKind::kWord || !ParseBlobReference(Peek(1).text, reference)) {
        return false;
      }
      i_ += 2;
      if (next_param >= params_.size()) return false;
      named_[name] = params_[next_param++];
    } while (Accept(","));
    return Accept(")") && next_param == params_.size();
  }

  // The table's name (`index` 0) or a column's of the INSERT being read.
  // The first INSERT gives the names; every later one must name the same,
  // and a name written as the first wrote it is that name without reading
  // it anew.
  bool ParseName(DataBlock& block, size_t index) {
    const Token& token = Peek();
    if (AtEnd() || (token.kind != TokenKind::kQuotedName && token.kind != TokenKind::kWord)) {
      return false;
    }
    ++i_;
    if (block.rows.empty()) {
      (index == 0 ? block.table : block.columns.emplace_back()) = token.Value();
      written_.push_back(token.text);
      return true;
    }
    if (index >= written_.size()) return false;
    return token.text == written_[index] ||
           token.Value() == (index == 0 ? block.table : block.columns[index - 1]);
  }

  // Whether the INSERT at the current token begins with the very text of
  // the first INSERT's head ("INSERT INTO ... VALUES ("), token for token;
  // passes over that head when it does. The same bytes from the start of a
  // token are the same tokens: one comparison instead of reading them anew.
  bool SkipRepeatedHead() {
    const size_t count = head_tokens_;
    if (count == 0 || i_ + count > t_.size()) return false;
    const char* const start = t_[i_].text.data();
    const Token& last = t_[i_ + count - 1];
    if (last.text.data() + last.text.size() - start != static_cast<std::ptrdiff_t>(head_.size()) ||
        std::string_view(start, head_.size()) != head_) {
      return false;
    }
    i_ += count;
    return true;
  }

  bool ParseInsert(DataBlock& block) {
    const size_t first = i_;
    if (!SkipRepeatedHead() && !ParseHead(block)) return false;
    if (head_tokens_ == 0) {
      const char* const start = t_[first].text.data();
      const Token& last = t_[i_ - 1];
      head_ =
          std::string_view(start, static_cast<size_t>(last.text.data() + last.text.size() - start));
      head_tokens_ = i_ - first;
    }
    std::vector<Value> row;
    row.reserve(written_.size() - 1);
    do {
      Value value;
      if (!ParseValue(value)) return false;
      row.push_back(std::move(value));
    } while (Accept(","));
    if (!Accept(")") || !Accept(";") || row.size() != written_.size() - 1) return false;
    block.rows.push_back(std::move(row));
    return true;
  }

  // INSERT INTO <table> (<columns>) VALUES (
  bool ParseHead(DataBlock& block) {
    if (!Accept("INSERT") || !Accept("INTO") || !ParseName(block, 0) || !Accept("(")) {
      return false;
    }
    size_t names = 1;
    do {
      if (!ParseName(block, names++)) return false;
    } while (Accept(","));
    if (names != written_.size()) return false;
    return Accept(")") && Accept("VALUES") && Accept("(");
  }

  bool ParseValue(Value& value) {
    if (AtEnd()) return false;
    std::string sign;
    if (Peek().Is("-") && Peek(1).kind == TokenKind::kNumber) {
      sign = "-";
      ++i_;
    }
    const Token& token = t_[i_];
    if (token.kind == TokenKind::kNumber) {
      ++i_;
      const std::string text = sign + std::string(token.text);
      int64_t integer = 0;
      int scale = 0;
      if (text.find_first_of("eE") == std::string::npos) {
        if (!ParseInteger(text, integer, scale)) return false;
        value = Value::Integer(integer, scale);
        return true;
      }
      double real = 0;
      if (!ParseDouble(text, real)) return false;
      value = Value::Double(real);
      return true;
    }
    if (!sign.empty()) return false;
    if (token.kind == TokenKind::kString) {
      ++i_;
      value = Value::Text(token.Value());
      return true;
    }
    // CAST('NaN' AS DOUBLE PRECISION) and the infinities: DoubleLiteral.
    if (token.Is("CAST") && Peek(1).Is("(") && Peek(2).kind == TokenKind::kString &&
        Peek(3).Is("AS") && Peek(4).Is("DOUBLE") && Peek(5).Is("PRECISION") && Peek(6).Is(")")) {
      double real = 0;
      if (!ParseNonFinite(Peek(2).Value(), real)) return false;
      i_ += 7;
      value = Value::Double(real);
      return true;
    }
    if (token.Is("NULL") || token.Is("TRUE") || token.Is("FALSE")) {
      ++i_;
      value = token.Is("NULL") ? Value::Null() : Value::Boolean(token.Is("TRUE"));
      return true;
    }
    if ((token.Is("DATE") || token.Is("TIME") || token.Is("TIMESTAMP")) &&
        Peek(1).kind == TokenKind::kString) {
      const std::string text = Peek(1).Value();
      i_ += 2;
      int32_t date = 0;
      uint32_t time = 0;
      if (token.Is("DATE") && ParseDate(text, date)) {
        value = Value::Date(date);
      } else if (token.Is("TIME") && ParseTime(text, time)) {
        value = Value::Time(time);
      } else if (token.Is("TIMESTAMP") && ParseTimestamp(text, date, time)) {
        value = Value::Timestamp(date, time);
      } else {
        return false;
      }
      return true;
    }
    if (token.Is(":") && Peek(1).kind == TokenKind::kWord && Peek(1).offset == token.offset + 1) {
      const auto found = named_.find(Peek(1).Value());
      if (found == named_.end()) return false;
      i_ += 2;
      value = found->second;
      return true;
    }
    return false;
  }

  const std::vector<Token>& t_;
  const std::vector<Value>& params_;
  std::map<std::string, Value> named_;
  std::vector<std::string_view> written_;  // the first INSERT's names as written
  std::string_view head_;                  // the first INSERT's head as written
  size_t head_tokens_ = 0;                 // and its tokens
  size_t i_ = 0;
};

}  // namespace

std::optional<DataBlock> ParseDataBlock(std::string_view sql, const std::vector<Value>& params) {
  const TokenizeResult scanned = Tokenize(sql);
  if (!scanned.error.empty()) return std::nullopt;
  return ParseDataBlock(scanned.tokens, params);
}

std::optional<DataBlock> ParseDataBlock(const std::vector<Token>& tokens,
                                        const std::vector<Value>& params) {
  if (tokens.size() < 2 || !tokens[0].Is("EXECUTE") || !tokens[1].Is("BLOCK")) {
    return std::nullopt;
  }
  DataBlock block;
  DataBlockParser parser(tokens, params);
  if (!parser.Parse(block)) return std::nullopt;
  return block;
}

}  // namespace updater::scriptengine
