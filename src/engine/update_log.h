// The update log: every progress line and failure, time-stamped, on the
// operator's screen and in a log file next to the program.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/log_view.h"
#include "platform/platform.h"

namespace updater {

// The on-screen side of the log: an ordered list of lines that only grows.
class ScreenSink {
 public:
  virtual ~ScreenSink() = default;
  virtual void AppendLine(const std::string& line) = 0;
};

class UpdateLog : public LogView {
 public:
  // The most Windows-1251 bytes of entries kept in memory while they wait for
  // the file (before Open, or while the file cannot be written). An entry
  // that would go beyond is left out of the file (the screen has it), and
  // the file gets a note of how many were left out once it takes entries
  // again. An entry larger than the bound on its own is kept when nothing
  // else waits.
  static constexpr size_t kMaxWaitingBytes = size_t{1} << 20;

  UpdateLog(platform::FileSystem& files, platform::Clock& clock, ScreenSink& screen,
            size_t max_waiting_bytes = kMaxWaitingBytes);

  // Start-up's opening: names the file from the current local time
  // ("ddmmyy-hhnnss_Updater.log" in `program_folder`'s "Logs" folder), creates
  // the folder with any missing parents and the file when they are missing,
  // and writes the entries made before. A file of that name (another start
  // in the same second) is appended to, never emptied. The path stays fixed
  // for the life of the log, also when the opening fails: the failure is
  // raised as UpdateFailure (see SaveExceptionToLog) and every later entry
  // tries again.
  void Open(const std::string& program_folder);

  // One entry: the screen gets the stamped first line of `message` and a TAB
  // and each further line; the file gets CR, date, " - ", time, ": ", the
  // message unchanged and CR LF, in Windows-1251. The file is opened and
  // closed for the entry, and made again (folder included) when it has gone.
  // Before Open the entry waits in memory. When the file cannot be written
  // the screen line stays, the entry waits and goes ahead of the next one
  // that is written, and UpdateFailure is raised: "Невозможно создать папку "
  // + folder + "!" or "Невозможно записать в файл журнала " + path + "!",
  // then CR and the system's reason.
  void SaveExceptionToLog(const std::string& message);

  // The entry as SaveExceptionToLog makes it, for callers that must go on
  // whatever happens to the file (the rollback): never throws. Returns the
  // failure SaveExceptionToLog would raise, or an empty text when the entry
  // reached the file (or waits for Open).
  std::string SaveExceptionToLogNoThrow(const std::string& message) noexcept;

  // A raw line on the screen only: no time stamp, never in the file.
  void AppendScreenLine(const std::string& line) override;

  // The log file's path; empty until Open has named it.
  const std::string& FilePath() const { return file_path_; }

 private:
  // Shows the entry and writes it to the file after those that wait;
  // returns the failure's message or an empty text.
  std::string SaveEntry(const std::string& message);
  // Keeps an entry's file text to be written, within the bound.
  void Queue(const std::string& bytes);
  // Writes the entries that wait, oldest first, with the note of those left
  // out; on failure they stay and the failure's message is returned.
  std::string WriteWaiting();

  platform::FileSystem& files_;
  platform::Clock& clock_;
  ScreenSink& screen_;
  size_t max_waiting_bytes_;
  std::string logs_folder_;
  std::string file_path_;
  std::string waiting_;  // Windows-1251 bytes not yet in the file
  size_t left_out_ = 0;  // entries that did not fit in waiting_
};

// `message` split into screen lines at CR LF, a lone CR and a lone LF. A
// break at the very end adds no line; empty lines inside remain. An empty
// message is one empty line.
std::vector<std::string> SplitScreenLines(const std::string& message);

// "ddmmyy-hhnnss_Updater.log" for `time`.
std::string LogFileName(const platform::LocalTime& time);

}  // namespace updater
