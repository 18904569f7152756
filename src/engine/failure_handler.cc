#include "engine/failure_handler.h"

#include "common/failures.h"

namespace updater {

std::string WithClosingFullStop(const std::string& text) {
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') return text + ".";
  return text;
}

void AEException(const std::exception_ptr& failure, UpdateLog& log, OperatorPrompt& prompt) {
  try {
    std::rethrow_exception(failure);
  } catch (const SilentAbort&) {
    return;
  } catch (...) {
  }
  const std::string message = FailureMessage(failure);
  if (message.empty()) return;
  std::string log_failure;
  try {
    log.SaveExceptionToLog(message);
  } catch (const UpdateFailure& e) {
    // The entry stays on screen and waits for the file; the operator must
    // still see the failure, and learn that the log file is not written.
    log_failure = e.Message();
  }
  prompt.ShowFailure(WithClosingFullStop(message));
  if (!log_failure.empty() && log_failure != message) {
    prompt.ShowFailure(WithClosingFullStop(log_failure));
  }
}

CommandOutcome RunOperatorCommand(const std::function<void()>& command, UpdateLog& log,
                                  OperatorPrompt& prompt) {
  try {
    command();
    return CommandOutcome::kCompleted;
  } catch (const SilentAbort&) {
    return CommandOutcome::kSilentAbort;
  } catch (...) {
    AEException(std::current_exception(), log, prompt);
    return CommandOutcome::kFailed;
  }
}

}  // namespace updater
