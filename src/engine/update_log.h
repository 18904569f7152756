// The update log: every progress line and failure, time-stamped, on the
// operator's screen and in a log file next to the program.
#pragma once

#include <string>

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
  UpdateLog(platform::FileSystem& files, platform::Clock& clock, ScreenSink& screen);

  // Start-up's opening: creates `program_folder`'s "Logs" folder with any
  // missing parents, names the file from the current local time
  // ("ddmmyy-hhnnss_Updater.log") and creates it empty, emptying an existing
  // file of that name. Entries made before the opening are written to the new
  // file right after it is created. Fails with UpdateFailure when the folder
  // or the file cannot be made; the log then keeps its entries in memory.
  void Open(const std::string& program_folder);

  // One entry: the screen gets the stamped first line of `message` and a TAB
  // and each further line; the file gets CR, date, " - ", time, ": ", the
  // message unchanged and CR LF, in Windows-1251. The file is opened and
  // closed for the entry. When the file cannot be written the screen line
  // stays, the entry is kept and written ahead of the next one that succeeds,
  // and UpdateFailure is raised with the file's path and the system's reason.
  void SaveExceptionToLog(const std::string& message);

  // A raw line on the screen only: no time stamp, never in the file.
  void AppendScreenLine(const std::string& line) override;

  // The log file's path; empty until Open has named it.
  const std::string& FilePath() const { return file_path_; }

 private:
  // Writes the entries that are waiting, oldest first. On failure they stay.
  platform::Status FlushPending();

  platform::FileSystem& files_;
  platform::Clock& clock_;
  ScreenSink& screen_;
  std::string file_path_;
  std::string pending_;  // Windows-1251 bytes not yet in the file
};

// `message` split into screen lines at CR LF, a lone CR and a lone LF. A
// break at the very end adds no line; empty lines inside remain. An empty
// message is one empty line.
std::vector<std::string> SplitScreenLines(const std::string& message);

// "ddmmyy-hhnnss_Updater.log" for `time`.
std::string LogFileName(const platform::LocalTime& time);

}  // namespace updater
