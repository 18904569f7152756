#include "platform/command_line.h"

namespace updater::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> arguments;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i == text.size()) return arguments;

  // The program: quotes group, nothing is escaped.
  std::string program;
  bool quoted = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (IsBlank(c) && !quoted) {
      break;
    } else {
      program += c;
    }
  }
  arguments.push_back(program);

  for (;;) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i == text.size()) break;
    std::string argument;
    quoted = false;
    while (i < text.size()) {
      const char c = text[i];
      if (c == '\\') {
        size_t backslashes = 0;
        while (i < text.size() && text[i] == '\\') {
          ++backslashes;
          ++i;
        }
        if (i < text.size() && text[i] == '"') {
          argument.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            argument += '"';
            ++i;
          }
        } else {
          argument.append(backslashes, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
          argument += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else if (IsBlank(c) && !quoted) {
        break;
      } else {
        argument += c;
        ++i;
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

}  // namespace updater::platform
