// What a service of the stand-in is started with: its ImagePath with the
// environment's variables expanded, and its environment.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/reg_file.h"

namespace updater::platform {

// %NAME% replaced by the variable's value, as Windows expands an
// expandable string; unknown names stay as written.
std::string ExpandVariables(const std::string& text);

// This process's environment with the service key's "Environment" value
// (a multi-string of NAME=VALUE) added, replacing variables of those names.
std::vector<std::string> ServiceEnvironment(const RegKeyData& key);

}  // namespace updater::platform
