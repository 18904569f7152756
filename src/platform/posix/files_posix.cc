// Files and folders on Linux.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/name_case.h"
#include "platform/paths.h"
#include "platform/posix/attributes.h"
#include "platform/posix/file_locks.h"
#include "platform/posix/handles.h"
#include "platform/posix/ini_text.h"
#include "platform/posix/posix_platform.h"
#include "platform/text.h"

namespace updater::platform {
namespace {

// The permissions of a file the updater creates. Windows runs any file
// whose name ends in ".exe"; so that the same holds here (the payload is
// written out as "files.exe" and then started), such a file is created
// executable. Others are not.
mode_t NewFileMode(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.size() - dot != 4) return 0666;
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".exe" ? 0777 : 0666;
}

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

Status WriteAndClose(UniqueFd& fd, const std::string& bytes, const std::string& path) {
  Status written = WriteAll(fd.get(), bytes, path);
  if (!written) return written;
  // The close is the last chance for a write error to show.
  return fd.Close(path);
}

SystemError HeldError(const std::string& call, const std::string& path, Holders holders) {
  return SystemError{call, path, EBUSY,
                     holders == Holders::kOthers
                         ? "the file is in use by another process"
                         : "it cannot be told whether another process uses the file"};
}

// Windows refuses to delete, replace or exclusively open a file that another
// process holds open; so does this build.
Status RefuseIfHeld(int fd, const std::string& path, const std::string& call) {
  const Holders holders = FileHolders(fd);
  if (holders == Holders::kNone) return Status::Ok();
  return HeldError(call, path, holders);
}

Status RefuseIfHeld(const std::string& resolved, const std::string& path, const std::string& call) {
  UniqueFd fd(open(resolved.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) {
    // Another process's lease makes a non-blocking open fail: it holds the
    // file. A file that cannot be opened for reading cannot be tested.
    return HeldError(call, path, errno == EWOULDBLOCK ? Holders::kOthers : Holders::kUnknown);
  }
  return RefuseIfHeld(fd.get(), path, call);
}

// A new file beside `resolved_target`, renamed over it by Commit and removed
// when it was not committed.
class TempFile {
 public:
  static Result<std::unique_ptr<TempFile>> Create(const std::string& resolved_target,
                                                  const std::string& shown_target) {
    const PathParts parts = SplitPath(resolved_target);
    const std::string folder = parts.folder.empty() ? "" : IncludeTrailingDelimiter(parts.folder);
    std::string pattern = folder + ".~" + parts.name + ".XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return ErrnoError("mkstemp", shown_target, errno);
    return std::unique_ptr<TempFile>(new TempFile(fd, pattern, resolved_target, shown_target));
  }
  ~TempFile() {
    if (!committed_) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_.get(); }

  // Writes the file through to the disk and puts it in the target's place.
  Status Commit() {
    if (fsync(fd_.get()) != 0) return ErrnoError("fsync", shown_, errno);
    if (Status closed = fd_.Close(shown_); !closed) return closed;
    if (rename(path_.c_str(), target_.c_str()) != 0) return ErrnoError("rename", shown_, errno);
    committed_ = true;
    return Status::Ok();
  }

 private:
  TempFile(int fd, std::string path, std::string target, std::string shown)
      : fd_(fd), path_(std::move(path)), target_(std::move(target)), shown_(std::move(shown)) {}
  UniqueFd fd_;
  std::string path_;
  std::string target_;
  std::string shown_;
  bool committed_ = false;
};

Status CopyBytes(int from, int to, const std::string& source, const std::string& target) {
  bool in_kernel = true;
  std::vector<char> buffer;
  for (;;) {
    if (in_kernel) {
      const ssize_t n = copy_file_range(from, nullptr, to, nullptr, size_t{1} << 30, 0);
      if (n > 0) continue;
      if (n == 0) return Status::Ok();
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
        return ErrnoError("copy_file_range", target, errno);
      }
      // Not between these file systems: on with plain reads and writes
      // from where the kernel copy stopped.
      in_kernel = false;
      buffer.resize(size_t{1} << 20);
    }
    const ssize_t n = read(from, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoError("read", source, errno);
    }
    if (n == 0) return Status::Ok();
    Status written = WriteAll(to, std::string(buffer.data(), static_cast<size_t>(n)), target);
    if (!written) return written;
  }
}

// The text of an initialisation file in UTF-8; a missing file reads as empty,
// as the private-profile functions read it.
Result<std::string> ReadIniText(FileSystem& files, const std::string& path) {
  auto bytes = files.ReadFile(path);
  if (!bytes) {
    if (bytes.error().code == ENOENT) return std::string();
    return bytes.error();
  }
  return Cp1251ToUtf8(*bytes);
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
      if (const UniqueDir dir(opendir(resolved.empty() ? "." : resolved.c_str())); dir) {
        while (const dirent* entry = readdir(dir.get())) {
          if (NamesEqualIgnoringCase(entry->d_name, part)) {
            match = entry->d_name;
            break;
          }
        }
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
  return !path.empty() && stat(ResolveNameCase(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(ResolveNameCase(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

Result<std::vector<FolderEntry>> PosixFileSystem::ListFolder(const std::string& folder) {
  const std::string path = ResolveNameCase(folder);
  const UniqueDir dir(opendir(path.c_str()));
  if (!dir) return ErrnoError("opendir", folder, errno);
  const std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
  std::vector<FolderEntry> entries;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string full = prefix + name;
    struct stat info {};
    // An entry removed since readdir saw it is no longer there to list.
    if (lstat(full.c_str(), &info) != 0) continue;
    entries.push_back(FolderEntry{name, ReadAttributes(full, info), S_ISLNK(info.st_mode)});
  }
  return entries;
}

Result<uint32_t> PosixFileSystem::GetAttributes(const std::string& path) {
  const std::string resolved = ResolveNameCase(path);
  struct stat info {};
  if (lstat(resolved.c_str(), &info) != 0) return ErrnoError("lstat", path, errno);
  return ReadAttributes(resolved, info);
}

Status PosixFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  const std::string resolved = ResolveNameCase(path);
  struct stat info {};
  if (lstat(resolved.c_str(), &info) != 0) return ErrnoError("lstat", path, errno);
  return WriteAttributes(resolved, info, attributes);
}

Status PosixFileSystem::RemoveFile(const std::string& path) {
  const std::string resolved = ResolveNameCase(path);
  struct stat info {};
  if (lstat(resolved.c_str(), &info) != 0) return ErrnoError("unlink", path, errno);
  if (S_ISDIR(info.st_mode)) return ErrnoError("unlink", path, EISDIR);
  // A link goes without a look at what it points to.
  if (!S_ISLNK(info.st_mode)) {
    if ((info.st_mode & 0222) == 0) {
      return SystemError{"unlink", path, EACCES, "the file is read-only"};
    }
    Status free = RefuseIfHeld(resolved, path, "unlink");
    if (!free) return free;
  }
  if (unlink(resolved.c_str()) != 0) return ErrnoError("unlink", path, errno);
  return Status::Ok();
}

Status PosixFileSystem::FlushToDisk(const std::string& path) {
  const std::string resolved = ResolveNameCase(path);
  // A folder opens read-only too; fsync on it commits its entries.
  UniqueFd fd(open(resolved.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return ErrnoError("open", path, errno);
  if (fsync(fd.get()) != 0) return ErrnoError("fsync", path, errno);
  return Status::Ok();
}

Status PosixFileSystem::RemoveFolder(const std::string& path) {
  const std::string resolved = ResolveNameCase(path);
  struct stat info {};
  if (lstat(resolved.c_str(), &info) != 0) return ErrnoError("rmdir", path, errno);
  // Windows' RemoveDirectory takes a junction or a folder link away and
  // leaves what it points to; so does this with a link to a folder.
  struct stat target {};
  if (S_ISLNK(info.st_mode) && stat(resolved.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
    if (unlink(resolved.c_str()) != 0) return ErrnoError("unlink", path, errno);
    return Status::Ok();
  }
  if (!S_ISDIR(info.st_mode)) return ErrnoError("rmdir", path, ENOTDIR);
  if ((info.st_mode & 0222) == 0) {
    return SystemError{"rmdir", path, EACCES, "the folder is read-only"};
  }
  if (rmdir(resolved.c_str()) != 0) return ErrnoError("rmdir", path, errno);
  return Status::Ok();
}

Status PosixFileSystem::CreateFolder(const std::string& path) {
  const std::string resolved = ResolveNameCase(path);
  if (mkdir(resolved.c_str(), 0777) != 0) return ErrnoError("mkdir", path, errno);
  return Status::Ok();
}

Status PosixFileSystem::CopyWholeFile(const std::string& source, const std::string& target) {
  UniqueFd in(open(ResolveNameCase(source).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!in) return ErrnoError("open", source, errno);
  struct stat info {};
  if (fstat(in.get(), &info) != 0) return ErrnoError("fstat", source, errno);
  if (!S_ISREG(info.st_mode)) {
    return ErrnoError("CopyFile", source, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
  }
  Status free = RefuseIfHeld(in.get(), source, "CopyFile");
  if (!free) return free;

  const std::string to = ResolveNameCase(target);
  struct stat existing {};
  if (lstat(to.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) return ErrnoError("CopyFile", target, EISDIR);
    if (S_ISREG(existing.st_mode)) {
      if ((ReadAttributes(to, existing) & (kAttrReadOnly | kAttrHidden)) != 0) {
        return SystemError{"CopyFile", target, EACCES, "the target is read-only or hidden"};
      }
      Status target_free = RefuseIfHeld(to, target, "CopyFile");
      if (!target_free) return target_free;
    }
  }

  // The copy is written beside the target and renamed over it when complete:
  // a failed copy leaves the old target as it was.
  auto created = TempFile::Create(to, target);
  if (!created) return created.error();
  TempFile& temp = *created.value();
  Status copied = CopyBytes(in.get(), temp.fd(), source, target);
  if (!copied) return copied;
  if (fchmod(temp.fd(), info.st_mode & 07777) != 0) return ErrnoError("fchmod", target, errno);
  if (geteuid() == 0 && fchown(temp.fd(), info.st_uid, info.st_gid) != 0) {
    return ErrnoError("fchown", target, errno);
  }
  Status bits = CopyAttributeBits(in.get(), temp.fd(), target);
  if (!bits) return bits;
  const timespec times[2] = {info.st_atim, info.st_mtim};
  if (futimens(temp.fd(), times) != 0) return ErrnoError("futimens", target, errno);
  return temp.Commit();
}

Status PosixFileSystem::Rename(const std::string& from, const std::string& to) {
  const std::string old_path = ResolveNameCase(from);
  std::string new_path = ResolveNameCase(to);
  struct stat info {};
  if (lstat(old_path.c_str(), &info) != 0) return ErrnoError("rename", from, errno);
  // A change of letter case only: the target "exists" as the source itself.
  if (new_path == old_path) new_path = to;
  if (S_ISDIR(info.st_mode)) {
    char real[PATH_MAX];
    if (realpath(old_path.c_str(), real) == nullptr) return ErrnoError("realpath", from, errno);
    const Holders holders = FolderHolders(real);
    if (holders != Holders::kNone) {
      return SystemError{"rename", from, EBUSY,
                         holders == Holders::kOthers
                             ? "a process has a file open below the folder or works in it"
                             : "it cannot be told whether a process works in the folder"};
    }
  } else if (S_ISREG(info.st_mode)) {
    Status free = RefuseIfHeld(old_path, from, "rename");
    if (!free) return free;
  }
  if (renameat2(AT_FDCWD, old_path.c_str(), AT_FDCWD, new_path.c_str(), RENAME_NOREPLACE) == 0) {
    return Status::Ok();
  }
  if (errno != EINVAL && errno != ENOSYS) return ErrnoError("rename", from, errno);
  // A file system without RENAME_NOREPLACE.
  struct stat target {};
  if (lstat(new_path.c_str(), &target) == 0) return ErrnoError("rename", to, EEXIST);
  if (rename(old_path.c_str(), new_path.c_str()) != 0) return ErrnoError("rename", from, errno);
  return Status::Ok();
}

Result<uint64_t> PosixFileSystem::ExclusiveFileSize(const std::string& path) {
  UniqueFd fd(open(ResolveNameCase(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    if (errno == EWOULDBLOCK) return HeldError("open", path, Holders::kOthers);
    return ErrnoError("open", path, errno);
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) return ErrnoError("fstat", path, errno);
  if (S_ISDIR(info.st_mode)) return ErrnoError("open", path, EISDIR);
  Status free = RefuseIfHeld(fd.get(), path, "open");
  if (!free) return free.error();
  return static_cast<uint64_t>(info.st_size);
}

Status PosixFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  UniqueFd fd(open(ResolveNameCase(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                   NewFileMode(path)));
  if (!fd) return ErrnoError("open", path, errno);
  return WriteAndClose(fd, bytes, path);
}

Status PosixFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  UniqueFd fd(open(ResolveNameCase(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (!fd) return ErrnoError("open", path, errno);
  return WriteAndClose(fd, bytes, path);
}

Result<std::string> PosixFileSystem::ReadFile(const std::string& path) {
  UniqueFd fd(open(ResolveNameCase(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return ErrnoError("open", path, errno);
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

Result<bool> PosixFileSystem::IniSectionExists(const std::string& path,
                                               const std::string& section) {
  auto text = ReadIniText(*this, path);
  if (!text) return text.error();
  return IniTextHasSection(*text, section);
}

Result<std::optional<std::string>> PosixFileSystem::IniReadString(const std::string& path,
                                                                  const std::string& section,
                                                                  const std::string& key) {
  auto text = ReadIniText(*this, path);
  if (!text) return text.error();
  return IniTextValue(*text, section, key);
}

Status PosixFileSystem::IniWriteString(const std::string& path, const std::string& section,
                                       const std::string& key, const std::string& value) {
  auto text = ReadIniText(*this, path);
  if (!text) return text.error();
  const std::string changed = IniTextWithValue(*text, section, key, value);
  const std::string resolved = ResolveNameCase(path);
  auto created = TempFile::Create(resolved, path);
  if (!created) return created.error();
  TempFile& temp = *created.value();
  struct stat existing {};
  const mode_t mode = stat(resolved.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644;
  if (fchmod(temp.fd(), mode) != 0) return ErrnoError("fchmod", path, errno);
  Status written = WriteAll(temp.fd(), Utf8ToCp1251(changed), path);
  if (!written) return written;
  return temp.Commit();
}

}  // namespace updater::platform
