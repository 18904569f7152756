#include "scriptengine/block_language.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "scriptengine/errors.h"
#include "scriptengine/fake_database.h"
#include "scriptengine/script_charset.h"
#include "support/temp_folder.h"

namespace updater::scriptengine {
namespace {

using testing::FakeDatabase;
using ::updater::testing::ReadBytes;
using ::updater::testing::TempFolder;

class BlockLanguageTest : public ::testing::Test {
 protected:
  BlockLanguageTest() {
    db.AddTable("GOODS", {{"ID", ColumnKind::kInteger},
                          {"NAME", ColumnKind::kVarchar},
                          {"PRICE", ColumnKind::kBigint, 2},
                          {"NOTE", ColumnKind::kBlob, 0, 1}});
    db.AddRow("GOODS",
              {Value::Integer(1), Value::Text("Tea"), Value::Integer(1250, 2), db.Blob("green")});
    db.AddRow("GOODS", {Value::Integer(2), Value::Text("It's"), Value::Null(), Value::Null()});
    db.AddRow("GOODS",
              {Value::Integer(3), Value::Text("Milk"), Value::Integer(-5, 2), Value::Null()});
  }

  // Runs `block` in the temporary folder; returns its failure, or "".
  std::string Run(const std::string& block) {
    BlockEnvironment environment{db, platform::SystemPlatform().files, temp.path(),
                                 [this](std::string_view text) { progress.emplace_back(text); }};
    try {
      RunBlock(block, environment);
    } catch (const ScriptError& e) {
      return e.what();
    } catch (const DatabaseError& e) {
      return std::string("database: ") + e.what();
    }
    return "";
  }

