// The script runner over stand-ins of the engine library (a shelf that
// hands out fake engines under the name "IBEScript.dll" and counts the
// loaded ones) and over the real library next to the test program.
#include <gtest/gtest.h>

#include <map>

#include "firebird/uIBEScript.h"
#include "platform/text.h"
#include "support/failure_of.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using testing::FailureOf;
using testing::ReadBytes;

// Libraries by name, each name standing for a file beside the test
// program; counts what is loaded and what is still loaded.
class LibraryShelf final : public platform::Libraries {
 public:
  std::map<std::string, std::string> files;  // name asked for -> file loaded
  int loads = 0;
  int live = 0;

  platform::Result<std::unique_ptr<platform::Library>> Load(const std::string& name) override {
    const auto found = files.find(name);
    if (found == files.end()) return platform::SystemError{"Load", name, 126, "not on the shelf"};
    auto loaded = platform::SystemPlatform().libraries.Load(found->second);
    if (!loaded.ok()) return loaded.error();
    ++loads;
    return std::unique_ptr<platform::Library>(
        std::make_unique<Counted>(std::move(loaded).value(), live));
  }

 private:
  class Counted final : public platform::Library {
   public:
    Counted(std::unique_ptr<platform::Library> inner, int& live)
        : inner_(std::move(inner)), live_(live) {
      ++live_;
    }
    ~Counted() override { --live_; }
    void* FindSymbol(const std::string& name) override { return inner_->FindSymbol(name); }

   private:
    std::unique_ptr<platform::Library> inner_;
    int& live_;
  };
};

class ScriptRunnerTest : public ::testing::Test {
 protected:
  ScriptRunnerTest()
      : platform{fake.files,     fake.volumes, fake.registry,  fake.services,
                 fake.processes, shelf,        fake.resources, fake.clock},
        ui(fake.files, fake.clock) {
    shelf.files["IBEScript.dll"] = "fake_engine.dll";
  }

  void RunText(const std::string& script, const std::string& database = "db",
               LogView* view = nullptr, const std::string& password = "pw") {
    RunScriptText("fbclient.dll", database, "SYSDBA", "WIN1251", password, "", script, view,
                  platform, ui.pump);
  }
  std::string Journal() const { return platform::AnsiToUtf8(ReadBytes(temp.Path("j.txt"))); }
  std::vector<std::string> Screen() const { return ui.screen.lines; }

  testing::TempFolder temp;
  testing::FakePlatform fake;
  LibraryShelf shelf;
  platform::Platform platform;
  testing::RecordingFrontEnd ui;
};

TEST_F(ScriptRunnerTest, HandsTheEngineTheConnectStringAndTheTrimmedScript) {
  const std::string script = temp.MakeFile("Скрипт.sql", "journal " + temp.Path("j.txt") + "\n");
  RunScriptFile("fbclient.dll", "localhost/3051:C:\\Б\\MARLIX.FDB", "ADMN", "UTF8", " pass word ",
                "", "  " + script + " \r\n", &ui.log, platform, ui.pump);
  EXPECT_EQ(Journal(),
            "connect db_name=localhost/3051:C:\\Б\\MARLIX.FDB; password= pass word ; "
            "user_name=ADMN; lc_ctype=UTF8; sql_role_name=; sql_dialect=3; "
            "clientlib=\"fbclient.dll\"\n"
            "script " +
                script + "\n");
  EXPECT_EQ(shelf.loads, 1);
  EXPECT_EQ(shelf.live, 0);
}

TEST_F(ScriptRunnerTest, ShowsEveryFailureButReportsOnlyTheLast) {
  const std::string failure = FailureOf([&] {
    RunText(
        "echo create table A\nfail create table A|Table A exists\n"
        "echo insert into B\nfail insert into B|Table unknown B",
        "db", &ui.log);
  });
  EXPECT_EQ(failure,
            "Ошибка применения скрипта!\r-------   ERROR   --------\rTable unknown B\r\r"
            "------- STATEMENT --------\rinsert into B");
  EXPECT_EQ(Screen(), (std::vector<std::string>{"create table A", "------- STATEMENT --------",
                                                "create table A", "-------   ERROR   --------",
                                                "Table A exists", "insert into B",
                                                "------- STATEMENT --------", "insert into B",
                                                "-------   ERROR   --------", "Table unknown B"}));
  EXPECT_EQ(ui.pump.count, 4);  // two echoes, two failures
  EXPECT_EQ(shelf.live, 0);
}

