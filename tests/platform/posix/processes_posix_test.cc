#include <gtest/gtest.h>

#include <filesystem>

#include "platform/posix/posix_platform.h"
#include "platform/posix/resource_index.h"
#include "support/helper_process.h"
#include "support/temp_folder.h"

namespace updater::platform {
namespace {

namespace fs = std::filesystem;
using testing::FsPath;
using testing::TempFolder;

uint32_t RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& folder = "") {
  PosixProcesses processes;
  ProcessLaunch launch;
  launch.application = program;
  std::vector<std::string> all = {program};
  all.insert(all.end(), arguments.begin(), arguments.end());
  launch.command_line = testing::CommandLineOf(all);
  launch.working_folder = folder;
  auto child = processes.Start(launch);
  if (!child) return 0xDEAD;
  return child.value()->WaitForExit().value();
}

TEST(PosixProcesses, StartsTheProgramAndReturnsItsExitCode) {
  TempFolder temp;
  EXPECT_EQ(RunProgram(testing::TestHelperPath(), {"exit", "3"}), 3u);
  EXPECT_EQ(RunProgram("/bin/sh", {"-c", "kill -9 $$"}), 128u + 9u);
  PosixProcesses processes;
  ProcessLaunch missing{temp.Path("none.exe"), "none.exe", temp.path(), 1};
  EXPECT_EQ(processes.Start(missing).error().code, ENOENT);
  ProcessLaunch no_folder{testing::TestHelperPath(), "x", temp.Path("no-folder"), 1};
  EXPECT_EQ(processes.Start(no_folder).error().code, ENOENT);
}

TEST(PosixProcesses, ListsTheNameAProcessWasStartedUnderInFull) {
  TempFolder temp;
  // Longer than the 15 characters the kernel keeps as the command name.
  const std::string name = "fb_inet_srvmrlx.exe";
  fs::create_symlink(FsPath(testing::TestHelperPath()), FsPath(temp.Path(name)));
  testing::HelperProcess server(temp.Path(name), {"wait"}, temp.path());
  ASSERT_TRUE(server.ready());
  PosixProcesses processes;
  bool listed = false;
  for (const ProcessEntry& process : processes.Snapshot().value()) {
    listed = listed || process.exe_name == name;
  }
  EXPECT_TRUE(listed);
  EXPECT_TRUE(processes.SetDebugPrivilege(true).ok());
  EXPECT_TRUE(processes.SetDebugPrivilege(false).ok());
}

TEST(PosixResources, TheBuildStepAppendsAndReplacesResourcesThatAreReadBack) {
  TempFolder temp;
  const std::string exe = temp.MakeFile("program",
                                        "\x7f"
                                        "ELF and the rest of a program");
  const std::string big = temp.MakeFile("big.bin", std::string(3 << 20, 'b') + "end");
  const std::string small = temp.MakeFile("small.txt", "small");
  EXPECT_EQ(RunProgram(UPDATER_RESOURCE_APPEND, {exe, "EXEFILE", "FILES", big}), 0u);
  EXPECT_EQ(RunProgram(UPDATER_RESOURCE_APPEND, {exe, "DLL", "fbclient", small}), 0u);
  EXPECT_EQ(RunProgram(UPDATER_RESOURCE_APPEND, {exe, "dll", "FBCLIENT", big}), 0u);

  PosixResources resources(exe);
  auto stream = resources.Open("exefile", "files");
  ASSERT_TRUE(stream.ok());
  std::string bytes(stream.value()->Size(), '\0');
  size_t done = 0;
  while (done < bytes.size()) done += stream.value()->Read(bytes.data() + done, 1000000).value();
  EXPECT_EQ(stream.value()->Read(bytes.data(), 10).value(), 0u);
  EXPECT_TRUE(bytes == testing::ReadBytes(big));
  EXPECT_EQ(resources.Open("DLL", "fbclient").value()->Size(), bytes.size());
  EXPECT_EQ(resources.Open("DLL", "other").error().code, kErrorResourceNameNotFound);
  EXPECT_EQ(resources.Open("IMAGES", "FILES").error().code, kErrorResourceTypeNotFound);
  EXPECT_EQ(PosixResources(small).Open("EXEFILE", "FILES").error().code,
            kErrorResourceTypeNotFound);
}

}  // namespace
}  // namespace updater::platform
