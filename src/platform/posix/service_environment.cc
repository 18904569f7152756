#include "platform/posix/service_environment.h"

#include <cstdlib>

#include "platform/posix/spawn.h"

namespace updater::platform {

std::string ExpandVariables(const std::string& text) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find('%', at);
    const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      out += text.substr(at);
      break;
    }
    out += text.substr(at, open - at);
    const std::string name = text.substr(open + 1, close - open - 1);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    out += value != nullptr ? std::string(value) : text.substr(open, close - open + 1);
    at = close + 1;
  }
  return out;
}

std::vector<std::string> ServiceEnvironment(const RegKeyData& key) {
  std::vector<std::string> environment = CurrentEnvironment();
  const RegValue* extra = key.Find("Environment");
  if (extra == nullptr || extra->kind != RegValue::Kind::kMultiString) return environment;
  for (const std::string& assignment : extra->strings) {
    const std::string name = assignment.substr(0, assignment.find('=') + 1);
    std::erase_if(environment, [&](const std::string& entry) { return entry.rfind(name, 0) == 0; });
    environment.push_back(assignment);
  }
  return environment;
}

}  // namespace updater::platform
