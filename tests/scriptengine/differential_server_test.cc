// The engine against Firebird's own isql-fb as the peer: each case is a
// script run by each into a fresh database of its own; the metadata
// (isql's own extract), the data and the failures must come out the same.
// A case may give the engine a copy of the script in a form isql does not
// read (a byte-order mark, lone CR line ends), and may name the errors only
// the engine reports (isql's commands it refuses) and the engine's words for
// a failure that isql words its own way.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The first line of each failure isql reported.
std::vector<std::string> IsqlFailures(const std::string& output) {
  std::vector<std::string> failures;
  const std::vector<std::string> lines = Lines(output);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("Statement failed", 0) == 0 && i + 1 < lines.size()) {
      failures.push_back(lines[i + 1]);
    } else if (lines[i].rfind("Command error", 0) == 0 ||
               lines[i].rfind("Expected end of statement", 0) == 0) {
      failures.push_back(lines[i]);
    }
  }
  return failures;
}

// The first line of each failure the engine reported through the runner.
std::vector<std::string> EngineFailures(const testing::RecordingLogView& view) {
  std::vector<std::string> failures;
  for (size_t i = 0; i + 1 < view.lines.size(); ++i) {
    if (view.lines[i] != "-------   ERROR   --------") continue;
    const std::string& error = view.lines[i + 1];
    failures.push_back(error.substr(0, error.find_first_of("\r\n")));
  }
  return failures;
}

// The form of the script the engine is given.
enum class EngineCopy {
  kSame,
  kWithByteOrderMark,  // a UTF-8 byte-order mark in front
  kWithLoneCr,         // every line ending in a lone CR
};

std::string CopyFor(EngineCopy copy, std::string script) {
  switch (copy) {
    case EngineCopy::kSame:
      break;
    case EngineCopy::kWithByteOrderMark:
      return "\xEF\xBB\xBF" + script;
    case EngineCopy::kWithLoneCr:
      std::replace(script.begin(), script.end(), '\n', '\r');
      break;
  }
  return script;
}

