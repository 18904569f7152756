// A file held for a moment is not a failure. An antivirus scanner or the
// indexer opens a freshly written file for a few milliseconds; a copy,
// rename, deletion or exclusive open that meets it then fails with a
// sharing or lock violation that a moment later would not be there. The
// Windows build puts this wrapper over its file system: such calls are tried
// again a few times, waiting a little longer each time on the clock, before
// the failure counts. A holder that stays still fails the call, with the
// error of the last attempt.
//
// Each episode (a call that had to wait) ends with one report to the
// observer given to ReportRetriesTo, whether the call succeeded in the end
// or not, so that the update log shows that the run waited for somebody.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/wrappers.h"

namespace updater::platform {

// Which native errors are a passing hold, for one platform.
struct TransientErrors {
  // Always a passing hold (sharing and lock violations, a network path that
  // dropped for a moment).
  std::vector<int64_t> always;
  // Access denied: a passing hold too (a scanner opens files without
  // sharing deletion), unless the attributes of the file explain it (a
  // read-only file, a folder where a file was expected). 0: none.
  int64_t access_denied = 0;
};

struct RetryPolicy {
  int retries = 10;       // attempts after the first one
  uint32_t step_ms = 25;  // the wait before the nth retry is n times this
};

class RetryingFileSystem final : public FileSystemWrapper {
 public:
  // `target` and `clock` must outlive the wrapper.
  RetryingFileSystem(FileSystem& target, Clock& clock, TransientErrors errors,
                     RetryPolicy policy = {});

  Status RemoveFile(const std::string& path) override;
  Status RemoveFolder(const std::string& path) override;
  Status CopyWholeFile(const std::string& source, const std::string& target) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Result<uint64_t> ExclusiveFileSize(const std::string& path) override;
  // Kept here: the wrapped file system does not retry.
  void ReportRetriesTo(RetryObserver* observer) override { observer_ = observer; }

 private:
  // A file whose attributes include `bits` explains an access denial.
  struct Explains {
    std::string path;
    uint32_t bits;
  };

  // Runs `call` until it succeeds, fails for good, or the retries are spent.
  template <typename Outcome>
  Outcome Retry(const std::string& path, const std::vector<Explains>& explained,
                const std::function<Outcome()>& call);
  bool Transient(const SystemError& error, const std::vector<Explains>& explained);
  void Report(const RetryEpisode& episode);

  Clock& clock_;
  TransientErrors errors_;
  RetryPolicy policy_;
  RetryObserver* observer_ = nullptr;
  bool reporting_ = false;
};

}  // namespace updater::platform
