// The sample product carried from its old version to the new one on the
// test server, with the scripts of the payload as the database rebuild and
// the server part update run them: the old version installed by
// scripts/sample-product, the export blocks run over WIN1251 with their
// headers rewritten, the data loaded into a copy of the new database, its
// constraints, triggers, generators and roles applied over UTF8, the roles
// exported again from the new database, the server function library put
// into the server's udf folder and the metadata update run. Then every
// value, generator, role and privilege of the old database is compared with
// the new one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "platform/platform.h"
#include "scriptengine/engine_server_support.h"
#include "scriptengine/fb_database.h"
#include "support/firebird_server.h"
#include "support/temp_folder.h"

namespace updater::scriptengine {
namespace {

namespace fs = std::filesystem;
using ::updater::testing::ReadBytes;
using ::updater::testing::TempFolder;

// The rows of `sql` over a UTF8 connection, a line per row, "|" between
// values; texts of CHAR columns without their padding, blobs as their bytes.
std::string Rows(const std::string& database, const std::string& sql) {
  FbDatabase db(platform::SystemPlatform().libraries, testing::SysdbaParams(database, "UTF8"));
  std::unique_ptr<Cursor> cursor = db.Open(sql, {});
  std::string rows;
  while (cursor->Next()) {
    for (size_t i = 0; i < cursor->Columns().size(); ++i) {
      const Value& v = cursor->Get(i);
      std::string text = v.IsNull() ? "NULL" : ValueText(v);
      if (v.kind == Value::Kind::kBlob) {
        text.clear();
        cursor->ReadBlob(i, [&](std::string_view piece) { text.append(piece); });
      } else if (cursor->Columns()[i].kind == ColumnKind::kChar && !v.IsNull()) {
        text.erase(text.find_last_not_of(' ') + 1);
      }
      rows += (i > 0 ? "|" : "") + text;
    }
    rows += "\n";
  }
  return rows;
}

// Rewrites the first line of the block file `path` as the update does:
// lines end at CR LF, CR or LF; every line is written back with CR LF.
void RewriteHeader(const std::string& path, const std::string& header) {
  std::string text = ReadBytes(path), out;
  bool first = true;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    out += (first ? header : text.substr(start, end - start)) + "\r\n";
    first = false;
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << out;
}

// Copies `from` over `to` so that a server that has the old file mapped
// keeps it: a new file renamed into place.
void ReplaceFile(const fs::path& from, const fs::path& to) {
  const fs::path temp = to.string() + ".new";
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing);
  fs::rename(temp, to);
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// The lines of `rows`, each without its line end.
std::vector<std::string> Lines(const std::string& rows) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = rows.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(rows.substr(start, end - start));
  }
  return lines;
}

