// The tokens of one SQL statement or block, as the script engine reads
// them: words, quoted names, string literals, numbers and symbols, with
// comments and blanks passed over. Used to recognise the engine's own
// commands, blob file references, data blocks and the block language.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace updater::scriptengine {

enum class TokenKind {
  kWord,        // letters, digits, '_' and '$', not starting with a digit
  kQuotedName,  // "..." with "" for a quote inside
  kString,      // '...' with '' for a quote inside, or q'{...}' (an alternative
                // quoting: any byte after q' opens, its bracket pair or itself
                // closes when a quote follows, and nothing inside is doubled)
  kNumber,      // digits with an optional point and exponent: 1, 1.5, .5, 1e-3
  kSymbol,      // one of || <= >= <> != ^= or any other single byte
};

struct Token {
  TokenKind kind;
  std::string_view text;  // the token as written
  // Where it starts in the scanned text, and the 1-based line of its start
  // (32 bits, as on the 32-bit build: a data block's list of tokens is
  // written anew for every block, and smaller tokens are written faster).
  uint32_t offset;
  uint32_t line;

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

// True when `c` may continue a word.
inline bool IsWordByte(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' ||
         u == '$' || u >= 0x80;
}

// The tokens of `text`. Comments ("--" to the end of the line, "/* ... */")
// and blanks separate tokens and are not returned. With `max_tokens`, the
// first that many tokens only (what is unterminated after them goes
// unnoticed): enough to tell a command by its first words without
// scanning a block of data.
TokenizeResult Tokenize(std::string_view text,
                        size_t max_tokens = std::numeric_limits<size_t>::max());

// Whether byte `c`, after byte `before`, ends a line: lines end at LF, at
// CR LF (counted once, at the CR) and at a lone CR.
inline bool EndsLine(char c, char before) { return c == '\r' || (c == '\n' && before != '\r'); }

// How many lines the `count` bytes at `bytes` end, `before` being the byte
// before them.
size_t CountLineEnds(const char* bytes, size_t count, char before);

// The byte that closes an alternative string literal opened by `open`
// (q'<open>...<close>'): the other half of (), [], {} and <>, else `open`.
char AlternativeClosing(char open);

// Whether an alternative string literal starts at `text` (q' or Q' and the
// opening byte), given the byte before it (a word byte makes the q part of
// a word).
inline bool StartsAlternativeString(std::string_view text, char before) {
  return text.size() >= 3 && (text[0] == 'q' || text[0] == 'Q') && text[1] == '\'' &&
         !IsWordByte(before);
}

// `name` as a double-quoted identifier, with quotes inside doubled.
std::string QuoteName(std::string_view name);

// `text` as a string literal, with single quotes inside doubled.
std::string QuoteString(std::string_view text);

}  // namespace updater::scriptengine
