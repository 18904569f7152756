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
#include "engine/update_fixture.h"
#include "fsutil/backup_restore.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "scriptengine/fb_database.h"
#include "support/firebird_server.h"
#include "support/helper_process.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using scriptengine::ConnectParams;
using scriptengine::FbDatabase;
using scriptengine::Value;
using testing::FolderNames;
using testing::FsPath;
using testing::ReadBytes;
using testing::RequireTestServer;
using testing::TestDatabase;
using testing::WriteBytes;

std::string Win(const std::string& utf8) { return platform::Utf8ToCp1251(utf8); }

ConnectParams Params(const std::string& database, const std::string& charset,
                     const std::string& user = "SYSDBA") {
  const testing::TestServer& server = RequireTestServer();
  ConnectParams params;
  params.database = database;
  params.user = user;
  params.password = user == "ADMN" ? server.admn_password : server.sysdba_password;
  params.charset = charset;
  return params;
}

void Execute(FbDatabase& db, const std::string& sql, const std::vector<Value>& values = {}) {
  db.Execute(sql, values, true);
}

// How a product differs from the sound one, for the cases that make a step
// fail.
struct Variant {
  std::string check_version = "EXECUTE PROCEDURE CHECK_VERSIO(1);\r\n";
  std::string constraints =
      "ALTER TABLE CLIENTS ADD CONSTRAINT PK_CLIENTS PRIMARY KEY (ID);\r\n"
      "ALTER TABLE ORDERS ADD CONSTRAINT PK_ORDERS PRIMARY KEY (ID);\r\n"
      "ALTER TABLE ORDERS ADD CONSTRAINT FK_ORDERS_CLIENTS FOREIGN KEY (CLIENT_ID) REFERENCES "
      "CLIENTS (ID);\r\n";
  std::string script =
      "ALTER TABLE CLIENTS ADD EMAIL VARCHAR(80);\r\n"
      "CREATE VIEW V_CLIENT_ORDERS (CLIENT_NAME, ITEM) AS SELECT C.NAME, O.ITEM FROM CLIENTS C "
      "JOIN ORDERS O ON O.CLIENT_ID = C.ID;\r\n"
      "GRANT SELECT ON V_CLIENT_ORDERS TO MANAGER;\r\n"
      "COMMIT;\r\n";
  bool broken_data_block = false;
  int new_name_length = 60;   // shorter: a name of the old data is refused
  bool orphan_order = false;  // an order whose client the new constraint wants
};

// The new version's empty database, made once per variant of its schema.
void MakeNewDatabase(const std::string& connect, const Variant& variant) {
  {
    FbDatabase db(platform::SystemPlatform().libraries, Params(connect, "UTF8"));
    Execute(db, "CREATE EXCEPTION E_VERSION 'Версия базы данных не подходит'");
    Execute(db, "CREATE TABLE CLIENTS (ID INTEGER NOT NULL, NAME VARCHAR(" +
                    std::to_string(variant.new_name_length) +
                    "), BALANCE NUMERIC(15,2), BORN DATE, NOTE BLOB SUB_TYPE TEXT, PHOTO BLOB "
                    "SUB_TYPE 0)");
    Execute(db,
            "CREATE TABLE ORDERS (ID INTEGER NOT NULL, CLIENT_ID INTEGER, ITEM VARCHAR(100), "
            "PLACED TIMESTAMP)");
    Execute(db, "CREATE GENERATOR GEN_ORDERS");
    Execute(db,
            "CREATE TRIGGER ORDERS_BI FOR ORDERS INACTIVE BEFORE INSERT AS BEGIN IF (NEW.ID IS "
            "NULL) THEN NEW.ID = GEN_ID(GEN_ORDERS, 1); END");
    Execute(db,
            "CREATE PROCEDURE CHECK_VERSIO (V INTEGER) AS BEGIN IF (V <> 2) THEN EXCEPTION "
            "E_VERSION; END");
    Execute(db, "CREATE ROLE MANAGER");
    Execute(db, "GRANT SELECT ON CLIENTS TO MANAGER");
    Execute(db, "GRANT ALL ON CLIENTS TO ADMN WITH GRANT OPTION");
    Execute(db, "GRANT ALL ON ORDERS TO ADMN WITH GRANT OPTION");
    Execute(db, "GRANT MANAGER TO ADMN WITH ADMIN OPTION");
    Execute(db, "GRANT SELECT ON CLIENTS TO PUBLIC");
    // Left from building the new version: the clean-up removes these.
    Execute(db, "GRANT SELECT ON ORDERS TO OLDCLERK");
    db.Close();
  }
  FbDatabase admn(platform::SystemPlatform().libraries, Params(connect, "UTF8", "ADMN"));
  Execute(admn, "GRANT UPDATE (ITEM) ON ORDERS TO OLDCLERK");
  Execute(admn, "GRANT DELETE ON CLIENTS TO OLDCLERK");
  admn.Close();
}

