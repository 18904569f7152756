// The test server and the Linux build name files alike.
#include <unistd.h>

#include "support/server_names.h"

namespace updater::testing {

std::string ProgramPath(const std::string& server_path) { return server_path; }

void LetTheServerOpen(const std::string&, const std::string&, const std::string&) {}

uint32_t TestProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace updater::testing
