// The operator's terminal as the terminal front end uses it: whether
// someone sits at it, and lines read from it. The implementation is the one
// platform-specific part of the front end.
#pragma once

#include <optional>
#include <string>

namespace updater::console {

class Terminal {
 public:
  virtual ~Terminal() = default;

  // True when standard input is a terminal, so that the front end may ask.
  virtual bool Interactive() = 0;

  // True when standard output is a terminal, where a line may be redrawn
  // in place (a progress bar); false on a pipe or a file.
  virtual bool OutputIsTerminal() = 0;

  // One line of standard input without its line end; nullopt at its end.
  virtual std::optional<std::string> ReadLine() = 0;

  // One line typed on the terminal without showing it (a password);
  // nullopt at the end of the input.
  virtual std::optional<std::string> ReadSecretLine() = 0;
};

// The process's own terminal (standard input).
Terminal& SystemTerminal();

}  // namespace updater::console
