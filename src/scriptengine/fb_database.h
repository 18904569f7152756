// The Database of the script engine over the Firebird client library:
// one attachment and its default transaction.
#pragma once

#include <ibase.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "fbclient/fb_client.h"
#include "platform/libraries.h"
#include "scriptengine/connect_string.h"
#include "scriptengine/database.h"

namespace updater::scriptengine {

class BulkLoader;
class FbStatement;

// A character set the server knows: its name and the most bytes one
// character takes.
struct CharacterSet {
  std::string name;
  int bytes_per_char = 1;
};

class FbDatabase final : public Database {
 public:
  // Loads the client library the parameters name through `libraries` and
  // attaches. Throws ScriptError when the library cannot be loaded and
  // DatabaseError when the server refuses the attachment.
  FbDatabase(platform::Libraries& libraries, const ConnectParams& params);
  // Rolls back what was not committed and detaches, without reporting.
  ~FbDatabase() override;
  FbDatabase(const FbDatabase&) = delete;
  FbDatabase& operator=(const FbDatabase&) = delete;

  // Commits and detaches, reporting a failure (DatabaseError).
  void Close();

  std::string Charset() const override { return charset_; }
  void SetDialect(int dialect) override { dialect_ = static_cast<unsigned short>(dialect); }
  void Execute(std::string_view sql, const std::vector<Value>& params, bool auto_ddl) override;
  void Prepare(std::string_view sql) override;
  std::unique_ptr<Cursor> Open(std::string_view sql, const std::vector<Value>& params) override;
  bool InsertRows(const DataBlock& block) override;
  std::vector<Table> UserTables() override;
  std::unique_ptr<Cursor> ReadTable(const Table& table,
                                    TableReading reading = TableReading::kPlain) override;
  void Commit() override;
  void Rollback() override;
  void PrepareCommit() override;
  std::unique_ptr<Database> OpenSibling() override;
  void Reconnect(const std::string& charset) override;
  // Turns forced writes off for the load when they are on, and on again
  // after it (also at Close and when the attachment ends).
  void DataLoad(bool loading) override;
  // Whether the database writes its pages through to the disk at once, and
  // setting it, through an attachment of its own (the setting belongs to
  // the database, and only an attachment's parameters change it).
  bool ForcedWrites();
  void SetForcedWrites(bool on);

  // For the statements and cursors of this attachment.
  fbclient::FbClient& Client() { return *client_; }
  isc_db_handle* Handle() { return &db_; }
  isc_tr_handle* Transaction();  // the default transaction, started when needed
  // Where statements are prepared. After a statement run with automatic
  // DDL, a read-committed transaction that sees every change of metadata
  // once it is committed (the DDL of that statement included, which the
  // default transaction's snapshot may predate); otherwise the default
  // transaction, which sees its own uncommitted DDL.
  isc_tr_handle* PrepareTransaction();
  unsigned short Dialect() const { return dialect_; }
  // The server's character sets by number, read once per attachment.
  const std::map<int, CharacterSet>& CharacterSets();
  // Throws DatabaseError with the status vector's text and errors.
  [[noreturn]] void Fail(const ISC_STATUS* status) const;
  // Creates a blob in the default transaction from the bytes `value` gives
  // (a text or a blob file slice) and returns its id.
  ISC_QUAD CreateBlob(const Value& value);

 private:
  void Attach();
  void DetachQuietly();
  void StartTransaction(isc_tr_handle* transaction, const char* block, size_t size);
  void EndLookupTransaction();
  // Runs the prepared DDL `statement` in a transaction of its own and
  // commits it; rolls it back and throws DatabaseError when either fails.
  void ExecuteDdl(FbStatement& statement);

  platform::Libraries& libraries_;
  std::unique_ptr<fbclient::FbClient> client_;
  ConnectParams params_;
  std::string charset_;
  unsigned short dialect_ = 3;
  isc_db_handle db_ = 0;
  isc_tr_handle tr_ = 0;
  isc_tr_handle lookup_tr_ = 0;         // see PrepareTransaction
  bool prepare_in_lookup_ = true;       // whether the last statement run had automatic DDL
  bool restore_forced_writes_ = false;  // turned off for a data load
  // What the bulk load prepared; forgotten with the attachment and after DDL.
  std::unique_ptr<BulkLoader> bulk_;
  std::optional<std::map<int, CharacterSet>> character_sets_;  // read when first needed
  int casts_blobs_ = -1;  // whether the server casts blobs to strings (2.1 on); -1: not asked
};

}  // namespace updater::scriptengine
