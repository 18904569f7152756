// How the engine talks to the operator: modal boxes, and letting the front end
// process its pending messages. The window implements both with message
// boxes and its message loop; the terminal front end with prompts; tests
// with recording fakes.
#pragma once

#include <string>

#include "common/message_pump.h"

namespace updater {

enum class PromptAnswer {
  Ok,
  Yes,
  No,
  Cancel,  // the box was closed without a button
};

class OperatorPrompt {
 public:
  virtual ~OperatorPrompt() = default;

  // Every operation is modal and shows `text` unchanged, line breaks (single
  // CR characters) included.

  // Warning icon, caption "Warning", OK.
  virtual PromptAnswer ShowWarning(const std::string& text) = 0;
  // Information icon, caption "Information", OK.
  virtual PromptAnswer ShowInformation(const std::string& text) = 0;
  // Error icon, caption "Error", OK.
  virtual PromptAnswer ShowError(const std::string& text) = 0;
  // No icon, captioned with the application title, OK.
  virtual PromptAnswer ShowNotice(const std::string& text) = 0;
  // Warning icon, caption "Warning", Yes and No with Yes focused: Enter
  // answers Yes, Esc No, the close box Cancel.
  virtual PromptAnswer AskYesNo(const std::string& text) = 0;
  // Information icon, caption "Information", Yes and No with No focused: Enter
  // and Esc answer No, the close box Cancel.
  virtual PromptAnswer AskYesNoFocusNo(const std::string& text) = 0;
  // Error icon, captioned with the application title, OK; the text as the
  // failure handler prepared it.
  virtual void ShowFailure(const std::string& text) = 0;
};

}  // namespace updater
