// The Firebird client's results as the updater's failures, and the client
// library that the updater's database operations share.
#pragma once

#include <ibase.h>

#include <string>
#include <vector>

#include "common/failures.h"
#include "fbclient/fb_client.h"
#include "fbclient/parameter_blocks.h"
#include "fbclient/status.h"
#include "platform/libraries.h"

namespace updater {

// A failure that the Firebird client or server reported: the operator's
// message, with the status it was made from kept for callers that decide by
// its error codes.
class FirebirdFailure : public UpdateFailure {
 public:
  FirebirdFailure(const std::string& message, fbclient::FbStatus status)
      : UpdateFailure(message), status_(std::move(status)) {}

  const fbclient::FbStatus& Status() const { return status_; }

 private:
  fbclient::FbStatus status_;
};

// The message of a failed call: the client's texts for the status vector,
// joined by CR LF, with a full stop at the very end removed, in UTF-8.
std::string StatusMessage(const fbclient::FbStatus& status);

// Raises FirebirdFailure with StatusMessage(status).
[[noreturn]] void RaiseStatus(const fbclient::FbStatus& status);

// The message of a request to a service manager that failed. The Firebird 3
// server cannot run a shutdown or online request when its security
// database's path is longer than about 99 bytes: it fails with the client's
// internal "attempt to store N bytes in a clumplet with maximum size 255
// bytes". That case is explained in the operator's words, the server's text
// after it; every other failure is StatusMessage(status).
std::string ServiceRequestMessage(const fbclient::FbStatus& status);

// The block `outcome` holds. Raises UpdateFailure "Параметр подключения
// "<value>" длиннее <limit> байт!" for a value too long for its block.
std::string RequireBlock(fbclient::BlockOutcome outcome);

// The process's client library for attachments and service requests: loaded
// by its file name on first use and kept loaded; asking for another file name
// releases the one loaded before. Raises UpdateFailure with the load
// failure's text when the library cannot be taken into use.
fbclient::FbClient& SharedFbClient(platform::Libraries& libraries, const std::string& file_name);

}  // namespace updater
