#include "scriptengine/sql_tokens.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/strings.h"

namespace updater::scriptengine {

using platform::AsciiUpper;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Finds the closing `quote` of a literal opened at `start`; doubled quotes
// stay inside. Returns npos when there is none.
size_t ClosingQuote(std::string_view text, size_t start, char quote) {
  size_t i = start + 1;
  while ((i = text.find(quote, i)) != std::string_view::npos) {
    if (i + 1 < text.size() && text[i + 1] == quote) {
      i += 2;
      continue;
    }
    return i;
  }
  return std::string_view::npos;
}

size_t NumberEnd(std::string_view text, size_t i) {
  while (i < text.size() && IsDigit(text[i])) ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

// Finds the end of an alternative string literal that starts at `start`
// (q'<open>): the closing byte followed by a quote. Returns the position
// after that quote, or npos when there is none.
size_t AlternativeEnd(std::string_view text, size_t start) {
  const char closing = AlternativeClosing(text[start + 2]);
  for (size_t i = start + 3; i + 1 < text.size(); ++i) {
    if (text[i] == closing && text[i + 1] == '\'') return i + 2;
  }
  return std::string_view::npos;
}

size_t CountLines(std::string_view text, size_t from, size_t to) {
  return CountLineEnds(text.data() + from, to - from, from > 0 ? text[from - 1] : '\0');
}

// Whether any of the eight bytes of `word` is `byte`.
bool HoldsByte(uint64_t word, char byte) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  const uint64_t zeroed = word ^ (kOnes * static_cast<unsigned char>(byte));
  return ((zeroed - kOnes) & ~zeroed & (kOnes << 7)) != 0;
}

}  // namespace

size_t CountLineEnds(const char* bytes, size_t count, char before) {
  size_t lines = 0;
  size_t i = 0;
  // Eight bytes at a time past those without CR or LF: lines are a few
  // hundred bytes long.
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    if (!HoldsByte(word, '\r') && !HoldsByte(word, '\n')) continue;
    for (size_t k = i; k < i + 8; ++k) {
      if (EndsLine(bytes[k], k > 0 ? bytes[k - 1] : before)) ++lines;
    }
  }
  for (; i < count; ++i) {
    if (EndsLine(bytes[i], i > 0 ? bytes[i - 1] : before)) ++lines;
  }
  return lines;
}

bool Token::Is(std::string_view upper) const {
  if (text.size() != upper.size()) return false;
  if (kind != TokenKind::kWord && kind != TokenKind::kSymbol) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

char AlternativeClosing(char open) {
  switch (open) {
    case '(':
      return ')';
    case '[':
      return ']';
    case '{':
      return '}';
    case '<':
      return '>';
    default:
      return open;
  }
}

std::string Token::Value() const {
  if (kind == TokenKind::kWord) return AsciiUpper(text);
  if (kind != TokenKind::kString && kind != TokenKind::kQuotedName) return std::string(text);
  if (text.front() != '\'' && text.front() != '"') {
    return std::string(text.substr(3, text.size() - 5));  // q'<open>...<close>'
  }
  const char quote = text.front();
  const std::string_view inside = text.substr(1, text.size() - 2);
  std::string value;
  value.reserve(inside.size());
  size_t from = 0;
  for (size_t at; (at = inside.find(quote, from)) != std::string_view::npos;) {
    value.append(inside.substr(from, at + 1 - from));  // one quote of the two
    from = std::min(at + 2, inside.size());
  }
  value.append(inside.substr(from));
  return value;
}

TokenizeResult Tokenize(std::string_view text, size_t max_tokens) {
  TokenizeResult result;
  // A data block holds a token in about every six bytes: room for them at
  // once instead of growing the list step by step.
  result.tokens.reserve(std::min(max_tokens, text.size() / 4 + 1));
  size_t line = 1;
  size_t i = 0;
  while (i < text.size() && result.tokens.size() < max_tokens) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (static_cast<unsigned char>(c) <= ' ') {
      if (EndsLine(c, i > 0 ? text[i - 1] : '\0')) ++line;
      ++i;
      continue;
    }
    if (c == '-' && next == '-') {
      while (i < text.size() && text[i] != '\n' && text[i] != '\r') ++i;
      continue;
    }
    if (c == '/' && next == '*') {
      const size_t end = text.find("*/", i + 2);
      if (end == std::string_view::npos) {
        result.error = "comment not closed (it starts at line " + std::to_string(line) + ")";
        return result;
      }
      line += CountLines(text, i, end);
      i = end + 2;
      continue;
    }
    TokenKind kind = TokenKind::kSymbol;
    const size_t start_line = line;
    size_t end = i + 1;
    if (StartsAlternativeString(text.substr(i), i > 0 ? text[i - 1] : '\0')) {
      end = AlternativeEnd(text, i);
      if (end == std::string_view::npos) {
        result.error = "string literal not closed (it starts at line " + std::to_string(line) + ")";
        return result;
      }
      kind = TokenKind::kString;
      line += CountLines(text, i, end);
    } else if (c == '\'' || c == '"') {
      end = ClosingQuote(text, i, c);
      if (end == std::string_view::npos) {
        result.error = std::string(c == '\'' ? "string literal" : "quoted name") +
                       " not closed (it starts at line " + std::to_string(line) + ")";
        return result;
      }
      ++end;
      kind = c == '\'' ? TokenKind::kString : TokenKind::kQuotedName;
      line += CountLines(text, i, end);
    } else if (IsDigit(c) || (c == '.' && IsDigit(next))) {
      end = NumberEnd(text, i);
      kind = TokenKind::kNumber;
    } else if (IsWordByte(c)) {
      while (end < text.size() && IsWordByte(text[end])) ++end;
      kind = TokenKind::kWord;
    } else if ((c == '|' && next == '|') || (c == '<' && next == '>') ||
               ((c == '<' || c == '>' || c == '!' || c == '^') && next == '=')) {
      end = i + 2;  // || <> <= >= != ^=
    }
    // Written field by field where it lies: a token made aside and copied
    // in costs more than all the scanning.
    Token& token = result.tokens.emplace_back();
    token.kind = kind;
    token.text = text.substr(i, end - i);
    token.offset = static_cast<uint32_t>(i);
    token.line = static_cast<uint32_t>(start_line);
    i = end;
  }
  return result;
}

std::string QuoteName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::string QuoteString(std::string_view text) {
  std::string quoted = "'";
  quoted.reserve(text.size() + 2);
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

}  // namespace updater::scriptengine
