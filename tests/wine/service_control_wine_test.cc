// The Windows build's server detection and service commands under Wine,
// against the real Firebird server that Wine's service manager drives as
// the service BrenvikFireXBirdServer (with_wine_server): the registry of the
// prefix, the service control manager, the process snapshot and termination
// by name are Wine's, the server is the native one, reached through the
// test bridge fbclient.dll. The fixed pause after a stop passes on a clock
// that skips it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "engine/service_commands.h"
#include "firebird/uFbService.h"
#include "firebird/uIBEScript.h"
#include "fsutil/uWexrRout.h"
#include "support/failure_of.h"
#include "support/fake_platform.h"
#include "support/firebird_server.h"
#include "support/recording_front_end.h"

namespace updater {
namespace {

using ::testing::ElementsAre;
using testing::FailureOf;
using testing::RequireTestServer;
using testing::TestAttachment;
using testing::TestDatabase;

const char kService[] = "BrenvikFireXBirdServer";
const char kServerExe[] = "fbsrvmrlx.exe";

class ServiceControlWineTest : public ::testing::Test {
 protected:
  ServiceControlWineTest()
      : server(RequireTestServer()),
        system(platform::SystemPlatform()),
        platform{system.files,     system.volumes,   system.registry,  system.services,
                 system.processes, system.libraries, system.resources, clock},
        ui(system.files, clock) {}

  // Leaves the service running for the next test, whatever this one did.
  void TearDown() override {
    if (QueryServiceState(system, "", kService) != platform::kServiceRunning) {
      ASSERT_TRUE(StartServiceAndWait(system, "", kService));
    }
    ASSERT_NO_THROW(testing::DatabaseOnceAnswering(std::chrono::seconds(20)));
  }

  // Whether the server takes an attachment to `database` now.
  bool Answers() {
    try {
      TestAttachment attachment(database.ConnectString(), "ADMN", server.admn_password);
      return true;
    } catch (const std::runtime_error&) {
      return false;
    }
  }

  const testing::TestServer& server;
  platform::Platform& system;
  testing::FastForwardClock clock{15000};
  platform::Platform platform;
  testing::RecordingFrontEnd ui;
  // Dropped after TearDown, by the running server.
  TestDatabase database;
};

TEST_F(ServiceControlWineTest, TheServiceIsDetectedFromThePrefixsRegistry) {
  const TFBServParams params = DetectFirebirdServer(platform);
  EXPECT_EQ(params.ServerRoot, server.root + "\\");
  EXPECT_EQ(params.ServerRoot, "S:\\root\\");
  EXPECT_EQ(params.ServerKind, "SUPER");
  EXPECT_EQ(params.ServerExe, "FBSRVMRLX.EXE");
  EXPECT_EQ(params.ServiceName, kService);
  EXPECT_EQ(params.ConnectionPrefix, "localhost/3051:");
}

TEST_F(ServiceControlWineTest, TheStopCommandEndsTheServerAndTheStartCommandBringsItBack) {
  const TFBServParams params = DetectFirebirdServer(platform);
  ASSERT_EQ(testing::ProcessesSettlingAt(kServerExe, 1).size(), 1u);

  StopFirebirdServiceCommand(params, platform, ui.front);

  EXPECT_EQ(QueryServiceState(system, "", kService), platform::kServiceStopped);
  EXPECT_TRUE(testing::ProcessesSettlingAt(kServerExe, 0).empty());
  EXPECT_FALSE(Answers());
  EXPECT_THAT(clock.skipped(), ElementsAre(15000u));

  StartFirebirdServiceCommand(params, platform, ui.front);

  EXPECT_EQ(QueryServiceState(system, "", kService), platform::kServiceRunning);
  EXPECT_EQ(testing::ProcessesSettlingAt(kServerExe, 1).size(), 1u);
  EXPECT_TRUE(Answers());
  // The start's quiet stop of the stopped service pauses too.
  EXPECT_THAT(clock.skipped(), ElementsAre(15000u, 15000u));
  EXPECT_THAT(ui.transcript.Boxes(), ElementsAre("ShowNotice: Служба FireBird остановлена.",
                                                 "ShowNotice: Служба FireBird запущена."));
}

TEST_F(ServiceControlWineTest, AStartRestartsTheRunningServer) {
  const TFBServParams params = DetectFirebirdServer(platform);
  const std::vector<uint32_t> before = testing::ProcessesSettlingAt(kServerExe, 1);
  ASSERT_EQ(before.size(), 1u);

  StartFirebirdService(params, false, platform);

  const std::vector<uint32_t> after = testing::ProcessesSettlingAt(kServerExe, 1);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_NE(after[0], before[0]);
  EXPECT_TRUE(Answers());
  EXPECT_THAT(clock.skipped(), ElementsAre(15000u));
  EXPECT_TRUE(ui.transcript.Boxes().empty());
}

// A server run by hand outside its service (fbsrvmrlx.exe -a) is ended by
// its name: the stop reaches the process through Wine's process list, and
// the native server ends with it.
TEST_F(ServiceControlWineTest, AServerRunOutsideTheServiceIsEndedByName) {
  const TFBServParams params = DetectFirebirdServer(platform);
  ASSERT_TRUE(StopServiceAndWait(system, "", kService));
  ASSERT_TRUE(testing::ProcessesSettlingAt(kServerExe, 0).empty());
  const std::string program = params.ServerRoot + "bin\\fbsrvmrlx.exe";
  auto by_hand = system.processes.Start(
      {program, "\"" + program + "\" -a -p 3051", params.ServerRoot + "bin", 0});
  ASSERT_TRUE(by_hand.ok()) << by_hand.error().Describe();
  ASSERT_NO_THROW(testing::DatabaseOnceAnswering(std::chrono::seconds(20)));

  StopFirebirdService(params, false, platform);

  EXPECT_TRUE(testing::ProcessesSettlingAt(kServerExe, 0).empty());
  EXPECT_FALSE(Answers());
  EXPECT_EQ(QueryServiceState(system, "", kService), platform::kServiceStopped);
}

// The bridge's own failure when the native client is missing (a run of its
// own, with UPDATER_NATIVE_FBCLIENT naming a library that does not exist):
// the operator reads what is wrong instead of an empty status.
TEST(BridgeWithoutTheNativeClient, EveryCallFailsWithTheReason) {
  testing::FakePlatform fake;
  platform::Platform platform = testing::WithRealLibraries(fake);
  std::vector<std::string> users{"kept"};
  const std::string failure = FailureOf([&] {
    GetAttachedUsers("fbclient.dll", "localhost/3051:S:\\data\\none.fdb", "SYSDBA", "pw", "", users,
                     platform);
  });
  EXPECT_THAT(failure, ::testing::StartsWith("fbclient.dll (the test bridge) cannot load the "
                                             "native client library "));
  EXPECT_THAT(users, ElementsAre("kept"));
}

}  // namespace
}  // namespace updater
