#include "scriptengine/fb_packed_cursor.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "scriptengine/errors.h"
#include "scriptengine/fb_statement.h"
#include "scriptengine/values.h"

namespace updater::scriptengine {
namespace {

// A group of rows per fetch comes to about this many bytes: larger
// messages cost the server more than the fetches they save.
constexpr size_t kGroupBytes = 10240;
constexpr size_t kMostRows = 20;
constexpr size_t kFewestRows = 2;

// The declared type that gives a value exactly as `v` describes it; none
// for a type the packed reading does not hand through.
std::optional<std::string> Declaration(const XSQLVAR& v, const std::map<int, CharacterSet>& sets) {
  auto exact = [&](const char* type, int precision) {
    if (v.sqlscale == 0) return std::string(type);
    return "NUMERIC(" + std::to_string(precision) + "," + std::to_string(-v.sqlscale) + ")";
  };
  auto text = [&](const char* type) -> std::optional<std::string> {
    // Naming the set always (the default one too) keeps the description
    // independent of the database's default.
    const auto set = sets.find(v.sqlsubtype & 0xFF);
    if (set == sets.end() || v.sqllen % set->second.bytes_per_char != 0) return std::nullopt;
    return std::string(type) + "(" + std::to_string(v.sqllen / set->second.bytes_per_char) +
           ") CHARACTER SET " + set->second.name;
  };
  switch (v.sqltype & ~1) {
    case SQL_SHORT:
      return exact("SMALLINT", 4);
    case SQL_LONG:
      return exact("INTEGER", 9);
    case SQL_INT64:
      return exact("BIGINT", 18);
    case SQL_FLOAT:
      return "FLOAT";
    case SQL_DOUBLE:
      return "DOUBLE PRECISION";
    case SQL_TYPE_DATE:
      return "DATE";
    case SQL_TYPE_TIME:
      return "TIME";
    case SQL_TIMESTAMP:
      return "TIMESTAMP";
    case SQL_BOOLEAN:
      return "BOOLEAN";
    case SQL_TEXT:
      return text("CHAR");
    case SQL_VARYING:
      return text("VARCHAR");
    default:
      return std::nullopt;
  }
}

bool IsText(const XSQLVAR& v) {
  return (v.sqltype & ~1) == SQL_TEXT || (v.sqltype & ~1) == SQL_VARYING;
}

// Whether `got` gives its values as `want` does.
bool SameType(const XSQLVAR& want, const XSQLVAR& got) {
  return (want.sqltype & ~1) == (got.sqltype & ~1) && want.sqlscale == got.sqlscale &&
         want.sqllen == got.sqllen &&
         (!IsText(want) || (want.sqlsubtype & 0xFF) == (got.sqlsubtype & 0xFF));
}

std::string Slot(size_t column, size_t group) {
  return "C" + std::to_string(column) + "_" + std::to_string(group + 1);
}

// The block whose every output row holds the next `rows` rows of `select`
// in groups of `declarations.size()` values after K, the number of groups
// that hold a row. It FETCHes each row straight into its group.
std::string PackedBlock(const std::string& select, const std::vector<std::string>& declarations,
                        size_t rows) {
  std::string text = "EXECUTE BLOCK RETURNS (K INTEGER";
  for (size_t g = 0; g < rows; ++g) {
    for (size_t i = 0; i < declarations.size(); ++i) {
      text += ", " + Slot(i, g) + " " + declarations[i];
    }
  }
  text += ") AS\nDECLARE Q CURSOR FOR (" + select + ");\nBEGIN\nOPEN Q;\nWHILE (1=1) DO BEGIN\n";
  for (size_t g = 0; g < rows; ++g) {
    text += "FETCH Q INTO ";
    for (size_t i = 0; i < declarations.size(); ++i) text += (i > 0 ? ", :" : ":") + Slot(i, g);
    text += g == 0 ? "; IF (ROW_COUNT = 0) THEN LEAVE;\n"
                   : "; IF (ROW_COUNT = 0) THEN BEGIN K = " + std::to_string(g) +
                         "; SUSPEND; LEAVE; END\n";
  }
  text += "K = " + std::to_string(rows) + "; SUSPEND;\nEND\nCLOSE Q;\nEND";
  return text;
}

class PackedCursor final : public Cursor {
 public:
  PackedCursor(std::vector<Column> columns, std::unique_ptr<FbStatement> statement)
      : columns_(std::move(columns)), statement_(std::move(statement)), row_(columns_.size()) {}
  const std::vector<Column>& Columns() const override { return columns_; }
  bool Next() override {
    if (++group_ >= filled_) {
      if (done_ || !statement_->Fetch()) {
        done_ = true;
        return false;
      }
      const Value count = statement_->Out().Get(0);
      filled_ = count.IsNull() ? 0 : static_cast<size_t>(count.integer);
      group_ = 0;
      if (filled_ == 0) {
        done_ = true;
        return false;
      }
    }
    const size_t first = 1 + group_ * columns_.size();
    for (size_t i = 0; i < columns_.size(); ++i) statement_->Out().Read(first + i, row_[i]);
    return true;
  }
  const Value& Get(size_t index) const override { return row_.at(index); }
  void ReadBlob(size_t index, const std::function<void(std::string_view)>&) override {
    throw ScriptError("internal error: column " + std::to_string(index) + " holds no blob");
  }

