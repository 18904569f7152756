#include "platform/posix/spawn.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/posix/handles.h"
#include "platform/posix/posix_platform.h"

extern char** environ;

namespace updater::platform {
namespace {

// What the started processes tell the caller through the pipe.
struct Message {
  char kind;  // 'P': the detached program's pid; 'E': errno of a failed step
  int value;
};

void Send(int fd, char kind, int value) {
  const Message message{kind, value};
  // Nothing is left to do when the caller has gone.
  ssize_t ignored = write(fd, &message, sizeof message);
  (void)ignored;
}

// Runs in the new process: only async-signal-safe calls from here on.
[[noreturn]] void BecomeProgram(const SpawnRequest& request, char* const* argv, char* const* envp,
                                int report) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  const int input = open("/dev/null", O_RDONLY);
  if (input < 0 || dup2(input, STDIN_FILENO) < 0) {
    Send(report, 'E', errno);
    _exit(127);
  }
  if (!request.output_file.empty()) {
    const int output = open(request.output_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (output < 0 || dup2(output, STDOUT_FILENO) < 0 || dup2(output, STDERR_FILENO) < 0) {
      Send(report, 'E', errno);
      _exit(127);
    }
  }
  if (!request.working_folder.empty() && chdir(request.working_folder.c_str()) != 0) {
    Send(report, 'E', errno);
    _exit(127);
  }
  // No descriptor of the caller (its pipes to a test runner, its database
  // files) may outlive the exec.
  close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  execve(request.path.c_str(), argv, envp);
  Send(report, 'E', errno);
  _exit(127);
}

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::vector<std::string> CurrentEnvironment() {
  std::vector<std::string> out;
  for (char** entry = environ; *entry != nullptr; ++entry) out.emplace_back(*entry);
  return out;
}

Result<pid_t> Spawn(const SpawnRequest& request) {
  std::vector<char*> argv = Pointers(request.arguments);
  std::vector<char*> envp = Pointers(request.environment);
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return ErrnoError("pipe2", request.path, errno);
  UniqueFd reading(pipe_fds[0]);
  UniqueFd writing(pipe_fds[1]);
  const pid_t child = fork();
  if (child < 0) return ErrnoError("fork", request.path, errno);
  if (child == 0) {
    // From here on the new process ends with _exit, without destructors.
    reading.Reset();
    if (request.detached) {
      setsid();
      const pid_t program = fork();
      if (program < 0) {
        Send(writing.get(), 'E', errno);
        _exit(127);
      }
      if (program > 0) {
        Send(writing.get(), 'P', program);
        _exit(0);
      }
    }
    BecomeProgram(request, argv.data(), envp.data(), writing.get());
  }
  // The pipe reads as closed once every process that writes to it has
  // ended or executed the program.
  writing.Reset();
  pid_t program = request.detached ? 0 : child;
  int failure = 0;
  Message message{};
  for (;;) {
    const ssize_t n = read(reading.get(), &message, sizeof message);
    if (n < 0 && errno == EINTR) continue;
    if (n != static_cast<ssize_t>(sizeof message)) break;  // closed: the program runs
    if (message.kind == 'P') program = message.value;
    if (message.kind == 'E') failure = message.value;
  }
  reading.Reset();
  if (request.detached || failure != 0) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (failure != 0) return ErrnoError("execve", request.path, failure);
  if (program <= 0) return ErrnoError("fork", request.path, ECHILD);
  return program;
}

}  // namespace updater::platform
