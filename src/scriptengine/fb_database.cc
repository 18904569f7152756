#include "scriptengine/fb_database.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "fbclient/parameter_blocks.h"
#include "scriptengine/blob_file.h"
#include "scriptengine/errors.h"
#include "scriptengine/fb_bulk_insert.h"
#include "scriptengine/fb_packed_cursor.h"
#include "scriptengine/fb_statement.h"
#include "scriptengine/sql_tokens.h"
#include "scriptengine/table_columns.h"

namespace updater::scriptengine {
namespace {

constexpr size_t kSegmentBytes = 32768;

// The parameter block, or ScriptError naming the value that does not fit.
std::string RequireBlock(fbclient::BlockOutcome outcome) {
  if (!outcome.ok()) throw ScriptError(outcome.failure().Describe());
  return std::move(outcome).value();
}

// The transaction parameter block of the default transaction: read and
// write, one snapshot for the whole transaction, waiting for locks.
const char kTransactionBlock[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_concurrency,
                                  isc_tpb_wait};

// The transaction in which statements are prepared while DDL is committed
// automatically: it sees every change of metadata as soon as it is
// committed, also one committed after the default transaction started.
// Read-only, it holds nothing back.
const char kLookupTransactionBlock[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                        isc_tpb_rec_version, isc_tpb_nowait};

// The transaction of one automatically committed DDL statement. It does not
// wait for locks: what it waits for may be held by the default transaction
// of this very attachment, which would wait for ever.
const char kDdlTransactionBlock[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_concurrency,
                                     isc_tpb_nowait};

// What isc_start_multiple takes for each database of a transaction.
struct TransactionDatabase {
  isc_db_handle* database;
  int block_length;
  const char* block;
};

// The texts of a failed call, joined by CR LF.
std::string MessageOf(const fbclient::FbStatus& status) {
  const std::string text = status.Text();
  return text.empty() ? "the database reported a failure without a text" : text;
}

}  // namespace

FbDatabase::FbDatabase(platform::Libraries& libraries, const ConnectParams& params)
    : libraries_(libraries),
      params_(params),
      dialect_(static_cast<unsigned short>(params.dialect)) {
  fbclient::LoadOutcome loaded = fbclient::FbClient::Load(libraries, params.client_library);
  if (!loaded.ok()) throw ScriptError(loaded.failure().Describe());
  client_ = std::move(loaded).value();
  bulk_ = std::make_unique<BulkLoader>(*this);
  Attach();
}

FbDatabase::~FbDatabase() { DetachQuietly(); }

void FbDatabase::Attach() {
  charset_ = params_.charset.empty() ? "NONE" : params_.charset;
  character_sets_.reset();
  const std::string block = RequireBlock(fbclient::DatabaseParameterBlock(
      params_.user, params_.password, params_.role, params_.charset));
  ISC_STATUS_ARRAY status;
  if (client_->isc_attach_database(status, 0, params_.database.c_str(), &db_,
                                   static_cast<short>(block.size()), block.data()) != 0) {
    db_ = 0;
    Fail(status);
  }
}

void FbDatabase::DetachQuietly() {
  // Only reached when a failure is already on its way or the engine is
  // being unloaded: what is not committed is rolled back, and a failure of
  // the clean-up itself has nobody left to report to.
  ISC_STATUS_ARRAY status;
  if (restore_forced_writes_) {
    try {
      DataLoad(false);
    } catch (const std::exception&) {
    }
  }
  bulk_->Forget();
  if (tr_ != 0) client_->isc_rollback_transaction(status, &tr_);
  tr_ = 0;
  if (lookup_tr_ != 0) client_->isc_rollback_transaction(status, &lookup_tr_);
  lookup_tr_ = 0;
  if (db_ != 0) client_->isc_detach_database(status, &db_);
  db_ = 0;
}

void FbDatabase::Close() {
  Commit();
  DataLoad(false);
  bulk_->Forget();
  EndLookupTransaction();
  ISC_STATUS_ARRAY status;
  if (db_ != 0 && client_->isc_detach_database(status, &db_) != 0) {
    const fbclient::FbStatus failed = client_->ReadStatus(status);
    DetachQuietly();
    throw DatabaseError(MessageOf(failed), failed);
  }
  db_ = 0;
}

void FbDatabase::Fail(const ISC_STATUS* status) const {
  const fbclient::FbStatus failed = client_->ReadStatus(status);
  throw DatabaseError(MessageOf(failed), failed);
}

void FbDatabase::StartTransaction(isc_tr_handle* transaction, const char* block, size_t size) {
  ISC_STATUS_ARRAY status;
  TransactionDatabase entry{&db_, static_cast<int>(size), block};
  if (client_->isc_start_multiple(status, transaction, 1, &entry) != 0) {
    *transaction = 0;
    Fail(status);
  }
}

isc_tr_handle* FbDatabase::Transaction() {
  if (tr_ == 0) StartTransaction(&tr_, kTransactionBlock, sizeof kTransactionBlock);
  return &tr_;
}

isc_tr_handle* FbDatabase::PrepareTransaction() {
  if (!prepare_in_lookup_) return Transaction();
  if (lookup_tr_ == 0) {
    StartTransaction(&lookup_tr_, kLookupTransactionBlock, sizeof kLookupTransactionBlock);
  }
  return &lookup_tr_;
}

void FbDatabase::EndLookupTransaction() {
  if (lookup_tr_ == 0) return;
  ISC_STATUS_ARRAY status;
  if (client_->isc_commit_transaction(status, &lookup_tr_) != 0) Fail(status);
  lookup_tr_ = 0;
}

void FbDatabase::Commit() {
  if (tr_ == 0) return;
  ISC_STATUS_ARRAY status;
  if (client_->isc_commit_transaction(status, &tr_) != 0) Fail(status);
  tr_ = 0;
}

void FbDatabase::Rollback() {
  if (tr_ == 0) return;
  ISC_STATUS_ARRAY status;
  if (client_->isc_rollback_transaction(status, &tr_) != 0) Fail(status);
  tr_ = 0;
}

void FbDatabase::PrepareCommit() {
  if (tr_ == 0) return;
  ISC_STATUS_ARRAY status;
  if (client_->isc_prepare_transaction(status, &tr_) != 0) Fail(status);
}

namespace {

// Whether a data load takes a second attachment beside the script's own:
// only when UPDATER_LOAD_ATTACHMENTS=2 says so. Two attachments storing
// rows into one table at once make the server wait on itself: measured on
// a machine of two processors that also runs the server, the benchmark's
// million rows took 5.6 to 5.9 s over two attachments (server CPU 5.5 to
// 5.9 s) and 3.5 to 3.8 s over one (2.3 to 2.4 s), in turns. (While every
// block had a savepoint of its own, one attachment spent much of its time
// waiting for the server's answers, and two were faster.)
bool LoadOverTwoAttachments() {
  const char* chosen = std::getenv("UPDATER_LOAD_ATTACHMENTS");
  return chosen != nullptr && std::string_view(chosen) == "2";
}

}  // namespace

std::unique_ptr<Database> FbDatabase::OpenSibling() {
  if (!LoadOverTwoAttachments()) return nullptr;
  // The parameters as they stand now: a reconnection may have changed the
  // character set.
  auto sibling = std::make_unique<FbDatabase>(libraries_, params_);
  sibling->SetDialect(dialect_);
  return sibling;
}

void FbDatabase::Reconnect(const std::string& charset) {
  Commit();
  bulk_->Forget();
  EndLookupTransaction();
  ISC_STATUS_ARRAY status;
  if (client_->isc_detach_database(status, &db_) != 0) Fail(status);
  db_ = 0;
  if (!charset.empty()) params_.charset = charset;
  Attach();
}

const std::map<int, CharacterSet>& FbDatabase::CharacterSets() {
  if (character_sets_) return *character_sets_;
  std::map<int, CharacterSet> sets;
  std::unique_ptr<Cursor> rows = Open(
      "SELECT RDB$CHARACTER_SET_ID, RDB$CHARACTER_SET_NAME, RDB$BYTES_PER_CHARACTER "
      "FROM RDB$CHARACTER_SETS",
      {});
  while (rows->Next()) {
    const Value& id = rows->Get(0);
    const Value& name = rows->Get(1);
    const Value& bytes = rows->Get(2);
    if (id.IsNull() || name.IsNull()) continue;
    std::string text = name.text;
    text.erase(text.find_last_not_of(' ') + 1);
    sets[static_cast<int>(id.integer)] =
        CharacterSet{text, bytes.IsNull() ? 1 : std::max(1, static_cast<int>(bytes.integer))};
  }
  character_sets_ = std::move(sets);
  return *character_sets_;
}

bool FbDatabase::ForcedWrites() {
  const char items[] = {isc_info_forced_writes, isc_info_end};
  char answer[32] = {};
  ISC_STATUS_ARRAY status;
  if (client_->isc_database_info(status, &db_, sizeof items, items, sizeof answer, answer) != 0) {
    Fail(status);
  }
  if (answer[0] != isc_info_forced_writes) {
    throw DatabaseError("the database did not say whether it forces its writes to disk");
  }
  const short length = static_cast<short>(client_->isc_vax_integer(answer + 1, 2));
  return client_->isc_vax_integer(answer + 3, length) != 0;
}

void FbDatabase::SetForcedWrites(bool on) {
  std::string block = RequireBlock(fbclient::DatabaseParameterBlock(params_.user, params_.password,
                                                                    params_.role, params_.charset));
  block += static_cast<char>(isc_dpb_force_write);
  block += static_cast<char>(1);
  block += static_cast<char>(on ? 1 : 0);
  ISC_STATUS_ARRAY status;
  isc_db_handle setter = 0;
  if (client_->isc_attach_database(status, 0, params_.database.c_str(), &setter,
                                   static_cast<short>(block.size()), block.data()) != 0) {
    const fbclient::FbStatus failed = client_->ReadStatus(status);
    throw DatabaseError(std::string("forced writes of the database cannot be turned ") +
                            (on ? "on" : "off") + ": " + MessageOf(failed),
                        failed);
  }
  // The setting is made by the attachment itself; its detach changes
  // nothing more, and a failure of it loses nothing.
  client_->isc_detach_database(status, &setter);
}

void FbDatabase::DataLoad(bool loading) {
  if (!loading) {
    if (!restore_forced_writes_) return;
    SetForcedWrites(true);
    restore_forced_writes_ = false;
    return;
  }
  if (restore_forced_writes_ || !ForcedWrites()) return;
  try {
    SetForcedWrites(false);
    restore_forced_writes_ = true;
  } catch (const DatabaseError&) {
    // Only the owner and SYSDBA may change the setting. Forced writes that
    // stay on make the load slower, never wrong: it goes on as it is.
  }
}

void FbDatabase::Execute(std::string_view sql, const std::vector<Value>& params, bool auto_ddl) {
  prepare_in_lookup_ = auto_ddl;
  FbStatement statement(*this, sql);
  statement.Bind(params);
  if (statement.Type() == isc_info_sql_stmt_start_trans) {
    // SET TRANSACTION: the transaction it starts becomes the default one.
    Commit();
    statement.Execute(&tr_);
    return;
  }
  // SET GENERATOR counts as DDL, as in isql: its new value takes effect at
  // the commit, so it is lost with the default transaction otherwise.
  if (statement.Type() == isc_info_sql_stmt_ddl ||
      statement.Type() == isc_info_sql_stmt_set_generator) {
    // Tables may change under the bulk load's plans.
    bulk_->Forget();
    if (auto_ddl) {
      ExecuteDdl(statement);
      return;
    }
  }
  statement.Execute();
  if (statement.ReturnsRows()) {
    while (statement.Fetch()) {
    }
  }
}

void FbDatabase::ExecuteDdl(FbStatement& statement) {
  isc_tr_handle ddl = 0;
  StartTransaction(&ddl, kDdlTransactionBlock, sizeof kDdlTransactionBlock);
  // The statement's failure is what the script reports; a rollback that
  // fails as well has nothing to add (the transaction holds only this
  // statement, and it ends with the attachment at the latest).
  auto roll_back = [&] {
    ISC_STATUS_ARRAY ignored;
    client_->isc_rollback_transaction(ignored, &ddl);
  };
  try {
    statement.Execute(&ddl);
  } catch (...) {
    roll_back();
    throw;
  }
  ISC_STATUS_ARRAY status;
  if (client_->isc_commit_transaction(status, &ddl) == 0) return;
  const fbclient::FbStatus failed = client_->ReadStatus(status);
  roll_back();
  throw DatabaseError(MessageOf(failed), failed);
}

void FbDatabase::Prepare(std::string_view sql) { FbStatement statement(*this, sql); }

std::unique_ptr<Cursor> FbDatabase::Open(std::string_view sql, const std::vector<Value>& params) {
  auto statement = std::make_unique<FbStatement>(*this, sql);
  statement->Bind(params);
  statement->Execute();
  const bool single_row = !statement->ReturnsRows();
  if (single_row && (statement->Type() != isc_info_sql_stmt_exec_procedure ||
                     statement->Out().Described() == 0)) {
    // A statement without rows: an empty cursor.
    class Empty final : public Cursor {
     public:
      const std::vector<Column>& Columns() const override { return columns_; }
      bool Next() override { return false; }
      const Value& Get(size_t) const override { throw ScriptError("no row"); }
      void ReadBlob(size_t, const std::function<void(std::string_view)>&) override {}

     private:
      std::vector<Column> columns_;
    };
    return std::make_unique<Empty>();
  }
  return std::make_unique<FbCursor>(*this, std::move(statement), single_row);
}

bool FbDatabase::InsertRows(const DataBlock& block) { return bulk_->InsertRows(block); }

std::vector<Table> FbDatabase::UserTables() {
  // Firebird 2.0 has no RDB$RELATION_TYPE; where it exists, it tells the
  // global temporary tables, whose rows belong to no one.
  bool has_relation_type = false;
  {
    std::unique_ptr<Cursor> probe = Open(
        "SELECT 1 FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'RDB$RELATIONS' "
        "AND RDB$FIELD_NAME = 'RDB$RELATION_TYPE'",
        {});
    has_relation_type = probe->Next();
  }
  std::vector<Table> tables;
  {
    std::unique_ptr<Cursor> names =
        Open(std::string("SELECT RDB$RELATION_NAME FROM RDB$RELATIONS "
                         "WHERE RDB$VIEW_BLR IS NULL AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0 "
                         "AND RDB$EXTERNAL_FILE IS NULL") +
                 (has_relation_type ? " AND COALESCE(RDB$RELATION_TYPE, 0) = 0" : "") +
                 " ORDER BY RDB$RELATION_NAME",
             {});
    while (names->Next()) tables.push_back(Table{StoredName(names->Get(0)), {}});
  }
  for (Table& table : tables) {
    const std::vector<StoredColumn> stored = ReadStoredColumns(*this, table.name);
    if (stored.empty()) continue;  // only computed columns: no data of its own
    std::string select = "SELECT ";
    for (size_t i = 0; i < stored.size(); ++i) {
      if (i > 0) select += ", ";
      // An array is described by what tells whether the row holds one.
      select += stored[i].array ? "1" : QuoteName(stored[i].name);
    }
    FbStatement statement(*this, select + " FROM " + QuoteName(table.name));
    for (size_t i = 0; i < stored.size(); ++i) {
      Column column = statement.Out().DescribeColumn(i);
      column.name = stored[i].name;
      column.charset = stored[i].charset;
      column.array = stored[i].array;
      column.charset_name = stored[i].charset_name;
      column.chars = stored[i].char_length;
      table.columns.push_back(column);
    }
    std::unique_ptr<Cursor> key = Open(
        "SELECT S.RDB$FIELD_NAME FROM RDB$RELATION_CONSTRAINTS RC "
        "JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = RC.RDB$INDEX_NAME "
        "WHERE RC.RDB$RELATION_NAME = ? AND RC.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY' "
        "ORDER BY S.RDB$FIELD_POSITION",
        {Value::Text(table.name)});
    while (key->Next()) {
      const std::string name = StoredName(key->Get(0));
      for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].name == name) table.key.push_back(i);
      }
    }
  }
  std::erase_if(tables, [](const Table& table) { return table.columns.empty(); });
  return tables;
}

