// Values and failures of the data carry-over on the real server: data
// exported by the data block over a WIN1251 connection and loaded by the
// engine into an empty UTF8 database, as the update does it, and the block
// language's comparisons of the values the server gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/platform.h"
#include "scriptengine/engine_server_support.h"
#include "scriptengine/script_charset.h"
#include "support/firebird_server.h"
#include "support/temp_folder.h"

namespace updater::scriptengine {
namespace {

using testing::RecordingLogView;
using ::updater::testing::TestDatabase;

// A source and a target database with the same tables.
struct CarryOver {
  explicit CarryOver(const std::string& tables) {
    EXPECT_EQ(testing::RunText(source.ConnectString(), "WIN1251", tables), "");
    EXPECT_EQ(testing::RunText(target.ConnectString(), "WIN1251", tables), "");
  }

  // Exports the source's data; returns the failure, or "".
  std::string Export(const std::string& options = "DATA") {
    testing::PrepareBlock("Sys_Data.sql", "execute ibeblock(Data_File_Name = '" + DataFile() + "')",
                          source.Folder() + "/Sys_Data.sql");
    std::string block = ::updater::testing::ReadBytes(source.Folder() + "/Sys_Data.sql");
    if (options != "DATA") {
      const size_t at = block.find("'DATA'");
      if (at != std::string::npos) block.replace(at, 6, "'" + options + "'");
    }
    return testing::RunText(source.ConnectString(), "WIN1251", block);
  }
  // Loads the exported data into the target; returns the failure, or "".
  std::string Load() {
    return testing::RunFile(target.ConnectString(), "WIN1251", DataFile(), &view);
  }

  std::string DataFile() const { return source.Folder() + "/Data.sql"; }
  FbDatabase Attach(const TestDatabase& db) {
    return FbDatabase(platform::SystemPlatform().libraries,
                      testing::SysdbaParams(db.ConnectString(), "WIN1251"));
  }

  TestDatabase source{"WIN1251"};
  TestDatabase target{"UTF8"};
  RecordingLogView view;
};

std::vector<Value> Column(FbDatabase& db, const std::string& sql) {
  std::vector<Value> values;
  std::unique_ptr<Cursor> cursor = db.Open(sql, {});
  while (cursor->Next()) values.push_back(cursor->Get(0));
  return values;
}

TEST(CarriedValues, NotANumberAndTheInfinitiesArriveInFloatAndDoubleColumns) {
  CarryOver carry("CREATE TABLE R (ID INTEGER NOT NULL PRIMARY KEY, D DOUBLE PRECISION, F FLOAT);");
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> values = {nan, inf, -inf, 0.1, -0.0};
  {
    FbDatabase db = carry.Attach(carry.source);
    for (size_t i = 0; i < values.size(); ++i) {
      db.Execute("INSERT INTO R VALUES (?, ?, ?)",
                 {Value::Integer(static_cast<int64_t>(i)), Value::Double(values[i]),
                  Value::Double(values[i])},
                 true);
    }
    db.Close();
  }
  ASSERT_EQ(carry.Export(), "");
  ASSERT_EQ(carry.Load(), "");
  FbDatabase db = carry.Attach(carry.target);
  for (const char* column : {"D", "F"}) {
    const std::vector<Value> loaded =
        Column(db, std::string("SELECT ") + column + " FROM R ORDER BY ID");
    ASSERT_EQ(loaded.size(), values.size()) << column;
    for (size_t i = 0; i < values.size(); ++i) {
      const double expected = column[0] == 'F' ? static_cast<float>(values[i]) : values[i];
      if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(loaded[i].real)) << column << i;
      } else {
        EXPECT_EQ(std::memcmp(&loaded[i].real, &expected, sizeof expected), 0) << column << i;
      }
    }
  }
}

