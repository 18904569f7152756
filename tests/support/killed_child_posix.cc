#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>

#include "support/killed_child.h"

namespace updater::testing {

std::string RunInChild(const std::function<void()>& body) {
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t child = fork();
  if (child < 0) return "fork failed";
  if (child == 0) {
    int code = 0;
    try {
      body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
      code = 2;
    } catch (...) {
      code = 2;
    }
    // No exit handlers: the parent's objects are the parent's to clean up.
    _exit(code);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  if (WIFSIGNALED(status)) {
    return WTERMSIG(status) == SIGKILL ? "killed" : "signal " + std::to_string(WTERMSIG(status));
  }
  return "exited " + std::to_string(WEXITSTATUS(status));
}

void KillThisProcess() {
  raise(SIGKILL);
  _exit(99);  // never reached
}

}  // namespace updater::testing
