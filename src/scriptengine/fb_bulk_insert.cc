#include "scriptengine/fb_bulk_insert.h"

#include <algorithm>

#include "common/strings.h"
#include "scriptengine/errors.h"
#include "scriptengine/fb_database.h"
#include "scriptengine/fb_statement.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {
namespace {

// Firebird 2.0 takes statements and messages of up to 64 KB; both stay below.
constexpr size_t kMaxStatementText = 64000;
constexpr size_t kMaxMessageBytes = 64000;
constexpr size_t kMaxPrepared = 16;

// RDB$FIELD_TYPE numbers.
enum FieldType {
  kShort = 7,
  kLong = 8,
  kQuad = 9,
  kFloat = 10,
  kDFloat = 11,
  kDate = 12,
  kTime = 13,
  kText = 14,
  kInt64 = 16,
  kBoolean = 23,
  kDouble = 27,
  kTimestamp = 35,
  kVarying = 37,
  kCString = 40,
  kBlob = 261,
};

std::string Trimmed(const Value& value) {
  const size_t end = value.text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : value.text.substr(0, end + 1);
}

int Number(const Value& value, int otherwise = 0) {
  return value.IsNull() ? otherwise : static_cast<int>(value.integer);
}

// The character set a text parameter for `column` is declared in: binary
// and untyped columns keep theirs, all others take the connection's, in
// which the values come.
std::string ParamCharset(const TargetColumn& column, const std::string& connection) {
  if (column.charset == kCharsetOctets || column.charset == kCharsetNone || connection == "NONE") {
    return column.charset_name.empty() ? "NONE" : column.charset_name;
  }
  return connection;
}

int CharsetBytes(const std::string& charset) {
  if (charset == "UTF8" || charset == "UNICODE_FSS") return 4;
  return charset == "NONE" || charset == "OCTETS" || charset.rfind("WIN", 0) == 0 ||
                 charset.rfind("ISO8859", 0) == 0 || charset.rfind("DOS", 0) == 0 ||
                 charset.rfind("KOI8", 0) == 0 || charset == "ASCII"
             ? 1
             : 4;
}

// One column's parameter for one group of rows: its declaration and the
// bytes it takes in a message.
struct ParamShape {
  std::string declaration;
  size_t message_bytes = 0;
  bool blob = false;  // values are bound as blobs
};

// The types whose parameters are declared as they are.
struct FixedShape {
  int field_type;
  const char* declaration;
  size_t message_bytes;
};
constexpr FixedShape kFixedShapes[] = {
    {kFloat, "FLOAT", 4},
    {kDFloat, "DOUBLE PRECISION", 8},
    {kDouble, "DOUBLE PRECISION", 8},
    {kDate, "DATE", 4},
    {kTime, "TIME", 4},
    {kTimestamp, "TIMESTAMP", 8},
    {kBoolean, "BOOLEAN", 1},
};

ParamShape ShapeFor(const TargetColumn& column, const std::vector<std::vector<Value>>& rows,
                    size_t index, const std::string& connection) {
  ParamShape shape;
  for (const FixedShape& fixed : kFixedShapes) {
    if (fixed.field_type == column.field_type) {
      shape.declaration = fixed.declaration;
      shape.message_bytes = fixed.message_bytes + 4;
      return shape;
    }
  }
  switch (column.field_type) {
    case kShort:
    case kLong:
    case kInt64: {
      const char* base = column.field_type == kShort  ? "SMALLINT"
                         : column.field_type == kLong ? "INTEGER"
                                                      : "BIGINT";
      if (column.scale == 0 && column.sub_type == 0) {
        shape.declaration = base;
      } else {
        const int precision = column.precision > 0          ? column.precision
                              : column.field_type == kShort ? 4
                              : column.field_type == kLong  ? 9
                                                            : 18;
        shape.declaration = std::string(column.sub_type == 2 ? "DECIMAL(" : "NUMERIC(") +
                            std::to_string(precision) + "," + std::to_string(-column.scale) + ")";
      }
      shape.message_bytes = 8;
      break;
    }
    case kText:
    case kVarying:
    case kCString: {
      const std::string charset = ParamCharset(column, connection);
      const int length = std::max(column.char_length, 1);
      shape.declaration = "VARCHAR(" + std::to_string(length) + ") CHARACTER SET " + charset;
      shape.message_bytes = static_cast<size_t>(length) * CharsetBytes(charset) + 2;
      break;
    }
    case kBlob: {
      const std::string charset = ParamCharset(column, connection);
      // Short texts go as strings, which the server makes blobs of on its
      // side: no round trips for them. Values from the blob file come as
      // blobs.
      size_t longest = 0;
      bool slices = false;
      for (const auto& row : rows) {
        const Value& value = row[index];
        if (value.kind == Value::Kind::kBlobSlice) slices = true;
        if (value.kind == Value::Kind::kText) longest = std::max(longest, value.text.size());
      }
      const size_t limit = CharsetBytes(charset) == 1 ? 32765 : 8191;
      if (slices || longest > limit) {
        shape.blob = true;
        shape.declaration = "BLOB SUB_TYPE " + std::to_string(column.sub_type);
        if (column.sub_type == 1) shape.declaration += " CHARACTER SET " + charset;
        shape.message_bytes = 8;
      } else {
        size_t bucket = 64;
        while (bucket < longest) bucket *= 4;
        bucket = std::min(bucket, limit);
        const std::string text_charset = column.sub_type == 1 ? charset : "OCTETS";
        shape.declaration = "VARCHAR(" + std::to_string(bucket) + ") CHARACTER SET " + text_charset;
        shape.message_bytes = bucket * CharsetBytes(text_charset) + 2;
      }
      break;
    }
    default:
      break;  // arrays and the like: not for the bulk load
  }
  shape.message_bytes += 4;  // the NULL flag and alignment
  return shape;
}

}  // namespace

