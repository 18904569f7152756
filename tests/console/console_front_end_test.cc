// The terminal front end in-process: its boxes and questions, and its
// start-up and commands on the fake platform, with a scripted terminal.
#include "ui/console/console_front_end.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <sstream>

#include "engine/uUpdate_steps.h"
#include "engine/update_fixture.h"
#include "platform/paths.h"
#include "support/fake_platform.h"
#include "support/temp_folder.h"
#include "ui/console/console_app.h"

namespace updater::console {
namespace {

// A terminal that reads the lines it was given and then reaches its end.
class ScriptedTerminal final : public Terminal {
 public:
  bool interactive = false;
  std::deque<std::string> lines;
  int secret_reads = 0;

  bool Interactive() override { return interactive; }
  bool OutputIsTerminal() override { return interactive; }
  std::optional<std::string> ReadLine() override {
    if (lines.empty()) return std::nullopt;
    std::string line = lines.front();
    lines.pop_front();
    return line;
  }
  std::optional<std::string> ReadSecretLine() override {
    ++secret_reads;
    return ReadLine();
  }
};

// The environment of a test: the variables of `environment`, none else.
EnvironmentLookup LookupIn(const std::map<std::string, std::string>& environment) {
  return [&environment](const std::string& name) -> std::optional<std::string> {
    const auto it = environment.find(name);
    if (it == environment.end()) return std::nullopt;
    return it->second;
  };
}

TEST(BoxText, TheCaptionThenOneTerminalLinePerLineOfTheText) {
  EXPECT_EQ(BoxText("Warning", "Один\rДва\r\nТри\n"), "[Warning] Один\nДва\nТри\n");
  EXPECT_EQ(BoxText("Updater_Marlix", "А\r\rБ"), "[Updater_Marlix] А\n\nБ\n");
}

// The load's bar: one terminal line redrawn in place and cleared at the
// end, the pump's signs of life held back meanwhile; nothing at all when
// the output is a pipe or a file.
TEST(TerminalCaptions, TheLoadsBarIsRedrawnOnTheTerminalAndNeverReachesAPipe) {
  const LoadProgress first{0, 12, 9, 120000};
  const LoadProgress last{12, 12, 120000, 120000};
  EXPECT_EQ(LoadProgressBar(first),
            "Загрузка [----------------]   0%  таблиц 0 из 12, строк 9 из 120 000");
  EXPECT_EQ(LoadProgressBar({3, 12, 40000, 120000}),
            "Загрузка [#####-----------]  33%  таблиц 3 из 12, строк 40 000 из 120 000");
  EXPECT_EQ(LoadProgressBar(last),
            "Загрузка [################] 100%  таблиц 12 из 12, строк 120 000 из 120 000");
  EXPECT_EQ(LoadProgressBar({2, 0, 1234567, 0}), "Загрузка данных: таблиц 2, строк 1 234 567");

  for (const bool terminal : {true, false}) {
    testing::FakeClock clock;
    std::ostringstream out;
    std::ostringstream signs;
    ProgressPump pump(clock, signs, 10000);
    TerminalCaptions captions(out, terminal, pump);
    captions.ShowCaption("Идет обновление...");
    const std::string caption = out.str();
    pump.ProcessMessages();
    for (const LoadProgress& figures : {first, last}) {
      clock.Advance(6000);
      captions.ShowLoadProgress(figures);
      pump.ProcessMessages();
    }
    captions.EndLoadProgress();
    EXPECT_EQ(caption, "** Идет обновление...\n");
    if (terminal) {
      // Cleared over the width of the longest line, 75 characters.
      EXPECT_EQ(out.str(), caption + "\r" + LoadProgressBar(first) + "\r" + LoadProgressBar(last) +
                               "\r" + std::string(75, ' ') + "\r");
      EXPECT_EQ(signs.str(), "");
    } else {
      EXPECT_EQ(out.str(), caption);
      EXPECT_NE(signs.str(), "");  // the signs of life instead
    }
  }
}

TEST(ProgressPump, ShowsAQuietStretchOncePerIntervalAndStartsAgainAfterALogLine) {
  testing::FakeClock clock;
  std::ostringstream progress;
  ProgressPump pump(clock, progress, 10000);
  pump.ProcessMessages();
  clock.Advance(9999);
  pump.ProcessMessages();
  clock.Advance(1);
  pump.ProcessMessages();
  clock.Advance(5000);
  pump.ProcessMessages();
  pump.LineShown();
  clock.Advance(10000);
  pump.ProcessMessages();  // the quiet stretch starts here
  clock.Advance(10000);
  pump.ProcessMessages();
  EXPECT_EQ(progress.str(), "... выполняется: 10 с, шагов: 3\n... выполняется: 10 с, шагов: 2\n");
}

class TerminalPromptTest : public ::testing::Test {
 protected:
  TerminalPrompt Prompt(Answering answering) {
    return TerminalPrompt(out, err, terminal, answering, "Обновление");
  }

