// Running scripts on the test server the way the update runs them: through
// the script runner and the real engine library beside the test program.
#pragma once

#include <string>
#include <vector>

#include "common/load_progress.h"
#include "common/log_view.h"
#include "scriptengine/connect_string.h"
#include "scriptengine/fb_database.h"

namespace updater::scriptengine::testing {

// The raw lines a run shows.
class RecordingLogView final : public LogView {
 public:
  std::vector<std::string> lines;
  void AppendScreenLine(const std::string& line) override { lines.push_back(line); }
};

// The figures of a data load, as the runner hands them on.
class RecordingProgress final : public LoadProgressView {
 public:
  std::vector<LoadProgress> seen;
  int ended = 0;
  void ShowLoadProgress(const LoadProgress& progress) override { seen.push_back(progress); }
  void EndLoadProgress() override { ++ended; }
};

// Runs the script file or text through RunScriptFile / RunScriptText as
// SYSDBA (or `user` with its password, or `password` when given); returns the failure's message, or
// "" when the run succeeded. The figures of the data a file loads go to
// `progress` when given.
std::string RunFile(const std::string& database, const std::string& charset,
                    const std::string& path, LogView* view = nullptr,
                    const std::string& user = "SYSDBA", LoadProgressView* progress = nullptr);
std::string RunText(const std::string& database, const std::string& charset,
                    const std::string& text, LogView* view = nullptr,
                    const std::string& user = "SYSDBA", const std::string& password = "");

// The connection character set of the system's ANSI code page: UTF-8 on
// Linux ("UTF8"), Windows-1251 on Windows ("WIN1251").
std::string AnsiCharset();

// An attachment of the engine's own, for filling and reading databases.
ConnectParams SysdbaParams(const std::string& database, const std::string& charset);

// Copies the block file `name` of sample/payload to `target`, its first
// line replaced by `header` as the update does it.
void PrepareBlock(const std::string& name, const std::string& header, const std::string& target);

}  // namespace updater::scriptengine::testing
