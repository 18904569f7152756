// Values and failures of the data carry-over on the real server: data
// exported by the data block over a WIN1251 connection and loaded by the
// engine into an empty UTF8 database, as the update does it, and the block
// language's comparisons of the values the server gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "platform/platform.h"
#include "platform/text.h"
#include "scriptengine/blob_file.h"
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

// A trigger that marks each row of `table` in its column VIA with how it
// came: 'S' while an EXECUTE BLOCK runs on the attachment, 'R' otherwise
// (a stored-row request).
std::string ViaTrigger(const std::string& table, const std::string& trigger = "") {
  return "CREATE TRIGGER " + (trigger.empty() ? table + "_VIA" : trigger) + " FOR " + table +
         " BEFORE INSERT AS DECLARE VIA CHAR(1) = 'R'; BEGIN\n"
         "  IN AUTONOMOUS TRANSACTION DO\n"
         "    IF (EXISTS(SELECT * FROM MON$STATEMENTS WHERE MON$ATTACHMENT_ID ="
         " CURRENT_CONNECTION AND MON$STATE = 1 AND MON$SQL_TEXT STARTING WITH"
         " 'EXECUTE BLOCK')) THEN VIA = 'S';\n"
         "  NEW.VIA = VIA;\nEND^\n";
}

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

// Every byte of the blob file belongs to exactly one reference of the data
// script: no value is written twice, nothing is lost between values.
void ExpectBlobFileTiled(const std::string& script, uint64_t file_size) {
  std::vector<std::pair<uint64_t, uint64_t>> references;
  for (size_t at = script.find(" = :h"); at != std::string::npos;
       at = script.find(" = :h", at + 1)) {
    BlobReference reference{};
    const size_t end = script.find_first_of(",)", at);
    ASSERT_TRUE(ParseBlobReference(script.substr(at + 4, end - at - 4), reference));
    references.emplace_back(reference.offset, reference.length);
  }
  std::sort(references.begin(), references.end());
  uint64_t covered = 0;
  for (const auto& [offset, length] : references) {
    EXPECT_EQ(offset, covered);
    covered = offset + length;
  }
  EXPECT_EQ(covered, file_size);
}

// Each block of the data script is one a Firebird 2.0 server takes: a text
// of at most 64 KB, at most 255 INSERTs, and an input message (its
// parameters: a string's characters at their widest, a blob's identifier)
// of at most 64 KB.
void ExpectBlocksWithinServerLimits(const std::string& script) {
  for (size_t at = script.find("EXECUTE BLOCK"); at != std::string::npos;
       at = script.find("EXECUTE BLOCK", at + 1)) {
    const size_t end = script.find("END^", at);
    ASSERT_NE(end, std::string::npos);
    const std::string block = script.substr(at, end - at);
    EXPECT_LE(block.size(), 65535u);
    size_t inserts = 0;
    for (size_t i = block.find("INSERT INTO"); i != std::string::npos;
         i = block.find("INSERT INTO", i + 1)) {
      ++inserts;
    }
    EXPECT_LE(inserts, 255u);
    size_t message = 0;
    const size_t body = block.find("\nAS ");
    if (block.compare(0, 15, "EXECUTE BLOCK (") == 0) {
      // "B0 VARCHAR(5000) CHARACTER SET WIN1251 = :h..., B1 BLOB ... = :h...)"
      std::stringstream declarations(block.substr(15, body - 15));
      std::string declaration;
      while (std::getline(declarations, declaration, '=')) {
        if (declaration.find(" BLOB ") != std::string::npos) {
          message += 8;
        } else if (const size_t open = declaration.find('('); open != std::string::npos) {
          const size_t set = declaration.find("CHARACTER SET ") + 14;
          const std::string charset = declaration.substr(set, declaration.find(' ', set) - set);
          message += std::stoul(declaration.substr(open + 1)) * (charset == "UTF8" ? 4 : 1) + 2;
        }
        declarations.ignore(std::numeric_limits<std::streamsize>::max(), ',');
      }
    }
    EXPECT_LE(message, 65535u);
  }
}