// The installed old version's database, WIN1251, with data of every kind
// the product keeps.
void FillOldDatabase(const std::string& connect, const Variant& variant) {
  FbDatabase db(platform::SystemPlatform().libraries, Params(connect, "WIN1251"));
  Execute(db, Win("CREATE EXCEPTION E_VERSION 'Версия базы данных не подходит'"));
  Execute(db,
          "CREATE TABLE CLIENTS (ID INTEGER NOT NULL, NAME VARCHAR(60), BALANCE NUMERIC(15,2), "
          "BORN DATE, NOTE BLOB SUB_TYPE TEXT, PHOTO BLOB SUB_TYPE 0, CONSTRAINT PK_CLIENTS "
          "PRIMARY KEY (ID))");
  Execute(db,
          "CREATE TABLE ORDERS (ID INTEGER NOT NULL, CLIENT_ID INTEGER, ITEM VARCHAR(100), "
          "PLACED TIMESTAMP, CONSTRAINT PK_ORDERS PRIMARY KEY (ID))");
  Execute(db, "CREATE GENERATOR GEN_ORDERS");
  Execute(db, "SET GENERATOR GEN_ORDERS TO 1004");
  Execute(db,
          "CREATE PROCEDURE CHECK_VERSIO (V INTEGER) AS BEGIN IF (V <> 1) THEN EXCEPTION "
          "E_VERSION; END");
  Execute(db, "CREATE ROLE MANAGER");
  Execute(db, "GRANT SELECT ON CLIENTS TO MANAGER");
  Execute(db, "GRANT MANAGER TO IVANOV");
  Execute(db, "GRANT MANAGER TO PETROV WITH ADMIN OPTION");
  // A photo over a mebibyte makes the database large enough for the free
  // space check to count it.
  std::string photo;
  for (int i = 0; photo.size() < 1'500'000; ++i) photo += static_cast<char>(i * 7 % 256);
  const char* insert_client =
      "INSERT INTO CLIENTS (ID, NAME, BALANCE, BORN, NOTE, PHOTO) VALUES (?, ?, ?, ?, ?, ?)";
  Execute(db, insert_client,
          {Value::Integer(1), Value::Text(Win("Иванов Пётр")), Value::Integer(1234567, 2),
           Value::Date(scriptengine::DayNumber(1970, 5, 17)),
           Value::Text(Win("Постоянный клиент;\r\nскидка 5% 'всегда'")), Value::Text(photo)});
  Execute(
      db, insert_client,
      {Value::Integer(2),
       Value::Text(Win(variant.new_name_length < 60
                           ? "Общество с ограниченной ответственностью «Ромашка»"
                           : "ООО «Ромашка»")),
       Value::Integer(-5, 2), Value::Null(), Value::Null(), Value::Text(std::string("\0\xFF", 2))});
  Execute(db, insert_client,
          {Value::Integer(3), Value::Text("Smith & Sons"), Value::Integer(0, 2),
           Value::Date(scriptengine::DayNumber(2001, 12, 31)), Value::Text(""), Value::Null()});
  const char* insert_order = "INSERT INTO ORDERS (ID, CLIENT_ID, ITEM, PLACED) VALUES (?, ?, ?, ?)";
  Execute(db, insert_order,
          {Value::Integer(1001), Value::Integer(1), Value::Text(Win("Стол письменный")),
           Value::Timestamp(scriptengine::DayNumber(2025, 1, 9), 10 * 3600 * 10000)});
  Execute(db, insert_order,
          {Value::Integer(1002), Value::Integer(2), Value::Text(Win("Кресло")), Value::Null()});
  Execute(db, insert_order,
          {Value::Integer(1003), Value::Integer(variant.orphan_order ? 77 : 1), Value::Null(),
           Value::Timestamp(scriptengine::DayNumber(2026, 2, 1), 1)});
  db.Close();
}

// What a database holds, as texts to compare: every row of every user table
// (by column name), the generators' values, the roles and the privileges.
struct Content {
  std::map<std::string, std::vector<std::map<std::string, std::string>>> rows;
  std::map<std::string, std::string> generators;
  std::vector<std::string> privileges;  // "user privilege object field grantor option"
  std::vector<std::string> active_triggers;
  std::vector<std::string> constraints;
};

std::string CellText(scriptengine::Cursor& cursor, size_t column) {
  const Value& value = cursor.Get(column);
  if (value.IsNull()) return "<null>";
  if (value.kind != Value::Kind::kBlob) return scriptengine::ValueText(value);
  std::string bytes;
  cursor.ReadBlob(column, [&](std::string_view piece) { bytes.append(piece); });
  return bytes;
}

