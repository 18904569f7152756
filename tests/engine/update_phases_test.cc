// The phases of the product's update run that need no database: the client
// part, the lock check, staging and backup, the removal of the payload and
// the rollback, on real folders over the fake platform. The end state on
// disk is what is checked.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/failures.h"
#include "engine/uUpdate_steps.h"
#include "engine/update_fixture.h"
#include "fsutil/backup_restore.h"
#include "fsutil/uWexrRout.h"
#include "platform/paths.h"
#include "support/failure_of.h"
#include "support/helper_process.h"
#include "support/under_wine.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using testing::FailureOf;
using testing::FolderNames;
using testing::FsPath;
using testing::ReadBytes;
using testing::WriteBytes;

std::string WithoutBlankLines(std::string text) {
  for (size_t at; (at = text.find("\r\n\r\n")) != std::string::npos;) text.erase(at, 2);
  return text;
}

class UpdatePhasesTest : public ::testing::Test {
 protected:
  UpdatePhasesTest() : f(temp.path()) {}

  std::string In(const std::string& folder, const std::string& name) const {
    return platform::JoinPath(folder, name);
  }
  std::string Program(const std::string& name) const { return In(In(f.product, "Program"), name); }
  std::string DbData(const std::string& name) const { return In(In(f.product, "DB_Data"), name); }
  std::string Library() const { return In(In(f.server_root, "udf"), "wexr_udf_u8.dll"); }
  // A run of both parts that completed its backup and was cut short in its
  // client part, with the database, a file beside it and the server library
  // changed.
  UpdateRun& CutShortInTheClientPart() {
    std::filesystem::remove_all(testing::FsPath(f.product));
    f.InstallClientPart();
    InstallServerFiles();
    f.PayloadClientFiles();
    WriteBytes(Library(), "old library");
    UpdateRun& run = f.StartRun();
    f.phases.StageAndBackup(run);
    update_steps::EnterJournalPhase(run, JournalPhase::kClientPart);
    f.phases.UpdateClientPart(run);
    WriteBytes(DbData("Marlix.fdb"), "new database");
    WriteBytes(DbData("added.txt"), "added");
    WriteBytes(Library(), "new library");
    WriteBytes(In(run.Context.OldOtherDir, EncodeBackupName(Library())), "old library");
    return run;
  }
  void InstallServerFiles() {
    WriteBytes(DbData("Marlix.fdb"), "old database");
    WriteBytes(DbData("notes.txt"), "customer's notes");
  }
  std::vector<std::string> Messages() const { return f.ui.transcript.ScreenMessages(); }

  testing::TempFolder temp;
  testing::UpdateFixture f;
};

// --- Client part -------------------------------------------------------------

TEST_F(UpdatePhasesTest, TheClientPartInstallsTheProgramAndTheHelpFileOfItsLanguage) {
  const struct {
    const char* ini;
    const char* help;
    const char* ini_after;
  } cases[] = {
      {"[Language]\r\nProgram_Language=1\r\n", "RU_Marlix.chm", nullptr},
      {"[Language]\r\nProgram_Language=2\r\n", "EN_Marlix.chm", nullptr},
      {"[Main]\r\nX=1\r\n[Language]\r\nProgram_Language=3\r\n", "DE_Marlix.chm", nullptr},
      {"[Language]\r\nProgram_Language=0x4\r\n", "FR_Marlix.chm", nullptr},
      // Without the section the program is Russian, and the file says so.
      {"[Main]\r\nX=1\r\n", "RU_Marlix.chm",
       "[Main]\r\nX=1\r\n\r\n[Language]\r\nProgram_Language=1\r\n"},
  };
  f.PayloadClientFiles();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    f.InstallClientPart(c.ini);
    WriteBytes(Program("storage.ini"), "stored");
    UpdateRun& run = f.StartRun();
    f.phases.StageAndBackup(run);
    f.phases.UpdateClientPart(run);
    EXPECT_EQ(ReadBytes(Program("Marlix.exe")), "new Marlix.exe");
    EXPECT_EQ(ReadBytes(Program("Marlix.chm")), std::string("new ") + c.help);
    EXPECT_EQ(ReadBytes(Program("storage.ini")), "<missing>");
    // Windows' ini writer puts a blank line before a section it adds, Wine's
    // does not: either is the same file to the program.
    EXPECT_EQ(WithoutBlankLines(ReadBytes(Program("Marlix.ini"))),
              WithoutBlankLines(c.ini_after ? c.ini_after : c.ini));
    // The backup holds the program as it was.
    EXPECT_EQ(ReadBytes(In(run.Context.OldProgramDir, "Marlix.exe")), "old program");
    f.fake.clock.Advance(1000);
  }
}

