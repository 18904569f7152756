// Files and folders on Windows.
#include <algorithm>
#include <vector>

#include "platform/name_case.h"
#include "platform/paths.h"
#include "platform/win32/handles.h"

namespace updater::platform {
namespace {

Status WriteAndClose(UniqueKernelHandle& file, const std::string& bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) {
      return LastError("WriteFile", path);
    }
    done += written;
  }
  // The close is the last chance for a write error to show.
  return file.Close(path);
}

// The attribute bits FolderEntry and GetAttributes report (FileAttribute).
constexpr DWORD kListedAttributes = 0x3F;
// The bits SetAttributes sets: read-only, hidden, system, archive.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// A list of zero-terminated names ending in an empty one, as the
// private-profile functions fill it, read with a buffer that grows until the
// list fits.
template <typename Fill>
std::vector<std::wstring> ProfileList(Fill fill) {
  std::vector<wchar_t> buffer(1024);
  DWORD length = 0;
  while ((length = fill(buffer.data(), static_cast<DWORD>(buffer.size()))) + 2 >= buffer.size()) {
    buffer.resize(buffer.size() * 2);
  }
  std::vector<std::wstring> names;
  for (size_t at = 0; at < length && buffer[at] != L'\0';) {
    const std::wstring name(buffer.data() + at);
    names.push_back(name);
    at += name.size() + 1;
  }
  return names;
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

TransientErrors Win32TransientErrors() {
  return TransientErrors{{ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_DEV_NOT_EXIST,
                          ERROR_NETNAME_DELETED, ERROR_SEM_TIMEOUT, ERROR_NETWORK_UNREACHABLE},
                         ERROR_ACCESS_DENIED};
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

Result<std::vector<FolderEntry>> Win32FileSystem::ListFolder(const std::string& folder) {
  const std::wstring pattern = Widen(IncludeTrailingDelimiter(folder)) + L"*";
  WIN32_FIND_DATAW data{};
  const UniqueFindHandle find(
      FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
  std::vector<FolderEntry> entries;
  if (!find) {
    // A drive root lists no "." and "..": when empty it lists nothing.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return entries;
    return LastError("FindFirstFileW", folder);
  }
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool reparse = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool link = reparse && (data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                                  data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
    entries.push_back(FolderEntry{Narrow(name), data.dwFileAttributes & kListedAttributes, link});
  } while (FindNextFileW(find.get(), &data));
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) return Win32Error("FindNextFileW", folder, error);
  return entries;
}

Result<uint32_t> Win32FileSystem::GetAttributes(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError("GetFileAttributesW", path);
  return static_cast<uint32_t>(attributes & kListedAttributes);
}

Status Win32FileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  const std::wstring wide = Widen(path);
  const DWORD current = GetFileAttributesW(wide.c_str());
  if (current == INVALID_FILE_ATTRIBUTES) return LastError("GetFileAttributesW", path);
  // The bits the caller does not set stay as they are, where they can be set.
  const DWORD kept = current & (FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                FILE_ATTRIBUTE_TEMPORARY);
  DWORD wanted = kept | (attributes & kSettableAttributes);
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileAttributesW(wide.c_str(), wanted)) return LastError("SetFileAttributesW", path);
  return Status::Ok();
}

Status Win32FileSystem::RemoveFile(const std::string& path) {
  const std::wstring wide = Widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  // A link to a folder (a junction or a folder symbolic link) goes with
  // RemoveDirectory, which removes the link and not what it points to.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    if (!RemoveDirectoryW(wide.c_str())) return LastError("RemoveDirectoryW", path);
    return Status::Ok();
  }
  if (!DeleteFileW(wide.c_str())) return LastError("DeleteFileW", path);
  return Status::Ok();
}

Status Win32FileSystem::RemoveFolder(const std::string& path) {
  if (!RemoveDirectoryW(Widen(path).c_str())) return LastError("RemoveDirectoryW", path);
  return Status::Ok();
}

Status Win32FileSystem::CreateFolder(const std::string& path) {
  if (!CreateDirectoryW(Widen(path).c_str(), nullptr)) return LastError("CreateDirectoryW", path);
  return Status::Ok();
}