// `script` with each data block made one that the bulk load leaves to the
// server, which then reads the block's text.
std::string BlocksAsText(std::string script) {
  for (size_t at = script.find("\nAS BEGIN\n"); at != std::string::npos;
       at = script.find("\nAS BEGIN\n", at + 1)) {
    script.replace(at, 10, "\nAS DECLARE VARIABLE UNUSED INTEGER; BEGIN\n");
  }
  return script;
}

// Texts of a WIN1251 script for the new database's UTF8 columns, those the
// loader converts itself (short texts for text blobs) and those the server
// converts (CHAR, VARCHAR): every letter arrives once converted, a column
// filled to its last letter included, whatever length the parameter is
// declared with; NULL and empty stay apart.
TEST(CarriedValues, CyrillicTextsArriveInUtf8ColumnsConvertedOnceToTheLastLetter) {
  CarryOver carry(
      "CREATE TABLE C (ID INTEGER NOT NULL PRIMARY KEY, S VARCHAR(5), K CHAR(3),"
      " L VARCHAR(100), B BLOB SUB_TYPE TEXT);");
  // \xC6\xE0\xEB\xEE\xE1 is five letters; \xA8 and \xB8 are the Yo.
  const std::vector<std::vector<std::string>> rows = {
      {"\xC6\xE0\xEB\xEE\xE1", "\xA8\xE6\xE8", std::string(100, '\xFF'),
       "\xCF\xF0\xE8\xE2\xE5\xF2 \xB8"},
      {"ab", "x", std::string(70, '\xE9'), std::string(3000, '\xE4')},
      {"", "", "", ""},
  };
  {
    FbDatabase db = carry.Attach(carry.source);
    for (size_t i = 0; i < rows.size(); ++i) {
      std::vector<Value> row = {Value::Integer(static_cast<int64_t>(i))};
      for (const std::string& text : rows[i]) row.push_back(Value::Text(text));
      db.Execute("INSERT INTO C VALUES (?, ?, ?, ?, ?)", row, true);
    }
    db.Execute("INSERT INTO C (ID) VALUES (3)", {}, true);
    db.Close();
  }
  ASSERT_EQ(carry.Export(), "");
  ASSERT_EQ(carry.Load(), "");

  FbDatabase utf8(platform::SystemPlatform().libraries,
                  testing::SysdbaParams(carry.target.ConnectString(), "UTF8"));
  const char* columns[] = {"S", "K", "L", "B"};
  for (size_t c = 0; c < 4; ++c) {
    SCOPED_TRACE(columns[c]);
    const std::vector<Value> got = Column(
        utf8, std::string("SELECT CAST(") + columns[c] + " AS VARCHAR(3000)) FROM C ORDER BY ID");
    ASSERT_EQ(got.size(), rows.size() + 1);
    for (size_t r = 0; r < rows.size(); ++r) {
      std::string expected = platform::Cp1251ToUtf8(rows[r][c]);
      if (c == 1) expected += std::string(3 - rows[r][c].size(), ' ');  // CHAR pads
      EXPECT_EQ(got[r].text, expected) << "row " << r;
    }
    EXPECT_TRUE(got.back().IsNull());
  }
}