TEST_F(UpdatePhasesTest, TheClientPartStopsAtWhatItCannotDo) {
  f.PayloadClientFiles();
  const struct {
    const char* name;
    std::string ini;  // empty: no settings file
    std::function<void()> before;
    std::string failure;
  } cases[] = {
      {"no settings file", "", nullptr, "Не найден файл [" + Program("Marlix.ini") + "]!"},
      {"language 0", "[Language]\r\nProgram_Language=0\r\n", nullptr,
       "Невозможно определить язык программы!"},
      {"language 5", "[Language]\r\nProgram_Language=5\r\n", nullptr,
       "Невозможно определить язык программы!"},
      {"not a number", "[Language]\r\nProgram_Language=ru\r\n", nullptr,
       "Невозможно определить язык программы!"},
      {"no key in the section", "[Language]\r\nOther=1\r\n", nullptr,
       "Невозможно определить язык программы!"},
      {"storage.ini held", "[Language]\r\nProgram_Language=1\r\n",
       [&] { f.fake.files.FailEvery(testing::FileCall::kRemoveFile); },
       "Невозможно удалить файл " + Program("storage.ini") + "!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(FsPath(In(f.product, "Program")));
    f.InstallClientPart(c.ini);
    if (c.ini.empty()) fs::remove(FsPath(Program("Marlix.ini")));
    WriteBytes(Program("storage.ini"), "stored");
    UpdateRun& run = f.StartRun();
    f.phases.StageAndBackup(run);
    if (c.before) c.before();
    EXPECT_EQ(FailureOf([&] { f.phases.UpdateClientPart(run); }), c.failure);
    EXPECT_EQ(ReadBytes(Program("Marlix.exe")), "old program");
    f.fake.files.Heal();
    f.fake.clock.Advance(1000);
  }
}

TEST_F(UpdatePhasesTest, AProgramOrHelpFileThatCannotBeInstalledFailsTheUpdate) {
  f.InstallClientPart("[Language]\r\nProgram_Language=4\r\n");
  f.PayloadFile("Marlix.exe", "new program");  // the French help file is missing
  UpdateRun& run = f.StartRun();
  f.phases.StageAndBackup(run);
  const std::string failure = FailureOf([&] { f.phases.UpdateClientPart(run); });
  EXPECT_EQ(failure.rfind("Невозможно скопировать файл " + In(run.Context.NewDir, "FR_Marlix.chm") +
                              " в " + Program("Marlix.chm") + "!\r",
                          0),
            0u)
      << failure;

  // Copied but not written through to the disk is not installed either: a
  // power loss would leave the program broken with the journal gone.
  f.fake.clock.Advance(1000);
  f.PayloadFile("FR_Marlix.chm", "new help");
  UpdateRun& next = f.StartRun();
  f.phases.StageAndBackup(next);
  f.fake.files.FailEvery(testing::FileCall::kFlushToDisk, Program("Marlix.exe"));
  const std::string unflushed = FailureOf([&] { f.phases.UpdateClientPart(next); });
  EXPECT_EQ(unflushed.rfind("Невозможно скопировать файл " + In(next.Context.NewDir, "Marlix.exe") +
                                " в " + Program("Marlix.exe") + "!\r",
                            0),
            0u)
      << unflushed;
}

// --- Lock check, staging and backup -----------------------------------------

TEST_F(UpdatePhasesTest, StagingUnpacksThePayloadAndBacksUpTheInstalledParts) {
  f.InstallClientPart();
  InstallServerFiles();
  f.PayloadClientFiles();
  UpdateRun& run = f.StartRun();
  f.phases.StageAndBackup(run);
  const UpdateContext& c = run.Context;
  EXPECT_EQ(FolderNames(c.TmpDir), (std::vector<std::string>{"New/", "Old/", "Update.journal"}));
  // The backup is on record as complete before the update proper may begin.
  const JournalReading journal = ReadJournal(f.platform.files, c.TmpDir);
  ASSERT_TRUE(journal.record) << journal.error;
  EXPECT_TRUE(journal.record->BackupComplete);
  EXPECT_FALSE(journal.record->Finished);
  EXPECT_EQ(FolderNames(c.NewDir),
            (std::vector<std::string>{"DE_Marlix.chm", "EN_Marlix.chm", "FR_Marlix.chm",
                                      "Marlix.exe", "RU_Marlix.chm", "files.exe"}));
  EXPECT_EQ(ReadBytes(In(c.NewDir, "files.exe")), "the payload archive");
  EXPECT_EQ(FolderNames(c.OldDir), (std::vector<std::string>{"DB_Data/", "Program/"}));
  EXPECT_EQ(ReadBytes(In(c.OldDbDataDir, "notes.txt")), "customer's notes");
  EXPECT_EQ(ReadBytes(In(c.OldDbDataDir, "Marlix.fdb")), "old database");
  EXPECT_EQ(ReadBytes(In(c.OldProgramDir, "Marlix.ini")), ReadBytes(Program("Marlix.ini")));
  // Run in NewDir, in a normally shown window, without parameters.
  ASSERT_EQ(f.fake.processes.launches.size(), 1u);
  EXPECT_EQ(f.fake.processes.launches[0].working_folder, c.NewDir);
  EXPECT_EQ(f.fake.processes.launches[0].show_command, 1);
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "Инициализация переменных...", "Завершена инициализация переменных",
                            "Проверка наличия блокировок каталогов/файлов",
                            "Завершена проверка наличия блокировок каталогов/файлов",
                            "Создание временной структуры каталогов.",
                            "Завершено создание временной структуры каталогов.",
                            "Создание резервной копии программы",
                            "Завершено создание резервной копии программы"}));
}

