// The engine on the real server, through the script runner as the update
// uses it: statements and transactions, blob files, bad input, and the
// export blocks of the sample payload.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "fbclient/ibescript_api.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "scriptengine/engine_server_support.h"
#include "support/firebird_server.h"
#include "support/temp_folder.h"

namespace updater::scriptengine {
namespace {

using testing::RecordingLogView;
using ::updater::testing::ReadBytes;
using ::updater::testing::TestDatabase;

// The rows of `sql` as text, one line per row, values joined by "|".
std::string Rows(const std::string& database, const std::string& sql,
                 const std::string& charset = "UTF8") {
  FbDatabase db(platform::SystemPlatform().libraries, testing::SysdbaParams(database, charset));
  std::unique_ptr<Cursor> cursor = db.Open(sql, {});
  std::string rows;
  while (cursor->Next()) {
    for (size_t i = 0; i < cursor->Columns().size(); ++i) {
      const Value& v = cursor->Get(i);
      std::string text = v.IsNull() ? "NULL" : ValueText(v);
      if (v.kind == Value::Kind::kBlob) {
        cursor->ReadBlob(i, [&](std::string_view piece) { text.append(piece); });
      }
      rows += (i > 0 ? "|" : "") + text;
    }
    rows += "\n";
  }
  return rows;
}

// A script text holds UTF-8; it reaches the server in the connection's
// character set on both builds (on Windows the system's ANSI code page is
// Windows-1251, which a UTF8 connection would refuse).
TEST(EngineOnTheServer, ScriptTextsWithCyrillicNamesRunOverEitherCharacterSet) {
  for (const char* charset : {"UTF8", "WIN1251"}) {
    SCOPED_TRACE(charset);
    TestDatabase db(charset);
    EXPECT_EQ(testing::RunText(db.ConnectString(), charset,
                               "CREATE TABLE \"ТАБЛИЦА\" (\"ИМЯ\" VARCHAR(20));\n"
                               "INSERT INTO \"ТАБЛИЦА\" VALUES ('Ёлка');\n"),
              "");
    EXPECT_EQ(Rows(db.ConnectString(), "SELECT \"ИМЯ\" FROM \"ТАБЛИЦА\""), "Ёлка\n");
  }
}

TEST(EngineOnTheServer, RunsStatementsBlocksAndTransactionsAndGoesOnAfterFailures) {
  TestDatabase db("UTF8");
  RecordingLogView view;
  const std::string failure = testing::RunText(
      db.ConnectString(), "UTF8",
      "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20));\n"
      "INSERT INTO T VALUES (1, 'one');\n"
      "INSERT INTO T VALUES (1, 'duplicate');\n"
      "SET TERM ^ ;\n"
      "CREATE PROCEDURE P (N INTEGER) RETURNS (R INTEGER) AS BEGIN R = N * 2; SUSPEND; END^\n"
      "CREATE TRIGGER T_BI FOR T BEFORE INSERT AS BEGIN NEW.NAME = UPPER(NEW.NAME); END^\n"
      "EXECUTE BLOCK AS BEGIN INSERT INTO T VALUES (2, 'two'); END^\n"
      "SET TERM ; ^\n"
      "EXECUTE PROCEDURE P(21);\n"
      "SELECT * FROM P(5);\n"
      "SET AUTODDL OFF;\n"
      "CREATE TABLE LATER (X INTEGER);\n"
      "COMMIT;\n"
      "INSERT INTO LATER VALUES (1);\n"
      "ROLLBACK WORK;\n"
      "INSERT INTO LATER VALUES (2);\n"
      "RECONNECT;\n"
      "INSERT INTO NOWHERE VALUES (3);\n"
      "INSERT INTO T VALUES (3, 'three');",
      &view);
  // The last failure is the one reported; both are on the screen.
  EXPECT_EQ(failure.rfind("Ошибка применения скрипта!\r-------   ERROR   --------\r", 0), 0u)
      << failure;
  EXPECT_NE(failure.find("NOWHERE"), std::string::npos);
  EXPECT_EQ(std::count(view.lines.begin(), view.lines.end(), "------- STATEMENT --------"), 2);
  EXPECT_EQ(Rows(db.ConnectString(), "SELECT ID, NAME FROM T ORDER BY ID"),
            "1|one\n2|TWO\n3|THREE\n");
  EXPECT_EQ(Rows(db.ConnectString(), "SELECT X FROM LATER"), "2\n");
}

TEST(EngineOnTheServer, RunsAScriptMarkedAsUtf8InTheConnectionsCharacterSetOrNotAtAll) {
  TestDatabase db("WIN1251");
  const std::string mark = "\xEF\xBB\xBF";
  std::ofstream(db.Folder() + "/good.sql", std::ios::binary)
      << mark << "CREATE TABLE \"ЁЛКА\" (NAME VARCHAR(10)); INSERT INTO \"ЁЛКА\" VALUES ('Ёж');";
  EXPECT_EQ(testing::RunFile(db.ConnectString(), "WIN1251", db.Folder() + "/good.sql"), "");
  EXPECT_EQ(Rows(db.ConnectString(), "SELECT NAME FROM \"ЁЛКА\""), "Ёж\n");
  // "✓" has no byte in WIN1251: nothing of the script runs.
  std::ofstream(db.Folder() + "/bad.sql", std::ios::binary)
      << mark << "CREATE TABLE LATER (X INTEGER);\nINSERT INTO \"ЁЛКА\" VALUES ('✓');";
  EXPECT_NE(testing::RunFile(db.ConnectString(), "WIN1251", db.Folder() + "/bad.sql")
                .find("holds a character that the connection's character set WIN1251 lacks"),
            std::string::npos);
  EXPECT_EQ(Rows(db.ConnectString(),
                 "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'LATER'"),
            "0\n");
}

TEST(EngineOnTheServer, BindsBlobFileValuesToBlobsAndStrings) {
  TestDatabase db("UTF8");
  std::string bytes = "Текст блоба, 'кавычки'\r\n";
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  std::ofstream(db.Folder() + "/values.lob", std::ios::binary) << bytes;
  const std::string text_length = std::to_string(bytes.size() - 256);
  std::ofstream(db.Folder() + "/load.sql", std::ios::binary)
      << "CREATE TABLE B (ID INTEGER, T BLOB SUB_TYPE TEXT, BIN BLOB, S VARCHAR(100), "
         "O VARCHAR(300) CHARACTER SET OCTETS);\n"
         "SET BLOBFILE 'values.lob';\n"
         "INSERT INTO B VALUES (1, :h00000000_000000"
      << std::hex << (bytes.size() - 256) << ", :h000000" << (bytes.size() - 256)
      << "_00000100, :h00000000_000000" << (bytes.size() - 256) << ", :h000000"
      << (bytes.size() - 256) << "_00000100);\n"
      << std::dec << "INSERT INTO B (ID, BIN) VALUES (2, :h00000000_00001000);\n";
  const std::string failure =
      testing::RunFile(db.ConnectString(), "UTF8", db.Folder() + "/load.sql");
  EXPECT_NE(failure.find("the blob file reference :h00000000_00001000 lies outside the blob file"),
            std::string::npos)
      << failure;
  const std::string text = bytes.substr(0, bytes.size() - 256);
  const std::string binary = bytes.substr(bytes.size() - 256);
  EXPECT_EQ(Rows(db.ConnectString(), "SELECT T, BIN, S, O FROM B"),
            text + "|" + binary + "|" + text + "|" + binary + "\n");
}

TEST(EngineOnTheServer, BadInputGetsAClearErrorAndNothingWorse) {
  TestDatabase db("WIN1251");
  const struct {
    std::string script;
    std::string error;
  } cases[] = {
      {"INSERT INTO X VALUES ('never closed);",
       "string literal not closed at the end of the script"},
      {"SELECT 1 FROM RDB$DATABASE; /* never closed",
       "comment not closed at the end of the script"},
      {"EXECUTE IBEBLOCK AS BEGIN x = 1;", "block not closed by END at the end of the script"},
      {"INSERT INTO X VALUES (:h00000000_00000001);", "no SET BLOBFILE came before it"},
      {"SET BLOBFILE 'missing.lob';\nINSERT INTO X VALUES (:h00000000_00000001);",
       "the blob file cannot be opened"},
      {"SET AUTODDL MAYBE;", "SET AUTODDL takes ON or OFF"},
  };
  for (const auto& c : cases) {
    const std::string failure = testing::RunText(db.ConnectString(), "WIN1251", c.script);
    EXPECT_NE(failure.find(c.error), std::string::npos) << c.script << " -> " << failure;
  }
  const std::string wrong_password =
      testing::RunText(db.ConnectString(), "WIN1251", "COMMIT;", nullptr, "SYSDBA", "wrong");
  EXPECT_EQ(wrong_password.rfind("Ошибка подключения к базе данных!\rYour user name and password "
                                 "are not defined",
                                 0),
            0u)
      << wrong_password;
}

TEST(EngineOnTheServer, AFailedCommitLosesItsOwnTransactionOnlyAndIsReportedOnce) {
  TestDatabase db("UTF8");
  RecordingLogView view;
  std::ofstream(db.Folder() + "/commit.sql", std::ios::binary)
      << "create table t (id int);\n"
         "insert into t values (1); insert into t values (1);\n"
         "set autoddl off;\n"
         "create unique index t_uq on t (id);\n"
         "commit;\n"
         "create table t2 (a int);\n"
         "commit;\n"
         "insert into t2 values (42);\n"
         "commit;\n"
         "insert into t2 values (7); insert into t2 values (7);\n"
         "create unique index t2_uq on t2 (a);\n";  // fails at the end of the run
  const std::string failure =
      testing::RunFile(db.ConnectString(), "UTF8", db.Folder() + "/commit.sql", &view);
  EXPECT_NE(failure.find("The transaction is rolled back: its work since the last commit is lost."),
            std::string::npos)
      << failure;
  EXPECT_EQ(std::count(view.lines.begin(), view.lines.end(), "------- STATEMENT --------"), 2);
  EXPECT_EQ(Rows(db.ConnectString(), "SELECT COUNT(*) FROM T"), "0\n");
  EXPECT_EQ(Rows(db.ConnectString(), "SELECT A FROM T2"), "42\n");
  EXPECT_EQ(Rows(db.ConnectString(),
                 "SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$INDEX_NAME "
                 "IN ('T_UQ', 'T2_UQ')"),
            "0\n");
}

TEST(EngineOnTheServer, StatementsAndBlocksSeeWhatTheAutomaticDdlBeforeThemCreated) {
  TestDatabase db("UTF8");
  RecordingLogView view;
  // The script's transaction starts before B exists.
  EXPECT_EQ(testing::RunText(db.ConnectString(), "UTF8",
                             "CREATE TABLE A (X INTEGER);\nINSERT INTO A VALUES (1);\n"
                             "CREATE TABLE B (X INTEGER);\nINSERT INTO B VALUES (5);\n"
                             "EXECUTE IBEBLOCK AS BEGIN\n"
                             "  FOR SELECT X FROM B INTO :x DO ibec_progress('B holds ' || x);\n"
                             "END",
                             &view),
            "");
  EXPECT_NE(std::find(view.lines.begin(), view.lines.end(), "B holds 5"), view.lines.end());
  EXPECT_EQ(Rows(db.ConnectString(), "SELECT X FROM B"), "5\n");
}

TEST(EngineOnTheServer, AStatementWithANulByteIsRefusedNotCutShort) {
  using std::string_literals::operator""s;
  TestDatabase db("UTF8");
  // Not "nul.sql": on Windows that name is the NUL device's.
  std::ofstream(db.Folder() + "/nul-byte.sql", std::ios::binary)
      << "create table t (a int);\ninsert into t values (1);\n"
         "insert into t values (2);\ndelete from t\0 where a = 1;\n"s;
  const std::string failure =
      testing::RunFile(db.ConnectString(), "UTF8", db.Folder() + "/nul-byte.sql");
  EXPECT_NE(failure.find("the statement holds a NUL byte"), std::string::npos) << failure;
  EXPECT_EQ(Rows(db.ConnectString(), "SELECT A FROM T ORDER BY A"), "1\n2\n");
}

// A data script loads with the database's forced writes off, and leaves
// the setting as it found it, whether the script ends well or is cut short.
TEST(EngineOnTheServer, ADataLoadWritesWithoutForcedWritesAndRestoresThem) {
  const struct {
    const char* name;
    bool forced_before;
    bool whole;  // ends with SET DATA END
  } cases[] = {
      {"whole script", true, true},
      {"cut short", true, false},
      {"forced writes off before", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestDatabase db("UTF8");
    const ConnectParams params = testing::SysdbaParams(db.ConnectString(), "WIN1251");
    {
      FbDatabase setup(platform::SystemPlatform().libraries, params);
      setup.Execute("CREATE TABLE SEEN (FORCED SMALLINT)", {}, true);
      if (!c.forced_before) setup.SetForcedWrites(false);
      ASSERT_EQ(setup.ForcedWrites(), c.forced_before);
      setup.Close();
    }
    std::ofstream(db.Folder() + "/Data.sql", std::ios::binary)
        << "SET DATA BEGIN;\n"
           "INSERT INTO SEEN SELECT MON$FORCED_WRITES FROM MON$DATABASE;\n"
           "COMMIT WORK;\n"
        << (c.whole ? "SET DATA END;\n" : "");
    const std::string failure =
        testing::RunFile(db.ConnectString(), "WIN1251", db.Folder() + "/Data.sql");
    EXPECT_EQ(failure.empty(), c.whole) << failure;
    EXPECT_EQ(Rows(db.ConnectString(), "SELECT FORCED FROM SEEN"), "0\n");
    FbDatabase after(platform::SystemPlatform().libraries, params);
    EXPECT_EQ(after.ForcedWrites(), c.forced_before);
  }
}

// The rows `first` to `last` of table `table` as a data block of the export;
// row `bad` of PLAIN holds `refused_value` as its S (by default a text
// longer than S takes).
std::string DataBlockOf(const std::string& table, int first, int last, int bad,
                        const std::string& refused_value = "'far too long'") {
  std::string block = "EXECUTE BLOCK\nAS BEGIN\n";
  for (int row = first; row <= last; ++row) {
    const bool refused = row == bad && table == "PLAIN";
    block += "INSERT INTO \"" + table + "\" (\"ID\", \"S\") VALUES (" + std::to_string(row) + ", " +
             (refused ? refused_value : "'s" + std::to_string(row) + "'") + ");\n";
  }
  return block + "END^\n";
}

// Chooses the attachments of the data loads in its scope: one or two
// (UPDATER_LOAD_ATTACHMENTS), whatever the default.
class LoadAttachments {
 public:
  explicit LoadAttachments(int count) { Set(count == 1 ? one_ : two_); }
  ~LoadAttachments() { Set(unset_); }
  LoadAttachments(const LoadAttachments&) = delete;
  LoadAttachments& operator=(const LoadAttachments&) = delete;

 private:
  // putenv keeps the text itself: it must live on.
  static void Set(char* setting) { ASSERT_EQ(putenv(setting), 0); }
  static inline char one_[] = "UPDATER_LOAD_ATTACHMENTS=1";
  static inline char two_[] = "UPDATER_LOAD_ATTACHMENTS=2";
  static inline char unset_[] = "UPDATER_LOAD_ATTACHMENTS=";
};

// A data script's blocks go over the script's attachment and a second one
// at once: those of a table without keys, references and triggers over
// both, the others over the script's own (two attachments would wait for
// each other's uncommitted keys). The second attachment is there from SET
// DATA BEGIN to SET DATA END. A failed block is reported by its own table
// and row; what is committed afterwards is what one attachment leaves.
TEST(EngineOnTheServer, ADataScriptLoadsOverTwoAttachmentsAndFailsAsOneWould) {
  const struct {
    const char* name;
    int attachments;  // chosen for the load
    bool bail;
    int bad;                    // a row of PLAIN that the table refuses, or 0
    const char* refused_value;  // its S: too long for the column, or NULL, which it refuses
    const char* failure;
    const char* plain;  // rows and sum of IDs committed
    const char* keyed;
    const char* seen;
  } cases[] = {
      {"clean", 2, false, 0, "", "", "250|31375\n", "250|31375\n", "after|1\nduring|2\n"},
      {"a failed block goes on", 2, false, 130, "'far too long'",
       "the data of \"PLAIN\", row 130, column \"S\": ", "200|25100\n", "250|31375\n",
       "after|1\nduring|2\n"},
      // A value that the server refuses as it stores the block's one
      // request of rows: none of the block's rows stays, and its INSERTs,
      // run again, name the row.
      {"refused by the server", 2, false, 130, "NULL", "the data of \"PLAIN\", row 130",
       "200|25100\n", "250|31375\n", "after|1\nduring|2\n"},
      // SET BAIL ON: nothing after the failed block stays, whichever
      // attachment ran it; the work before the last commit does.
      {"bail", 2, true, 130, "'far too long'",
       "the data of \"PLAIN\", row 130, column \"S\": ", "100|5050\n", "100|5050\n", "during|2\n"},
      // Where one attachment is chosen, the same script loads over the
      // script's own only.
      {"one attachment", 1, false, 130, "'far too long'",
       "the data of \"PLAIN\", row 130, column \"S\": ", "200|25100\n", "250|31375\n",
       "after|1\nduring|1\n"},
      {"refused by the server, one attachment", 1, false, 130, "NULL",
       "the data of \"PLAIN\", row 130", "200|25100\n", "250|31375\n", "after|1\nduring|1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const LoadAttachments chosen(c.attachments);
    TestDatabase db("UTF8");
    ASSERT_EQ(testing::RunText(db.ConnectString(), "WIN1251",
                               "CREATE TABLE PLAIN (ID INTEGER, S VARCHAR(8) NOT NULL,"
                               " C INTEGER DEFAULT CURRENT_CONNECTION);"
                               "CREATE TABLE KEYED (ID INTEGER NOT NULL PRIMARY KEY, S VARCHAR(8),"
                               " C INTEGER DEFAULT CURRENT_CONNECTION);"
                               "CREATE TABLE SEEN (WHAT VARCHAR(10), N INTEGER);"),
              "");
    const std::string attachments =
        "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0";
    std::string script = c.bail ? "SET BAIL ON;\n" : "";
    script += "SET DATA BEGIN;\nSET TERM ^ ;\n";
    // Two blocks of PLAIN first, while both attachments are free: they take
    // one each.
    for (const auto& [from, to] : {std::pair{1, 100}, std::pair{101, 250}}) {
      for (const char* table : {"PLAIN", "KEYED"}) {
        for (int first = from; first < to; first += 50) {
          script += DataBlockOf(table, first, first + 49, c.bad, c.refused_value);
        }
      }
      if (from == 1) {
        script += "INSERT INTO SEEN SELECT 'during', (" + attachments + ") FROM RDB$DATABASE^\n";
        script += "COMMIT WORK^\n";
      }
    }
    script += "COMMIT WORK^\nSET TERM ; ^\nSET DATA END;\n";
    script += "INSERT INTO SEEN SELECT 'after', (" + attachments + ") FROM RDB$DATABASE;\n";
    std::ofstream(db.Folder() + "/Data.sql", std::ios::binary) << script;

    const std::string failure =
        testing::RunFile(db.ConnectString(), "WIN1251", db.Folder() + "/Data.sql");
    if (*c.failure == '\0') {
      EXPECT_EQ(failure, "");
    } else {
      EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
    }
    EXPECT_EQ(Rows(db.ConnectString(), "SELECT COUNT(*), SUM(ID) FROM PLAIN"), c.plain);
    EXPECT_EQ(Rows(db.ConnectString(), "SELECT COUNT(*), SUM(ID) FROM KEYED"), c.keyed);
    EXPECT_EQ(Rows(db.ConnectString(), "SELECT WHAT, N FROM SEEN ORDER BY WHAT"), c.seen);
    EXPECT_EQ(Rows(db.ConnectString(), "SELECT COUNT(*) FROM PLAIN WHERE S <> 's' || ID"), "0\n");
    if (!c.bail) {
      EXPECT_EQ(Rows(db.ConnectString(), "SELECT COUNT(DISTINCT C) FROM PLAIN"),
                std::to_string(c.attachments) + "\n");
      EXPECT_EQ(Rows(db.ConnectString(), "SELECT COUNT(DISTINCT C) FROM KEYED"), "1\n");
    }
  }
}

// The load keeps a bounded number of compiled requests (32), one per table,
// rows per request and texts' field lengths, and lets go of the one used
// least recently. A block whose groups take two requests stores every row
// when compiling the second finds the cache full: W's rows (a VARCHAR(8000)
// each, with texts of over 4,096 characters, so that its field is the
// column's whole width) go four to a request; its first block leaves the
// request of 4, thirty-one tables fill the cache, and the second block
// takes groups of 4, 4 and 3.
TEST(EngineOnTheServer, ABlockStoresEveryRowWhenItsRequestsPushEachOtherOut) {
  const LoadAttachments one(1);  // one attachment: one cache
  TestDatabase db("UTF8");
  std::string tables = "CREATE TABLE W (ID INTEGER, S VARCHAR(8000));\n";
  for (int t = 0; t < 31; ++t) {
    tables += "CREATE TABLE T" + std::to_string(t) + " (ID INTEGER, S VARCHAR(8));\n";
  }
  ASSERT_EQ(testing::RunText(db.ConnectString(), "WIN1251", tables), "");
  const std::string wide(5000, 'x');
  const auto block = [&](const std::string& table, int first, int last) {
    std::string text = "EXECUTE BLOCK\nAS BEGIN\n";
    for (int row = first; row <= last; ++row) {
      text += "INSERT INTO \"" + table + "\" (\"ID\", \"S\") VALUES (" + std::to_string(row) +
              ", 's" + std::to_string(row) + (table == "W" ? wide : "") + "');\n";
    }
    return text + "END^\n";
  };
  std::string script = "SET DATA BEGIN;\nSET TERM ^ ;\n" + block("W", 1, 8);
  for (int t = 0; t < 31; ++t) script += block("T" + std::to_string(t), 1, 1);
  script += block("W", 9, 19) + "COMMIT WORK^\nSET TERM ; ^\nSET DATA END;\n";
  std::ofstream(db.Folder() + "/Data.sql", std::ios::binary) << script;

  EXPECT_EQ(testing::RunFile(db.ConnectString(), "WIN1251", db.Folder() + "/Data.sql"), "");
  EXPECT_EQ(Rows(db.ConnectString(),
                 "SELECT COUNT(*), SUM(ID) FROM W WHERE S = 's' || ID || RPAD('', 5000, 'x')"),
            "19|190\n");
  EXPECT_EQ(Rows(db.ConnectString(), "SELECT COUNT(*) FROM T30"), "1\n");
}

// The engine's own answers through its entry points, without the runner's
// checks in front of them.
std::vector<std::string> engine_errors;
int32_t UPDATER_STDCALL KeepError(const char* statement, const char* error) {
  engine_errors.push_back(platform::AnsiToUtf8(std::string(statement) + "|" + error));
  return 0;
}
int32_t UPDATER_STDCALL KeepConnectError(const char* error) { return KeepError("", error); }
int32_t UPDATER_STDCALL IgnoreText(int32_t, const char*) { return 0; }
int32_t UPDATER_STDCALL IgnoreResult(int32_t, int32_t) { return 0; }

TEST(EngineOnTheServer, ItsEntryPointsReportWhatTheyCannotDo) {
  TestDatabase db("WIN1251");
  auto loaded = platform::SystemPlatform().libraries.Load("IBEScript.dll");
  ASSERT_TRUE(loaded.ok());
  const auto connect = reinterpret_cast<ConnectFunction>(loaded.value()->FindSymbol("Connect"));
  const auto file =
      reinterpret_cast<ExecScriptFunction>(loaded.value()->FindSymbol("ExecScriptFile"));
  const auto text =
      reinterpret_cast<ExecScriptFunction>(loaded.value()->FindSymbol("ExecScriptText"));
  const std::string good = "db_name=" + db.ConnectString() +
                           "; password=" + ::updater::testing::RequireTestServer().sysdba_password +
                           "; user_name=SYSDBA; lc_ctype=WIN1251";
  engine_errors.clear();
  EXPECT_EQ(text("COMMIT;", KeepError, IgnoreText, IgnoreResult), 1);  // before any Connect
  EXPECT_EQ(connect("user_name=SYSDBA", KeepConnectError), 1);
  EXPECT_EQ(connect((good + "; clientlib=\"no-client.dll\"").c_str(), KeepConnectError), 1);
  ASSERT_EQ(connect(good.c_str(), KeepConnectError), 0);
  EXPECT_EQ(file((db.Folder() + "/missing.sql").c_str(), KeepError, IgnoreText, IgnoreResult), 1);
  EXPECT_EQ(text("", KeepError, IgnoreText, IgnoreResult), 0);  // nothing to do, nothing wrong
  ASSERT_EQ(engine_errors.size(), 4u);
  EXPECT_EQ(engine_errors[0], "|the engine is not connected: Connect must succeed first");
  EXPECT_EQ(engine_errors[1], "|the connect string names no database (db_name=...)");
  EXPECT_EQ(
      engine_errors[2].rfind("|Невозможно загрузить клиентскую библиотеку \"no-client.dll\"", 0),
      0u)
      << engine_errors[2];
  // The system's own words follow: open(...) on Linux, CreateFileW(...) on
  // Windows, with the path.
  EXPECT_EQ(engine_errors[3].rfind("|the script file cannot be opened: ", 0), 0u)
      << engine_errors[3];
  EXPECT_NE(engine_errors[3].find(db.Folder() + "/missing.sql"), std::string::npos)
      << engine_errors[3];
}

TEST(EngineOnTheServer, TheSampleBlocksWriteGeneratorsAndRolesThatRestoreThem) {
  TestDatabase old_db("WIN1251");
  TestDatabase new_db("UTF8");
  const std::string schema =
      "CREATE SEQUENCE G_ONE; CREATE SEQUENCE \"g two\"; CREATE TABLE ID_T (ID INTEGER "
      "GENERATED BY DEFAULT AS IDENTITY); CREATE ROLE R_READER; CREATE ROLE \"Role Two\";";
  ASSERT_EQ(testing::RunText(old_db.ConnectString(), "WIN1251", schema), "");
  ASSERT_EQ(testing::RunText(new_db.ConnectString(), "UTF8", schema), "");
  ASSERT_EQ(testing::RunText(old_db.ConnectString(), "WIN1251",
                             "ALTER SEQUENCE G_ONE RESTART WITH 1234567890123;"
                             "SET GENERATOR \"g two\" TO -5;"
                             "GRANT R_READER TO CLERK; GRANT R_READER TO AUDITOR WITH ADMIN OPTION;"
                             "GRANT \"Role Two\" TO CLERK; GRANT R_READER TO ADMN;"),
            "");

  const std::string folder = old_db.Folder();
  testing::PrepareBlock("Sys_Generators.sql",
                        "execute ibeblock(Generators_File_Name = '" + folder + "/Generators.sql')",
                        folder + "/Sys_Generators.sql");
  testing::PrepareBlock("Sys_Roles.sql",
                        "execute ibeblock(Roles_File_Name = '" + folder + "/Roles.sql')",
                        folder + "/Sys_Roles.sql");
  ASSERT_EQ(testing::RunFile(old_db.ConnectString(), "WIN1251", folder + "/Sys_Generators.sql"),
            "");
  ASSERT_EQ(testing::RunFile(old_db.ConnectString(), "UTF8", folder + "/Sys_Roles.sql"), "");
  EXPECT_EQ(ReadBytes(folder + "/Generators.sql"),
            "\xEF\xBB\xBF"
            "ALTER SEQUENCE \"G_ONE\" RESTART WITH 1234567890123;\r\n"
            "ALTER SEQUENCE \"g two\" RESTART WITH -5;\r\n"
            "COMMIT WORK;\r\n");
  EXPECT_EQ(ReadBytes(folder + "/Roles.sql"),
            "\xEF\xBB\xBF"
            "GRANT \"R_READER\" TO \"AUDITOR\" WITH ADMIN OPTION;\r\n"
            "GRANT \"R_READER\" TO \"CLERK\";\r\n"
            "GRANT \"Role Two\" TO \"CLERK\";\r\n"
            "COMMIT WORK;\r\n");

  ASSERT_EQ(testing::RunFile(new_db.ConnectString(), "UTF8", folder + "/Generators.sql"), "");
  ASSERT_EQ(testing::RunFile(new_db.ConnectString(), "UTF8", folder + "/Roles.sql"), "");
  EXPECT_EQ(Rows(new_db.ConnectString(),
                 "SELECT GEN_ID(G_ONE, 0), GEN_ID(\"g two\", 0) FROM RDB$DATABASE"),
            "1234567890123|-5\n");
  EXPECT_EQ(Rows(new_db.ConnectString(),
                 "SELECT TRIM(RDB$RELATION_NAME), TRIM(RDB$USER), RDB$GRANT_OPTION "
                 "FROM RDB$USER_PRIVILEGES WHERE RDB$PRIVILEGE = 'M' AND RDB$USER_TYPE = 8 "
                 "ORDER BY 1, 2"),
            "R_READER|AUDITOR|2\nR_READER|CLERK|0\nRole Two|CLERK|0\n");
}

}  // namespace
}  // namespace updater::scriptengine
