#include "scriptengine/script_executor.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
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

TEST_F(ScriptExecutorTest, AStatementTheScriptCannotFinishIsAFailure) {
  EXPECT_EQ(Run("INSERT INTO A VALUES (1);\nINSERT INTO A VALUES ('open"), 1);
  EXPECT_EQ(reporter.errors, (std::vector<std::string>{
                                 "string literal not closed at the end of the script (it starts "
                                 "at line 2)"}));
  EXPECT_EQ(CommittedSql(), (std::vector<std::string>{"INSERT INTO A VALUES (1)"}));
}

}  // namespace
}  // namespace updater::scriptengine
