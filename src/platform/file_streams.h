// Files read and written piece by piece, for data too large to hold whole:
// scripts of gigabytes, the blob files beside them, and the data scripts the
// script engine writes. FileSystem::OpenInputFile and OpenOutputFile
// (files.h) open them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace updater::platform {

class InputFile {
 public:
  virtual ~InputFile() = default;

  // Reads up to `size` bytes at the current position and moves past them.
  // Returns the number read; 0 only at the end of the file.
  virtual Result<size_t> Read(char* buffer, size_t size) = 0;

  // Reads up to `size` bytes at `offset` without moving the current
  // position. Returns the number read; fewer than asked only at the end.
  virtual Result<size_t> ReadAt(uint64_t offset, char* buffer, size_t size) = 0;

  // The size of the file in bytes.
  virtual Result<uint64_t> Size() = 0;
};

class OutputFile {
 public:
  // Closes the file if Close was not called; a failure then is lost, so
  // writers call Close to learn of it.
  virtual ~OutputFile() = default;

  // Appends `bytes`. Writes are buffered: a failure may show only in a later
  // Write or in Close.
  virtual Status Write(std::string_view bytes) = 0;

  // The number of bytes written so far (buffered ones included).
  virtual uint64_t Position() const = 0;

  // Writes what is buffered and closes the file.
  virtual Status Close() = 0;
};

}  // namespace updater::platform
