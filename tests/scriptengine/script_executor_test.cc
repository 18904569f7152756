#include "scriptengine/script_executor.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/platform.h"
#include "scriptengine/errors.h"
#include "scriptengine/fake_database.h"
#include "scriptengine/recording_reporter.h"
#include "support/temp_folder.h"

namespace updater::scriptengine {
namespace {

using testing::FakeDatabase;
using testing::RecordingReporter;

class ScriptExecutorTest : public ::testing::Test {
 protected:
  int Run(const std::string& script) {
    TextSource source(script);
    ScriptExecutor executor(db, platform::SystemPlatform().files, reporter, temp.path());
    return executor.Run(source);
  }
  std::vector<std::string> CommittedSql() const {
    std::vector<std::string> sql;
    for (const auto& executed : db.Committed()) sql.push_back(executed.sql);
    return sql;
  }

  ::updater::testing::TempFolder temp;
  FakeDatabase db;
  RecordingReporter reporter;
};

TEST_F(ScriptExecutorTest, ReportsEveryStatementAndGoesOnAfterAFailure) {
  db.FailOn("BROKEN", "Table unknown\r\nBROKEN");
  const int failures =
      Run("INSERT INTO A VALUES (1);\n"
          "INSERT INTO BROKEN VALUES (2);\n"
          "INSERT INTO A VALUES (3);");
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(reporter.events, (std::vector<std::string>{
                                 "text 1: INSERT INTO A VALUES (1)", "done 1: 1",
                                 "text 2: INSERT INTO BROKEN VALUES (2)",
                                 "error: INSERT INTO BROKEN VALUES (2) | Table unknown\r\nBROKEN",
                                 "done 2: 0", "text 3: INSERT INTO A VALUES (3)", "done 3: 1"}));
  // The end of the script commits what the statements did.
  EXPECT_EQ(CommittedSql(),
            (std::vector<std::string>{"INSERT INTO A VALUES (1)", "INSERT INTO A VALUES (3)"}));
  EXPECT_TRUE(db.Pending().empty());
}

TEST_F(ScriptExecutorTest, CarriesOutItsOwnCommands) {
  const int failures =
      Run("SET SQL DIALECT 1;\n"
          "CREATE TABLE A (X INTEGER);\n"  // committed at once: AUTODDL is on
          "INSERT INTO A VALUES (1);\n"
          "ROLLBACK;\n"  // takes the insert back
          "SET AUTODDL OFF;\n"
          "CREATE TABLE B (X INTEGER);\n"  // waits for the COMMIT
          "SET TERM !! ;\n"
          "EXECUTE BLOCK AS BEGIN INSERT INTO A VALUES (2); END !!\n"
          "COMMIT WORK!!\n"
          "SET TERM ;!!\n"
          "SET NAMES UTF8;\n"
          "RECONNECT;\n"
          "SET ECHO ON;\n"
          "SET AUTODDL SOMETIMES;\n");
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(reporter.errors, (std::vector<std::string>{"SET AUTODDL takes ON or OFF"}));
  EXPECT_EQ(db.dialect, 1);
  EXPECT_EQ(CommittedSql(),
            (std::vector<std::string>{"CREATE TABLE A (X INTEGER)", "CREATE TABLE B (X INTEGER)",
                                      "EXECUTE BLOCK AS BEGIN INSERT INTO A VALUES (2); END"}));
  EXPECT_EQ(db.rollbacks, 1);
  EXPECT_EQ(db.connections, 2);
  EXPECT_EQ(db.Charset(), "UTF8");
  ASSERT_EQ(db.Committed().size(), 3u);
  EXPECT_TRUE(db.Committed()[0].auto_ddl);
  EXPECT_FALSE(db.Committed()[1].auto_ddl);
}

// What a script leaves behind when commits fail, when it ends early and
// when it only plans: the committed statements, the failures and the
// engine's own lines about an early end.
TEST(ScriptExecutor, EndsTransactionsAsIsqlDoesAndLosesOnlyWhatFailed) {
  const std::string kDuplicates = "attempt to store duplicate value in unique index \"T_UQ\"";
  const struct {
    const char* name;
    const char* script;
    int failures;
    std::vector<std::string> committed;
    std::vector<std::string> errors;
    std::vector<std::string> notes;  // texts with number 0
  } cases[] = {
      {"a DDL statement that fails at its commit loses only itself",
       "INSERT INTO T VALUES (1);\nCREATE UNIQUE INDEX T_UQ ON T (ID);\n"
       "CREATE TABLE T2 (A INT);\nINSERT INTO T2 VALUES (42);",
       1,
       {"CREATE TABLE T2 (A INT)", "INSERT INTO T VALUES (1)", "INSERT INTO T2 VALUES (42)"},
       {kDuplicates},
       {}},
      {"a failed COMMIT rolls its transaction back; later work commits",
       "SET AUTODDL OFF;\nINSERT INTO T VALUES (1);\nCREATE UNIQUE INDEX T_UQ ON T (ID);\n"
       "COMMIT;\nCREATE TABLE T2 (A INT);\nCOMMIT;",
       1,
       {"CREATE TABLE T2 (A INT)"},
       {kDuplicates +
        "\r\nThe transaction is rolled back: its work since the last commit is lost."},
       {}},
      {"a failed commit at the end is reported once",
       "SET AUTO OFF;\nCREATE UNIQUE INDEX T_UQ ON T (ID);",
       1,
       {},
       {kDuplicates +
        "\r\nThe transaction is rolled back: its work since the last commit is lost."},
       {}},
      {"SET AUTODDL alone switches it the other way",
       "SET AUTODDL;\nCREATE TABLE A (X INT);\nROLLBACK;\nSET AUTODDL;\n"
       "CREATE TABLE B (X INT);\nROLLBACK;",
       0,
       {"CREATE TABLE B (X INT)"},
       {},
       {}},
      {"SET BAIL ON ends the script at its first failure and rolls back",
       "CREATE TABLE T (A INT);\nINSERT INTO T VALUES (1);\nSET BAIL ON;\n"
       "INSERT INTO BROKEN VALUES (2);\nINSERT INTO T VALUES (3);",
       1,
       {"CREATE TABLE T (A INT)"},
       {"Table unknown BROKEN"},
       {"SET BAIL ON: the failure at line 4 ends the script; the work since the last commit is "
        "rolled back; the statements after it are not run"}},
      {"EXIT commits and ends the script",
       "INSERT INTO T VALUES (1);\nEXIT;\nINSERT INTO T VALUES (2);",
       0,
       {"INSERT INTO T VALUES (1)"},
       {},
       {"EXIT at line 2 ends the script; the statements after it are not run"}},
      {"EXIT as the last statement says nothing more",
       "INSERT INTO T VALUES (1);\nEXIT;",
       0,
       {"INSERT INTO T VALUES (1)"},
       {},
       {}},
      {"QUIT rolls back and ends the script",
       "INSERT INTO T VALUES (1);\nQUIT;",
       0,
       {},
       {},
       {"QUIT at line 2 ends the script; the work since the last commit is rolled back"}},
  };
  for (const auto& c : cases) {
    FakeDatabase db;
    db.FailOn("BROKEN", "Table unknown BROKEN");
    db.FailAtCommit("T_UQ", kDuplicates);
    RecordingReporter reporter;
    TextSource source(c.script);
    ScriptExecutor executor(db, platform::SystemPlatform().files, reporter, "");
    EXPECT_EQ(executor.Run(source), c.failures) << c.name;
    std::vector<std::string> committed;
    for (const auto& executed : db.Committed()) committed.push_back(executed.sql);
    std::sort(committed.begin(), committed.end());
    EXPECT_EQ(committed, c.committed) << c.name;
    EXPECT_TRUE(db.Pending().empty()) << c.name;
    EXPECT_EQ(reporter.errors, c.errors) << c.name;
    std::vector<std::string> notes;
    for (const std::string& event : reporter.events) {
      if (event.rfind("text 0: ", 0) == 0) notes.push_back(event.substr(8));
    }
    EXPECT_EQ(notes, c.notes) << c.name;
  }
}

// Data blocks run while the statements after them are read: what the
// reporter hears stays in the script's order, a failure is its own block's,
// and SET BAIL ON reports nothing after the failed block.
TEST(ScriptExecutor, DataBlocksAreReportedInTheScriptsOrderWhileTheNextOnesAreRead) {
  const auto block = [](const std::string& first, const std::string& second) {
    return "EXECUTE BLOCK\nAS BEGIN\nINSERT INTO \"T\" (\"A\") VALUES (" + first +
           ");\nINSERT INTO \"T\" (\"A\") VALUES (" + second + ");\nEND^\n";
  };
  const std::string data = "SET DATA BEGIN;\nSET TERM ^ ;\n" + block("1", "2") +
                           block("3", "'BAD'") + block("5", "6") +
                           "COMMIT WORK^\nSET TERM ; ^\nSET DATA END;\n";
  const struct {
    const char* name;
    bool bail;
    bool refuse_second;              // the database refuses a second attachment
    std::vector<std::string> order;  // the events without their texts
    size_t committed;                // blocks
  } cases[] = {
      {"no bail",
       false,
       false,
       {"text 1", "done 1", "text 2", "done 2", "text 3", "done 3", "text 4", "error", "done 4",
        "text 5", "done 5", "text 6", "done 6", "text 7", "done 7", "text 8", "done 8"},
       2},
      // The load goes on over the one attachment, and says nothing of it.
      {"no second attachment",
       false,
       true,
       {"text 1", "done 1", "text 2", "done 2", "text 3", "done 3", "text 4", "error", "done 4",
        "text 5", "done 5", "text 6", "done 6", "text 7", "done 7", "text 8", "done 8"},
       2},
      {"bail",
       true,
       false,
       {"text 1", "done 1", "text 2", "done 2", "text 3", "done 3", "text 4", "done 4", "text 5",
        "error", "done 5", "text 0"},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db.refuse_sibling = c.refuse_second;
    db.accept_bulk = false;  // the blocks go as their texts, which FailOn sees
    db.FailOn("'BAD'", "conversion error from string \"BAD\"");
    RecordingReporter reporter;
    const std::string script = (c.bail ? "SET BAIL ON;\n" : "") + data;
    TextSource source(script);
    ScriptExecutor executor(db, platform::SystemPlatform().files, reporter, "");
    EXPECT_EQ(executor.Run(source), 1);
    std::vector<std::string> order;
    for (const std::string& event : reporter.events)
      order.push_back(event.substr(0, event.find(':')));
    EXPECT_EQ(order, c.order);
    ASSERT_EQ(reporter.errors.size(), 1u);
    EXPECT_EQ(reporter.errors[0].rfind("the data of \"T\", row 4: conversion error", 0), 0u)
        << reporter.errors[0];
    EXPECT_EQ(db.Committed().size(), c.committed);
    EXPECT_TRUE(db.Pending().empty());
    EXPECT_EQ(db.sibling_requests, 1);
  }
}

TEST_F(ScriptExecutorTest, PlanOnlyPreparesStatementsCommitAndRollbackIncluded) {
  EXPECT_EQ(Run("INSERT INTO T VALUES (1);\nSET PLANONLY ON;\nCREATE TABLE X (A INT);\nCOMMIT;\n"
                "INSERT INTO T VALUES (:h00000000_00000001);\nSET PLANONLY;\nROLLBACK;\n"
                "INSERT INTO T VALUES (7);"),
            0);
  EXPECT_EQ(db.prepared, (std::vector<std::string>{"CREATE TABLE X (A INT)", "COMMIT",
                                                   "INSERT INTO T VALUES (?)"}));
  EXPECT_EQ(CommittedSql(), (std::vector<std::string>{"INSERT INTO T VALUES (7)"}));
}

TEST_F(ScriptExecutorTest, SetTermTypedWithTheTerminatorInForceReturnsToTheSemicolon) {
  EXPECT_EQ(Run("SET TERM ^ ;\nINSERT INTO T VALUES (1)^\nSET TERM ^;\nINSERT INTO T VALUES (2);\n"
                "SET TERM !! ;\nSET TERM!!\nINSERT INTO T VALUES (3);"),
            0);
  EXPECT_EQ(CommittedSql(),
            (std::vector<std::string>{"INSERT INTO T VALUES (1)", "INSERT INTO T VALUES (2)",
                                      "INSERT INTO T VALUES (3)"}));
}

// A source that fails after handing out its text.
class BrokenSource final : public ByteSource {
 public:
  explicit BrokenSource(std::string text) : text_(std::move(text)) {}
  size_t Read(char* buffer, size_t size) override {
    if (text_.empty()) throw ScriptError("the script file cannot be read: EIO");
    const size_t n = std::min(size, text_.size());
    text_.copy(buffer, n);
    text_.erase(0, n);
    return n;
  }

 private:
  std::string text_;
};

TEST(ScriptExecutor, AScriptThatCannotBeReadToItsEndCommitsWhatRanUnlessItBails) {
  for (const bool bail : {false, true}) {
    FakeDatabase db;
    RecordingReporter reporter;
    BrokenSource source(std::string(bail ? "SET BAIL ON;\n" : "") +
                        "INSERT INTO A VALUES (1);\nINSERT INTO A");
    ScriptExecutor executor(db, platform::SystemPlatform().files, reporter, "");
    EXPECT_EQ(executor.Run(source), 1) << bail;
    EXPECT_EQ(reporter.errors, (std::vector<std::string>{"the script file cannot be read: EIO"}));
    EXPECT_EQ(db.Committed().size(), bail ? 0u : 1u) << bail;
    EXPECT_EQ(db.rollbacks, bail ? 1 : 0) << bail;
  }
}

TEST_F(ScriptExecutorTest, BindsBlobFileReferencesAsParameters) {
  temp.MakeFile("data.lob", std::string("first\0second", 12));
  const int failures =
      Run("INSERT INTO T VALUES (:h00000000_00000001);\n"  // before SET BLOBFILE
          "SET BLOBFILE 'data.lob';\n"
          "INSERT INTO T VALUES (:h00000000_00000005, ':h0_1', :h00000006_00000006);\n"
          "INSERT INTO T VALUES (:h00000006_00000007);\n"  // one byte too far
          "SET BLOBFILE 'missing.lob';\n"
          "INSERT INTO T VALUES (:h00000000_00000001);\n");
  EXPECT_EQ(failures, 3);
  ASSERT_EQ(reporter.errors.size(), 3u);
  EXPECT_EQ(reporter.errors[0],
            "the statement refers to a blob file, but no SET BLOBFILE came before it");
  EXPECT_EQ(reporter.errors[1].rfind("the blob file reference :h00000006_00000007 lies outside "
                                     "the blob file",
                                     0),
            0u);
  EXPECT_EQ(reporter.errors[2].rfind("the blob file cannot be opened: ", 0), 0u);
  ASSERT_EQ(db.Committed().size(), 1u);
  EXPECT_EQ(db.Committed()[0].sql, "INSERT INTO T VALUES (?, ':h0_1', ?)");
  EXPECT_EQ(db.Committed()[0].params, (std::vector<std::string>{"first", "second"}));
}

TEST_F(ScriptExecutorTest, LoadsDataBlocksAsRowsAndOtherBlocksAsText) {
  db.AddTable(
      "T",
      {{"ID", ColumnKind::kInteger}, {"NAME", ColumnKind::kVarchar}, {"DATA", ColumnKind::kBlob}});
  temp.MakeFile("d.lob", "blob bytes");
  const int failures =
      Run("SET BLOBFILE 'd.lob';\n"
          "SET TERM ^ ;\n"
          "EXECUTE BLOCK (B0 BLOB SUB_TYPE 0 = :h00000000_0000000A) AS BEGIN\n"
          "INSERT INTO \"T\" (\"ID\", \"NAME\", \"DATA\") VALUES (-1, 'it''s', :B0);\n"
          "INSERT INTO \"T\" (\"ID\", \"NAME\", \"DATA\") VALUES (2, NULL, 'literal');\n"
          "END^\n"
          "EXECUTE BLOCK AS BEGIN\n"
          "INSERT INTO \"T\" (\"ID\") VALUES (3);\n"
          "UPDATE T SET ID = 4;\n"
          "END^\n");
  EXPECT_EQ(failures, 0);
  const auto& rows = db.Tables().at("T").rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0].integer, -1);
  EXPECT_EQ(rows[0][1].text, "it's");
  EXPECT_EQ(db.BlobContent(rows[0][2].blob_id), "blob bytes");
  EXPECT_TRUE(rows[1][1].IsNull());
  EXPECT_EQ(db.BlobContent(rows[1][2].blob_id), "literal");
  ASSERT_EQ(db.Committed().size(), 1u);
  EXPECT_EQ(db.Committed()[0].sql.rfind("EXECUTE BLOCK AS BEGIN\nINSERT INTO \"T\" (\"ID\")", 0),
            0u);
}

TEST_F(ScriptExecutorTest, ADataBlockTheDatabaseDoesNotTakeRunsAsItsText) {
  db.accept_bulk = false;
  temp.MakeFile("d.lob", "xyz");
  Run("SET BLOBFILE 'd.lob';\nSET TERM ^;\n"
      "EXECUTE BLOCK (B0 BLOB = :h00000001_00000002) AS BEGIN\n"
      "INSERT INTO T (A) VALUES (:B0);\nEND^");
  ASSERT_EQ(db.Committed().size(), 1u);
  EXPECT_EQ(db.Committed()[0].sql,
            "EXECUTE BLOCK (B0 BLOB = ?) AS BEGIN\nINSERT INTO T (A) VALUES (:B0);\nEND");
  EXPECT_EQ(db.Committed()[0].params, (std::vector<std::string>{"yz"}));
}

TEST_F(ScriptExecutorTest, AStatementTheScriptCannotFinishOrTheServerWouldCutShortIsAFailure) {
  using std::string_literals::operator""s;
  EXPECT_EQ(
      Run("INSERT INTO A VALUES (1);\nDELETE FROM A\0 WHERE ID = 2;\nINSERT INTO A VALUES ('open"s),
      2);
  EXPECT_EQ(reporter.errors,
            (std::vector<std::string>{
                "the statement holds a NUL byte, which would cut it short at the server",
                "string literal not closed at the end of the script (it starts at line 3)"}));
  EXPECT_EQ(CommittedSql(), (std::vector<std::string>{"INSERT INTO A VALUES (1)"}));
}

// A data block that runs as its text and fails at one of its rows (a NaN,
// which only the bulk load can bind): the failure names the table and the
// row's place in the table's data, and the statement is that row's INSERT.
TEST_F(ScriptExecutorTest, ARefusedDataBlockRunAsTextIsNamedByItsTableAndRow) {
  db.accept_bulk = false;
  db.FailOn("VALUES (5,", "conversion error from string \"NaN\"");
  std::string script = "SET TERM ^;\n";
  for (int block = 0; block < 2; ++block) {
    script += "EXECUTE BLOCK AS BEGIN\n";
    for (int id = block * 3 + 1; id <= block * 3 + 3; ++id) {
      script += "INSERT INTO \"T\" (\"ID\", \"D\") VALUES (" + std::to_string(id) + ", " +
                (id == 5 ? "CAST('NaN' AS DOUBLE PRECISION)" : "1.5e+00") + ");\n";
    }
    script += "END^\n";
  }
  EXPECT_EQ(Run(script), 1);
  EXPECT_EQ(
      reporter.errors,
      (std::vector<std::string>{"the data of \"T\", row 5: conversion error from string \"NaN\""}));
  const auto error = std::find_if(reporter.events.begin(), reporter.events.end(),
                                  [](const std::string& e) { return e.starts_with("error: "); });
  ASSERT_NE(error, reporter.events.end());
  EXPECT_TRUE(error->starts_with(
      "error: EXECUTE BLOCK ... INSERT INTO \"T\" (\"ID\", \"D\") VALUES (5, CAST('NaN' AS DOUBLE "
      "PRECISION)); ... END (3 rows, "))
      << *error;
}

}  // namespace
}  // namespace updater::scriptengine
