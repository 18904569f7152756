// Byte texts of the engine, which come in the connection's character set
// (scripts, server messages) or in UTF-8 (the engine's own messages with
// file paths), and the ANSI code page texts of the library's contract.
#pragma once

#include <string>
#include <string_view>

#include "platform/strings.h"

namespace updater::scriptengine {

using platform::IsValidUtf8;

// `text` in the system's ANSI code page for the callbacks: UTF-8 texts are
// converted, any other bytes are taken as Windows-1251 (the product's
// scripts and messages) and converted from it.
std::string ToAnsi(std::string_view text);

}  // namespace updater::scriptengine
