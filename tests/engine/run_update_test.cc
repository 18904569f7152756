#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "common/failures.h"
#include "engine/uUpdate.h"
#include "engine/uUpdate_lock.h"
#include "engine/update_journal.h"
#include "fsutil/uWexrRout.h"
#include "platform/paths.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using platform::DriveType;
using testing::FakePlatform;
using testing::RecordingFrontEnd;
using testing::TempFolder;
using testing::Transcript;

// Phases that log their name, and fail or decline on request. The rollback and
// the closing online step keep the contract of the real ones: the rollback
// sets RolledBack and leaves the run's failure text in ErrorText; the online
// step appends its failure to ErrorText.
class FakePhases final : public UpdatePhases {
 public:
  explicit FakePhases(Transcript& transcript) : transcript_(transcript) {}

  std::map<std::string, std::string> fail;  // phase name -> failure message
  std::string decline;                      // phase name that raises SilentAbort
  std::string restore_failure;              // non-empty: the rollback's restore fails
  bool online_fails = false;

  std::function<void()> during;  // runs within every phase

  void PrepareServer(UpdateRun& run) override { Step("PrepareServer", run); }
  void StageAndBackup(UpdateRun& run) override { Step("StageAndBackup", run); }
  void RebuildDatabase(UpdateRun& run) override { Step("RebuildDatabase", run); }
  void UpdateServerPart(UpdateRun& run) override { Step("UpdateServerPart", run); }
  void UpdateClientPart(UpdateRun& run) override { Step("UpdateClientPart", run); }
  void RemovePayloadFolder(UpdateRun& run) override { Step("RemovePayloadFolder", run); }

  void RollBack(UpdateRun& run, const std::string& failure_message) override {
    transcript_.events.push_back("phase: RollBack(" + failure_message + ")");
    run.ErrorText = AppendErrorText(run.ErrorText, failure_message);
    run.RolledBack = true;
    run.ErrorText = restore_failure.empty()
                        ? ""
                        : AppendErrorText("Восстановление каталогов программы завершено с ошибками",
                                          restore_failure);
  }

  bool BringDatabaseOnlineAtEnd(UpdateRun& run) override {
    transcript_.events.push_back("phase: BringDatabaseOnlineAtEnd");
    if (!online_fails) return true;
    run.ErrorText = AppendErrorText(run.ErrorText, "online failed");
    return false;
  }

 private:
  void Step(const std::string& name, UpdateRun& run) {
    transcript_.events.push_back("phase: " + name);
    if (during) during();
    if (decline == name) throw SilentAbort();
    if (const auto it = fail.find(name); it != fail.end()) {
      run.ErrorText = AppendErrorText(run.ErrorText, it->second);
      throw UpdateFailure(it->second);
    }
  }

  Transcript& transcript_;
};

class RunUpdateTest : public ::testing::Test {
 protected:
  RunUpdateTest() : ui(fake.files, fake.clock), phases(ui.transcript) {
    ApplyDefaultProfile(fields);
    fake.volumes.AddDrive(temp.path(), DriveType::kFixed);
    product = temp.MakeFolder("Marlix");
    request = {product, "vormelduka", "admn", "Marlix", &ui.log};
  }

  void WithClientPart() { temp.MakeFile("Marlix/Program/Marlix.exe", "exe"); }
  void WithServerPart() { temp.MakeFile("Marlix/DB_Data/Marlix.fdb", "db"); }

  // Runs the update and tells how it ended: "ok", "silent" or "failure: <message>".
  std::string Run() {
    const UpdateOutcome outcome =
        RunUpdate(request, fields.Profile, TFBServParams{}, fake.platform, ui.front, phases);
    rolled_back = outcome.RolledBack;
    return testing::OutcomeText(outcome);
  }

  // The transcript without the context's two log lines and boxes' texts cut
  // to their operation, for checking the order of what happened.
  std::vector<std::string> Steps() const {
    std::vector<std::string> out;
    for (const std::string& event : ui.transcript.events) {
      if (event.find("инициализация переменных") != std::string::npos ||
          event.find("Инициализация переменных") != std::string::npos) {
        continue;
      }
      out.push_back(event.substr(0, event.find(':')));
      if (event.rfind("phase: ", 0) == 0) out.back() = event;
    }
    return out;
  }

