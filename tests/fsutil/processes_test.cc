#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "fsutil/uWexrRout.h"
#include "platform/paths.h"
#include "support/fake_platform.h"
#include "support/helper_process.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using ::testing::ElementsAre;

TEST(TerminateProcessesByName, EndsEveryProcessOfTheNameInAnyLetterCase) {
  testing::FakePlatform fake;
  const uint32_t lower = fake.processes.Add("fb_inet_server.exe");
  fake.processes.Add("isql.exe");
  const uint32_t upper = fake.processes.Add("FB_INET_SERVER.EXE");
  const uint32_t path = fake.processes.Add("C:\\Firebird\\bin\\Fb_Inet_Server.exe");
  fake.processes.Add("D:fb_inet_server.exe.bak");

  EXPECT_EQ(TerminateProcessesByName(fake.platform, "FB_INET_SERVER.EXE"), 1);
  EXPECT_THAT(fake.processes.terminated, ElementsAre(lower, upper, path));
  EXPECT_THAT(fake.processes.RunningNames(), ElementsAre("isql.exe", "D:fb_inet_server.exe.bak"));

  EXPECT_EQ(TerminateProcessesByName(fake.platform, "fb_inet_server.exe"), -1);
  EXPECT_EQ(fake.processes.terminated.size(), 3u);
}

TEST(TerminateProcessesByName, TheLastAttemptDecidesTheResultAndTheCountTellsEveryFailure) {
  struct Case {
    std::vector<bool> terminable;
    int expected;
  } cases[] = {
      {{false, true}, 1},
      {{true, false}, 0},
      {{false}, 0},
      {{false, false, true}, 1},
  };
  for (const Case& c : cases) {
    const int stuck = static_cast<int>(std::count(c.terminable.begin(), c.terminable.end(), false));
    testing::FakePlatform fake;
    for (const bool terminable : c.terminable) fake.processes.Add("fbserver.exe", terminable);
    EXPECT_EQ(TerminateProcessesByName(fake.platform, "FBSERVER.EXE"), c.expected);
    EXPECT_EQ(fake.processes.RunningNames().size(), static_cast<size_t>(stuck));

    // Again, counted: the processes left are tried once more and fail again.
    const ProcessTermination counted =
        TerminateProcessesByNameCounted(fake.platform, "fbserver.exe");
    EXPECT_EQ(counted.not_ended, stuck);
    EXPECT_EQ(counted.result, stuck == 0 ? -1 : 0);
  }
}

TEST(TerminateProcessesByName, OnlyAsciiLettersFoldAndAnUnlistableTableIsNoSuccess) {
  testing::FakePlatform fake;
  fake.processes.Add("сервер.exe");
  EXPECT_EQ(TerminateProcessesByName(fake.platform, "СЕРВЕР.EXE"), -1);
  EXPECT_EQ(TerminateProcessesByName(fake.platform, "сервер.EXE"), 1);
  fake.processes.snapshot_fails = true;
  EXPECT_EQ(TerminateProcessesByName(fake.platform, "anything.exe"), 0);
}

TEST(WaitUntilNoProcessNamed, ALookAgainOnTheClockTellsWhetherAProcessOfTheNameRuns) {
  // A process that exited by itself after the snapshot listed it fails its
  // termination, yet is gone; one that cannot be ended stays, and so does
  // the doubt when the table cannot be listed.
  enum class Left { kNothing, kStuckProcess, kUnlistableTable };
  for (const Left left : {Left::kNothing, Left::kStuckProcess, Left::kUnlistableTable}) {
    testing::FakePlatform fake;
    fake.processes.ExitOnceListed(fake.processes.Add("fb_inet_server.exe"));
    fake.processes.Add("FB_INET_SERVER.EXE", left != Left::kStuckProcess);
    fake.processes.Add("isql.exe");
    EXPECT_EQ(TerminateProcessesByNameCounted(fake.platform, "FB_INET_SERVER.EXE").not_ended,
              left == Left::kStuckProcess ? 2 : 1);
    fake.processes.snapshot_fails = left == Left::kUnlistableTable;
    const uint64_t started = fake.clock.MonotonicMs();

    EXPECT_EQ(WaitUntilNoProcessNamed(fake.platform, "fb_inet_server.exe"), left == Left::kNothing);
    const uint64_t waited = fake.clock.MonotonicMs() - started;
    if (left == Left::kNothing) {
      EXPECT_EQ(waited, kProcessLookIntervalMs);
    } else {
      EXPECT_GE(waited, kProcessEndWaitMs);
      EXPECT_LT(waited, kProcessEndWaitMs + kProcessLookIntervalMs);
    }
  }
}

TEST(SetDebugPrivilege, SwitchesThePrivilegeOfTheOwnToken) {
  testing::FakePlatform fake;
  EXPECT_TRUE(SetDebugPrivilege(fake.platform, true));
  EXPECT_TRUE(fake.processes.debug_privilege);
  EXPECT_TRUE(SetDebugPrivilege(fake.platform, false));
  EXPECT_FALSE(fake.processes.debug_privilege);
  fake.processes.privilege_available = false;
  EXPECT_FALSE(SetDebugPrivilege(fake.platform, true));
}

TEST(TerminateProcessesByName, EndsRealProcessesStartedUnderOneName) {
  testing::TempFolder temp;
  platform::Platform& real = platform::SystemPlatform();
  // Linux tells the two spellings apart as files; Windows runs one file twice.
  const std::string first = temp.Path("victim.exe");
  const std::string second = platform::PathDelimiter() == '/' ? temp.Path("VICTIM.EXE") : first;
  std::filesystem::copy_file(testing::FsPath(testing::TestHelperPath()), testing::FsPath(first));
  if (second != first) {
    std::filesystem::copy_file(testing::FsPath(testing::TestHelperPath()), testing::FsPath(second));
  }
  testing::HelperProcess one(first, {"wait"}, temp.path());
  testing::HelperProcess two(second, {"wait"}, temp.path());
  ASSERT_TRUE(one.ready() && two.ready());

  EXPECT_TRUE(SetDebugPrivilege(real, true));
  EXPECT_EQ(TerminateProcessesByName(real, "Victim.exe"), 1);
  EXPECT_TRUE(SetDebugPrivilege(real, false));
  one.WaitForExit();
  two.WaitForExit();
  EXPECT_FALSE(one.EndedOnItsOwn());
  EXPECT_FALSE(two.EndedOnItsOwn());
  EXPECT_EQ(TerminateProcessesByName(real, "victim.exe"), -1);
}

}  // namespace
}  // namespace updater
