// What the terminal front end lends the engine: the on-screen log printed as
// it grows, the boxes of the operator prompt as texts and questions on the
// terminal, and a message pump with nothing to pump.
#pragma once

#include <ostream>
#include <string>

#include "engine/caption_area.h"
#include "engine/operator_prompt.h"
#include "engine/update_log.h"
#include "platform/clock.h"
#include "ui/console/terminal.h"

namespace updater::console {

// Who answers the questions (the Yes/No boxes).
enum class Answering {
  kAsk,  // the operator, on the terminal (or lines of standard input)
  kYes,  // every question answered Yes without asking (unattended use)
  kNo,   // every question answered No without asking
};

// The message pump of a terminal, which repaints on its own: it shows on
// `progress` that the program is alive while it is called without a log
// line being shown. The script engine calls it after every statement, also
// during the data load, which the on-screen log keeps silent. At most one
// line per `every_ms`: the time since the last log line and the number of
// calls since then (during a script, its statements).
class ProgressPump final : public MessagePump {
 public:
  ProgressPump(platform::Clock& clock, std::ostream& progress, uint64_t every_ms = 10000)
      : clock_(clock), progress_(progress), every_ms_(every_ms) {}
  void ProcessMessages() override;
  // A log line was shown: the quiet stretch starts again.
  void LineShown();

 private:
  platform::Clock& clock_;
  std::ostream& progress_;
  uint64_t every_ms_;
  bool quiet_ = false;
  uint64_t quiet_since_ms_ = 0;
  uint64_t last_shown_ms_ = 0;
  uint64_t calls_ = 0;
};

// The on-screen log: every line printed to `out` at once.
class TerminalScreen final : public ScreenSink {
 public:
  TerminalScreen(std::ostream& out, ProgressPump& pump) : out_(out), pump_(pump) {}
  void AppendLine(const std::string& line) override;

 private:
  std::ostream& out_;
  ProgressPump& pump_;
};

// A box as the terminal shows it: its caption in brackets, then its text,
// one terminal line for each of its lines (CR, CR LF or LF), ending in a
// line end.
std::string BoxText(const std::string& caption, const std::string& text);

// The boxes. A box with one button is printed and answers Ok at once: the
// terminal keeps it in view, and nothing waits on it. Warnings, information
// and notices go to `out`, errors and failures to `err`. A question is
// printed to `out` and answered as `answering` says; asked, it reads lines
// from the terminal until one is an answer ("y", "yes", "д", "да"; "n",
// "no", "н", "нет"; an empty line takes the focused button) and answers
// Cancel, as a box closed without a button, at the end of the input.
class TerminalPrompt final : public OperatorPrompt {
 public:
  // `title` is the application title, the caption of the notice and failure
  // boxes.
  TerminalPrompt(std::ostream& out, std::ostream& err, Terminal& terminal, Answering answering,
                 std::string title);

  PromptAnswer ShowWarning(const std::string& text) override;
  PromptAnswer ShowInformation(const std::string& text) override;
  PromptAnswer ShowError(const std::string& text) override;
  PromptAnswer ShowNotice(const std::string& text) override;
  PromptAnswer AskYesNo(const std::string& text) override;
  PromptAnswer AskYesNoFocusNo(const std::string& text) override;
  void ShowFailure(const std::string& text) override;

 private:
  PromptAnswer Show(std::ostream& to, const std::string& caption, const std::string& text);
  PromptAnswer Ask(const std::string& caption, const std::string& text, PromptAnswer focused);

  std::ostream& out_;
  std::ostream& err_;
  Terminal& terminal_;
  Answering answering_;
  std::string title_;
};

// The caption area: its text printed to `out` whenever it changes, each of
// its lines after "** ". The progress of the data load is a bar on one line
// of the terminal, redrawn in place and cleared at the end, only when `out`
// is a terminal (`bar`): a pipe or a file (a log kept of the output) gets
// nothing of it. While the bar moves, `pump` keeps its signs of life to
// itself.
class TerminalCaptions final : public CaptionArea {
 public:
  TerminalCaptions(std::ostream& out, bool bar, ProgressPump& pump)
      : out_(out), bar_(bar), pump_(pump) {}
  void ShowCaption(const std::string& text) override;
  void ShowLoadProgress(const LoadProgress& progress) override;
  void EndLoadProgress() override;

 private:
  std::ostream& out_;
  bool bar_;
  ProgressPump& pump_;
  size_t shown_width_ = 0;  // characters of the bar's line on the terminal now
};

// The bar's line: "Загрузка [#####-----------]  33%  таблиц 3 из 12, строк
// 40 000 из 120 000"; without the totals only the figures.
std::string LoadProgressBar(const LoadProgress& progress);

}  // namespace updater::console
