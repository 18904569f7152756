// One prepared statement of an FbDatabase, and the cursor over its rows.
#pragma once

#include <ibase.h>

#include <string_view>
#include <vector>

#include "scriptengine/fb_database.h"
#include "scriptengine/sqlda.h"

namespace updater::scriptengine {

class FbStatement {
 public:
  // Prepares `sql` (in the database's PrepareTransaction) and describes its
  // output. The statement may run in any transaction.
  FbStatement(FbDatabase& database, std::string_view sql);
  // Frees the statement (and closes its cursor).
  ~FbStatement();
  FbStatement(const FbStatement&) = delete;
  FbStatement& operator=(const FbStatement&) = delete;

  // isc_info_sql_stmt_... of the statement.
  int Type() const { return type_; }
  bool ReturnsRows() const {
    return type_ == isc_info_sql_stmt_select || type_ == isc_info_sql_stmt_select_for_upd;
  }
  SqlDa& Out() { return out_; }
  SqlDa& In() { return in_; }

  // Binds `params` to the statement's parameters (described the first
  // time); blobs are created in the default transaction. Throws ScriptError
  // when the numbers differ. A statement may be bound and executed again.
  void Bind(const std::vector<Value>& params);
  // The same for values held elsewhere.
  void Bind(const std::vector<const Value*>& params);

  // Executes in transaction `transaction` (the default one when null).
  // A SELECT opens its cursor; a procedure's outputs land in Out().
  void Execute(isc_tr_handle* transaction = nullptr);

  // Fetches the next row into Out(); false after the last.
  bool Fetch();

 private:
  template <typename Values>
  void BindValues(const Values& params);

  FbDatabase& database_;
  isc_stmt_handle handle_ = 0;
  int type_ = 0;
  SqlDa out_;
  SqlDa in_;
  bool has_input_ = false;
  bool input_described_ = false;
  std::vector<XSQLVAR> described_;  // the parameters as the server described them
};

class FbCursor final : public Cursor {
 public:
  // Takes a statement that was executed: a SELECT with its cursor open, or
  // a procedure whose single row (`single_row`) is in its output.
  FbCursor(FbDatabase& database, std::unique_ptr<FbStatement> statement, bool single_row);
  const std::vector<Column>& Columns() const override { return columns_; }
  bool Next() override;
  const Value& Get(size_t index) const override { return row_.at(index); }
  void ReadBlob(size_t index, const std::function<void(std::string_view)>& sink) override;

 private:
  FbDatabase& database_;
  std::unique_ptr<FbStatement> statement_;
  std::vector<Column> columns_;
  std::vector<Value> row_;
  bool single_row_;
  bool done_ = false;
};

// Reads the blob `id` in the default transaction of `database`. A text
// blob comes in the connection's character set, or with `charset` (a
// character set number) in that one, as its bytes are stored.
void ReadBlobContent(FbDatabase& database, uint64_t id,
                     const std::function<void(std::string_view)>& sink, int charset = -1);

}  // namespace updater::scriptengine
