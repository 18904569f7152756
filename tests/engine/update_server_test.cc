// Whole update runs of the product's phases against the real Firebird
// server of the tests, with the service control, the processes and the
// clock faked (the fixed pauses cost nothing) and the payload unpacked by a
// stand-in program: success with both parts or one, and a failure in every
// phase. What is checked is the end state: the files on disk and the
// database, value by value, then the log.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "common/failures.h"
#include "common/load_progress.h"
#include "engine/product_fixture.h"
#include "engine/update_fixture.h"
#include "fsutil/backup_restore.h"
#include "platform/paths.h"
#include "platform/wrappers.h"
#include "support/firebird_server.h"
#include "support/helper_process.h"
#include "support/killed_child.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using testing::ContentOf;
using testing::DatabaseContent;
using testing::DatabaseOnline;
using testing::FillOldDatabase;
using testing::FolderNames;
using testing::FsPath;
using testing::MakeNewDatabase;
using testing::ProductVariant;
using testing::ReadBytes;
using testing::RequireTestServer;
using testing::TestDatabase;
using testing::WriteBytes;
using testing::WritePayloadFiles;

// One installed product on the test server, its update's inputs and what
// its database held before the run.
class Product {
 public:
  Product() : old_database("WIN1251", "Marlix/DB_Data/Marlix.fdb"), f(old_database.Folder(), true) {
    f.fields.Profile.ServerPrefix = RequireTestServer().prefix;
    f.server.ConnectionPrefix = RequireTestServer().prefix;
  }

  // The installed old version and the payload of the new one, as `variant`
  // makes them.
  void Install(const ProductVariant& variant = {}, bool client = true, bool server = true) {
    if (server) {
      FillOldDatabase(old_database.ConnectString(), variant);
      before = ContentOf(old_database.ConnectString());
      WriteBytes(DbData("Readme.txt"), "customer's file");
    } else {
      fs::remove_all(FsPath(In(f.product, "DB_Data")));
    }
    if (client) f.InstallClientPart("[Language]\r\nProgram_Language=2\r\n");
    WriteBytes(In(In(f.server_root, "udf"), "wexr_udf_u8.dll"), "old library");
    Payload(variant);
  }

  void Payload(const ProductVariant& variant) {
    TestDatabase fresh("UTF8", "MARLIX.FDB");
    MakeNewDatabase(fresh.ConnectString(), variant);
    WritePayloadFiles(f.payload, fresh.FilePath(), variant);
  }

  std::string In(const std::string& folder, const std::string& name) const {
    return platform::JoinPath(folder, name);
  }
  std::string DbData(const std::string& name) const { return In(In(f.product, "DB_Data"), name); }
  std::string Program(const std::string& name) const { return In(In(f.product, "Program"), name); }
  std::string Library() const { return In(In(f.server_root, "udf"), "wexr_udf_u8.dll"); }
  // The working folder of the last run.
  std::string TmpDir() const { return tmp_dir; }

  // The old version is installed as it was, its database online and
  // holding every value it held.
  void ExpectOldVersionBackOnline(bool client = true) {
    if (client) {
      EXPECT_EQ(ReadBytes(Program("Marlix.exe")), "old program");
      EXPECT_EQ(ReadBytes(Program("Marlix.chm")), "<missing>");
    }
    EXPECT_EQ(ReadBytes(DbData("Readme.txt")), "customer's file");
    EXPECT_EQ(ReadBytes(Library()), "old library");
    const DatabaseContent after = ContentOf(old_database.ConnectString());
    EXPECT_EQ(after.rows, before.rows);
    EXPECT_EQ(after.generators, before.generators);
    EXPECT_EQ(after.privileges, before.privileges);
    EXPECT_TRUE(DatabaseOnline(old_database.ConnectString()));
  }

  std::string Outcome() {
    tmp_dir = f.Context().TmpDir;
    const UpdateOutcome outcome = f.Run();
    rolled_back = outcome.RolledBack;
    return testing::OutcomeText(outcome);
  }

