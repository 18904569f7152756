#include "engine/uUpdate_lock.h"

#include <charconv>
#include <optional>

#include "common/failures.h"
#include "platform/name_case.h"
#include "platform/paths.h"

namespace updater {
namespace {

// How often a taker tries again when the file changed under it (another
// updater took over the same stale lock at the same moment).
constexpr int kTakeAttempts = 3;

struct LockOwner {
  uint32_t pid = 0;
  std::string program;  // the executable's name as the process table lists it
  std::string started;  // date and time, for the operator
};

std::string LockText(const LockOwner& owner) {
  return "pid=" + std::to_string(owner.pid) + "\r\nprogram=" + owner.program +
         "\r\nstarted=" + owner.started + "\r\n";
}

// The owner a lock file names; nullopt for a file that names none (which no
// updater writes: such a file is stale).
std::optional<LockOwner> ParseLockText(const std::string& text) {
  LockOwner owner;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t equals = line.find('=');
    if (equals != std::string::npos) {
      const std::string key = line.substr(0, equals);
      const std::string value = line.substr(equals + 1);
      if (key == "pid") {
        const auto parsed = std::from_chars(value.data(), value.data() + value.size(), owner.pid);
        if (parsed.ec != std::errc() || parsed.ptr != value.data() + value.size()) return {};
      } else if (key == "program") {
        owner.program = value;
      } else if (key == "started") {
        owner.started = value;
      }
    }
    at = end + 1;
  }
  if (owner.pid == 0) return {};
  return owner;
}

std::vector<platform::ProcessEntry> RunningProcesses(platform::Platform& platform) {
  auto listed = platform.processes.Snapshot();
  if (!listed) {
    throw UpdateFailure("Невозможно проверить, не выполняется ли другое обновление: " +
                        listed.error().Describe());
  }
  return std::move(listed).value();
}

// Whether the lock `owner` is held by a process other than this one that
// still runs under the name it wrote.
bool HeldByAnother(platform::Platform& platform, const std::optional<LockOwner>& owner) {
  if (!owner || owner->pid == platform.processes.OwnProcessId()) return false;
  for (const platform::ProcessEntry& process : RunningProcesses(platform)) {
    if (process.pid == owner->pid) {
      return platform::NamesEqualIgnoringCase(process.exe_name, owner->program);
    }
  }
  return false;
}

std::optional<LockOwner> ReadOwner(platform::Platform& platform, const std::string& path) {
  auto text = platform.files.ReadFile(path);
  if (!text) return {};
  return ParseLockText(*text);
}

[[noreturn]] void FailHeld(const LockOwner& owner, const std::string& folder_as_typed,
                           const std::string& path) {
  throw UpdateFailure(
      "Обновление программы в каталоге \"" + folder_as_typed +
      "\" уже выполняется другой программой обновления (процесс " + std::to_string(owner.pid) +
      " " + owner.program + ", начато " + owner.started +
      ").\rДождитесь его окончания. Если такой программы нет, удалите файл " + path + ".");
}

LockOwner ThisProcess(platform::Platform& platform) {
  LockOwner owner;
  owner.pid = platform.processes.OwnProcessId();
  for (const platform::ProcessEntry& process : RunningProcesses(platform)) {
    if (process.pid == owner.pid) owner.program = process.exe_name;
  }
  const platform::LocalTime now = platform.clock.Now();
  owner.started = platform.clock.ShortDate(now) + " " + platform.clock.LongTime(now);
  return owner;
}

}  // namespace

ProductFolderLock ProductFolderLock::Take(platform::Platform& platform,
                                          const std::string& product_path,
                                          const std::string& folder_as_typed) {
  platform::FileSystem& files = platform.files;
  const std::string path = platform::JoinPath(product_path, kProductFolderLockName);
  const LockOwner self = ThisProcess(platform);
  const std::string content = LockText(self);
  const std::string suffix = "." + std::to_string(self.pid);

  // Written whole under a name of its own, then renamed: a rename does not
  // replace an existing file, so of two updaters only one gets the lock, and
  // nobody ever reads a half-written one.
  const std::string fresh = path + suffix + ".new";
  if (platform::Status written = files.WriteFile(fresh, content); !written) {
    throw UpdateFailure("Невозможно создать файл " + fresh + "!\r" + written.error().Describe());
  }
  for (int attempt = 0; attempt < kTakeAttempts; ++attempt) {
    platform::Status renamed = files.Rename(fresh, path);
    if (renamed) return ProductFolderLock(platform, path, content);
    if (!files.FileExists(path)) {
      if (attempt + 1 < kTakeAttempts) continue;  // released meanwhile
      (void)files.RemoveFile(fresh);
      throw UpdateFailure("Невозможно создать файл " + path + "!\r" + renamed.error().Describe());
    }
    const std::optional<LockOwner> owner = ReadOwner(platform, path);
    if (HeldByAnother(platform, owner)) {
      (void)files.RemoveFile(fresh);
      FailHeld(*owner, folder_as_typed, path);
    }
    // Stale. Moved aside first, so that of two updaters taking it over at
    // once only one removes it, and none removes the other's new lock.
    const std::string stale = path + suffix + ".stale";
    if (!files.Rename(path, stale)) continue;
    const std::optional<LockOwner> moved = ReadOwner(platform, stale);
    if (HeldByAnother(platform, moved)) {
      // Another updater's lock replaced the stale one just before the move.
      (void)files.Rename(stale, path);
      (void)files.RemoveFile(fresh);
      FailHeld(*moved, folder_as_typed, path);
    }
    (void)files.RemoveFile(stale);
  }
  (void)files.RemoveFile(fresh);
  throw UpdateFailure("Невозможно создать файл " + path +
                      "!\rФайл блокировки меняется другой программой обновления.");
}

ProductFolderLock::ProductFolderLock(platform::Platform& platform, std::string path,
                                     std::string content)
    : platform_(&platform), path_(std::move(path)), content_(std::move(content)) {}

ProductFolderLock::ProductFolderLock(ProductFolderLock&& other) noexcept
    : platform_(other.platform_),
      path_(std::move(other.path_)),
      content_(std::move(other.content_)) {
  other.path_.clear();
}

ProductFolderLock::~ProductFolderLock() {
  if (path_.empty()) return;
  // A lock that is no longer this process's is left to its holder; one that
  // cannot be removed is stale for the next updater, which takes it over.
  auto text = platform_->files.ReadFile(path_);
  if (text && *text == content_) (void)platform_->files.RemoveFile(path_);
}

void CheckProductFolderNotLocked(platform::Platform& platform, const std::string& product_path,
                                 const std::string& folder_as_typed) {
  const std::string path = platform::JoinPath(product_path, kProductFolderLockName);
  if (!platform.files.FileExists(path)) return;
  const std::optional<LockOwner> owner = ReadOwner(platform, path);
  if (HeldByAnother(platform, owner)) FailHeld(*owner, folder_as_typed, path);
}

}  // namespace updater
