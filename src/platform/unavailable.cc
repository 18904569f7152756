#include "platform/unavailable.h"

namespace updater::platform {

SystemError NotAvailable(const std::string& call) {
  return SystemError{call, "", 0, "not available in this build"};
}

Result<std::unique_ptr<Library>> UnavailableLibraries::Load(const std::string& file_name) {
  SystemError error = NotAvailable("LoadLibrary");
  error.path = file_name;
  return error;
}

}  // namespace updater::platform