  std::vector<std::string> Messages() const { return f.ui.transcript.ScreenMessages(); }
  bool Logged(const std::string& message) const {
    const auto messages = Messages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }

  TestDatabase old_database;
  testing::UpdateFixture f;
  DatabaseContent before;
  std::string tmp_dir;
  bool rolled_back = false;
  // What holds the database or the product folder during a run.
  std::unique_ptr<testing::TestAttachment> held;
  std::unique_ptr<testing::HelperProcess> holder;
};

class UpdateRunServerTest : public ::testing::Test, public Product {};

TEST_F(UpdateRunServerTest, BothPartsAreUpdatedWithEveryValueCarriedOver) {
  Install();
  WriteBytes(Program("storage.ini"), "stored");
  ASSERT_EQ(Outcome(), "ok");

  // The client part: the new program and the English help, the settings kept.
  EXPECT_EQ(ReadBytes(Program("Marlix.exe")), "new Marlix.exe");
  EXPECT_EQ(ReadBytes(Program("Marlix.chm")), "new EN_Marlix.chm");
  EXPECT_EQ(ReadBytes(Program("Marlix.ini")), "[Language]\r\nProgram_Language=2\r\n");
  EXPECT_EQ(ReadBytes(Program("storage.ini")), "<missing>");

  // The database: UTF8, every value of the old one, the generator's value,
  // the roles granted again, the new metadata.
  const DatabaseContent after = ContentOf(old_database.ConnectString());
  ASSERT_EQ(after.rows.size(), before.rows.size());
  for (const auto& [table, rows] : before.rows) {
    const auto& new_rows = after.rows.at(table);
    ASSERT_EQ(new_rows.size(), rows.size()) << table;
    for (size_t i = 0; i < rows.size(); ++i) {
      for (const auto& [column, value] : rows[i]) {
        EXPECT_EQ(new_rows[i].at(column), value) << table << "." << column << " row " << i;
      }
    }
  }
  EXPECT_EQ(after.rows.at("CLIENTS").at(0).at("EMAIL"), "<null>");
  EXPECT_EQ(after.generators, before.generators);
  EXPECT_EQ(after.active_triggers, std::vector<std::string>{"ORDERS_BI"});
  EXPECT_EQ(after.constraints,
            (std::vector<std::string>{"FK_ORDERS_CLIENTS FOREIGN KEY", "PK_CLIENTS PRIMARY KEY",
                                      "PK_ORDERS PRIMARY KEY"}));
  // What others than SYSDBA, ADMN and PUBLIC were granted by ADMN or SYSDBA
  // is gone, the roles are granted again, the rest stays.
  const std::vector<std::string> granted = after.privileges;
  const auto has = [&](const std::string& line) {
    return std::find(granted.begin(), granted.end(), line) != granted.end();
  };
  EXPECT_TRUE(has("IVANOV M MANAGER - ADMN 0"));
  EXPECT_TRUE(has("PETROV M MANAGER - ADMN 2"));
  EXPECT_TRUE(has("MANAGER S CLIENTS - SYSDBA 0"));
  EXPECT_TRUE(has("MANAGER S V_CLIENT_ORDERS - SYSDBA 0"));
  EXPECT_TRUE(has("PUBLIC S CLIENTS - SYSDBA 0"));
  EXPECT_TRUE(has("ADMN S ORDERS - SYSDBA 1"));
  for (const std::string& line : granted) {
    EXPECT_TRUE(line.rfind("OLDCLERK ", 0) != 0 || line.rfind("OLDCLERK M ", 0) == 0) << line;
  }
  EXPECT_EQ(after.charset, "UTF8");
  EXPECT_TRUE(DatabaseOnline(old_database.ConnectString()));

  // The server library replaced; the installed one saved for a rollback.
  EXPECT_EQ(ReadBytes(Library()), "new library");
  const std::string tmp = TmpDir();
  EXPECT_EQ(FolderNames(tmp), std::vector<std::string>{"Old/"});
  EXPECT_EQ(FolderNames(In(tmp, "Old")),
            (std::vector<std::string>{"DB_Data/", "Other/", "Program/"}));
  EXPECT_EQ(ReadBytes(In(In(In(tmp, "Old"), "Other"), EncodeBackupName(Library()))), "old library");
  EXPECT_EQ(ReadBytes(In(In(In(tmp, "Old"), "Program"), "Marlix.exe")), "old program");
  EXPECT_EQ(ReadBytes(In(In(In(tmp, "Old"), "DB_Data"), "Readme.txt")), "customer's file");
  EXPECT_EQ(
      FolderNames(f.product),
      (std::vector<std::string>{"DB_Data/", "Program/", fs::path(tmp).filename().string() + "/"}));

  // The log, phase by phase.
  const std::vector<std::string> expected = {
      "Отключение клиентов",
      "Отключение клиентов завершено.",
      "Перевод базы данных в однопользовательский режим (Shutdown)",
      "База данных переведена в однопользовательский режим.",
      "Остановка службы FireBird.",
      "Служба FireBird остановлена.",
      "Проверка свободного места на диске.",
      "Завершена проверка свободного места на диске.",
      "Запуск службы FireBird.",
      "Служба FireBird запущена.",
      "Проверка наличия блокировок каталогов/файлов",
      "Завершена проверка наличия блокировок каталогов/файлов",
      "Создание временной структуры каталогов.",
      "Завершено создание временной структуры каталогов.",
      "Создание резервной копии программы",
      "Завершено создание резервной копии программы",
      "Формирование базы UTF8",
      "Начало загрузки данных",
      "Окончание загрузки данных",
      "Проверено таблиц: 2, строк: 6",
      "Обновление серверной части",
      "Обновление клиентской части",
      "Временная папка \"" + platform::IncludeTrailingDelimiter(In(tmp, "New")) + "\" удалена",
      "Перевод базы данных в многопользовательский режим (OnLine)",
      "База данных переведена в многопользовательский режим."};
  std::vector<std::string> stamped;
  for (const std::string& line : f.ui.screen.lines) {
    // Stamped entries only: the script engine's raw lines have no stamp.
    const size_t stamp = line.find(": ");
    if (line.size() > 2 && std::isdigit(static_cast<unsigned char>(line[0])) &&
        stamp != std::string::npos && line.find(" - ") < stamp) {
      const std::string message = line.substr(stamp + 2);
      if (message.find("нициализац") == std::string::npos) stamped.push_back(message);
    }
  }
  EXPECT_EQ(stamped, expected);
  // Nothing between the two lines of the data load.
  const auto& screen = f.ui.screen.lines;
  const auto begin = std::find_if(screen.begin(), screen.end(), [](const std::string& l) {
    return l.find("Начало загрузки данных") != std::string::npos;
  });
  ASSERT_NE(begin, screen.end());
  EXPECT_NE((begin + 1)->find("Окончание загрузки данных"), std::string::npos);
  // Its progress went to the caption area alone: figures that only grow, up
  // to every table and row of the export's manifest, the display ended once
  // the load was over; never a line of the log.
  const std::vector<LoadProgress>& progress = f.ui.captions.progress;
  ASSERT_FALSE(progress.empty());
  for (size_t i = 1; i < progress.size(); ++i) {
    EXPECT_GE(progress[i].tables_done, progress[i - 1].tables_done);
    EXPECT_GE(progress[i].rows_done, progress[i - 1].rows_done);
  }
  size_t rows = 0;
  for (const auto& [table, table_rows] : before.rows) rows += table_rows.size();
  EXPECT_EQ(progress.back(),
            (LoadProgress{static_cast<int32_t>(before.rows.size()),
                          static_cast<int32_t>(before.rows.size()), static_cast<int64_t>(rows),
                          static_cast<int64_t>(rows)}));
  EXPECT_EQ(f.ui.captions.progress_ended, 1);
  for (const std::string& event : f.ui.transcript.events) {
    for (const LoadProgress& figures : progress) {
      EXPECT_EQ(event.find(LoadProgressText(figures)), std::string::npos) << event;
    }
  }
}