TEST_F(UpdatePhasesTest, AHeldOrBlockedProductFolderFailsTheLockCheckWithNothingMade) {
  f.InstallClientPart();
  const std::string lock_message =
      "Невозможно получить полный доступ к папке " + f.product +
      ".\r\rЗакройте все открытые приложения, в том числе файл-менеджеры (Total Commander, "
      "Проводник, Explorer и т.д.) и повторите обновление.\rТакже проверьте, что данная "
      "программа обновления НЕ расположена в папке " +
      f.product + ".\r\rЕсли ошибка повторяется, ПЕРЕЗАГРУЗИТЕ компьютер!";
  // Wine lets a folder be renamed while a process works in it; Windows and
  // the Linux build do not.
  if (!testing::UnderWine()) {
    // A process working in a sub-folder of the product folder.
    testing::HelperProcess holder(testing::TestHelperPath(), {"cwd", In(f.product, "Program")},
                                  temp.path());
    ASSERT_TRUE(holder.ready());
    UpdateRun& run = f.StartRun();
    EXPECT_EQ(FailureOf([&] { f.phases.StageAndBackup(run); }), lock_message);
    holder.Release();
  }
  // A folder of the product folder's name with "_" already there.
  fs::create_directories(FsPath(f.product + "_"));
  UpdateRun& run = f.StartRun();
  EXPECT_EQ(FailureOf([&] { f.phases.StageAndBackup(run); }), lock_message);
  EXPECT_EQ(FolderNames(f.product), (std::vector<std::string>{"Program/"}));
  EXPECT_TRUE(run.ErrorText.empty());
}

