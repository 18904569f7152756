// Files and folders on Windows.
#include <algorithm>
#include <vector>

#include "platform/unavailable.h"
#include "platform/win32/win32_platform.h"

namespace updater::platform {
namespace {

// Owns a file HANDLE.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (valid()) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

Status WriteAndClose(FileHandle& file, const std::string& bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) {
      return LastError("WriteFile", path);
    }
    done += written;
  }
  if (!file.Close()) return LastError("CloseHandle", path);
  return Status::Ok();
}

}  // namespace

SystemError Win32Error(const std::string& call, const std::string& path, DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  return SystemError{call, path, static_cast<int64_t>(code), Narrow(text)};
}

SystemError LastError(const std::string& call, const std::string& path) {
  return Win32Error(call, path, GetLastError());
}

Result<std::string> Win32FileSystem::FullPath(const std::string& path) {
  const std::wstring wide = Widen(path);
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return LastError("GetFullPathNameW", path);
  std::wstring out(size, L'\0');
  size = GetFullPathNameW(wide.c_str(), size, out.data(), nullptr);
  if (size == 0) return LastError("GetFullPathNameW", path);
  out.resize(size);
  return Narrow(out);
}

bool Win32FileSystem::FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32FileSystem::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

Result<std::vector<FolderEntry>> Win32FileSystem::ListFolder(const std::string&) {
  return NotAvailable("FindFirstFileW");
}

Result<uint32_t> Win32FileSystem::GetAttributes(const std::string&) {
  return NotAvailable("GetFileAttributesW");
}

Status Win32FileSystem::SetAttributes(const std::string&, uint32_t) {
  return NotAvailable("SetFileAttributesW");
}

Status Win32FileSystem::RemoveFile(const std::string&) { return NotAvailable("DeleteFileW"); }

Status Win32FileSystem::RemoveFolder(const std::string&) {
  return NotAvailable("RemoveDirectoryW");
}

Status Win32FileSystem::CreateFolder(const std::string& path) {
  if (!CreateDirectoryW(Widen(path).c_str(), nullptr)) return LastError("CreateDirectoryW", path);
  return Status::Ok();
}

Status Win32FileSystem::CopyWholeFile(const std::string&, const std::string&) {
  return NotAvailable("CopyFileW");
}

Status Win32FileSystem::Rename(const std::string&, const std::string&) {
  return NotAvailable("MoveFileW");
}

Result<uint64_t> Win32FileSystem::ExclusiveFileSize(const std::string&) {
  return NotAvailable("CreateFileW");
}

Status Win32FileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  FileHandle file(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return LastError("CreateFileW", path);
  return WriteAndClose(file, bytes, path);
}

Status Win32FileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  FileHandle file(CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return LastError("CreateFileW", path);
  return WriteAndClose(file, bytes, path);
}

Result<std::string> Win32FileSystem::ReadFile(const std::string& path) {
  FileHandle file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return LastError("CreateFileW", path);
  std::string out;
  char buffer[65536];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) {
      return LastError("ReadFile", path);
    }
    if (read == 0) break;
    out.append(buffer, read);
  }
  return out;
}

Result<bool> Win32FileSystem::IniSectionExists(const std::string&, const std::string&) {
  return NotAvailable("GetPrivateProfileSectionNamesW");
}

Result<std::optional<std::string>> Win32FileSystem::IniReadString(const std::string&,
                                                                  const std::string&,
                                                                  const std::string&) {
  return NotAvailable("GetPrivateProfileStringW");
}

Status Win32FileSystem::IniWriteString(const std::string&, const std::string&,
                                       const std::string&, const std::string&) {
  return NotAvailable("WritePrivateProfileStringW");
}

}  // namespace updater::platform
