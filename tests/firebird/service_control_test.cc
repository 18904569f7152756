// Stopping and starting the Firebird service on the service state machine,
// the process table and the fake clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "firebird/uFbService.h"
#include "support/failure_of.h"
#include "support/fake_platform.h"

namespace updater {
namespace {

using platform::kServiceRunning;
using platform::kServiceStopped;
using ::testing::Contains;
using ::testing::ElementsAre;
using testing::FailureOf;
using testing::FakeServiceBehaviour;
using ::testing::Not;

const char kCannotStop[] =
    "Невозможно остановить службу FireBird-сервера. Попробуйте перезагрузить компьютер и снова "
    "запустить приложение.";
const char kCannotStart[] =
    "Невозможно запустить службу FireBird-сервера. Попробуйте перезагрузить компьютер и снова "
    "запустить приложение.";

// The process table as the service control sees it, with what the test
// wants to know about each termination: whether the debug privilege was on
// at that moment, and a hook that runs after it (a service recovery action
// that restarts the service when a server process dies).
class ObservedProcesses final : public platform::Processes {
 public:
  explicit ObservedProcesses(testing::FakeProcesses& table) : table_(table) {}

  std::vector<bool> privilege_at_termination;
  std::function<void()> after_termination;

  platform::Result<std::vector<platform::ProcessEntry>> Snapshot() override {
    return table_.Snapshot();
  }
  platform::Status Terminate(uint32_t pid, uint32_t exit_code) override {
    privilege_at_termination.push_back(table_.debug_privilege);
    platform::Status ended = table_.Terminate(pid, exit_code);
    if (ended && after_termination) after_termination();
    return ended;
  }
  platform::Status SetDebugPrivilege(bool enable) override {
    return table_.SetDebugPrivilege(enable);
  }
  platform::Result<std::string> OwnExecutablePath() override { return table_.OwnExecutablePath(); }
  uint32_t OwnProcessId() override { return table_.OwnProcessId(); }
  platform::Result<std::unique_ptr<platform::ChildProcess>> Start(
      const platform::ProcessLaunch& launch) override {
    return table_.Start(launch);
  }

 private:
  testing::FakeProcesses& table_;
};

class ServiceControlTest : public ::testing::Test {
 protected:
  ServiceControlTest()
      : processes(fake.processes), platform{fake.files,     fake.volumes, fake.registry,
                                            fake.services,  processes,    fake.libraries,
                                            fake.resources, fake.clock} {}

  // A detected server of `kind` whose service runs `exe`.
  TFBServParams Server(const std::string& kind, const std::string& exe,
                       const std::string& service = "BrenvikFireXBirdServer") {
    fake.services.AddService(service, {.process_name = exe}, kServiceRunning);
    return TFBServParams{"/opt/fb/", kind, "localhost/3051:", exe, service};
  }

  // The notice boxes shown, in order.
  ServiceNotice Notice() {
    return [this](const std::string& text) { notices.push_back(text); };
  }

  uint64_t ClockMs() { return fake.clock.MonotonicMs(); }

