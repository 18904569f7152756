// The running program's own path, on both builds.
#include <gtest/gtest.h>

#include "engine/startup.h"
#include "platform/platform.h"
#include "support/helper_process.h"

namespace updater {
namespace {

TEST(OwnExecutablePath, IsTheFullPathOfTheRunningTestProgram) {
  const platform::Result<std::string> path =
      platform::SystemPlatform().processes.OwnExecutablePath();
  ASSERT_TRUE(path) << path.error().Describe();
  const ProgramLocation program = LocateProgram(*path);
  EXPECT_EQ(program.folder, testing::TestExecutableFolder());
  EXPECT_EQ(program.title, "platform_tests");
  EXPECT_TRUE(platform::SystemPlatform().files.FileExists(*path));
}

}  // namespace
}  // namespace updater
