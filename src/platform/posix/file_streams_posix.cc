// Files read and written piece by piece, on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/buffered_output.h"
#include "platform/file_streams.h"
#include "platform/posix/posix_platform.h"

namespace updater::platform {
namespace {

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixInputFile() override { close(fd_); }
  PosixInputFile(const PosixInputFile&) = delete;
  PosixInputFile& operator=(const PosixInputFile&) = delete;

  Result<size_t> Read(char* buffer, size_t size) override {
    for (;;) {
      const ssize_t n = read(fd_, buffer, size);
      if (n >= 0) return static_cast<size_t>(n);
      if (errno != EINTR) return ErrnoError("read", path_, errno);
    }
  }

  Result<size_t> ReadAt(uint64_t offset, char* buffer, size_t size) override {
    size_t done = 0;
    while (done < size) {
      const ssize_t n = pread(fd_, buffer + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoError("pread", path_, errno);
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

  Result<uint64_t> Size() override {
    struct stat info {};
    if (fstat(fd_, &info) != 0) return ErrnoError("fstat", path_, errno);
    return static_cast<uint64_t>(info.st_size);
  }

 private:
  int fd_;
  std::string path_;
};

class PosixOutputFile final : public BufferedOutputFile {
 public:
  PosixOutputFile(int fd, std::string path, uint64_t position)
      : BufferedOutputFile(std::move(path), position), fd_(fd) {}
  ~PosixOutputFile() override {
    // A failure here has no one to go to: writers call Close to learn of it.
    (void)Close();
  }
  PosixOutputFile(const PosixOutputFile&) = delete;
  PosixOutputFile& operator=(const PosixOutputFile&) = delete;

 private:
  Status WriteAll(std::string_view bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoError("write", path(), errno);
      }
      done += static_cast<size_t>(n);
    }
    return Status::Ok();
  }

  Status CloseFile() override {
    if (close(fd_) != 0) return ErrnoError("close", path(), errno);
    return Status::Ok();
  }

  int fd_;
};

}  // namespace

Result<std::unique_ptr<InputFile>> PosixFileSystem::OpenInputFile(const std::string& path) {
  const int fd = open(ResolveNameCase(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrnoError("open", path, errno);
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    close(fd);
    return ErrnoError("open", path, EISDIR);
  }
  return std::unique_ptr<InputFile>(std::make_unique<PosixInputFile>(fd, path));
}

Result<std::unique_ptr<OutputFile>> PosixFileSystem::OpenOutputFile(const std::string& path,
                                                                    bool append) {
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  const int fd = open(ResolveNameCase(path).c_str(), flags, 0666);
  if (fd < 0) return ErrnoError("open", path, errno);
  struct stat info {};
  const uint64_t position = append && fstat(fd, &info) == 0 ? info.st_size : 0;
  return std::unique_ptr<OutputFile>(std::make_unique<PosixOutputFile>(fd, path, position));
}

}  // namespace updater::platform
