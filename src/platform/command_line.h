// Command lines as Windows reads them. Windows hands a program one command
// line text; the program (or CommandLineToArgvW) splits it into arguments.
// The Linux build splits the same texts the same way before it starts a
// program, so that a service's ImagePath or a program started by the updater
// gets the arguments it would get on Windows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace updater::platform {

// The arguments of `command_line`, split by CommandLineToArgvW's rules:
// - the first argument (the program) ends at the first blank outside double
//   quotes; quotes in it only group, backslashes in it are plain characters;
// - in later arguments, 2n backslashes before a double quote give n
//   backslashes and the quote groups; 2n+1 backslashes give n backslashes and
//   a literal quote; two double quotes inside a quoted part give a literal
//   quote; other backslashes are plain characters;
// - blanks are spaces and tabs.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

}  // namespace updater::platform
