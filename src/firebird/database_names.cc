#include "firebird/database_names.h"

namespace updater {

DatabaseNameParts SplitDatabaseName(const std::string& name) {
  const size_t first_colon = name.find(':');
  // True when `marker` occurs in the text before the first colon.
  const auto marks_server = [&](const std::string& marker, size_t& at) {
    at = name.find(marker);
    return at != std::string::npos && (first_colon == std::string::npos || at < first_colon);
  };

  if (name.size() > 2 && name[1] == ':' && name.find(':', 2) == std::string::npos) {
    return {"", name};
  }
  size_t at = 0;
  if (marks_server("\\\\", at)) {
    const size_t end = name.find('\\', 2);
    if (end == std::string::npos) return {name.substr(2), ""};
    return {name.substr(2, end - 2), name.substr(end + 1)};
  }
  if (marks_server("@", at)) return {name.substr(0, at), name.substr(at + 1)};
  if (first_colon != std::string::npos) {
    return {name.substr(0, first_colon), name.substr(first_colon + 1)};
  }
  return {"", name};
}

std::string ServiceManagerName(const std::string& server) {
  return server.empty() ? "service_mgr" : server + ":service_mgr";
}

}  // namespace updater
