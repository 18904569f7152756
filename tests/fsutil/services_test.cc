// The service routines on a service control manager that moves through its
// states on the fake clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "fsutil/uWexrRout.h"
#include "support/fake_platform.h"

namespace updater {
namespace {

using platform::kServiceRunning;
using platform::kServiceStartPending;
using platform::kServiceStopped;
using ::testing::ElementsAre;
using testing::FakeServiceBehaviour;

class ServicesTest : public ::testing::Test {
 protected:
  uint64_t Slept() const {
    const auto& sleeps = fake.clock.sleeps();
    return std::accumulate(sleeps.begin(), sleeps.end(), uint64_t{0});
  }

  testing::FakePlatform fake;
  platform::Platform& p = fake.platform;
};

TEST_F(ServicesTest, StartPollsOnTheWaitHintUntilTheServiceRuns) {
  fake.services.AddService("FirebirdGuardianDefaultInstance",
                           {.start_ms = 2500, .wait_hint_ms = 1000});
  EXPECT_TRUE(StartServiceAndWait(p, "", "firebirdguardiandefaultinstance"));
  EXPECT_THAT(fake.clock.sleeps(), ElementsAre(1000, 1000, 1000));
  EXPECT_EQ(QueryServiceState(p, "", "FirebirdGuardianDefaultInstance"), kServiceRunning);
  EXPECT_EQ(fake.services.open_handles, 0);

  // Already running: the start is refused and nothing is waited for.
  EXPECT_FALSE(StartServiceAndWait(p, "", "FirebirdGuardianDefaultInstance"));
  EXPECT_EQ(fake.clock.sleeps().size(), 3u);
  EXPECT_EQ(fake.services.StartCount("FirebirdGuardianDefaultInstance"), 1);
}

TEST_F(ServicesTest, StopPollsUntilStoppedAndAStoppedServiceCountsAsStopped) {
  fake.services.AddService("BrenvikFireXBirdServer", {.stop_ms = 1200, .wait_hint_ms = 500},
                           kServiceRunning);
  EXPECT_TRUE(StopServiceAndWait(p, "", "BrenvikFireXBirdServer"));
  EXPECT_THAT(fake.clock.sleeps(), ElementsAre(500, 500, 500));
  EXPECT_EQ(QueryServiceState(p, "", "BrenvikFireXBirdServer"), kServiceStopped);
  EXPECT_TRUE(StopServiceAndWait(p, "", "BrenvikFireXBirdServer"));
  EXPECT_EQ(fake.clock.sleeps().size(), 3u);
  EXPECT_EQ(fake.services.open_handles, 0);
}

TEST_F(ServicesTest, AServiceThatHangsIsGivenUpOnTheClockWithinTheLimit) {
  fake.services.AddService("hangs-in-start", {.wait_hint_ms = 2000, .hangs_in_start = true});
  EXPECT_FALSE(StartServiceAndWait(p, "", "hangs-in-start"));
  EXPECT_EQ(Slept(), kServiceWaitLimitMs);
  EXPECT_EQ(QueryServiceState(p, "", "hangs-in-start"), kServiceStartPending);

  fake.services.AddService("hangs-in-stop", {.wait_hint_ms = 0, .hangs_in_stop = true},
                           kServiceRunning);
  EXPECT_FALSE(StopServiceAndWait(p, "", "hangs-in-stop"));
  EXPECT_EQ(Slept(), 2 * uint64_t{kServiceWaitLimitMs});
  // A wait hint of 0 is not taken as a reason to poll without pause.
  EXPECT_EQ(fake.clock.sleeps().back(), kServicePollMinimumMs);
  EXPECT_EQ(fake.services.open_handles, 0);
}

TEST_F(ServicesTest, AServiceThatStopsDuringItsStartEndsTheWaitAtOnce) {
  fake.services.AddService("dies", {.start_ms = 1500, .wait_hint_ms = 1000, .dies_in_start = true});
  EXPECT_FALSE(StartServiceAndWait(p, "", "dies"));
  EXPECT_EQ(Slept(), 2000u);
}

TEST_F(ServicesTest, AServiceWithAProcessNameRunsItInTheProcessTable) {
  fake.services.AddService("BrenvikFireXBirdServer",
                           {.stop_ms = 500, .process_name = "fbsrvmrlx.exe"});
  EXPECT_TRUE(StartServiceAndWait(p, "", "BrenvikFireXBirdServer"));
  EXPECT_THAT(fake.processes.RunningNames(), ElementsAre("fbsrvmrlx.exe"));
  EXPECT_TRUE(StopServiceAndWait(p, "", "BrenvikFireXBirdServer"));
  EXPECT_THAT(fake.processes.RunningNames(), ::testing::IsEmpty());
}

TEST_F(ServicesTest, WhatCannotBeOpenedIsNotRunningNotStoppedAndReadsAsStopped) {
  fake.services.AddService("refuses", {.refuses_start = true});
  EXPECT_FALSE(StartServiceAndWait(p, "", "refuses"));
  EXPECT_FALSE(StartServiceAndWait(p, "", "no-such-service"));
  EXPECT_FALSE(StopServiceAndWait(p, "", "no-such-service"));
  EXPECT_EQ(QueryServiceState(p, "", "no-such-service"), kServiceStopped);
  EXPECT_FALSE(StopServiceAndWait(p, "OTHER-PC", "refuses"));

  fake.services.AddService("running", {}, kServiceRunning);
  fake.services.manager_unavailable = true;
  EXPECT_EQ(QueryServiceState(p, "", "running"), kServiceStopped);
  EXPECT_FALSE(StopServiceAndWait(p, "", "running"));
  EXPECT_TRUE(fake.clock.sleeps().empty());
  EXPECT_EQ(fake.services.open_handles, 0);
}

}  // namespace
}  // namespace updater
