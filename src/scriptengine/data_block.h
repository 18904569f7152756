// Recognises a data block: an EXECUTE BLOCK whose body is nothing but
// INSERTs of literal values into one table, as the data export writes them,
//
//   EXECUTE BLOCK [(B0 <type> = :h<offset>_<length>, ...)]
//   AS BEGIN
//   INSERT INTO "T" ("A", "B") VALUES (1, 'text');
//   INSERT INTO "T" ("A", "B") VALUES (2, :B0);
//   END
//
// so that the engine can load its rows through a prepared statement
// instead of having the server compile every block anew. The rows mean
// exactly what the block's text means.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "scriptengine/database.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {

// The most INSERTs a block may hold (the server allows 256 per statement).
constexpr size_t kMaxDataBlockRows = 256;

// The rows of `sql` when it is a data block; `params` are the values bound
// to its parameters (its blob file references, in order). Nothing when the
// statement is anything else: the caller then runs its text.
std::optional<DataBlock> ParseDataBlock(std::string_view sql, const std::vector<Value>& params);
// The same for a statement already split into its tokens.
std::optional<DataBlock> ParseDataBlock(const std::vector<Token>& tokens,
                                        const std::vector<Value>& params);

}  // namespace updater::scriptengine
