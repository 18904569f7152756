#include "ui/console/console_front_end.h"

#include <algorithm>

#include "platform/strings.h"

namespace updater::console {
namespace {

const char* AnswerName(PromptAnswer answer) { return answer == PromptAnswer::Yes ? "Yes" : "No"; }

// The answer a typed line gives, or nullopt when it is none.
std::optional<PromptAnswer> ParseAnswer(const std::string& typed, PromptAnswer focused) {
  const std::string word = platform::AsciiLower(platform::Trim(typed));
  if (word.empty()) return focused;
  if (word == "y" || word == "yes" || word == "д" || word == "да" || word == "Д" || word == "Да") {
    return PromptAnswer::Yes;
  }
  if (word == "n" || word == "no" || word == "н" || word == "нет" || word == "Н" || word == "Нет") {
    return PromptAnswer::No;
  }
  return std::nullopt;
}

}  // namespace

void ProgressPump::ProcessMessages() {
  const uint64_t now = clock_.MonotonicMs();
  if (!quiet_) {
    quiet_ = true;
    quiet_since_ms_ = last_shown_ms_ = now;
    calls_ = 0;
  }
  ++calls_;
  if (now - last_shown_ms_ < every_ms_) return;
  last_shown_ms_ = now;
  progress_ << "... выполняется: " << (now - quiet_since_ms_) / 1000 << " с, шагов: " << calls_
            << '\n'
            << std::flush;
}

void ProgressPump::LineShown() { quiet_ = false; }

void TerminalScreen::AppendLine(const std::string& line) {
  pump_.LineShown();
  out_ << line << '\n' << std::flush;
}

void TerminalCaptions::ShowCaption(const std::string& text) {
  for (const std::string& line : SplitScreenLines(text)) out_ << "** " << line << '\n';
  out_ << std::flush;
}

namespace {

// Characters on the terminal of UTF-8 `text`.
size_t TerminalWidth(const std::string& text) {
  size_t width = 0;
  for (const char byte : text) {
    if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) ++width;
  }
  return width;
}

}  // namespace

std::string LoadProgressBar(const LoadProgress& progress) {
  constexpr int kBarWidth = 16;
  const int percent = LoadProgressPercent(progress);
  if (percent < 0) return "Загрузка данных: " + LoadProgressText(progress);
  const int filled = percent * kBarWidth / 100;
  std::string share = std::to_string(percent) + "%";
  share.insert(0, 4 - share.size(), ' ');  // " 33%", "100%"
  return "Загрузка [" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] " +
         share + "  " + LoadProgressText(progress);
}

void TerminalCaptions::ShowLoadProgress(const LoadProgress& progress) {
  if (!bar_) return;
  const std::string line = LoadProgressBar(progress);
  const size_t width = TerminalWidth(line);
  // A shorter line than the last leaves none of the last behind.
  out_ << '\r' << line << std::string(shown_width_ > width ? shown_width_ - width : 0, ' ')
       << std::flush;
  shown_width_ = std::max(shown_width_, width);
  pump_.LineShown();
}

void TerminalCaptions::EndLoadProgress() {
  if (shown_width_ == 0) return;
  out_ << '\r' << std::string(shown_width_, ' ') << '\r' << std::flush;
  shown_width_ = 0;
}

std::string BoxText(const std::string& caption, const std::string& text) {
  std::string box = "[" + caption + "] ";
  for (const std::string& line : SplitScreenLines(text)) box += line + "\n";
  return box;
}

TerminalPrompt::TerminalPrompt(std::ostream& out, std::ostream& err, Terminal& terminal,
                               Answering answering, std::string title)
    : out_(out), err_(err), terminal_(terminal), answering_(answering), title_(std::move(title)) {}

PromptAnswer TerminalPrompt::Show(std::ostream& to, const std::string& caption,
                                  const std::string& text) {
  // The log and the boxes share the terminal: what is already printed goes
  // first.
  out_ << std::flush;
  to << BoxText(caption, text) << std::flush;
  return PromptAnswer::Ok;
}

PromptAnswer TerminalPrompt::Ask(const std::string& caption, const std::string& text,
                                 PromptAnswer focused) {
  Show(out_, caption, text);
  if (answering_ != Answering::kAsk) {
    const PromptAnswer given = answering_ == Answering::kYes ? PromptAnswer::Yes : PromptAnswer::No;
    out_ << "Yes/No: " << AnswerName(given) << " (--answer)\n" << std::flush;
    return given;
  }
  for (;;) {
    out_ << "Yes/No [" << AnswerName(focused) << "]: " << std::flush;
    const std::optional<std::string> typed = terminal_.ReadLine();
    if (!typed) {
      out_ << "\n" << std::flush;
      return PromptAnswer::Cancel;
    }
    if (const std::optional<PromptAnswer> answer = ParseAnswer(*typed, focused)) return *answer;
  }
}

PromptAnswer TerminalPrompt::ShowWarning(const std::string& text) {
  return Show(out_, "Warning", text);
}
PromptAnswer TerminalPrompt::ShowInformation(const std::string& text) {
  return Show(out_, "Information", text);
}
PromptAnswer TerminalPrompt::ShowError(const std::string& text) {
  return Show(err_, "Error", text);
}
PromptAnswer TerminalPrompt::ShowNotice(const std::string& text) {
  return Show(out_, title_, text);
}
PromptAnswer TerminalPrompt::AskYesNo(const std::string& text) {
  return Ask("Warning", text, PromptAnswer::Yes);
}
PromptAnswer TerminalPrompt::AskYesNoFocusNo(const std::string& text) {
  return Ask("Information", text, PromptAnswer::No);
}
void TerminalPrompt::ShowFailure(const std::string& text) { Show(err_, title_, text); }

}  // namespace updater::console
