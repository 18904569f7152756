// The database as the script engine uses it: statements, cursors, the
// default transaction, and what the data export and the bulk load need.
// FbDatabase implements it over the Firebird client; tests use a stateful
// fake. Every method throws DatabaseError with the database's text when
// the database refuses, and ScriptError for a failure on the client side.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scriptengine/values.h"

namespace updater::scriptengine {

// Firebird's character set numbers that the engine treats specially.
constexpr int kCharsetNone = 0;
constexpr int kCharsetOctets = 1;
constexpr int kCharsetUtf8 = 4;

enum class ColumnKind {
  kSmallint,
  kInteger,
  kBigint,
  kFloat,
  kDouble,
  kDate,
  kTime,
  kTimestamp,
  kChar,
  kVarchar,
  kBlob,
  kBoolean,
};

struct Column {
  std::string name;  // as the database stores it (no quotes)
  ColumnKind kind = ColumnKind::kInteger;
  int scale = 0;               // exact numerics: digits after the point
  int sub_type = 0;            // blobs: 0 binary, 1 text, other numbers as stored
  int charset = 0;             // CHAR, VARCHAR and text blobs: character set number
  int length = 0;              // CHAR, VARCHAR: largest length in bytes as delivered
  std::string charset_name{};  // texts: the name of `charset` (empty when not known)
  int chars = 0;               // CHAR, VARCHAR: largest length in characters
  // Texts read as the bytes stored in their own character set instead of
  // in the connection's (whose characters may not cover them).
  bool as_stored = false;
  // Of a text read as stored, its UTF-8 is given too (Cursor::ReadUnicode),
  // converted by the database from a character set the engine has no table
  // for.
  bool unicode_too = false;
  // An array: read as 1 when the row holds one and NULL when not.
  bool array = false;
};

// CHAR, VARCHAR and text blobs.
bool IsTextColumn(const Column& column);
// Values that are bytes, not texts: blobs other than text and OCTETS texts.
bool IsBinaryColumn(const Column& column);

// How ReadTable fetches a table's rows. Either way the rows, their columns
// and values are the same; packed costs the client and the server less per
// row where the database can do it, and falls back to plain where not.
enum class TableReading {
  kPlain,   // one row per fetch from the server
  kPacked,  // several rows per fetch
};

struct Table {
  std::string name;             // as stored
  std::vector<Column> columns;  // the stored ones, in their order
  std::vector<size_t> key{};    // the primary key's columns (indexes in `columns`), if any
};

// Rows of one query, one at a time.
class Cursor {
 public:
  virtual ~Cursor() = default;
  virtual const std::vector<Column>& Columns() const = 0;
  // Moves to the next row; false after the last.
  virtual bool Next() = 0;
  // The value of column `index` in the current row. A blob is kBlob.
  virtual const Value& Get(size_t index) const = 0;
  // Passes the content of the current row's blob in column `index` to
  // `sink`, piece by piece.
  virtual void ReadBlob(size_t index, const std::function<void(std::string_view)>& sink) = 0;
  // Passes the current row's text in column `index`, a column marked
  // `unicode_too` and not NULL, to `sink` as UTF-8. Throws ScriptError
  // when the cursor was not opened to give it.
  virtual void ReadUnicode(size_t index, const std::function<void(std::string_view)>& sink);
};

// Rows for one table in one statement: the bulk load of a data block.
struct DataBlock {
  std::string table;                     // as stored
  std::vector<std::string> columns;      // as stored
  std::vector<std::vector<Value>> rows;  // kBlobSlice for values kept in the blob file
};

class Database {
 public:
  virtual ~Database() = default;

  // The connection's character set (upper case, "NONE" when none was given).
  virtual std::string Charset() const = 0;

  // The SQL dialect for the statements that follow.
  virtual void SetDialect(int dialect) = 0;

  // Runs one SQL statement in the default transaction with `params` bound to
  // its "?" markers. A SELECT (or a block that returns rows) is run and its
  // rows fetched and passed over. With `auto_ddl`, a statement that changes
  // metadata runs in a transaction of its own that is committed at once, or
  // rolled back when the statement or its commit fails; the default
  // transaction is left as it is.
  virtual void Execute(std::string_view sql, const std::vector<Value>& params, bool auto_ddl) = 0;

  // Prepares one SQL statement without running it (isql's SET PLANONLY):
  // the database checks it, nothing changes.
  virtual void Prepare(std::string_view sql) = 0;

  // Runs a statement that returns rows (a SELECT, an EXECUTE PROCEDURE or
  // EXECUTE BLOCK with outputs) and gives them to the caller.
  virtual std::unique_ptr<Cursor> Open(std::string_view sql, const std::vector<Value>& params) = 0;

  // Inserts the rows of `block` as one statement would: all or none. Returns
  // false, having done nothing, when it cannot take the block this way (the
  // caller then runs the block's text).
  virtual bool InsertRows(const DataBlock& block) = 0;

  // The user tables (no system tables, views, external or temporary
  // tables), each with its stored columns (no computed columns), ordered by
  // name.
  virtual std::vector<Table> UserTables() = 0;

  // Every row of `table` (from UserTables), its columns in their order. A
  // text blob may come as the text itself (kText) when the database can
  // hand it over that way. Texts of a column marked `as_stored` come as the
  // bytes of their own character set, and with `unicode_too` as UTF-8
  // through ReadUnicode as well; an array column gives 1 or NULL.
  virtual std::unique_ptr<Cursor> ReadTable(const Table& table,
                                            TableReading reading = TableReading::kPlain);

  // Commits the default transaction. When the commit fails, the
  // transaction is still there: the caller rolls it back.
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // The first half of a commit that must go together with another
  // attachment's: the database writes the transaction's work and checks
  // it, so that the Commit after it fails only with a lost connection.
  // Rollback still undoes it. When it fails, the caller rolls back.
  virtual void PrepareCommit() {}

  // Another attachment to the same database with the same user, role,
  // character set and dialect, and a default transaction of its own: the
  // data load runs blocks over it beside this one. Nothing when the
  // database has no second attachment to give or is not told to load over
  // two; throws when the server refuses one.
  virtual std::unique_ptr<Database> OpenSibling() { return nullptr; }

  // Commits, detaches and attaches again; with the character set `charset`
  // when it is not empty.
  virtual void Reconnect(const std::string& charset) = 0;

  // Between a data script's SET DATA BEGIN (`loading` true) and its SET
  // DATA END: the database may write its pages without waiting for the
  // disk while the data comes in, as gbak's restore does, and must be back
  // to its own setting when `loading` is false or the attachment ends. A
  // load that dies half way leaves a database the update throws away.
  virtual void DataLoad(bool /*loading*/) {}
};

}  // namespace updater::scriptengine