TEST_F(UpdatePhasesTest, AStagingFailureRemovesTheWorkingFolderAndKeepsItsMessage) {
  f.InstallClientPart();
  InstallServerFiles();
  bool links_missing = false;  // a system without symbolic links (Wine)
  bool left_out = false;
  const struct {
    const char* name;
    std::function<void(UpdateRun&)> arrange;
    std::string failure_start;
  } cases[] = {
      {"payload that cannot be started",
       [&](UpdateRun&) { f.fake.processes = testing::FakeProcesses(); },
       "Невозможно запустить внешнюю программу!"},
      {"backup missing a file: a link is not copied",
       [&](UpdateRun&) {
         std::error_code error;
         fs::create_symlink(FsPath(temp.path()), FsPath(DbData("elsewhere")), error);
         links_missing = static_cast<bool>(error);
       },
       "Не удалось создать полную резервную копию программы. Не скопированы:\r" +
           DbData("elsewhere")},
      {"backup copied but not written through to the disk",
       [&](UpdateRun& run) {
         f.fake.files.FailEvery(testing::FileCall::kFlushToDisk,
                                In(run.Context.OldDbDataDir, "Marlix.fdb"));
       },
       "Не удалось записать на диск "},
      {"payload not written: the disk refuses",
       [&](UpdateRun&) { f.fake.files.FailEvery(testing::FileCall::kAppendToFile); },
       "Ошибка работы с ресурсом \"files\"!\rStream write error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateRun& run = f.StartRun();
    c.arrange(run);
    if (links_missing) {
      left_out = true;
      links_missing = false;
      f.fake.clock.Advance(1000);
      continue;
    }
    const std::string failure = FailureOf([&] { f.phases.StageAndBackup(run); });
    EXPECT_EQ(failure.rfind(c.failure_start, 0), 0u) << failure;
    EXPECT_EQ(run.ErrorText, "Exception Message: " + failure);
    EXPECT_EQ(FolderNames(f.product), (std::vector<std::string>{"DB_Data/", "Program/"}));
    EXPECT_EQ(ReadBytes(DbData("Marlix.fdb")), "old database");
    f.fake.files.Heal();
    fs::remove(FsPath(DbData("elsewhere")));
    f.fake.clock.Advance(1000);
  }
  if (left_out) GTEST_SKIP() << "no links on this system: the case of a link was left out";
}

TEST_F(UpdatePhasesTest, AnEarlierRunsBackupOfTheSameSecondIsKept) {
  f.InstallClientPart();
  f.PayloadClientFiles();
  const UpdateContext same_second = f.Context();
  WriteBytes(In(same_second.OldProgramDir, "Marlix.exe"), "the version before the last run");
  UpdateRun& run = f.StartRun();
  f.phases.StageAndBackup(run);
  EXPECT_EQ(ReadBytes(In(same_second.OldProgramDir, "Marlix.exe")),
            "the version before the last run");
  EXPECT_NE(run.Context.TmpDir, same_second.TmpDir);
  EXPECT_EQ(ReadBytes(In(run.Context.OldProgramDir, "Marlix.exe")), "old program");

  // A working folder of the second without a backup is a left-over: it is
  // made afresh.
  f.fake.clock.Advance(1000);
  const UpdateContext left_over = f.Context();
  WriteBytes(In(left_over.NewDir, "stale.txt"), "left over");
  fs::create_directories(FsPath(left_over.OldDir));
  UpdateRun& next = f.StartRun();
  f.phases.StageAndBackup(next);
  EXPECT_EQ(next.Context.TmpDir, left_over.TmpDir);
  EXPECT_EQ(ReadBytes(In(left_over.NewDir, "stale.txt")), "<missing>");
}

// --- Completion and rollback ------------------------------------------------

TEST_F(UpdatePhasesTest, ThePayloadFolderGoesAfterSuccessOrALineSaysWhy) {
  f.InstallClientPart();
  UpdateRun& run = f.StartRun();
  f.phases.StageAndBackup(run);
  f.phases.RemovePayloadFolder(run);
  // The journal stays until the driver ends the run.
  EXPECT_EQ(FolderNames(run.Context.TmpDir), (std::vector<std::string>{"Old/", "Update.journal"}));
  EXPECT_EQ(
      Messages().back(),
      "Временная папка \"" + platform::IncludeTrailingDelimiter(run.Context.NewDir) + "\" удалена");

  f.fake.clock.Advance(1000);
  UpdateRun& next = f.StartRun();
  f.phases.StageAndBackup(next);
  f.fake.files.FailEvery(testing::FileCall::kRemoveFile);
  f.phases.RemovePayloadFolder(next);
  EXPECT_EQ(Messages().back(),
            "Не удалось удалить временную папку: " + next.Context.NewDir +
                ". Попробуйте удалить ее вручную после перезагрузки компьютера.");
}

TEST_F(UpdatePhasesTest, TheRollbackPutsBothPartsAndTheOutsideFilesBack) {
  f.InstallClientPart();
  InstallServerFiles();
  f.PayloadClientFiles();
  UpdateRun& run = f.StartRun();
  f.phases.StageAndBackup(run);
  f.phases.UpdateClientPart(run);
  // What the update did to both parts and outside the product folder.
  WriteBytes(DbData("Marlix.fdb"), "new database");
  WriteBytes(DbData("added.txt"), "added");
  const std::string library = In(In(f.server_root, "udf"), "wexr_udf_u8.dll");
  WriteBytes(library, "new library");
  WriteBytes(In(run.Context.OldOtherDir, EncodeBackupName(library)), "old library");
  run.ErrorText = "Exception Message: earlier";
  f.ui.transcript.events.clear();

  // With its journal, which goes once both parts are back.
  update_steps::RollBackWithJournal(run, f.phases, "Ошибка применения скрипта!");
  EXPECT_TRUE(run.RolledBack);
  EXPECT_EQ(run.ErrorText, "");
  EXPECT_EQ(ReadBytes(Program("Marlix.exe")), "old program");
  EXPECT_EQ(ReadBytes(Program("Marlix.chm")), "<missing>");
  EXPECT_EQ(ReadBytes(DbData("Marlix.fdb")), "old database");
  EXPECT_EQ(ReadBytes(DbData("added.txt")), "<missing>");
  EXPECT_EQ(ReadBytes(DbData("notes.txt")), "customer's notes");
  EXPECT_EQ(ReadBytes(library), "old library");
  EXPECT_EQ(FolderNames(run.Context.TmpDir), std::vector<std::string>{"Old/"});
  EXPECT_EQ(f.ui.transcript.events.front(),
            "Caption: Обновление завершено с ошибками.\rВыполняется откат изменений!");
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{
                "Exception Message: earlier", "\tException Message: Ошибка применения скрипта!",
                "\tОбновление завершено с ошибками. Выполняется откат изменений!",
                "Восстановление каталогов программы из резервной копии.",
                "Завершено восстановление каталогов программы из резервной копии."}));
}

