#include "fsutil/uWexrRout.h"

namespace updater {

std::string TwoDigitText(unsigned n) {
  const std::string digits = std::to_string(n);
  if (digits.size() == 1) return "0" + digits;
  return digits.substr(digits.size() - 2);
}

std::string AppendErrorText(const std::string& accumulated, const std::string& message) {
  const std::string entry = "Exception Message: " + message;
  return accumulated.empty() ? entry : accumulated + "\r" + entry;
}

}  // namespace updater