TEST_F(UpdateRunServerTest, OnePartAloneIsUpdatedAlone) {
  Install({}, /*client=*/false, /*server=*/true);
  ASSERT_EQ(Outcome(), "ok");
  EXPECT_EQ(FolderNames(In(TmpDir(), "Old")), (std::vector<std::string>{"DB_Data/", "Other/"}));
  EXPECT_EQ(ContentOf(old_database.ConnectString()).rows.at("ORDERS").size(), 3u);
  EXPECT_FALSE(Logged("Обновление клиентской части"));
}

// A failure in each phase leaves the old version installed, its database
// online and holding every value it held.
struct FailureCase {
  const char* name;
  ProductVariant variant;
  std::function<void(Product&)> arrange;
  std::string outcome_start;
  bool rolled_back;
  std::string box = {};  // the start of a box the operator saw
};

// Runs each case on a product of its own and checks what it left.
void ExpectEachLeavesTheOldVersion(const std::vector<FailureCase>& cases) {
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    Product t;  // each case on a product of its own
    t.Install(c.variant);
    if (c.arrange) c.arrange(t);
    const std::string outcome = t.Outcome();
    t.held.reset();
    if (t.holder) t.holder->Release();
    EXPECT_EQ(outcome.rfind(c.outcome_start, 0), 0u) << outcome;
    EXPECT_EQ(t.rolled_back, c.rolled_back);
    if (!c.box.empty()) {
      const std::vector<std::string> boxes = t.f.ui.transcript.Boxes();
      EXPECT_TRUE(std::any_of(boxes.begin(), boxes.end(), [&](const std::string& box) {
        return box.rfind(c.box, 0) == 0;
      })) << ::testing::PrintToString(boxes);
    }
    if (std::string(c.name) == "too little disk space") {
      // Once when the check failed, once more on the way out.
      EXPECT_NE(
          outcome.find("Для записи файла на диск", outcome.find("Для записи файла на диск") + 1),
          std::string::npos)
          << outcome;
    }
    // A rolled-back run has logged everything itself.
    if (c.rolled_back) {
      EXPECT_EQ(outcome, "failure: ");
    }
    if (std::string(c.name) == "an incomplete backup") fs::remove(FsPath(t.DbData("link")));
    if (std::string(c.name) == "the old database file held at A9") {
      EXPECT_EQ(t.f.fake.files.Injected(), 1) << "the file was never removed";
      const std::vector<std::string> messages = t.Messages();
      const std::string refused = "Невозможно удалить файл " + t.DbData("Marlix.fdb") + "!";
      EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const std::string& m) {
        return m.find(refused) != std::string::npos;
      }));
    }
    t.ExpectOldVersionBackOnline();
    if (c.rolled_back) {
      EXPECT_TRUE(t.Logged("Завершено восстановление каталогов программы из резервной копии."));
      EXPECT_EQ(t.Messages().back(), "База данных переведена в многопользовательский режим.");
    }
  }
}

