// The small pieces of the script engine: connect strings, its own
// commands, blob file references, and the exact texts of values.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/platform.h"
#include "scriptengine/blob_file.h"
#include "scriptengine/client_commands.h"
#include "scriptengine/connect_string.h"
#include "scriptengine/data_block.h"
#include "scriptengine/errors.h"
#include "scriptengine/script_charset.h"
#include "scriptengine/sql_tokens.h"
#include "scriptengine/values.h"
#include "support/temp_folder.h"

namespace updater::scriptengine {
namespace {

TEST(ConnectString, TakesTheRunnersPiecesAsWritten) {
  const ConnectParams params = ParseConnectString(
      "db_name=localhost/3051:C:\\Data\\MARLIX.FDB; password= p;w d ; user_name=SYSDBA; "
      "lc_ctype=win1251; sql_role_name=; sql_dialect=3; clientlib=\"fbclient.dll\"");
  EXPECT_EQ(params.database, "localhost/3051:C:\\Data\\MARLIX.FDB");
  EXPECT_EQ(params.password, " p;w d ");
  EXPECT_EQ(params.user, "SYSDBA");
  EXPECT_EQ(params.charset, "WIN1251");
  EXPECT_EQ(params.role, "");
  EXPECT_EQ(params.dialect, 3);
  EXPECT_EQ(params.client_library, "fbclient.dll");

  const ConnectParams other =
      ParseConnectString("DB_NAME=/db.fdb;USER_NAME =u;clientlib=\"my client.dll\";SQL_DIALECT=1");
  EXPECT_EQ(other.database, "/db.fdb");
  EXPECT_EQ(other.user, "u");
  EXPECT_EQ(other.client_library, "my client.dll");
  EXPECT_EQ(other.dialect, 1);
}

TEST(ConnectString, RefusesWhatCannotBeRight) {
  for (const char* text : {"", "password=x; user_name=y", "db_name=; user_name=y",
                           "db_name=a; sql_dialect=4", "nonsense"}) {
    EXPECT_THROW(ParseConnectString(text), ScriptError) << text;
  }
}

TEST(ClientCommands, AreRecognisedAndEverythingElseGoesToTheServer) {
  using K = ClientCommand::Kind;
  const struct {
    const char* statement;
    K kind;
    const char* argument;
  } cases[] = {
      {"SET TERM ^", K::kSetTerm, "^"},
      {"set term !! ", K::kSetTerm, "!!"},
      {"SET TERMINATOR #", K::kSetTerm, "#"},
      {"SET TERM", K::kSetTerm, ";"},  // "SET TERM ^;" while "^" is in force
      {"SET TERM a b", K::kInvalid, "the terminator \"a b\" may hold no blanks or quotes"},
      {"SET AUTODDL OFF", K::kAutoDdl, ""},
      {"set auto on", K::kAutoDdl, ""},
      {"SET AUTOD OFF", K::kAutoDdl, ""},
      {"SET AUTODDL MAYBE", K::kInvalid, "SET AUTODDL takes ON or OFF"},
      {"SET BAIL ON", K::kBail, ""},
      {"SET PLANONLY", K::kPlanOnly, ""},
      {"SET SQL DIALECT 3", K::kDialect, ""},
      {"SET SQL DIALECT 5", K::kInvalid, "SET SQL DIALECT takes 1, 2 or 3"},
      {"SET NAMES win1251", K::kNames, "WIN1251"},
      {"SET BLOBFILE 'script.lob'", K::kBlobFile, "script.lob"},
      {"set blobfile 'C:\\it''s.lob'", K::kBlobFile, "C:\\it's.lob"},
      {"SET BLOBFILE q'{x.lob}'", K::kBlobFile, "x.lob"},
      {"SET BLOBFILE script.lob", K::kInvalid,
       "SET BLOBFILE takes the file name as a string literal"},
      {"/* first */ COMMIT WORK", K::kCommit, ""},
      {"rollback", K::kRollback, ""},
      {"COMMIT RETAIN", K::kSql, ""},
      {"RECONNECT", K::kReconnect, ""},
      {"exit", K::kExit, ""},
      {"QUIT", K::kQuit, ""},
      {"QUIT NOW", K::kInvalid, "QUIT takes no arguments"},
      {"execute ibeblock as begin end", K::kBlock, ""},
      // isql's display settings, short forms included.
      {"SET ECHO ON", K::kIgnored, ""},
      {"SET BLOB ALL", K::kIgnored, ""},
      {"SET STAT ON", K::kIgnored, ""},
      {"SET EXPLAIN ON", K::kIgnored, ""},
      {"SET WNG OFF", K::kIgnored, ""},
      {"SET MAXROWS 10", K::kIgnored, ""},
      {"SET", K::kIgnored, ""},
      {"SET KEEP_TRAN_PARAMS OFF", K::kIgnored, ""},
      {"OUTPUT", K::kIgnored, ""},
      // isql's commands the engine does not carry out.
      {"SET KEEP_TRAN_PARAMS ON", K::kInvalid,
       "the script engine does not carry out isql's SET KEEP_TRAN_PARAMS ON command: after "
       "COMMIT the engine always starts its default transaction"},
      {"SET BULK_INSERT INSERT INTO T VALUES (?)", K::kInvalid,
       "the script engine does not carry out isql's SET BULK_INSERT command"},
      {"SHOW TABLES", K::kInvalid, "the script engine does not carry out isql's SHOW command"},
      {"help set", K::kInvalid, "the script engine does not carry out isql's HELP command"},
      {"IN 'other.sql'", K::kInvalid,
       "the script engine does not carry out isql's INPUT command: run each script by itself"},
      {"OUTPUT 'rows.txt'", K::kInvalid,
       "the script engine does not carry out isql's OUTPUT command: the engine shows no query "
       "results"},
      {"CONNECT 'other.fdb'", K::kInvalid,
       "the script engine does not carry out isql's CONNECT command: the engine works on the "
       "database of its connect string"},
      {"DROP DATABASE", K::kInvalid,
       "the script engine does not carry out isql's DROP DATABASE command: the engine works on "
       "the database of its connect string"},
      // The server's own.
      {"SET AUT ON", K::kSql, ""},  // shorter than isql allows
      {"SET STATISTICS INDEX IX", K::kSql, ""},
      {"SET GENERATOR G TO 5", K::kSql, ""},
      {"SET TRANSACTION READ COMMITTED", K::kSql, ""},
      {"SET TIME ZONE 'UTC'", K::kSql, ""},
      {"EXECUTE BLOCK AS BEGIN END", K::kSql, ""},
      {"INSERT INTO SHOW VALUES (1)", K::kSql, ""},
  };
  for (const auto& c : cases) {
    const ClientCommand command = RecogniseCommand(c.statement);
    EXPECT_EQ(command.kind, c.kind) << c.statement;
    EXPECT_EQ(command.argument, c.argument) << c.statement;
  }
  // Switches: ON, OFF, or alone the other way round from now, as in isql.
  for (const char* statement : {"SET AUTODDL OFF", "SET AUTODDL ON", "SET AUTODDL"}) {
    const ClientCommand command = RecogniseCommand(statement);
    EXPECT_EQ(command.flag, std::string(statement).ends_with("ON")) << statement;
    EXPECT_EQ(command.toggle, std::string(statement) == "SET AUTODDL") << statement;
  }
  EXPECT_EQ(RecogniseCommand("SET SQL DIALECT 1").number, 1);
}

TEST(BlobReferences, StandForParametersOutsideLiteralsAndComments) {
  const ParameterizedStatement p = ReplaceBlobReferences(
      "INSERT INTO T VALUES (:h0000001A_00000100, ':h00000000_00000001', /* :h1_1 */ "
      ":H0000000100000000_00000001,:hzz_1, : h1_1, :hab_12)");
  EXPECT_EQ(
      p.sql,
      "INSERT INTO T VALUES (?, ':h00000000_00000001', /* :h1_1 */ ?,:hzz_1, : h1_1, :hab_12)");
  ASSERT_EQ(p.references.size(), 2u);
  EXPECT_EQ(p.references[0].offset, 0x1Au);
  EXPECT_EQ(p.references[0].length, 0x100u);
  EXPECT_EQ(p.references[1].offset, 0x100000000u);
  EXPECT_EQ(p.references[1].length, 1u);
  EXPECT_EQ(BlobReferenceText(0x1A, 0x100), ":h0000001A_00000100");
  EXPECT_EQ(BlobReferenceText(0x123456789ull, 2), ":h0000000123456789_00000002");
}

// Line ends counted eight bytes at a time: a CR, an LF or a CR LF at every
// place of a run, split over the eight-byte steps or over two runs, counts
// as one byte at a time would.
TEST(LineEnds, CountAlikeWhereverTheyStand) {
  for (const std::string end : {"\r", "\n", "\r\n", "\n\r", "\r\r\n\n"}) {
    for (size_t at = 0; at + end.size() <= 21; ++at) {
      std::string run(21, 'x');
      run.replace(at, end.size(), end);
      for (const char before : {'x', '\r', '\n'}) {
        size_t expected = 0;
        for (size_t i = 0; i < run.size(); ++i) {
          expected += EndsLine(run[i], i > 0 ? run[i - 1] : before) ? 1 : 0;
        }
        EXPECT_EQ(CountLineEnds(run.data(), run.size(), before), expected)
            << "at " << at << ", before " << int{before};
        for (size_t cut = 0; cut <= run.size(); ++cut) {
          const size_t first = CountLineEnds(run.data(), cut, before);
          const size_t second =
              CountLineEnds(run.data() + cut, run.size() - cut, cut > 0 ? run[cut - 1] : before);
          EXPECT_EQ(first + second, expected) << "at " << at << ", cut at " << cut;
        }
      }
    }
  }
}

// A data block's INSERTs all fill the first one's table and columns,
// whichever way a name is written; a block that does anything else runs as
// its text.
TEST(DataBlocks, HoldRowsOfOneTableAndItsColumnsOnly) {
  const struct {
    const char* second;
    bool data_block;
  } cases[] = {
      {"INSERT INTO T (a, \"B\") VALUES (2, 'y');", true},
      {"INSERT INTO \"T\" (\"A\", \"B\") VALUES (2, 'y');", true},  // the first's head
      {"INSERT INTO \"T\" (\"A\", \"B\") VALUES (2, 'y', 3);", false},
      {"INSERT INTO \"U\" (\"A\", \"B\") VALUES (2, 'y');", false},
      {"INSERT INTO \"t\" (\"A\", \"B\") VALUES (2, 'y');", false},
      {"INSERT INTO \"T\" (\"A\", \"C\") VALUES (2, 'y');", false},
      {"INSERT INTO \"T\" (\"B\", \"A\") VALUES (2, 'y');", false},
      {"INSERT INTO \"T\" (\"A\") VALUES (2);", false},
      {"INSERT INTO \"T\" (\"A\", \"B\", \"C\") VALUES (2, 'y', 3);", false},
      {"INSERT INTO \"T\" (\"A\", \"B\") VALUES (2);", false},
      {"UPDATE \"T\" SET \"A\" = 2;", false},
  };
  for (const auto& c : cases) {
    const std::string sql = std::string("EXECUTE BLOCK AS BEGIN\n") +
                            "INSERT INTO \"T\" (\"A\", \"B\") VALUES (1, 'it''s');\n" + c.second +
                            "\nEND";
    const std::optional<DataBlock> block = ParseDataBlock(sql, {});
    ASSERT_EQ(block.has_value(), c.data_block) << c.second;
    if (!block) continue;
    EXPECT_EQ(block->table, "T");
    EXPECT_EQ(block->columns, (std::vector<std::string>{"A", "B"}));
    ASSERT_EQ(block->rows.size(), 2u);
    EXPECT_EQ(block->rows[0][1].text, "it's");
    EXPECT_EQ(block->rows[1][1].text, "y");
  }
}

TEST(BlobFile, ReadsItsPiecesAndRefusesReferencesOutsideIt) {
  testing::TempFolder temp;
  const std::string bytes("0123456789", 10);
  BlobFile file(platform::SystemPlatform().files, temp.MakeFile("v.lob", bytes));
  EXPECT_EQ(file.ReadAll(2, 5), "23456");
  EXPECT_EQ(file.ReadAll(10, 0), "");
  std::vector<std::string> pieces;
  file.Read(0, 10, 4, [&](std::string_view piece) { pieces.emplace_back(piece); });
  EXPECT_EQ(pieces, (std::vector<std::string>{"0123", "4567", "89"}));
  try {
    file.ReadAll(8, 3);
    FAIL() << "no failure";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("the blob file reference :h00000008_00000003 lies "
                                          "outside the blob file",
                                          0),
              0u)
        << e.what();
  }
  EXPECT_THROW(BlobFile(platform::SystemPlatform().files, temp.Path("missing.lob")), ScriptError);
}

// Hands out its text one byte per read, so that every UTF-8 character is
// cut between two reads somewhere.
class ByteBySource final : public ByteSource {
 public:
  explicit ByteBySource(std::string text) : text_(std::move(text)) {}
  size_t Read(char* buffer, size_t size) override {
    if (position_ == text_.size() || size == 0) return 0;
    *buffer = text_[position_++];
    return 1;
  }