std::string ReadScript(const std::string& name) {
  std::ifstream in(std::string(UPDATER_SOURCE_DIR) + "/tests/scriptengine/differential/" + name,
                   std::ios::binary);
  if (!in) throw std::runtime_error("no script " + name);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

struct DifferentialCase {
  const char* name;
  // The script, or the name of a file of differential/.
  std::string script;
  // What isql's metadata or data holds, so that the case compares something.
  std::string shows;
  EngineCopy engine_copy = EngineCopy::kSame;
  // Failures only the engine reports (first lines), in their order.
  std::vector<std::string> engine_only = {};
  // Failures both report in words of their own: the engine's first line and
  // isql's, in their order.
  std::vector<std::pair<std::string, std::string>> worded_apart = {};
};

const DifferentialCase kCases[] = {
    {"tables, domains, views and rows with script syntax in their literals",
     "01_tables_and_data.sql", "table CLIENTS\n"},
    {"procedures, triggers and blocks under SET TERM", "02_procedures_and_triggers.sql",
     "PROCEDURE ADD_ENTRY"},
    {"transactions with AUTODDL on and off", "03_transactions.sql", "table T_MANUAL\n"},
    {"a DDL statement that fails at its commit loses only itself",
     "create table t (id int); commit;\n"
     "insert into t values (1); insert into t values (1); commit;\n"
     "create unique index t_uq on t (id);\n"
     "create table t2 (a int);\n"
     "insert into t2 values (42);\n",
     "table T2\n42\n"},
    {"the other DDL that fails only at its commit loses only itself too",
     "create domain d int;\n"
     "create table t (id int, v d, w int);\n"
     "insert into t values (1, null, null); commit;\n"
     "alter domain d set not null;\n"
     "alter table t alter w set not null;\n"
     "insert into t values (2, 5, 6);\n"
     "create table v_base (a int, b int);\n"
     "create view v1 as select a, b from v_base;\n"
     "create view v2 as select b from v1;\n"
     "alter view v1 as select a from v_base;\n"
     "create table t2 (a int);\n"
     "insert into t2 values (42);\n",
     "table T2\n42\n"},
    {"failed DDL, COMMIT RETAIN, ROLLBACK RETAIN and SET TRANSACTION",
     "create table t (a int);\n"
     "create table t (a int);\n"
     "insert into t values (1);\n"
     "commit retain;\n"
     "insert into t values (2);\n"
     "rollback retain;\n"
     "insert into t values (3);\n"
     "commit work;\n"
     "set transaction read committed no wait;\n"
     "insert into t values (4);\n"
     "rollback work;\n"
     "set transaction snapshot;\n"
     "insert into t values (5);\n"
     "commit;\n",
     "table T\n1\n3\n5\n"},
    {"CR LF line ends, statements sharing a line, comments around SET TERM",
     "create table t (a int, s varchar(30));\r\n-- it's a comment\r\n/* first */ set term ^ ;\r\n"
     "create procedure p as begin insert into t values (1, '--;'); end^\r\n"
     "-- back\r\nset term ; ^\r\nexecute procedure p;\r\ninsert into t values (2, 'x') -- "
     "last\r\n;\r\n"
     "insert into t values (3, 'y');insert into t values(4,'z');commit;create table u (a int);\r\n",
     "table T\n1|--;\n2|x\n3|y\n4|z\n"},
    {"SET TERM in any letter case, with tabs and runs of blanks",
     "create table t (a int);\nSet\tTerm ^ ;\n"
     "create procedure p as begin insert into t values (1); end^\n"
     "SET   term ; ^\nexecute procedure p;\n",
     "table T\n1\n"},
    {"double-quoted strings under SQL dialect 1",
     "set sql dialect 1;\ncreate table t (a varchar(10));\ninsert into t values (\"dq;\");\n"
     "set sql dialect 3;\ninsert into t values ('sq');\n",
     "table T\ndq;\nsq\n"},
    {"SET GENERATOR is committed at once as DDL; SET STATISTICS is not SET STATS",
     "create table t (a int);\ncreate index t_a on t (a);\ncreate generator g;\n"
     "set statistics index t_a;\nset generator g to 7;\nset stat on;\nset statistics index t_a;\n"
     "set bail on;\ncreate unique index t_u on t (a);\ninsert into t values (1);\ninsert into t "
     "values (1);\n"
     "commit;\ncreate unique index t_u2 on t (a);\ninsert into t values (5);\n",
     "generator G 7\n"},
    {"SET BAIL ON ends the script at a DDL statement that fails at its commit",
     "create table t (a int);\ninsert into t values (1);\ninsert into t values (1);\ncommit;\n"
     "insert into t values (2);\nset bail on;\ncreate unique index t_u on t (a);\n"
     "insert into t values (3);\ncreate table after_bail (a int);\n",
     "table T\n1\n1\n"},
    {"SET BAIL ON ends the script at a block that fails, the block undone",
     "create table t (a int);\ninsert into t values (1);\ncommit;\nset bail on;\n"
     "set term ^ ;\nexecute block as begin insert into t values (2); insert into nowhere values "
     "(3); end^\n"
     "set term ; ^\ninsert into t values (4);\n",
     "table T\n1\n"},
    {"savepoints, selects, selectable and executable procedures, COMMENT, RECREATE, GRANT",
     "create table t (a int);\nset term ^ ;\n"
     "create procedure p (x int) returns (y int) as begin y = x * 2; insert into t values (:y); "
     "suspend; end^\n"
     "set term ; ^\ninsert into t values (1);\nsavepoint s1;\ninsert into t values (2);\nrollback "
     "to s1;\n"
     "insert into t values (3);\nrelease savepoint s1;\nselect * from t;\nselect * from p(5);\n"
     "execute procedure p 7;\nselect a, count(*) from t group by a;\ncomment on table t is 'it''s; "
     "t';\n"
     "recreate table u (b int);\ngrant select on t to public;\n",
     "table T\n1\n3\n"},
    {"comment marks in strings and comments, quotes in comments, empty statements",
     "create table t (a int, s varchar(30));\n"
     "-- /* not a block; \n"
     "insert into t values (1, '/* no; comment');\n"
     "/* -- not a line; */ insert into t values (2, '-- no; comment');\n"
     "insert into t /* ; */ values (3, 'a''b;'); -- it's done\n"
     "set term ^ ;\n"
     "-- it's a line comment with ; in it\n"
     "create procedure p as\n"
     "begin\n"
     "  -- it's; here\n"
     "  /* and; here */\n"
     "  insert into t values (4, '^;');\n"
     "end^\n"
     "set term ; ^\n"
     "execute procedure p;\n"
     ";;\n"
     "insert into t values (5, \"x\");\n"
     "insert into t values (6, '\"');\n",
     "table T\n1|/* no; comment\n"},
    {"isql's settings with a value they do not take fail; under SET BAIL ON they end the script",
     "create table t (a int);\n"
     "set autoddl maybe;\n"
     "set sql dialect 9;\n"
     "set bail xyz;\n"
     "set term;\n"
     "set names;\n"
     "set planonly maybe;\n"
     "insert into t values (1);\n"
     "set bail on;\n"
     "set auto nonsense;\n"
     "insert into t values (2);\n",
     "CREATE TABLE T (A INTEGER);\ntable T\n",
     EngineCopy::kSame,
     // isql takes SET NAMES alone as a return to no character set at the
     // next connection; the engine keeps the connection's own instead.
     {"SET NAMES takes the name of a character set"},
     {{"SET AUTODDL takes ON or OFF", "Command error: set autoddl maybe"},
      {"SET SQL DIALECT takes 1, 2 or 3", "Command error: invalid SQL dialect 9"},
      {"SET BAIL takes ON or OFF", "Command error: set bail xyz"},
      {"SET PLANONLY takes ON or OFF", "Command error: set planonly maybe"},
      {"SET AUTODDL takes ON or OFF", "Command error: set auto nonsense"}}},
    {"a block without SET TERM splits at its inner semicolon; Cyrillic texts and quoted names",
     "create table t (a int, s varchar(20));\n"
     "execute block as begin insert into t values (1, 'x'); end;\n"
     "insert into t values (2, 'Привет; мир');\n"
     "create table \"Таблица;\" (\"Поле\" int);\n"
     "insert into \"Таблица;\" values (3);\n",
     "table T\n2|Привет; мир\n"},
    {"automatic DDL neither commits the script's transaction nor waits for it",
     "create table t0 (a int);\n"
     "insert into t0 values (1);\n"
     "create table x (a int);\n"
     "insert into x values (2);\n"
     "rollback;\n"
     "insert into t0 values (3);\n"
     "create table t (id int);\n"
     "insert into t values (1);\n"
     "create unique index i on t (id);\n"
     "alter table t add c int;\n"
     "insert into t values (2, 3);\n"
     "drop table t;\n"
     "create table u (a int);\n",
     "table T0\n3\n"},
    {"comments end at lone CR line ends as they do at LF",
     "create table t (a int, s varchar(20));\n"
     "-- a comment; with a terminator\n"
     "insert into t values (1, 'one');\n"
     "insert into t -- an inline comment\n"
     "values (2, 'two');\n"
     "/* a block comment\n"
     "over two lines; */ insert into t values (3, 'three');\n"
     "-- the last line is a comment\n",
     "table T\n1|one\n2|two\n3|three\n", EngineCopy::kWithLoneCr},
    {"SET TERM with the terminator in force returns to the semicolon",
     "create table t (a int);\n"
     "set term ^ ;\n"
     "insert into t values (1)^\n"
     "set term ^;\n"
     "insert into t values (2);\n"
     "set term !! ;\n"
     "insert into t values (3)!!\n"
     "set term !!;\n"
     "insert into t values (4);\n"
     "set term;\n"
     "insert into t values (5);\n",
     "table T\n1\n2\n3\n4\n5\n"},
    {"q'...' literals with any delimiter hold terminators, quotes and comment marks",
     "create table t (id int, s varchar(50));\n"
     "insert into t values (1, q'{a;b'c}');\n"
     "insert into t values (2, Q'[it's; ok]');\n"
     "insert into t values (3, q'(x;)');\n"
     "insert into t values (4, q'<y;'>');\n"
     "insert into t values (5, q'!z;'!');\n"
     "insert into t values (6, q'xa;'x');\n"
     "insert into t values (7, q'{}}');\n"
     "insert into t values (8, q'#--#');\n"
     "insert into t values (9, q'#/*#');\n"
     "insert into t values (10, q'{''}');\n"
     "insert into t values (11, q'#:h00000000_00000001#');\n"
     "set term ^ ;\n"
     "execute block as begin insert into t values (12, q'{;^}'); end^\n"
     "set term ; ^\n",
     "11|:h00000000_00000001\n12|;^\n"},
    {"a UTF-8 byte-order mark at the start is passed over",
     "set term ^ ;\n"
     "create table t (a int)^\n"
     "create procedure p as begin insert into t values (1); end^\n"
     "set term ; ^\n"
     "execute procedure p;\n",
     "table T\n1\n", EngineCopy::kWithByteOrderMark},
    {"isql's settings in their short forms, SET AUTODDL alone switching it",
     "set autoddl;\n"
     "create table x (a int);\n"
     "rollback;\n"
     "set auto;\n"
     "create table y (a int);\n"
     "set auto off;\n"
     "create table w (a int);\n"
     "rollback;\n"
     "set autod on;\n"
     "set blob all; set blob 1; set blob off; set blob; set blobdisplay all;\n"
     "set stat on; set stat off; set stats; set stats;\n"
     "set wng on; set warnings off; set sqlda_display on; set sqlda_display off;\n"
     "set maxrows 3; set maxrows; set rowcount 5; set rowcount 0; set count on; set heading off;\n"
     "set list on; set list off; set plan on; set plan off; set time on; set width a 10;\n"
     "set explain on; set explain off; set keep_tran_params off; set;\n"
     "create table z (a int);\n"
     "insert into z values (1);\n",
     "table Z\n1\n"},
    {"SET BAIL ON ends the script at its first failure and rolls back",
     "create table t (a int);\n"
     "insert into t values (1);\n"
     "set bail on;\n"
     "insert into nowhere values (1);\n"
     "insert into t values (2);\n"
     "create table after_bail (a int);\n",
     "Table: T,"},
    {"SET PLANONLY prepares statements, COMMIT included, without running them",
     "create table t (a int);\n"
     "insert into t values (1);\n"
     "set planonly on;\n"
     "commit;\n"
     "create table p (a int);\n"
     "insert into t values (2);\n"
     "select * from t;\n"
     "set planonly;\n"
     "rollback;\n"
     "set planonly;\n"
     "set planonly off;\n"
     "insert into t values (7);\n",
     "table T\n7\n"},
    {"EXIT commits and ends the script",
     "create table t (a int);\n"
     "insert into t values (1);\n"
     "exit;\n"
     "insert into t values (2);\n",
     "table T\n1\n"},
    {"QUIT rolls back and ends the script",
     "create table t (a int);\n"
     "insert into t values (1);\n"
     "quit;\n"
     "create table after_quit (a int);\n",
     "Table: T,"},
    {"SHOW and HELP get an error of the engine's own and the script goes on",
     "create table t (a int);\n"
     "show tables;\n"
     "help;\n"
     "insert into t values (1);\n"
     "show table t;\n",
     "table T\n1\n",
     EngineCopy::kSame,
     {"the script engine does not carry out isql's SHOW command",
      "the script engine does not carry out isql's HELP command",
      "the script engine does not carry out isql's SHOW command"}},
};

TEST(DifferentialWithIsql, EveryScriptOfTheFolderIsACase) {
  for (const auto& entry : std::filesystem::directory_iterator(
           std::string(UPDATER_SOURCE_DIR) + "/tests/scriptengine/differential")) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(std::any_of(std::begin(kCases), std::end(kCases),
                            [&](const DifferentialCase& c) { return c.script == name; }))
        << name << " is no case of the table";
  }
}

