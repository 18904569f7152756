#include "support/run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace updater::testing {
namespace {

// A temporary file that is removed with its owner.
class CaptureFile {
 public:
  CaptureFile() {
    char name[] = "/tmp/updater-run-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error(std::string("mkstemp: ") + std::strerror(errno));
    close(fd);
    path_ = name;
  }
  ~CaptureFile() { unlink(path_.c_str()); }
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  const std::string& path() const { return path_; }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

 private:
  std::string path_;
};

bool Named(const std::string& entry, const std::string& name) {
  return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
         entry[name.size()] == '=';
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment,
                      const std::vector<std::string>& unset) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    const bool replaced = std::any_of(environment.begin(), environment.end(),
                                      [&](const auto& set) { return Named(variable, set.first); });
    const bool removed = std::any_of(
        unset.begin(), unset.end(), [&](const std::string& name) { return Named(variable, name); });
    if (!replaced && !removed) variables.push_back(variable);
  }
  for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);

  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  CaptureFile out;
  CaptureFile err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.path().c_str(), O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.path().c_str(), O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw std::runtime_error("cannot run " + program + ": " + std::strerror(spawned));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ProgramRun run;
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = out.Read();
  run.err = err.Read();
  return run;
}

}  // namespace updater::testing
