// The file system's retry episodes in the update log: a file another process
// held for a moment (retried, transient_retry.h) is one entry, so that the
// log shows that the run waited for somebody, and for whom.
#pragma once

#include <string>

#include "engine/update_log.h"
#include "platform/files.h"

namespace updater {

// One log entry for `episode`: which call met a held file, how often it was
// tried, how long it waited, and whether it went through in the end.
std::string RetryEpisodeText(const platform::RetryEpisode& episode);

// Sends the retry episodes of `files` to `log` while it lives.
class RetryLogEntries final : public platform::RetryObserver {
 public:
  RetryLogEntries(platform::FileSystem& files, UpdateLog& log);
  ~RetryLogEntries() override;
  RetryLogEntries(const RetryLogEntries&) = delete;
  RetryLogEntries& operator=(const RetryLogEntries&) = delete;

  void RetryEpisodeEnded(const platform::RetryEpisode& episode) override;

 private:
  platform::FileSystem& files_;
  UpdateLog& log_;
};

}  // namespace updater
