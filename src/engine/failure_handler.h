// The application-wide failure handler: where every failure that escapes an
// operator command ends up.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "engine/operator_prompt.h"
#include "engine/update_log.h"

namespace updater {

// `text` as the failure box shows it: with a full stop added when the code of
// its last character is greater than that of the full stop (a letter, a
// digit, "?", ":"), unchanged after ".", "!", ")", "," or a space.
std::string WithClosingFullStop(const std::string& text);

// Handles a failure that escaped a command: a SilentAbort and a failure
// without a message are dropped; anything else is written to the log and
// shown with ShowFailure. When the log cannot take the entry, the failure is
// still shown, followed by the log's own failure.
void AEException(const std::exception_ptr& failure, UpdateLog& log, OperatorPrompt& prompt);

// How an operator command ended.
enum class CommandOutcome {
  kCompleted,    // it returned normally
  kSilentAbort,  // the operator declined, or was already told why
  kFailed,       // a failure, shown or (with an empty message) already reported
};

// Runs one operator command and hands whatever escapes it to AEException.
CommandOutcome RunOperatorCommand(const std::function<void()>& command, UpdateLog& log,
                                  OperatorPrompt& prompt);

}  // namespace updater