// The cases that end the run before the product is changed: the operator's
// No, the server preparation, the lock check, staging and backup.
TEST(UpdateRunServer, AFailureBeforeTheUpdateProperChangesNothing) {
  ExpectEachLeavesTheOldVersion(
      {{"the operator's No at the confirmation",
        {},
        [](Product& t) { t.f.ui.prompt.answers = {PromptAnswer::No}; },
        "silent",
        false},
       {"the operator's No at the stop warning",
        {},
        [](Product& t) {
          t.f.ui.prompt.answers = {PromptAnswer::Yes, PromptAnswer::No};
        },
        "silent",
        false},
       {"a folder of the product's name with \"_\"",
        {},
        [](Product& t) { fs::create_directories(FsPath(t.f.product + "_")); },
        "failure: Невозможно получить полный доступ к папке ",
        false},
       {"too little disk space",
        {},
        [](Product& t) { t.f.fake.volumes.AddDrive(t.f.base, platform::DriveType::kFixed, 0); },
        "failure: Exception Message: Для записи файла на диск ",
        false},
       {"a service that does not start again",
        {},
        [](Product& t) {
          testing::FakeServiceBehaviour refusing;
          refusing.refuses_start = true;
          refusing.process_name = t.f.server.ServerExe;
          t.f.fake.services.AddService(t.f.server.ServiceName, refusing, platform::kServiceRunning);
        },
        "failure: Exception Message: Невозможно запустить службу FireBird-сервера.",
        false},
       {"an incomplete backup",
        {},
        [](Product& t) { fs::create_symlink(FsPath(t.f.base), FsPath(t.DbData("link"))); },
        "failure: Не удалось создать полную резервную копию программы. Не скопированы:",
        false},
       {"the operator's No at the attached users (Super Server)",
        {},
        [](Product& t) {
          t.f.server.ServerKind = "SUPER";
          t.held = std::make_unique<testing::TestAttachment>(t.old_database.ConnectString(), "ADMN",
                                                             RequireTestServer().admn_password);
          t.f.ui.prompt.answers = {PromptAnswer::Yes, PromptAnswer::No};
        },
        "silent",
        false,
        "AskYesNo: Программа обновления обнаружила, что к СЕРВЕРНОЙ части обновляемой программы "
        "подключены следующие пользователи: ADMN\r\r"},
       {"the product folder held by a process",
        {},
        [](Product& t) {
          t.holder = std::make_unique<testing::HelperProcess>(
              testing::TestHelperPath(), std::vector<std::string>{"cwd", t.DbData("")}, t.f.base);
        },
        "failure: Невозможно получить полный доступ к папке ",
        false}});
}