  testing::FakePlatform fake;
  ObservedProcesses processes;
  platform::Platform platform;
  std::vector<std::string> notices;
};

TEST_F(ServiceControlTest, ASuperServerStopsWithNothingLeftAndThenWaitsFifteenSeconds) {
  const TFBServParams server = Server("SUPER", "FBSRVMRLX.EXE");
  fake.processes.Add("explorer.exe");
  const uint64_t started = ClockMs();

  StopFirebirdService(server, true, platform, Notice());

  EXPECT_EQ(fake.services.StateOf("BrenvikFireXBirdServer"), kServiceStopped);
  EXPECT_THAT(fake.processes.RunningNames(), ElementsAre("explorer.exe"));
  EXPECT_TRUE(fake.processes.terminated.empty());
  EXPECT_EQ(fake.clock.sleeps().back(), 15000u);
  EXPECT_GE(ClockMs() - started, 15000u);
  EXPECT_FALSE(fake.processes.debug_privilege);
  EXPECT_THAT(notices, ElementsAre("Служба FireBird остановлена."));
  EXPECT_EQ(fake.services.open_handles, 0);
}

TEST_F(ServiceControlTest, AClassicServersLeftOverProcessesAreEndedWithTheDebugPrivilege) {
  const TFBServParams server = Server("CLASSIC", "FB_INET_SRVMRLX.EXE");
  // Per-connection processes outlive the service, listed as they were started.
  fake.processes.Add("fb_inet_srvmrlx.exe");
  fake.processes.Add("C:\\FB\\bin\\FB_INET_SRVMRLX.EXE");
  fake.processes.Add("fbsrvmrlx.exe");

  StopFirebirdService(server, false, platform, Notice());

  EXPECT_THAT(fake.processes.RunningNames(), ElementsAre("fbsrvmrlx.exe"));
  EXPECT_THAT(processes.privilege_at_termination, ElementsAre(true, true));
  EXPECT_FALSE(fake.processes.debug_privilege);
  EXPECT_EQ(fake.clock.sleeps().back(), 15000u);
  EXPECT_TRUE(notices.empty());
}

TEST_F(ServiceControlTest, AServerProcessThatCannotBeEndedFailsTheStopWhicheverItWas) {
  const std::string failure =
      "Не удалось остановить процесс(ы):FB_INET_SRVMRLX.EXE классического FB сервера. "
      "\rВыполните остановку вручную и повторите попытку.";
  // The stuck process last, as the one tried first: either way the stop
  // fails, since a server process still holds the database.
  for (const bool stuck_first : {false, true}) {
    SCOPED_TRACE(stuck_first ? "stuck first" : "stuck last");
    testing::FakePlatform fresh;
    ObservedProcesses observed(fresh.processes);
    platform::Platform p{fresh.files, fresh.volumes,   fresh.registry,  fresh.services,
                         observed,    fresh.libraries, fresh.resources, fresh.clock};
    fresh.services.AddService("BrenvikFireXBirdServer", {}, kServiceRunning);
    fresh.processes.Add("fb_inet_srvmrlx.exe", !stuck_first);
    fresh.processes.Add("fb_inet_srvmrlx.exe", stuck_first);
    std::vector<std::string> shown;
    const TFBServParams server{"", "CLASSIC", "", "FB_INET_SRVMRLX.EXE", "BrenvikFireXBirdServer"};

    EXPECT_EQ(FailureOf([&] {
                StopFirebirdService(server, true, p,
                                    [&](const std::string& text) { shown.push_back(text); });
              }),
              failure);
    EXPECT_EQ(fresh.processes.RunningNames().size(), 1u);
    EXPECT_FALSE(fresh.processes.debug_privilege);
    EXPECT_THAT(fresh.clock.sleeps(), Not(Contains(15000u)));
    EXPECT_TRUE(shown.empty());
  }
}

TEST_F(ServiceControlTest, AConnectionProcessThatExitsBeforeItsTerminationCountsAsEnded) {
  const TFBServParams server = Server("CLASSIC", "FB_INET_SRVMRLX.EXE");
  fake.processes.ExitOnceListed(fake.processes.Add("fb_inet_srvmrlx.exe"));
  fake.processes.Add("fb_inet_srvmrlx.exe");

  StopFirebirdService(server, true, platform, Notice());

  EXPECT_TRUE(fake.processes.RunningNames().empty());
  EXPECT_EQ(fake.clock.sleeps().back(), 15000u);
  EXPECT_THAT(notices, ElementsAre("Служба FireBird остановлена."));
}

TEST_F(ServiceControlTest, AnAlreadyStoppedServiceStillHasItsProcessesEndedAndTheWait) {
  fake.services.AddService("BrenvikFireXBirdServer");
  fake.processes.Add("fb_inet_srvmrlx.exe");
  const TFBServParams server{"", "CLASSIC", "", "FB_INET_SRVMRLX.EXE", "BrenvikFireXBirdServer"};

  StopFirebirdService(server, false, platform);

  EXPECT_TRUE(fake.processes.RunningNames().empty());
  EXPECT_THAT(fake.clock.sleeps(), ElementsAre(15000u));
}

TEST_F(ServiceControlTest, AStopThatDoesNotSettleFailsBeforeAnyProcessIsTouched) {
  fake.services.AddService("BrenvikFireXBirdServer", {.hangs_in_stop = true}, kServiceRunning);
  fake.processes.Add("fbsrvmrlx.exe");
  const TFBServParams server{"", "SUPER", "", "FBSRVMRLX.EXE", "BrenvikFireXBirdServer"};

  EXPECT_EQ(FailureOf([&] { StopFirebirdService(server, true, platform, Notice()); }), kCannotStop);
  EXPECT_TRUE(processes.privilege_at_termination.empty());
  EXPECT_EQ(fake.processes.RunningNames().size(), 1u);
  EXPECT_TRUE(notices.empty());
}

TEST_F(ServiceControlTest, AServiceRestartedWhileItsProcessesAreEndedIsNotStopped) {
  const TFBServParams server = Server("CLASSIC", "FB_INET_SRVMRLX.EXE");
  fake.processes.Add("fb_inet_srvmrlx.exe");
  // A recovery action of the service: it is started again when a server
  // process dies.
  processes.after_termination = [&] {
    auto manager = fake.services.OpenManager("", platform::kScManagerConnect);
    auto service =
        manager.value()->OpenNamedService("BrenvikFireXBirdServer", platform::kServiceStart);
    ASSERT_TRUE(service.value()->Start());
  };

  EXPECT_EQ(FailureOf([&] { StopFirebirdService(server, true, platform, Notice()); }),
            "Служба FireBird-сервера не остановлена!");
  EXPECT_FALSE(fake.processes.debug_privilege);
  EXPECT_TRUE(notices.empty());
}

TEST_F(ServiceControlTest, StartRestartsARunningServiceAfterTheStopsWait) {
  const TFBServParams server = Server("SUPER", "FBSRVMRLX.EXE");

  StartFirebirdService(server, true, platform, Notice());

  EXPECT_EQ(fake.services.StateOf("BrenvikFireXBirdServer"), kServiceRunning);
  EXPECT_EQ(fake.services.StartCount("BrenvikFireXBirdServer"), 1);
  EXPECT_THAT(fake.processes.RunningNames(), ElementsAre("FBSRVMRLX.EXE"));
  // The quiet stop's wait comes before the start's polling.
  const std::vector<uint32_t>& sleeps = fake.clock.sleeps();
  const auto settle = std::find(sleeps.begin(), sleeps.end(), 15000u);
  ASSERT_NE(settle, sleeps.end());
  EXPECT_NE(settle + 1, sleeps.end());
  // Only the start is announced, not its quiet stop.
  EXPECT_THAT(notices, ElementsAre("Служба FireBird запущена."));
}

TEST_F(ServiceControlTest, StartChecksTheTwoKnownServicesWhateverWasStarted) {
  struct Case {
    const char* service;
    FakeServiceBehaviour behaviour;
    const char* failure;
  } cases[] = {
      {"FirebirdGuardianDefaultInstance", {}, "<no failure>"},
      {"", {}, kCannotStart},  // nothing detected: the quiet stop fails unnoticed
      {"BrenvikFireXBirdServer", {.refuses_start = true}, kCannotStart},
      {"BrenvikFireXBirdServer", {.dies_in_start = true}, kCannotStart},
      {"SomeOtherFirebird", {}, "Служба FireBird-сервера не запущена!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.service);
    testing::FakePlatform fresh;
    if (*c.service != '\0') fresh.services.AddService(c.service, c.behaviour);
    std::vector<std::string> shown;
    const TFBServParams server{"", "SUPER", "", "FBSERVER.EXE", c.service};
    EXPECT_EQ(FailureOf([&] {
                StartFirebirdService(server, true, fresh.platform,
                                     [&](const std::string& text) { shown.push_back(text); });
              }),
              c.failure);
    const bool started = std::string(c.failure) == "<no failure>";
    EXPECT_EQ(shown.size(), started ? 1u : 0u);
  }
}

}  // namespace
}  // namespace updater
