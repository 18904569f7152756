#include "platform/result.h"

namespace updater::platform {

std::string SystemError::Describe() const {
  std::string out = call;
  if (!path.empty()) out += "(" + path + ")";
  out += ": ";
  out += text.empty() ? std::string("error") : text;
  out += " (" + std::to_string(code) + ")";
  return out;
}

}  // namespace updater::platform
