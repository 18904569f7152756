// The terminal of a Linux process: standard input, echo switched off with
// termios while a password is typed.
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "ui/console/terminal.h"

namespace updater::console {
namespace {

// Echo off while it lives, and back to what it was afterwards.
class EchoOff {
 public:
  EchoOff() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

class PosixTerminal final : public Terminal {
 public:
  bool Interactive() override { return isatty(STDIN_FILENO) == 1; }

  std::optional<std::string> ReadLine() override {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

  std::optional<std::string> ReadSecretLine() override {
    EchoOff quiet;
    return ReadLine();
  }
};

}  // namespace

Terminal& SystemTerminal() {
  static PosixTerminal terminal;
  return terminal;
}

}  // namespace updater::console
