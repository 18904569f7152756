// Whole update runs of the built Updater_Marlix, as an operator starts it,
// with the real clock (every fixed pause of the run included), against the
// private server of tests/support/with_private_server on port 3051, through
// the service control stand-in. The updater carries a payload made here: a
// makeself archive of the new version of our test product, appended to a
// copy of the executable as its resource EXEFILE/FILES.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/product_fixture.h"
#include "fsutil/backup_restore.h"
#include "platform/paths.h"
#include "support/firebird_server.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using testing::ContentOf;
using testing::DatabaseContent;
using testing::FillOldDatabase;
using testing::FsPath;
using testing::MakeNewDatabase;
using testing::ProductVariant;
using testing::ProgramRun;
using testing::ReadBytes;
using testing::RequireTestServer;
using testing::TestDatabase;
using testing::WriteBytes;
using testing::WritePayloadFiles;

class UpdateEndToEndTest : public ::testing::Test {
 protected:
  UpdateEndToEndTest() : server(RequireTestServer()) {}

  // Updater_Marlix with its script engine in a folder of its own, carrying
  // the new version made as `variant` says.
  void BuildUpdater(const ProductVariant& variant = {}) {
    const std::string payload = temp.MakeFolder("payload");
    {
      TestDatabase fresh("UTF8", "MARLIX.FDB");
      MakeNewDatabase(fresh.ConnectString(), variant);
      WritePayloadFiles(payload, fresh.FilePath(), variant);
    }
    const std::string archive = temp.Path("files.run");
    const ProgramRun made = testing::RunProgram(
        "/usr/bin/makeself",
        {"--current", "--nox11", "--noprogress", "--quiet", "--tar-extra",
         "--owner=0 --group=0 --numeric-owner", payload, archive, "Marlix", "true"});
    ASSERT_EQ(made.exit_status, 0) << made.err;
    const fs::path folder = FsPath(temp.MakeFolder("updater"));
    program = testing::Utf8(folder / "Updater_Marlix");
    fs::copy_file(UPDATER_CONSOLE_PATH, FsPath(program));
    fs::copy_file(fs::path(UPDATER_CONSOLE_PATH).parent_path() / "IBEScript.dll",
                  folder / "IBEScript.dll");
    const ProgramRun appended =
        testing::RunProgram(UPDATER_RESOURCE_APPEND, {program, "EXEFILE", "FILES", archive});
    ASSERT_EQ(appended.exit_status, 0) << appended.err;
  }

  // The installed old version, both parts unless said otherwise.
  void Install(bool client, bool server_part) {
    old_database = std::make_unique<TestDatabase>("WIN1251", "Marlix/DB_Data/Marlix.fdb");
    product = platform::JoinPath(old_database->Folder(), "Marlix");
    if (server_part) {
      FillOldDatabase(old_database->ConnectString(), {});
      before = ContentOf(old_database->ConnectString());
    } else {
      fs::remove_all(FsPath(platform::JoinPath(product, "DB_Data")));
    }
    if (client) {
      WriteBytes(Program("Marlix.exe"), "old program");
      WriteBytes(Program("Marlix.ini"), "[Language]\r\nProgram_Language=1\r\n");
    }
    WriteBytes(Library(), "old library");
  }

  ProgramRun Update() {
    return testing::RunProgram(program, {"update", "--folder", product, "--answer", "yes"},
                               {{"UPDATER_ADMN_PASSWORD", server.admn_password}},
                               {"UPDATER_SYSTEM_PASSWORD"});
  }

  std::string Program(const std::string& name) const {
    return platform::JoinPath(platform::JoinPath(product, "Program"), name);
  }
  std::string Library() const {
    return platform::JoinPath(platform::JoinPath(server.root, "UDF"), "wexr_udf_u8.dll");
  }

  void ExpectValuesCarriedOver() {
    const DatabaseContent after = ContentOf(old_database->ConnectString());
    EXPECT_EQ(after.charset, "UTF8");
    for (const auto& [table, rows] : before.rows) {
      ASSERT_EQ(after.rows.at(table).size(), rows.size()) << table;
      for (size_t i = 0; i < rows.size(); ++i) {
        for (const auto& [column, value] : rows[i]) {
          EXPECT_EQ(after.rows.at(table)[i].at(column), value) << table << "." << column;
        }
      }
    }
    EXPECT_EQ(after.generators, before.generators);
    EXPECT_TRUE(testing::DatabaseOnline(old_database->ConnectString()));
  }

  const testing::TestServer& server;
  testing::TempFolder temp;
  std::string program;
  std::unique_ptr<TestDatabase> old_database;
  std::string product;
  DatabaseContent before;
};

// Run where the loopback keeps its TIME_WAIT sockets, as a user's machine
// does: the server restarted by the run may find its port held for a while.
TEST_F(UpdateEndToEndTest, BothPartsUpdatedWhileASecondUpdaterIsTurnedAway) {
  BuildUpdater();
  Install(true, true);
  ProgramRun first;
  std::thread running([&] { first = Update(); });
  // The second updater is started once the first holds the product folder.
  const fs::path lock = FsPath(platform::JoinPath(product, "Updater.lock"));
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
  EXPECT_EQ(ReadBytes(Program("Marlix.exe")), "new Marlix.exe");
  EXPECT_EQ(ReadBytes(Program("Marlix.chm")), "new RU_Marlix.chm");
  EXPECT_EQ(ReadBytes(Library()), "new library");
  EXPECT_FALSE(fs::exists(lock));
  ExpectValuesCarriedOver();
}

TEST_F(UpdateEndToEndTest, AFailingScriptRollsTheServerPartBackOnline) {
  ProductVariant failing;
  failing.script = "ALTER TABLE NO_SUCH_TABLE ADD X INTEGER;\r\nCOMMIT;\r\n";
  BuildUpdater(failing);
  Install(false, true);
  const ProgramRun run = Update();
  EXPECT_EQ(run.exit_status, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("** Обновление завершено с ошибками.\n** Выполняется откат изменений!\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("** Обновление прошло с ошибками!\n** Откат изменений завершен.\n"),
            std::string::npos);
  EXPECT_NE(run.err.find("[Error] Ошибка применения скрипта!"), std::string::npos) << run.err;
  EXPECT_EQ(ReadBytes(Library()), "old library");
  const DatabaseContent after = ContentOf(old_database->ConnectString());
  EXPECT_EQ(after.rows, before.rows);
  EXPECT_EQ(after.generators, before.generators);
  EXPECT_EQ(after.privileges, before.privileges);
  EXPECT_EQ(after.charset, "WIN1251");
  EXPECT_TRUE(testing::DatabaseOnline(old_database->ConnectString()));
}

TEST_F(UpdateEndToEndTest, AClientPartAloneIsUpdatedWithoutTheServer) {
  BuildUpdater();
  Install(true, false);
  const ProgramRun run = Update();
  EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_EQ(ReadBytes(Program("Marlix.exe")), "new Marlix.exe");
  EXPECT_EQ(ReadBytes(Program("Marlix.chm")), "new RU_Marlix.chm");
  EXPECT_EQ(ReadBytes(Library()), "old library");
  EXPECT_EQ(run.out.find("Остановка службы FireBird."), std::string::npos);
}

}  // namespace
}  // namespace updater
