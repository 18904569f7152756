// Dynamic libraries on Linux, found the way Windows finds a bare file name:
// the folder of the running executable first.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "platform/name_case.h"
#include "platform/paths.h"
#include "platform/posix/handles.h"
#include "platform/posix/posix_platform.h"

namespace updater::platform {
namespace {

class PosixLibrary final : public Library {
 public:
  explicit PosixLibrary(UniqueLibrary handle) : handle_(std::move(handle)) {}

  void* FindSymbol(const std::string& name) override { return dlsym(handle_.get(), name.c_str()); }

 private:
  UniqueLibrary handle_;
};

// Windows library names that have a system library standing in for them on
// Linux, used when no file of that name lies next to the executable.
const char* StandIn(const std::string& file_name) {
  if (NamesEqualIgnoringCase(file_name, "fbclient.dll")) return "libfbclient.so.2";
  return nullptr;
}

Result<std::unique_ptr<Library>> Open(const std::string& path, const std::string& name) {
  dlerror();
  UniqueLibrary handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!handle) {
    const char* reason = dlerror();
    return SystemError{"dlopen", name, 0, reason != nullptr ? reason : "cannot be loaded"};
  }
  return std::unique_ptr<Library>(std::make_unique<PosixLibrary>(std::move(handle)));
}

}  // namespace

std::string ExecutableFolder() {
  std::vector<char> buffer(PATH_MAX);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return ".";
  return SplitPath(std::string_view(buffer.data(), static_cast<size_t>(length))).folder;
}

Result<std::unique_ptr<Library>> PosixLibraries::Load(const std::string& file_name) {
  if (file_name.find('/') != std::string::npos) return Open(file_name, file_name);
  const std::string beside = ResolveNameCase(ExecutableFolder() + "/" + file_name);
  if (access(beside.c_str(), F_OK) == 0) return Open(beside, file_name);
  if (const char* stand_in = StandIn(file_name)) return Open(stand_in, file_name);
  return Open(file_name, file_name);
}

}  // namespace updater::platform