// Rows over 24 KB (their texts go to the blob file) and blocks whose
// parameters alone would pass the 64 KB a statement's input may take. The
// data script loads exactly both by the bulk load and as the server reads
// its blocks' texts.
TEST(CarriedValues, LongRowsAndManyParametersStayWithinABlocksLimits) {
  // A row of WIDE has 25 KB of texts of at most 4 KB each, and one longer.
  const std::string tables =
      "CREATE TABLE WIDE (ID INTEGER NOT NULL PRIMARY KEY, A BLOB SUB_TYPE TEXT,"
      " B BLOB SUB_TYPE TEXT, C BLOB SUB_TYPE TEXT, D BLOB SUB_TYPE TEXT, E BLOB SUB_TYPE TEXT,"
      " F VARCHAR(3000), G CHAR(3000), N BLOB SUB_TYPE TEXT);\n"
      "CREATE TABLE LONGTEXT (ID INTEGER NOT NULL PRIMARY KEY, T VARCHAR(8000));\n";
  CarryOver carry(tables);
  {
    FbDatabase db = carry.Attach(carry.source);
    for (int i = 0; i < 12; ++i) {
      std::vector<Value> row = {Value::Integer(i)};
      for (char column = 'A'; column <= 'G'; ++column) {
        row.push_back(Value::Text(std::string(column < 'F' ? 3900 : 2950, column) +
                                  "\xC6\xE0\xEB\xFC'" + std::to_string(i)));
      }
      row.push_back(Value::Text(std::string(5000 + i, 'n')));
      db.Execute("INSERT INTO WIDE VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", row, true);
    }
    for (int i = 0; i < 150; ++i) {
      db.Execute("INSERT INTO LONGTEXT VALUES (?, ?)",
                 {Value::Integer(i), Value::Text(std::string(5000, 'x') + std::to_string(i))},
                 true);
    }
    db.Close();
  }
  ASSERT_EQ(carry.Export(), "");
  const std::string script = ::updater::testing::ReadBytes(carry.DataFile());
  const std::string blobs = ::updater::testing::ReadBytes(carry.source.Folder() + "/Data.lob");
  ExpectBlobFileTiled(script, blobs.size());
  ExpectBlocksWithinServerLimits(script);

  // The same script with each block made one the bulk load leaves to the
  // server.
  const std::string as_text = BlocksAsText(script);
  ASSERT_NE(as_text, script);
  TestDatabase as_text_target("UTF8");
  ASSERT_EQ(testing::RunText(as_text_target.ConnectString(), "WIN1251", tables), "");
  {
    std::ofstream out(carry.source.Folder() + "/AsText.sql", std::ios::binary);
    out << as_text;
  }
  ASSERT_EQ(testing::RunFile(as_text_target.ConnectString(), "WIN1251",
                             carry.source.Folder() + "/AsText.sql"),
            "");
  ASSERT_EQ(carry.Load(), "");

  FbDatabase old_db = carry.Attach(carry.source);
  FbDatabase new_db = carry.Attach(carry.target);
  FbDatabase text_db(platform::SystemPlatform().libraries,
                     testing::SysdbaParams(as_text_target.ConnectString(), "WIN1251"));
  for (const char* query :
       {"SELECT CAST(A AS VARCHAR(4000)) FROM WIDE ORDER BY ID",
        "SELECT CAST(E AS VARCHAR(4000)) FROM WIDE ORDER BY ID", "SELECT F FROM WIDE ORDER BY ID",
        "SELECT G FROM WIDE ORDER BY ID", "SELECT CAST(N AS VARCHAR(8000)) FROM WIDE ORDER BY ID",
        "SELECT T FROM LONGTEXT ORDER BY ID"}) {
    const std::vector<Value> expected = Column(old_db, query);
    ASSERT_FALSE(expected.empty());
    for (FbDatabase* loaded : {&new_db, &text_db}) {
      const std::vector<Value> got = Column(*loaded, query);
      ASSERT_EQ(got.size(), expected.size()) << query;
      for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].text, expected[i].text) << query;
    }
  }
}