  std::ostringstream out;
  std::ostringstream err;
  ScriptedTerminal terminal;
};

TEST_F(TerminalPromptTest, BoxesWithOneButtonArePrintedWithoutWaiting) {
  TerminalPrompt prompt = Prompt(Answering::kAsk);
  terminal.lines = {"not for the boxes"};
  EXPECT_EQ(prompt.ShowWarning("w"), PromptAnswer::Ok);
  EXPECT_EQ(prompt.ShowInformation("i"), PromptAnswer::Ok);
  EXPECT_EQ(prompt.ShowNotice("n"), PromptAnswer::Ok);
  EXPECT_EQ(prompt.ShowError("e"), PromptAnswer::Ok);
  prompt.ShowFailure("f.");
  EXPECT_EQ(out.str(), "[Warning] w\n[Information] i\n[Обновление] n\n");
  EXPECT_EQ(err.str(), "[Error] e\n[Обновление] f.\n");
  EXPECT_EQ(terminal.lines.size(), 1u);
}

TEST_F(TerminalPromptTest, QuestionsReadAnswersUntilOneFitsAndTheEndCancels) {
  TerminalPrompt prompt = Prompt(Answering::kAsk);
  const struct {
    std::vector<std::string> typed;
    bool focus_no;
    PromptAnswer answer;
  } cases[] = {
      {{""}, false, PromptAnswer::Yes},  // Enter: the focused Yes
      {{""}, true, PromptAnswer::No},    // Enter: the focused No
      {{"perhaps", " Да "}, true, PromptAnswer::Yes},
      {{"NO"}, false, PromptAnswer::No},
      {{"нет"}, false, PromptAnswer::No},
      {{"y"}, true, PromptAnswer::Yes},
      {{}, false, PromptAnswer::Cancel},  // the input ended: closed without a button
  };
  for (const auto& c : cases) {
    terminal.lines.assign(c.typed.begin(), c.typed.end());
    const PromptAnswer answer =
        c.focus_no ? prompt.AskYesNoFocusNo("Продолжить?") : prompt.AskYesNo("Продолжить?");
    EXPECT_EQ(answer, c.answer) << (c.typed.empty() ? "<end>" : c.typed.back());
    EXPECT_TRUE(terminal.lines.empty());
  }
  EXPECT_NE(out.str().find("[Warning] Продолжить?\nYes/No [Yes]: "), std::string::npos);
  EXPECT_NE(out.str().find("[Information] Продолжить?\nYes/No [No]: "), std::string::npos);
}

TEST_F(TerminalPromptTest, TheAnswerOptionAnswersEveryQuestionWithoutReading) {
  terminal.lines = {"n"};
  TerminalPrompt yes = Prompt(Answering::kYes);
  EXPECT_EQ(yes.AskYesNoFocusNo("Обновить?"), PromptAnswer::Yes);
  TerminalPrompt no = Prompt(Answering::kNo);
  EXPECT_EQ(no.AskYesNo("Остановить?"), PromptAnswer::No);
  EXPECT_EQ(terminal.lines.size(), 1u);
  EXPECT_EQ(out.str(),
            "[Information] Обновить?\nYes/No: Yes (--answer)\n"
            "[Warning] Остановить?\nYes/No: No (--answer)\n");
}

// RunConsole over the fake platform: the executable in a folder of its own
// on a fixed drive, no server registered unless a test registers one.
class RunConsoleTest : public ::testing::Test {
 protected:
  RunConsoleTest() {
    fake.volumes.AddDrive(temp.path(), platform::DriveType::kFixed);
    fake.processes.own_executable = platform::JoinPath(temp.MakeFolder("bin"), "Updater_Marlix");
    product = temp.MakeFolder("Продукт");
  }

