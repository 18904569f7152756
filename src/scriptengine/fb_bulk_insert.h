// The bulk load of data blocks over the Firebird client: the rows of a
// block bound as parameters to a prepared EXECUTE BLOCK of INSERTs, one
// statement text per table and row count, prepared once and executed again
// and again. The parameters are declared with the target columns' own
// types, so the server converts each value exactly as it would convert the
// literal in the block's text.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scriptengine/database.h"

namespace updater::scriptengine {

class FbStatement;

// A target column as the bulk load declares its parameters.
struct TargetColumn {
  std::string name;
  int field_type = 0;   // RDB$FIELD_TYPE
  int sub_type = 0;     // RDB$FIELD_SUB_TYPE
  int scale = 0;        // RDB$FIELD_SCALE (zero or negative)
  int precision = 0;    // RDB$FIELD_PRECISION
  int char_length = 0;  // characters of CHAR and VARCHAR
  int charset = 0;      // RDB$CHARACTER_SET_ID
  std::string charset_name;
  int bytes_per_char = 1;
};

struct InsertPlan {
  bool usable = false;                // false: the table or a column does not fit
  std::vector<TargetColumn> columns;  // in the block's order
};

// The statements the bulk load prepared, by their text; the oldest is
// dropped when there are too many.
struct BulkStatements {
  std::map<std::string, std::unique_ptr<FbStatement>> prepared;  // by table, rows and types
  std::vector<std::string> order;
  // For blocks that take more than one execution.
  std::unique_ptr<FbStatement> savepoint, release, undo;
  ~BulkStatements();
};

}  // namespace updater::scriptengine
