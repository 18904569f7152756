#include "scriptengine/fake_database.h"

#include <algorithm>

#include "platform/strings.h"
#include "scriptengine/blob_file.h"
#include "scriptengine/errors.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine::testing {
namespace {

std::string ParamText(const Value& value) {
  switch (value.kind) {
    case Value::Kind::kNull:
      return "NULL";
    case Value::Kind::kText:
      return value.text;
    case Value::Kind::kBlobSlice:
      return value.blob_file->ReadAll(value.offset, value.length);
    case Value::Kind::kInteger:
      return IntegerText(value.integer, value.scale);
    default:
      return "<value>";
  }
}

bool IsDdl(std::string_view sql) {
  const std::string upper = platform::AsciiUpper(sql.substr(0, 9));
  return upper.rfind("CREATE", 0) == 0 || upper.rfind("ALTER", 0) == 0 ||
         upper.rfind("DROP", 0) == 0 || upper.rfind("RECREATE", 0) == 0;
}

class FakeCursor final : public Cursor {
 public:
  FakeCursor(const FakeDatabase& database, std::vector<Column> columns,
             std::vector<std::vector<Value>> rows)
      : database_(database), columns_(std::move(columns)), rows_(std::move(rows)) {}
  const std::vector<Column>& Columns() const override { return columns_; }
  bool Next() override { return ++row_ < static_cast<int>(rows_.size()); }
  const Value& Get(size_t index) const override { return rows_.at(row_).at(index); }
  void ReadBlob(size_t index, const std::function<void(std::string_view)>& sink) override {
    // Handed out in pieces, as a real database does.
    const std::string& content = database_.BlobContent(Get(index).blob_id);
    for (size_t at = 0; at < content.size(); at += 1000) {
      sink(std::string_view(content).substr(at, 1000));
    }
  }

 private:
  const FakeDatabase& database_;
  std::vector<Column> columns_;
  std::vector<std::vector<Value>> rows_;
  int row_ = -1;
};

}  // namespace

void FakeDatabase::AddTable(const std::string& name, std::vector<Column> columns) {
  tables_[name].columns = std::move(columns);
}

void FakeDatabase::AddRow(const std::string& table, std::vector<Value> row) {
  tables_.at(table).rows.push_back(std::move(row));
}

Value FakeDatabase::Blob(std::string content) {
  Value blob;
  blob.kind = Value::Kind::kBlob;
  blob.blob_id = blobs_.size();
  blobs_.push_back(std::move(content));
  return blob;
}

void FakeDatabase::Execute(std::string_view sql, const std::vector<Value>& params, bool auto_ddl) {
  for (const auto& [fragment, error] : failures_) {
    const size_t at = sql.find(fragment);
    if (at == std::string_view::npos) continue;
    fbclient::FbStatus status;
    if (sql.starts_with("EXECUTE BLOCK")) {
      // As the server names where a block failed: its line in the text.
      const auto line = 1 + std::count(sql.begin(), sql.begin() + static_cast<ptrdiff_t>(at), '\n');
      status.errors.push_back(
          {isc_stack_trace, {"At block line: " + std::to_string(line) + ", col: 1"}});
    }
    throw DatabaseError(error, status);
  }
  Executed executed{std::string(sql), {}, auto_ddl};
  for (const Value& param : params) executed.params.push_back(ParamText(param));
  if (auto_ddl && IsDdl(sql)) {
    // A transaction of its own: committed at once, or rolled back.
    CheckCommit({executed});
    ++commits;
    committed_.push_back(executed);
    return;
  }
  pending_.push_back(executed);
}

void FakeDatabase::CheckCommit(const std::vector<Executed>& work) const {
  for (const Executed& executed : work) {
    for (const auto& [fragment, error] : commit_failures_) {
      if (executed.sql.find(fragment) != std::string::npos) throw DatabaseError(error);
    }
  }
}