// A row the new database refuses: the failure names the table, the row's
// place in the table's data, and the column where it is known; the
// statement is shown by a short excerpt (the row's INSERT), not as its
// 40 KB of rows.
// The rows of a block whose values fit their columns go to the server as a
// stored-row request: every type arrives exactly, NULLs and Cyrillic texts
// included, in a block of one row and in blocks of more rows than one
// request takes (ViaTrigger tells).
TEST(CarriedValues, RowsOfEveryTypeArriveExactlyThroughTheStoredRowRequest) {
  const std::string columns =
      "ID INTEGER NOT NULL, S SMALLINT, I INTEGER, BI BIGINT, N41 NUMERIC(4,1),"
      " N92 NUMERIC(9,2), N184 NUMERIC(18,4), D183 DECIMAL(18,3), F FLOAT, DP DOUBLE PRECISION,"
      " DT DATE, TM TIME, TS TIMESTAMP, BO BOOLEAN, C CHAR(10), VC VARCHAR(40),"
      " VOCT VARCHAR(8) CHARACTER SET OCTETS, VNONE VARCHAR(8) CHARACTER SET NONE, VIA CHAR(1)";
  CarryOver carry("CREATE TABLE ALLT (" + columns + ");\nCREATE TABLE ONE (" + columns + ");\n");
  std::string triggers = "SET TERM ^ ;\n";
  for (const char* table : {"ALLT", "ONE"}) triggers += ViaTrigger(table);
  ASSERT_EQ(testing::RunText(carry.target.ConnectString(), "WIN1251", triggers), "");
  const int kRows = 700;
  {
    FbDatabase db = carry.Attach(carry.source);
    for (int i = 1; i <= kRows; ++i) {
      std::vector<Value> row = {
          Value::Integer(i),
          Value::Integer(i % 2 ? -32768 + i : 32767 - i),
          Value::Integer(-2147483647 + i),
          Value::Integer(INT64_MAX - i),
          Value::Integer(-9999 + i, 1),
          Value::Integer(i * 101, 2),
          Value::Integer(INT64_MIN + 1 + i, 4),
          Value::Integer(-123456789012345 - i, 3),
          Value::Double(i / 8.0),
          Value::Double(1.0 / i),
          Value::Date(DayNumber(1900 + i % 200, 1 + i % 12, 1 + i % 28)),
          Value::Time(static_cast<uint32_t>(i) * 1234567u % kTicksPerDay),
          Value::Timestamp(DayNumber(2024, 2, 29) + i, kTicksPerDay - 1 - i),
          Value::Boolean(i % 3 == 0),
          Value::Text("\xC6" + std::to_string(i)),
          Value::Text("\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0 \xB8\xA8 " + std::to_string(i)),
          Value::Text(std::string("\0\xFF\x80", 3) + std::to_string(i % 100)),
          Value::Text("\xC0\xFF" + std::to_string(i % 100)),
          Value::Null()};
      // NULLs in every column but the key, in changing places.
      for (size_t c = 1; c + 1 < row.size(); ++c) {
        if ((static_cast<size_t>(i) + c) % 5 == 0) row[c] = Value::Null();
      }
      std::string insert = "INSERT INTO ALLT VALUES (?";
      for (size_t c = 1; c < row.size(); ++c) insert += ", ?";
      db.Execute(insert + ")", row, true);
      if (i == 1) db.Execute("INSERT INTO ONE SELECT * FROM ALLT", {}, true);
    }
    db.Close();
  }
  ASSERT_EQ(carry.Export(), "");
  ASSERT_EQ(carry.Load(), "");

  FbDatabase source = carry.Attach(carry.source);
  FbDatabase target = carry.Attach(carry.target);
  for (const char* table : {"ALLT", "ONE"}) {
    SCOPED_TRACE(table);
    const std::string sql = std::string("SELECT * FROM ") + table + " ORDER BY ID";
    std::unique_ptr<Cursor> expected = source.Open(sql, {});
    std::unique_ptr<Cursor> loaded = target.Open(sql, {});
    const size_t via = expected->Columns().size() - 1;
    int rows = 0;
    while (expected->Next()) {
      ASSERT_TRUE(loaded->Next());
      ++rows;
      for (size_t c = 0; c < via; ++c) {
        const Value& a = expected->Get(c);
        const Value& b = loaded->Get(c);
        EXPECT_EQ(a.IsNull(), b.IsNull()) << "row " << rows << " column " << c;
        EXPECT_EQ(ValueText(a), ValueText(b)) << "row " << rows << " column " << c;
      }
      EXPECT_EQ(ValueText(loaded->Get(via)), "R") << "row " << rows;
    }
    EXPECT_FALSE(loaded->Next());
    EXPECT_EQ(rows, std::string(table) == "ONE" ? 1 : kRows);
  }
}

