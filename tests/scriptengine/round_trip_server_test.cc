// The data of a WIN1251 database carried into an empty UTF8 database the
// way the update carries it: exported by the data block over a WIN1251
// connection, loaded by the engine over a WIN1251 connection, and every
// value compared, old against new.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/platform.h"
#include "platform/text.h"
#include "scriptengine/data_manifest.h"
#include "scriptengine/engine_server_support.h"
#include "scriptengine/fb_packed_cursor.h"
#include "scriptengine/sql_tokens.h"
#include "support/firebird_server.h"
#include "support/temp_folder.h"

namespace updater::scriptengine {
namespace {

using ::updater::testing::ReadBytes;
using ::updater::testing::TestDatabase;
using ::updater::testing::WriteBytes;

const char kTables[] =
    "CREATE TABLE KINDS (ID INTEGER NOT NULL PRIMARY KEY, S SMALLINT, I INTEGER, BI BIGINT,"
    " N41 NUMERIC(4,1), N92 NUMERIC(9,2), N184 NUMERIC(18,4), D150 DECIMAL(15,0),"
    " D183 DECIMAL(18,3), F FLOAT, DP DOUBLE PRECISION, DT DATE, TM TIME, TS TIMESTAMP,"
    " C CHAR(10), VC VARCHAR(300), COCT CHAR(16) CHARACTER SET OCTETS,"
    " VOCT VARCHAR(300) CHARACTER SET OCTETS, VNONE VARCHAR(20) CHARACTER SET NONE,"
    " BT BLOB SUB_TYPE TEXT, BB BLOB SUB_TYPE BINARY, BO BOOLEAN, CALC COMPUTED BY (I * 2));\n"
    "CREATE TABLE \"Заказы \"\"2024\"\"\" (\"Номер\" INTEGER NOT NULL PRIMARY KEY,"
    " \"select\" VARCHAR(40), \"Mixed Case\" TIMESTAMP);\n"
    "CREATE TABLE MANY (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(100),"
    " AMOUNT NUMERIC(15,2), NOTE BLOB SUB_TYPE TEXT);\n"
    "CREATE VIEW V_KINDS AS SELECT ID FROM KINDS;\n"
    "CREATE GLOBAL TEMPORARY TABLE SCRATCH (X INTEGER);\n";

std::string Win(const std::string& utf8) { return platform::Utf8ToCp1251(utf8); }

std::string EveryByte(size_t repeat) {
  std::string bytes;
  for (size_t r = 0; r < repeat; ++r) {
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  }
  return bytes;
}

Value Int(int64_t v, int scale = 0) { return Value::Integer(v, scale); }
Value Day(int y, int m, int d) { return Value::Date(DayNumber(y, m, d)); }

void Fill(const std::string& database) {
  FbDatabase db(platform::SystemPlatform().libraries, testing::SysdbaParams(database, "WIN1251"));
  const int64_t min64 = std::numeric_limits<int64_t>::min();
  const int64_t max64 = std::numeric_limits<int64_t>::max();
  std::string big_text;
  while (big_text.size() < 3'000'000) {
    big_text += Win("Строка текста с 'кавычками' и \"двойными\";\r\n") +
                std::to_string(big_text.size()) + "\t";
  }
  const char* insert =
      "INSERT INTO KINDS (ID, S, I, BI, N41, N92, N184, D150, D183, F, DP, DT, TM, TS, C, VC,"
      " COCT, VOCT, VNONE, BT, BB, BO) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
      " ?, ?, ?, ?, ?)";
  const std::vector<std::vector<Value>> rows = {
      {Int(1),
       Int(-32768),
       Int(std::numeric_limits<int32_t>::min()),
       Int(min64),
       Int(-9999, 1),
       Int(-999999999, 2),
       Int(min64, 4),
       Int(-999999999999999),
       Int(min64, 3),
       Value::Double(FLT_MAX),
       Value::Double(DBL_MAX),
       Day(1, 1, 1),
       Value::Time(1),
       Value::Timestamp(DayNumber(1899, 12, 31), kTicksPerDay - 1),
       Value::Text(Win("Ёж ")),
       Value::Text(Win("Привет, 'мир'\r\nвторая строка\nтретья\rчетвёртая\tтаб")),
       Value::Text(std::string("\0\x01 '\"\xFF\x20\x00\x20", 9) + std::string(7, '\x20')),
       Value::Text(EveryByte(1).substr(0, 300)),
       Value::Text("\x98\x01 raw"),
       Value::Text(big_text),
       Value::Text(EveryByte(4096)),
       Value::Boolean(true)},
      {Int(2),
       Int(32767),
       Int(std::numeric_limits<int32_t>::max()),
       Int(max64),
       Int(9999, 1),
       Int(999999999, 2),
       Int(max64, 4),
       Int(999999999999999),
       Int(max64, 3),
       Value::Double(FLT_MIN),
       Value::Double(DBL_MIN),
       Day(9999, 12, 31),
       Value::Time(kTicksPerDay - 1),
       Value::Timestamp(DayNumber(1601, 1, 1), 1234567),
       Value::Text(""),
       Value::Text(""),
       Value::Text(std::string(16, '\0')),
       Value::Text(""),
       Value::Text(""),
       Value::Text(""),
       Value::Text(""),
       Value::Boolean(false)},
      {Int(3),        Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
       Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
       Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
       Value::Null(), Value::Null(), Value::Null(), Value::Null()},
      {Int(4),
       Int(0),
       Int(0),
       Int(0),
       Int(-1, 1),
       Int(1, 2),
       Int(-1, 4),
       Int(0),
       Int(1, 3),
       Value::Double(1e-45),
       Value::Double(4.9e-324),
       Day(1858, 11, 17),
       Value::Time(0),
       Value::Timestamp(0, 0),
       Value::Text("         x"),
       Value::Text(std::string(300, 'w')),
       Value::Text("0123456789abcdef"),
       Value::Text(std::string(5, '\0')),
       Value::Text(Win("Юникод")),
       Value::Text(Win("Короткий 'текст'\r\n")),
       Value::Text(std::string(1, '\0')),
       Value::Null()},
      {Int(5),
       Int(-1),
       Int(-1),
       Int(-1),
       Int(1, 1),
       Int(-1, 2),
       Int(1, 4),
       Int(-1),
       Int(-1, 3),
       Value::Double(0.1f),
       Value::Double(0.1),
       Day(2000, 2, 29),
       Value::Time(43200 * 10000u),
       Value::Timestamp(DayNumber(2024, 2, 29), 1),
       Value::Text("'"),
       Value::Text("''"),
       Value::Text(" "),
       Value::Text(" "),
       Value::Text(""),
       Value::Text(Win("Ёё")),
       Value::Text("\x7F"),
       Value::Boolean(true)},
  };
  for (const auto& row : rows) db.Execute(insert, row, true);
  db.Execute("INSERT INTO \"" + Win("Заказы \"\"2024\"\"") + "\" VALUES (?, ?, ?)",
             {Int(1), Value::Text(Win("Первый")), Value::Timestamp(DayNumber(2024, 1, 1), 5)},
             true);
  for (int i = 0; i < 3000; ++i) {
    db.Execute(
        "INSERT INTO MANY VALUES (?, ?, ?, ?)",
        {Int(i), Value::Text(Win("Товар №") + std::to_string(i)), Int(i * 101 - 50000, 2),
         i % 3 == 0 ? Value::Null() : Value::Text(Win("Примечание ") + std::string(i % 90, 'z'))},
        true);
  }
  db.Execute("INSERT INTO SCRATCH VALUES (1)", {}, true);
  db.Close();
}

// Every row of `table` ordered by its first column, blobs read whole.
std::vector<std::vector<Value>> ReadAll(FbDatabase& db, const Table& table) {
  std::string select = "SELECT ";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    select += (i > 0 ? ", " : "") + QuoteName(table.columns[i].name);
  }
  select += " FROM " + QuoteName(table.name) + " ORDER BY 1";
  std::unique_ptr<Cursor> cursor = db.Open(select, {});
  std::vector<std::vector<Value>> rows;
  while (cursor->Next()) {
    std::vector<Value> row;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      Value value = cursor->Get(i);
      if (value.kind == Value::Kind::kBlob) {
        std::string content;
        cursor->ReadBlob(i, [&](std::string_view piece) { content.append(piece); });
        value = Value::Text("blob:" + content);
      }
      row.push_back(value);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

bool Same(const Value& a, const Value& b) {
  return a.kind == b.kind && a.integer == b.integer && a.scale == b.scale &&
         std::memcmp(&a.real, &b.real, sizeof a.real) == 0 && a.date == b.date &&
         a.time == b.time && a.boolean == b.boolean && a.text == b.text;
}

TEST(RoundTrip, EveryValueOfAWin1251DatabaseArrivesInTheUtf8DatabaseUnchanged) {
  TestDatabase source("WIN1251");
  TestDatabase target("UTF8");
  ASSERT_EQ(testing::RunText(source.ConnectString(), testing::AnsiCharset(), kTables), "");
  ASSERT_EQ(testing::RunText(target.ConnectString(), testing::AnsiCharset(), kTables), "");
  Fill(source.ConnectString());

  const std::string data_file = source.Folder() + "/Data.sql";
  testing::PrepareBlock("Sys_Data.sql", "execute ibeblock(Data_File_Name = '" + data_file + "')",
                        source.Folder() + "/Sys_Data.sql");
  testing::RecordingLogView export_view;
  ASSERT_EQ(testing::RunFile(source.ConnectString(), "WIN1251", source.Folder() + "/Sys_Data.sql",
                             &export_view),
            "");
  EXPECT_EQ(export_view.lines.back(), "Rows written: 3006");
  testing::RecordingProgress progress;
  ASSERT_EQ(
      testing::RunFile(target.ConnectString(), "WIN1251", data_file, nullptr, "SYSDBA", &progress),
      "");

  // The load's progress, against the manifest beside the script: figures
  // that only grow, from the start to all three tables (one of them with a
  // Russian name) and every row.
  ASSERT_FALSE(progress.seen.empty());
  for (size_t i = 0; i < progress.seen.size(); ++i) {
    const LoadProgress& now = progress.seen[i];
    EXPECT_EQ(now.tables_total, 3);
    EXPECT_EQ(now.rows_total, 3006);
    if (i > 0) {
      EXPECT_GE(now.tables_done, progress.seen[i - 1].tables_done);
      EXPECT_GE(now.rows_done, progress.seen[i - 1].rows_done);
    }
  }
  EXPECT_EQ(progress.seen.front(), (LoadProgress{0, 3, 0, 3006}));
  EXPECT_EQ(progress.seen.back(), (LoadProgress{3, 3, 3006, 3006}));

  // Compared over both connections: over UTF8, a text the new database
  // stored in the wrong bytes would show.
  for (const char* charset : {"WIN1251", "UTF8"}) {
    FbDatabase old_db(platform::SystemPlatform().libraries,
                      testing::SysdbaParams(source.ConnectString(), charset));
    FbDatabase new_db(platform::SystemPlatform().libraries,
                      testing::SysdbaParams(target.ConnectString(), charset));
    const std::vector<Table> tables = old_db.UserTables();
    ASSERT_EQ(tables.size(), 3u);  // no view, no temporary table
    ASSERT_EQ(new_db.UserTables().size(), 3u);
    for (const Table& table : tables) {
      const auto old_rows = ReadAll(old_db, table);
      const auto new_rows = ReadAll(new_db, table);
      EXPECT_GE(old_rows.size(), 1u) << table.name;
      ASSERT_EQ(new_rows.size(), old_rows.size()) << table.name;
      for (size_t r = 0; r < old_rows.size(); ++r) {
        for (size_t c = 0; c < table.columns.size(); ++c) {
          EXPECT_TRUE(Same(old_rows[r][c], new_rows[r][c]))
              << charset << ": " << table.name << " row " << r << " column "
              << table.columns[c].name;
        }
      }
    }
  }
  // The new database holds its texts in UTF-8 (two bytes for a Cyrillic
  // letter), while a column without a character set keeps its bytes.
  FbDatabase utf8(platform::SystemPlatform().libraries,
                  testing::SysdbaParams(target.ConnectString(), "UTF8"));
  std::unique_ptr<Cursor> length = utf8.Open(
      "SELECT (SELECT OCTET_LENGTH(C) FROM KINDS WHERE ID = 1),"
      " (SELECT OCTET_LENGTH(VNONE) FROM KINDS WHERE ID = 4) FROM RDB$DATABASE",
      {});
  ASSERT_TRUE(length->Next());
  EXPECT_EQ(length->Get(0).integer, 12);  // "Ёж" and eight blanks
  EXPECT_EQ(length->Get(1).integer, 6);   // "Юникод" in Windows-1251 bytes
}

// Names and texts that would end a comment, a string or a statement of the
// data script if they stood in it as they are.
const char* const kAwkwardNames[] = {
    "A*/B", ";", "^", "'", "\"", "-- x", ":h00000000_00000001", "Таблица", "SELECT", "/*",
};

// What the old database holds that the data script must carry over as it
// is: tables and columns with awkward names, texts in character sets other
// than the connection's (with characters that WIN1251 lacks), and an array
// column without arrays. The new version keeps L in UTF8: its texts arrive
// as the same characters.
std::string AwkwardTables(bool new_version) {
  std::string sql =
      "CREATE TABLE CHARSETS (ID INTEGER NOT NULL PRIMARY KEY,"
      " U VARCHAR(20) CHARACTER SET UTF8, UC CHAR(4) CHARACTER SET UTF8,"
      " L VARCHAR(20) CHARACTER SET " +
      std::string(new_version ? "UTF8" : "ISO8859_1") +
      ", UB BLOB SUB_TYPE TEXT CHARACTER SET UTF8, W VARCHAR(20), A INTEGER[3]);\n";
  for (const char* name : kAwkwardNames) {
    sql += "CREATE TABLE " + QuoteName(name) + " (ID INTEGER NOT NULL PRIMARY KEY, " +
           QuoteName(std::string(name) + " c") + " VARCHAR(40));\n";
  }
  return sql;
}

void FillAwkward(const std::string& database) {
  FbDatabase db(platform::SystemPlatform().libraries, testing::SysdbaParams(database, "UTF8"));
  int id = 0;
  for (const char* name : kAwkwardNames) {
    db.Execute("INSERT INTO " + QuoteName(name) + " VALUES (?, ?)",
               {Int(++id), Value::Text(std::string(name) + " */ ; ^ ' \" -- :B0")}, true);
  }
  std::string long_text;
  while (long_text.size() < 20000) long_text += "€ 中文 ☃ ";
  const char* insert = "INSERT INTO CHARSETS (ID, U, UC, L, UB, W) VALUES (?, ?, ?, ?, ?, ?)";
  db.Execute(insert,
             {Int(1), Value::Text("€ 中文 ☃ ёЁ"), Value::Text("日本"), Value::Text("é ß ÿ ¤"),
              Value::Text("€ blob ☃"), Value::Text("Привет")},
             true);
  db.Execute(insert,
             {Int(2), Value::Text(std::string(20, 'z')), Value::Text("☃☃☃☃"), Value::Text("'"),
              Value::Text(long_text), Value::Text("")},
             true);
  db.Execute(insert,
             {Int(3), Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null()},
             true);
  db.Close();
}

// Exports the data of `source` over a WIN1251 connection as the update
// does; the run's failure, or "".
std::string ExportData(const TestDatabase& source, const std::string& data_file) {
  testing::PrepareBlock("Sys_Data.sql", "execute ibeblock(Data_File_Name = '" + data_file + "')",
                        source.Folder() + "/Sys_Data.sql");
  return testing::RunFile(source.ConnectString(), "WIN1251", source.Folder() + "/Sys_Data.sql");
}

TEST(RoundTrip, AwkwardNamesOtherCharacterSetsAndEmptyArraysArriveUnchanged) {
  TestDatabase source("WIN1251");
  TestDatabase target("UTF8");
  for (const TestDatabase* db : {&source, &target}) {
    ASSERT_EQ(
        testing::RunText(db->ConnectString(), testing::AnsiCharset(), AwkwardTables(db == &target)),
        "");
  }
  FillAwkward(source.ConnectString());

  const std::string data_file = source.Folder() + "/Data.sql";
  ASSERT_EQ(ExportData(source, data_file), "");
  ASSERT_EQ(testing::RunFile(target.ConnectString(), "WIN1251", data_file), "");

  // Over UTF8: the texts that WIN1251 lacks can be read.
  FbDatabase old_db(platform::SystemPlatform().libraries,
                    testing::SysdbaParams(source.ConnectString(), "UTF8"));
  FbDatabase new_db(platform::SystemPlatform().libraries,
                    testing::SysdbaParams(target.ConnectString(), "UTF8"));
  std::vector<Table> tables = old_db.UserTables();
  ASSERT_EQ(tables.size(), std::size(kAwkwardNames) + 1);
  ASSERT_EQ(new_db.UserTables().size(), tables.size());
  for (Table& table : tables) {
    // The array column is compared by whether it holds an array.
    std::erase_if(table.columns, [](const Column& column) { return column.array; });
    const auto old_rows = ReadAll(old_db, table);
    const auto new_rows = ReadAll(new_db, table);
    ASSERT_EQ(new_rows.size(), old_rows.size()) << table.name;
    for (size_t r = 0; r < old_rows.size(); ++r) {
      for (size_t c = 0; c < table.columns.size(); ++c) {
        EXPECT_TRUE(Same(old_rows[r][c], new_rows[r][c]))
            << table.name << " row " << r << " column " << table.columns[c].name << ": "
            << old_rows[r][c].text << " / " << new_rows[r][c].text;
      }
    }
  }
  std::unique_ptr<Cursor> arrays = new_db.Open("SELECT COUNT(*) FROM CHARSETS WHERE A IS NULL", {});
  ASSERT_TRUE(arrays->Next());
  EXPECT_EQ(arrays->Get(0).integer, 3);

  // A script cut short before its end loads nothing of what it did not
  // commit, and fails.
  std::string script = ReadBytes(data_file);
  script.resize(script.rfind("SET DATA END;"));
  WriteBytes(data_file, script);
  TestDatabase second("UTF8");
  ASSERT_EQ(testing::RunText(second.ConnectString(), testing::AnsiCharset(), AwkwardTables(true)),
            "");
  EXPECT_NE(testing::RunFile(second.ConnectString(), "WIN1251", data_file)
                .find("the data script ends before its SET DATA END"),
            std::string::npos);
}

// Texts in character sets that are neither the connection's nor UTF8, one
// of them UTF8 in the new version: the check after the load reads them over
// other connections than the export did and sees the same characters, and
// still finds one that changed.
TEST(RoundTrip, TheCheckSeesTheSameCharactersInColumnsOfOtherCharacterSets) {
  TestDatabase source("WIN1251");
  TestDatabase target("UTF8");
  for (const TestDatabase* db : {&source, &target}) {
    ASSERT_EQ(
        testing::RunText(db->ConnectString(), testing::AnsiCharset(),
                         "CREATE TABLE OTHER (ID INTEGER NOT NULL PRIMARY KEY,"
                         " W VARCHAR(20) CHARACTER SET WIN1252, K CHAR(6) CHARACTER SET KOI8R,"
                         " B BLOB SUB_TYPE TEXT CHARACTER SET WIN1252,"
                         " M VARCHAR(20) CHARACTER SET " +
                             std::string(db == &target ? "UTF8" : "ISO8859_1") + ");\n"),
        "");
  }
  const struct {
    const char* column;
    const char* exported;
    const char* changed;
  } columns[] = {
      {"W", "é€ß Ÿ", "è€ß Ÿ"},
      {"K", "Жук", "Жуки"},
      {"B", "blob é€ ÿ", "blob é€ Ÿ"},
      {"M", "ä ö ü", "ä ö û"},
  };
  {
    FbDatabase db(platform::SystemPlatform().libraries,
                  testing::SysdbaParams(source.ConnectString(), "UTF8"));
    std::vector<Value> row = {Int(1)};
    for (const auto& c : columns) row.push_back(Value::Text(c.exported));
    db.Execute("INSERT INTO OTHER (ID, W, K, B, M) VALUES (?, ?, ?, ?, ?)", row, true);
    db.Execute("INSERT INTO OTHER (ID) VALUES (2)", {}, true);
    db.Close();
  }
  const std::string data_file = source.Folder() + "/Data.sql";
  ASSERT_EQ(ExportData(source, data_file), "");
  ASSERT_EQ(testing::RunFile(target.ConnectString(), "WIN1251", data_file), "");

  const std::string check = "SET DATA CHECK '" + source.Folder() + "/Data.manifest';\n";
  for (const char* charset : {"UTF8", "WIN1251"}) {
    EXPECT_EQ(testing::RunText(target.ConnectString(), charset, check), "") << charset;
  }
  FbDatabase db(platform::SystemPlatform().libraries,
                testing::SysdbaParams(target.ConnectString(), "UTF8"));
  for (const auto& c : columns) {
    SCOPED_TRACE(c.column);
    const std::string update = "UPDATE OTHER SET " + std::string(c.column) + " = ? WHERE ID = 1";
    db.Execute(update, {Value::Text(c.changed)}, true);
    db.Commit();
    EXPECT_NE(testing::RunText(target.ConnectString(), "UTF8", check)
                  .find("\"OTHER\": 2 rows exported, 2 found, checksum differs"),
              std::string::npos);
    db.Execute(update, {Value::Text(c.exported)}, true);
    db.Commit();
  }
  EXPECT_EQ(testing::RunText(target.ConnectString(), "UTF8", check), "");
}

TEST(RoundTrip, AWin1251TextWithTheByteThatIsNoCharacterStopsTheExportByPlace) {
  TestDatabase source("WIN1251");
  ASSERT_EQ(
      testing::RunText(
          source.ConnectString(), testing::AnsiCharset(),
          "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V VARCHAR(10), N VARCHAR(10) CHARACTER "
          "SET NONE, B BLOB SUB_TYPE TEXT);\n"),
      "");
  {
    FbDatabase db(platform::SystemPlatform().libraries,
                  testing::SysdbaParams(source.ConnectString(), "WIN1251"));
    const char* insert = "INSERT INTO T VALUES (?, ?, ?, ?)";
    db.Execute(insert, {Int(1), Value::Text("ok"), Value::Text("\x98 raw"), Value::Null()}, true);
    db.Execute(insert,
               {Int(2), Value::Text("a\x98z"), Value::Null(),
                Value::Text(std::string(9000, 'b') + "\x98")},
               true);
    db.Close();
  }
  const std::string data_file = source.Folder() + "/Data.sql";
  const std::string failure = ExportData(source, data_file);
  EXPECT_NE(failure.find("the byte 0x98"), std::string::npos) << failure;
  EXPECT_NE(failure.find("\"T\".\"V\" row 2 (\"ID\" = 2)\r\n  \"T\".\"B\" row 2 (\"ID\" = 2)"),
            std::string::npos)
      << failure;
  EXPECT_EQ(failure.find("\"N\""), std::string::npos) << failure;  // bytes, carried as they are
  EXPECT_FALSE(platform::SystemPlatform().files.FileExists(data_file));
  EXPECT_FALSE(platform::SystemPlatform().files.FileExists(source.Folder() + "/Data.lob"));
}

// Every type the export knows, narrow enough for 20 rows per fetch.
const char kPackedColumns[] =
    "(ID INTEGER NOT NULL PRIMARY KEY, S SMALLINT, BI BIGINT, N41 NUMERIC(4,1), N92 NUMERIC(9,2),"
    " N184 NUMERIC(18,4), D42 DECIMAL(4,2), D150 DECIMAL(15,0), F FLOAT, DP DOUBLE PRECISION,"
    " DT DATE, TM TIME, TS TIMESTAMP, BO BOOLEAN, CW CHAR(6) CHARACTER SET WIN1251,"
    " VW VARCHAR(20) CHARACTER SET WIN1251, CU CHAR(6) CHARACTER SET UTF8,"
    " VU VARCHAR(20) CHARACTER SET UTF8, CK CHAR(5) CHARACTER SET KOI8R,"
    " CO CHAR(8) CHARACTER SET OCTETS, VO VARCHAR(8) CHARACTER SET OCTETS)";

// Row `i` of a table of kPackedColumns, as texts the server converts, and
// NULL in a different column of each row.
std::vector<Value> PackedRow(int i) {
  const std::string n = std::to_string(i);
  const std::vector<std::string> texts = {
      n,
      std::to_string(i * 7 - 300),
      std::to_string(i * 1000003LL - 40000000000LL),
      std::to_string(i % 90) + ".5",
      "-" + n + "23.45",
      n + "4567.8912",
      "0." + std::to_string(i % 10) + "7",
      std::to_string(i * 99991LL),
      n + ".25e-3",
      "-" + n + "23456.789012345",
      "2024-01-" + std::to_string(1 + i % 28),
      "12:34:" + std::to_string(10 + i % 50) + ".1234",
      "1999-12-31 23:59:" + std::to_string(10 + i % 50) + ".9876",
      i % 2 == 0 ? "TRUE" : "FALSE",
      "Жук" + std::to_string(i % 10),
      "Жёлтый " + n,
      "ёж" + std::to_string(i % 10),
      "Щука ё " + n,
      "Жук",
      std::string("\0\xff\x01", 3) + n,
      std::string("\xfe\0", 2) + n};
  std::vector<Value> row;
  for (size_t j = 0; j < texts.size(); ++j) {
    row.push_back(j > 0 && (static_cast<size_t>(i) + j) % 5 == 0 ? Value::Null()
                                                                 : Value::Text(texts[j]));
  }
  return row;
}

std::string Shown(const Value& v) {
  char real[32] = {};
  std::snprintf(real, sizeof real, "%a", v.real);
  switch (v.kind) {
    case Value::Kind::kNull:
      return "NULL";
    case Value::Kind::kText:
      return "'" + v.text + "'";
    case Value::Kind::kDouble:
      return real;
    default:
      return std::to_string(static_cast<int>(v.kind)) + ":" + std::to_string(v.integer) + "e-" +
             std::to_string(v.scale) + ":" + std::to_string(v.date) + ":" + std::to_string(v.time) +
             ":" + std::to_string(v.boolean);
  }
}

// Every row of `cursor`, each column's value and the UTF-8 of the texts
// that give it.
std::vector<std::string> Rows(Cursor& cursor) {
  std::vector<std::string> rows;
  while (cursor.Next()) {
    std::string row;
    for (size_t i = 0; i < cursor.Columns().size(); ++i) {
      row += Shown(cursor.Get(i)) + " ";
      if (cursor.Columns()[i].unicode_too && !cursor.Get(i).IsNull()) {
        cursor.ReadUnicode(i,
                           [&](std::string_view text) { row += "u'" + std::string(text) + "' "; });
      }
    }
    rows.push_back(row);
  }
  return rows;
}

std::string Described(const std::vector<Column>& columns) {
  std::string text;
  for (const Column& c : columns) {
    text += c.name + " " + std::to_string(static_cast<int>(c.kind)) + " " +
            std::to_string(c.scale) + " " + std::to_string(c.sub_type) + " " +
            std::to_string(c.charset) + " " + std::to_string(c.length) + "\n";
  }
  return text;
}

// How many of the attachment's statements contain `text`.
int64_t StatementsWith(FbDatabase& db, const std::string& text) {
  std::unique_ptr<Cursor> count = db.Open(
      "SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION "
      "AND MON$SQL_TEXT CONTAINING ?",
      {Value::Text(text)});
  count->Next();
  return count->Get(0).integer;
}

// The export and the check read tables several rows per fetch: they must
// see exactly the rows, values and descriptions that one row per fetch
// gives, in databases and over connections of either character set, with
// the last group full, short by one or holding one row.
TEST(PackedReading, GivesWhatThePlainReadingGivesForEveryTypeAndRowCount) {
  const int counts[] = {0, 1, 19, 20, 21, 65};
  for (const char* default_set : {"UTF8", "WIN1251"}) {
    TestDatabase db(default_set);
    std::string tables;
    for (int count : counts)
      tables += "CREATE TABLE T" + std::to_string(count) + kPackedColumns + ";\n";
    // Two rows would not fit one message: read plain.
    tables += "CREATE TABLE WIDE (ID INTEGER, V VARCHAR(32765) CHARACTER SET OCTETS);\n";
    ASSERT_EQ(testing::RunText(db.ConnectString(), "UTF8", tables), "");
    {
      FbDatabase fill(platform::SystemPlatform().libraries,
                      testing::SysdbaParams(db.ConnectString(), "UTF8"));
      for (int count : counts) {
        for (int i = 1; i <= count; ++i) {
          fill.Execute("INSERT INTO T" + std::to_string(count) +
                           " VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                       PackedRow(i), true);
        }
      }
      for (int i = 1; i <= 3; ++i) {
        fill.Execute("INSERT INTO WIDE VALUES (?, ?)",
                     {Value::Text(std::to_string(i)), Value::Text("w")}, true);
      }
      fill.Close();
    }
    for (const char* connection : {"UTF8", "WIN1251"}) {
      FbDatabase reader(platform::SystemPlatform().libraries,
                        testing::SysdbaParams(db.ConnectString(), connection));
      for (Table table : reader.UserTables()) {
        SCOPED_TRACE(std::string(default_set) + " database, " + connection + ", " + table.name);
        table = AsExported(std::move(table), connection);
        std::vector<std::string> plain;
        {
          std::unique_ptr<Cursor> cursor = reader.ReadTable(table, TableReading::kPlain);
          plain = Rows(*cursor);
        }
        std::unique_ptr<Cursor> cursor = reader.ReadTable(table, TableReading::kPacked);
        EXPECT_EQ(Rows(*cursor), plain);
        EXPECT_EQ(StatementsWith(reader, "K = 20; SUSPEND"), table.name == "WIDE" ? 0 : 1);
        cursor.reset();
        reader.Commit();  // the next look at MON$ sees the statements anew
        if (table.name == "WIDE") continue;
        EXPECT_EQ(plain.size(), static_cast<size_t>(std::stoi(table.name.substr(1))));
        // Descriptions, also of a text the select casts to OCTETS.
        const std::string select =
            "SELECT T.*, CAST(CW AS VARCHAR(24) CHARACTER SET OCTETS) AS X FROM " + table.name +
            " T";
        std::unique_ptr<Cursor> direct = reader.Open(select, {});
        std::unique_ptr<Cursor> packed = OpenPacked(reader, select);
        ASSERT_NE(packed, nullptr);
        EXPECT_EQ(Described(packed->Columns()), Described(direct->Columns()));
        EXPECT_EQ(Rows(*packed), Rows(*direct));
      }
    }
  }
}

// A check after a load that lost or changed a row fails naming the table,
// through the packed reading as through the plain one.
TEST(PackedReading, TheCheckNamesATableThatLostOrChangedARow) {
  TestDatabase source("WIN1251");
  TestDatabase target("UTF8");
  for (const TestDatabase* db : {&source, &target}) {
    ASSERT_EQ(testing::RunText(db->ConnectString(), "UTF8",
                               std::string("CREATE TABLE T") + kPackedColumns + ";\n"),
              "");
  }
  {
    FbDatabase db(platform::SystemPlatform().libraries,
                  testing::SysdbaParams(source.ConnectString(), "UTF8"));
    for (int i = 1; i <= 45; ++i) {
      db.Execute("INSERT INTO T VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", PackedRow(i),
                 true);
    }
    db.Close();
  }
  const std::string data_file = source.Folder() + "/Data.sql";
  ASSERT_EQ(ExportData(source, data_file), "");
  ASSERT_EQ(testing::RunFile(target.ConnectString(), "WIN1251", data_file), "");
  const std::string check = "SET DATA CHECK '" + source.Folder() + "/Data.manifest';\n";
  ASSERT_EQ(testing::RunText(target.ConnectString(), "UTF8", check), "");
  const struct {
    const char* change;
    const char* failure;
  } cases[] = {
      {"UPDATE T SET VO = 'x' WHERE ID = 21",
       "\"T\": 45 rows exported, 45 found, checksum differs"},
      {"DELETE FROM T WHERE ID = 40", "\"T\": 45 rows exported, 44 found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change);
    ASSERT_EQ(
        testing::RunText(target.ConnectString(), "UTF8", std::string(c.change) + ";\nCOMMIT;\n"),
        "");
    for (const char* charset : {"UTF8", "WIN1251"}) {
      EXPECT_NE(testing::RunText(target.ConnectString(), charset, check).find(c.failure),
                std::string::npos)
          << charset;
    }
  }
}

}  // namespace
}  // namespace updater::scriptengine
