#include "scriptengine/data_manifest.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "scriptengine/errors.h"
#include "scriptengine/fake_database.h"
#include "support/temp_folder.h"

namespace updater::scriptengine {
namespace {

using testing::FakeDatabase;
using ::updater::testing::TempFolder;

constexpr int kWin1251Charset = 52;

// The figures of the one table "T" with column `column` and the rows
// `make` adds to a fake database of connection character set `charset`.
TableFigures FiguresOf(const std::string& charset, const Column& column,
                       const std::function<std::vector<Value>(FakeDatabase&)>& make) {
  FakeDatabase db(charset);
  db.AddTable("T", {column});
  for (Value& value : make(db)) db.AddRow("T", {std::move(value)});
  std::vector<TableFigures> found;
  ReadFigures(db, {TableFigures{"T", {column.name}, 0, 0}},
              [&](const TableFigures&, const TableFigures& figures) { found.push_back(figures); });
  return found.at(0);
}

using Rows = std::function<std::vector<Value>(FakeDatabase&)>;

Rows Texts(std::vector<std::string> texts) {
  return [texts](FakeDatabase&) {
    std::vector<Value> values;
    for (const std::string& text : texts) values.push_back(Value::Text(text));
    return values;
  };
}

TEST(DataManifest, TheSameValuesGiveTheSameChecksumOverEitherCharacterSet) {
  const Column name{"NAME", ColumnKind::kVarchar, 0, 0, kWin1251Charset, 100};
  const Column code{"CODE", ColumnKind::kChar, 0, 0, kWin1251Charset, 10};
  const Column note{"NOTE", ColumnKind::kBlob, 0, 1, kWin1251Charset};
  const Column money{"MONEY", ColumnKind::kBigint, 4};
  const struct {
    const char* what;
    std::string charset_a;
    Column column_a;
    Rows rows_a;
    std::string charset_b;
    Column column_b;
    Rows rows_b;
  } cases[] = {
      {"Cyrillic text over WIN1251 and over UTF8", "WIN1251", name,
       Texts({"\xCF\xF0\xE8\xE2\xE5\xF2", ""}), "UTF8", name,
       Texts({"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", ""})},
      {"CHAR padding of another length", "UTF8", code, Texts({"AB        "}), "UTF8", code,
       Texts({"AB  "})},
      {"a text blob and the same text", "WIN1251", note,
       [](FakeDatabase& db) { return std::vector<Value>{db.Blob("\xC0\xE1")}; }, "UTF8", name,
       Texts({"\xD0\x90\xD0\xB1"})},
      {"the same number under another scale", "UTF8", money,
       [](FakeDatabase&) { return std::vector<Value>{Value::Integer(1250, 2)}; }, "UTF8", money,
       [](FakeDatabase&) { return std::vector<Value>{Value::Integer(125000, 4)}; }},
      {"rows in another order", "UTF8", name, Texts({"a", "b", "c"}), "UTF8", name,
       Texts({"c", "a", "b"})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TableFigures a = FiguresOf(c.charset_a, c.column_a, c.rows_a);
    const TableFigures b = FiguresOf(c.charset_b, c.column_b, c.rows_b);
    EXPECT_EQ(a.rows, b.rows);
    EXPECT_EQ(a.checksum, b.checksum);
  }
}

TEST(DataManifest, DifferentValuesGiveDifferentChecksums) {
  const Column text{"X", ColumnKind::kVarchar, 0, 0, kWin1251Charset, 100};
  const Column bytes{"X", ColumnKind::kVarchar, 0, 0, kCharsetOctets, 100};
  const Column image{"X", ColumnKind::kBlob, 0, 0, 0};
  const std::string blob(70000, 'z');
  const struct {
    const char* what;
    Column column_a;
    Rows rows_a;
    Column column_b;
    Rows rows_b;
  } cases[] = {
      {"NULL and an empty text", text, [](FakeDatabase&) { return std::vector<Value>{Value()}; },
       text, Texts({""})},
      {"a text and the same bytes as a binary string", text, Texts({"ab"}), bytes, Texts({"ab"})},
      {"a blob cut by one byte", image,
       [&](FakeDatabase& db) { return std::vector<Value>{db.Blob(blob)}; }, image,
       [&](FakeDatabase& db) { return std::vector<Value>{db.Blob(blob.substr(1))}; }},
      {"two equal rows both changed alike", text, Texts({"a", "a"}), text, Texts({"b", "b"})},
      {"a value moved to another row", text, Texts({"ab", "c"}), text, Texts({"a", "bc"})},
      {"an empty blob and a NULL", image,
       [](FakeDatabase& db) { return std::vector<Value>{db.Blob("")}; }, image,
       [](FakeDatabase&) { return std::vector<Value>{Value()}; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_NE(FiguresOf("UTF8", c.column_a, c.rows_a).checksum,
              FiguresOf("UTF8", c.column_b, c.rows_b).checksum);
  }
}

TEST(DataManifest, ATableOrColumnTheDatabaseLacksIsReportedAsMissing) {
  FakeDatabase db("UTF8");
  db.AddTable("T", {{"A", ColumnKind::kInteger}});
  db.AddRow("T", {Value::Integer(1)});
  std::vector<TableFigures> found;
  ReadFigures(db, {{"GONE", {"A"}, 1, 0}, {"T", {"A", "B"}, 1, 0}, {"T", {"A"}, 1, 0}},
              [&](const TableFigures&, const TableFigures& figures) { found.push_back(figures); });
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].rows, -1);
  EXPECT_EQ(found[1].rows, -1);
  EXPECT_EQ(found[2].rows, 1);
}

TEST(DataManifest, AManifestReadsBackAndOneCutShortIsRefused) {
  TempFolder temp;
  platform::FileSystem& files = platform::SystemPlatform().files;
  const std::vector<TableFigures> tables = {
      {"Клиенты и % \"счета\"\n", {"A B", "%", "Ж"}, 12, 0xfedcba9876543210ull},
      {"EMPTY", {"X"}, 0, 0},
  };
  WriteManifest(files, temp.Path("Data.manifest"), tables);
  const std::vector<TableFigures> read = ReadManifest(files, temp.Path("Data.manifest"));
  ASSERT_EQ(read.size(), 2u);
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].name, tables[i].name);
    EXPECT_EQ(read[i].columns, tables[i].columns);
    EXPECT_EQ(read[i].rows, tables[i].rows);
    EXPECT_EQ(read[i].checksum, tables[i].checksum);
  }

  const std::string whole = files.ReadFile(temp.Path("Data.manifest")).value();
  for (const size_t cut : {size_t{0}, whole.size() / 2, whole.size() - 1}) {
    SCOPED_TRACE(cut);
    ASSERT_TRUE(files.WriteFile(temp.Path("Cut.manifest"), whole.substr(0, cut)));
    EXPECT_THROW(ReadManifest(files, temp.Path("Cut.manifest")), ScriptError);
  }
  EXPECT_EQ(ManifestPathFor(temp.Path("Data.sql")), temp.Path("Data.manifest"));
}

}  // namespace
}  // namespace updater::scriptengine