std::unique_ptr<Cursor> FakeDatabase::Open(std::string_view sql, const std::vector<Value>& params) {
  for (const auto& [fragment, error] : failures_) {
    if (sql.find(fragment) != std::string_view::npos) throw DatabaseError(error);
  }
  // SELECT c1, c2 FROM t [WHERE c = ?]
  const TokenizeResult scanned = Tokenize(sql);
  const std::vector<Token>& t = scanned.tokens;
  size_t i = 0;
  auto fail = [&] {
    return DatabaseError("the fake database does not understand: " + std::string(sql));
  };
  if (t.empty() || !t[i++].Is("SELECT")) throw fail();
  std::vector<std::string> names;
  while (i < t.size() && !t[i].Is("FROM")) {
    if (!t[i].Is(",")) names.push_back(t[i].Value());
    ++i;
  }
  if (i + 1 >= t.size()) throw fail();
  const std::string table_name = t[i + 1].Value();
  const auto table = tables_.find(table_name);
  if (table == tables_.end()) throw DatabaseError("Table unknown " + table_name);
  i += 2;
  std::string where_column;
  if (i < t.size()) {
    if (!t[i].Is("WHERE") || i + 3 >= t.size() || params.size() != 1) throw fail();
    where_column = t[i + 1].Value();
  }
  auto index_of = [&](const std::string& name) {
    for (size_t c = 0; c < table->second.columns.size(); ++c) {
      if (table->second.columns[c].name == name) return c;
    }
    throw DatabaseError("Column unknown " + name);
  };
  std::vector<size_t> picked;
  std::vector<Column> columns;
  for (const std::string& name : names) {
    if (name == "*") {
      for (size_t c = 0; c < table->second.columns.size(); ++c) picked.push_back(c);
    } else {
      picked.push_back(index_of(name));
    }
  }
  for (size_t c : picked) columns.push_back(table->second.columns[c]);
  std::vector<std::vector<Value>> rows;
  for (const auto& row : table->second.rows) {
    if (!where_column.empty() && ParamText(row[index_of(where_column)]) != ParamText(params[0])) {
      continue;
    }
    std::vector<Value> out;
    for (size_t c : picked) out.push_back(row[c]);
    rows.push_back(std::move(out));
  }
  return std::make_unique<FakeCursor>(*this, std::move(columns), std::move(rows));
}

bool FakeDatabase::InsertRows(const DataBlock& block) {
  if (!accept_bulk) return false;
  const FakeTable& table = tables_.at(block.table);
  for (const auto& row : block.rows) {
    std::vector<Value> stored(table.columns.size());
    for (size_t c = 0; c < block.columns.size(); ++c) {
      size_t index = 0;
      while (table.columns.at(index).name != block.columns[c]) ++index;
      Value value = row[c];
      const bool blob_column = table.columns[index].kind == ColumnKind::kBlob;
      if (value.kind == Value::Kind::kBlobSlice || (blob_column && !value.IsNull())) {
        const std::string bytes = ParamText(value);
        value = blob_column ? Blob(bytes) : Value::Text(bytes);
      }
      stored[index] = value;
    }
    pending_rows_[block.table].push_back(std::move(stored));
  }
  return true;
}

std::vector<Table> FakeDatabase::UserTables() {
  std::vector<Table> tables;
  for (const auto& [name, table] : tables_) tables.push_back(Table{name, table.columns});
  return tables;
}

void FakeDatabase::Commit() {
  CheckCommit(pending_);
  ++commits;
  committed_.insert(committed_.end(), pending_.begin(), pending_.end());
  pending_.clear();
  for (auto& [name, rows] : pending_rows_) {
    auto& target = tables_.at(name).rows;
    target.insert(target.end(), rows.begin(), rows.end());
  }
  pending_rows_.clear();
}

void FakeDatabase::Rollback() {
  ++rollbacks;
  pending_.clear();
  pending_rows_.clear();
}

std::unique_ptr<Database> FakeDatabase::OpenSibling() {
  ++sibling_requests;
  if (refuse_sibling) throw DatabaseError("too many attachments");
  return nullptr;
}

void FakeDatabase::Reconnect(const std::string& charset) {
  Commit();
  ++connections;
  if (!charset.empty()) charset_ = charset;
}

}  // namespace updater::scriptengine::testing
