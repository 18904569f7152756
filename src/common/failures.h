// The two kinds of failure that end an operator command. Both carry a UTF-8
// message. Only the front ends catch them at the top (AEException).
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace updater {

// A failure with the operator's message (Russian, as the system words it). An
// empty message means that whoever raised it has already logged and shown
// everything (a rolled-back update run).
class UpdateFailure : public std::runtime_error {
 public:
  explicit UpdateFailure(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// Ends an operator command quietly: the operator declined, or was already told
// why. The failure handler neither logs nor shows it.
class SilentAbort : public std::runtime_error {
 public:
  explicit SilentAbort(const std::string& message = "") : std::runtime_error(message) {}
};

// The message of any failure caught as `failure`: the text of a std::exception,
// a fixed description for anything else.
std::string FailureMessage(const std::exception_ptr& failure);

}  // namespace updater
