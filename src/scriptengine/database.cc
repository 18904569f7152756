#include "scriptengine/database.h"

#include "scriptengine/errors.h"
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

void Cursor::ReadUnicode(size_t index, const std::function<void(std::string_view)>&) {
  throw ScriptError("internal error: column " + std::to_string(index) +
                    " was not read to give its text as UTF-8");
}

std::unique_ptr<Cursor> Database::ReadTable(const Table& table, TableReading /*reading*/) {
  std::string select = "SELECT ";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) select += ", ";
    select += QuoteName(table.columns[i].name);
  }
  return Open(select + " FROM " + QuoteName(table.name), {});
}

}  // namespace updater::scriptengine
