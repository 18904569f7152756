// The registry on Windows, read only, under HKEY_LOCAL_MACHINE. The view is
// the build's own: the 32-bit release build reads the 32-bit view, as the
// 32-bit programs that registered the product's keys wrote them.
#include <vector>

#include "platform/win32/handles.h"

namespace updater::platform {
namespace {

std::wstring KeyPath(const std::string& path) {
  size_t start = 0;
  while (start < path.size() && path[start] == '\\') ++start;
  return Widen(path.substr(start));
}

class Win32RegistryKey final : public RegistryKey {
 public:
  explicit Win32RegistryKey(UniqueKey key) : key_(std::move(key)) {}

  std::optional<std::string> ReadString(const std::string& name) override {
    const std::wstring value_name = Widen(name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key_.get(), value_name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
      return std::nullopt;
    }
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD filled = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key_.get(), value_name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &filled) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    // A stored string need not end in a zero, and may end in several.
    std::wstring value(text.data(), filled / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return Narrow(value);
  }

  std::optional<uint32_t> ReadDword(const std::string& name) override {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key_.get(), Widen(name).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
      return std::nullopt;
    }
    return value;
  }

 private:
  UniqueKey key_;
};

}  // namespace

bool Win32Registry::KeyExists(const std::string& key_path) {
  HKEY key = nullptr;
  const LONG result =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath(key_path).c_str(), 0, KEY_READ, &key);
  const UniqueKey opened(result == ERROR_SUCCESS ? key : nullptr);
  return result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED;
}

Result<std::unique_ptr<RegistryKey>> Win32Registry::OpenKeyReadOnly(const std::string& key_path) {
  HKEY key = nullptr;
  const LONG result =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath(key_path).c_str(), 0, KEY_READ, &key);
  if (result != ERROR_SUCCESS) {
    return Win32Error("RegOpenKeyExW", key_path, static_cast<DWORD>(result));
  }
  return std::unique_ptr<RegistryKey>(std::make_unique<Win32RegistryKey>(UniqueKey(key)));
}

}  // namespace updater::platform
