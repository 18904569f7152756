// The engine against Firebird's own isql-fb as the peer: the scripts in
// differential/, in the dialect both understand, run by each into a fresh
// database; the metadata (isql's own extract) and the data must come out
// the same.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/platform.h"
#include "scriptengine/engine_server_support.h"
#include "scriptengine/sql_tokens.h"
#include "support/firebird_server.h"

namespace updater::scriptengine {
namespace {

using ::updater::testing::TestDatabase;

std::string Shell(const std::string& command) {
  std::string output;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0)
    output.append(buffer.data(), n);
  return output;
}

std::string Isql(const std::string& database, const std::string& arguments) {
  return Shell("isql-fb -q -ch UTF8 -user SYSDBA -password '" +
               ::updater::testing::RequireTestServer().sysdba_password + "' " + arguments + " '" +
               database + "'");
}

// isql's extract of the metadata, without the line that names the file.
std::string Metadata(const TestDatabase& db) {
  std::string extract = Isql(db.ConnectString(), "-x");
  const size_t create = extract.find("/* CREATE DATABASE");
  if (create != std::string::npos) extract.erase(create, extract.find('\n', create) - create);
  return extract;
}

// Every user table's rows in order, and every generator's value.
std::string Data(const TestDatabase& db) {
  FbDatabase connection(platform::SystemPlatform().libraries,
                        testing::SysdbaParams(db.ConnectString(), "UTF8"));
  std::string data;
  for (const Table& table : connection.UserTables()) {
    data += "table " + table.name + "\n";
    std::unique_ptr<Cursor> rows =
        connection.Open("SELECT * FROM " + QuoteName(table.name) + " ORDER BY 1", {});
    while (rows->Next()) {
      for (size_t i = 0; i < rows->Columns().size(); ++i) {
        const Value& v = rows->Get(i);
        std::string text = v.IsNull() ? "NULL" : ValueText(v);
        if (v.kind == Value::Kind::kBlob) {
          rows->ReadBlob(i, [&](std::string_view piece) { text.append(piece); });
        }
        data += (i > 0 ? "|" : "") + text;
      }
      data += "\n";
    }
  }
  std::unique_ptr<Cursor> generators = connection.Open(
      "SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 "
      "ORDER BY 1",
      {});
  while (generators->Next()) {
    const std::string name = generators->Get(0).text;
    std::unique_ptr<Cursor> value =
        connection.Open("SELECT GEN_ID(" + QuoteName(name) + ", 0) FROM RDB$DATABASE", {});
    value->Next();
    data += "generator " + name + " " + IntegerText(value->Get(0).integer, 0) + "\n";
  }
  return data;
}

TEST(DifferentialWithIsql, BothLeaveTheSameMetadataAndData) {
  TestDatabase by_isql("UTF8");
  TestDatabase by_engine("UTF8");
  std::vector<std::filesystem::path> scripts;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::string(UPDATER_SOURCE_DIR) + "/tests/scriptengine/differential")) {
    scripts.push_back(entry.path());
  }
  std::sort(scripts.begin(), scripts.end());
  ASSERT_GE(scripts.size(), 3u);
  for (const auto& script : scripts) {
    const std::string isql = Isql(by_isql.ConnectString(), "-i '" + script.string() + "'");
    EXPECT_EQ(isql.find("Statement failed"), std::string::npos) << script << "\n" << isql;
    EXPECT_EQ(testing::RunFile(by_engine.ConnectString(), "UTF8", script.string()), "") << script;
  }
  const std::string metadata = Metadata(by_isql);
  EXPECT_NE(metadata.find("PROCEDURE ADD_ENTRY"), std::string::npos) << metadata;
  EXPECT_EQ(Metadata(by_engine), metadata);
  const std::string data = Data(by_isql);
  EXPECT_NE(data.find("table LOG_ENTRIES"), std::string::npos) << data;
  EXPECT_EQ(Data(by_engine), data);
}

}  // namespace
}  // namespace updater::scriptengine
