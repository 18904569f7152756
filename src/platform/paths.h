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

// Which characters end a folder's name in a path: this build's delimiter, or
// "\" and "/" both (names written for either platform, as scripts name
// their files).
enum class Delimiters { kPlatform, kEither };

struct PathParts {
  std::string folder;  // without a trailing delimiter; empty when there is none
  std::string name;    // what follows the last delimiter
};

// `path` cut at its last delimiter into the folder before it and the name
// after it. A path without a delimiter is all name. The folder of a name
// right below the root ("/a", "\a") is the root delimiter itself.
PathParts SplitPath(std::string_view path, Delimiters delimiters = Delimiters::kPlatform);

}  // namespace updater::platform
