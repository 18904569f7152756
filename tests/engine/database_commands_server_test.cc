// The operator's database mode commands against the real test server.
#include <gtest/gtest.h>

#include "engine/database_commands.h"
#include "support/failure_of.h"
#include "support/firebird_server.h"
#include "support/recording_front_end.h"

namespace updater {
namespace {

using testing::FailureOf;
using Lines = std::vector<std::string>;

// A product folder whose DB_Data holds a real database on the test server;
// the profile's prefix is the test server's.
class DatabaseCommandsServerTest : public ::testing::Test {
 protected:
  DatabaseCommandsServerTest()
      : server(testing::RequireTestServer()),
        platform(testing::WithRealLibraries(fake)),
        database("WIN1251", "DB_Data/Marlix.fdb"),
        ui(fake.files, fake.clock) {
    ApplyDefaultProfile(fields);
    fields.Profile.ServerPrefix = server.prefix;
    fake.volumes.AddDrive(server.data, platform::DriveType::kFixed);
  }

  // What the command left on the screen after the context's two lines, and
  // the boxes it showed; the transcript starts afresh.
  std::pair<Lines, Lines> Run(void (*command)(const std::string&, const std::string&,
                                              const ProjectProfile&, platform::Platform&,
                                              FrontEnd&),
                              const std::string& password) {
    ui.transcript.events.clear();
    command(database.Folder(), password, fields.Profile, platform, ui.front);
    Lines screen = ui.transcript.ScreenMessages();
    screen.erase(screen.begin(), screen.begin() + 2);
    return {screen, ui.transcript.Boxes()};
  }

  const testing::TestServer& server;
  testing::FakePlatform fake;
  platform::Platform platform;
  testing::TestDatabase database;
  testing::RecordingFrontEnd ui;
  ProfileFields fields;
};

TEST_F(DatabaseCommandsServerTest, SwitchModesAndWarnWhenTheDatabaseIsAlreadyThere) {
  const std::string shutdown = "Перевод базы данных в однопользовательский режим (Shutdown)";
  const std::string online = "Перевод базы данных в многопользовательский режим (OnLine)";
  const struct {
    void (*command)(const std::string&, const std::string&, const ProjectProfile&,
                    platform::Platform&, FrontEnd&);
    Lines screen;
    Lines boxes;
  } steps[] = {
      {DatabaseShutdownCommand,
       {shutdown, "База данных переведена в однопользовательский режим."},
       {"ShowInformation: База данных переведена в однопользовательский режим."}},
      {DatabaseShutdownCommand,
       {shutdown, "База данных уже находится в однопользовательском режиме."},
       {"ShowWarning: База данных уже находится в однопользовательском режиме."}},
      {DatabaseOnlineCommand,
       {online, "База данных переведена в многопользовательский режим."},
       {"ShowInformation: База данных переведена в многопользовательский режим."}},
      {DatabaseOnlineCommand,
       {online, "База данных уже работает в многопользовательском режиме."},
       {"ShowWarning: База данных уже работает в многопользовательском режиме."}},
  };
  for (const auto& step : steps) {
    const auto [screen, boxes] = Run(step.command, server.sysdba_password);
    EXPECT_EQ(screen, step.screen);
    EXPECT_EQ(boxes, step.boxes);
  }
  EXPECT_EQ(fake.clock.sleeps(), std::vector<uint32_t>{2000});
}

TEST_F(DatabaseCommandsServerTest, AWrongPasswordReachesTheWindowUnchanged) {
  EXPECT_EQ(FailureOf([&] { Run(DatabaseShutdownCommand, "wrong"); }),
            "Your user name and password are not defined. Ask your database administrator to "
            "set up a Firebird login");
  EXPECT_EQ(ui.transcript.ScreenMessages().back(),
            "Перевод базы данных в однопользовательский режим (Shutdown)");
  EXPECT_TRUE(ui.transcript.Boxes().empty());
}

}  // namespace
}  // namespace updater
