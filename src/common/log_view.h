// The operator's on-screen log as the lower layers see it: raw lines, with
// no time stamp, on the screen only (never in the log file). The update log
// implements it; the script runner appends the script engine's lines to it.
#pragma once

#include <string>

namespace updater {

class LogView {
 public:
  virtual ~LogView() = default;
  virtual void AppendScreenLine(const std::string& line) = 0;
};

}  // namespace updater
