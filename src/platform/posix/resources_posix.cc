// Resources appended to the running executable (resource_index.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/name_case.h"
#include "platform/posix/handles.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/resource_index.h"

namespace updater::platform {
namespace {

Result<std::string> ReadAt(int fd, uint64_t offset, uint64_t size, const std::string& file) {
  std::string bytes(size, '\0');
  size_t done = 0;
  while (done < size) {
    const ssize_t n =
        pread(fd, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ErrnoError("pread", file, errno);
    if (n == 0) return SystemError{"pread", file, EIO, "the resource index is damaged"};
    done += static_cast<size_t>(n);
  }
  return bytes;
}

class AppendedResource final : public ResourceStream {
 public:
  AppendedResource(UniqueFd fd, ResourceEntry entry, std::string file)
      : fd_(std::move(fd)), entry_(std::move(entry)), file_(std::move(file)) {}

  uint64_t Size() const override { return entry_.size; }

  Result<size_t> Read(void* buffer, size_t capacity) override {
    const uint64_t left = entry_.size - position_;
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(left, capacity));
    size_t done = 0;
    while (done < wanted) {
      const ssize_t n = pread(fd_.get(), static_cast<char*>(buffer) + done, wanted - done,
                              static_cast<off_t>(entry_.offset + position_ + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ErrnoError("pread", file_, errno);
      if (n == 0) return SystemError{"pread", file_, EIO, "the resource is cut short"};
      done += static_cast<size_t>(n);
    }
    position_ += done;
    return done;
  }

 private:
  UniqueFd fd_;
  ResourceEntry entry_;
  std::string file_;
  uint64_t position_ = 0;
};

}  // namespace

PosixResources::PosixResources(std::string file) : file_(std::move(file)) {}

Result<std::unique_ptr<ResourceStream>> PosixResources::Open(const std::string& type,
                                                             const std::string& name) {
  UniqueFd owned(open(file_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!owned) return ErrnoError("open", file_, errno);
  const int fd = owned.get();

  struct stat info {};
  if (fstat(fd, &info) != 0) return ErrnoError("fstat", file_, errno);
  const uint64_t file_size = static_cast<uint64_t>(info.st_size);
  const SystemError no_type{"FindResource", type + "/" + name, kErrorResourceTypeNotFound,
                            "the executable carries no resources of this type"};
  if (file_size < kResourceTrailerSize) return no_type;
  auto trailer_bytes = ReadAt(fd, file_size - kResourceTrailerSize, kResourceTrailerSize, file_);
  if (!trailer_bytes) return trailer_bytes.error();
  const auto trailer = ParseResourceTrailer(*trailer_bytes);
  if (!trailer) return no_type;
  if (trailer->index_offset > file_size - kResourceTrailerSize) {
    return SystemError{"FindResource", file_, EIO, "the resource index is damaged"};
  }
  auto index_bytes = ReadAt(fd, trailer->index_offset,
                            file_size - kResourceTrailerSize - trailer->index_offset, file_);
  if (!index_bytes) return index_bytes.error();
  const auto entries = ParseResourceIndex(*index_bytes, trailer->count);
  if (!entries) return SystemError{"FindResource", file_, EIO, "the resource index is damaged"};

  bool type_seen = false;
  for (const ResourceEntry& entry : *entries) {
    if (!NamesEqualIgnoringCase(entry.type, type)) continue;
    type_seen = true;
    if (!NamesEqualIgnoringCase(entry.name, name)) continue;
    if (entry.offset + entry.size > trailer->index_offset) {
      return SystemError{"FindResource", file_, EIO, "the resource index is damaged"};
    }
    return std::unique_ptr<ResourceStream>(
        std::make_unique<AppendedResource>(std::move(owned), entry, file_));
  }
  if (!type_seen) return no_type;
  return SystemError{"FindResource", type + "/" + name, kErrorResourceNameNotFound,
                     "the executable carries no resource of this name"};
}

}  // namespace updater::platform