  TempFolder temp;
  FakeDatabase db;
  std::vector<std::string> progress;
};

TEST_F(BlockLanguageTest, ExpressionsFollowSqlRules) {
  const struct {
    const char* expression;
    const char* text;
  } cases[] = {
      {"'a' || 1 || 'b'", "a1b"},
      {"'a' || NULL", ""},  // NULL: written as an empty line
      {"1.25 + 2", "3.25"},
      {"7 / 2", "3"},
      {"7.0 / 2", "3.5"},
      {"-3 * 1.5", "-4.5"},
      {"9223372036854775807 + 0", "9223372036854775807"},
      {"(1 + 2) * 3 = 9", "TRUE"},
      {"'b' > 'a' AND NOT 1 = 2", "TRUE"},
      {"NULL = NULL", ""},
      {"NULL IS NULL OR 1 / 0 = 1", "TRUE"},
      {"FALSE AND NULL", "FALSE"},
      {"'10' + 5", "15"},
      {"ibec_Trim('  x y  ')", "x y"},
      {"ibec_QuoteIdent('My \"T\"')", "\"My \"\"T\"\"\""},
      {"ibec_QuoteString('it''s')", "'it''s'"},
      {"ibec_QuoteString(NULL)", "NULL"},
      {"File_Name", "out.txt"},
      {"Counter", "41"},
  };
  std::string block =
      "execute ibeblock (File_Name varchar(100) = 'out.txt', Counter = 41)\nas\nbegin\n"
      "  f = ibec_fs_OpenFile(File_Name, 'create');\n";
  for (const auto& c : cases) block += "  ibec_fs_Writeln(f, " + std::string(c.expression) + ");\n";
  block += "  ibec_fs_CloseFile(f);\nend";
  ASSERT_EQ(Run(block), "");
  std::string expected(kUtf8Mark);
  for (const auto& c : cases) expected += std::string(c.text) + "\r\n";
  EXPECT_EQ(ReadBytes(temp.Path("out.txt")), expected);
}

TEST_F(BlockLanguageTest, LoopsOverQueriesWithConditionsAndVariables) {
  ASSERT_EQ(
      Run("EXECUTE IBEBLOCK (Out_Name = 'goods.sql')\n"
          "AS\n"
          "DECLARE VARIABLE total = 0;\n"
          "DECLARE VARIABLE wanted INTEGER;\n"
          "BEGIN\n"
          "  f = ibec_fs_OpenFile(:Out_Name, 'create');\n"
          "  FOR SELECT ID, NAME, PRICE, NOTE FROM GOODS INTO :id, :name, :price, :note DO\n"
          "  BEGIN\n"
          "    IF (price IS NULL) THEN\n"
          "      ibec_fs_Writeln(f, '-- ' || name || ' has no price');\n"
          "    ELSE BEGIN\n"
          "      total = total + price;\n"
          "      ibec_fs_Writeln(f, 'UPDATE GOODS SET PRICE = ' || price || ' WHERE NAME = ' ||\n"
          "                         ibec_QuoteString(name) || ';');\n"
          "    END\n"
          "    IF (note IS NOT NULL) THEN ibec_fs_Writeln(f, '-- ' || note);\n"
          "  END\n"
          "  wanted = 3;\n"
          "  FOR SELECT NAME FROM GOODS WHERE ID = :wanted INTO :name DO\n"
          "    ibec_progress('found ' || name);\n"
          "  i = 0;\n"
          "  WHILE (i < 10) DO BEGIN i = i + 1; IF (i = 4) THEN BREAK; END\n"
          "  ibec_fs_Writeln(f, 'total ' || total || ', i ' || i);\n"
          "  ibec_fs_CloseFile(f);\n"
          "  EXIT;\n"
          "  ibec_progress('not reached');\n"
          "END"),
      "");
  EXPECT_EQ(ReadBytes(temp.Path("goods.sql")),
            "\xEF\xBB\xBF"
            "UPDATE GOODS SET PRICE = 12.50 WHERE NAME = 'Tea';\r\n"
            "-- green\r\n"
            "-- It's has no price\r\n"
            "UPDATE GOODS SET PRICE = -0.05 WHERE NAME = 'Milk';\r\n"
            "total 12.45, i 4\r\n");
  EXPECT_EQ(progress, (std::vector<std::string>{"found Milk"}));
}

TEST_F(BlockLanguageTest, ErrorsNameTheBlockLineAndFilesAreClosedAnyway) {
  const struct {
    const char* body;
    const char* error;
  } cases[] = {
      {"x = ;", "block line 3: a value expected (at \";\")"},
      {"x = y;", "block line 3: the variable Y has no value"},
      {"ibec_NoSuchThing(1);", "block line 3: unknown function IBEC_NOSUCHTHING"},
      {"ibec_fs_Writeln(99, 'x');", "block line 3: no open file has the number 99"},
      {"x = 1 / 0;", "block line 3: division by zero"},
      {"IF (1) THEN x = 1;", "block line 3: a condition must be true or false"},
      {"FOR SELECT ID FROM NOWHERE INTO :x DO x = 1;", "database: Table unknown NOWHERE"},
      {"FOR SELECT ID, NAME FROM GOODS INTO :x DO x = 1;",
       "block line 3: the query gives 2 values for 1 variables"},
      {"ibec_fs_OpenFile('a.txt', 'read');",
       "block line 3: ibec_fs_OpenFile: the mode is 'create' or 'append', not 'read'"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run("EXECUTE IBEBLOCK AS BEGIN\n f = ibec_fs_OpenFile('left.txt', 'create');\n" +
                  std::string(c.body) + "\nEND"),
              c.error)
        << c.body;
  }
  // The file opened before the failure was closed: it can be opened again
  // and its text is all there.
  ASSERT_EQ(Run("EXECUTE IBEBLOCK AS BEGIN\n f = ibec_fs_OpenFile('left.txt', 'append');\n"
                " ibec_fs_Write(f, 'kept');\n x = 1 / 0;\nEND"),
            "block line 4: division by zero");
  EXPECT_EQ(ReadBytes(temp.Path("left.txt")), std::string(kUtf8Mark) + "kept");
}

TEST(BlockFiles, CarryTheirCharacterSetAsUtf8WithAMark) {
  // "Касса" in Windows-1251 and in UTF-8.
  const std::string cp1251 = "\xCA\xE0\xF1\xF1\xE0";
  const std::string utf8 = "\xD0\x9A\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0";
  const std::string mark(kUtf8Mark);
  const struct {
    std::string charset;
    std::string text;      // the connection's bytes
    std::string existing;  // the file before, appended to when not empty
    std::string written;   // the file after
    std::string failure;
  } cases[] = {
      {"WIN1251", cp1251, "", mark + "GRANT \"" + utf8 + "\";\r\n", ""},
      {"UTF8", utf8, "", mark + "GRANT \"" + utf8 + "\";\r\n", ""},
      {"NONE", cp1251, "", "GRANT \"" + cp1251 + "\";\r\n", ""},
      // Appending keeps a file what it is.
      {"WIN1251", cp1251, mark + "A;\r\n", mark + "A;\r\nGRANT \"" + utf8 + "\";\r\n", ""},
      {"WIN1251", cp1251, "A;\r\n", "A;\r\nGRANT \"" + cp1251 + "\";\r\n", ""},
      {"WIN1251", "x\x98", "", mark,
       "the text cannot be written as UTF-8: it holds the byte 0x98, which is no character of "
       "WIN1251"},
  };
  for (const auto& c : cases) {
    TempFolder temp;
    if (!c.existing.empty()) temp.MakeFile("out.sql", c.existing);
    FakeDatabase db(c.charset);
    BlockEnvironment environment{db, platform::SystemPlatform().files, temp.path(),
                                 [](std::string_view) {}};
    const std::string mode = c.existing.empty() ? "create" : "append";
    std::string failure;
    try {
      RunBlock("EXECUTE IBEBLOCK AS BEGIN\n f = ibec_fs_OpenFile('out.sql', '" + mode +
                   "');\n ibec_fs_Writeln(f, 'GRANT ' || ibec_QuoteIdent('" + c.text +
                   "') || ';');\nEND",
               environment);
    } catch (const ScriptError& e) {
      failure = e.what();
    }
    EXPECT_EQ(failure, c.failure) << c.charset << " " << c.text;
    EXPECT_EQ(ReadBytes(temp.Path("out.sql")), c.written) << c.charset << " " << c.text;
  }
}

TEST_F(BlockLanguageTest, ExecuteStatementRunsBuiltTextAndFetchesIntoVariables) {
  ASSERT_EQ(Run("EXECUTE IBEBLOCK AS BEGIN\n"
                " EXECUTE STATEMENT 'SELECT NAME FROM ' || 'GOODS' INTO :first;\n"
                " EXECUTE STATEMENT 'DELETE FROM GOODS WHERE ID = ' || 2;\n"
                " FOR EXECUTE STATEMENT 'SELECT ID FROM GOODS' INTO :id DO last = id;\n"
                " ibec_progress(first || ' ' || last);\n"
                "END"),
            "");
  EXPECT_EQ(progress, (std::vector<std::string>{"Tea 3"}));
  ASSERT_EQ(db.Pending().size(), 1u);
  EXPECT_EQ(db.Pending()[0].sql, "DELETE FROM GOODS WHERE ID = 2");
}

}  // namespace
}  // namespace updater::scriptengine
