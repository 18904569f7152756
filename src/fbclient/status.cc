#include "fbclient/status.h"

namespace updater::fbclient {

const FbError* FbStatus::Find(ISC_STATUS code) const {
  for (const FbError& error : errors) {
    if (error.code == code) return &error;
  }
  return nullptr;
}

std::string FbStatus::Text() const {
  std::string text;
  for (const std::string& line : texts) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

std::vector<FbError> StatusErrors(const ISC_STATUS* vector) {
  std::vector<FbError> errors;
  const ISC_STATUS* const end = vector + ISC_STATUS_LENGTH;
  const ISC_STATUS* at = vector;
  // Arguments that follow a warning belong to no error of ours.
  bool in_error = false;
  while (at + 1 < end && *at != isc_arg_end) {
    const ISC_STATUS kind = *at++;
    switch (kind) {
      case isc_arg_gds:
        in_error = *at != 0;
        if (in_error) errors.push_back(FbError{*at, {}});
        ++at;
        break;
      case isc_arg_warning:
        in_error = false;
        ++at;
        break;
      case isc_arg_string:
      case isc_arg_interpreted:
        if (in_error && *at != 0) {
          errors.back().arguments.emplace_back(reinterpret_cast<const char*>(*at));
        }
        ++at;
        break;
      case isc_arg_cstring:
        if (at + 1 >= end) return errors;
        if (in_error && at[1] != 0) {
          errors.back().arguments.emplace_back(reinterpret_cast<const char*>(at[1]),
                                               static_cast<size_t>(at[0]));
        }
        at += 2;
        break;
      default:
        ++at;  // a number, an operating system's code, an SQL state
        break;
    }
  }
  return errors;
}

}  // namespace updater::fbclient
