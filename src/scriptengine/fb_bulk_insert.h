// The bulk load of data blocks over the Firebird client: the rows of a
// block bound as parameters to a prepared EXECUTE BLOCK of INSERTs, one
// statement text per table and row count, prepared once and executed again
// and again. The parameters are declared with the target columns' own
// types, so the server converts each value exactly as it would convert the
// literal in the block's text.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scriptengine/database.h"
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
  // or a column does not fit.
  struct InsertPlan {
    bool usable = false;
    std::vector<StoredColumn> columns;
  };
  struct Layout;

  const InsertPlan& PlanFor(const DataBlock& block);
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
  // For blocks that take more than one execution.
  std::unique_ptr<FbStatement> savepoint_, release_, undo_;
};

}  // namespace updater::scriptengine