  int Run(const std::vector<std::string>& arguments) {
    return RunConsole(arguments, fake.platform, {out, err, terminal}, LookupIn(environment));
  }

  size_t LogFiles() const {
    const std::filesystem::path logs = testing::FsPath(temp.Path("bin")) / "Logs";
    if (!std::filesystem::is_directory(logs)) return 0;
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(logs), {}));
  }

  testing::TempFolder temp;
  testing::FakePlatform fake;
  ScriptedTerminal terminal;
  std::map<std::string, std::string> environment;
  std::ostringstream out;
  std::ostringstream err;
  std::string product;
};

TEST_F(RunConsoleTest, HelpAWrongCommandLineAndAMissingFolderDoNothingElse) {
  EXPECT_EQ(Run({"help"}), kExitDone);
  EXPECT_EQ(out.str().rfind("Usage: Updater_Marlix COMMAND", 0), 0u) << out.str();
  EXPECT_EQ(Run({"restart"}), kExitUsage);
  EXPECT_EQ(err.str().rfind("Updater_Marlix: unknown command \"restart\"\n\nUsage: ", 0), 0u)
      << err.str();
  // The project's default folder is a Windows path, which Linux would take
  // from the current folder: the database commands ask for one instead.
  for (const char* command : {"online", "shutdown"}) {
    err.str("");
    EXPECT_EQ(Run({command}), kExitUsage);
    EXPECT_EQ(err.str().rfind("Updater_Marlix: give the product folder with --folder: the "
                              "project's default C:\\WEXR\\Marlix is not a full path on this "
                              "system\n\nUsage: ",
                              0),
              0u)
        << err.str();
  }
  EXPECT_EQ(LogFiles(), 0u);
}

TEST_F(RunConsoleTest, StartUpOpensTheLogAndACommandsFailureEndsOnStandardError) {
  const std::string missing = temp.Path("Нет такой");
  EXPECT_EQ(Run({"online", "--folder", missing}), kExitFailed);
  EXPECT_EQ(LogFiles(), 1u);
  const std::string message = "Путь к обновляемой программе \"" + missing + "\" не найден!";
  EXPECT_NE(out.str().find(": " + message + "\n"), std::string::npos) << out.str();
  EXPECT_EQ(err.str(), "[Updater_Marlix] " + message + "\n");
}

TEST_F(RunConsoleTest, TheSystemPasswordComesFromTheEnvironmentTheTerminalOrTheDefault) {
  temp.MakeFile("Продукт/DB_Data/Marlix.fdb", "not a database");
  const std::string blank = "[Updater_Marlix] Не задан пароль!\n";
  // The fake platform has no client library: a password gets as far as that.
  const std::string loading = "[Updater_Marlix] Невозможно загрузить клиентскую библиотеку";
  const struct {
    std::optional<std::string> variable;
    bool interactive;
    std::vector<std::string> typed;
    std::string failure;
    int secret_reads;
  } cases[] = {
      {"", false, {}, blank, 0},               // set but empty: a blank field
      {"secret", true, {}, loading, 0},        // set: never asked
      {std::nullopt, false, {}, loading, 0},   // nobody to ask: the profile's default
      {std::nullopt, true, {""}, loading, 1},  // Enter keeps the default
      {std::nullopt, true, {"  "}, blank, 1},  // blanks are no password
  };
  for (const auto& c : cases) {
    environment.clear();
    if (c.variable) environment["UPDATER_SYSTEM_PASSWORD"] = *c.variable;
    terminal.interactive = c.interactive;
    terminal.lines.assign(c.typed.begin(), c.typed.end());
    terminal.secret_reads = 0;
    err.str("");
    EXPECT_EQ(Run({"--folder", product, "shutdown"}), kExitFailed);
    EXPECT_EQ(err.str().rfind(c.failure, 0), 0u) << err.str();
    EXPECT_EQ(terminal.secret_reads, c.secret_reads);
  }
}

