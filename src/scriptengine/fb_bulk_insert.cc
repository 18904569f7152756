// The bulk load of data blocks: rows bound to a prepared EXECUTE BLOCK.
#include "scriptengine/fb_bulk_insert.h"

#include "scriptengine/fb_database.h"

namespace updater::scriptengine {

bool FbDatabase::InsertRows(const DataBlock&) { return false; }

}  // namespace updater::scriptengine