// The cases that fail the update proper and roll both parts back.
TEST(UpdateRunServer, AFailureOfTheUpdateProperIsRolledBack) {
  ProductVariant check_version;
  check_version.check_version = "EXECUTE PROCEDURE CHECK_VERSIO(2);\r\n";
  ProductVariant broken_block;
  broken_block.broken_data_block = true;
  ProductVariant refused_row;
  refused_row.new_name_length = 20;
  ProductVariant orphan;
  orphan.orphan_order = true;
  ProductVariant failing_script;
  failing_script.script = "ALTER TABLE NO_SUCH_TABLE ADD X INTEGER;\r\nCOMMIT;\r\n";
  ExpectEachLeavesTheOldVersion(
      {{"a wrong ADMN password",
        {},
        [](Product& t) { t.f.request.AdmnPassword = "wrong"; },
        "failure: ",
        true,
        "ShowError: Вероятно, неправильно задан пароль пользователя ADMN!\r\rОшибка подключения к "
        "базе данных!"},
       {"\"Check_Version.sql\" failing", check_version, nullptr, "failure: ", true,
        "ShowError: Ошибка применения скрипта!\r\rВероятно, имеет место несоответствие между "
        "версией обновления и версией обновляемой базы данных!"},
       {"a failing export block", broken_block, nullptr, "failure: ", true},
       {"a row the new database refuses", refused_row, nullptr, "failure: ", true},
       {"the old database file held at A9",
        {},
        [](Product& t) {
          // Held for a moment: the first deletion fails, the next reaches the disk.
          t.f.fake.files.Inject(
              testing::Fault(testing::FileCall::kRemoveFile).Path(t.DbData("Marlix.fdb")));
        },
        "failure: ",
        true},
       {"failing constraints", orphan, nullptr, "failure: ", true},
       {"a failing \"script.sql\"", failing_script, nullptr, "failure: ", true},
       {"a language value of 5",
        {},
        [](Product& t) {
          WriteBytes(t.Program("Marlix.ini"), "[Language]\r\nProgram_Language=5\r\n");
        },
        "failure: ",
        true}});
}

