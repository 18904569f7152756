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

}  // namespace updater::platform