TEST_F(RunConsoleTest, TheServiceCommandsUseTheServerDetectedAtStartUp) {
  const std::string root = platform::IncludeTrailingDelimiter(temp.MakeFolder("FB"));
  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\BrenvikFireXBirdServer";
  fake.registry.SetString(key, "ImagePath",
                          root + "bin" + platform::PathDelimiter() + "fb_inet_srvmrlx.exe");
  fake.services.AddService("BrenvikFireXBirdServer", {.process_name = "fb_inet_srvmrlx.exe"},
                           platform::kServiceRunning);
  fake.processes.Add("fb_inet_srvmrlx.exe");

  EXPECT_EQ(Run({"service-stop"}), kExitDone);
  EXPECT_EQ(out.str(), "[Updater_Marlix] Служба FireBird остановлена.\n");
  EXPECT_TRUE(fake.processes.RunningNames().empty());
  EXPECT_EQ(Run({"service-start"}), kExitDone);
  EXPECT_EQ(fake.services.StateOf("BrenvikFireXBirdServer"), platform::kServiceRunning);
  EXPECT_EQ(err.str(), "");

  // A registration the detection cannot read: reported with the advice,
  // and the command then has no server to stop.
  fake.registry.SetString(key, "ImagePath", root + "bin" + platform::PathDelimiter() + "x.exe");
  out.str("");
  EXPECT_EQ(Run({"service-stop"}), kExitFailed);
  EXPECT_EQ(err.str(),
            "[Updater_Marlix] Тип сервера FB определить не удалось.\n"
            "Возможно, сервер Firebird не отвечает, поврежден или установлен\n"
            "сторонним разработчиком. Закройте Updater, перезагрузите\n"
            "компьютер и повторите запуск программы.\n\n"
            "Если ошибка повторится - обратитесь к разработчику.\n"
            "[Updater_Marlix] Невозможно остановить службу FireBird-сервера. Попробуйте "
            "перезагрузить компьютер и снова запустить приложение.\n");
  EXPECT_EQ(fake.services.StateOf("BrenvikFireXBirdServer"), platform::kServiceRunning);
}

TEST_F(RunConsoleTest, VersionNamesTheUpdaterAndWhatItCarriesWithoutStartingUp) {
  EXPECT_EQ(Run({"--version"}), kExitDone);
  EXPECT_EQ(out.str().rfind("Updater_Marlix " UPDATER_VERSION "\n", 0), 0u) << out.str();
  EXPECT_NE(out.str().find("Marlix"), std::string::npos);
  EXPECT_EQ(LogFiles(), 0u);
}

// The update command on a client-only product of the fake platform, whose
// payload a stand-in program unpacks.
class UpdateCommandTest : public ::testing::Test {
 protected:
  UpdateCommandTest() : f(temp.path()) {
    f.fake.processes.own_executable = platform::JoinPath(temp.MakeFolder("bin"), "Updater_Marlix");
    f.InstallClientPart("[Language]\r\nProgram_Language=3\r\n");
    f.PayloadClientFiles();
    f.RegisterPayload();
  }

  int Run(const std::vector<std::string>& arguments) {
    return RunConsole(arguments, f.platform, {out, err, terminal}, LookupIn(environment));
  }