TEST_F(ScriptRunnerTest, AFailedVersionCheckIsPresentedAsAVersionMismatch) {
  for (const char* statement :
       {"EXECUTE PROCEDURE CHECK_VERSIO(2)", "execute procedure Check_Versio(7)"}) {
    const std::string failure =
        FailureOf([&] { RunText(std::string("fail ") + statement + "|Version 1 expected"); });
    EXPECT_EQ(failure,
              std::string("Ошибка применения скрипта!\r\rВероятно, имеет место несоответствие "
                          "между версией обновления и версией обновляемой базы данных!\r\r"
                          "-------   ERROR   --------\rVersion 1 expected\r\r"
                          "------- STATEMENT --------\r") +
                  statement);
  }
}

TEST_F(ScriptRunnerTest, WithoutALogViewNothingIsShownAndTheFailureIsWhole) {
  const std::string failure = FailureOf([&] { RunText("echo one\nfail two|bad"); });
  EXPECT_EQ(failure,
            "Ошибка применения скрипта!\r-------   ERROR   --------\rbad\r\r"
            "------- STATEMENT --------\rtwo");
  EXPECT_TRUE(Screen().empty());
  EXPECT_EQ(ui.pump.count, 1);  // the echo lets the window breathe all the same
}

TEST_F(ScriptRunnerTest, AConnectionFailureStopsTheRunBeforeTheScript) {
  const struct {
    const char* database;
    const char* failure;
  } cases[] = {
      {"refuse", "Ошибка подключения к базе данных!\rYour user name and password are not defined"},
      {"warn", "Ошибка подключения к базе данных!\rconnected, but something is wrong"},
      {"mute", "Ошибка подключения к базе данных!\r"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureOf([&] { RunText("echo never shown", c.database, &ui.log); }), c.failure);
  }
  EXPECT_TRUE(Screen().empty());
  EXPECT_EQ(shelf.loads, 3);
  EXPECT_EQ(shelf.live, 0);
}

TEST_F(ScriptRunnerTest, TheResultCallbackAnswersZeroOnlyForOne) {
  RunText("journal " + temp.Path("j.txt") + "\nresult 1\nresult 0\nresult 2\nresult -1");
  const std::string journal = Journal();
  EXPECT_NE(journal.find("result 1 -> 0\nresult 0 -> 1\nresult 2 -> 1\nresult -1 -> 1\n"),
            std::string::npos)
      << journal;
}

TEST_F(ScriptRunnerTest, InputsAreCheckedBeforeTheLibraryIsLoaded) {
  const std::string missing = temp.Path("none.sql");
  const struct {
    std::function<void()> run;
    std::string failure;
  } cases[] = {
      {[&] {
         RunScriptFile("fbclient.dll", "db", "SYSDBA", "WIN1251", "pw", "", " \t ", nullptr,
                       platform, ui.pump);
       },
       "Не задан файл скрипта!"},
      {[&] {
         RunScriptFile("fbclient.dll", "db", "SYSDBA", "WIN1251", "pw", "", missing + " ", nullptr,
                       platform, ui.pump);
       },
       "Файл скрипта \"" + missing + "\" не найден!"},
      {[&] { RunText("\r\n "); }, "Скрипт пустой!"},
      {[&] { RunText("echo x", "db", nullptr, " "); }, "Не задан пароль!"},
      {[&] {
         RunScriptText(" ", "db", "SYSDBA", "WIN1251", "pw", "", "x", nullptr, platform, ui.pump);
       },
       "Не задана клиентская библиотека!"},
  };
  for (const auto& c : cases) EXPECT_EQ(FailureOf(c.run), c.failure);
  EXPECT_EQ(shelf.loads, 0);
}

