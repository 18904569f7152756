// Rows of a table read ahead on a thread of their own: the database
// produces the next rows while the engine writes or hashes the current one.
#pragma once

#include <memory>

#include "scriptengine/database.h"

namespace updater::scriptengine {

// `cursor`, over the rows of `table` (ReadTable's), read ahead in batches
// of rows on a thread that ends with the cursor returned. Calls on `cursor`
// stay one at a time: a row that holds a blob stops the reading ahead until
// the caller has moved past it, so that its blobs are read while `cursor`
// is on it. `cursor`'s failures reach the caller at the row where they
// happened, after the rows before it. A table with texts given as UTF-8
// too (Column::unicode_too) is not read ahead: `cursor` comes back as it is.
std::unique_ptr<Cursor> FetchAhead(std::unique_ptr<Cursor> cursor, const Table& table);

}  // namespace updater::scriptengine
