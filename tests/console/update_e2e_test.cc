// Whole update runs of the built Updater_Marlix with the sample product's
// payload, as an operator starts it, with the real clock (every fixed pause
// of the run included), against the private server of
// tests/support/with_private_server on port 3051, through the service
// control stand-in. The old version is installed by scripts/sample-product;
// the failing payload is made by scripts/payload-variant.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/product_fixture.h"
#include "platform/paths.h"
#include "support/firebird_server.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using testing::ContentOf;
using testing::DatabaseContent;
using testing::FsPath;
using testing::ProgramRun;
using testing::ReadBytes;
using testing::RequireTestServer;

std::string Join(const std::string& folder, const std::string& name) {
  return platform::JoinPath(folder, name);
}

class UpdateEndToEndTest : public ::testing::Test {
 protected:
  UpdateEndToEndTest()
      : server(RequireTestServer()),
        product(temp.Path("Marlix")),
        database(server.prefix + Join(Join(product, "DB_Data"), "MARLIX.FDB")) {}

  // The old version (Marlix 3.1), both parts unless said otherwise.
  void Install(bool client, bool server_part) {
    const ProgramRun installed =
        testing::RunProgram(std::string(UPDATER_SOURCE_DIR) + "/scripts/sample-product",
                            {"install", product, "--rows", "100", "--build", UPDATER_BUILD_DIR});
    ASSERT_EQ(installed.exit_status, 0) << installed.err;
    before = ContentOf(database);
    if (!server_part) {
      // Not attached any more: the server lets go of the file at once.
      fs::remove_all(FsPath(Join(product, "DB_Data")));
    }
    if (!client) fs::remove_all(FsPath(Join(product, "Program")));
  }

  // The build's updater, or a copy of it with the payload whose
  // "script.sql" fails, beside its script engine.
  void FailingUpdater() {
    const std::string failing =
        temp.MakeFile("failing.sql", "ALTER TABLE NO_SUCH_TABLE ADD X INTEGER;\r\n");
    const fs::path folder = FsPath(temp.MakeFolder("variant"));
    updater = testing::Utf8(folder / "Updater_Marlix");
    const ProgramRun made = testing::RunProgram(
        std::string(UPDATER_SOURCE_DIR) + "/scripts/payload-variant",
        {updater, "--replace", "script.sql=" + failing, "--build", UPDATER_BUILD_DIR});
    ASSERT_EQ(made.exit_status, 0) << made.err;
    fs::copy_file(fs::path(UPDATER_CONSOLE_PATH).parent_path() / "IBEScript.dll",
                  folder / "IBEScript.dll");
  }

  ProgramRun Update() {
    return testing::RunProgram(updater, {"update", "--folder", product, "--answer", "yes"},
                               {{"UPDATER_ADMN_PASSWORD", server.admn_password}},
                               {"UPDATER_SYSTEM_PASSWORD"});
  }

  std::string Program(const std::string& name) const {
    return Join(Join(product, "Program"), name);
  }
  std::string ProgramVersion() const {
    return testing::RunProgram(Program("Marlix.exe"), {"--version"}).out;
  }
  std::string Library() const { return Join(Join(server.root, "UDF"), "wexr_udf_u8.dll"); }

  const testing::TestServer& server;
  testing::TempFolder temp;
  std::string product;
  std::string database;
  std::string updater = UPDATER_CONSOLE_PATH;
  DatabaseContent before;
};

// Run where the loopback keeps its TIME_WAIT sockets, as a user's machine
// does: the server restarted by the run may find its port held for a while.
TEST_F(UpdateEndToEndTest, BothPartsUpdatedWhileASecondUpdaterIsTurnedAway) {
  Install(true, true);
  ASSERT_EQ(ProgramVersion(), "Marlix 3.1\n");
  ProgramRun first;
  std::thread running([&] { first = Update(); });
  // The second updater is started once the first holds the product folder.
  const fs::path lock = FsPath(Join(product, "Updater.lock"));
  for (int i = 0; i < 600 && !fs::exists(lock); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const ProgramRun second = Update();
  running.join();

  EXPECT_EQ(second.exit_status, 1) << second.out;
  EXPECT_NE(second.err.find("\" уже выполняется другой программой обновления (процесс "),
            std::string::npos)
      << second.err;
  EXPECT_EQ(first.exit_status, 0) << first.out << first.err;
  EXPECT_NE(first.out.find("** Обновление прошло успешно.\n** Завершите работу с программой.\n"),
            std::string::npos)
      << first.out;
  EXPECT_NE(first.out.find("Время этапов"), std::string::npos);
  // Standard output is a pipe here: the data load's bar is the terminal's
  // alone.
  EXPECT_EQ(first.out.find("Загрузка"), std::string::npos) << first.out;
  EXPECT_EQ(ProgramVersion(), "Marlix 3.2\n");
  EXPECT_EQ(ReadBytes(Program("storage.ini")), "<missing>");
  EXPECT_TRUE(fs::exists(FsPath(Program("Marlix.chm"))));
  EXPECT_TRUE(fs::exists(FsPath(Library())));
  EXPECT_FALSE(fs::exists(lock));
  testing::ExpectEveryValueCarriedOver(before, database, "UTF8");
}

TEST_F(UpdateEndToEndTest, AFailingScriptRollsTheServerPartBackOnline) {
  FailingUpdater();
  Install(false, true);
  const ProgramRun run = Update();
  EXPECT_EQ(run.exit_status, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("** Обновление завершено с ошибками.\n** Выполняется откат изменений!\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("** Обновление прошло с ошибками!\n** Откат изменений завершен.\n"),
            std::string::npos);
  EXPECT_NE(run.err.find("[Error] Ошибка применения скрипта!"), std::string::npos) << run.err;
  // The library the run installed went again with the rollback.
  EXPECT_FALSE(fs::exists(FsPath(Library())));
  const DatabaseContent after = ContentOf(database);
  EXPECT_EQ(after.rows, before.rows);
  EXPECT_EQ(after.privileges, before.privileges);
  testing::ExpectEveryValueCarriedOver(before, database, "WIN1251");
}

TEST_F(UpdateEndToEndTest, AClientPartAloneIsUpdatedWithoutTheServer) {
  Install(true, false);
  const ProgramRun run = Update();
  EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_EQ(ProgramVersion(), "Marlix 3.2\n");
  EXPECT_EQ(run.out.find("Остановка службы FireBird."), std::string::npos);
  EXPECT_FALSE(fs::exists(FsPath(Library())));
}

}  // namespace
}  // namespace updater