 private:
  std::string text_;
  size_t position_ = 0;
};

TEST(MarkedScripts, AreReadInTheConnectionsCharacterSet) {
  const std::string mark(kUtf8Mark);
  // "Роль" in UTF-8 and in Windows-1251; "€" is 0x88 in Windows-1251, "✓"
  // has no byte there.
  const std::string role_utf8 = "\xD0\xA0\xD0\xBE\xD0\xBB\xD1\x8C";
  const std::string role_1251 = "\xD0\xEE\xEB\xFC";
  const struct {
    std::string file;
    std::string charset;
    std::string read;  // or the start of the failure
    bool fails;
  } cases[] = {
      {mark + "GRANT \"" + role_utf8 + "\" TO A; \xE2\x82\xAC", "WIN1251",
       "GRANT \"" + role_1251 + "\" TO A; \x88", false},
      {mark + "GRANT \"" + role_utf8 + "\";", "UTF8", "GRANT \"" + role_utf8 + "\";", false},
      {mark + role_utf8, "", role_utf8, false},
      {mark + "COMMIT;", "ISO8859_1", "COMMIT;", false},
      {mark, "WIN1251", "", false},
      // Not marked: the connection's bytes, whatever they are.
      {"GRANT \"" + role_1251 + "\";", "UTF8", "GRANT \"" + role_1251 + "\";", false},
      {"\xEF\xBB", "WIN1251", "\xEF\xBB", false},
      {"", "WIN1251", "", false},
      {mark + "A \xE2\x9C\x93", "WIN1251",
       "the script is marked as UTF-8, but holds a character that the connection's character "
       "set WIN1251 lacks at byte 5 of the file",
       true},
      {mark + "AB\xD0", "UTF8",
       "the script is marked as UTF-8, but holds bytes that are not UTF-8 at "
       "byte 5 of the file",
       true},
      {mark + "A\xFF", "UTF8",
       "the script is marked as UTF-8, but holds bytes that are not UTF-8 at "
       "byte 4 of the file",
       true},
      {mark + role_utf8, "ISO8859_1",
       "the script is marked as UTF-8, but holds a character that the engine cannot convert to "
       "the connection's character set ISO8859_1 at byte 3 of the file",
       true},
  };
  for (const auto& c : cases) {
    ByteBySource bytes(c.file);
    MarkedScriptSource source(bytes, c.charset);
    std::string read;
    try {
      char buffer[3];
      for (size_t n; (n = source.Read(buffer, sizeof buffer)) > 0;) read.append(buffer, n);
      EXPECT_FALSE(c.fails) << c.file;
      EXPECT_EQ(read, c.read) << c.file;
      EXPECT_EQ(source.Marked(), c.file.rfind(mark, 0) == 0) << c.file;
    } catch (const ScriptError& e) {
      EXPECT_TRUE(c.fails) << c.file << ": " << e.what();
      EXPECT_EQ(e.what(), c.read);
    }
  }
}

TEST(ValueTexts, DatesAreFirebirdsDayNumbersBothWays) {
  EXPECT_EQ(DayNumber(1858, 11, 17), 0);
  EXPECT_EQ(DayNumber(1970, 1, 1), 40587);
  for (const char* text : {"0001-01-01", "1582-10-04", "1899-12-31", "1900-02-28", "2000-02-29",
                           "2024-12-31", "9999-12-31"}) {
    int32_t day = 0;
    ASSERT_TRUE(ParseDate(text, day)) << text;
    EXPECT_EQ(DateText(day), text);
  }
  int32_t day = 0;
  for (const char* bad : {"1900-02-29", "2023-13-01", "0000-01-01", "99-01-01", "2020-1-1"}) {
    EXPECT_FALSE(ParseDate(bad, day)) << bad;
  }
  uint32_t time = 0;
  ASSERT_TRUE(ParseTime("23:59:59.9999", time));
  EXPECT_EQ(time, kTicksPerDay - 1);
  EXPECT_EQ(TimestampText(DayNumber(1899, 12, 31), 1), "1899-12-31 00:00:00.0001");
  // Beyond the range Firebird keeps, the texts still tell the value.
  EXPECT_EQ(DateText(DayNumber(10000, 1, 1)), "10000-01-01");
  EXPECT_EQ(TimeText(kTicksPerDay + 1), "24:00:00.0001");
  EXPECT_FALSE(ParseTime("24:00:00.0000", time));
}

TEST(ValueTexts, ExactNumbersReadBackToTheSameScaledInteger) {
  const struct {
    int64_t integer;
    int scale;
    const char* text;
  } cases[] = {
      {0, 0, "0"},
      {-1, 2, "-0.01"},
      {123400, 4, "12.3400"},
      {std::numeric_limits<int64_t>::min(), 0, "-9223372036854775808"},
      {std::numeric_limits<int64_t>::max(), 18, "9.223372036854775807"},
      {std::numeric_limits<int64_t>::min(), 4, "-922337203685477.5808"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IntegerText(c.integer, c.scale), c.text);
    int64_t integer = 0;
    int scale = 0;
    ASSERT_TRUE(ParseInteger(c.text, integer, scale)) << c.text;
    EXPECT_EQ(integer, c.integer);
    EXPECT_EQ(scale, c.scale);
  }
  int64_t integer = 0;
  int scale = 0;
  EXPECT_FALSE(ParseInteger("9223372036854775808", integer, scale));
  EXPECT_FALSE(ParseInteger("1.2.3", integer, scale));
  EXPECT_FALSE(ParseInteger("-", integer, scale));
}

TEST(ValueTexts, DoublesReadBackBitForBitAndAlwaysAsDoubles) {
  const double cases[] = {0.1,      1.0 / 3,       -2.5,
                          1e300,    DBL_MAX,       DBL_MIN,
                          4.9e-324, 123456789.125, static_cast<double>(0.1f),
                          0.0};
  for (double value : cases) {
    const std::string text = DoubleText(value);
    EXPECT_NE(text.find('e'), std::string::npos) << text;
    double back = 1;
    ASSERT_TRUE(ParseDouble(text, back)) << text;
    EXPECT_EQ(std::memcmp(&back, &value, sizeof value), 0) << text;
  }
  EXPECT_THROW(DoubleText(std::nan("")), ScriptError);
  EXPECT_THROW(DoubleText(HUGE_VAL), ScriptError);
}

}  // namespace
}  // namespace updater::scriptengine
