// The registry of the Linux build: a .reg file (reg_file.h), read afresh on
// every call so that a file written by a test harness or an administrator
// counts at once.
#include <cerrno>
#include <cstdlib>

#include "platform/posix/posix_platform.h"

namespace updater::platform {
namespace {

constexpr int64_t kErrorFileNotFound = 2;

class PosixRegistryKey final : public RegistryKey {
 public:
  explicit PosixRegistryKey(RegKeyData data) : data_(std::move(data)) {}

  std::optional<std::string> ReadString(const std::string& name) override {
    const RegValue* value = data_.Find(name);
    if (value == nullptr ||
        (value->kind != RegValue::Kind::kString && value->kind != RegValue::Kind::kExpandString)) {
      return std::nullopt;
    }
    return value->text;
  }

  std::optional<uint32_t> ReadDword(const std::string& name) override {
    const RegValue* value = data_.Find(name);
    if (value == nullptr || value->kind != RegValue::Kind::kDword) return std::nullopt;
    return value->dword;
  }

 private:
  RegKeyData data_;
};

}  // namespace

std::string RegistryFileFromEnvironment() {
  const char* file = std::getenv("UPDATER_REGISTRY_FILE");
  return file != nullptr && *file != '\0' ? file : "/etc/updater-marlix/registry.reg";
}

PosixRegistry::PosixRegistry(std::string file) : file_(std::move(file)) {}

Result<RegFile> PosixRegistry::Load() {
  PosixFileSystem files;
  auto bytes = files.ReadFile(file_);
  if (!bytes) {
    // No file: a registry without keys.
    if (bytes.error().code == ENOENT) return RegFile::Parse("REGEDIT4\n", file_);
    return bytes.error();
  }
  return RegFile::Parse(*bytes, file_);
}

bool PosixRegistry::KeyExists(const std::string& key_path) {
  auto registry = Load();
  return registry && registry->KeyExists(key_path);
}

Result<std::unique_ptr<RegistryKey>> PosixRegistry::OpenKeyReadOnly(const std::string& key_path) {
  auto registry = Load();
  if (!registry) return registry.error();
  if (const RegKeyData* key = registry->FindKey(key_path)) {
    return std::unique_ptr<RegistryKey>(std::make_unique<PosixRegistryKey>(*key));
  }
  if (registry->KeyExists(key_path)) {
    // A key the file lists only as the parent of others: it has no values.
    return std::unique_ptr<RegistryKey>(
        std::make_unique<PosixRegistryKey>(RegKeyData{key_path, {}}));
  }
  return SystemError{"RegOpenKeyEx", key_path, kErrorFileNotFound,
                     "the key is not in the registry file " + file_};
}

}  // namespace updater::platform
