#include "scriptengine/data_export.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/platform.h"
#include "scriptengine/data_manifest.h"
#include "scriptengine/errors.h"
#include "scriptengine/fake_database.h"
#include "scriptengine/recording_reporter.h"
#include "scriptengine/script_executor.h"
#include "support/faulty_platform.h"
#include "support/temp_folder.h"

namespace updater::scriptengine {
namespace {

using testing::FakeDatabase;
using testing::FakeTable;
using ::updater::testing::Fault;
using ::updater::testing::FaultyFileSystem;
using ::updater::testing::FileCall;
using ::updater::testing::kEveryTime;
using ::updater::testing::ReadBytes;
using ::updater::testing::TempFolder;
using ::updater::testing::WriteBytes;

std::vector<Column> KindsTable() {
  return {{"ID", ColumnKind::kInteger},
          {"AMOUNT", ColumnKind::kBigint, 4},
          {"RATE", ColumnKind::kDouble},
          {"DAY", ColumnKind::kDate},
          {"AT", ColumnKind::kTimestamp},
          {"CLOCK", ColumnKind::kTime},
          {"CODE", ColumnKind::kChar, 0, 0, 52, 10},
          {"NAME", ColumnKind::kVarchar, 0, 0, 52, 8000},
          {"GUID", ColumnKind::kChar, 0, 0, kCharsetOctets, 4},
          {"NOTE", ColumnKind::kBlob, 0, 1, 52},
          {"IMAGE", ColumnKind::kBlob, 0, 0},
          {"FLAG", ColumnKind::kBoolean}};
}

std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

// Fills `db` with rows that test the export's choices: quotes, line
// breaks, control characters, padding, binary strings, long texts and
// blobs, the extremes of the numbers, NULL in every column.
void FillKinds(FakeDatabase& db, int extra_rows) {
  db.AddTable("KINDS", KindsTable());
  db.AddRow("KINDS", {Value::Integer(1), Value::Integer(std::numeric_limits<int64_t>::min(), 4),
                      Value::Double(0.1), Value::Date(DayNumber(1, 1, 1)),
                      Value::Timestamp(DayNumber(1899, 12, 31), kTicksPerDay - 1), Value::Time(1),
                      Value::Text("AB        "), Value::Text("It's\r\nO'Brien"),
                      Value::Text(std::string("\0 \x01\xFF", 4)), db.Blob("short text"),
                      db.Blob(AllBytes()), Value::Boolean(true)});
  db.AddRow("KINDS",
            {Value::Integer(2), Value::Integer(std::numeric_limits<int64_t>::max(), 4),
             Value::Double(-1e300), Value::Date(DayNumber(9999, 12, 31)), Value::Timestamp(0, 0),
             Value::Time(kTicksPerDay - 1), Value::Text("          "),
             Value::Text(std::string(5000, 'x')), Value::Text("    "),
             db.Blob(std::string(300000, 'y') + "\x01"), db.Blob(""), Value::Boolean(false)});
  db.AddRow("KINDS", {Value::Integer(3), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
                      Value::Null(), Value::Null(), Value::Text(""), Value::Null(), Value::Null(),
                      Value::Null(), Value::Null()});
  db.AddRow("KINDS", {Value::Integer(4), Value::Integer(0), Value::Double(0), Value::Null(),
                      Value::Null(), Value::Null(), Value::Null(), Value::Text("tab\there"),
                      Value::Null(), db.Blob("with\nbreak"), Value::Null(), Value::Null()});
  for (int i = 0; i < extra_rows; ++i) {
    db.AddRow("KINDS", {Value::Integer(100 + i), Value::Integer(i, 4), Value::Double(i / 3.0),
                        Value::Null(), Value::Null(), Value::Null(), Value::Text("row"),
                        Value::Text(std::string(i % 50, 'q')), Value::Null(), Value::Null(),
                        Value::Null(), Value::Null()});
  }
}

// A value as text for comparing tables: blobs by content, CHAR values
// without their padding (the column pads them again).
std::string Show(const FakeDatabase& db, const Column& column, const Value& value) {
  if (value.IsNull()) return "NULL";
  if (value.kind == Value::Kind::kBlob) return "blob:" + db.BlobContent(value.blob_id);
  std::string text = ValueText(value);
  if (column.kind == ColumnKind::kChar && column.charset != kCharsetOctets) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
  }
  return text;
}

std::vector<std::vector<std::string>> Shown(const FakeDatabase& db, const std::string& table) {
  std::vector<std::vector<std::string>> rows;
  const FakeTable& t = db.Tables().at(table);
  for (const auto& row : t.rows) {
    std::vector<std::string> shown;
    for (size_t c = 0; c < row.size(); ++c) shown.push_back(Show(db, t.columns[c], row[c]));
    rows.push_back(shown);
  }
  return rows;
}

// Loads the data script "Data.sql" of `temp` into `target` as the engine
// runs a script file; the failures it reported.
std::vector<std::string> LoadData(FakeDatabase& target, const TempFolder& temp) {
  platform::FileSystem& files = platform::SystemPlatform().files;
  testing::RecordingReporter reporter;
  ScriptExecutor executor(target, files, reporter, temp.path());
  platform::Result<std::unique_ptr<platform::InputFile>> file =
      files.OpenInputFile(temp.Path("Data.sql"));
  if (!file.ok()) return {"cannot open " + temp.Path("Data.sql")};
  FileSource script(std::move(file).value(), temp.Path("Data.sql"));
  if (executor.Run(script) != 0 && reporter.errors.empty()) return {"a statement failed"};
  return reporter.errors;
}

TEST(DataExport, WhatItWritesLoadsBackToTheSameValues) {
  TempFolder temp;
  platform::FileSystem& files = platform::SystemPlatform().files;
  FakeDatabase source;
  FillKinds(source, 500);
  source.AddTable("EMPTY \"ONE\"", {{"X", ColumnKind::kInteger}});
  std::vector<std::string> progress;
  const int64_t rows = ExportTableData(source, files, temp.Path("Data.sql"), ExportOptions{},
                                       [&](std::string_view text) { progress.emplace_back(text); });
  EXPECT_EQ(rows, 504);
  EXPECT_EQ(progress,
            (std::vector<std::string>{"\"EMPTY \"\"ONE\"\"\": 0 rows", "\"KINDS\": 504 rows"}));

  FakeDatabase target;
  target.AddTable("KINDS", KindsTable());
  target.AddTable("EMPTY \"ONE\"", {{"X", ColumnKind::kInteger}});
  EXPECT_EQ(LoadData(target, temp), std::vector<std::string>{});
  // Every block went in as rows: none was left for the server to compile.
  EXPECT_TRUE(target.Committed().empty());
  EXPECT_EQ(Shown(target, "KINDS"), Shown(source, "KINDS"));

  // The manifest beside the script holds what the loaded database holds.
  const std::vector<TableFigures> manifest = ReadManifest(files, temp.Path("Data.manifest"));
  ASSERT_EQ(manifest.size(), 2u);
  EXPECT_EQ(manifest[1].rows, 504);
  ReadFigures(target, manifest, [](const TableFigures& expected, const TableFigures& found) {
    EXPECT_EQ(found.rows, expected.rows) << expected.name;
    EXPECT_EQ(found.checksum, expected.checksum) << expected.name;
  });
}

// A row whose texts, each short enough for a literal, together make an
// INSERT too long: they go to the blob file, a padded CHAR and a short text
// blob among them, and load back as they were.
TEST(DataExport, ARowTooLongForItsLiteralsSendsThemToTheBlobFile) {
  TempFolder temp;
  platform::FileSystem& files = platform::SystemPlatform().files;
  std::vector<Column> columns = {{"ID", ColumnKind::kInteger},
                                 {"PADDED", ColumnKind::kChar, 0, 0, 52, 4000},
                                 {"NOTE", ColumnKind::kBlob, 0, 1, 52}};
  for (int i = 0; i < 6; ++i) {
    columns.push_back({"T" + std::to_string(i), ColumnKind::kVarchar, 0, 0, 52, 4000});
  }
  FakeDatabase source;
  source.AddTable("WIDE", columns);
  for (int id : {1, 2}) {
    // Row 1 is too long as literals; row 2 stays literal.
    const size_t size = id == 1 ? 3990 : 10;
    std::vector<Value> row = {Value::Integer(id), Value::Text(std::string(size - 5, 'p') + "'    "),
                              source.Blob(std::string(size, 'n') + "'")};
    for (int i = 0; i < 6; ++i) {
      row.push_back(Value::Text(std::string(size, static_cast<char>('a' + i)) + "'"));
    }
    source.AddRow("WIDE", row);
  }
  ExportTableData(source, files, temp.Path("Data.sql"), ExportOptions{}, [](std::string_view) {});
  const std::string script = ReadBytes(temp.Path("Data.sql"));
  EXPECT_EQ(script.find(std::string(3990, 'a')), std::string::npos);
  EXPECT_NE(script.find("'" + std::string(10, 'a') + "'''"), std::string::npos);

  FakeDatabase target;
  target.AddTable("WIDE", columns);
  EXPECT_EQ(LoadData(target, temp), std::vector<std::string>{});
  EXPECT_EQ(Shown(target, "WIDE"), Shown(source, "WIDE"));
}

TEST(DataExport, KeepsBlocksWithinTheServersLimits) {
  TempFolder temp;
  platform::FileSystem& files = platform::SystemPlatform().files;
  FakeDatabase source;
  FillKinds(source, 1000);
  ExportOptions options;
  options.rows_per_block = 250;
  ExportTableData(source, files, temp.Path("d.sql"), options, [](std::string_view) {});
  const std::string script = ReadBytes(temp.Path("d.sql"));
  EXPECT_NE(script.find("SET BLOBFILE 'd.lob';"), std::string::npos);
  size_t blocks = 0;
  for (size_t start = script.find("EXECUTE BLOCK"); start != std::string::npos;
       start = script.find("EXECUTE BLOCK", start + 1)) {
    const size_t end = script.find("END^", start);
    const std::string block = script.substr(start, end - start);
    size_t inserts = 0;
    for (size_t at = block.find("INSERT INTO"); at != std::string::npos;
         at = block.find("INSERT INTO", at + 1)) {
      ++inserts;
    }
    EXPECT_LE(inserts, 250u);
    EXPECT_LE(block.size(), 48u * 1024);
    ++blocks;
  }
  EXPECT_GE(blocks, 5u);
  // The long text went to the blob file, the short one stayed a literal.
  EXPECT_EQ(script.find(std::string(5000, 'x')), std::string::npos);
  EXPECT_NE(script.find("'It''s\r\nO''Brien'"), std::string::npos);
  EXPECT_NE(script.find("'AB'"), std::string::npos);
}

TEST(DataExport, AFailedWriteIsReportedAndLeavesNoScriptBehind) {
  const struct {
    const char* name;
    FileCall call;
    const char* file;
    int nth;
  } cases[] = {
      {"the script's first write", FileCall::kStreamWrite, "Data.sql", 1},
      {"a write within the table", FileCall::kStreamWrite, "Data.sql", 6},
      {"a write of the blob file", FileCall::kStreamWrite, "Data.lob", 3},
      {"creating the blob file", FileCall::kOpenOutputFile, "Data.lob", 1},
      {"closing the blob file", FileCall::kStreamClose, "Data.lob", 1},
      {"closing the script", FileCall::kStreamClose, "Data.sql", 1},
      {"writing the manifest", FileCall::kWriteFile, "Data.manifest", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder temp;
    FakeDatabase source;
    FillKinds(source, 600);
    FaultyFileSystem files(platform::SystemPlatform().files);
    files.Inject(Fault(c.call).Path(temp.Path(c.file)).Nth(c.nth));

    std::string failure;
    try {
      ExportTableData(source, files, temp.Path("Data.sql"), ExportOptions{},
                      [](std::string_view) {});
    } catch (const ScriptError& e) {
      failure = e.what();
    }

    EXPECT_NE(failure.find("(" + temp.Path(c.file) + "): Access is denied (injected)."),
              std::string::npos)
        << failure;
    EXPECT_EQ(files.Injected(), 1);
    EXPECT_FALSE(files.FileExists(temp.Path("Data.sql")));
    EXPECT_FALSE(files.FileExists(temp.Path("Data.lob")));
    EXPECT_FALSE(files.FileExists(temp.Path("Data.manifest")));
  }
}

TEST(DataExport, ABlobFileThatCannotBeReadFailsTheStatementsThatNeedIt) {
  TempFolder temp;
  FakeDatabase source;
  FillKinds(source, 0);
  ExportTableData(source, platform::SystemPlatform().files, temp.Path("Data.sql"), ExportOptions{},
                  [](std::string_view) {});
  const std::string text = ReadBytes(temp.Path("Data.sql"));
  for (const FileCall call : {FileCall::kOpenInputFile, FileCall::kStreamRead}) {
    SCOPED_TRACE(call == FileCall::kOpenInputFile ? "open" : "read");
    FaultyFileSystem files(platform::SystemPlatform().files);
    files.Inject(Fault(call).Path(temp.Path("Data.lob")).Times(kEveryTime));
    FakeDatabase target;
    target.AddTable("KINDS", KindsTable());
    testing::RecordingReporter reporter;
    ScriptExecutor executor(target, files, reporter, temp.path());
    TextSource script(text);

    EXPECT_EQ(executor.Run(script), 1);

    ASSERT_EQ(reporter.errors.size(), 1u);
    EXPECT_NE(reporter.errors[0].find("the blob file cannot be "), std::string::npos)
        << reporter.errors[0];
    EXPECT_NE(reporter.errors[0].find("Access is denied (injected)."), std::string::npos);
    EXPECT_TRUE(Shown(target, "KINDS").empty());
  }
}

TEST(DataExport, ArraysGoAsNullAndAnArrayThatHoldsValuesStopsTheExportByPlace) {
  Column array{"LEVELS", ColumnKind::kInteger};
  array.array = true;
  for (const bool holds : {false, true}) {
    SCOPED_TRACE(holds ? "an array with values" : "empty arrays");
    TempFolder temp;
    // An earlier export's files, which a failed one does not leave behind.
    WriteBytes(temp.Path("Data.sql"), "SET DATA BEGIN;\nSET DATA END;\n");
    WriteBytes(temp.Path("Data.lob"), "");
    FakeDatabase source;
    source.AddTable("T", {{"ID", ColumnKind::kInteger}, array});
    source.AddRow("T", {Value::Integer(1), Value::Null()});
    source.AddRow("T", {Value::Integer(2), holds ? Value::Integer(1) : Value::Null()});
    std::string failure;
    try {
      ExportTableData(source, platform::SystemPlatform().files, temp.Path("Data.sql"),
                      ExportOptions{}, [](std::string_view) {});
    } catch (const ScriptError& e) {
      failure = e.what();
    }
    if (holds) {
      EXPECT_NE(failure.find("\"T\" holds an array in its column \"LEVELS\" (row 2)"),
                std::string::npos)
          << failure;
      EXPECT_FALSE(platform::SystemPlatform().files.FileExists(temp.Path("Data.sql")));
      EXPECT_FALSE(platform::SystemPlatform().files.FileExists(temp.Path("Data.lob")));
    } else {
      EXPECT_EQ(failure, "");
      EXPECT_NE(ReadBytes(temp.Path("Data.sql")).find("VALUES (2, NULL)"), std::string::npos);
    }
  }
}

TEST(DataExport, Win1251TextsWithTheByteThatIsNoCharacterStopTheExportWhateverTheConnection) {
  const struct {
    const char* connection;
    int charset;
    const char* charset_name;
    bool refused;
  } cases[] = {
      {"WIN1251", 52, "WIN1251", true},
      {"UTF8", 52, "WIN1251", true},  // read as stored, in WIN1251
      {"WIN1251", kCharsetNone, "NONE", false},
      {"WIN1251", kCharsetOctets, "OCTETS", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.connection) + " " + c.charset_name);
    TempFolder temp;
    FakeDatabase source(c.connection);
    Column text{"V", ColumnKind::kVarchar, 0, 0, c.charset, 20};
    text.charset_name = c.charset_name;
    Column blob{"B", ColumnKind::kBlob, 0, 1, c.charset};
    blob.charset_name = c.charset_name;
    source.AddTable("T", {{"ID", ColumnKind::kInteger}, text, blob});
    source.AddRow("T", {Value::Integer(1), Value::Text("ok"), source.Blob("ok")});
    source.AddRow("T", {Value::Integer(2), Value::Text("a\x98"), Value::Null()});
    source.AddRow("T",
                  {Value::Integer(3), Value::Null(), source.Blob(std::string(9000, 'b') + "\x98")});
    std::string failure;
    try {
      ExportTableData(source, platform::SystemPlatform().files, temp.Path("Data.sql"),
                      ExportOptions{}, [](std::string_view) {});
    } catch (const ScriptError& e) {
      failure = e.what();
    }
    if (c.refused) {
      EXPECT_NE(failure.find(":\r\n  \"T\".\"V\" row 2\r\n  \"T\".\"B\" row 3"), std::string::npos)
          << failure;
      EXPECT_FALSE(platform::SystemPlatform().files.FileExists(temp.Path("Data.sql")));
    } else {
      EXPECT_EQ(failure, "");
    }
  }
}

TEST(DataExport, AScriptCutShortOfItsEndFailsAndKeepsOnlyWhatItCommitted) {
  TempFolder temp;
  FakeDatabase source;
  FillKinds(source, 0);
  ExportTableData(source, platform::SystemPlatform().files, temp.Path("Data.sql"), ExportOptions{},
                  [](std::string_view) {});
  const std::string whole = ReadBytes(temp.Path("Data.sql"));
  const struct {
    const char* name;
    std::string text;
    const char* error;
    bool committed;  // the table's COMMIT WORK came before the cut
  } cases[] = {
      {"without its last line", whole.substr(0, whole.rfind("SET DATA END;")),
       "the data script ends before its SET DATA END", true},
      {"within its table's block", whole.substr(0, whole.find("END^")),
       "the data script ends before its SET DATA END", false},
      {"an end without a beginning", "SET DATA END;", "SET DATA END without SET DATA BEGIN", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDatabase target;
    target.AddTable("KINDS", KindsTable());
    testing::RecordingReporter reporter;
    ScriptExecutor executor(target, platform::SystemPlatform().files, reporter, temp.path());
    TextSource script(c.text);
    EXPECT_GE(executor.Run(script), 1);
    ASSERT_FALSE(reporter.errors.empty());
    EXPECT_NE(reporter.errors.back().find(c.error), std::string::npos) << reporter.errors.back();
    EXPECT_EQ(Shown(target, "KINDS").empty(), !c.committed);
  }
}

TEST(DataExport, OptionsMustAskForTheData) {
  ExportOptions options;
  std::string why;
  EXPECT_TRUE(ParseExportOptions("data, rows=10", options, why));
  EXPECT_EQ(options.rows_per_block, 10);
  EXPECT_FALSE(ParseExportOptions("", options, why));
  EXPECT_FALSE(ParseExportOptions("DATA ROWS=251", options, why));
  EXPECT_EQ(why, "ROWS= takes a number from 1 to 250, not \"251\"");
  EXPECT_FALSE(ParseExportOptions("DATA DDL", options, why));
  EXPECT_EQ(BlobFilePathFor("/a/b/Data.sql"), "/a/b/Data.lob");
  EXPECT_EQ(BlobFilePathFor("C:\\x.y\\Data"), "C:\\x.y\\Data.lob");
  EXPECT_EQ(BlobFilePathFor("/a/Data.lob"), "/a/Data.lob.lob");
}

}  // namespace
}  // namespace updater::scriptengine
