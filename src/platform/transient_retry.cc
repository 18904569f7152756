#include "platform/transient_retry.h"

#include <algorithm>

namespace updater::platform {

RetryingFileSystem::RetryingFileSystem(FileSystem& target, Clock& clock, TransientErrors errors,
                                       RetryPolicy policy)
    : FileSystemWrapper(target), clock_(clock), errors_(std::move(errors)), policy_(policy) {}

Status RetryingFileSystem::RemoveFile(const std::string& path) {
  return Retry<Status>(path, {{path, kAttrReadOnly | kAttrDirectory}},
                       [&] { return FileSystemWrapper::RemoveFile(path); });
}

Status RetryingFileSystem::RemoveFolder(const std::string& path) {
  return Retry<Status>(path, {{path, kAttrReadOnly}},
                       [&] { return FileSystemWrapper::RemoveFolder(path); });
}

Status RetryingFileSystem::CopyWholeFile(const std::string& source, const std::string& target) {
  return Retry<Status>(
      source, {{source, kAttrDirectory}, {target, kAttrReadOnly | kAttrHidden | kAttrDirectory}},
      [&] { return FileSystemWrapper::CopyWholeFile(source, target); });
}

Status RetryingFileSystem::Rename(const std::string& from, const std::string& to) {
  // A folder that a process works in is denied too; nothing in the
  // attributes tells that from a scanner's passing hold.
  return Retry<Status>(from, {}, [&] { return FileSystemWrapper::Rename(from, to); });
}

Result<uint64_t> RetryingFileSystem::ExclusiveFileSize(const std::string& path) {
  return Retry<Result<uint64_t>>(path, {{path, kAttrDirectory}},
                                 [&] { return FileSystemWrapper::ExclusiveFileSize(path); });
}

template <typename Outcome>
Outcome RetryingFileSystem::Retry(const std::string& path, const std::vector<Explains>& explained,
                                  const std::function<Outcome()>& call) {
  Outcome outcome = call();
  RetryEpisode episode;
  episode.attempts = 1;
  while (!outcome.ok() && episode.attempts <= policy_.retries &&
         Transient(outcome.error(), explained)) {
    episode.call = outcome.error().call;
    episode.code = outcome.error().code;
    const uint32_t wait = policy_.step_ms * static_cast<uint32_t>(episode.attempts);
    clock_.Sleep(wait);
    episode.waited_ms += wait;
    ++episode.attempts;
    outcome = call();
  }
  if (episode.attempts > 1) {
    episode.path = path;
    episode.succeeded = outcome.ok();
    Report(episode);
  }
  return outcome;
}

bool RetryingFileSystem::Transient(const SystemError& error,
                                   const std::vector<Explains>& explained) {
  if (std::find(errors_.always.begin(), errors_.always.end(), error.code) != errors_.always.end()) {
    return true;
  }
  if (errors_.access_denied == 0 || error.code != errors_.access_denied) return false;
  return std::none_of(explained.begin(), explained.end(), [&](const Explains& file) {
    Result<uint32_t> attributes = target().GetAttributes(file.path);
    return attributes.ok() && (*attributes & file.bits) != 0;
  });
}

void RetryingFileSystem::Report(const RetryEpisode& episode) {
  // What the observer does with the report (a log entry written through
  // this same file system) reports nothing further.
  if (observer_ == nullptr || reporting_) return;
  reporting_ = true;
  struct Done {
    bool& reporting;
    ~Done() { reporting = false; }
  } done{reporting_};
  observer_->RetryEpisodeEnded(episode);
}

}  // namespace updater::platform