  TempFolder temp;
  FakePlatform fake;
  RecordingFrontEnd ui;
  FakePhases phases;
  ProfileFields fields;
  std::string product;
  UpdateRequest request;
  bool rolled_back = true;  // a previous run's flag; every run clears it first
};

TEST_F(RunUpdateTest, ClientOnlyRunSkipsEveryServerStepAndNeedsNoAdmnPassword) {
  WithClientPart();
  request.AdmnPassword = "";
  EXPECT_EQ(Run(), "ok");
  EXPECT_EQ(Steps(),
            (std::vector<std::string>{"AskYesNoFocusNo", "phase: StageAndBackup",
                                      "phase: UpdateClientPart", "phase: RemovePayloadFolder"}));
  EXPECT_FALSE(rolled_back);
}

TEST_F(RunUpdateTest, BothPartsRunEveryPhaseInOrder) {
  WithClientPart();
  WithServerPart();
  EXPECT_EQ(Run(), "ok");
  EXPECT_EQ(Steps(),
            (std::vector<std::string>{
                "AskYesNoFocusNo", "phase: PrepareServer", "phase: StageAndBackup",
                "phase: RebuildDatabase", "phase: UpdateServerPart", "phase: UpdateClientPart",
                "phase: RemovePayloadFolder", "phase: BringDatabaseOnlineAtEnd"}));
}

TEST_F(RunUpdateTest, ConfirmationNamesThePartsAsTyped) {
  const struct {
    bool client, server;
    const char* wording;
  } cases[] = {{true, true, "КЛИЕНТСКАЯ и СЕРВЕРНАЯ части"},
               {true, false, "КЛИЕНТСКАЯ часть"},
               {false, true, "СЕРВЕРНАЯ часть"}};
  for (const auto& c : cases) {
    TempFolder folder;
    fake.volumes.AddDrive(folder.path(), DriveType::kFixed);
    if (c.client) folder.MakeFile("Program/Marlix.exe");
    if (c.server) folder.MakeFile("DB_Data/Marlix.fdb");
    // Typed with a trailing delimiter: the box shows the text as typed.
    request.ProductFolder = platform::IncludeTrailingDelimiter(folder.path());
    ui.transcript.events.clear();
    ui.prompt.answers = {PromptAnswer::No};
    EXPECT_EQ(Run(), "silent");
    EXPECT_EQ(ui.transcript.Boxes(),
              (std::vector<std::string>{"AskYesNoFocusNo: В указанном каталоге: \"" +
                                        request.ProductFolder + "\" - обнаружены " + c.wording +
                                        " программы \"Marlix\"\rПродолжить обновление?"}));
  }
}

TEST_F(RunUpdateTest, FolderWithNeitherPartFailsBeforeAnyQuestion) {
  EXPECT_EQ(Run(), "failure: В каталоге \"" + product +
                       "\" не обнаружено ни КЛИЕНТСКОЙ, ни СЕРВЕРНОЙ частей программы \"Marlix\"");
  EXPECT_TRUE(ui.transcript.Boxes().empty());
}

TEST_F(RunUpdateTest, OnlyYesGoesOnAtTheConfirmation) {
  WithClientPart();
  for (PromptAnswer answer : {PromptAnswer::No, PromptAnswer::Cancel, PromptAnswer::Ok}) {
    ui.transcript.events.clear();
    ui.prompt.answers = {answer};
    EXPECT_EQ(Run(), "silent");
    EXPECT_EQ(Steps(), (std::vector<std::string>{"AskYesNoFocusNo"}));
  }
}

