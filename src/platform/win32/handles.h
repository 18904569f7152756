// The owners of the Windows build's handles (unique_handle.h): kernel
// handles, registry keys, service control handles, loaded modules and
// folder searches. Private to platform/win32.
#pragma once

#include <string>
#include <string_view>

#include "platform/unique_handle.h"
#include "platform/win32/win32_platform.h"

namespace updater::platform {

// Files, processes, threads, tokens, snapshots: the calls that open them
// report failure with INVALID_HANDLE_VALUE or with a null handle, so both
// count as no handle.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool Valid(Handle handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static bool Close(Handle handle, SystemError* error, std::string_view path) {
    if (CloseHandle(handle)) return true;
    if (error != nullptr) *error = LastError("CloseHandle", std::string(path));
    return false;
  }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

struct KeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static bool Valid(Handle key) { return key != nullptr; }
  static bool Close(Handle key, SystemError* error, std::string_view path) {
    // The registry calls return their error instead of setting the last one.
    const LONG result = RegCloseKey(key);
    if (result == ERROR_SUCCESS) return true;
    if (error != nullptr) {
      *error = Win32Error("RegCloseKey", std::string(path), static_cast<DWORD>(result));
    }
    return false;
  }
};
using UniqueKey = UniqueHandle<KeyTraits>;

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool Valid(Handle handle) { return handle != nullptr; }
  static bool Close(Handle handle, SystemError* error, std::string_view path) {
    if (CloseServiceHandle(handle)) return true;
    if (error != nullptr) *error = LastError("CloseServiceHandle", std::string(path));
    return false;
  }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static bool Valid(Handle module) { return module != nullptr; }
  static bool Close(Handle module, SystemError* error, std::string_view path) {
    if (FreeLibrary(module)) return true;
    if (error != nullptr) *error = LastError("FreeLibrary", std::string(path));
    return false;
  }
};
using UniqueModule = UniqueHandle<ModuleTraits>;

// The search of FindFirstFileExW, ended by FindClose.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Valid(Handle find) { return find != INVALID_HANDLE_VALUE && find != nullptr; }
  static bool Close(Handle find, SystemError* error, std::string_view path) {
    if (FindClose(find)) return true;
    if (error != nullptr) *error = LastError("FindClose", std::string(path));
    return false;
  }
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace updater::platform
