// Another program run to its end with its output caught, as an operator's
// shell would run it. Linux builds only.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace updater::testing {

struct ProgramRun {
  int exit_status = -1;  // the exit code; 128 + the signal for a program ended by one
  std::string out;       // what it wrote to standard output
  std::string err;       // what it wrote to standard error
};

// Runs `program` with `arguments` in the current folder, with this
// process's environment plus the variables of `environment` (which replace
// those of the same name) and without those named in `unset`, and with
// standard input from /dev/null. Waits with no time limit. Throws
// std::runtime_error when the program cannot be started.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment = {},
                      const std::vector<std::string>& unset = {});

}  // namespace updater::testing
