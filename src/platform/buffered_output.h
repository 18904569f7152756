// The part of an OutputFile that both systems share: writes are gathered in
// a buffer and handed to the system in large pieces.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_streams.h"

namespace updater::platform {

class BufferedOutputFile : public OutputFile {
 public:
  BufferedOutputFile(std::string path, uint64_t position);

  Status Write(std::string_view bytes) final;
  uint64_t Position() const final { return position_; }
  Status Close() final;

 protected:
  const std::string& path() const { return path_; }
  // Writes all of `bytes` at the file's end. The system's part.
  virtual Status WriteAll(std::string_view bytes) = 0;
  // Closes the file. The system's part.
  virtual Status CloseFile() = 0;

 private:
  Status Flush();

  std::string path_;
  uint64_t position_;
  std::string buffer_;
  bool closed_ = false;
};

}  // namespace updater::platform
