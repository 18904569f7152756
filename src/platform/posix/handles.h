// The owners of the Linux build's handles (unique_handle.h): file
// descriptors, folder streams, stdio streams and loaded libraries. Private
// to platform/posix.
#pragma once

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/posix/posix_platform.h"
#include "platform/unique_handle.h"

namespace updater::platform {

struct FdTraits {
  using Handle = int;
  static Handle Invalid() { return -1; }
  static bool Valid(Handle fd) { return fd >= 0; }
  static bool Close(Handle fd, SystemError* error, std::string_view path) {
    // Linux releases the descriptor also when close fails (EINTR included):
    // it is never closed twice.
    if (close(fd) == 0) return true;
    if (error != nullptr) *error = ErrnoError("close", std::string(path), errno);
    return false;
  }
};
using UniqueFd = UniqueHandle<FdTraits>;

struct DirTraits {
  using Handle = DIR*;
  static Handle Invalid() { return nullptr; }
  static bool Valid(Handle dir) { return dir != nullptr; }
  static bool Close(Handle dir, SystemError* error, std::string_view path) {
    if (closedir(dir) == 0) return true;
    if (error != nullptr) *error = ErrnoError("closedir", std::string(path), errno);
    return false;
  }
};
using UniqueDir = UniqueHandle<DirTraits>;

struct StdioTraits {
  using Handle = std::FILE*;
  static Handle Invalid() { return nullptr; }
  static bool Valid(Handle file) { return file != nullptr; }
  static bool Close(Handle file, SystemError* error, std::string_view path) {
    if (std::fclose(file) == 0) return true;
    if (error != nullptr) *error = ErrnoError("fclose", std::string(path), errno);
    return false;
  }
};
using UniqueStdioFile = UniqueHandle<StdioTraits>;

struct LibraryTraits {
  using Handle = void*;
  static Handle Invalid() { return nullptr; }
  static bool Valid(Handle library) { return library != nullptr; }
  static bool Close(Handle library, SystemError* error, std::string_view path) {
    if (dlclose(library) == 0) return true;
    if (error != nullptr) {
      const char* text = dlerror();
      *error = SystemError{"dlclose", std::string(path), 0, text != nullptr ? text : ""};
    }
    return false;
  }
};
using UniqueLibrary = UniqueHandle<LibraryTraits>;

}  // namespace updater::platform