// A table and columns with Cyrillic names go through the stored-row request
// too (the request names them in UTF-8, as the server keeps its names), and
// so does a block of short texts in a wide VARCHAR, its field sized for the
// block, beside a block of long ones.
TEST(CarriedValues, CyrillicNamesAndWideColumnsGoThroughTheStoredRowRequest) {
  // The scripts' texts in UTF-8; the engine's attachment's in WIN1251.
  CarryOver carry(
      "CREATE TABLE \"ТАБ\" (\"НОМ\" INTEGER NOT NULL, \"ИМЯ\" VARCHAR(4000), VIA CHAR(1));");
  ASSERT_EQ(testing::RunText(carry.target.ConnectString(), "WIN1251",
                             "SET TERM ^ ;\n" + ViaTrigger("\"ТАБ\"", "TAB_VIA")),
            "");
  const std::string table = "\"\xD2\xC0\xC1\"", number = "\"\xCD\xCE\xCC\"",
                    name = "\"\xC8\xCC\xDF\"";
  const int kRows = 40;  // 20 a block: the first block's texts short, the second's long
  const auto text = [](int i) {
    return "\xC8\xEC\xFF " + std::to_string(i) + (i > 20 ? std::string(3000, 'x') : "");
  };
  {
    FbDatabase db = carry.Attach(carry.source);
    for (int i = 1; i <= kRows; ++i) {
      db.Execute("INSERT INTO " + table + " VALUES (?, ?, NULL)",
                 {Value::Integer(i), Value::Text(text(i))}, true);
    }
    db.Close();
  }
  ASSERT_EQ(carry.Export("DATA ROWS=20"), "");
  ASSERT_EQ(carry.Load(), "");
  FbDatabase target = carry.Attach(carry.target);
  std::unique_ptr<Cursor> loaded =
      target.Open("SELECT " + number + ", " + name + ", VIA FROM " + table + " ORDER BY 1", {});
  for (int i = 1; i <= kRows; ++i) {
    ASSERT_TRUE(loaded->Next());
    EXPECT_EQ(loaded->Get(0).integer, i);
    EXPECT_EQ(loaded->Get(1).text, text(i)) << i;
    EXPECT_EQ(loaded->Get(2).text, "R") << i;
  }
  EXPECT_FALSE(loaded->Next());
}

// Text blobs go through the stored-row request as texts, sized for each
// block: Cyrillic texts of a WIN1251 script arrive exactly in a UTF8 blob
// (converted by the engine) and in a WIN1251 one, NULL and empty apart, in
// blocks whose longest texts lie on both sides of the field lengths'
// borders (the server counts the characters a field holds). A block with a
// text too long for the request goes as INSERTs, all of its rows.
TEST(CarriedValues, TextBlobsArriveExactlyThroughTheStoredRowRequest) {
  CarryOver carry(
      "CREATE TABLE NB (ID INTEGER NOT NULL, U BLOB SUB_TYPE TEXT,"
      " W BLOB SUB_TYPE TEXT CHARACTER SET WIN1251, VIA CHAR(1));");
  ASSERT_EQ(testing::RunText(carry.target.ConnectString(), "WIN1251",
                             "SET TERM ^ ;\n" + ViaTrigger("NB")),
            "");
  // The letters of the longest text of each block of 20 rows; the block of
  // 1,025 goes as INSERTs.
  const size_t longest[] = {0, 64, 65, 256, 257, 1024, 1025, 30};
  const size_t kFallback = 6, kBlockRows = 20;
  const auto text = [](size_t letters, size_t id) {
    std::string made;
    for (size_t i = 0; i < letters; ++i) made += static_cast<char>(0xC0 + (id + i) % 64);
    return made;
  };
  std::vector<Value> texts;
  {
    FbDatabase db = carry.Attach(carry.source);
    for (size_t block = 0; block < std::size(longest); ++block) {
      for (size_t j = 0; j < kBlockRows; ++j) {
        const size_t id = block * kBlockRows + j;
        Value value = j % 3 == 1 ? Value::Null() : Value::Text(text(j * 7 % 30, id));
        if (j == 0) value = Value::Text(text(longest[block], id));
        if (j % 5 == 2 || block == 0) value = Value::Text("");
        texts.push_back(value);
        db.Execute("INSERT INTO NB (ID, U, W) VALUES (?, ?, ?)",
                   {Value::Integer(static_cast<int64_t>(id)), value, value}, true);
      }
    }
    db.Close();
  }
  ASSERT_EQ(carry.Export("DATA ROWS=20"), "");
  ASSERT_EQ(carry.Load(), "");

  FbDatabase utf8(platform::SystemPlatform().libraries,
                  testing::SysdbaParams(carry.target.ConnectString(), "UTF8"));
  for (const char* column : {"U", "W"}) {
    SCOPED_TRACE(column);
    const std::vector<Value> got = Column(
        utf8, std::string("SELECT CAST(") + column + " AS VARCHAR(2100)) FROM NB ORDER BY ID");
    ASSERT_EQ(got.size(), texts.size());
    for (size_t id = 0; id < texts.size(); ++id) {
      ASSERT_EQ(got[id].IsNull(), texts[id].IsNull()) << "row " << id;
      EXPECT_EQ(got[id].text, platform::Cp1251ToUtf8(texts[id].text)) << "row " << id;
    }
  }
  const std::vector<Value> via = Column(utf8, "SELECT TRIM(VIA) FROM NB ORDER BY ID");
  ASSERT_EQ(via.size(), texts.size());
  for (size_t id = 0; id < via.size(); ++id) {
    EXPECT_EQ(via[id].text, id / kBlockRows == kFallback ? "S" : "R") << "row " << id;
  }
}