  testing::TempFolder temp;
  testing::UpdateFixture f;
  ScriptedTerminal terminal;
  std::map<std::string, std::string> environment;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(UpdateCommandTest, RunsTheUpdateAndShowsItsOutcomeAsTheWindowDoes) {
  EXPECT_EQ(Run({"update", "--folder", f.product, "--answer", "yes"}), kExitDone) << err.str();
  EXPECT_EQ(testing::ReadBytes(
                platform::JoinPath(platform::JoinPath(f.product, "Program"), "Marlix.chm")),
            "new DE_Marlix.chm");
  const std::string text = out.str();
  const size_t busy = text.find("** Идет обновление...\n");
  const size_t done =
      text.find("** Обновление прошло успешно.\n** Завершите работу с программой.\n");
  const size_t entry = text.find(": Обновление прошло успешно. Завершите работу с программой.\n");
  const size_t times = text.find("Время этапов, с (в скобках: из них фиксированные паузы):\n");
  EXPECT_LT(busy, done) << text;
  EXPECT_LT(done, entry) << text;
  EXPECT_LT(entry, times) << text;
  EXPECT_NE(text.find("  Обновление клиентской части: "), std::string::npos) << text;
  EXPECT_EQ(err.str(), "");
}

TEST_F(UpdateCommandTest, ANoAtTheConfirmationIsAnInterruptedUpdate) {
  EXPECT_EQ(Run({"update", "--folder", f.product, "--answer", "no"}), kExitAbandoned);
  EXPECT_NE(out.str().find("** Обновление прервано!\n"), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find("Время этапов"), std::string::npos);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(testing::ReadBytes(
                platform::JoinPath(platform::JoinPath(f.product, "Program"), "Marlix.exe")),
            "old program");
}

TEST_F(UpdateCommandTest, TheAdmnPasswordComesFromTheEnvironmentOrTheTerminalNeverTheLine) {
  testing::WriteBytes(platform::JoinPath(platform::JoinPath(f.product, "DB_Data"), "Marlix.fdb"),
                      "db");
  // Asked after the system password, both without echo.
  terminal.interactive = true;
  terminal.lines = {"", "", "n"};
  EXPECT_EQ(Run({"update", "--folder", f.product}), kExitAbandoned);
  EXPECT_EQ(terminal.secret_reads, 2);
  EXPECT_LT(out.str().find("Системный пароль (Enter: по умолчанию): "),
            out.str().find("Пароль пользователя ADMN (Enter: по умолчанию): "));

  // An empty one from the environment is an empty field: refused after the
  // confirmation, before anything is touched.
  environment["UPDATER_ADMN_PASSWORD"] = "";
  terminal.secret_reads = 0;
  EXPECT_EQ(Run({"update", "--folder", f.product, "--answer", "yes"}), kExitFailed);
  EXPECT_EQ(terminal.secret_reads, 1);
  EXPECT_NE(err.str().find("[Updater_Marlix] Не задан пароль пользователя ADMN!\n"),
            std::string::npos)
      << err.str();
}

TEST_F(UpdateCommandTest, RecoverRestoresAnInterruptedUpdateOnlyWhenAnsweredYes) {
  const std::string program =
      platform::JoinPath(platform::JoinPath(f.product, "Program"), "Marlix.exe");
  // A run cut short in its client part, after its backup.
  UpdateRun& run = f.StartRun();
  f.phases.StageAndBackup(run);
  update_steps::EnterJournalPhase(run, JournalPhase::kClientPart);
  f.phases.UpdateClientPart(run);
  ASSERT_EQ(testing::ReadBytes(program), "new Marlix.exe");

  EXPECT_EQ(Run({"recover", "--folder", f.product, "--answer", "no"}), kExitAbandoned);
  EXPECT_EQ(testing::ReadBytes(program), "new Marlix.exe");
  EXPECT_NE(out.str().find("Обнаружено незавершенное обновление программы от " +
                           StampText(run.Context.TimeStamp)),
            std::string::npos)
      << out.str();

  EXPECT_EQ(Run({"recover", "--folder", f.product, "--answer", "yes"}), kExitDone) << err.str();
  EXPECT_EQ(testing::ReadBytes(program), "old program");

  out.str("");
  EXPECT_EQ(Run({"recover", "--folder", f.product, "--answer", "yes"}), kExitDone) << err.str();
  EXPECT_NE(out.str().find("Прерванных обновлений в каталоге \"" + f.product + "\" не обнаружено."),
            std::string::npos)
      << out.str();
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace updater::console