BulkStatements::~BulkStatements() = default;

const InsertPlan& FbDatabase::PlanFor(const DataBlock& block) {
  std::string key = block.table;
  for (const std::string& column : block.columns) key += '\0' + column;
  auto& plan = insert_plans_[key];
  if (plan) return *plan;
  plan = std::make_unique<InsertPlan>();

  std::map<std::string, TargetColumn> found;
  std::unique_ptr<Cursor> fields = Open(
      "SELECT RF.RDB$FIELD_NAME, F.RDB$FIELD_TYPE, F.RDB$FIELD_SUB_TYPE, F.RDB$FIELD_SCALE, "
      "F.RDB$FIELD_PRECISION, F.RDB$CHARACTER_LENGTH, F.RDB$FIELD_LENGTH, "
      "F.RDB$CHARACTER_SET_ID, CS.RDB$CHARACTER_SET_NAME, CS.RDB$BYTES_PER_CHARACTER, "
      "CASE WHEN F.RDB$COMPUTED_BLR IS NULL AND F.RDB$DIMENSIONS IS NULL THEN 0 ELSE 1 END "
      "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
      "LEFT JOIN RDB$CHARACTER_SETS CS ON CS.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID "
      "WHERE RF.RDB$RELATION_NAME = ?",
      {Value::Text(block.table)});
  while (fields->Next()) {
    if (Number(fields->Get(10)) != 0) continue;  // computed columns and arrays take no rows
    TargetColumn column;
    column.name = Trimmed(fields->Get(0));
    column.field_type = Number(fields->Get(1));
    column.sub_type = Number(fields->Get(2));
    column.scale = Number(fields->Get(3));
    column.precision = Number(fields->Get(4));
    column.charset = Number(fields->Get(7));
    column.charset_name = Trimmed(fields->Get(8));
    column.bytes_per_char = std::max(Number(fields->Get(9), 1), 1);
    column.char_length = fields->Get(5).IsNull() ? Number(fields->Get(6)) / column.bytes_per_char
                                                 : Number(fields->Get(5));
    found[column.name] = column;
  }
  for (const std::string& name : block.columns) {
    const auto column = found.find(name);
    if (column == found.end()) return *plan;  // the server will say what is wrong
    plan->columns.push_back(column->second);
  }
  plan->usable = true;
  return *plan;
}

