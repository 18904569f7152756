#include "scriptengine/table_columns.h"

#include <algorithm>
#include <memory>

namespace updater::scriptengine {
namespace {

int Number(const Value& value, int otherwise = 0) {
  return value.IsNull() ? otherwise : static_cast<int>(value.integer);
}

}  // namespace

std::string StoredName(const Value& value) {
  const size_t end = value.text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : value.text.substr(0, end + 1);
}

std::vector<StoredColumn> ReadStoredColumns(Database& database, const std::string& table) {
  std::vector<StoredColumn> columns;
  std::unique_ptr<Cursor> fields = database.Open(
      "SELECT RF.RDB$FIELD_NAME, F.RDB$FIELD_TYPE, F.RDB$FIELD_SUB_TYPE, F.RDB$FIELD_SCALE, "
      "F.RDB$FIELD_PRECISION, F.RDB$CHARACTER_LENGTH, F.RDB$FIELD_LENGTH, "
      "F.RDB$CHARACTER_SET_ID, CS.RDB$CHARACTER_SET_NAME, CS.RDB$BYTES_PER_CHARACTER, "
      "F.RDB$DIMENSIONS "
      "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
      "LEFT JOIN RDB$CHARACTER_SETS CS ON CS.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID "
      "WHERE RF.RDB$RELATION_NAME = ? AND F.RDB$COMPUTED_BLR IS NULL "
      "ORDER BY RF.RDB$FIELD_POSITION",
      {Value::Text(table)});
  while (fields->Next()) {
    StoredColumn column;
    column.name = StoredName(fields->Get(0));
    column.field_type = Number(fields->Get(1));
    column.sub_type = Number(fields->Get(2));
    column.scale = Number(fields->Get(3));
    column.precision = Number(fields->Get(4));
    column.charset = Number(fields->Get(7), kCharsetNone);
    column.charset_name = StoredName(fields->Get(8));
    column.bytes_per_char = std::max(Number(fields->Get(9), 1), 1);
    column.char_length = fields->Get(5).IsNull() ? Number(fields->Get(6)) / column.bytes_per_char
                                                 : Number(fields->Get(5));
    column.array = Number(fields->Get(10)) > 0;
    columns.push_back(std::move(column));
  }
  return columns;
}

std::set<std::string> TablesLoadableSideBySide(Database& database) {
  std::set<std::string> tables;
  std::unique_ptr<Cursor> found = database.Open(
      "SELECT R.RDB$RELATION_NAME FROM RDB$RELATIONS R "
      "WHERE COALESCE(R.RDB$SYSTEM_FLAG, 0) = 0 AND R.RDB$VIEW_BLR IS NULL "
      "AND NOT EXISTS (SELECT 1 FROM RDB$INDICES I "
      "WHERE I.RDB$RELATION_NAME = R.RDB$RELATION_NAME "
      "AND COALESCE(I.RDB$INDEX_INACTIVE, 0) = 0 "
      "AND (I.RDB$UNIQUE_FLAG = 1 OR I.RDB$FOREIGN_KEY IS NOT NULL)) "
      "AND NOT EXISTS (SELECT 1 FROM RDB$TRIGGERS T "
      "WHERE T.RDB$RELATION_NAME = R.RDB$RELATION_NAME "
      "AND COALESCE(T.RDB$TRIGGER_INACTIVE, 0) = 0)",
      {});
  while (found->Next()) tables.insert(StoredName(found->Get(0)));
  return tables;
}

}  // namespace updater::scriptengine
