// Rows read ahead on a thread reach the caller as the table holds them, with
// their blobs, and a failure reaches it where it happened.
#include "scriptengine/fetch_ahead.h"

#include <gtest/gtest.h>

#include "scriptengine/errors.h"
#include "scriptengine/fake_database.h"

namespace updater::scriptengine {
namespace {

using testing::FakeDatabase;

// Every row of `cursor` as text, blobs read whole, values joined by "|".
std::vector<std::string> Rows(Cursor& cursor) {
  std::vector<std::string> rows;
  while (cursor.Next()) {
    std::string row;
    for (size_t i = 0; i < cursor.Columns().size(); ++i) {
      const Value& value = cursor.Get(i);
      row += value.IsNull() ? "NULL" : ValueText(value);
      if (value.kind == Value::Kind::kBlob) {
        cursor.ReadBlob(i, [&](std::string_view piece) { row.append(piece); });
      }
      row += "|";
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

TEST(FetchAhead, GivesEveryRowAndBlobInOrderAcrossBatches) {
  FakeDatabase db;
  Column id{"ID", ColumnKind::kInteger};
  Column text{"T", ColumnKind::kVarchar};
  text.charset = 52;
  Column blob{"B", ColumnKind::kBlob};
  db.AddTable("T", {id, text, blob});
  // Blobs in runs and alone, texts long enough to end batches early, and
  // an empty table after them.
  for (int i = 0; i < 3000; ++i) {
    const bool has_blob = i % 97 == 0 || (i >= 1500 && i < 1510);
    db.AddRow("T",
              {Value::Integer(i), Value::Text(std::string(i % 7 == 0 ? 9000 : 3, 'a' + i % 26)),
               has_blob ? db.Blob("blob " + std::to_string(i)) : Value::Null()});
  }
  db.AddTable("EMPTY", {id});
  for (const Table& table : db.UserTables()) {
    SCOPED_TRACE(table.name);
    std::unique_ptr<Cursor> direct = db.ReadTable(table);
    std::unique_ptr<Cursor> ahead = FetchAhead(db.ReadTable(table), table);
    EXPECT_EQ(Rows(*ahead), Rows(*direct));
    EXPECT_FALSE(ahead->Next());
  }
}

// Rows counted out, then a failure; its columns one integer.
class FailingCursor final : public Cursor {
 public:
  explicit FailingCursor(int rows) : rows_(rows) {}
  const std::vector<Column>& Columns() const override { return columns_; }
  bool Next() override {
    if (++row_ == rows_) throw DatabaseError("connection lost", {});
    value_ = Value::Integer(row_);
    return true;
  }
  const Value& Get(size_t) const override { return value_; }
  void ReadBlob(size_t, const std::function<void(std::string_view)>&) override {}

 private:
  std::vector<Column> columns_{Column{"ID", ColumnKind::kInteger}};
  int rows_;
  int row_ = -1;
  Value value_;
};

TEST(FetchAhead, AFailureReachesTheCallerAfterTheRowsBeforeIt) {
  for (int failing_row : {0, 255, 256, 700}) {
    SCOPED_TRACE(failing_row);
    Table table{"T", {Column{"ID", ColumnKind::kInteger}}};
    std::unique_ptr<Cursor> ahead = FetchAhead(std::make_unique<FailingCursor>(failing_row), table);
    int seen = 0;
    try {
      while (ahead->Next()) EXPECT_EQ(ahead->Get(0).integer, seen++);
      ADD_FAILURE() << "no failure";
    } catch (const DatabaseError& e) {
      EXPECT_STREQ(e.what(), "connection lost");
    }
    EXPECT_EQ(seen, failing_row);
  }
}

TEST(FetchAhead, ACursorLeftHalfWayEndsItsReading) {
  FakeDatabase db;
  db.AddTable("T", {Column{"ID", ColumnKind::kInteger}});
  for (int i = 0; i < 5000; ++i) db.AddRow("T", {Value::Integer(i)});
  const Table table = db.UserTables().front();
  std::unique_ptr<Cursor> ahead = FetchAhead(db.ReadTable(table), table);
  ASSERT_TRUE(ahead->Next());
  ahead.reset();  // joins the reading thread, which waits for a free batch
}

}  // namespace
}  // namespace updater::scriptengine