namespace {

// Rows of a table whose short text blobs come as texts: each such blob
// column has a second column after the table's own, holding the text when
// it is short. Text blobs in a character set that is not the connection's
// are read in their own.
class TableCursor final : public Cursor {
 public:
  TableCursor(FbDatabase& database, std::unique_ptr<Cursor> inner, std::vector<Column> columns,
              std::vector<int> text_of, std::vector<int> unicode_of)
      : database_(database),
        inner_(std::move(inner)),
        columns_(std::move(columns)),
        text_of_(std::move(text_of)),
        unicode_of_(std::move(unicode_of)) {}
  const std::vector<Column>& Columns() const override { return columns_; }
  bool Next() override { return inner_->Next(); }
  const Value& Get(size_t index) const override {
    const int text = text_of_[index];
    if (text >= 0 && !inner_->Get(static_cast<size_t>(text)).IsNull()) {
      return inner_->Get(static_cast<size_t>(text));
    }
    return inner_->Get(index);
  }
  void ReadBlob(size_t index, const std::function<void(std::string_view)>& sink) override {
    const Value& value = inner_->Get(index);
    if (columns_[index].as_stored && value.kind == Value::Kind::kBlob) {
      ReadBlobContent(database_, value.blob_id, sink, columns_[index].charset);
      return;
    }
    inner_->ReadBlob(index, sink);
  }
  void ReadUnicode(size_t index, const std::function<void(std::string_view)>& sink) override {
    if (index < unicode_of_.size() && unicode_of_[index] >= 0) {
      const Value& value = inner_->Get(static_cast<size_t>(unicode_of_[index]));
      if (value.kind == Value::Kind::kBlob) {
        ReadBlobContent(database_, value.blob_id, sink);
      } else if (value.kind == Value::Kind::kText) {
        sink(value.text);
      }
    } else if (columns_[index].unicode_too && columns_[index].kind == ColumnKind::kBlob) {
      // A server that cannot cast blobs (Firebird 2.0) gives their stored
      // bytes: a text beyond ASCII in such a blob then differs at the check,
      // which fails the update safely rather than pass it unchecked.
      ReadBlob(index, sink);
    } else {
      Cursor::ReadUnicode(index, sink);
    }
  }

