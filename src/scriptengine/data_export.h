// The table data of a database written as a script that the engine loads
// back exactly: every row of every user table, grouped into EXECUTE BLOCKs
// of INSERTs with literal values, and values that a literal cannot carry
// exactly or compactly (binary strings, large texts, blobs) in a blob file
// beside the script, bound through blob file references.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "scriptengine/database.h"

namespace updater::scriptengine {

struct ExportOptions {
  int rows_per_block = 200;  // INSERTs in one EXECUTE BLOCK (the server allows 256)
};

// Reads the options of ibec_ExtractMetadata: words separated by blanks,
// commas or semicolons. "DATA" (the table data, the only content there is)
// must be given; "ROWS=n" sets the rows per block (1 to 250). False with
// `why` set for anything else.
bool ParseExportOptions(std::string_view text, ExportOptions& options, std::string& why);

// The blob file that goes with the data script `path`: its extension
// replaced by ".lob".
std::string BlobFilePathFor(const std::string& path);

// Writes the data script to `path` (UTF-8; created or emptied) and its blob
// file beside it through `files`, reading every table in the current
// transaction of `database`. Reports each table done through `progress`. Returns the number
// of rows written. All or nothing: on a failure neither file is left. Throws
// ScriptError when a file cannot be written, an array column holds a value,
// or WIN1251 texts hold the byte that is no character (naming every place
// up to ten), DatabaseError when a query fails.
int64_t ExportTableData(Database& database, platform::FileSystem& files, const std::string& path,
                        const ExportOptions& options,
                        const std::function<void(std::string_view)>& progress);

}  // namespace updater::scriptengine
