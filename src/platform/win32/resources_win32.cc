// Resources of the running executable: PE resources, found with
// FindResource (names and types without regard to case, any language).
#include <algorithm>
#include <cstring>

#include "platform/win32/win32_platform.h"

namespace updater::platform {
namespace {

// A resource lies in the mapped image for as long as the program runs.
class Win32Resource final : public ResourceStream {
 public:
  Win32Resource(const char* bytes, uint64_t size) : bytes_(bytes), size_(size) {}

  uint64_t Size() const override { return size_; }

  Result<size_t> Read(void* buffer, size_t capacity) override {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(capacity, size_ - position_));
    std::memcpy(buffer, bytes_ + position_, count);
    position_ += count;
    return count;
  }

 private:
  const char* bytes_;
  uint64_t size_;
  uint64_t position_ = 0;
};

}  // namespace

Result<std::unique_ptr<ResourceStream>> Win32Resources::Open(const std::string& type,
                                                             const std::string& name) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, Widen(name).c_str(), Widen(type).c_str());
  if (found == nullptr) return LastError("FindResourceW", type + "/" + name);
  HGLOBAL loaded = LoadResource(self, found);
  if (loaded == nullptr) return LastError("LoadResource", type + "/" + name);
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) return LastError("LockResource", type + "/" + name);
  return std::unique_ptr<ResourceStream>(std::make_unique<Win32Resource>(
      static_cast<const char*>(bytes), SizeofResource(self, found)));
}

}  // namespace updater::platform
