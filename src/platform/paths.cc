#include "platform/paths.h"

namespace updater::platform {

bool HasTrailingDelimiter(std::string_view path) {
  return !path.empty() && path.back() == PathDelimiter();
}

std::string IncludeTrailingDelimiter(std::string_view path) {
  std::string out(path);
  if (!HasTrailingDelimiter(out)) out += PathDelimiter();
  return out;
}

std::string ExcludeTrailingDelimiter(std::string_view path) {
  std::string out(path);
  if (HasTrailingDelimiter(out)) out.pop_back();
  return out;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  return IncludeTrailingDelimiter(folder) + std::string(name);
}

PathParts SplitPath(std::string_view path, Delimiters delimiters) {
  const char own[] = {PathDelimiter(), '\0'};
  const size_t last = path.find_last_of(delimiters == Delimiters::kEither ? "\\/" : own);
  if (last == std::string_view::npos) return PathParts{"", std::string(path)};
  return PathParts{std::string(path.substr(0, last == 0 ? 1 : last)),
                   std::string(path.substr(last + 1))};
}

}  // namespace updater::platform