// Once the export has written "Data.sql" (and the manifest beside it), at
// the next pause of the run (the one after the new database is shut down for
// the load), `doctor` changes the export's files in NewDir.
std::function<void(Product&)> BetweenExportAndLoad(
    std::function<void(const std::string& new_dir)> doctor) {
  return [doctor](Product& t) {
    t.f.fake.clock.after_sleep = [&t, doctor, done = false](size_t) mutable {
      const std::string new_dir = t.In(t.TmpDir(), "New");
      if (done || !fs::exists(FsPath(t.In(new_dir, "Data.sql")))) return;
      done = true;
      doctor(new_dir);
    };
  };
}

// "Data.sql" in `new_dir` with `from` (which it must hold) replaced by `to`.
std::function<void(Product&)> DataScriptWith(const std::string& from, const std::string& to) {
  return BetweenExportAndLoad([from, to](const std::string& new_dir) {
    const std::string path = platform::JoinPath(new_dir, "Data.sql");
    std::string script = ReadBytes(path);
    const size_t at = script.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    script.replace(at, from.size(), to);
    WriteBytes(path, script);
  });
}

// The loaded data is checked against the export's manifest: a load that
// lost or changed anything fails the run, which names each table, and the
// old version comes back.
TEST(UpdateRunServer, ALoadThatDiffersFromTheExportIsRolledBack) {
  const std::string differs =
      "ShowError: Перенесенные данные не совпадают с данными старой базы!\r";
  ExpectEachLeavesTheOldVersion(
      {{"a row dropped",
        {},
        DataScriptWith("INSERT INTO \"ORDERS\" (\"ID\", \"CLIENT_ID\", \"ITEM\", \"PLACED\") "
                       "VALUES (1002,",
                       "-- VALUES (1002,"),
        "failure: ",
        true,
        differs + "Таблица \"ORDERS\": выгружено строк 3, загружено 2"},
       {"a value changed",
        {},
        DataScriptWith("'Smith & Sons'", "'Smith & Sins'"),
        "failure: ",
        true,
        differs + "Таблица \"CLIENTS\": выгружено строк 3, загружено 3, данные отличаются"},
       {"a blob cut short",
        {},
        // The photo of 1,500,000 bytes read as its first 64 KB.
        DataScriptWith(":h00000000_0016E360", ":h00000000_00010000"),
        "failure: ",
        true,
        differs + "Таблица \"CLIENTS\": выгружено строк 3, загружено 3, данные отличаются"},
       {"the manifest missing",
        {},
        BetweenExportAndLoad([](const std::string& new_dir) {
          fs::remove(FsPath(platform::JoinPath(new_dir, "Data.manifest")));
        }),
        "failure: ",
        true,
        "ShowError: Не найден файл "}});
}

// The file system of a run that is killed right after a call for which
// `kill_after` holds, as a crash would end it there.
class KillingFiles final : public platform::FileSystemWrapper {
 public:
  KillingFiles(platform::FileSystem& files,
               std::function<bool(const char* call, const std::string& path)> kill_after)
      : FileSystemWrapper(files), kill_after_(std::move(kill_after)) {}
  platform::Status RemoveFile(const std::string& path) override {
    platform::Status removed = FileSystemWrapper::RemoveFile(path);
    if (removed && kill_after_("RemoveFile", path)) testing::KillThisProcess();
    return removed;
  }
  platform::Status CopyWholeFile(const std::string& source, const std::string& target) override {
    platform::Status copied = FileSystemWrapper::CopyWholeFile(source, target);
    if (copied && kill_after_("CopyWholeFile", target)) testing::KillThisProcess();
    return copied;
  }

