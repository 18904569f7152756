// Rows of a select read several per fetch: a selectable EXECUTE BLOCK runs
// the select as its cursor and hands over a group of rows in one output
// row, which saves both sides the work of a fetch per row.
#pragma once

#include <memory>
#include <string>

#include "scriptengine/database.h"
#include "scriptengine/fb_database.h"

namespace updater::scriptengine {

// The rows of `select` (a SELECT without blobs or arrays among its
// columns), opened in the default transaction: the same columns, rows and
// values, in the same types, as Open(select) gives. Null when the database
// cannot read them this way (the caller reads them plain).
std::unique_ptr<Cursor> OpenPacked(FbDatabase& database, const std::string& select);

}  // namespace updater::scriptengine
