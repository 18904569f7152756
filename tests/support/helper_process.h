// The test helper program (test_helper.cc) run as another process: it holds
// a file open, works in a folder, or just waits, until the test releases it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace updater::testing {

// The folder of the running test executable, without a trailing delimiter.
std::string TestExecutableFolder();

// The helper program beside the test executables ("test_helper.exe").
std::string TestHelperPath();

// A command line of `arguments`, each put in double quotes when it holds a
// blank.
std::string CommandLineOf(const std::vector<std::string>& arguments);

class HelperProcess {
 public:
  // Starts `program` (the helper or a copy of it) with `arguments` followed
  // by a ready and a release marker in `marker_folder`, through the real
  // platform, and waits until the helper reports that it is ready.
  HelperProcess(const std::string& program, std::vector<std::string> arguments,
                const std::string& marker_folder);
  ~HelperProcess();
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  // True once the helper has created its ready marker.
  bool ready() const { return ready_; }

  // Lets the helper end and waits for it; its exit code.
  uint32_t Release();

  // Waits for a helper that was ended from outside; its exit code.
  uint32_t WaitForExit();

  // After its end: whether it ended on its own (released or timed out)
  // rather than being ended from outside.
  bool EndedOnItsOwn() const;

 private:
  std::unique_ptr<platform::ChildProcess> child_;
  std::string release_;
  bool ready_ = false;
  bool ended_ = false;
};

}  // namespace updater::testing
