// The message of the UpdateFailure an action raises.
#pragma once

#include <functional>
#include <string>

#include "common/failures.h"

namespace updater::testing {

// The message of the UpdateFailure `action` raises, or "<no failure>".
inline std::string FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const UpdateFailure& failure) {
    return failure.Message();
  }
  return "<no failure>";
}

}  // namespace updater::testing
