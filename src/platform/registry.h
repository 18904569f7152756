// The registry, read only, under HKEY_LOCAL_MACHINE. Key paths are written as
// on Windows ("SYSTEM\CurrentControlSet\Services\Name"); a leading "\" is
// allowed. On Linux a .reg export file stands in for the registry.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/result.h"

namespace updater::platform {

// One key opened for reading; closed when destroyed.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  // The text of a string value (REG_SZ, or REG_EXPAND_SZ unexpanded); nullopt
  // when the value does not exist or is not a string.
  virtual std::optional<std::string> ReadString(const std::string& name) = 0;

  // A REG_DWORD value; nullopt when it does not exist or is of another type.
  virtual std::optional<uint32_t> ReadDword(const std::string& name) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // True when the key exists under HKEY_LOCAL_MACHINE (it may still refuse to
  // open for reading).
  virtual bool KeyExists(const std::string& key_path) = 0;

  // Opens the key for reading.
  virtual Result<std::unique_ptr<RegistryKey>> OpenKeyReadOnly(const std::string& key_path) = 0;
};

}  // namespace updater::platform
