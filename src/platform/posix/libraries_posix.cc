// Dynamic libraries on Linux, found the way Windows finds a bare file name:
// the folder of the running executable first.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "platform/name_case.h"
#include "platform/posix/posix_platform.h"

namespace updater::platform {
namespace {

class PosixLibrary final : public Library {
 public:
  explicit PosixLibrary(void* handle) : handle_(handle) {}
  ~PosixLibrary() override { dlclose(handle_); }
  PosixLibrary(const PosixLibrary&) = delete;
  PosixLibrary& operator=(const PosixLibrary&) = delete;

  void* FindSymbol(const std::string& name) override { return dlsym(handle_, name.c_str()); }

 private:
  void* handle_;
};

// Windows library names that have a system library standing in for them on
// Linux, used when no file of that name lies next to the executable.
const char* StandIn(const std::string& file_name) {
  if (NamesEqualIgnoringCase(file_name, "fbclient.dll")) return "libfbclient.so.2";
  return nullptr;
}

Result<std::unique_ptr<Library>> Open(const std::string& path, const std::string& name) {
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    return SystemError{"dlopen", name, 0, reason != nullptr ? reason : "cannot be loaded"};
  }
  return std::unique_ptr<Library>(std::make_unique<PosixLibrary>(handle));
}

}  // namespace

std::string ExecutableFolder() {
  std::vector<char> buffer(PATH_MAX);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return ".";
  std::string path(buffer.data(), static_cast<size_t>(length));
  return path.substr(0, path.rfind('/'));
}

Result<std::unique_ptr<Library>> PosixLibraries::Load(const std::string& file_name) {
  if (file_name.find('/') != std::string::npos) return Open(file_name, file_name);
  const std::string beside = ResolveNameCase(ExecutableFolder() + "/" + file_name);
  if (access(beside.c_str(), F_OK) == 0) return Open(beside, file_name);
  if (const char* stand_in = StandIn(file_name)) return Open(stand_in, file_name);
  return Open(file_name, file_name);
}

}  // namespace updater::platform