TEST(DifferentialWithIsql, BothLeaveTheSameMetadataDataAndFailures) {
  for (const DifferentialCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string script = c.script.ends_with(".sql") ? ReadScript(c.script) : c.script;
    TestDatabase by_isql("UTF8");
    TestDatabase by_engine("UTF8");
    const std::string isql_script = by_isql.Folder() + "/case.sql";
    const std::string engine_script = by_engine.Folder() + "/case.sql";
    std::ofstream(isql_script, std::ios::binary) << script;
    std::ofstream(engine_script, std::ios::binary) << CopyFor(c.engine_copy, script);

    const std::string isql = Isql(by_isql.ConnectString(), "-i '" + isql_script + "'");
    testing::RecordingLogView view;
    testing::RunFile(by_engine.ConnectString(), "UTF8", engine_script, &view);

    std::vector<std::string> engine_failures = EngineFailures(view);
    for (const std::string& own : c.engine_only) {
      const auto found = std::find(engine_failures.begin(), engine_failures.end(), own);
      if (found == engine_failures.end()) {
        ADD_FAILURE() << "the engine did not report: " << own;
      } else {
        engine_failures.erase(found);
      }
    }
    for (const auto& [engine_words, isql_words] : c.worded_apart) {
      const auto found = std::find(engine_failures.begin(), engine_failures.end(), engine_words);
      if (found == engine_failures.end()) {
        ADD_FAILURE() << "the engine did not report: " << engine_words;
      } else {
        *found = isql_words;
      }
    }
    EXPECT_EQ(engine_failures, IsqlFailures(isql)) << isql;
    const std::string metadata = Metadata(by_isql);
    const std::string data = Data(by_isql);
    EXPECT_NE((metadata + data).find(c.shows), std::string::npos) << metadata << data;
    EXPECT_EQ(Metadata(by_engine), metadata);
    EXPECT_EQ(Data(by_engine), data);
  }
}

}  // namespace
}  // namespace updater::scriptengine
