// Stopping and starting the real Firebird server through the service
// control stand-in, as detected from the registry stand-in. The test runs
// inside the namespaces of tests/support/with_private_server, beside a
// Classic server of its own: the stop ends processes by executable name.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "firebird/uFbService.h"
#include "fsutil/uWexrRout.h"
#include "support/fake_platform.h"
#include "support/firebird_server.h"

namespace updater {
namespace {

using ::testing::ElementsAre;
using testing::RequireTestServer;
using testing::TestAttachment;
using testing::TestDatabase;

const char kService[] = "BrenvikFireXBirdServer";

class ServiceControlServerTest : public ::testing::Test {
 protected:
  ServiceControlServerTest()
      : server(RequireTestServer()),
        system(platform::SystemPlatform()),
        platform{system.files,     system.volumes,   system.registry,  system.services,
                 system.processes, system.libraries, system.resources, clock} {}

  // Leaves the server running for the next test, whatever this one did.
  void TearDown() override {
    if (QueryServiceState(system, "", kService) != platform::kServiceRunning) {
      ASSERT_TRUE(StartServiceAndWait(system, "", kService));
    }
    ASSERT_NO_THROW(AnswerWithin(std::chrono::seconds(20)));
  }

  static std::vector<uint32_t> ServerProcessesSettlingAt(size_t count) {
    return testing::ProcessesSettlingAt("fb_inet_srvmrlx.exe", count);
  }

  static void AnswerWithin(std::chrono::seconds limit) { testing::DatabaseOnceAnswering(limit); }

  const testing::TestServer& server;
  platform::Platform& system;
  testing::FastForwardClock clock{15000};
  platform::Platform platform;
};

TEST_F(ServiceControlServerTest, TheRegisteredServerIsDetectedAsClassic) {
  const TFBServParams params = DetectFirebirdServer(platform);
  EXPECT_EQ(params.ServerRoot, server.root + "/");
  EXPECT_EQ(params.ServerKind, "CLASSIC");
  EXPECT_EQ(params.ServerExe, "FB_INET_SRVMRLX.EXE");
  EXPECT_EQ(params.ServiceName, kService);
}

TEST_F(ServiceControlServerTest, AStopEndsTheServerAndItsPerConnectionProcesses) {
  const TFBServParams params = DetectFirebirdServer(platform);
  TestDatabase database;
  {
    TestAttachment sysdba(database.ConnectString(), "SYSDBA", server.sysdba_password);
    TestAttachment admn(database.ConnectString(), "ADMN", server.admn_password);
    // The listener and one process for each connection.
    ASSERT_EQ(ServerProcessesSettlingAt(3).size(), 3u);

    std::vector<std::string> notices;
    StopFirebirdService(params, true, platform,
                        [&](const std::string& text) { notices.push_back(text); });

    EXPECT_EQ(QueryServiceState(system, "", kService), platform::kServiceStopped);
    EXPECT_TRUE(ServerProcessesSettlingAt(0).empty());
    EXPECT_THAT(clock.skipped(), ElementsAre(15000u));
    EXPECT_THAT(notices, ElementsAre("Служба FireBird остановлена."));
  }
  // The connections' ends are closed now; the server binds its port anew.
  ASSERT_TRUE(StartServiceAndWait(system, "", kService));
  EXPECT_NO_THROW(AnswerWithin(std::chrono::seconds(20)));
}

TEST_F(ServiceControlServerTest, AStartRestartsTheServerAndItAnswersOnItsPort) {
  const TFBServParams params = DetectFirebirdServer(platform);
  const std::vector<uint32_t> before = ServerProcessesSettlingAt(1);
  ASSERT_EQ(before.size(), 1u);

  std::vector<std::string> notices;
  StartFirebirdService(params, true, platform,
                       [&](const std::string& text) { notices.push_back(text); });

  EXPECT_EQ(QueryServiceState(system, "", kService), platform::kServiceRunning);
  const std::vector<uint32_t> after = ServerProcessesSettlingAt(1);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_NE(after[0], before[0]);
  // The quiet stop's pause, and only the start is announced.
  EXPECT_THAT(clock.skipped(), ElementsAre(15000u));
  EXPECT_THAT(notices, ElementsAre("Служба FireBird запущена."));
  EXPECT_NO_THROW(AnswerWithin(std::chrono::seconds(20)));
}

TEST_F(ServiceControlServerTest, AStartOfAStoppedServerBringsItBack) {
  const TFBServParams params = DetectFirebirdServer(platform);
  StopFirebirdService(params, false, platform);
  ASSERT_TRUE(ServerProcessesSettlingAt(0).empty());

  StartFirebirdService(params, false, platform);

  EXPECT_EQ(ServerProcessesSettlingAt(1).size(), 1u);
  EXPECT_THAT(clock.skipped(), ElementsAre(15000u, 15000u));
  EXPECT_NO_THROW(AnswerWithin(std::chrono::seconds(20)));
}

}  // namespace
}  // namespace updater