std::vector<std::string> Lines(FbDatabase& db, const std::string& sql) {
  std::vector<std::string> lines;
  auto cursor = db.Open(sql, {});
  while (cursor->Next()) {
    std::string line;
    for (size_t i = 0; i < cursor->Columns().size(); ++i) {
      line += (i > 0 ? " " : "") + CellText(*cursor, i);
    }
    lines.push_back(line);
  }
  return lines;
}

Content ContentOf(const std::string& connect) {
  FbDatabase db(platform::SystemPlatform().libraries, Params(connect, "WIN1251"));
  Content content;
  for (const scriptengine::Table& table : db.UserTables()) {
    auto cursor = db.ReadTable(table);
    auto& rows = content.rows[table.name];
    while (cursor->Next()) {
      std::map<std::string, std::string> row;
      for (size_t i = 0; i < table.columns.size(); ++i) {
        row[table.columns[i].name] = CellText(*cursor, i);
      }
      rows.push_back(std::move(row));
    }
  }
  for (const std::string& name : Lines(db,
                                       "SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS WHERE "
                                       "COALESCE(RDB$SYSTEM_FLAG, 0) = 0")) {
    content.generators[name] = Lines(db, "SELECT GEN_ID(" + name + ", 0) FROM RDB$DATABASE").at(0);
  }
  content.privileges = Lines(
      db,
      "SELECT TRIM(RDB$USER), TRIM(RDB$PRIVILEGE), TRIM(RDB$RELATION_NAME), "
      "COALESCE(TRIM(RDB$FIELD_NAME), '-'), TRIM(RDB$GRANTOR), RDB$GRANT_OPTION FROM "
      "RDB$USER_PRIVILEGES WHERE RDB$RELATION_NAME NOT STARTING 'RDB$' AND RDB$RELATION_NAME NOT "
      "STARTING 'MON$' AND RDB$RELATION_NAME NOT STARTING 'SEC$' AND RDB$GRANTOR IS NOT NULL AND "
      "RDB$USER <> 'SYSDBA' ORDER BY 1, 2, 3, 4, 5");
  content.active_triggers = Lines(
      db,
      "SELECT TRIM(RDB$TRIGGER_NAME) FROM RDB$TRIGGERS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 "
      "AND RDB$TRIGGER_INACTIVE = 0 ORDER BY 1");
  content.constraints =
      Lines(db,
            "SELECT TRIM(RDB$CONSTRAINT_NAME), TRIM(RDB$CONSTRAINT_TYPE) FROM "
            "RDB$RELATION_CONSTRAINTS WHERE RDB$CONSTRAINT_TYPE IN ('PRIMARY KEY', 'FOREIGN KEY') "
            "ORDER BY 1");
  db.Close();
  return content;
}

