#include "fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/name_case.h"
#include "platform/paths.h"

namespace updater::testing {

void FakeClock::Sleep(uint32_t milliseconds) {
  sleeps_.push_back(milliseconds);
  Advance(milliseconds);
}

void FakeClock::Advance(uint64_t milliseconds) {
  monotonic_ms_ += milliseconds;
  uint64_t total = now_.millisecond + milliseconds;
  now_.millisecond = static_cast<int>(total % 1000);
  total = now_.second + total / 1000;
  now_.second = static_cast<int>(total % 60);
  total = now_.minute + total / 60;
  now_.minute = static_cast<int>(total % 60);
  total = now_.hour + total / 60;
  now_.hour = static_cast<int>(total % 24);
  now_.day += static_cast<int>(total / 24);
}

std::string FakeClock::ShortDate(const platform::LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", time.day, time.month, time.year);
  return text;
}

std::string FakeClock::LongTime(const platform::LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d:%02d", time.hour, time.minute, time.second);
  return text;
}

platform::LocalTime FastForwardClock::Now() { return real_.Now(); }

uint64_t FastForwardClock::MonotonicMs() { return real_.MonotonicMs() + offset_ms_; }

void FastForwardClock::Sleep(uint32_t milliseconds) {
  if (milliseconds < skip_from_ms_) {
    real_.Sleep(milliseconds);
    return;
  }
  skipped_.push_back(milliseconds);
  offset_ms_ += milliseconds;
}

std::string FastForwardClock::ShortDate(const platform::LocalTime& time) {
  return real_.ShortDate(time);
}

std::string FastForwardClock::LongTime(const platform::LocalTime& time) {
  return real_.LongTime(time);
}

void FakeVolumes::AddDrive(const std::string& root_folder, platform::DriveType type,
                           uint64_t free_bytes) {
  drives_[platform::IncludeTrailingDelimiter(root_folder)] = Drive{type, free_bytes};
}

std::string FakeVolumes::DriveRoot(const std::string& path) {
  const std::string full = platform::IncludeTrailingDelimiter(path);
  std::string best;
  for (const auto& [root, drive] : drives_) {
    if (full.compare(0, root.size(), root) == 0 && root.size() > best.size()) best = root;
  }
  return best.empty() ? std::string("?") + platform::PathDelimiter() : best;
}

platform::DriveType FakeVolumes::DriveTypeOf(const std::string& root) {
  const auto it = drives_.find(platform::IncludeTrailingDelimiter(root));
  return it == drives_.end() ? platform::DriveType::kNoRootDir : it->second.type;
}

platform::Result<uint64_t> FakeVolumes::FreeBytes(const std::string& root) {
  const auto it = drives_.find(platform::IncludeTrailingDelimiter(root));
  if (it == drives_.end()) return platform::SystemError{"GetDiskFreeSpaceEx", root, 3, "no drive"};
  return it->second.free_bytes;
}

platform::Result<std::string> FakeVolumes::SystemFolder() {
  if (system_folder.empty()) {
    return platform::SystemError{"GetSystemDirectory", "", 0, "no system folder in this fake"};
  }
  return system_folder;
}

bool FaultyFileSystem::Fails(const std::string& call, const std::string& path,
                             platform::SystemError* error) {
  if (failing.count(call) == 0) return false;
  *error = platform::SystemError{call, path, 5, "Access is denied (injected)"};
  return true;
}

#define UPDATER_FAULT(call, path)                      \
  do {                                                 \
    platform::SystemError injected;                    \
    if (Fails(call, path, &injected)) return injected; \
  } while (false)

platform::Result<std::string> FaultyFileSystem::FullPath(const std::string& path) {
  UPDATER_FAULT("FullPath", path);
  return real_.FullPath(path);
}
bool FaultyFileSystem::FolderExists(const std::string& path) { return real_.FolderExists(path); }
bool FaultyFileSystem::FileExists(const std::string& path) { return real_.FileExists(path); }
platform::Result<std::vector<platform::FolderEntry>> FaultyFileSystem::ListFolder(
    const std::string& folder) {
  UPDATER_FAULT("ListFolder", folder);
  return real_.ListFolder(folder);
}
platform::Result<uint32_t> FaultyFileSystem::GetAttributes(const std::string& path) {
  UPDATER_FAULT("GetAttributes", path);
  return real_.GetAttributes(path);
}
platform::Status FaultyFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  UPDATER_FAULT("SetAttributes", path);
  return real_.SetAttributes(path, attributes);
}
platform::Status FaultyFileSystem::RemoveFile(const std::string& path) {
  UPDATER_FAULT("RemoveFile", path);
  return real_.RemoveFile(path);
}
platform::Status FaultyFileSystem::RemoveFolder(const std::string& path) {
  UPDATER_FAULT("RemoveFolder", path);
  return real_.RemoveFolder(path);
}
platform::Status FaultyFileSystem::CreateFolder(const std::string& path) {
  UPDATER_FAULT("CreateFolder", path);
  return real_.CreateFolder(path);
}
platform::Status FaultyFileSystem::CopyWholeFile(const std::string& source,
                                                 const std::string& target) {
  UPDATER_FAULT("CopyWholeFile", source);
  return real_.CopyWholeFile(source, target);
}
platform::Status FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
  UPDATER_FAULT("Rename", from);
  return real_.Rename(from, to);
}
platform::Result<uint64_t> FaultyFileSystem::ExclusiveFileSize(const std::string& path) {
  UPDATER_FAULT("ExclusiveFileSize", path);
  return real_.ExclusiveFileSize(path);
}
platform::Status FaultyFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  UPDATER_FAULT("WriteFile", path);
  return real_.WriteFile(path, bytes);
}
platform::Status FaultyFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  UPDATER_FAULT("AppendToFile", path);
  return real_.AppendToFile(path, bytes);
}
platform::Result<std::string> FaultyFileSystem::ReadFile(const std::string& path) {
  UPDATER_FAULT("ReadFile", path);
  return real_.ReadFile(path);
}
platform::Result<std::unique_ptr<platform::InputFile>> FaultyFileSystem::OpenInputFile(
    const std::string& path) {
  UPDATER_FAULT("OpenInputFile", path);
  return real_.OpenInputFile(path);
}
platform::Result<std::unique_ptr<platform::OutputFile>> FaultyFileSystem::OpenOutputFile(
    const std::string& path, bool append) {
  UPDATER_FAULT("OpenOutputFile", path);
  return real_.OpenOutputFile(path, append);
}
platform::Result<bool> FaultyFileSystem::IniSectionExists(const std::string& path,
                                                          const std::string& section) {
  UPDATER_FAULT("IniSectionExists", path);
  return real_.IniSectionExists(path, section);
}
platform::Result<std::optional<std::string>> FaultyFileSystem::IniReadString(
    const std::string& path, const std::string& section, const std::string& key) {
  UPDATER_FAULT("IniReadString", path);
  return real_.IniReadString(path, section, key);
}
platform::Status FaultyFileSystem::IniWriteString(const std::string& path,
                                                  const std::string& section,
                                                  const std::string& key,
                                                  const std::string& value) {
  UPDATER_FAULT("IniWriteString", path);
  return real_.IniWriteString(path, section, key, value);
}