// The block language compares the values the server gives as the server
// would: CHAR values without their padding, dates with timestamps as points
// in time.
TEST(BlockComparisons, CharPaddingAndDatesWithTimestampsCompareAsInSql) {
  TestDatabase db("WIN1251");
  const struct {
    const char* condition;
    const char* sql_truth;  // what the server says of the same condition
  } cases[] = {
      {"c = 'ab'", "TRUE"},
      {"c = v", "TRUE"},
      {"c <> 'ab '", "FALSE"},
      {"c > 'ab'", "FALSE"},
      {"c < 'ab' || ascii_char(9)", "TRUE"},
      {"c < 'abc'", "TRUE"},
      {"d = ts0", "TRUE"},
      {"d < ts1", "TRUE"},
      {"ts1 > d", "TRUE"},
      {"d = '2024-02-29'", "TRUE"},
      {"ts1 >= '2024-02-29 00:00:00.0001'", "TRUE"},
      {"d < '2024-03-01'", "TRUE"},
  };
  // The values come from the server; each condition's truth is written by
  // the block and also asked of the server.
  const std::string query =
      "select cast('ab' as char(10)), cast('ab' as varchar(10)), date '2024-02-29',"
      " cast(date '2024-02-29' as timestamp), timestamp '2024-02-29 00:00:00.0001'"
      " from rdb$database";
  std::string block = "execute ibeblock as begin\n  f = ibec_fs_OpenFile('" + db.Folder() +
                      "/out.txt', 'create');\n  for " + query +
                      " into :c, :v, :d, :ts0, :ts1 do\n  begin\n";
  std::string expected;
  for (const auto& c : cases) {
    std::string condition = c.condition;
    // The block language has no ASCII_CHAR: a tab from the server instead.
    const size_t tab = condition.find("ascii_char(9)");
    if (tab != std::string::npos) condition.replace(tab, 13, "tab");
    block += "    if (" + condition + ") then ibec_fs_Writeln(f, 'TRUE');" +
             " else ibec_fs_Writeln(f, 'FALSE');\n";
    expected += std::string(c.condition) + " " + c.sql_truth + "\n";
  }
  block += "  end\n  ibec_fs_CloseFile(f);\nend\n";
  const size_t into = block.find(" from rdb$database");
  block.insert(into, ", ascii_char(9)");
  block.replace(block.find(":ts1 do"), 7, ":ts1, :tab do");
  ASSERT_EQ(testing::RunText(db.ConnectString(), "WIN1251", block), "");

  const std::string written = ::updater::testing::ReadBytes(db.Folder() + "/out.txt");
  std::string got;
  size_t at = written.rfind(kUtf8Mark, 0) == 0 ? kUtf8Mark.size() : 0;
  for (const auto& c : cases) {
    const size_t end = written.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    got += std::string(c.condition) + " " + written.substr(at, end - at) + "\n";
    at = end + 2;
  }
  EXPECT_EQ(got, expected);

  // The server agrees with the table.
  FbDatabase server(platform::SystemPlatform().libraries,
                    testing::SysdbaParams(db.ConnectString(), "WIN1251"));
  for (const auto& c : cases) {
    const std::vector<Value> truth = Column(
        server, "select trim(case when " + std::string(c.condition) +
                    " then 'TRUE' else 'FALSE' end) from (" + query + ") as q (c, v, d, ts0, ts1)");
    ASSERT_EQ(truth.size(), 1u);
    EXPECT_EQ(truth[0].text, c.sql_truth) << c.condition;
  }
}

// A long exception message over a UTF8 connection, which the server cuts
// inside a Cyrillic letter, reaches the log as its letters, converted once
// ("33яя...", not "33СЏСЏ...").
TEST(ServerTexts, ALongUtf8ExceptionMessageArrivesAsItsLettersConvertedOnce) {
  TestDatabase db("UTF8");
  std::string message = "33";
  while (message.size() < 1500) message += "я";
  const std::string failure = testing::RunText(db.ConnectString(), "UTF8",
                                               "CREATE EXCEPTION E_LONG 'short';\n"
                                               "SET TERM ^;\n"
                                               "EXECUTE BLOCK AS BEGIN EXCEPTION E_LONG '" +
                                                   message + "'; END^\n");
  // The server keeps 1,023 bytes: "33", 510 letters and half of the next.
  EXPECT_NE(failure.find("E_LONG\r\n" + message.substr(0, 1022) + "\r\n"), std::string::npos)
      << failure;
}

}  // namespace
}  // namespace updater::scriptengine
