#include "scriptengine/fb_bulk_insert.h"

#include <algorithm>
#include <optional>

#include "platform/strings.h"
#include "scriptengine/errors.h"
#include "scriptengine/fb_database.h"
#include "scriptengine/fb_statement.h"
#include "scriptengine/script_charset.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {
namespace {

// Firebird 2.0 takes statements and messages of up to 64 KB; both stay below.
constexpr size_t kMaxStatementText = 64000;
constexpr size_t kMaxMessageBytes = 64000;
// Compiled requests and prepared statements kept on an attachment: a
// table's blocks may take several (rows per request, its texts' field
// lengths), and a few tables' blocks may take turns.
constexpr size_t kMaxPrepared = 32;

// The character set a text parameter for `column` is declared in: binary
// and untyped columns keep theirs, all others take the connection's, in
// which the values come.
std::string ParamCharset(const StoredColumn& column, const std::string& connection) {
  if (column.charset == kCharsetOctets || column.charset == kCharsetNone || connection == "NONE") {
    return column.charset_name.empty() ? "NONE" : column.charset_name;
  }
  return connection;
}

// The most characters a UTF8 parameter holds (32,765 bytes).
constexpr size_t kMaxUtf8Characters = 8191;

// Whether the loader converts the texts of text blob column `index` in
// `rows` to UTF-8 itself (ConvertsTextBlobToUtf8). Texts too long for a
// UTF8 parameter, and a text with the byte that is no character (0x98),
// are left to the server as before (it makes that byte a NUL, which the
// check after the update's load finds).
bool ConvertsToUtf8(const StoredColumn& column, const std::vector<std::vector<Value>>& rows,
                    size_t index, const std::string& connection) {
  if (!ConvertsTextBlobToUtf8(column, connection)) return false;
  size_t longest = 0;
  for (const auto& row : rows) {
    const Value& value = row[index];
    if (value.kind == Value::Kind::kNull) continue;
    // Values of other kinds (a text from the blob file among them) are
    // bound as before.
    if (value.kind != Value::Kind::kText) return false;
    if (value.text.find('\x98') != std::string::npos) return false;
    longest = std::max(longest, value.text.size());  // one byte, one character
  }
  return longest <= kMaxUtf8Characters;
}

// One column's parameter for one group of rows: its declaration and the
// bytes it takes in a message.
struct ParamShape {
  std::string declaration;
  size_t message_bytes = 0;
  bool blob = false;     // values are bound as blobs
  bool to_utf8 = false;  // texts are converted from WIN1251 and bound as UTF8
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

// `cache[key]`, made by `make` when it is not there yet; the entry used
// least recently (first in `order`) goes when there are too many.
template <typename T, typename Make>
T& Cached(std::map<std::string, std::unique_ptr<T>>& cache, std::vector<std::string>& order,
          const std::string& key, const Make& make) {
  auto& entry = cache[key];
  if (entry) {
    const auto used = std::find(order.begin(), order.end(), key);
    std::rotate(used, used + 1, order.end());
    return *entry;
  }
  entry = make();
  T& made = *entry;
  order.push_back(key);
  if (order.size() > kMaxPrepared) {
    cache.erase(order.front());
    order.erase(order.begin());
  }
  return made;
}

ParamShape ShapeFor(const StoredColumn& column, const std::vector<std::vector<Value>>& rows,
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
      shape.message_bytes = static_cast<size_t>(length) * MaxCharacterBytes(charset) + 2;
      break;
    }
    case kBlob: {
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
      shape.to_utf8 = !slices && ConvertsToUtf8(column, rows, index, connection);
      const std::string charset = shape.to_utf8 ? "UTF8" : ParamCharset(column, connection);
      const size_t limit = MaxCharacterBytes(charset) == 1 ? 32765 : kMaxUtf8Characters;
      if (slices || longest > limit) {
        shape.blob = true;
        shape.declaration = "BLOB SUB_TYPE " + std::to_string(column.sub_type);
        if (column.sub_type == 1) shape.declaration += " CHARACTER SET " + charset;
        shape.message_bytes = 8;
      } else {
        const size_t bucket = BucketLength(longest, limit);
        const std::string text_charset = column.sub_type == 1 ? charset : "OCTETS";
        shape.declaration = "VARCHAR(" + std::to_string(bucket) + ") CHARACTER SET " + text_charset;
        shape.message_bytes = bucket * MaxCharacterBytes(text_charset) + 2;
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

// How the rows of one block go to the server: each column's parameter, the
// rows per execution and the number of executions.
struct BulkLoader::Layout {
  std::string key;     // the table, its columns and their declarations
  std::string insert;  // INSERT INTO "T"("A","B")VALUES(
  std::vector<ParamShape> shapes;
  size_t per_execution = 0;
  size_t executions = 0;
};

std::optional<BulkLoader::Layout> BulkLoader::LayoutFor(const InsertPlan& plan,
                                                        const DataBlock& block) const {
  const std::vector<StoredColumn>& columns = plan.columns;
  Layout layout;
  size_t row_message = 0;
  for (size_t c = 0; c < columns.size(); ++c) {
    layout.shapes.push_back(ShapeFor(columns[c], block.rows, c, database_.Charset()));
    if (layout.shapes.back().declaration.empty()) return std::nullopt;
    row_message += layout.shapes.back().message_bytes;
  }
  layout.insert = "INSERT INTO " + QuoteName(block.table) + "(";
  for (size_t c = 0; c < columns.size(); ++c) {
    layout.insert += (c > 0 ? "," : "") + QuoteName(block.columns[c]);
  }
  layout.insert += ")VALUES(";
  // The text one row adds: its declarations and its INSERT.
  size_t row_text = layout.insert.size() + 3;
  for (const ParamShape& shape : layout.shapes) row_text += shape.declaration.size() + 16;
  const size_t most =
      std::min({block.rows.size(), kMaxMessageBytes / row_message, kMaxStatementText / row_text});
  if (most == 0) return std::nullopt;
  // Executions of equal size, so that they share one prepared statement.
  layout.executions = (block.rows.size() + most - 1) / most;
  layout.per_execution = (block.rows.size() + layout.executions - 1) / layout.executions;

  layout.key = block.table;
  for (size_t c = 0; c < columns.size(); ++c) {
    layout.key += '\n' + block.columns[c] + ' ' + layout.shapes[c].declaration;
  }
  return layout;
}

BulkLoader::BulkLoader(FbDatabase& database) : database_(database) {}

BulkLoader::~BulkLoader() = default;

void BulkLoader::Forget() {
  plans_.clear();
  prepared_.clear();
  order_.clear();
  requests_.clear();
  request_order_.clear();
  charset_.reset();
  savepoint_.reset();
  release_.reset();
  undo_.reset();
}

BulkLoader::InsertPlan& BulkLoader::PlanFor(const DataBlock& block) {
  std::string key = block.table;
  for (const std::string& column : block.columns) key += '\0' + column;
  auto& plan = plans_[key];
  if (plan) return *plan;
  plan = std::make_unique<InsertPlan>();
  plan->key = key;

  std::map<std::string, StoredColumn> found;
  for (StoredColumn& column : ReadStoredColumns(database_, block.table)) {
    if (column.array) continue;  // arrays take no rows this way
    found[column.name] = std::move(column);
  }
  for (const std::string& name : block.columns) {
    const auto column = found.find(name);
    if (column == found.end()) return *plan;  // the server will say what is wrong
    plan->columns.push_back(column->second);
  }
  plan->usable = true;
  if (Charset().id >= 0) plan->store = BlrStore::For(block.table, plan->columns, Charset());
  return *plan;
}

const ConnectionCharset& BulkLoader::Charset() {
  if (charset_) return *charset_;
  charset_ = ConnectionCharset{};
  const std::string name = database_.Charset();
  charset_->name = name;
  if (name == "NONE") return *charset_;
  // A name the server knows only as an alias is not found: the texts'
  // character set cannot be named in a request, so its blocks go as INSERTs.
  charset_->id = -1;
  for (const auto& [id, set] : database_.CharacterSets()) {
    if (set.name != name) continue;
    charset_->id = id;
    charset_->bytes_per_char = set.bytes_per_char;
  }
  return *charset_;
}

BlrRequest& BulkLoader::RequestFor(const InsertPlan& plan, const BlrStore& store, size_t rows) {
  return Cached(requests_, request_order_,
                plan.key + '\0' + store.Lengths() + '\0' + std::to_string(rows),
                [&] { return std::make_unique<BlrRequest>(database_, store.Request(rows)); });
}

bool BulkLoader::StoreRows(InsertPlan& plan, const DataBlock& block) {
  if (!plan.store) return false;
  // Text blobs' fields as long as this block's texts need.
  const std::optional<BlrStore> sized = plan.store->ForBlock(block.rows);
  if (!sized) return false;
  const BlrStore& store = *sized;
  const size_t total = block.rows.size();
  // Groups of equal size, so that they share one request.
  const size_t groups = (total + store.MaxRows() - 1) / store.MaxRows();
  const size_t per_group = (total + groups - 1) / groups;
  std::vector<std::string> messages(groups);
  for (size_t g = 0; g < groups; ++g) {
    const size_t first = g * per_group;
    if (!store.Fill(block.rows, first, std::min(per_group, total - first), messages[g])) {
      return false;
    }
  }
  const auto rows_of = [&](size_t g) { return std::min(per_group, total - g * per_group); };
  try {
    // Compiled before anything is sent (the last group's may differ).
    RequestFor(plan, store, rows_of(0));
    RequestFor(plan, store, rows_of(groups - 1));
  } catch (const DatabaseError&) {
    // A server that does not compile the request (an older one without a
    // type of the table's) takes the table's blocks as INSERTs.
    plan.store.reset();
    return false;
  }
  // The server runs a request under a savepoint of its own and undoes all
  // of it when it fails: a block of one request needs none of ours, and
  // two round trips fewer a block took the benchmark's load from 4.5-4.7
  // to 3.5-3.8 s over one attachment. A block of more makes its requests
  // all-or-nothing with one.
  const bool savepoint = groups > 1;
  if (savepoint) Run(savepoint_, "SAVEPOINT SCRIPT_ENGINE_BULK_LOAD");
  try {
    // Each request is looked up right before it is sent: compiling one may
    // have pushed another out of the cache.
    for (size_t g = 0; g < groups; ++g) RequestFor(plan, store, rows_of(g)).Send(messages[g]);
  } catch (const DatabaseError&) {
    // The INSERTs run the block again and name the row the server refuses.
    if (savepoint) {
      Run(undo_, "ROLLBACK TO SAVEPOINT SCRIPT_ENGINE_BULK_LOAD");
      Run(release_, "RELEASE SAVEPOINT SCRIPT_ENGINE_BULK_LOAD ONLY");
    }
    return false;
  }
  if (savepoint) Run(release_, "RELEASE SAVEPOINT SCRIPT_ENGINE_BULK_LOAD ONLY");
  return true;
}

FbStatement& BulkLoader::StatementFor(const Layout& layout, size_t rows) {
  return Cached(prepared_, order_, layout.key + '\n' + std::to_string(rows), [&] {
    const size_t width = layout.shapes.size();
    std::string declarations, body;
    size_t param = 0;
    for (size_t r = 0; r < rows; ++r) {
      body += layout.insert;
      for (size_t c = 0; c < width; ++c, ++param) {
        const std::string name = "A" + std::to_string(param);
        if (param > 0) declarations += ",";
        declarations += name + " " + layout.shapes[c].declaration + "=?";
        body += (c > 0 ? ",:" : ":") + name;
      }
      body += ");\n";
    }
    return std::make_unique<FbStatement>(
        database_, "EXECUTE BLOCK(" + declarations + ")\nAS BEGIN\n" + body + "END");
  });
}

void BulkLoader::ExecuteRows(const InsertPlan& plan, const Layout& layout, const DataBlock& block) {
  const size_t width = layout.shapes.size();
  // Values as they are bound where they differ from the block's: integers
  // for blob parameters as texts, texts converted to UTF-8. At most one for
  // each value, so that the pointers to them stay valid.
  std::vector<Value> converted;
  converted.reserve(block.rows.size() * width);
  for (size_t first = 0; first < block.rows.size(); first += layout.per_execution) {
    const size_t rows = std::min(layout.per_execution, block.rows.size() - first);
    std::vector<const Value*> params;
    params.reserve(rows * width);
    for (size_t r = first; r < first + rows; ++r) {
      for (size_t c = 0; c < width; ++c) {
        const Value& value = block.rows[r][c];
        if (layout.shapes[c].blob && value.kind == Value::Kind::kInteger) {
          converted.push_back(Value::Text(IntegerText(value.integer, value.scale)));
          params.push_back(&converted.back());
        } else if (layout.shapes[c].to_utf8 && value.kind == Value::Kind::kText) {
          converted.push_back(Value::Text(""));
          AppendWin1251AsUtf8(value.text, converted.back().text);  // 0x98 was ruled out
          converted.back().utf8 = true;
          params.push_back(&converted.back());
        } else {
          params.push_back(&value);
        }
      }
    }
    FbStatement& statement = StatementFor(layout, rows);
    statement.Bind(params);
    try {
      statement.Execute();
    } catch (DatabaseError& e) {
      // The statement's lines: the declarations, AS BEGIN, then one row
      // each.
      const size_t line = e.BlockLine();
      if (line >= 3 && line - 3 < rows) e.block_row = first + line - 3;
      // A text too long for its column is refused with the parameters, at
      // no line: the first such value is the one.
      if (!e.block_row && e.Status().Has(isc_string_truncation)) {
        const bool utf8 = MaxCharacterBytes(database_.Charset()) > 1;
        for (size_t r = first; r < first + rows && !e.block_row; ++r) {
          for (size_t c = 0; c < width; ++c) {
            const Value& value = block.rows[r][c];
            const StoredColumn& column = plan.columns[c];
            if (value.kind != Value::Kind::kText || column.char_length <= 0 ||
                column.field_type == kBlob) {
              continue;
            }
            const size_t characters =
                utf8 ? platform::Utf8CharacterCount(value.text) : value.text.size();
            if (characters > static_cast<size_t>(column.char_length)) {
              e.block_row = r;
              e.block_column = block.columns[c];
              break;
            }
          }
        }
      }
      throw;
    }
  }
}

void BulkLoader::Run(std::unique_ptr<FbStatement>& statement, const char* sql) {
  if (!statement) statement = std::make_unique<FbStatement>(database_, sql);
  statement->Execute();
}

bool BulkLoader::InsertRows(const DataBlock& block) {
  InsertPlan& plan = PlanFor(block);
  if (!plan.usable || block.rows.empty()) return false;
  if (StoreRows(plan, block)) return true;
  const std::optional<Layout> layout = LayoutFor(plan, block);
  if (!layout) return false;

  // A block that takes more than one execution is made all-or-nothing by a
  // savepoint, as the block's own text would be.
  const bool split = layout->executions > 1;
  if (split) Run(savepoint_, "SAVEPOINT SCRIPT_ENGINE_BULK_LOAD");
  try {
    ExecuteRows(plan, *layout, block);
  } catch (...) {
    if (split) {
      // The block's failure is what the caller must hear of; undoing its
      // first part cannot fail short of a lost connection.
      try {
        Run(undo_, "ROLLBACK TO SAVEPOINT SCRIPT_ENGINE_BULK_LOAD");
      } catch (const std::exception&) {
      }
    }
    throw;
  }
  if (split) Run(release_, "RELEASE SAVEPOINT SCRIPT_ENGINE_BULK_LOAD ONLY");
  return true;
}

}  // namespace updater::scriptengine
