// Text encodings at the edges. Inside, every string is UTF-8. The log file
// and the 8-bit contracts (the script engine library, the ANSI texts of the
// product's files) use Windows-1251.
#pragma once

#include <string>
#include <string_view>

namespace updater::platform {

// UTF-8 to Windows-1251. A character that Windows-1251 cannot hold becomes
// "?", as WideCharToMultiByte writes it; malformed UTF-8 bytes become "?".
std::string Utf8ToCp1251(std::string_view utf8);

// Windows-1251 to UTF-8. The one byte without a character (0x98) becomes a
// replacement character.
std::string Cp1251ToUtf8(std::string_view cp1251);

// The 8-bit text that the Firebird client library takes and gives (database
// names, user names, passwords, its messages): on Windows the ANSI code page,
// Windows-1251; on Linux the file system's own bytes, UTF-8, passed unchanged.
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);
// Windows-1251 text as that 8-bit text: on Windows as it is, without the
// round trip through UTF-8 (whole data scripts pass here).
std::string Cp1251ToAnsi(std::string_view cp1251);

}  // namespace updater::platform