TEST(CarriedValues, ARefusedRowIsNamedByTableRowAndColumnWithoutTheWholeBlock) {
  const std::string table =
      "CREATE TABLE T (ID INTEGER, S VARCHAR(20), D DOUBLE PRECISION, F VARCHAR(200))";
  const struct {
    std::string target;  // the new database's table
    int bad_row;         // the row with the value the target refuses
    Value s;             // that row's S
    int64_t id;          // that row's ID
    const char* where;
    const char* server;  // in the server's text
    int shown_row;       // the row whose INSERT the excerpt shows
  } cases[] = {
      {"CREATE TABLE T (ID INTEGER, S VARCHAR(20) NOT NULL, D DOUBLE PRECISION, F VARCHAR(200))",
       321, Value::Null(), 321, "the data of \"T\", row 321, column \"T\".\"S\": ", "*** null ***",
       321},
      {"CREATE TABLE T (ID INTEGER, S VARCHAR(5), D DOUBLE PRECISION, F VARCHAR(200))", 77,
       Value::Text("too long"), 77,
       "the data of \"T\", row 77, column \"S\": ", "string right truncation", 77},
      // A number too large for the new column is refused with its block's
      // parameters, at no row: the rows are those of the block.
      {"CREATE TABLE T (ID SMALLINT, S VARCHAR(20), D DOUBLE PRECISION, F VARCHAR(200))", 405,
       Value::Text("ok"), 70000, "the data of \"T\", rows 401 to 500: ", "numeric overflow", 401},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    TestDatabase source("WIN1251");
    TestDatabase target("UTF8");
    ASSERT_EQ(testing::RunText(source.ConnectString(), "WIN1251", table + ";"), "");
    ASSERT_EQ(testing::RunText(target.ConnectString(), "WIN1251", c.target + ";"), "");
    {
      FbDatabase db(platform::SystemPlatform().libraries,
                    testing::SysdbaParams(source.ConnectString(), "WIN1251"));
      for (int row = 1; row <= 500; ++row) {
        const bool bad = row == c.bad_row;
        db.Execute("INSERT INTO T VALUES (?, ?, ?, ?)",
                   {Value::Integer(bad ? c.id : row), bad ? c.s : Value::Text("ok"),
                    Value::Double(row / 7.0), Value::Text(std::string(150, 'f'))},
                   true);
      }
      db.Close();
    }
    const std::string data_file = source.Folder() + "/Data.sql";
    testing::PrepareBlock("Sys_Data.sql", "execute ibeblock(Data_File_Name = '" + data_file + "')",
                          source.Folder() + "/Sys_Data.sql");
    ASSERT_EQ(
        testing::RunFile(source.ConnectString(), "WIN1251", source.Folder() + "/Sys_Data.sql"), "");
    RecordingLogView view;
    const std::string failure =
        testing::RunFile(target.ConnectString(), "WIN1251", data_file, &view);
    EXPECT_NE(failure.find(c.where), std::string::npos) << failure;
    EXPECT_NE(failure.find(c.server), std::string::npos) << failure;
    // The box and the failure's lines in the log hold no whole block.
    EXPECT_LT(failure.size(), 1500u) << failure;
    const auto statement =
        std::find(view.lines.begin(), view.lines.end(), "------- STATEMENT --------");
    ASSERT_NE(statement, view.lines.end());
    EXPECT_LT(statement[1].size(), 600u) << statement[1];
    EXPECT_NE(statement[1].find("VALUES (" + std::to_string(c.shown_row) + ", "), std::string::npos)
        << statement[1];
  }
}

}  // namespace
}  // namespace updater::scriptengine
