// A real folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace updater::testing {

// std::filesystem paths from and to the UTF-8 texts the updater uses.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8(const std::filesystem::path& path);

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's full path, without a trailing delimiter.
  const std::string& path() const { return path_; }

  // `relative` below the folder, with the platform's delimiters.
  std::string Path(const std::string& relative) const;

  // Creates the folder `relative` and its parents; returns its path.
  std::string MakeFolder(const std::string& relative) const;

  // Writes `bytes` to the file `relative`, creating its folders; returns its path.
  std::string MakeFile(const std::string& relative, const std::string& bytes = "") const;

 private:
  std::string path_;
};

// The bytes of a file, or "<missing>" when it cannot be read.
std::string ReadBytes(const std::string& path);

// Writes `bytes` to the file at `path`, creating its folders.
void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace updater::testing
