// The registry as a map: keys and their string and dword values, names
// matched without regard to case. A key's parents exist as on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/registry.h"

namespace updater::testing {

class FakeRegistry final : public platform::Registry {
 public:
  // Adds the key (and so its parents) without values.
  void AddKey(const std::string& key);
  // Sets a value, adding its key where missing.
  void SetString(const std::string& key, const std::string& name, const std::string& value);
  void SetDword(const std::string& key, const std::string& name, uint32_t value);
  // Removes the key with its subkeys.
  void RemoveKey(const std::string& key);
  // The key exists but refuses to open for reading (access denied).
  void DenyKey(const std::string& key);

  bool KeyExists(const std::string& key_path) override;
  platform::Result<std::unique_ptr<platform::RegistryKey>> OpenKeyReadOnly(
      const std::string& key_path) override;

 private:
  using Value = std::variant<std::string, uint32_t>;
  struct Key {
    std::string path;
    std::vector<std::pair<std::string, Value>> values;
    bool denied = false;
  };
  Key& Ensure(const std::string& key);
  Key* Find(const std::string& key);
  std::vector<Key> keys_;
};

}  // namespace updater::testing