 private:
  std::function<bool(const char*, const std::string&)> kill_after_;
};

// The front end's pump of a run that is killed when `kill_now` holds: the
// run pumps after every log line and every statement of a script.
class KillingPump final : public MessagePump {
 public:
  KillingPump(MessagePump& pump, std::function<bool()> kill_now)
      : pump_(pump), kill_now_(std::move(kill_now)) {}
  void ProcessMessages() override {
    pump_.ProcessMessages();
    if (kill_now_()) testing::KillThisProcess();
  }

 private:
  MessagePump& pump_;
  std::function<bool()> kill_now_;
};

TEST(UpdateRunServer, AnUpdateKilledMidwayIsRestoredAtTheNextStart) {
  const struct {
    const char* name;
    JournalPhase phase;  // where the journal says the run was
    std::function<bool(Product&, const char*, const std::string&)> kill_after_call;
    bool kill_in_load;
  } cases[] = {
      {"right after the old database file is deleted", JournalPhase::kDatabase,
       [](Product& t, const char* call, const std::string& path) {
         return std::string(call) == "RemoveFile" && path == t.DbData("Marlix.fdb");
       },
       false},
      {"during the data load", JournalPhase::kDatabase, nullptr, true},
      {"during the client part, the new program copied", JournalPhase::kClientPart,
       [](Product& t, const char* call, const std::string& path) {
         return std::string(call) == "CopyWholeFile" && path == t.Program("Marlix.exe");
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Product t;
    t.Install();
    const std::string tmp_dir = t.f.Context().TmpDir;
    t.f.RegisterPayload();
    const std::string ended = testing::RunInChild([&] {
      KillingFiles files(t.f.platform.files, [&](const char* call, const std::string& path) {
        return c.kill_after_call && c.kill_after_call(t, call, path);
      });
      int pumps_in_load = 0;
      KillingPump pump(t.f.ui.pump, [&] {
        if (!c.kill_in_load) return false;
        const std::vector<std::string> messages = t.Messages();
        // The first pump is the log line's own; the next one is the load's.
        return !messages.empty() && messages.back() == "Начало загрузки данных" &&
               ++pumps_in_load == 2;
      });
      platform::Platform& p = t.f.platform;
      platform::Platform killing{files,       p.volumes,   p.registry,  p.services,
                                 p.processes, p.libraries, p.resources, p.clock};
      FrontEnd front{t.f.ui.log, t.f.ui.prompt, pump, t.f.ui.captions};
      RunUpdate(t.f.request, t.f.fields.Profile, t.f.server, killing, front, t.f.phases);
    });
    ASSERT_EQ(ended, "killed");
    const JournalReading left = ReadJournal(t.f.platform.files, tmp_dir);
    ASSERT_TRUE(left.record) << left.error;
    EXPECT_EQ(left.record->Phase, c.phase);
    EXPECT_TRUE(left.record->BackupComplete);

    // The next start, answered Yes.
    t.f.ui.transcript.events.clear();
    const RecoveryOutcome recovery = RecoverInterruptedUpdates(
        t.f.request, t.f.fields.Profile, t.f.server, t.f.platform, t.f.ui.front, t.f.phases);
    EXPECT_EQ(testing::OutcomeText(recovery.outcome), "ok");
    EXPECT_EQ(recovery.found, 1);
    const std::vector<std::string> boxes = t.f.ui.transcript.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("AskYesNo: Обнаружено незавершенное обновление программы от " +
                                 StampText(left.record->TimeStamp),
                             0),
              0u)
        << boxes[0];
    t.ExpectOldVersionBackOnline();
    EXPECT_EQ(ReadBytes(t.Program("Marlix.ini")), "[Language]\r\nProgram_Language=2\r\n");
    EXPECT_FALSE(ReadJournal(t.f.platform.files, tmp_dir).found);
  }
}

}  // namespace
}  // namespace updater