TEST_F(UpdatePhasesTest, TheRollbackReportsEveryFileItCouldNotPutBackAndGoesOn) {
  f.InstallClientPart();
  InstallServerFiles();
  UpdateRun& run = f.StartRun();
  f.phases.StageAndBackup(run);
  WriteBytes(Program("Marlix.exe"), "new program");
  WriteBytes(DbData("Marlix.fdb"), "new database");
  f.fake.files.FailEvery(testing::FileCall::kCopyWholeFile);
  f.phases.RollBack(run, "failed");
  f.fake.files.Heal();
  const std::string message = run.ErrorText;
  EXPECT_EQ(message.rfind("Восстановление каталогов программы завершено с ошибками\r"
                          "Exception Message: ",
                          0),
            0u)
      << message;
  for (const std::string& source :
       {In(run.Context.OldProgramDir, "Marlix.exe"), In(run.Context.OldProgramDir, "Marlix.ini"),
        In(run.Context.OldDbDataDir, "Marlix.fdb"), In(run.Context.OldDbDataDir, "notes.txt")}) {
    EXPECT_NE(message.find("Не удалось восстановить файл: " + source + "\r\n"), std::string::npos)
        << source;
  }
  EXPECT_NE(Messages().back(), "Завершено восстановление каталогов программы из резервной копии.");
}

