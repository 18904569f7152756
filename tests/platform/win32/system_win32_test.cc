// The registry, the service control manager and processes of Windows (under
// Wine), set up by scripts/wine-env: the key HKLM\Software\UpdaterTest and
// the service UpdaterTestService, whose program is the test helper.
#include <gtest/gtest.h>

#include "fsutil/uWexrRout.h"
#include "platform/win32/win32_platform.h"

namespace updater::platform {
namespace {

constexpr char kSetUp[] = " (run the tests through scripts/test, which sets it up)";

TEST(Win32Registry, ReadsStringsAndDwordsUnderTheLocalMachine) {
  Win32Registry registry;
  ASSERT_TRUE(registry.KeyExists("\\Software\\UpdaterTest")) << kSetUp;
  auto key = registry.OpenKeyReadOnly("Software\\UpdaterTest");
  ASSERT_TRUE(key.ok());
  EXPECT_EQ(key.value()->ReadString("Text"), "Марликс");
  EXPECT_EQ(key.value()->ReadString("expand"), "%SystemRoot%\\system32");
  EXPECT_EQ(key.value()->ReadDword("Number"), 42u);
  EXPECT_EQ(key.value()->ReadString("Number"), std::nullopt);
  EXPECT_EQ(key.value()->ReadDword("Missing"), std::nullopt);
  EXPECT_FALSE(registry.KeyExists("Software\\UpdaterTest\\Missing"));
  EXPECT_EQ(registry.OpenKeyReadOnly("Software\\UpdaterTest\\Missing").error().code,
            ERROR_FILE_NOT_FOUND);
}

TEST(Win32Services, StartsQueriesAndStopsAServiceThroughTheServiceManager) {
  Platform& real = SystemPlatform();
  const std::string name = "UpdaterTestService";
  ASSERT_EQ(QueryServiceState(real, "", name), kServiceStopped) << kSetUp;
  ASSERT_TRUE(StartServiceAndWait(real, "", "updatertestservice"));
  EXPECT_EQ(QueryServiceState(real, "", name), kServiceRunning);
  EXPECT_FALSE(StartServiceAndWait(real, "", name));
  EXPECT_TRUE(StopServiceAndWait(real, "", name));
  EXPECT_EQ(QueryServiceState(real, "", name), kServiceStopped);
  EXPECT_TRUE(StopServiceAndWait(real, "", name));
  EXPECT_EQ(QueryServiceState(real, "", "NoSuchService"), kServiceStopped);
  EXPECT_FALSE(StartServiceAndWait(real, "", "NoSuchService"));
}

TEST(Win32Processes, ListTheOwnProcessAndAdjustTheDebugPrivilege) {
  Win32Processes processes;
  bool listed = false;
  for (const ProcessEntry& process : processes.Snapshot().value()) {
    listed = listed ||
             (process.pid == GetCurrentProcessId() && process.exe_name == "platform_tests.exe");
  }
  EXPECT_TRUE(listed);
  EXPECT_TRUE(processes.SetDebugPrivilege(true).ok());
  EXPECT_TRUE(processes.SetDebugPrivilege(false).ok());
  EXPECT_FALSE(processes.Terminate(0xFFFFFFF0u, 0).ok());
}

}  // namespace
}  // namespace updater::platform
