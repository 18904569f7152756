// updater-resource-append EXECUTABLE TYPE NAME FILE
//
// The build step of the Linux build that carries resources inside the
// executable: appends FILE's bytes to EXECUTABLE as the resource TYPE/NAME
// and rewrites the trailing index (platform/posix/resource_index.h). A
// resource of the same type and name is replaced in the index.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "platform/name_case.h"
#include "platform/posix/resource_index.h"

namespace {

using updater::platform::ResourceEntry;

bool ReadAt(int fd, uint64_t offset, size_t size, std::string* out) {
  out->assign(size, '\0');
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd, out->data() + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAt(int fd, uint64_t offset, const char* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int Fail(const std::string& what) {
  std::cerr << "updater-resource-append: " << what << ": " << std::strerror(errno) << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: updater-resource-append EXECUTABLE TYPE NAME FILE\n";
    return 2;
  }
  const std::string executable = argv[1], type = argv[2], name = argv[3], file = argv[4];
  const int exe = open(executable.c_str(), O_RDWR | O_CLOEXEC);
  if (exe < 0) return Fail(executable);
  struct stat info {};
  if (fstat(exe, &info) != 0) return Fail(executable);
  uint64_t data_end = static_cast<uint64_t>(info.st_size);

  std::vector<ResourceEntry> entries;
  std::string trailer_bytes;
  if (data_end >= updater::platform::kResourceTrailerSize &&
      ReadAt(exe, data_end - updater::platform::kResourceTrailerSize,
             updater::platform::kResourceTrailerSize, &trailer_bytes)) {
    if (const auto trailer = updater::platform::ParseResourceTrailer(trailer_bytes)) {
      std::string index;
      const uint64_t index_size =
          data_end - updater::platform::kResourceTrailerSize - trailer->index_offset;
      const auto parsed = ReadAt(exe, trailer->index_offset, index_size, &index)
                              ? updater::platform::ParseResourceIndex(index, trailer->count)
                              : std::nullopt;
      if (!parsed) {
        std::cerr << "updater-resource-append: " << executable << ": damaged resource index\n";
        return 1;
      }
      entries = *parsed;
      data_end = trailer->index_offset;
    }
  }
  std::erase_if(entries, [&](const ResourceEntry& entry) {
    return updater::platform::NamesEqualIgnoringCase(entry.type, type) &&
           updater::platform::NamesEqualIgnoringCase(entry.name, name);
  });

  const int in = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(file);
  ResourceEntry added{type, name, data_end, 0};
  std::vector<char> buffer(size_t{1} << 20);
  for (;;) {
    const ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(file);
    if (n == 0) break;
    if (!WriteAt(exe, added.offset + added.size, buffer.data(), static_cast<size_t>(n))) {
      return Fail(executable);
    }
    added.size += static_cast<uint64_t>(n);
  }
  close(in);
  entries.push_back(added);
  const uint64_t index_offset = added.offset + added.size;
  const std::string index = updater::platform::EncodeResourceIndex(entries, index_offset);
  if (!WriteAt(exe, index_offset, index.data(), index.size()) ||
      ftruncate(exe, static_cast<off_t>(index_offset + index.size())) != 0 || close(exe) != 0) {
    return Fail(executable);
  }
  return 0;
}