TEST_F(UpdatePhasesTest, ALogThatFailsDoesNotStopTheRollback) {
  f.InstallClientPart();
  UpdateRun& run = f.StartRun();
  f.phases.StageAndBackup(run);
  WriteBytes(Program("Marlix.exe"), "new program");
  f.ui.log.Open(temp.path());
  f.fake.files.FailEvery(testing::FileCall::kAppendToFile);
  f.phases.RollBack(run, "failed");
  f.fake.files.Heal();
  EXPECT_EQ(ReadBytes(Program("Marlix.exe")), "old program");
  EXPECT_EQ(run.ErrorText, "");
  EXPECT_NE(run.LogFailure.find("Невозможно записать в файл журнала"), std::string::npos)
      << run.LogFailure;
}

TEST_F(UpdatePhasesTest, ALinkedDatabaseFolderStaysALinkThroughTheRollback) {
  f.InstallClientPart();
  const std::string moved = temp.MakeFolder("bigger disk/DB_Data");
  WriteBytes(In(moved, "Marlix.fdb"), "old database");
  std::error_code error;
  fs::create_directory_symlink(FsPath(moved), FsPath(In(f.product, "DB_Data")), error);
  if (error) GTEST_SKIP() << "no links on this system";
  UpdateRun& run = f.StartRun();
  ASSERT_TRUE(run.Context.HasServerPart);
  f.phases.StageAndBackup(run);
  WriteBytes(In(moved, "Marlix.fdb"), "new database");
  f.phases.RollBack(run, "failed");
  EXPECT_EQ(run.ErrorText, "");
  EXPECT_TRUE(fs::is_symlink(FsPath(In(f.product, "DB_Data"))));
  EXPECT_EQ(ReadBytes(In(moved, "Marlix.fdb")), "old database");
}

// --- An interrupted run at the next start -------------------------------------

// The product's phases, with the closing online step only recorded: these
// tests have no database server (the server tests bring it online).
class OnlineRecorded final : public UpdatePhases {
 public:
  explicit OnlineRecorded(UpdatePhases& phases) : phases_(phases) {}
  void PrepareServer(UpdateRun& run) override { phases_.PrepareServer(run); }
  void StageAndBackup(UpdateRun& run) override { phases_.StageAndBackup(run); }
  void RebuildDatabase(UpdateRun& run) override { phases_.RebuildDatabase(run); }
  void UpdateServerPart(UpdateRun& run) override { phases_.UpdateServerPart(run); }
  void UpdateClientPart(UpdateRun& run) override { phases_.UpdateClientPart(run); }
  void RollBack(UpdateRun& run, const std::string& message) override {
    phases_.RollBack(run, message);
  }
  void RemovePayloadFolder(UpdateRun& run) override { phases_.RemovePayloadFolder(run); }
  bool BringDatabaseOnlineAtEnd(UpdateRun&) override {
    ++online;
    return true;
  }
  int online = 0;

 private:
  UpdatePhases& phases_;
};

