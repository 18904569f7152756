// Files read and written piece by piece, on Windows.
#include <algorithm>

#include "platform/buffered_output.h"
#include "platform/file_streams.h"
#include "platform/win32/win32_platform.h"

namespace updater::platform {
namespace {

constexpr DWORD kMaxChunk = 1 << 20;

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  ~Win32InputFile() override { CloseHandle(handle_); }
  Win32InputFile(const Win32InputFile&) = delete;
  Win32InputFile& operator=(const Win32InputFile&) = delete;

  Result<size_t> Read(char* buffer, size_t size) override {
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, kMaxChunk));
    if (!::ReadFile(handle_, buffer, chunk, &read, nullptr)) return LastError("ReadFile", path_);
    return static_cast<size_t>(read);
  }

  Result<size_t> ReadAt(uint64_t offset, char* buffer, size_t size) override {
    size_t done = 0;
    while (done < size) {
      OVERLAPPED at{};
      const uint64_t position = offset + done;
      at.Offset = static_cast<DWORD>(position);
      at.OffsetHigh = static_cast<DWORD>(position >> 32);
      DWORD read = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, kMaxChunk));
      // A positioned read moves the file pointer too; the sequential reader
      // must not notice, so it is put back.
      LARGE_INTEGER zero{}, current{};
      SetFilePointerEx(handle_, zero, &current, FILE_CURRENT);
      const BOOL ok = ::ReadFile(handle_, buffer + done, chunk, &read, &at);
      const DWORD error = ok ? 0 : GetLastError();
      SetFilePointerEx(handle_, current, nullptr, FILE_BEGIN);
      if (!ok) {
        if (error == ERROR_HANDLE_EOF) break;
        return Win32Error("ReadFile", path_, error);
      }
      if (read == 0) break;
      done += read;
    }
    return done;
  }

  Result<uint64_t> Size() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_, &size)) return LastError("GetFileSizeEx", path_);
    return static_cast<uint64_t>(size.QuadPart);
  }

 private:
  HANDLE handle_;
  std::string path_;
};

class Win32OutputFile final : public BufferedOutputFile {
 public:
  Win32OutputFile(HANDLE handle, std::string path, uint64_t position)
      : BufferedOutputFile(std::move(path), position), handle_(handle) {}
  ~Win32OutputFile() override {
    // A failure here has no one to go to: writers call Close to learn of it.
    (void)Close();
  }
  Win32OutputFile(const Win32OutputFile&) = delete;
  Win32OutputFile& operator=(const Win32OutputFile&) = delete;

 private:
  Status WriteAll(std::string_view bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kMaxChunk));
      DWORD written = 0;
      if (!::WriteFile(handle_, bytes.data() + done, chunk, &written, nullptr)) {
        return LastError("WriteFile", path());
      }
      done += written;
    }
    return Status::Ok();
  }

  Status CloseFile() override {
    if (!::CloseHandle(handle_)) return LastError("CloseHandle", path());
    return Status::Ok();
  }

  HANDLE handle_;
};

}  // namespace

Result<std::unique_ptr<InputFile>> Win32FileSystem::OpenInputFile(const std::string& path) {
  const HANDLE handle =
      CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError("CreateFileW", path);
  return std::unique_ptr<InputFile>(std::make_unique<Win32InputFile>(handle, path));
}

Result<std::unique_ptr<OutputFile>> Win32FileSystem::OpenOutputFile(const std::string& path,
                                                                    bool append) {
  const HANDLE handle =
      CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError("CreateFileW", path);
  LARGE_INTEGER position{};
  if (append) {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(handle, zero, &position, FILE_END)) {
      const SystemError error = LastError("SetFilePointerEx", path);
      CloseHandle(handle);
      return error;
    }
  }
  return std::unique_ptr<OutputFile>(
      std::make_unique<Win32OutputFile>(handle, path, static_cast<uint64_t>(position.QuadPart)));
}

}  // namespace updater::platform
