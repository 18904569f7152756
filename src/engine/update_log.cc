#include "engine/update_log.h"

#include <vector>

#include "common/failures.h"
#include "fsutil/uWexrRout.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace updater {
namespace {

std::string Stamp(platform::Clock& clock) {
  const platform::LocalTime now = clock.Now();
  return clock.ShortDate(now) + " - " + clock.LongTime(now) + ": ";
}

}  // namespace

std::vector<std::string> SplitScreenLines(const std::string& message) {
  std::vector<std::string> lines;
  std::string current;
  for (size_t i = 0; i < message.size(); ++i) {
    const char c = message[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
      lines.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  // A break at the very end closes the last line without opening another.
  const bool ends_with_break = !message.empty() && (message.back() == '\r' || message.back() == '\n');
  if (!ends_with_break || lines.empty()) lines.push_back(current);
  return lines;
}

std::string LogFileName(const platform::LocalTime& time) {
  return TwoDigitText(time.day) + TwoDigitText(time.month) + TwoDigitText(time.year) + "-" +
         TwoDigitText(time.hour) + TwoDigitText(time.minute) + TwoDigitText(time.second) +
         "_Updater.log";
}

UpdateLog::UpdateLog(platform::FileSystem& files, platform::Clock& clock, ScreenSink& screen)
    : files_(files), clock_(clock), screen_(screen) {}

void UpdateLog::Open(const std::string& program_folder) {
  const std::string logs = platform::JoinPath(program_folder, "Logs");
  if (platform::Status made = platform::CreateFolderWithParents(files_, logs); !made) {
    throw UpdateFailure("Невозможно создать папку " + logs + "!\r" + made.error().Describe());
  }
  const std::string path = platform::JoinPath(logs, LogFileName(clock_.Now()));
  if (platform::Status created = files_.WriteFile(path, ""); !created) {
    throw UpdateFailure("Невозможно создать файл журнала " + path + "!\r" +
                        created.error().Describe());
  }
  file_path_ = path;
  if (platform::Status flushed = FlushPending(); !flushed) {
    throw UpdateFailure("Невозможно записать в файл журнала " + file_path_ + "!\r" +
                        flushed.error().Describe());
  }
}

void UpdateLog::SaveExceptionToLog(const std::string& message) {
  const std::string stamp = Stamp(clock_);
  const std::vector<std::string> lines = SplitScreenLines(message);
  screen_.AppendLine(stamp + lines.front());
  for (size_t i = 1; i < lines.size(); ++i) screen_.AppendLine("\t" + lines[i]);

  pending_ += platform::Utf8ToCp1251("\r" + stamp + message + "\r\n");
  // Before the file exists (start-up has not opened the log yet) the entry
  // waits in memory; Open writes it.
  if (file_path_.empty()) return;
  if (platform::Status flushed = FlushPending(); !flushed) {
    throw UpdateFailure("Невозможно записать в файл журнала " + file_path_ + "!\r" +
                        flushed.error().Describe());
  }
}

void UpdateLog::AppendScreenLine(const std::string& line) { screen_.AppendLine(line); }

platform::Status UpdateLog::FlushPending() {
  if (pending_.empty()) return platform::Status::Ok();
  platform::Status appended = files_.AppendToFile(file_path_, pending_);
  if (appended) pending_.clear();
  return appended;
}

}  // namespace updater
