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

// Creates `folder` and every missing folder above it.
platform::Status CreateFolderPath(platform::FileSystem& files, const std::string& folder) {
  const std::string path = platform::ExcludeTrailingDelimiter(folder);
  if (path.empty() || files.FolderExists(path)) return platform::Status::Ok();
  const size_t delimiter = path.find_last_of(platform::PathDelimiter());
  if (delimiter != std::string::npos && delimiter > 0) {
    platform::Status parent = CreateFolderPath(files, path.substr(0, delimiter));
    if (!parent) return parent;
  }
  platform::Status created = files.CreateFolder(path);
  // Another process may have made it meanwhile.
  if (!created && files.FolderExists(path)) return platform::Status::Ok();
  return created;
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
  const bool ends_with_break =
      !message.empty() && (message.back() == '\r' || message.back() == '\n');
  if (!ends_with_break || lines.empty()) lines.push_back(current);
  return lines;
}

std::string LogFileName(const platform::LocalTime& time) {
  return TwoDigitText(time.day) + TwoDigitText(time.month) + TwoDigitText(time.year) + "-" +
         TwoDigitText(time.hour) + TwoDigitText(time.minute) + TwoDigitText(time.second) +
         "_Updater.log";
}

UpdateLog::UpdateLog(platform::FileSystem& files, platform::Clock& clock, ScreenSink& screen,
                     size_t max_waiting_bytes)
    : files_(files), clock_(clock), screen_(screen), max_waiting_bytes_(max_waiting_bytes) {}

void UpdateLog::Open(const std::string& program_folder) {
  logs_folder_ = platform::JoinPath(program_folder, "Logs");
  file_path_ = platform::JoinPath(logs_folder_, LogFileName(clock_.Now()));
  if (const std::string failure = WriteWaiting(); !failure.empty()) throw UpdateFailure(failure);
}

void UpdateLog::SaveExceptionToLog(const std::string& message) {
  if (const std::string failure = SaveEntry(message); !failure.empty()) {
    throw UpdateFailure(failure);
  }
}

std::string UpdateLog::SaveExceptionToLogNoThrow(const std::string& message) noexcept {
  try {
    return SaveEntry(message);
  } catch (const std::exception& e) {
    return std::string("Невозможно записать в журнал: ") + e.what();
  } catch (...) {
    return "Невозможно записать в журнал.";
  }
}

void UpdateLog::AppendScreenLine(const std::string& line) { screen_.AppendLine(line); }

std::string UpdateLog::SaveEntry(const std::string& message) {
  const std::string stamp = Stamp(clock_);
  const std::vector<std::string> lines = SplitScreenLines(message);
  screen_.AppendLine(stamp + lines.front());
  for (size_t i = 1; i < lines.size(); ++i) screen_.AppendLine("\t" + lines[i]);

  const std::string bytes = platform::Utf8ToCp1251("\r" + stamp + message + "\r\n");
  // Before the file is named (start-up has not opened the log yet) the
  // entry waits; Open writes it.
  if (file_path_.empty()) {
    Queue(bytes);
    return "";
  }
  // Entries that wait go first, so that the file keeps their order.
  if (!waiting_.empty() || left_out_ > 0) {
    if (std::string failure = WriteWaiting(); !failure.empty()) {
      Queue(bytes);
      return failure;
    }
  }
  Queue(bytes);
  return WriteWaiting();
}

void UpdateLog::Queue(const std::string& bytes) {
  if (waiting_.empty() || waiting_.size() + bytes.size() <= max_waiting_bytes_) {
    waiting_ += bytes;
  } else {
    ++left_out_;
  }
}

std::string UpdateLog::WriteWaiting() {
  if (!files_.FolderExists(logs_folder_)) {
    if (platform::Status made = CreateFolderPath(files_, logs_folder_); !made) {
      return "Невозможно создать папку " + logs_folder_ + "!\r" + made.error().Describe();
    }
  }
  std::string bytes = waiting_;
  if (left_out_ > 0) {
    bytes += platform::Utf8ToCp1251("\r" + Stamp(clock_) +
                                    "Записей журнала, не попавших в файл (они были только на "
                                    "экране): " +
                                    std::to_string(left_out_) + "\r\n");
  }
  if (platform::Status appended = files_.AppendToFile(file_path_, bytes); !appended) {
    return "Невозможно записать в файл журнала " + file_path_ + "!\r" + appended.error().Describe();
  }
  waiting_.clear();
  left_out_ = 0;
  return "";
}

}  // namespace updater