#undef UPDATER_FAULT

namespace {

class FakeResourceStream final : public platform::ResourceStream {
 public:
  explicit FakeResourceStream(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  platform::Result<size_t> Read(void* buffer, size_t capacity) override {
    const size_t count = std::min(capacity, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    return count;
  }

 private:
  std::string bytes_;
  size_t position_ = 0;
};

}  // namespace

void FakeResources::Add(const std::string& type, const std::string& name,
                        const std::string& bytes) {
  resources_.push_back(Resource{type, name, bytes});
}

platform::Result<std::unique_ptr<platform::ResourceStream>> FakeResources::Open(
    const std::string& type, const std::string& name) {
  bool type_seen = false;
  for (const Resource& resource : resources_) {
    if (!platform::NamesEqualIgnoringCase(resource.type, type)) continue;
    type_seen = true;
    if (platform::NamesEqualIgnoringCase(resource.name, name)) {
      return std::unique_ptr<platform::ResourceStream>(
          std::make_unique<FakeResourceStream>(resource.bytes));
    }
  }
  return platform::SystemError{
      "FindResource", name,
      type_seen ? platform::kErrorResourceNameNotFound : platform::kErrorResourceTypeNotFound,
      "The specified resource name cannot be found in the image file."};
}

FakePlatform::FakePlatform()
    : files(platform::SystemPlatform().files),
      services(clock, &processes),
      platform{files, volumes, registry, services, processes, libraries, resources, clock} {}

}  // namespace updater::testing
