// The terminal of a Linux process: standard input, echo switched off with
// termios while a password is typed.
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <iterator>

#include "ui/console/terminal.h"

namespace updater::console {
namespace {

// The terminal's settings while the echo is off, for a signal that ends the
// program meanwhile: the operator's shell must not be left without echo.
termios saved_settings{};
volatile sig_atomic_t echo_is_off = 0;

void RestoreEchoAndDie(int signal_number) {
  if (echo_is_off) tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Echo off while it lives, and back to what it was afterwards, also when a
// signal ends the program meanwhile.
class EchoOff {
 public:
  EchoOff() {
    if (tcgetattr(STDIN_FILENO, &saved_settings) != 0) return;
    struct sigaction restore {};
    restore.sa_handler = RestoreEchoAndDie;
    sigemptyset(&restore.sa_mask);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
      sigaction(kEndingSignals[i], &restore, &previous_[i]);
    }
    installed_ = true;
    termios quiet = saved_settings;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    echo_is_off = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0 ? 1 : 0;
  }
  ~EchoOff() {
    if (echo_is_off) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_settings);
    echo_is_off = 0;
    for (size_t i = 0; installed_ && i < std::size(kEndingSignals); ++i) {
      sigaction(kEndingSignals[i], &previous_[i], nullptr);
    }
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  struct sigaction previous_[std::size(kEndingSignals)]{};
  bool installed_ = false;
};

class PosixTerminal final : public Terminal {
 public:
  bool Interactive() override { return isatty(STDIN_FILENO) == 1; }
  bool OutputIsTerminal() override { return isatty(STDOUT_FILENO) == 1; }

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