TEST_F(RunUpdateTest, MarlixServerPartNeedsAnAdmnPasswordAfterTheConfirmation) {
  WithServerPart();
  request.AdmnPassword = "";
  EXPECT_EQ(Run(), "failure: Не задан пароль пользователя ADMN!");
  EXPECT_EQ(Steps(), (std::vector<std::string>{"AskYesNoFocusNo"}));

  // The rule is for the exact code "Marlix" only.
  for (const char* code : {"marlix", "TESSAM"}) {
    ui.transcript.events.clear();
    request.ProjectCode = code;
    EXPECT_EQ(Run(), "ok") << code;
  }
}

TEST_F(RunUpdateTest, ServerPreparationFailureEndsTheRunWithNothingElseDone) {
  WithServerPart();
  phases.fail["PrepareServer"] = "Exception Message: service";
  EXPECT_EQ(Run(), "failure: Exception Message: service");
  EXPECT_EQ(Steps(), (std::vector<std::string>{"AskYesNoFocusNo", "phase: PrepareServer"}));

  ui.transcript.events.clear();
  phases.fail.clear();
  phases.decline = "PrepareServer";
  EXPECT_EQ(Run(), "silent");
  EXPECT_EQ(Steps(), (std::vector<std::string>{"AskYesNoFocusNo", "phase: PrepareServer"}));
}

TEST_F(RunUpdateTest, StagingFailureKeepsItsMessageAndStillBringsTheDatabaseOnline) {
  WithServerPart();
  phases.fail["StageAndBackup"] = "Невозможно создать папку X!";
  EXPECT_EQ(Run(), "failure: Невозможно создать папку X!");
  EXPECT_EQ(Steps(),
            (std::vector<std::string>{"AskYesNoFocusNo", "phase: PrepareServer",
                                      "phase: StageAndBackup", "phase: BringDatabaseOnlineAtEnd"}));
  EXPECT_FALSE(rolled_back);
}

TEST_F(RunUpdateTest, UpdateFailureIsShownThenRolledBackAndEndsWithAnEmptyMessage) {
  WithClientPart();
  WithServerPart();
  phases.fail["UpdateClientPart"] = "Невозможно определить язык программы!";
  EXPECT_EQ(Run(), "failure: ");
  EXPECT_EQ(Steps(),
            (std::vector<std::string>{
                "AskYesNoFocusNo", "phase: PrepareServer", "phase: StageAndBackup",
                "phase: RebuildDatabase", "phase: UpdateServerPart", "phase: UpdateClientPart",
                "ShowError", "phase: RollBack(Невозможно определить язык программы!)",
                "phase: BringDatabaseOnlineAtEnd"}));
  EXPECT_EQ(ui.transcript.Boxes().back(), "ShowError: Невозможно определить язык программы!");
  EXPECT_TRUE(rolled_back);
}

TEST_F(RunUpdateTest, FailedRestoreEndsTheRunWithTheRestoreMessage) {
  WithServerPart();
  phases.fail["RebuildDatabase"] = "Ошибка применения скрипта!";
  phases.restore_failure = "Невозможно удалить файл Y!";
  EXPECT_EQ(Run(),
            "failure: Восстановление каталогов программы завершено с ошибками\r"
            "Exception Message: Невозможно удалить файл Y!");
  EXPECT_TRUE(rolled_back);
}

TEST_F(RunUpdateTest, ClosingOnlineFailureReplacesEveryOtherOutcome) {
  WithServerPart();
  phases.online_fails = true;
  EXPECT_EQ(Run(), "failure: Exception Message: online failed");

  // Also in place of a staging failure already on its way out.
  phases.fail["StageAndBackup"] = "staging";
  EXPECT_EQ(Run(), "failure: Exception Message: staging\rException Message: online failed");
}

TEST_F(RunUpdateTest, ASecondRunStartsWithRolledBackCleared) {
  WithServerPart();
  phases.fail["RebuildDatabase"] = "boom";
  EXPECT_EQ(Run(), "failure: ");
  EXPECT_TRUE(rolled_back);

  request.AdmnPassword = "";  // refused early this time
  EXPECT_EQ(Run(), "failure: Не задан пароль пользователя ADMN!");
  EXPECT_FALSE(rolled_back);
}

