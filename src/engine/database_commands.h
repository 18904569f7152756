// The operator's database mode commands: the database of the product folder
// put into single-user mode (shutdown) or back into multi-user mode (online),
// with their log lines and boxes. They live with the engine because they use
// its context, log and prompts; the requests themselves are the Firebird
// layer's ShutdownDatabase and BringDatabaseOnline.
#pragma once

#include <string>

#include "engine/profiles.h"
#include "engine/uUpdate.h"
#include "platform/platform.h"

namespace updater {

// Brings the database of `product_folder` online as SYSDBA with `password`,
// using the profile's client library and the context's DbConnectString.
// Logs the request and its success (with an information box). A database
// that already is online gives a logged warning box and a normal return.
// Raises UpdateFailure with InitUpdateContext's failures, with the message
// that the folder has no server part, or with the request's failure.
void DatabaseOnlineCommand(const std::string& product_folder, const std::string& password,
                           const ProjectProfile& profile, platform::Platform& platform,
                           FrontEnd& front);

// Shuts the database of `product_folder` down, as DatabaseOnlineCommand
// brings it online; a database already shut down gives the warning.
void DatabaseShutdownCommand(const std::string& product_folder, const std::string& password,
                             const ProjectProfile& profile, platform::Platform& platform,
                             FrontEnd& front);

}  // namespace updater
