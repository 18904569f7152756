#include "support/fake_registry.h"

#include "platform/strings.h"

namespace updater::testing {
namespace {

// Registry names are case-insensitive; the tests' names are ASCII or given
// in one spelling, so ASCII upper case is the key of the maps.
std::string Fold(const std::string& name) {
  return platform::AsciiUpper(!name.empty() && name[0] == '\\' ? name.substr(1) : name);
}

class FakeKey final : public platform::RegistryKey {
 public:
  explicit FakeKey(const FakeRegistry::Key& key) : key_(key) {}

  std::optional<std::string> ReadString(const std::string& name) override {
    const FakeRegistry::Value* value = Find(name);
    if (value == nullptr || !std::holds_alternative<std::string>(*value)) return std::nullopt;
    return std::get<std::string>(*value);
  }

  std::optional<uint32_t> ReadDword(const std::string& name) override {
    const FakeRegistry::Value* value = Find(name);
    if (value == nullptr || !std::holds_alternative<uint32_t>(*value)) return std::nullopt;
    return std::get<uint32_t>(*value);
  }

 private:
  const FakeRegistry::Value* Find(const std::string& name) const {
    const auto it = key_.values.find(Fold(name));
    return it == key_.values.end() ? nullptr : &it->second;
  }
  const FakeRegistry::Key& key_;
};

}  // namespace

FakeRegistry::Key* FakeRegistry::Find(const std::string& key_path) {
  const auto it = keys_.find(Fold(key_path));
  return it == keys_.end() ? nullptr : &it->second;
}

FakeRegistry::Key& FakeRegistry::FindOrAdd(const std::string& key_path) {
  Key& key = keys_[Fold(key_path)];
  if (key.path.empty()) key.path = key_path;
  return key;
}

void FakeRegistry::AddKey(const std::string& key_path) { FindOrAdd(key_path); }

void FakeRegistry::SetString(const std::string& key_path, const std::string& name,
                             const std::string& value) {
  FindOrAdd(key_path).values[Fold(name)] = value;
}

void FakeRegistry::SetDword(const std::string& key_path, const std::string& name, uint32_t value) {
  FindOrAdd(key_path).values[Fold(name)] = value;
}

void FakeRegistry::DenyAccess(const std::string& key_path) { FindOrAdd(key_path).denied = true; }

bool FakeRegistry::KeyExists(const std::string& key_path) { return Find(key_path) != nullptr; }

platform::Result<std::unique_ptr<platform::RegistryKey>> FakeRegistry::OpenKeyReadOnly(
    const std::string& key_path) {
  const Key* key = Find(key_path);
  if (key == nullptr) {
    return platform::SystemError{"RegOpenKeyExW", key_path, 2,
                                 "The system cannot find the file specified."};
  }
  if (key->denied) return platform::SystemError{"RegOpenKeyExW", key_path, 5, "Access is denied."};
  return std::unique_ptr<platform::RegistryKey>(std::make_unique<FakeKey>(*key));
}

}  // namespace updater::testing