TEST(SampleProduct, CarriesEveryValueGeneratorRoleAndPrivilegeToTheNewVersion) {
  const ::updater::testing::TestServer& server = ::updater::testing::RequireTestServer();
  TempFolder temp;
  const std::string product = temp.Path("Marlix product");
  const std::string install = std::string(UPDATER_SOURCE_DIR) +
                              "/scripts/sample-product install '" + product +
                              "' --rows 200 --build '" + UPDATER_BUILD_DIR + "'";
  ASSERT_EQ(std::system(install.c_str()), 0) << install;
  const std::string old_db = server.prefix + product + "/DB_Data/MARLIX.FDB";

  // NewDir as the payload leaves it.
  const std::string new_dir = temp.MakeFolder("New");
  for (const auto& entry : fs::directory_iterator(UPDATER_SAMPLE_NEW_VERSION)) {
    fs::copy_file(entry.path(), fs::path(new_dir) / entry.path().filename());
  }
  const std::string prefix = new_dir + "/";

  // The rebuild, steps A5 to A8, on the old database.
  EXPECT_EQ(testing::RunFile(old_db, "WIN1251", prefix + "Check_Version.sql"), "");
  const struct {
    const char* block;
    const char* parameter;
    const char* output;
  } blocks[] = {{"Sys_Generators.sql", "Generators_File_Name", "Generators.sql"},
                {"Sys_Roles.sql", "Roles_File_Name", "Roles.sql"},
                {"Sys_Data.sql", "Data_File_Name", "Data.sql"}};
  for (const auto& b : blocks) {
    RewriteHeader(prefix + b.block, std::string("execute ibeblock(") + b.parameter + " = '" +
                                        prefix + b.output + "')");
    ASSERT_EQ(testing::RunFile(old_db, "WIN1251", prefix + b.block), "") << b.block;
  }

  // A10 to A17 on a copy of the new database.
  const std::string new_file = temp.Path("New DB_Data/MARLIX.FDB");
  fs::create_directories(fs::path(new_file).parent_path());
  fs::copy_file(prefix + "MARLIX.FDB", new_file);
  const std::string new_db = server.prefix + new_file;
  ASSERT_EQ(testing::RunFile(new_db, "WIN1251", prefix + "Data.sql"), "");
  ASSERT_EQ(testing::RunFile(new_db, "UTF8", prefix + "Meta_Constraints.sql"), "");
  ASSERT_EQ(testing::RunFile(new_db, "UTF8", prefix + "Triggers_ Active.sql"), "");
  ASSERT_EQ(testing::RunFile(new_db, "UTF8", prefix + "Generators.sql"), "");
  ASSERT_EQ(testing::RunFile(new_db, "UTF8", prefix + "Roles.sql", nullptr, "ADMN"), "");

  // The server part update: B5, B11, B12 and B14.
  ASSERT_EQ(testing::RunFile(new_db, "UTF8", prefix + "Sys_Roles.sql"), "");
  ReplaceFile(prefix + "WEXR_UDF_u8.dll", fs::path(server.root) / "UDF" / "wexr_udf_u8.dll");
  ASSERT_EQ(testing::RunFile(new_db, "UTF8", prefix + "script.sql"), "");
  ASSERT_EQ(testing::RunFile(new_db, "UTF8", prefix + "Roles.sql", nullptr, "ADMN"), "");

  // Every value of every table, in the old columns, row for row (the two
  // settings that the metadata update changes apart).
  const std::map<std::string, std::string> tables = {
      {"DEPARTMENTS", "ID"}, {"CLIENTS", "ID"},   {"ДОКУМЕНТЫ", "\"НОМЕР\""},
      {"AMOUNTS", "ID"},     {"AUDIT_LOG", "ID"}, {"SETTINGS", "NAME"}};
  for (const auto& [table, key] : tables) {
    std::string columns;
    for (const std::string& name : Lines(
             Rows(old_db,
                  "SELECT TRIM(R.RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS R "
                  "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE "
                  "WHERE R.RDB$RELATION_NAME = '" +
                      table + "' AND F.RDB$COMPUTED_BLR IS NULL ORDER BY R.RDB$FIELD_POSITION"))) {
      columns += (columns.empty() ? "" : ", ") + Quoted(name);
    }
    const std::string where =
        table == "SETTINGS" ? " WHERE NAME NOT IN ('VERSION', 'RELEASE_NOTES')" : "";
    const std::string sql =
        "SELECT " + columns + " FROM " + Quoted(table) + where + " ORDER BY " + key;
    const std::string old_rows = Rows(old_db, sql);
    EXPECT_FALSE(old_rows.empty()) << table;
    EXPECT_TRUE(Rows(new_db, sql) == old_rows) << table << " differs";
  }
  // Fractions, extremes and the big blob made it: a spot check that the
  // comparison above compared what it should.
  EXPECT_EQ(Rows(new_db, "SELECT N18_4, B, D18_18 FROM AMOUNTS WHERE ID IN (1, 2) ORDER BY ID"),
            "922337203685477.5807|9223372036854775807|9.223372036854775807\n"
            "-922337203685477.5808|-9223372036854775808|-9.223372036854775808\n");
  EXPECT_EQ(Rows(new_db,
                 "SELECT OCTET_LENGTH(TEXT_VALUE) > 4000000 FROM SETTINGS "
                 "WHERE NAME = 'MANUAL'"),
            "TRUE\n");

  // The new columns hold their defaults; the metadata update's own values.
  EXPECT_EQ(Rows(new_db, "SELECT DISTINCT CATEGORY, EMAIL, PHONE FROM CLIENTS"), "1||\n");
  EXPECT_EQ(Rows(new_db, "SELECT DISTINCT \"СТАТУС\" FROM \"ДОКУМЕНТЫ\""), "Принят\n");
  EXPECT_EQ(Rows(new_db, "SELECT DISTINCT CITY FROM DEPARTMENTS"), "Москва\n");
  EXPECT_EQ(Rows(new_db, "SELECT VAL FROM SETTINGS WHERE NAME = 'VERSION'"), "3.2\n");
  EXPECT_EQ(Rows(new_db, "SELECT TEXT_VALUE FROM SETTINGS WHERE NAME = 'RELEASE_NOTES'"),
            ReadBytes(prefix + "script.lob") + "\n");
  EXPECT_EQ(Rows(new_db, "SELECT MAJOR, MINOR FROM SP_DB_VERSION"), "3|2\n");

  // The generators' values.
  const std::string generators =
      "SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS "
      "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1";
  const std::string names = Rows(old_db, generators);
  EXPECT_NE(names.find("НОМЕР_АКТА\n"), std::string::npos);
  for (const std::string& name : Lines(names)) {
    const std::string sql = "SELECT GEN_ID(" + Quoted(name) + ", 0) FROM RDB$DATABASE";
    EXPECT_EQ(Rows(new_db, sql), Rows(old_db, sql)) << name;
  }

  // The roles granted to users, Cyrillic names included, and the roles'
  // own privileges.
  const std::string memberships =
      "SELECT TRIM(RDB$RELATION_NAME), TRIM(RDB$USER), RDB$GRANT_OPTION FROM RDB$USER_PRIVILEGES "
      "WHERE RDB$PRIVILEGE = 'M' AND RDB$USER_TYPE = 8 "
      "AND RDB$USER NOT IN ('SYSDBA', 'ADMN', 'PUBLIC') ORDER BY 1, 2";
  EXPECT_EQ(Rows(new_db, memberships), Rows(old_db, memberships));
  EXPECT_NE(Rows(new_db, memberships).find("БУХГАЛТЕР|КАССИР|0\n"), std::string::npos);
  const std::string role_privileges =
      "SELECT TRIM(RDB$USER), TRIM(RDB$RELATION_NAME), RDB$PRIVILEGE FROM RDB$USER_PRIVILEGES "
      "WHERE RDB$USER_TYPE = 13 AND RDB$FIELD_NAME IS NULL ORDER BY 1, 2, 3";
  const std::string new_privileges = Rows(new_db, role_privileges);
  for (const std::string& privilege : Lines(Rows(old_db, role_privileges))) {
    EXPECT_NE(new_privileges.find(privilege + "\n"), std::string::npos) << privilege;
  }

  // The view of the server function library: its upper case is the server's.
  EXPECT_EQ(Rows(new_db,
                 "SELECT COUNT(*), MIN(LIBRARY_VERSION) FROM V_CLIENT_CARDS V JOIN CLIENTS C "
                 "ON C.ID = V.ID WHERE V.NAME_UPPER = UPPER(C.NAME)"),
            Rows(new_db, "SELECT COUNT(*), 32 FROM CLIENTS"));
  EXPECT_EQ(Rows(new_db, "SELECT CARD FROM SP_CLIENT_CARD(1)"), "О'БРАЙЕН № 1\n");

  // Constraints and triggers are on now.
  EXPECT_NE(testing::RunText(new_db, "UTF8", "INSERT INTO CLIENTS (ID, NAME) VALUES (1, 'x');"),
            "");
  EXPECT_EQ(testing::RunText(new_db, "UTF8",
                             "INSERT INTO \"ДОКУМЕНТЫ\" (\"НОМЕР\", CLIENT_ID, CHANGE_COUNT) "
                             "VALUES (-1, 1, 41);"),
            "");
  EXPECT_EQ(Rows(new_db, "SELECT CHANGE_COUNT FROM \"ДОКУМЕНТЫ\" WHERE \"НОМЕР\" = -1"), "42\n");

  // The version check refuses the new database.
  EXPECT_NE(testing::RunFile(new_db, "WIN1251", prefix + "Check_Version.sql")
                .find("возможно только с версии 3.1"),
            std::string::npos);
}

}  // namespace
}  // namespace updater::scriptengine
