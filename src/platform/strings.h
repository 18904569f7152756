// Text helpers for ASCII-only rules (blanks, keywords, letter case of
// identifiers) and the shape of UTF-8 texts, shared by every layer and by
// the script engine library.
#pragma once

#include <string>
#include <string_view>

namespace updater::platform {

// `text` without leading and trailing blanks and control characters (every
// byte up to and including the space).
std::string Trim(std::string_view text);

// `text` with ASCII letters a to z turned into upper case; nothing else changes.
std::string AsciiUpper(std::string_view text);

// `text` with ASCII letters A to Z turned into lower case; nothing else changes.
std::string AsciiLower(std::string_view text);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// The characters of the UTF-8 `text`: its bytes that do not continue a
// character.
size_t Utf8CharacterCount(std::string_view text);

// `text` as an SQL string literal: in single quotes, each quote inside doubled.
std::string SqlStringLiteral(std::string_view text);

}  // namespace updater::platform
