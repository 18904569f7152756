// Dynamic libraries on Windows: LoadLibrary's own search, which looks in the
// folder of the running executable first.
#include "platform/win32/handles.h"

namespace updater::platform {
namespace {

class Win32Library final : public Library {
 public:
  explicit Win32Library(UniqueModule module) : module_(std::move(module)) {}

  void* FindSymbol(const std::string& name) override {
    return reinterpret_cast<void*>(GetProcAddress(module_.get(), name.c_str()));
  }

 private:
  UniqueModule module_;
};

}  // namespace

Result<std::unique_ptr<Library>> Win32Libraries::Load(const std::string& file_name) {
  // No "insert the disk" boxes for a library on an empty removable drive.
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  UniqueModule module(LoadLibraryW(Widen(file_name).c_str()));
  const DWORD error = !module ? GetLastError() : 0;
  SetErrorMode(previous);
  if (!module) return Win32Error("LoadLibraryW", file_name, error);
  return std::unique_ptr<Library>(std::make_unique<Win32Library>(std::move(module)));
}

}  // namespace updater::platform
