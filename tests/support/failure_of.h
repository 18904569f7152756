// The message an action fails with, for tests that compare it.
#pragma once

#include <functional>
#include <string>

#include "common/failures.h"

namespace updater::testing {

// The UpdateFailure message `action` raises, or "<no failure>".
inline std::string FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const UpdateFailure& e) {
    return e.Message();
  }
  return "<no failure>";
}

}  // namespace updater::testing