Status Win32FileSystem::CopyWholeFile(const std::string& source, const std::string& target) {
  const std::wstring from = Widen(source);
  const std::wstring to = Widen(target);
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return LastError("CopyFileW", source);
  // CopyFile carries the attributes over on Windows; Wine's leaves hidden
  // and system behind. Setting them again changes nothing where they came.
  const DWORD attributes = GetFileAttributesW(from.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError("GetFileAttributesW", source);
  if ((attributes & kSettableAttributes) !=
          (GetFileAttributesW(to.c_str()) & kSettableAttributes) &&
      !SetFileAttributesW(to.c_str(), attributes & kSettableAttributes)) {
    return LastError("SetFileAttributesW", target);
  }
  return Status::Ok();
}

Status Win32FileSystem::Rename(const std::string& from, const std::string& to) {
  if (!MoveFileW(Widen(from).c_str(), Widen(to).c_str())) return LastError("MoveFileW", from);
  return Status::Ok();
}

Result<uint64_t> Win32FileSystem::ExclusiveFileSize(const std::string& path) {
  UniqueKernelHandle file(CreateFileW(Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError("CreateFileW", path);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return LastError("GetFileSizeEx", path);
  return static_cast<uint64_t>(size.QuadPart);
}

Status Win32FileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  UniqueKernelHandle file(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError("CreateFileW", path);
  return WriteAndClose(file, bytes, path);
}

Status Win32FileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  UniqueKernelHandle file(CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError("CreateFileW", path);
  return WriteAndClose(file, bytes, path);
}

Status Win32FileSystem::FlushToDisk(const std::string& path) {
  const std::wstring wide = Widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError("GetFileAttributesW", path);
  // A folder's entries are committed by NTFS's own journal; Windows offers
  // no call that flushes them (files.h).
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Status::Ok();
  // FlushFileBuffers needs a handle open for writing, which a read-only file
  // refuses: its read-only bit is cleared for the flush and set again.
  const bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only &&
      !SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
    return LastError("SetFileAttributesW", path);
  }
  Status flushed = Status::Ok();
  {
    UniqueKernelHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      flushed = LastError("CreateFileW", path);
    } else if (!FlushFileBuffers(file.get())) {
      flushed = LastError("FlushFileBuffers", path);
    }
  }
  if (read_only && !SetFileAttributesW(wide.c_str(), attributes) && flushed) {
    flushed = LastError("SetFileAttributesW", path);
  }
  return flushed;
}

Result<std::string> Win32FileSystem::ReadFile(const std::string& path) {
  UniqueKernelHandle file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError("CreateFileW", path);
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

Result<bool> Win32FileSystem::IniSectionExists(const std::string& path,
                                               const std::string& section) {
  const std::wstring file = Widen(path);
  auto names = ProfileList([&](wchar_t* buffer, DWORD size) {
    return GetPrivateProfileSectionNamesW(buffer, size, file.c_str());
  });
  for (const std::wstring& name : names) {
    if (NamesEqualIgnoringCase(Narrow(name), section)) return true;
  }
  return false;
}

Result<std::optional<std::string>> Win32FileSystem::IniReadString(const std::string& path,
                                                                  const std::string& section,
                                                                  const std::string& key) {
  const std::wstring file = Widen(path);
  const std::wstring wide_section = Widen(section);
  const std::wstring wide_key = Widen(key);
  // The private-profile functions give a default for a missing key; the list
  // of the section's keys tells a missing key from an empty value.
  auto keys = ProfileList([&](wchar_t* buffer, DWORD size) {
    return GetPrivateProfileStringW(wide_section.c_str(), nullptr, L"", buffer, size, file.c_str());
  });
  bool found = false;
  for (const std::wstring& name : keys) found = found || NamesEqualIgnoringCase(Narrow(name), key);
  if (!found) return std::optional<std::string>();
  std::vector<wchar_t> buffer(256);
  for (;;) {
    const DWORD length =
        GetPrivateProfileStringW(wide_section.c_str(), wide_key.c_str(), L"", buffer.data(),
                                 static_cast<DWORD>(buffer.size()), file.c_str());
    if (length + 1 < buffer.size()) {
      return std::optional<std::string>(Narrow(std::wstring(buffer.data(), length)));
    }
    buffer.resize(buffer.size() * 2);
  }
}

Status Win32FileSystem::IniWriteString(const std::string& path, const std::string& section,
                                       const std::string& key, const std::string& value) {
  if (!WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(),
                                  Widen(path).c_str())) {
    return LastError("WritePrivateProfileStringW", path);
  }
  return Status::Ok();
}

}  // namespace updater::platform
