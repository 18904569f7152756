// Text helpers shared by every layer above the platform.
#pragma once

#include <string>
#include <string_view>

namespace updater {

// `text` without leading and trailing blanks and control characters (every
// byte up to and including the space).
std::string Trim(std::string_view text);

// `text` with ASCII letters a to z turned into upper case; nothing else changes.
std::string AsciiUpper(std::string_view text);

// `text` with ASCII letters A to Z turned into lower case; nothing else changes.
std::string AsciiLower(std::string_view text);

}  // namespace updater
