// Files read and written piece by piece, on Windows.
#include <algorithm>

#include "platform/file_streams.h"
#include "platform/win32/win32_platform.h"

namespace updater::platform {
namespace {

constexpr size_t kWriteBufferSize = 256 * 1024;
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

class Win32OutputFile final : public OutputFile {
 public:
  Win32OutputFile(HANDLE handle, std::string path, uint64_t position)
      : handle_(handle), path_(std::move(path)), position_(position) {
    buffer_.reserve(kWriteBufferSize);
  }
  ~Win32OutputFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) (void)Close();
  }
  Win32OutputFile(const Win32OutputFile&) = delete;
  Win32OutputFile& operator=(const Win32OutputFile&) = delete;

  Status Write(std::string_view bytes) override {
    if (handle_ == INVALID_HANDLE_VALUE) {
      return Win32Error("WriteFile", path_, ERROR_INVALID_HANDLE);
    }
    position_ += bytes.size();
    if (buffer_.size() + bytes.size() <= kWriteBufferSize) {
      buffer_.append(bytes);
      return Status::Ok();
    }
    Status flushed = Flush();
    if (!flushed) return flushed;
    if (bytes.size() < kWriteBufferSize) {
      buffer_.append(bytes);
      return Status::Ok();
    }
    return WriteAll(bytes);
  }

  uint64_t Position() const override { return position_; }

  Status Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return Status::Ok();
    Status flushed = Flush();
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle) && flushed) return LastError("CloseHandle", path_);
    return flushed;
  }

 private:
  Status Flush() {
    Status written = WriteAll(buffer_);
    buffer_.clear();
    return written;
  }

  Status WriteAll(std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kMaxChunk));
      DWORD written = 0;
      if (!::WriteFile(handle_, bytes.data() + done, chunk, &written, nullptr)) {
        return LastError("WriteFile", path_);
      }
      done += written;
    }
    return Status::Ok();
  }

  HANDLE handle_;
  std::string path_;
  uint64_t position_;
  std::string buffer_;
};

}  // namespace

Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) {
  const HANDLE handle =
      CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError("CreateFileW", path);
  return std::unique_ptr<InputFile>(std::make_unique<Win32InputFile>(handle, path));
}

Result<std::unique_ptr<OutputFile>> OpenOutputFile(const std::string& path, bool append) {
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