 private:
  FbDatabase& database_;
  std::unique_ptr<Cursor> inner_;
  std::vector<Column> columns_;
  std::vector<int> text_of_;
  std::vector<int> unicode_of_;  // the column with the UTF-8 of a text, if any
};

// Texts of at most this many characters come over as strings: reading a
// blob costs round trips of its own.
constexpr int kShortBlobChars = 4096;

}  // namespace

namespace {

// The select that reads a table's rows, with where TableCursor finds the
// short texts of blobs and the UTF-8 of texts among its columns.
struct TableSelect {
  std::string text;
  std::vector<int> text_of;
  std::vector<int> unicode_of;
};

// Every column that is not the table's own gets a name of its own: a
// cursor's select (the packed reading's) needs one. Unquoted, as dialect 1
// reads a quoted name as a string.
std::string Alias(size_t position) { return " AS X$" + std::to_string(position + 1); }

TableSelect SelectTable(const Table& table, bool casts_blobs) {
  TableSelect select{"SELECT ", {}, {}};
  std::string extra;
  select.text_of.assign(table.columns.size(), -1);
  select.unicode_of.assign(table.columns.size(), -1);
  int next_extra = static_cast<int>(table.columns.size());
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const Column& column = table.columns[i];
    const std::string name = QuoteName(column.name);
    if (i > 0) select.text += ", ";
    if (column.array) {
      select.text += "CASE WHEN " + name + " IS NOT NULL THEN 1 END" + Alias(i);
    } else if (column.as_stored && column.kind == ColumnKind::kBlob) {
      // Fetched as it is, a text blob is converted to the connection's
      // character set; as a binary blob it comes as stored.
      select.text += casts_blobs ? "CAST(" + name + " AS BLOB SUB_TYPE BINARY)" + Alias(i) : name;
    } else if (column.as_stored) {
      // Four bytes hold any character; a text holds no more than 32,765.
      const int bytes = std::clamp(column.chars * 4, 1, 32765);
      select.text += "CAST(" + name + " AS VARCHAR(" + std::to_string(bytes) +
                     ") CHARACTER SET OCTETS)" + Alias(i);
    } else {
      select.text += name;
    }
    if (casts_blobs && column.kind == ColumnKind::kBlob && column.sub_type == 1 &&
        !column.as_stored) {
      extra += ", CASE WHEN CHAR_LENGTH(" + name + ") <= " + std::to_string(kShortBlobChars) +
               " THEN CAST(" + name + " AS VARCHAR(" + std::to_string(kShortBlobChars) + ")) END" +
               Alias(static_cast<size_t>(next_extra));
      select.text_of[i] = next_extra++;
    }
    if (column.as_stored && column.unicode_too &&
        (column.kind != ColumnKind::kBlob || casts_blobs)) {
      // The server's conversion to UTF-8, as bytes that no connection
      // converts again.
      const int chars = std::clamp(column.chars, 1, 32765 / 4);
      extra += column.kind == ColumnKind::kBlob
                   ? ", CAST(CAST(" + name +
                         " AS BLOB SUB_TYPE TEXT CHARACTER SET UTF8) AS BLOB SUB_TYPE BINARY)"
                   : ", CAST(CAST(" + name + " AS VARCHAR(" + std::to_string(chars) +
                         ") CHARACTER SET UTF8) AS VARCHAR(" + std::to_string(chars * 4) +
                         ") CHARACTER SET OCTETS)";
      extra += Alias(static_cast<size_t>(next_extra));
      select.unicode_of[i] = next_extra++;
    }
  }
  select.text += extra + " FROM " + QuoteName(table.name);
  return select;
}

}  // namespace

