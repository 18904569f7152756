// Path texts. The updater builds paths by joining names with the platform's
// folder delimiter ("\" on Windows, "/" on Linux); these helpers are the only
// place that knows which one it is.
#pragma once

#include <string>
#include <string_view>

namespace updater::platform {

// The folder delimiter of this build.
char PathDelimiter();

// True when `path` ends in the folder delimiter.
bool HasTrailingDelimiter(std::string_view path);

// `path` with the delimiter added when it does not already end in one.
std::string IncludeTrailingDelimiter(std::string_view path);

// `path` without one trailing delimiter.
std::string ExcludeTrailingDelimiter(std::string_view path);

// `folder`, a delimiter where needed, then `name`.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace updater::platform
