#include "recording_front_end.h"

namespace updater::testing {
namespace {

const std::string kScreen = "screen: ";

}  // namespace

std::vector<std::string> Transcript::ScreenMessages() const {
  std::vector<std::string> out;
  for (const std::string& event : events) {
    if (event.compare(0, kScreen.size(), kScreen) != 0) continue;
    std::string line = event.substr(kScreen.size());
    // "dd.mm.yyyy - h:mm:ss: message"
    const size_t dash = line.find(" - ");
    const size_t colon = dash == std::string::npos ? dash : line.find(": ", dash + 3);
    if (dash == 10 && colon != std::string::npos) line = line.substr(colon + 2);
    out.push_back(line);
  }
  return out;
}

std::vector<std::string> Transcript::Boxes() const {
  std::vector<std::string> out;
  for (const std::string& event : events) {
    if (event.rfind("Show", 0) == 0 || event.rfind("Ask", 0) == 0) out.push_back(event);
  }
  return out;
}

void RecordingScreen::AppendLine(const std::string& line) {
  lines.push_back(line);
  transcript_.events.push_back(kScreen + line);
}

PromptAnswer ScriptedPrompt::Record(const std::string& operation, const std::string& text,
                                    bool question) {
  transcript_.events.push_back(operation + ": " + text);
  if (!question) return PromptAnswer::Ok;
  if (answers.empty()) return PromptAnswer::Yes;
  const PromptAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

PromptAnswer ScriptedPrompt::ShowWarning(const std::string& text) {
  return Record("ShowWarning", text, false);
}
PromptAnswer ScriptedPrompt::ShowInformation(const std::string& text) {
  return Record("ShowInformation", text, false);
}
PromptAnswer ScriptedPrompt::ShowError(const std::string& text) {
  return Record("ShowError", text, false);
}
PromptAnswer ScriptedPrompt::ShowNotice(const std::string& text) {
  return Record("ShowNotice", text, false);
}
PromptAnswer ScriptedPrompt::AskYesNo(const std::string& text) {
  return Record("AskYesNo", text, true);
}
PromptAnswer ScriptedPrompt::AskYesNoFocusNo(const std::string& text) {
  return Record("AskYesNoFocusNo", text, true);
}
void ScriptedPrompt::ShowFailure(const std::string& text) { Record("ShowFailure", text, false); }

void RecordingCaptions::ShowCaption(const std::string& caption) {
  text = caption;
  transcript_.events.push_back("Caption: " + caption);
}

RecordingFrontEnd::RecordingFrontEnd(platform::FileSystem& files, platform::Clock& clock)
    : screen(transcript),
      prompt(transcript),
      captions(transcript),
      log(files, clock, screen),
      front{log, prompt, pump, captions} {}

std::string OutcomeText(const UpdateOutcome& outcome) {
  switch (outcome.end) {
    case UpdateOutcome::End::kSucceeded:
      return "ok";
    case UpdateOutcome::End::kAbandoned:
      return "silent";
    case UpdateOutcome::End::kFailed:
      break;
  }
  return "failure: " + outcome.Message;
}

}  // namespace updater::testing
