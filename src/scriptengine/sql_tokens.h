// The tokens of one SQL statement or block, as the script engine reads
// them: words, quoted names, string literals, numbers and symbols, with
// comments and blanks passed over. Used to recognise the engine's own
// commands, blob file references, data blocks and the block language.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace updater::scriptengine {

enum class TokenKind {
  kWord,        // letters, digits, '_' and '$', not starting with a digit
  kQuotedName,  // "..." with "" for a quote inside
  kString,      // '...' with '' for a quote inside
  kNumber,      // digits with an optional point and exponent: 1, 1.5, .5, 1e-3
  kSymbol,      // one of || <= >= <> != ^= or any other single byte
};

struct Token {
  TokenKind kind;
  std::string_view text;  // the token as written
  size_t offset;          // where it starts in the scanned text
  size_t line;            // 1-based line of its start

  // Case-insensitive comparison of a word (or symbol) with `upper`, which is
  // given in upper case.
  bool Is(std::string_view upper) const;
  // The content of a string literal or quoted name: quotes removed, doubled
  // quotes made single. For a word, the word in upper case (as the server
  // stores unquoted names).
  std::string Value() const;
};

struct TokenizeResult {
  std::vector<Token> tokens;
  // Empty, or what is unterminated at the end ("string literal", "quoted
  // name", "comment") with the line where it starts.
  std::string error;
};

// The tokens of `text`. Comments ("--" to the end of the line, "/* ... */")
// and blanks separate tokens and are not returned.
TokenizeResult Tokenize(std::string_view text);

// True when `c` may continue a word.
inline bool IsWordByte(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' ||
         u == '$' || u >= 0x80;
}

// `name` as a double-quoted identifier, with quotes inside doubled.
std::string QuoteName(std::string_view name);

// `text` as a string literal, with single quotes inside doubled.
std::string QuoteString(std::string_view text);

}  // namespace updater::scriptengine
