// A registry that lives in memory: keys with string and DWORD values, and
// keys that exist but refuse to open, as a locked-down key does on Windows.
// Key paths and value names compare without regard to case; a leading "\" of
// a key path is ignored. Keys opened from it read its current state.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>

#include "platform/registry.h"

namespace updater::testing {

class FakeRegistry final : public platform::Registry {
 public:
  // Creates the key when it is missing (a key alone, no parents).
  void AddKey(const std::string& key_path);
  void SetString(const std::string& key_path, const std::string& name, const std::string& value);
  void SetDword(const std::string& key_path, const std::string& name, uint32_t value);
  // The key exists (it is created when missing) but opening it is refused.
  void DenyAccess(const std::string& key_path);

  bool KeyExists(const std::string& key_path) override;
  platform::Result<std::unique_ptr<platform::RegistryKey>> OpenKeyReadOnly(
      const std::string& key_path) override;

  using Value = std::variant<std::string, uint32_t>;
  struct Key {
    std::string path;
    bool denied = false;
    std::map<std::string, Value> values;  // keyed by the upper-cased name
  };

 private:
  Key* Find(const std::string& key_path);
  Key& FindOrAdd(const std::string& key_path);

  std::map<std::string, Key> keys_;  // keyed by the upper-cased path
};

}  // namespace updater::testing
