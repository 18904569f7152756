// Small routines the update run and the front ends share: number texts for
// file names, and the joining of the run's failure texts.
#pragma once

#include <string>

namespace updater {

// `n` in decimal with exactly two digits: "0" put in front of one digit,
// only the last two kept of three or more (2026 gives "26").
std::string TwoDigitText(unsigned n);

// `accumulated` with `message` appended as a further entry: "Exception
// Message: " and the message, after a single CR when `accumulated` is not
// empty.
std::string AppendErrorText(const std::string& accumulated, const std::string& message);

}  // namespace updater
