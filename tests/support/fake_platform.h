// Stateful fakes of the platform areas, and a Platform bundle made of them.
// The file system stays real: tests use real temporary folders.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "fake_processes.h"
#include "fake_registry.h"
#include "fake_services.h"
#include "platform/platform.h"
#include "platform/unavailable.h"

namespace updater::testing {

// A clock that stands still until a test or a wait moves it. Sleep advances
// the time by the wait, so waits cost nothing and can be read back.
class FakeClock final : public platform::Clock {
 public:
  platform::LocalTime Now() override { return now_; }
  uint64_t MonotonicMs() override { return monotonic_ms_; }
  void Sleep(uint32_t milliseconds) override;
  std::string ShortDate(const platform::LocalTime& time) override;
  std::string LongTime(const platform::LocalTime& time) override;

  void Set(const platform::LocalTime& now) { now_ = now; }
  // Moves the time on by `milliseconds`, carrying into seconds, minutes and
  // hours (days are not carried; tests stay within one day).
  void Advance(uint64_t milliseconds);
  const std::vector<uint32_t>& sleeps() const { return sleeps_; }

 private:
  platform::LocalTime now_{2026, 2, 3, 7, 5, 9, 0};
  uint64_t monotonic_ms_ = 1000;
  std::vector<uint32_t> sleeps_;
};

// The system's clock, except that waits of `skip_from_ms` or longer pass at
// once: they are recorded and the monotonic time moves on by them. Tests
// against real services keep the real polling and skip the fixed pauses.
class FastForwardClock final : public platform::Clock {
 public:
  explicit FastForwardClock(uint32_t skip_from_ms) : skip_from_ms_(skip_from_ms) {}
  platform::LocalTime Now() override;
  uint64_t MonotonicMs() override;
  void Sleep(uint32_t milliseconds) override;
  std::string ShortDate(const platform::LocalTime& time) override;
  std::string LongTime(const platform::LocalTime& time) override;

  const std::vector<uint32_t>& skipped() const { return skipped_; }

 private:
  platform::Clock& real_ = platform::SystemPlatform().clock;
  uint32_t skip_from_ms_;
  uint64_t offset_ms_ = 0;
  std::vector<uint32_t> skipped_;
};

// Drives as a table: each registered folder is the root of a drive of the
// given kind; a path lies on the drive with the longest registered root that
// holds it.
class FakeVolumes final : public platform::Volumes {
 public:
  void AddDrive(const std::string& root_folder, platform::DriveType type, uint64_t free_bytes = 0);

  std::string DriveRoot(const std::string& path) override;
  platform::DriveType DriveTypeOf(const std::string& root) override;
  platform::Result<uint64_t> FreeBytes(const std::string& root) override;
  platform::Result<std::string> SystemFolder() override;

  // What SystemFolder gives; empty: it fails.
  std::string system_folder;

 private:
  struct Drive {
    platform::DriveType type;
    uint64_t free_bytes;
  };
  std::map<std::string, Drive> drives_;  // keyed by root with a trailing delimiter
};

// The real file system with failures on demand: a call named in `failing`
// fails with an access-denied error instead of reaching the disk.
class FaultyFileSystem final : public platform::FileSystem {
 public:
  explicit FaultyFileSystem(platform::FileSystem& real) : real_(real) {}
  std::set<std::string> failing;

  platform::Result<std::string> FullPath(const std::string& path) override;
  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  platform::Result<std::vector<platform::FolderEntry>> ListFolder(const std::string& f) override;
  platform::Result<uint32_t> GetAttributes(const std::string& path) override;
  platform::Status SetAttributes(const std::string& path, uint32_t attributes) override;
  platform::Status RemoveFile(const std::string& path) override;
  platform::Status RemoveFolder(const std::string& path) override;
  platform::Status CreateFolder(const std::string& path) override;
  platform::Status CopyWholeFile(const std::string& source, const std::string& target) override;
  platform::Status Rename(const std::string& from, const std::string& to) override;
  platform::Result<uint64_t> ExclusiveFileSize(const std::string& path) override;
  platform::Status WriteFile(const std::string& path, const std::string& bytes) override;
  platform::Status AppendToFile(const std::string& path, const std::string& bytes) override;
  platform::Result<std::string> ReadFile(const std::string& path) override;
  platform::Result<std::unique_ptr<platform::InputFile>> OpenInputFile(
      const std::string& path) override;
  platform::Result<std::unique_ptr<platform::OutputFile>> OpenOutputFile(const std::string& path,
                                                                         bool append) override;
  platform::Result<bool> IniSectionExists(const std::string& path,
                                          const std::string& section) override;
  platform::Result<std::optional<std::string>> IniReadString(const std::string& path,
                                                             const std::string& section,
                                                             const std::string& key) override;
  platform::Status IniWriteString(const std::string& path, const std::string& section,
                                  const std::string& key, const std::string& value) override;

 private:
  bool Fails(const std::string& call, const std::string& path, platform::SystemError* error);
  platform::FileSystem& real_;
};

// Resources as a table of (type, name) and bytes, matched without regard to
// case.
class FakeResources final : public platform::Resources {
 public:
  void Add(const std::string& type, const std::string& name, const std::string& bytes);
  platform::Result<std::unique_ptr<platform::ResourceStream>> Open(
      const std::string& type, const std::string& name) override;

 private:
  struct Resource {
    std::string type;
    std::string name;
    std::string bytes;
  };
  std::vector<Resource> resources_;
};

// A Platform bundle over the real file system, fake drives, a registry map,
// a service state machine and a process table on a fake clock.
struct FakePlatform {
  FakePlatform();

  FaultyFileSystem files;
  FakeVolumes volumes;
  FakeRegistry registry;
  FakeClock clock;
  FakeProcesses processes;
  FakeServiceControl services;
  platform::UnavailableLibraries libraries;
  FakeResources resources;
  platform::Platform platform;
};

}  // namespace updater::testing
