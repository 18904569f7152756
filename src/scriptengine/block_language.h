// The engine's block language: "EXECUTE IBEBLOCK" blocks that run on the
// client, with variables, expressions, loops over queries and built-in
// functions for writing files and exporting table data. docs/script-engine.md
// describes the language.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "scriptengine/database.h"

namespace updater::scriptengine {

struct BlockEnvironment {
  Database& database;
  platform::FileSystem& files;                     // where the block's files are written
  std::string folder;                              // UTF-8; where relative file names are looked up
  std::function<void(std::string_view)> progress;  // ibec_progress
};

// Parses and runs the block `text` (from "EXECUTE IBEBLOCK" to its END).
// Throws ScriptError for an error in the block (with its line within the
// block) and DatabaseError for a statement the database refused. Files the
// block opened are closed when it ends, also on failure.
void RunBlock(std::string_view text, BlockEnvironment& environment);

}  // namespace updater::scriptengine
