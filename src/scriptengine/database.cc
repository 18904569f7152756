#include "scriptengine/database.h"

#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {

bool IsTextColumn(const Column& column) {
  return column.kind == ColumnKind::kChar || column.kind == ColumnKind::kVarchar ||
         (column.kind == ColumnKind::kBlob && column.sub_type == 1);
}

bool IsBinaryColumn(const Column& column) {
  return (column.kind == ColumnKind::kBlob && column.sub_type != 1) ||
         (IsTextColumn(column) && column.charset == kCharsetOctets);
}

std::unique_ptr<Cursor> Database::ReadTable(const Table& table) {
  std::string select = "SELECT ";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) select += ", ";
    select += QuoteName(table.columns[i].name);
  }
  return Open(select + " FROM " + QuoteName(table.name), {});
}

}  // namespace updater::scriptengine
