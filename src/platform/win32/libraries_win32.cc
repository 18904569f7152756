// Dynamic libraries on Windows: LoadLibrary's own search, which looks in the
// folder of the running executable first.
#include "platform/win32/win32_platform.h"

namespace updater::platform {
namespace {

class Win32Library final : public Library {
 public:
  explicit Win32Library(HMODULE module) : module_(module) {}
  ~Win32Library() override { FreeLibrary(module_); }
  Win32Library(const Win32Library&) = delete;
  Win32Library& operator=(const Win32Library&) = delete;

  void* FindSymbol(const std::string& name) override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name.c_str()));
  }

 private:
  HMODULE module_;
};

}  // namespace

Result<std::unique_ptr<Library>> Win32Libraries::Load(const std::string& file_name) {
  // No "insert the disk" boxes for a library on an empty removable drive.
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryW(Widen(file_name).c_str());
  const DWORD error = module == nullptr ? GetLastError() : 0;
  SetErrorMode(previous);
  if (module == nullptr) return Win32Error("LoadLibraryW", file_name, error);
  return std::unique_ptr<Library>(std::make_unique<Win32Library>(module));
}

}  // namespace updater::platform