TEST_F(ScriptRunnerTest, ALibraryThatIsMissingOrLacksAnExportIsUnloadedAndNamed) {
  shelf.files.clear();
  EXPECT_EQ(FailureOf([&] { RunText("echo x"); }),
            "Невозможно загрузить библиотеку \"IBEScript.dll\"!");

  shelf.files["IBEScript.dll"] = "fake_engine_without_connect.dll";
  EXPECT_EQ(FailureOf([&] { RunText("echo x"); }),
            "В библиотеке \"IBEScript.dll\" не найдена функция \"Connect\"!");

  shelf.files["IBEScript.dll"] = "fake_engine_without_scripts.dll";
  EXPECT_EQ(FailureOf([&] { RunText("echo x"); }),
            "В библиотеке \"IBEScript.dll\" не найдена функция! (ExecScriptText)");
  const std::string script = temp.MakeFile("s.sql", "echo x");
  EXPECT_EQ(FailureOf([&] {
              RunScriptFile("fbclient.dll", "db", "SYSDBA", "WIN1251", "pw", "", script, nullptr,
                            platform, ui.pump);
            }),
            "В библиотеке \"IBEScript.dll\" не найдена функция! (ExecScriptFile)");
  EXPECT_EQ(shelf.loads, 3);
  EXPECT_EQ(shelf.live, 0);
}

// The figures of a data load go to the caller's view as the engine reports
// them, never to the log view; an engine without the entry point loads
// without them, and that is no failure.
TEST_F(ScriptRunnerTest, HandsTheLoadsFiguresOnWhenTheEngineReportsThem) {
  const std::string script =
      temp.MakeFile("Data.sql", "echo insert\nprogress 1 3 256 1000\nprogress 3 3 1000 1000\n");
  for (const char* engine : {"fake_engine.dll", "fake_engine_without_progress.dll"}) {
    SCOPED_TRACE(engine);
    shelf.files["IBEScript.dll"] = engine;
    testing::RecordingFrontEnd front(fake.files, fake.clock);
    RunScriptFile("fbclient.dll", "db", "SYSDBA", "WIN1251", "pw", "", script, &front.log, platform,
                  front.pump, &front.captions);
    const std::vector<LoadProgress> expected =
        engine == std::string("fake_engine.dll")
            ? std::vector<LoadProgress>{{1, 3, 256, 1000}, {3, 3, 1000, 1000}}
            : std::vector<LoadProgress>{};
    EXPECT_EQ(front.captions.progress, expected);
    EXPECT_EQ(front.screen.lines, (std::vector<std::string>{"insert"}));
  }
  // Without a view the engine is not asked for figures.
  shelf.files["IBEScript.dll"] = "fake_engine.dll";
  RunScriptFile("fbclient.dll", "db", "SYSDBA", "WIN1251", "pw", "", script, nullptr, platform,
                ui.pump);
  EXPECT_TRUE(ui.captions.progress.empty());
  EXPECT_EQ(shelf.live, 0);
}

// The real engine next to the test program, found by the platform's own
// search, reports a database it cannot reach through the contract.
TEST(ScriptRunnerWithTheRealEngine, ReportsADatabaseItCannotReach) {
  testing::FakePlatform fake;
  platform::Platform real{fake.files,     fake.volumes,   fake.registry,
                          fake.services,  fake.processes, platform::SystemPlatform().libraries,
                          fake.resources, fake.clock};
  testing::CountingPump pump;
  const std::string failure = FailureOf([&] {
    RunScriptText("fbclient.dll", "localhost/1:/nowhere/none.fdb", "SYSDBA", "WIN1251", "pw", "",
                  "SELECT 1 FROM RDB$DATABASE;", nullptr, real, pump);
  });
  const std::string expected = "Ошибка подключения к базе данных!\r";
  EXPECT_EQ(failure.rfind(expected, 0), 0u) << failure;
  EXPECT_GT(failure.size(), expected.size()) << "the engine gave no reason";
}

}  // namespace
}  // namespace updater