TEST_F(RunUpdateTest, TheProductFolderIsLockedForTheWholeRunAndFreedHoweverItEnds) {
  WithClientPart();
  const std::string lock = platform::JoinPath(product, kProductFolderLockName);
  fake.processes.own_pid = fake.processes.Add("Updater_Marlix");
  bool held_during_run = false;
  phases.during = [&] { held_during_run = std::filesystem::exists(testing::FsPath(lock)); };
  for (const char* failing : {"", "UpdateClientPart", "StageAndBackup"}) {
    SCOPED_TRACE(failing);
    phases.fail.clear();
    if (*failing != '\0') phases.fail[failing] = "boom";
    held_during_run = false;
    Run();
    EXPECT_TRUE(held_during_run);
    EXPECT_FALSE(std::filesystem::exists(testing::FsPath(lock)));
  }
  ui.prompt.answers = {PromptAnswer::No};
  EXPECT_EQ(Run(), "silent");
  EXPECT_FALSE(std::filesystem::exists(testing::FsPath(lock)));
}

TEST_F(RunUpdateTest, ASecondUpdaterOnTheSameFolderStopsBeforeAskingAnything) {
  WithClientPart();
  const uint32_t first = fake.processes.Add("Updater_Marlix");
  temp.MakeFile("Marlix/Updater.lock",
                "pid=" + std::to_string(first) + "\r\nprogram=Updater_Marlix\r\nstarted=x\r\n");
  fake.processes.own_pid = fake.processes.Add("Updater_Marlix");
  const std::string outcome = Run();
  EXPECT_EQ(outcome.rfind("failure: Обновление программы в каталоге \"" + product +
                              "\" уже выполняется другой программой обновления (процесс " +
                              std::to_string(first) + " Updater_Marlix, начато x).",
                          0),
            0u)
      << outcome;
  EXPECT_TRUE(ui.transcript.Boxes().empty());
  EXPECT_TRUE(std::filesystem::exists(testing::FsPath(temp.Path("Marlix/Updater.lock"))));
}

TEST_F(RunUpdateTest, AnInterruptedEarlierRunIsDealtWithBeforeTheRunAsksAnything) {
  WithClientPart();
  WithServerPart();
  JournalRecord record;
  record.TimeStamp = "020226235959";
  record.ProgramPath = product;
  record.HasServerPart = record.HasClientPart = true;
  record.BackupComplete = true;
  record.Phase = JournalPhase::kDatabase;
  const std::string tmp_dir = temp.MakeFolder("Marlix/Tmp$020226235959");
  temp.MakeFile("Marlix/Tmp$020226235959/Old/Program/Marlix.exe", "exe");
  temp.MakeFile("Marlix/Tmp$020226235959/Old/DB_Data/Marlix.fdb", "db");
  ASSERT_TRUE(WriteJournal(fake.files, tmp_dir, record));

  // Declined: the start stops there, before the update's own question.
  ui.prompt.answers = {PromptAnswer::No};
  EXPECT_EQ(Run(), "silent");
  const auto not_logged = [this] {
    std::vector<std::string> steps = Steps();
    std::erase(steps, "screen");
    return steps;
  };
  EXPECT_EQ(not_logged(), std::vector<std::string>{"AskYesNo"});
  EXPECT_NE(ui.transcript.Boxes()[0].find("от 02.02.26 23:59:59"), std::string::npos);

  // Accepted: restored and brought online, then the update goes on as asked.
  ui.transcript.events.clear();
  EXPECT_EQ(Run(), "ok");
  const std::vector<std::string> steps = not_logged();
  ASSERT_GE(steps.size(), 4u);
  EXPECT_EQ(
      std::vector<std::string>(steps.begin(), steps.begin() + 4),
      (std::vector<std::string>{"AskYesNo",
                                "phase: RollBack(Обновление программы от 02.02.26 23:59:59 было "
                                "прервано на этапе \"формирование базы UTF8\".)",
                                "phase: BringDatabaseOnlineAtEnd", "AskYesNoFocusNo"}));
  EXPECT_FALSE(ReadJournal(fake.files, tmp_dir).found);
}

}  // namespace
}  // namespace updater