TEST_F(UpdatePhasesTest, AnInterruptedRunIsFoundAtTheNextStartAndRestoredOnlyWhenAskedTo) {
  const std::string library = Library();
  const struct {
    const char* name;
    bool backup_complete;
    const char* journal_cut;  // non-null: the journal holds only this much of itself
    bool other_folder;        // the journal names another product folder
    PromptAnswer answer;
    std::string outcome;
    bool asked, restored, journal_left;
    const char* backup_lost = nullptr;  // removed from the backup after the crash
  } cases[] = {
      {"yes", true, nullptr, false, PromptAnswer::Yes, "ok", true, true, false},
      {"no", true, nullptr, false, PromptAnswer::No, "silent", true, false, true},
      {"backup not complete", false, nullptr, false, PromptAnswer::Yes, "ok", false, false, false},
      {"journal cut short", true, "Updater_Marlix update journal\r\nstamp=0302260", false,
       PromptAnswer::Yes, "failure", false, false, true},
      {"journal of another folder", true, nullptr, true, PromptAnswer::Yes, "failure", false, false,
       true},
      {"backup of the program gone", true, nullptr, false, PromptAnswer::Yes, "failure", false,
       false, true, "Program"},
      {"backup of the database gone", true, nullptr, false, PromptAnswer::Yes, "failure", false,
       false, true, "DB_Data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateRun& run = CutShortInTheClientPart();
    if (!c.backup_complete) {
      JournalRecord record = *run.Journal;
      record.BackupComplete = false;
      ASSERT_TRUE(WriteJournal(f.platform.files, run.Context.TmpDir, record));
    }
    const std::string journal = In(run.Context.TmpDir, kJournalFileName);
    if (c.journal_cut) WriteBytes(journal, c.journal_cut);
    if (c.backup_lost) std::filesystem::remove_all(FsPath(In(run.Context.OldDir, c.backup_lost)));
    if (c.other_folder) {
      JournalRecord record = *run.Journal;
      record.ProgramPath = "C:\\WEXR\\Marlix";
      ASSERT_TRUE(WriteJournal(f.platform.files, run.Context.TmpDir, record));
    }
    const std::string stamp = StampText(run.Context.TimeStamp);
    f.ui.transcript.events.clear();

    // The next start, a second later.
    f.fake.clock.Advance(1000);
    f.ui.prompt.answers = {c.answer};
    OnlineRecorded phases(f.phases);
    const RecoveryOutcome recovery = RecoverInterruptedUpdates(
        f.request, f.fields.Profile, f.server, f.platform, f.ui.front, phases);
    const std::string outcome = testing::OutcomeText(recovery.outcome);
    EXPECT_EQ(outcome.substr(0, c.outcome.size()), c.outcome) << outcome;
    EXPECT_EQ(recovery.found, 1);

    const std::vector<std::string> boxes = f.ui.transcript.Boxes();
    if (c.asked) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0], "AskYesNo: Обнаружено незавершенное обновление программы от " + stamp +
                              " в каталоге \"" + f.product +
                              "\": обновление было прервано на этапе \"обновление клиентской "
                              "части\".\rВосстановить предыдущую версию программы из резервной "
                              "копии?");
    } else {
      EXPECT_TRUE(boxes.empty());
    }
    if (c.backup_lost) {
      EXPECT_NE(outcome.find("Резервная копия программы для прерванного обновления от " + stamp +
                             " неполна, не найдено:\r" + In(run.Context.OldDir, c.backup_lost)),
                std::string::npos)
          << outcome;
    }
    if (c.journal_cut || c.other_folder) {
      // Reported with where the backup is, never guessed at.
      EXPECT_NE(outcome.find("Не удается прочитать журнал прерванного обновления от " + stamp),
                std::string::npos);
      EXPECT_NE(outcome.find(run.Context.OldDir), std::string::npos);
      if (c.other_folder) {
        EXPECT_NE(outcome.find("журнал относится к каталогу \"C:\\WEXR\\Marlix\""),
                  std::string::npos)
            << outcome;
      }
    }
    EXPECT_EQ(ReadBytes(Program("Marlix.exe")), c.restored ? "old program" : "new Marlix.exe");
    EXPECT_EQ(ReadBytes(DbData("Marlix.fdb")), c.restored ? "old database" : "new database");
    EXPECT_EQ(ReadBytes(DbData("added.txt")), c.restored ? "<missing>" : "added");
    EXPECT_EQ(ReadBytes(DbData("notes.txt")), "customer's notes");
    EXPECT_EQ(ReadBytes(library), c.restored ? "old library" : "new library");
    EXPECT_EQ(phases.online, c.restored ? 1 : 0);
    EXPECT_EQ(std::filesystem::exists(testing::FsPath(journal)), c.journal_left);
    // The backup itself is kept, as after any run.
    if (!c.backup_lost) {
      EXPECT_EQ(ReadBytes(In(run.Context.OldProgramDir, "Marlix.exe")), "old program");
    }
    if (!c.backup_complete) {
      EXPECT_EQ(Messages().back(), "Обновление программы от " + stamp +
                                       " было прервано до завершения резервной копии. Программа "
                                       "не изменялась, восстановление не требуется.");
    }
    if (c.restored) {
      EXPECT_EQ(Messages().back(),
                "Предыдущая версия программы восстановлена после прерванного обновления от " +
                    stamp + ".");
      // Nothing is left for a later start.
      f.ui.transcript.events.clear();
      EXPECT_EQ(RecoverInterruptedUpdates(f.request, f.fields.Profile, f.server, f.platform,
                                          f.ui.front, phases)
                    .found,
                0);
    }
    f.fake.clock.Advance(1000);
  }
}

