#include "fsutil/folder_tree.h"

#include "common/failures.h"
#include "platform/name_case.h"
#include "platform/paths.h"

namespace updater {
namespace {

using platform::FolderEntry;
using platform::IncludeTrailingDelimiter;
using platform::kAttrArchive;
using platform::kAttrDirectory;
using platform::kAttrHidden;
using platform::kAttrReadOnly;

bool IsSubfolder(const FolderEntry& entry) {
  return (entry.attributes & kAttrDirectory) != 0 && !entry.is_link && !entry.name.empty() &&
         entry.name != "." && entry.name != "..";
}

// The entries of an existing folder. A listing that fails for a folder that
// exists is not an empty folder: it is raised with the system's text.
std::vector<FolderEntry> ListExistingFolder(platform::FileSystem& files,
                                            const std::string& folder) {
  auto entries = files.ListFolder(folder);
  if (entries) return std::move(entries).value();
  if (!files.FolderExists(folder)) return {};
  throw UpdateFailure("Невозможно прочитать содержимое папки " + folder + "!\r" +
                      entries.error().Describe());
}

// The folder above `path` (which has no trailing delimiter), or empty at a
// root.
std::string ParentFolder(const std::string& path) {
  const size_t delimiter = path.rfind(platform::PathDelimiter());
  if (delimiter == std::string::npos) return {};
  return path.substr(0, delimiter);
}

// True when `folder` is itself a link or junction (a part folder the
// customer moved to another disk), as its parent's listing marks it. A
// folder whose parent cannot be listed counts as none.
bool IsLinkedFolder(platform::FileSystem& files, const std::string& folder) {
  const std::string path = platform::ExcludeTrailingDelimiter(folder);
  // Without a delimiter the name starts at 0 (npos + 1) and lies in the
  // current folder; "/a" or "\a" lies in the root.
  const size_t name_start = path.rfind(platform::PathDelimiter()) + 1;
  const std::string name = path.substr(name_start);
  std::string parent = ParentFolder(path);
  if (parent.empty()) parent = name_start == 0 ? "." : path.substr(0, 1);
  if (name.empty()) return false;
  auto entries = files.ListFolder(IncludeTrailingDelimiter(parent));
  if (!entries) return false;
  for (const FolderEntry& entry : *entries) {
    if (entry.name == name) return entry.is_link;
  }
  // The file system matches names without regard to case, as Windows does.
  for (const FolderEntry& entry : *entries) {
    if (platform::NamesEqualIgnoringCase(entry.name, name)) return entry.is_link;
  }
  return false;
}

// Empties `folder` depth first (see DeleteFolderTree), then removes it
// unless `keep_folder`.
void DeleteTree(platform::FileSystem& files, const std::string& folder, bool keep_folder) {
  const std::string base = platform::ExcludeTrailingDelimiter(folder);
  for (const FolderEntry& entry : ListExistingFolder(files, IncludeTrailingDelimiter(folder))) {
    const std::string path = base + platform::PathDelimiter() + entry.name;
    if (IsSubfolder(entry)) {
      DeleteTree(files, path, false);
      continue;
    }
    if (entry.name.empty() || entry.name == "." || entry.name == "..") continue;
    if (!entry.is_link) {
      // Should the attributes not change, the deletion below tells.
      (void)files.SetAttributes(path, (entry.attributes | kAttrArchive) & ~uint32_t{kAttrReadOnly});
    }
    if (!files.RemoveFile(path)) throw UpdateFailure("Невозможно удалить файл " + path + "!");
  }
  // A folder that stays (in use, read-only) is not reported: the callers
  // only need its contents gone.
  if (!keep_folder) (void)files.RemoveFolder(folder);
}

// Creates `folder` and every missing folder above it, from the top down.
bool ForceFolders(platform::FileSystem& files, const std::string& folder) {
  if (folder.empty() || files.FolderExists(folder)) return true;
  const std::string parent = ParentFolder(folder);
  // A root ("C:", "\\server\share", "/") exists or cannot be made.
  if (parent == folder || (!parent.empty() && !ForceFolders(files, parent))) return false;
  return files.CreateFolder(folder).ok();
}

void CopyTree(platform::FileSystem& files, platform::Platform& platform,
              const std::string& source_folder, const std::string& target_folder,
              std::vector<std::string>& not_copied) {
  const std::string source = IncludeTrailingDelimiter(source_folder);
  const std::string target = IncludeTrailingDelimiter(target_folder);
  if (!files.FolderExists(source)) throw UpdateFailure("Папка " + source + " не существует!");
  if (!ForceFolders(files, platform::ExcludeTrailingDelimiter(target))) {
    throw UpdateFailure("Невозможно создать папку " + target + "!");
  }
  for (const FolderEntry& entry : ListExistingFolder(files, source)) {
    if (entry.name.empty() || entry.name == "." || entry.name == "..") continue;
    if (entry.is_link) {
      not_copied.push_back(source + entry.name);
    } else if ((entry.attributes & kAttrDirectory) != 0) {
      CopyTree(files, platform, source + entry.name, target + entry.name, not_copied);
    } else if (!CopyFileOverwrite(platform, source + entry.name, target + entry.name)) {
      not_copied.push_back(source + entry.name);
    }
  }
}

}  // namespace

void DeleteFolderTree(platform::Platform& platform, const std::string& folder) {
  // A linked folder is emptied where it points and the link stays: removing
  // it would let the restore put a plain folder in its place.
  DeleteTree(platform.files, folder, IsLinkedFolder(platform.files, folder));
}

void CreateFolder(platform::Platform& platform, const std::string& folder) {
  if (!platform.files.CreateFolder(folder)) {
    throw UpdateFailure("Невозможно создать папку " + folder + "!");
  }
}

std::vector<std::string> CopyFolderTree(platform::Platform& platform, const std::string& source,
                                        const std::string& target) {
  std::vector<std::string> not_copied;
  CopyTree(platform.files, platform, source, target, not_copied);
  return not_copied;
}

bool CopyFileOverwrite(platform::Platform& platform, const std::string& source,
                       const std::string& target) {
  return CopyFileOverwriteStatus(platform, source, target).ok();
}

platform::Status CopyFileOverwriteStatus(platform::Platform& platform, const std::string& source,
                                         const std::string& target) {
  platform::FileSystem& files = platform.files;
  // A target that is not there has no attributes to clear.
  if (auto attributes = files.GetAttributes(target)) {
    (void)files.SetAttributes(target, *attributes & ~uint32_t{kAttrReadOnly | kAttrHidden});
  }
  return files.CopyWholeFile(source, target);
}

}  // namespace updater
