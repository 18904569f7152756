// Files and folders on Linux.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/name_case.h"
#include "platform/posix/posix_platform.h"
#include "platform/unavailable.h"

namespace updater::platform {
namespace {

// Owns a file descriptor.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close (the last chance for a write
  // error to show) succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

std::vector<std::string> SplitComponents(const std::string& path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

Status WriteAll(int fd, const std::string& bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoError("write", path, errno);
    }
    done += static_cast<size_t>(n);
  }
  return Status::Ok();
}

Status WriteAndClose(Fd& fd, const std::string& bytes, const std::string& path) {
  Status written = WriteAll(fd.get(), bytes, path);
  if (!written) return written;
  if (!fd.Close()) return ErrnoError("close", path, errno);
  return Status::Ok();
}

}  // namespace

SystemError ErrnoError(const std::string& call, const std::string& path, int error_number) {
  return SystemError{call, path, error_number, std::strerror(error_number)};
}

std::string ResolveNameCase(const std::string& path) {
  if (path.empty() || Exists(path)) return path;
  const bool absolute = path.front() == '/';
  const bool trailing = path.size() > 1 && path.back() == '/';
  std::string resolved = absolute ? "/" : "";
  bool searching = true;
  for (const std::string& part : SplitComponents(path)) {
    std::string candidate = resolved + part;
    if (searching && !Exists(candidate) && part != "." && part != "..") {
      std::string match;
      if (DIR* dir = opendir(resolved.empty() ? "." : resolved.c_str())) {
        while (const dirent* entry = readdir(dir)) {
          if (NamesEqualIgnoringCase(entry->d_name, part)) {
            match = entry->d_name;
            break;
          }
        }
        closedir(dir);
      }
      if (!match.empty()) {
        candidate = resolved + match;
      } else {
        searching = false;  // nothing below a missing folder can exist
      }
    }
    resolved = candidate + "/";
  }
  if (!trailing && resolved.size() > 1) resolved.pop_back();
  return resolved;
}

Result<std::string> PosixFileSystem::FullPath(const std::string& path) {
  if (path.empty()) return SystemError{"FullPath", path, EINVAL, "empty path"};
  std::string base;
  if (path.front() != '/') {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) return ErrnoError("getcwd", "", errno);
      buffer.resize(buffer.size() * 2);
    }
    base = buffer.data();
  }
  std::vector<std::string> parts;
  for (const std::string& part : SplitComponents(base + "/" + path)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string full;
  for (const std::string& part : parts) full += "/" + part;
  if (full.empty() || path.back() == '/') full += "/";
  return full;
}

bool PosixFileSystem::FolderExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(ResolveNameCase(path).c_str(), &info) == 0 &&
         S_ISDIR(info.st_mode);
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(ResolveNameCase(path).c_str(), &info) == 0 &&
         !S_ISDIR(info.st_mode);
}

Result<std::vector<FolderEntry>> PosixFileSystem::ListFolder(const std::string&) {
  return NotAvailable("ListFolder");
}

Result<uint32_t> PosixFileSystem::GetAttributes(const std::string&) {
  return NotAvailable("GetFileAttributes");
}

Status PosixFileSystem::SetAttributes(const std::string&, uint32_t) {
  return NotAvailable("SetFileAttributes");
}

Status PosixFileSystem::RemoveFile(const std::string&) { return NotAvailable("DeleteFile"); }

Status PosixFileSystem::RemoveFolder(const std::string&) {
  return NotAvailable("RemoveDirectory");
}

Status PosixFileSystem::CreateFolder(const std::string& path) {
  const std::string resolved = ResolveNameCase(path);
  if (mkdir(resolved.c_str(), 0777) != 0) return ErrnoError("mkdir", path, errno);
  return Status::Ok();
}

Status PosixFileSystem::CopyWholeFile(const std::string&, const std::string&) {
  return NotAvailable("CopyFile");
}

Status PosixFileSystem::Rename(const std::string&, const std::string&) {
  return NotAvailable("MoveFile");
}

Result<uint64_t> PosixFileSystem::ExclusiveFileSize(const std::string&) {
  return NotAvailable("CreateFile");
}

Status PosixFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  Fd fd(open(ResolveNameCase(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) return ErrnoError("open", path, errno);
  return WriteAndClose(fd, bytes, path);
}

Status PosixFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  Fd fd(open(ResolveNameCase(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (fd.get() < 0) return ErrnoError("open", path, errno);
  return WriteAndClose(fd, bytes, path);
}

Result<std::string> PosixFileSystem::ReadFile(const std::string& path) {
  Fd fd(open(ResolveNameCase(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return ErrnoError("open", path, errno);
  std::string out;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoError("read", path, errno);
    }
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

Result<bool> PosixFileSystem::IniSectionExists(const std::string&, const std::string&) {
  return NotAvailable("GetPrivateProfileSectionNames");
}

Result<std::optional<std::string>> PosixFileSystem::IniReadString(const std::string&,
                                                                  const std::string&,
                                                                  const std::string&) {
  return NotAvailable("GetPrivateProfileString");
}

Status PosixFileSystem::IniWriteString(const std::string&, const std::string&,
                                       const std::string&, const std::string&) {
  return NotAvailable("WritePrivateProfileString");
}

}  // namespace updater::platform
