// The export blocks of the payload ("Sys_Generators.sql", "Sys_Roles.sql",
// "Sys_Data.sql"): before one runs, its first line, the block's header, is
// replaced by one that passes the full path of the file it is to write.
#pragma once

#include <optional>
#include <string>

namespace updater {

// "execute ibeblock(<parameter> = '<folder><delimiter><output_file>')",
// with every apostrophe of `folder` doubled, so that the string literal
// holds the path whatever its folder names (UTF-8, like the path).
std::string ExportBlockHeader(const std::string& parameter, const std::string& folder,
                              const std::string& output_file);

// `bytes` (a block file) read as lines, a line ending at CR LF, a lone CR or
// a lone LF, with the first line replaced by `header` and every line, the
// last included, ending in CR LF. The other lines' bytes are unchanged.
// nullopt when `bytes` holds no line (an empty file).
std::optional<std::string> WithFirstLineReplaced(const std::string& bytes,
                                                 const std::string& header);

}  // namespace updater
