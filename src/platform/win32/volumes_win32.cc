// Drives on Windows.
#include "platform/win32/win32_platform.h"

namespace updater::platform {

std::string ExtractFileDrive(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // "\\server\share": up to the delimiter after the share name.
    const size_t server_end = path.find('\\', 2);
    if (server_end == std::string::npos) return path;
    const size_t share_end = path.find('\\', server_end + 1);
    return share_end == std::string::npos ? path : path.substr(0, share_end);
  }
  return {};
}

std::string Win32Volumes::DriveRoot(const std::string& path) {
  return ExtractFileDrive(path) + "\\";
}

DriveType Win32Volumes::DriveTypeOf(const std::string& root) {
  return static_cast<DriveType>(::GetDriveTypeW(Widen(root).c_str()));
}

Result<uint64_t> Win32Volumes::FreeBytes(const std::string& root) {
  ULARGE_INTEGER available{};
  ULARGE_INTEGER total{};
  ULARGE_INTEGER total_free{};
  if (!GetDiskFreeSpaceExW(Widen(root).c_str(), &available, &total, &total_free)) {
    return LastError("GetDiskFreeSpaceExW", root);
  }
  return static_cast<uint64_t>(total_free.QuadPart);
}

Result<std::string> Win32Volumes::SystemFolder() {
  wchar_t folder[MAX_PATH + 1];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
  if (length == 0) return LastError("GetSystemDirectoryW", "");
  if (length > MAX_PATH) {
    return Win32Error("GetSystemDirectoryW", "", ERROR_INSUFFICIENT_BUFFER);
  }
  return Narrow(std::wstring(folder, length));
}

}  // namespace updater::platform
