#include "platform/buffered_output.h"

namespace updater::platform {
namespace {

constexpr size_t kWriteBufferSize = 256 * 1024;

}  // namespace

BufferedOutputFile::BufferedOutputFile(std::string path, uint64_t position)
    : path_(std::move(path)), position_(position) {
  buffer_.reserve(kWriteBufferSize);
}

Status BufferedOutputFile::Write(std::string_view bytes) {
  if (closed_) return SystemError{"write", path_, 0, "the file is already closed"};
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

Status BufferedOutputFile::Close() {
  if (closed_) return Status::Ok();
  closed_ = true;
  Status flushed = Flush();
  Status closed = CloseFile();
  return flushed ? closed : flushed;
}

Status BufferedOutputFile::Flush() {
  Status written = WriteAll(buffer_);
  buffer_.clear();
  return written;
}

}  // namespace updater::platform