// Whether the database takes a user's attachment, as it does online only.
bool Online(const std::string& connect) {
  try {
    FbDatabase db(platform::SystemPlatform().libraries, Params(connect, "WIN1251", "ADMN"));
    db.Close();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

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
  void Install(const Variant& variant = {}, bool client = true, bool server = true) {
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

  void Payload(const Variant& variant) {
    TestDatabase fresh("UTF8", "MARLIX.FDB");
    MakeNewDatabase(fresh.ConnectString(), variant);
    fs::copy_file(FsPath(fresh.FilePath()), FsPath(In(f.payload, "MARLIX.FDB")));
    for (const char* block : {"Sys_Generators.sql", "Sys_Roles.sql", "Sys_Data.sql"}) {
      std::string bytes = ReadBytes(std::string(UPDATER_SOURCE_DIR) + "/sample/payload/" + block);
      if (variant.broken_data_block && std::string(block) == "Sys_Data.sql") {
        bytes += "\r\nthis is not a statement;\r\n";
      }
      f.PayloadFile(block, bytes);
    }
    f.PayloadFile("Check_Version.sql", variant.check_version);
    f.PayloadFile("Meta_Constraints.sql", variant.constraints);
    f.PayloadFile("Triggers_ Active.sql", "ALTER TRIGGER ORDERS_BI ACTIVE;\r\n");
    f.PayloadFile("script.sql", variant.script);
    f.PayloadFile("wexr_udf_u8.dll", "new library");
    f.PayloadClientFiles();
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
    const Content after = ContentOf(old_database.ConnectString());
    EXPECT_EQ(after.rows, before.rows);
    EXPECT_EQ(after.generators, before.generators);
    EXPECT_EQ(after.privileges, before.privileges);
    EXPECT_TRUE(Online(old_database.ConnectString()));
  }

  std::string Outcome() {
    tmp_dir = f.Context().TmpDir;
    const UpdateOutcome outcome = f.Run();
    switch (outcome.end) {
      case UpdateOutcome::End::kSucceeded:
        return "ok";
      case UpdateOutcome::End::kAbandoned:
        return "silent";
      case UpdateOutcome::End::kFailed:
        break;
    }
    return std::string(outcome.RolledBack ? "rolled back: " : "failed: ") + outcome.Message;
  }

  std::vector<std::string> Messages() const { return f.ui.transcript.ScreenMessages(); }
  bool Logged(const std::string& message) const {
    const auto messages = Messages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  }

  TestDatabase old_database;
  testing::UpdateFixture f;
  Content before;
  std::string tmp_dir;
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
  const Content after = ContentOf(old_database.ConnectString());
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
  {
    FbDatabase db(platform::SystemPlatform().libraries,
                  Params(old_database.ConnectString(), "UTF8"));
    EXPECT_EQ(Lines(db, "SELECT RDB$CHARACTER_SET_NAME FROM RDB$DATABASE").at(0).substr(0, 4),
              "UTF8");
    db.Close();
  }
  EXPECT_TRUE(Online(old_database.ConnectString()));

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
TEST(UpdateRunServer, AFailureInAnyStepLeavesTheOldVersionInstalledAndOnline) {
  struct Case {
    const char* name;
    Variant variant;
    std::function<void(Product&)> arrange;
    std::string outcome_start;
    bool rolled_back;
  };
  Variant check_version;
  check_version.check_version = "EXECUTE PROCEDURE CHECK_VERSIO(2);\r\n";
  Variant broken_block;
  broken_block.broken_data_block = true;
  Variant refused_row;
  refused_row.new_name_length = 20;
  Variant orphan;
  orphan.orphan_order = true;
  Variant failing_script;
  failing_script.script = "ALTER TABLE NO_SUCH_TABLE ADD X INTEGER;\r\nCOMMIT;\r\n";
  const std::vector<Case> cases = {
      {"the operator's No at the confirmation",
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
      {"a wrong ADMN password",
       {},
       [](Product& t) { t.f.request.AdmnPassword = "wrong"; },
       "rolled back: ",
       true},
      {"a folder of the product's name with \"_\"",
       {},
       [](Product& t) { fs::create_directories(FsPath(t.f.product + "_")); },
       "failed: Невозможно получить полный доступ к папке ",
       false},
      {"too little disk space",
       {},
       [](Product& t) { t.f.fake.volumes.AddDrive(t.f.base, platform::DriveType::kFixed, 0); },
       "failed: Exception Message: Для записи файла на диск ",
       false},
      {"a service that does not start again",
       {},
       [](Product& t) {
         testing::FakeServiceBehaviour refusing;
         refusing.refuses_start = true;
         refusing.process_name = t.f.server.ServerExe;
         t.f.fake.services.AddService(t.f.server.ServiceName, refusing, platform::kServiceRunning);
       },
       "failed: Exception Message: Невозможно запустить службу FireBird-сервера.",
       false},
      {"an incomplete backup",
       {},
       [](Product& t) { fs::create_symlink(FsPath(t.f.base), FsPath(t.DbData("link"))); },
       "failed: Не удалось создать полную резервную копию программы. Не скопированы:",
       false},
      {"\"Check_Version.sql\" failing", check_version, nullptr, "rolled back: ", true},
      {"a failing export block", broken_block, nullptr, "rolled back: ", true},
      {"a row the new database refuses", refused_row, nullptr, "rolled back: ", true},
      {"failing constraints", orphan, nullptr, "rolled back: ", true},
      {"a failing \"script.sql\"", failing_script, nullptr, "rolled back: ", true},
      {"a language value of 5",
       {},
       [](Product& t) {
         WriteBytes(t.Program("Marlix.ini"), "[Language]\r\nProgram_Language=5\r\n");
       },
       "rolled back: ",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Product t;  // each case on a product of its own
    t.Install(c.variant);
    if (c.arrange) c.arrange(t);
    const std::string outcome = t.Outcome();
    EXPECT_EQ(outcome.rfind(c.outcome_start, 0), 0u) << outcome;
    if (c.rolled_back) {
      EXPECT_EQ(outcome, "rolled back: ");
    }
    if (std::string(c.name) == "an incomplete backup") fs::remove(FsPath(t.DbData("link")));
    t.ExpectOldVersionBackOnline();
    if (c.rolled_back) {
      EXPECT_TRUE(t.Logged("Завершено восстановление каталогов программы из резервной копии."));
      EXPECT_EQ(t.Messages().back(), "База данных переведена в многопользовательский режим.");
    }
  }
}

}  // namespace
}  // namespace updater
