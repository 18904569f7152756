// The bulk load of data blocks over the Firebird client. A block whose
// values all go into their columns' own types is stored through compiled
// requests (fb_blr_store.h), one per table, row count and length of its
// text blobs' fields, compiled once and started again and again. Any other
// block, and a block the server refuses that way, goes as the rows bound as
// parameters to a prepared EXECUTE BLOCK of INSERTs, one statement text per
// table and row count; its parameters are declared with the target
// columns' own types, so the server converts each value exactly as it
// would convert the literal in the block's text, and a refused row is named
// by its INSERT's line. Only short texts for UTF8 text blobs over a WIN1251
// connection are converted here, from code page 1251, and sent as UTF-8
// (the check after the update's load compares the letters).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scriptengine/database.h"
#include "scriptengine/fb_blr_store.h"
#include "scriptengine/table_columns.h"

namespace updater::scriptengine {

class FbDatabase;
class FbStatement;

class BulkLoader {
 public:
  // Loads into the default transaction of `database`, which outlives it.
  explicit BulkLoader(FbDatabase& database);
  // Frees the prepared statements: the attachment must still be there.
  ~BulkLoader();
  BulkLoader(const BulkLoader&) = delete;
  BulkLoader& operator=(const BulkLoader&) = delete;

  // Database::InsertRows: the rows of `block`, all or none. Returns false,
  // having done nothing, when the block does not fit this way (a table or
  // column it does not find, a type it cannot declare, a row too large).
  // Throws DatabaseError when the server refuses the rows.
  bool InsertRows(const DataBlock& block);

  // Forgets what was learnt and prepared: after DDL (the tables may have
  // changed) and before the attachment goes.
  void Forget();

 private:
  // The target columns in the block's order; `usable` false when the table
  // or a column does not fit. `store` when the rows can go through a
  // compiled request.
  struct InsertPlan {
    bool usable = false;
    std::vector<StoredColumn> columns;
    std::string key;  // the table and the columns
    std::optional<BlrStore> store;
  };
  struct Layout;

  InsertPlan& PlanFor(const DataBlock& block);
  // The character set text values come in.
  const ConnectionCharset& Charset();
  // Stores the rows of `block` through compiled requests, all of them
  // within a savepoint. False, having stored nothing, when a value does not
  // go into its field or the server refuses the request or a row.
  bool StoreRows(InsertPlan& plan, const DataBlock& block);
  // The request of `store` (plan.store as ForBlock sized it) for `rows`.
  BlrRequest& RequestFor(const InsertPlan& plan, const BlrStore& store, size_t rows);
  // How the rows of `block` go into `plan`'s columns; nothing when a
  // column's type cannot be declared or one row is too large for a statement.
  std::optional<Layout> LayoutFor(const InsertPlan& plan, const DataBlock& block) const;
  FbStatement& StatementFor(const Layout& layout, size_t rows);
  void ExecuteRows(const InsertPlan& plan, const Layout& layout, const DataBlock& block);
  void Run(std::unique_ptr<FbStatement>& statement, const char* sql);

  FbDatabase& database_;
  std::map<std::string, std::unique_ptr<InsertPlan>> plans_;  // by table and columns
  // Prepared statements by their text's key; the oldest is dropped when
  // there are too many.
  std::map<std::string, std::unique_ptr<FbStatement>> prepared_;
  std::vector<std::string> order_;
  // Compiled requests by the table, columns and rows; as prepared_.
  std::map<std::string, std::unique_ptr<BlrRequest>> requests_;
  std::vector<std::string> request_order_;
  std::optional<ConnectionCharset> charset_;
  // For blocks that take more than one execution.
  std::unique_ptr<FbStatement> savepoint_, release_, undo_;
};

}  // namespace updater::scriptengine