std::unique_ptr<Cursor> FbDatabase::ReadTable(const Table& table, TableReading reading) {
  if (casts_blobs_ < 0) {
    try {
      FbStatement probe(*this, "SELECT CAST(RDB$DESCRIPTION AS VARCHAR(10)) FROM RDB$DATABASE");
      casts_blobs_ = 1;
    } catch (const DatabaseError&) {
      casts_blobs_ = 0;  // Firebird 2.0: blobs are read as blobs
    }
  }
  TableSelect select = SelectTable(table, casts_blobs_ == 1);
  std::unique_ptr<Cursor> rows;
  // Blob ids would pass through the packed reading's variables; such a
  // table (and one with an array) is read plain.
  const bool packable =
      std::none_of(table.columns.begin(), table.columns.end(),
                   [](const Column& c) { return c.kind == ColumnKind::kBlob || c.array; });
  if (reading == TableReading::kPacked && packable) rows = OpenPacked(*this, select.text);
  if (rows == nullptr) rows = Open(select.text, {});
  return std::make_unique<TableCursor>(*this, std::move(rows), table.columns,
                                       std::move(select.text_of), std::move(select.unicode_of));
}

ISC_QUAD FbDatabase::CreateBlob(const Value& value) {
  ISC_STATUS_ARRAY status;
  isc_blob_handle blob = 0;
  ISC_QUAD id{};
  if (client_->isc_create_blob2(status, &db_, Transaction(), &blob, &id, 0, nullptr) != 0) {
    Fail(status);
  }
  auto put = [&](std::string_view piece) {
    while (!piece.empty()) {
      const size_t n = std::min(piece.size(), kSegmentBytes);
      if (client_->isc_put_segment(status, &blob, static_cast<unsigned short>(n), piece.data()) !=
          0) {
        Fail(status);
      }
      piece.remove_prefix(n);
    }
  };
  try {
    if (value.kind == Value::Kind::kBlobSlice) {
      value.blob_file->Read(value.offset, value.length, kSegmentBytes, put);
    } else if (value.kind == Value::Kind::kText) {
      put(value.text);
    } else {
      throw ScriptError("a blob parameter takes a text, not a value of another kind");
    }
  } catch (...) {
    ISC_STATUS_ARRAY ignored;
    client_->isc_cancel_blob(ignored, &blob);
    throw;
  }
  if (client_->isc_close_blob(status, &blob) != 0) Fail(status);
  return id;
}

}  // namespace updater::scriptengine
