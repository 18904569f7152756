#include "temp_folder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

namespace updater::testing {

std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("updater-test-" + std::to_string(ticks) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(folder);
  path_ = Utf8(std::filesystem::canonical(folder));
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only files would stop remove_all on Windows.
  for (auto it = std::filesystem::recursive_directory_iterator(FsPath(path_), ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(FsPath(path_), ignored);
}

std::string TempFolder::Path(const std::string& relative) const {
  return Utf8((FsPath(path_) / FsPath(relative)).make_preferred());
}

std::string TempFolder::MakeFolder(const std::string& relative) const {
  const std::string full = Path(relative);
  std::filesystem::create_directories(FsPath(full));
  return full;
}

std::string TempFolder::MakeFile(const std::string& relative, const std::string& bytes) const {
  const std::string full = Path(relative);
  WriteBytes(full, bytes);
  return full;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(FsPath(path).parent_path());
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace updater::testing
