#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace updater::platform {
namespace {

TEST(SplitCommandLine, SplitsAsWindowsHandsArgumentsToAProgram) {
  struct Case {
    std::string line;
    std::vector<std::string> arguments;
  } cases[] = {
      {"C:\\FB\\bin\\fbserver.exe -a -p 3051", {"C:\\FB\\bin\\fbserver.exe", "-a", "-p", "3051"}},
      {"\"C:\\Program Files\\FB\\bin\\fbserver.exe\" -s",
       {"C:\\Program Files\\FB\\bin\\fbserver.exe", "-s"}},
      // Unquoted, a path with a blank ends at the blank.
      {"C:\\Program Files\\x.exe", {"C:\\Program", "Files\\x.exe"}},
      // A quoted program directly followed by text is one argument.
      {"\"C:\\x y\\p.exe\"abc", {"C:\\x y\\p.exeabc"}},
      // Backslashes in the program's name are plain characters.
      {"\"C:\\dir\\\\\" next", {"C:\\dir\\\\", "next"}},
      {"p a\\\\\"b c\" d\\e", {"p", "a\\b c", "d\\e"}},
      {"p a\\\"b \"x\"\"y\"", {"p", "a\"b", "x\"y"}},
      {"  \tp   \"\"  ", {"p", ""}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.arguments) << c.line;
}

}  // namespace
}  // namespace updater::platform