 private:
  std::vector<Column> columns_;
  std::unique_ptr<FbStatement> statement_;
  std::vector<Value> row_;
  size_t group_ = 0;
  size_t filled_ = 0;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<Cursor> OpenPacked(FbDatabase& database, const std::string& select) {
  // The plain select's own description gives the types to declare.
  std::vector<XSQLVAR> wanted;
  std::vector<Column> columns;
  {
    FbStatement plain(database, select);
    for (int i = 0; i < plain.Out().Described(); ++i) {
      wanted.push_back(plain.Out().var(static_cast<size_t>(i)));
      columns.push_back(plain.Out().DescribeColumn(static_cast<size_t>(i)));
    }
  }
  if (wanted.empty()) return nullptr;
  const std::map<int, CharacterSet>& sets = database.CharacterSets();
  std::vector<std::string> declarations;
  size_t row_bytes = 0;
  for (const XSQLVAR& v : wanted) {
    std::optional<std::string> declared = Declaration(v, sets);
    if (!declared) return nullptr;
    declarations.push_back(std::move(*declared));
    // The value, a VARCHAR's length, the NULL flag and room for alignment.
    row_bytes += static_cast<size_t>(v.sqllen) + 2 + 2 + 4;
  }
  const size_t rows = std::clamp(kGroupBytes / row_bytes, kFewestRows, kMostRows);
  std::unique_ptr<FbStatement> packed;
  try {
    packed = std::make_unique<FbStatement>(database, PackedBlock(select, declarations, rows));
  } catch (const DatabaseError&) {
    // An older server without cursors in EXECUTE BLOCK, or a request
    // beyond its limits: the plain select reads the same rows.
    return nullptr;
  }
  // The values must arrive as the plain select gives them, so that whoever
  // hashes or compares them sees the same bytes; anything else is read plain.
  const SqlDa& out = packed->Out();
  if (!packed->ReturnsRows() || out.Described() != static_cast<int>(1 + rows * wanted.size()))
    return nullptr;
  for (size_t g = 0; g < rows; ++g) {
    for (size_t i = 0; i < wanted.size(); ++i) {
      if (!SameType(wanted[i], out.var(1 + g * wanted.size() + i))) return nullptr;
    }
  }
  packed->Execute();
  return std::make_unique<PackedCursor>(std::move(columns), std::move(packed));
}

}  // namespace updater::scriptengine