bool FbDatabase::InsertRows(const DataBlock& block) {
  const InsertPlan& plan = PlanFor(block);
  if (!plan.usable || block.rows.empty()) return false;
  const size_t width = plan.columns.size();

  std::vector<ParamShape> shapes;
  size_t row_message = 0;
  for (size_t c = 0; c < width; ++c) {
    shapes.push_back(ShapeFor(plan.columns[c], block.rows, c, charset_));
    if (shapes.back().declaration.empty()) return false;
    row_message += shapes.back().message_bytes;
  }
  std::string insert = "INSERT INTO " + QuoteName(block.table) + "(";
  for (size_t c = 0; c < width; ++c) insert += (c > 0 ? "," : "") + QuoteName(block.columns[c]);
  insert += ")VALUES(";
  // The text one row adds: its declarations and its INSERT.
  size_t row_text = insert.size() + 3;
  for (const ParamShape& shape : shapes) row_text += shape.declaration.size() + 16;
  const size_t most =
      std::min({block.rows.size(), kMaxMessageBytes / row_message, kMaxStatementText / row_text});
  if (most == 0) return false;
  // Executions of equal size, so that they share one prepared statement.
  const size_t executions = (block.rows.size() + most - 1) / most;
  const size_t per_execution = (block.rows.size() + executions - 1) / executions;

  std::string plan_key = block.table;
  for (size_t c = 0; c < width; ++c)
    plan_key += '\n' + block.columns[c] + ' ' + shapes[c].declaration;
  auto statement_for = [&](size_t rows) -> FbStatement& {
    const std::string key = plan_key + '\n' + std::to_string(rows);
    auto& prepared = bulk_statements_->prepared[key];
    if (!prepared) {
      std::string declarations, body;
      size_t param = 0;
      for (size_t r = 0; r < rows; ++r) {
        body += insert;
        for (size_t c = 0; c < width; ++c, ++param) {
          const std::string name = "A" + std::to_string(param);
          if (param > 0) declarations += ",";
          declarations += name + " " + shapes[c].declaration + "=?";
          body += (c > 0 ? ",:" : ":") + name;
        }
        body += ");\n";
      }
      prepared = std::make_unique<FbStatement>(
          *this, "EXECUTE BLOCK(" + declarations + ")\nAS BEGIN\n" + body + "END");
      bulk_statements_->order.push_back(key);
      if (bulk_statements_->order.size() > kMaxPrepared) {
        bulk_statements_->prepared.erase(bulk_statements_->order.front());
        bulk_statements_->order.erase(bulk_statements_->order.begin());
      }
    }
    return *prepared;
  };
  auto run = [&](std::unique_ptr<FbStatement>& statement, const char* sql) {
    if (!statement) statement = std::make_unique<FbStatement>(*this, sql);
    statement->Execute();
  };

  // A block that takes more than one execution is made all-or-nothing by a
  // savepoint, as the block's own text would be.
  const bool split = executions > 1;
  if (split) run(bulk_statements_->savepoint, "SAVEPOINT SCRIPT_ENGINE_BULK_LOAD");
  std::vector<Value> converted;  // integers for blob parameters, as texts
  converted.reserve(block.rows.size() * width);
  try {
    for (size_t first = 0; first < block.rows.size(); first += per_execution) {
      const size_t rows = std::min(per_execution, block.rows.size() - first);
      std::vector<const Value*> params;
      params.reserve(rows * width);
      for (size_t r = first; r < first + rows; ++r) {
        for (size_t c = 0; c < width; ++c) {
          const Value& value = block.rows[r][c];
          if (shapes[c].blob && value.kind == Value::Kind::kInteger) {
            converted.push_back(Value::Text(IntegerText(value.integer, value.scale)));
            params.push_back(&converted.back());
          } else {
            params.push_back(&value);
          }
        }
      }
      FbStatement& statement = statement_for(rows);
      statement.Bind(params);
      statement.Execute();
    }
  } catch (...) {
    if (split) {
      // The block's failure is what the caller must hear of; undoing its
      // first part cannot fail short of a lost connection.
      try {
        run(bulk_statements_->undo, "ROLLBACK TO SAVEPOINT SCRIPT_ENGINE_BULK_LOAD");
      } catch (const std::exception&) {
      }
    }
    throw;
  }
  if (split) run(bulk_statements_->release, "RELEASE SAVEPOINT SCRIPT_ENGINE_BULK_LOAD ONLY");
  return true;
}

}  // namespace updater::scriptengine
