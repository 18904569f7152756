// The operator prompt as boxes on the screen: the six boxes of the engine's
// questions and messages, drawn by us so that their captions, buttons, focus
// and keys are exactly as the updater's operators know them, and the failure
// box, a plain system message box.
#pragma once

#include <windows.h>

#include <string>

#include "engine/operator_prompt.h"

namespace updater::win32 {

// Lone CR line breaks (the system's own) as CR LF, which the controls and
// the system's boxes break lines at.
std::wstring DisplayText(const std::string& text);

class WindowPrompt final : public OperatorPrompt {
 public:
  explicit WindowPrompt(HINSTANCE instance) : instance_(instance) {}

  // The window that owns the boxes (disabled while one is open); none before
  // the main window exists.
  void SetOwner(HWND owner) { owner_ = owner; }
  // The application title: the caption of the notice and failure boxes.
  void SetTitle(const std::string& title) { title_ = title; }
  const std::string& Title() const { return title_; }

  // Modal boxes centred on the screen, captioned "Warning", "Information",
  // "Error" or the title, with the icon of their kind. Enter answers the
  // focused button, Esc OK (single button) or No (questions); closing the
  // box without a button (its close box, Alt+F4) answers Cancel.
  PromptAnswer ShowWarning(const std::string& text) override;
  PromptAnswer ShowInformation(const std::string& text) override;
  PromptAnswer ShowError(const std::string& text) override;
  PromptAnswer ShowNotice(const std::string& text) override;
  // Yes and No, Yes first and focused.
  PromptAnswer AskYesNo(const std::string& text) override;
  // Yes and No, No first in the keyboard order and focused.
  PromptAnswer AskYesNoFocusNo(const std::string& text) override;
  // The system's message box with the stop icon and OK, captioned with the
  // title, owned by the main window, placed by the system.
  void ShowFailure(const std::string& text) override;

 private:
  HINSTANCE instance_;
  HWND owner_ = nullptr;
  std::string title_ = "Updater_Marlix";
};

}  // namespace updater::win32
