#include "engine/database_commands.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "support/failure_of.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using platform::JoinPath;
using testing::FailureOf;

const char kNoServerPart[] =
    "Программа обновления, исходя из заданного пути к обновляемой программе, обнаружила, что на "
    "данном компьютере отсутствует СЕРВЕРНАЯ часть обновляемой программы, поэтому выполнение "
    "данной функции невозможно!";

// The checks that come before any request. The fake platform has no client
// library to load, so a request that was sent would fail with the library's
// message instead.
class DatabaseCommandsTest : public ::testing::Test {
 protected:
  DatabaseCommandsTest() : ui(fake.files, fake.clock) {
    ApplyDefaultProfile(fields);
    fake.volumes.AddDrive(temp.path(), platform::DriveType::kFixed);
    product = temp.MakeFolder("Marlix");
  }

  using Command = void (*)(const std::string&, const std::string&, const ProjectProfile&,
                           platform::Platform&, FrontEnd&);

  testing::TempFolder temp;
  testing::FakePlatform fake;
  testing::RecordingFrontEnd ui;
  ProfileFields fields;
  std::string product;
};

TEST_F(DatabaseCommandsTest, AFolderWithoutTheDatabaseFileHasNoServerPart) {
  const struct {
    Command command;
    const char* announcement;
  } cases[] = {
      {DatabaseOnlineCommand, "Перевод базы данных в многопользовательский режим (OnLine)"},
      {DatabaseShutdownCommand, "Перевод базы данных в однопользовательский режим (Shutdown)"},
  };
  temp.MakeFolder("Marlix/DB_Data");
  for (const auto& c : cases) {
    ui.transcript.events.clear();
    EXPECT_EQ(FailureOf([&] { c.command(product, "pw", fields.Profile, fake.platform, ui.front); }),
              kNoServerPart);
    EXPECT_EQ(ui.transcript.ScreenMessages(),
              (std::vector<std::string>{"Инициализация переменных...",
                                        "Завершена инициализация переменных", c.announcement}));
    EXPECT_TRUE(ui.transcript.Boxes().empty());
  }
}

TEST_F(DatabaseCommandsTest, ABlankPasswordFailsAfterTheServerPartCheckWithoutARequest) {
  temp.MakeFile(JoinPath(JoinPath("Marlix", "DB_Data"), "Marlix.fdb"));
  for (Command command : {DatabaseOnlineCommand, DatabaseShutdownCommand}) {
    ui.transcript.events.clear();
    EXPECT_EQ(FailureOf([&] { command(product, " ", fields.Profile, fake.platform, ui.front); }),
              "Не задан пароль!");
    EXPECT_EQ(ui.transcript.ScreenMessages().size(), 3u);
    EXPECT_TRUE(ui.transcript.Boxes().empty());
  }
  EXPECT_TRUE(fake.clock.sleeps().empty());
}

TEST_F(DatabaseCommandsTest, TheContextsFailureGoesOnUnchanged) {
  const std::string missing = temp.Path("Nowhere");
  EXPECT_EQ(FailureOf([&] {
              DatabaseShutdownCommand(missing, "pw", fields.Profile, fake.platform, ui.front);
            }),
            "Путь к обновляемой программе \"" + missing + "\" не найден!");
}

}  // namespace
}  // namespace updater
