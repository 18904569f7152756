// The built Updater_Marlix run as an operator runs it, against the private
// Classic server of tests/support/with_private_server on port 3051 (the
// profile's prefix), with the registry and service control stand-ins of
// that server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/platform.h"
#include "platform/text.h"
#include "support/firebird_server.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using testing::ProgramRun;
using testing::RequireTestServer;
using testing::TestAttachment;
using testing::TestDatabase;

// The executable copied into a folder of its own, where it makes its Logs.
class ConsoleEndToEndTest : public ::testing::Test {
 protected:
  ConsoleEndToEndTest() : server(RequireTestServer()) { Install("Updater_Marlix"); }

  void Install(const std::string& name) {
    program = temp.Path(name);
    std::filesystem::copy_file(UPDATER_CONSOLE_PATH, testing::FsPath(program),
                               std::filesystem::copy_options::overwrite_existing);
  }

  ProgramRun Run(const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment = {}) {
    return testing::RunProgram(program, arguments, environment, {"UPDATER_SYSTEM_PASSWORD"});
  }

  // The log files next to the executable, oldest name first.
  std::vector<std::string> LogFiles() const {
    std::vector<std::string> files;
    const std::filesystem::path logs = testing::FsPath(temp.path()) / "Logs";
    if (!std::filesystem::is_directory(logs)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(logs)) {
      files.push_back(testing::Utf8(entry.path()));
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  static size_t ServerProcessesSettlingAt(size_t count) {
    return testing::ProcessesSettlingAt("fb_inet_srvmrlx.exe", count).size();
  }

  const testing::TestServer& server;
  testing::TempFolder temp;
  std::string program;
};

// A log entry as the file holds it, without its stamp: ": ", the message in
// Windows-1251, CR LF.
std::string FileEntry(const std::string& message) {
  return ": " + platform::Utf8ToCp1251(message) + "\r\n";
}

TEST_F(ConsoleEndToEndTest, TheDatabaseCommandsSwitchModesAndLogInWindows1251) {
  ASSERT_EQ(server.prefix, "localhost/3051:");
  TestDatabase database("WIN1251", "DB_Data/Marlix.fdb");
  const struct {
    const char* command;
    const char* announcement;
    const char* box;
  } steps[] = {
      {"shutdown", "Перевод базы данных в однопользовательский режим (Shutdown)",
       "[Information] База данных переведена в однопользовательский режим."},
      {"shutdown", "Перевод базы данных в однопользовательский режим (Shutdown)",
       "[Warning] База данных уже находится в однопользовательском режиме."},
      {"online", "Перевод базы данных в многопользовательский режим (OnLine)",
       "[Information] База данных переведена в многопользовательский режим."},
      {"online", "Перевод базы данных в многопользовательский режим (OnLine)",
       "[Warning] База данных уже работает в многопользовательском режиме."},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.box);
    // The system password is the profile's default, the test server's.
    const ProgramRun run = Run({step.command, "--folder", database.Folder()});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find(": " + std::string(step.announcement) + "\n"), std::string::npos)
        << run.out;
    const std::string result = std::string(step.box).substr(std::string(step.box).find(' ') + 1);
    EXPECT_NE(run.out.find(": " + result + "\n" + step.box + "\n"), std::string::npos) << run.out;

    // Every start opens a log file of its own next to the executable (one
    // started in the same second appends to the file of the one before).
    const std::vector<std::string> logs = LogFiles();
    ASSERT_FALSE(logs.empty());
    const std::string file = testing::ReadBytes(logs.back());
    EXPECT_EQ(file.front(), '\r');
    EXPECT_NE(file.find(FileEntry(step.announcement)), std::string::npos);
    EXPECT_NE(file.find(FileEntry(result)), std::string::npos);
  }
}

TEST_F(ConsoleEndToEndTest, AWrongPasswordFailsOnStandardErrorWithTheFailureStatus) {
  TestDatabase database("WIN1251", "DB_Data/Marlix.fdb");
  const std::string refusal =
      "Your user name and password are not defined. Ask your database administrator to set up "
      "a Firebird login";
  const ProgramRun run =
      Run({"online", "--folder", database.Folder()}, {{"UPDATER_SYSTEM_PASSWORD", "wrong"}});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err, "[Updater_Marlix] " + refusal + ".\n");
  EXPECT_NE(run.out.find(": " + refusal + "\n"), std::string::npos) << run.out;
  EXPECT_NE(testing::ReadBytes(LogFiles().back()).find(FileEntry(refusal)), std::string::npos);
}

TEST_F(ConsoleEndToEndTest, AStopAndAStartThroughTheServiceStandIn) {
  TestDatabase database;
  {
    TestAttachment held(database.ConnectString(), "SYSDBA", server.sysdba_password);
    ASSERT_EQ(ServerProcessesSettlingAt(2), 2u);
    const ProgramRun stop = Run({"service-stop"});
    EXPECT_EQ(stop.exit_status, 0) << stop.err;
    EXPECT_EQ(stop.out, "[Updater_Marlix] Служба FireBird остановлена.\n");
    EXPECT_EQ(ServerProcessesSettlingAt(0), 0u);
  }
  const ProgramRun start = Run({"service-start"});
  EXPECT_EQ(start.exit_status, 0) << start.err;
  EXPECT_EQ(start.out, "[Updater_Marlix] Служба FireBird запущена.\n");
  EXPECT_EQ(ServerProcessesSettlingAt(1), 1u);
  EXPECT_NO_THROW(testing::DatabaseOnceAnswering(std::chrono::seconds(20)));
}

TEST_F(ConsoleEndToEndTest, ADetectionFailureIsShownUnderTheProgramsOwnNameAndPassedOver) {
  Install("Обновление.bin");
  TestDatabase database("WIN1251", "DB_Data/Marlix.fdb");
  const std::string registry = temp.MakeFile(
      "broken.reg",
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\BrenvikFireXBirdServer]\r\n"
      "\"ImagePath\"=\"" +
          server.root + "/bin/firebird\"\r\n");
  const ProgramRun run =
      Run({"online", "--folder", database.Folder()}, {{"UPDATER_REGISTRY_FILE", registry}});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err,
            "[Обновление] Тип сервера FB определить не удалось.\n"
            "Возможно, сервер Firebird не отвечает, поврежден или установлен\n"
            "сторонним разработчиком. Закройте Updater, перезагрузите\n"
            "компьютер и повторите запуск программы.\n\n"
            "Если ошибка повторится - обратитесь к разработчику.\n");
  EXPECT_NE(run.out.find("[Warning] База данных уже работает в многопользовательском режиме.\n"),
            std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace updater
