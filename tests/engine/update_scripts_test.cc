// The texts the update run writes for the script engine: the export
// blocks' headers and the privilege clean-up; and the lines of the engine's
// data check the run reads back.
#include <gtest/gtest.h>

#include "engine/uUpdate_blocks.h"
#include "engine/uUpdate_check.h"
#include "engine/uUpdate_privileges.h"
#include "platform/paths.h"
#include "support/failure_of.h"

namespace updater {
namespace {

using testing::FailureOf;

TEST(ExportBlockHeader, NamesTheOutputFileInTheFolderWithApostrophesDoubled) {
  const std::string d(1, platform::PathDelimiter());
  EXPECT_EQ(ExportBlockHeader("Roles_File_Name", d + "Tmp$1" + d + "New", "Roles.sql"),
            "execute ibeblock(Roles_File_Name = '" + d + "Tmp$1" + d + "New" + d + "Roles.sql')");
  EXPECT_EQ(
      ExportBlockHeader("Data_File_Name", d + "O'Brien's" + d + "New", "Data.sql"),
      "execute ibeblock(Data_File_Name = '" + d + "O''Brien''s" + d + "New" + d + "Data.sql')");
}

TEST(WithFirstLineReplaced, KeepsEveryOtherLinesBytesAndEndsEachInCrLf) {
  const struct {
    const char* name;
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"CR LF lines", "old header\r\nas\r\nbegin\r\nend\r\n", "H\r\nas\r\nbegin\r\nend\r\n"},
      {"LF lines, no break at the end", "old\nas\nend", "H\r\nas\r\nend\r\n"},
      {"lone CRs and mixed breaks", "old\ras\r\n\nend\r", "H\r\nas\r\n\r\nend\r\n"},
      {"one line only", "execute ibeblock(X = 'x')", "H\r\n"},
      {"an empty first line", "\r\nbody", "H\r\nbody\r\n"},
      {"8-bit bytes and blank lines kept", "h\r\n  \xC0\xFF 'x'\t\r\n\r\n",
       "H\r\n  \xC0\xFF 'x'\t\r\n\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WithFirstLineReplaced(c.bytes, "H").value_or("<none>"), c.expected) << c.name;
  }
  EXPECT_FALSE(WithFirstLineReplaced("", "H").has_value());
}

TUserPrivilege Row(const std::string& user, const std::string& privilege, const std::string& object,
                   int type, const std::string& field = "") {
  return TUserPrivilege{user, privilege, object, field, type};
}

TEST(PrivilegeCleanUp, TheFirebird2StatementIsTheDeleteUnchanged) {
  EXPECT_EQ(DeletePrivilegesStatement("ADMN"),
            "delete from Rdb$User_Privileges A where A.Rdb$User_Type = 8 and A.Rdb$Grantor = "
            "'ADMN' and A.Rdb$User <> 'SYSDBA' and A.Rdb$User <> 'ADMN' and A.Rdb$User <> "
            "'PUBLIC'; commit;");
}

TEST(PrivilegeCleanUp, EachKindOfPrivilegeHasItsRevoke) {
  const struct {
    TUserPrivilege row;
    const char* statement;
  } cases[] = {
      {Row("U1", "S", "T1", 0), "REVOKE SELECT ON \"T1\" FROM USER \"U1\""},
      {Row("U1", "I", "T1", 0), "REVOKE INSERT ON \"T1\" FROM USER \"U1\""},
      {Row("U1", "U", "T1", 0), "REVOKE UPDATE ON \"T1\" FROM USER \"U1\""},
      {Row("U1", "U", "T1", 0, "A"), "REVOKE UPDATE (\"A\") ON \"T1\" FROM USER \"U1\""},
      {Row("U1", "D", "T1", 0), "REVOKE DELETE ON \"T1\" FROM USER \"U1\""},
      {Row("U1", "R", "T1", 0, "B"), "REVOKE REFERENCES (\"B\") ON \"T1\" FROM USER \"U1\""},
      {Row("U1", "X", "P1", 5), "REVOKE EXECUTE ON PROCEDURE \"P1\" FROM USER \"U1\""},
      {Row("U1", "X", "F1", 15), "REVOKE EXECUTE ON FUNCTION \"F1\" FROM USER \"U1\""},
      {Row("U1", "X", "PK", 18), "REVOKE EXECUTE ON PACKAGE \"PK\" FROM USER \"U1\""},
      {Row("U1", "G", "S1", 14), "REVOKE USAGE ON SEQUENCE \"S1\" FROM USER \"U1\""},
      {Row("U1", "G", "E1", 7), "REVOKE USAGE ON EXCEPTION \"E1\" FROM USER \"U1\""},
      {Row("U1", "M", "R1", 13), "REVOKE \"R1\" FROM USER \"U1\""},
      {Row("U1", "L", "SQL$DATABASE", 20), "REVOKE ALTER DATABASE FROM USER \"U1\""},
      {Row("U1", "C", "SQL$TABLES", 21), "REVOKE CREATE TABLE FROM USER \"U1\""},
      {Row("U1", "L", "SQL$TABLES", 21), "REVOKE ALTER ANY TABLE FROM USER \"U1\""},
      {Row("U1", "O", "SQL$PROCEDURES", 23), "REVOKE DROP ANY PROCEDURE FROM USER \"U1\""},
      {Row("U1", "C", "SQL$CHARSETS", 30), "REVOKE CREATE CHARACTER SET FROM USER \"U1\""},
      {Row("U1", "C", "SQL$FILTERS", 32), "REVOKE CREATE FILTER FROM USER \"U1\""},
      // Names are quoted as they are stored.
      {Row("Пётр \"П\"", "S", "Заказы", 0),
       "REVOKE SELECT ON \"Заказы\" FROM USER \"Пётр \"\"П\"\"\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RevokeStatement(c.row), c.statement);
  }
}

TEST(PrivilegeCleanUp, AnUnknownKindFailsInsteadOfStayingUnnoticed) {
  for (const TUserPrivilege& row :
       {Row("U1", "Z", "T1", 0), Row("U1", "S", "P1", 5), Row("U1", "X", "Q", 99)}) {
    EXPECT_EQ(FailureOf([&] { RevokeStatement(row); }),
              "Невозможно отозвать привилегию \"" + row.Privilege + "\" на объект \"" +
                  row.RelationName + "\" (тип " + std::to_string(row.ObjectType) +
                  ") у пользователя \"U1\": такой вид привилегии программе обновления неизвестен.");
  }
}

TEST(PrivilegeCleanUp, TheScriptRevokesEachPrivilegeOnceAndEndsWithACommit) {
  EXPECT_EQ(RevokeScript({}), "");
  EXPECT_EQ(RevokeScript({Row("U1", "U", "T1", 0, "A"), Row("U1", "U", "T1", 0),
                          Row("U1", "U", "T1", 0, "B"), Row("U2", "U", "T1", 0, "A"),
                          Row("U1", "R", "T1", 0, "A"), Row("U1", "M", "R1", 13),
                          Row("U1", "M", "R1", 13)}),
            "REVOKE UPDATE ON \"T1\" FROM USER \"U1\";\r\n"
            "REVOKE UPDATE (\"A\") ON \"T1\" FROM USER \"U2\";\r\n"
            "REVOKE REFERENCES (\"A\") ON \"T1\" FROM USER \"U1\";\r\n"
            "REVOKE \"R1\" FROM USER \"U1\";\r\n"
            "COMMIT;\r\n");
}

TEST(DataCheckLines, EachFormReadsAndGivesTheOperatorsLine) {
  const struct {
    std::string line;
    std::string
        difference;  // the operator's line; empty: the summary, "-": not a line of the check
  } cases[] = {
      {"data check: \"CLIENTS\": 10 rows exported, 9 found",
       "Таблица \"CLIENTS\": выгружено строк 10, загружено 9"},
      {"data check: \"Клиенты \"\"А\"\"\": 5 rows exported, 5 found, checksum differs",
       "Таблица \"Клиенты \"А\"\": выгружено строк 5, загружено 5, данные отличаются"},
      {"data check: \"T\": 1 rows exported, not found",
       "Таблица \"T\": выгружено строк 1, в новой базе нет таблицы или ее столбца"},
      {"data check: 2 tables, 3456 rows as exported", ""},
      {"data check: \"T\": 1 rows exported, 1 found, or so", "-"},
      {"data check: \"T: 1 rows exported, 1 found", "-"},
      {"data check: 2 tables", "-"},
      {"SET DATA CHECK 'Data.manifest'", "-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::optional<DataCheckLine> read = ReadDataCheckLine(c.line);
    if (c.difference == "-") {
      EXPECT_FALSE(read.has_value());
    } else if (c.difference.empty()) {
      ASSERT_TRUE(read.has_value());
      EXPECT_TRUE(read->summary);
      EXPECT_EQ(read->tables, 2);
      EXPECT_EQ(read->exported, 3456);
    } else {
      ASSERT_TRUE(read.has_value());
      EXPECT_FALSE(read->summary);
      EXPECT_EQ(DifferenceText(*read), c.difference);
    }
  }
}

}  // namespace
}  // namespace updater
