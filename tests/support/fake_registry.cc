#include "fake_registry.h"

#include <algorithm>

#include "platform/name_case.h"

namespace updater::testing {
namespace {

std::string Normal(const std::string& path) {
  std::string out = path;
  while (!out.empty() && out.front() == '\\') out.erase(out.begin());
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

bool IsAtOrBelow(const std::string& key, const std::string& path) {
  if (path.empty()) return true;
  return key.size() >= path.size() &&
         platform::NamesEqualIgnoringCase(std::string_view(key).substr(0, path.size()), path) &&
         (key.size() == path.size() || key[path.size()] == '\\');
}

class FakeKey final : public platform::RegistryKey {
 public:
  using Values = std::vector<std::pair<std::string, std::variant<std::string, uint32_t>>>;
  explicit FakeKey(Values values) : values_(std::move(values)) {}

  std::optional<std::string> ReadString(const std::string& name) override {
    for (const auto& [value_name, value] : values_) {
      if (!platform::NamesEqualIgnoringCase(value_name, name)) continue;
      if (const auto* text = std::get_if<std::string>(&value)) return *text;
      return std::nullopt;
    }
    return std::nullopt;
  }

  std::optional<uint32_t> ReadDword(const std::string& name) override {
    for (const auto& [value_name, value] : values_) {
      if (!platform::NamesEqualIgnoringCase(value_name, name)) continue;
      if (const auto* number = std::get_if<uint32_t>(&value)) return *number;
      return std::nullopt;
    }
    return std::nullopt;
  }

 private:
  Values values_;
};

}  // namespace

FakeRegistry::Key* FakeRegistry::Find(const std::string& key) {
  const std::string path = Normal(key);
  for (Key& entry : keys_) {
    if (platform::NamesEqualIgnoringCase(entry.path, path)) return &entry;
  }
  return nullptr;
}

FakeRegistry::Key& FakeRegistry::Ensure(const std::string& key) {
  if (Key* found = Find(key)) return *found;
  keys_.push_back(Key{Normal(key), {}, false});
  return keys_.back();
}

void FakeRegistry::AddKey(const std::string& key) { Ensure(key); }

void FakeRegistry::SetString(const std::string& key, const std::string& name,
                             const std::string& value) {
  auto& values = Ensure(key).values;
  std::erase_if(values, [&](const auto& v) { return platform::NamesEqualIgnoringCase(v.first, name); });
  values.emplace_back(name, value);
}

void FakeRegistry::SetDword(const std::string& key, const std::string& name, uint32_t value) {
  auto& values = Ensure(key).values;
  std::erase_if(values, [&](const auto& v) { return platform::NamesEqualIgnoringCase(v.first, name); });
  values.emplace_back(name, value);
}

void FakeRegistry::RemoveKey(const std::string& key) {
  const std::string path = Normal(key);
  std::erase_if(keys_, [&](const Key& entry) { return IsAtOrBelow(entry.path, path); });
}

void FakeRegistry::DenyKey(const std::string& key) { Ensure(key).denied = true; }

bool FakeRegistry::KeyExists(const std::string& key_path) {
  const std::string path = Normal(key_path);
  return std::any_of(keys_.begin(), keys_.end(),
                     [&](const Key& entry) { return IsAtOrBelow(entry.path, path); });
}

platform::Result<std::unique_ptr<platform::RegistryKey>> FakeRegistry::OpenKeyReadOnly(
    const std::string& key_path) {
  if (!KeyExists(key_path)) {
    return platform::SystemError{"RegOpenKeyEx", key_path, 2,
                                 "The system cannot find the file specified."};
  }
  const Key* key = Find(key_path);
  if (key != nullptr && key->denied) {
    return platform::SystemError{"RegOpenKeyEx", key_path, 5, "Access is denied."};
  }
  return std::unique_ptr<platform::RegistryKey>(
      std::make_unique<FakeKey>(key != nullptr ? key->values : FakeKey::Values{}));
}

}  // namespace updater::testing