TEST_F(UpdatePhasesTest, ARestoreThatFailsIsOfferedAgainAtTheNextStart) {
  UpdateRun& run = CutShortInTheClientPart();
  OnlineRecorded phases(f.phases);
  const auto recover = [&] {
    return RecoverInterruptedUpdates(f.request, f.fields.Profile, f.server, f.platform, f.ui.front,
                                     phases);
  };
  // Put back but not written through to the disk counts as not put back.
  f.fake.files.FailEvery(testing::FileCall::kFlushToDisk, Program("Marlix.exe"));
  const RecoveryOutcome unflushed = recover();
  f.fake.files.Heal();
  EXPECT_NE(unflushed.outcome.Message.find("Не удалось записать на диск " + Program("Marlix.exe")),
            std::string::npos)
      << unflushed.outcome.Message;
  EXPECT_EQ(phases.online, 1);
  phases.online = 0;

  f.fake.files.FailEvery(testing::FileCall::kCopyWholeFile, Program("Marlix.exe"));
  const RecoveryOutcome failed = recover();
  f.fake.files.Heal();
  EXPECT_EQ(failed.outcome.end, UpdateOutcome::End::kFailed);
  EXPECT_NE(failed.outcome.Message.find("Восстановление каталогов программы завершено с ошибками"),
            std::string::npos)
      << failed.outcome.Message;
  // As after the run's own rollback, the database is brought online whatever
  // the restore left.
  EXPECT_EQ(phases.online, 1);
  const JournalReading left = ReadJournal(f.platform.files, run.Context.TmpDir);
  ASSERT_TRUE(left.record) << left.error;
  EXPECT_EQ(left.record->Phase, JournalPhase::kRollback);
  EXPECT_FALSE(left.record->Finished);

  const RecoveryOutcome second = recover();
  EXPECT_EQ(testing::OutcomeText(second.outcome), "ok");
  EXPECT_EQ(ReadBytes(Program("Marlix.exe")), "old program");
  EXPECT_EQ(ReadBytes(DbData("Marlix.fdb")), "old database");
  EXPECT_EQ(ReadBytes(Library()), "old library");
  EXPECT_EQ(phases.online, 2);
  EXPECT_FALSE(ReadJournal(f.platform.files, run.Context.TmpDir).found);
}

TEST_F(UpdatePhasesTest, AServiceLeftStoppedIsStartedBeforeTheDatabaseComesOnline) {
  const std::string& service = f.server.ServiceName;
  for (bool stopped : {true, false}) {
    SCOPED_TRACE(stopped);
    UpdateRun& run = CutShortInTheClientPart();
    update_steps::EnterJournalPhase(run, JournalPhase::kServerPart);
    if (stopped) {
      ASSERT_TRUE(StopServiceAndWait(f.platform, "", service));
    }
    const int starts = f.fake.services.StartCount(service);
    OnlineRecorded phases(f.phases);
    const RecoveryOutcome recovery = RecoverInterruptedUpdates(
        f.request, f.fields.Profile, f.server, f.platform, f.ui.front, phases);
    EXPECT_EQ(testing::OutcomeText(recovery.outcome), "ok");
    EXPECT_EQ(f.fake.services.StateOf(service), platform::kServiceRunning);
    // A running service is left alone.
    EXPECT_EQ(f.fake.services.StartCount(service), starts + (stopped ? 1 : 0));
    EXPECT_EQ(ReadBytes(Library()), "old library");
    EXPECT_EQ(phases.online, 1);
    f.fake.clock.Advance(1000);
  }
}

}  // namespace
}  // namespace updater
