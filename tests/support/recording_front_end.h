// A front end that records what the operator would have seen, in order, and
// answers questions from a script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "engine/operator_prompt.h"
#include "engine/uUpdate.h"
#include "engine/update_log.h"

namespace updater::testing {

// Everything shown, in the order shown: "screen: <line>" for log lines and
// "<Operation>: <text>" for boxes. Tests may add events of their own.
struct Transcript {
  std::vector<std::string> events;
  // The screen lines alone, time stamps removed from stamped lines.
  std::vector<std::string> ScreenMessages() const;
  // The boxes alone ("ShowError: text", "AskYesNo: text", ...).
  std::vector<std::string> Boxes() const;
};

class RecordingScreen final : public ScreenSink {
 public:
  explicit RecordingScreen(Transcript& transcript) : transcript_(transcript) {}
  void AppendLine(const std::string& line) override;
  std::vector<std::string> lines;

 private:
  Transcript& transcript_;
};

// Answers questions from `answers` in order (Yes when it runs out).
class ScriptedPrompt final : public OperatorPrompt {
 public:
  explicit ScriptedPrompt(Transcript& transcript) : transcript_(transcript) {}
  std::deque<PromptAnswer> answers;

  PromptAnswer ShowWarning(const std::string& text) override;
  PromptAnswer ShowInformation(const std::string& text) override;
  PromptAnswer ShowError(const std::string& text) override;
  PromptAnswer ShowNotice(const std::string& text) override;
  PromptAnswer AskYesNo(const std::string& text) override;
  PromptAnswer AskYesNoFocusNo(const std::string& text) override;
  void ShowFailure(const std::string& text) override;

 private:
  PromptAnswer Record(const std::string& operation, const std::string& text, bool question);
  Transcript& transcript_;
};

// Records every caption shown as "Caption: <text>".
class RecordingCaptions final : public CaptionArea {
 public:
  explicit RecordingCaptions(Transcript& transcript) : transcript_(transcript) {}
  void ShowCaption(const std::string& text) override;
  std::string text;  // what the area shows now

  // The load's figures as shown, and how often their display ended.
  void ShowLoadProgress(const LoadProgress& figures) override { progress.push_back(figures); }
  void EndLoadProgress() override { ++progress_ended; }
  std::vector<LoadProgress> progress;
  int progress_ended = 0;

 private:
  Transcript& transcript_;
};

class CountingPump final : public MessagePump {
 public:
  void ProcessMessages() override { ++count; }
  int count = 0;
};

// How a run ended, for comparing: "ok", "silent" (the operator declined)
// or "failure: " and the run's message.
std::string OutcomeText(const UpdateOutcome& outcome);

// A recording front end with its log, over the given file system and clock.
struct RecordingFrontEnd {
  RecordingFrontEnd(platform::FileSystem& files, platform::Clock& clock);

  Transcript transcript;
  RecordingScreen screen;
  ScriptedPrompt prompt;
  CountingPump pump;
  RecordingCaptions captions;
  UpdateLog log;
  FrontEnd front;
};

}  // namespace updater::testing
