#include "engine/product_fixture.h"

#include <filesystem>

#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "scriptengine/fb_database.h"
#include "support/firebird_server.h"
#include "support/temp_folder.h"

namespace updater::testing {

namespace fs = std::filesystem;
using scriptengine::ConnectParams;
using scriptengine::FbDatabase;
using scriptengine::Value;

namespace {

std::string Win(const std::string& utf8) { return platform::Utf8ToCp1251(utf8); }

void Execute(FbDatabase& db, const std::string& sql, const std::vector<Value>& values = {}) {
  db.Execute(sql, values, true);
}

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

}  // namespace

ConnectParams TestConnection(const std::string& database, const std::string& charset,
                             const std::string& user) {
  const testing::TestServer& server = RequireTestServer();
  ConnectParams params;
  params.database = database;
  params.user = user;
  params.password = user == "ADMN" ? server.admn_password : server.sysdba_password;
  params.charset = charset;
  return params;
}

// The new version's empty database, made once per variant of its schema.
void MakeNewDatabase(const std::string& connect, const ProductVariant& variant) {
  {
    FbDatabase db(platform::SystemPlatform().libraries, TestConnection(connect, "UTF8"));
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
  FbDatabase admn(platform::SystemPlatform().libraries, TestConnection(connect, "UTF8", "ADMN"));
  Execute(admn, "GRANT UPDATE (ITEM) ON ORDERS TO OLDCLERK");
  Execute(admn, "GRANT DELETE ON CLIENTS TO OLDCLERK");
  admn.Close();
}

// The installed old version's database, WIN1251, with data of every kind
// the product keeps.
void FillOldDatabase(const std::string& connect, const ProductVariant& variant) {
  FbDatabase db(platform::SystemPlatform().libraries, TestConnection(connect, "WIN1251"));
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

void WritePayloadFiles(const std::string& folder, const std::string& new_database,
                       const ProductVariant& variant) {
  const auto write = [&](const std::string& name, const std::string& bytes) {
    WriteBytes(platform::JoinPath(folder, name), bytes);
  };
  fs::copy_file(FsPath(new_database), FsPath(platform::JoinPath(folder, "MARLIX.FDB")),
                fs::copy_options::overwrite_existing);
  for (const char* block : {"Sys_Generators.sql", "Sys_Roles.sql", "Sys_Data.sql"}) {
    std::string bytes = ReadBytes(std::string(UPDATER_SOURCE_DIR) + "/sample/payload/" + block);
    if (variant.broken_data_block && std::string(block) == "Sys_Data.sql") {
      bytes += "\r\nthis is not a statement;\r\n";
    }
    write(block, bytes);
  }
  write("Check_Version.sql", variant.check_version);
  write("Meta_Constraints.sql", variant.constraints);
  write("Triggers_ Active.sql", "ALTER TRIGGER ORDERS_BI ACTIVE;\r\n");
  write("script.sql", variant.script);
  write("wexr_udf_u8.dll", "new library");
  for (const char* name :
       {"Marlix.exe", "RU_Marlix.chm", "EN_Marlix.chm", "DE_Marlix.chm", "FR_Marlix.chm"}) {
    write(name, std::string("new ") + name);
  }
}

DatabaseContent ContentOf(const std::string& connect) {
  FbDatabase db(platform::SystemPlatform().libraries, TestConnection(connect, "WIN1251"));
  DatabaseContent content;
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
    std::string quoted = "\"";
    for (const char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    content.generators[name] =
        Lines(db, "SELECT GEN_ID(" + quoted + "\", 0) FROM RDB$DATABASE").at(0);
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
  content.charset = Lines(db, "SELECT TRIM(RDB$CHARACTER_SET_NAME) FROM RDB$DATABASE").at(0);
  db.Close();
  return content;
}

// Whether the database takes a user's attachment, as it does online only.
bool DatabaseOnline(const std::string& connect) {
  try {
    FbDatabase db(platform::SystemPlatform().libraries, TestConnection(connect, "WIN1251", "ADMN"));
    db.Close();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace updater::testing
