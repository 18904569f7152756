#include "engine/retry_log.h"

#include "common/failures.h"

namespace updater {

std::string RetryEpisodeText(const platform::RetryEpisode& episode) {
  const std::string outcome = episode.succeeded
                                  ? "Файл был занят другим процессом, операция выполнена "
                                    "после ожидания"
                                  : "Файл занят другим процессом, операция не выполнена";
  return outcome + ": " + episode.call + "(" + episode.path +
         "), попыток: " + std::to_string(episode.attempts) +
         ", ожидание: " + std::to_string(episode.waited_ms) +
         " мс, код ошибки: " + std::to_string(episode.code) + ".";
}

RetryLogEntries::RetryLogEntries(platform::FileSystem& files, UpdateLog& log)
    : files_(files), log_(log) {
  files_.ReportRetriesTo(this);
}

RetryLogEntries::~RetryLogEntries() { files_.ReportRetriesTo(nullptr); }

void RetryLogEntries::RetryEpisodeEnded(const platform::RetryEpisode& episode) {
  try {
    log_.SaveExceptionToLog(RetryEpisodeText(episode));
  } catch (const UpdateFailure&) {
    // The entry is on the screen and stays pending in the log, which raises
    // the write failure with the next entry; the file call that waited must
    // not fail for the log's sake.
  }
}

}  // namespace updater
