// Platform areas that this build does not provide yet. Every call fails with a
// SystemError that says so; nothing pretends to work.
#pragma once

#include <string>

#include "platform/platform.h"

namespace updater::platform {

SystemError NotAvailable(const std::string& call);

class UnavailableLibraries final : public Libraries {
 public:
  Result<std::unique_ptr<Library>> Load(const std::string& file_name) override;
};

}  // namespace updater::platform
