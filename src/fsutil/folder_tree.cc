#include "fsutil/folder_tree.h"

#include "common/failures.h"
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

void CopyTree(platform::FileSystem& files, platform::Platform& platform,
              const std::string& source_folder, const std::string& target_folder,
              std::vector<std::string>& not_copied) {
  const std::string source = IncludeTrailingDelimiter(source_folder);
  const std::string target = IncludeTrailingDelimiter(target_folder);
  if (!files.FolderExists(source)) throw UpdateFailure("Папка " + source + " не существует!");
  if (!platform::CreateFolderWithParents(files, target)) {
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
  platform::FileSystem& files = platform.files;
  const std::string base = platform::ExcludeTrailingDelimiter(folder);
  for (const FolderEntry& entry : ListExistingFolder(files, IncludeTrailingDelimiter(folder))) {
    const std::string path = base + platform::PathDelimiter() + entry.name;
    if (IsSubfolder(entry)) {
      DeleteFolderTree(platform, path);
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
  (void)files.RemoveFolder(folder);
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
  platform::FileSystem& files = platform.files;
  // A target that is not there has no attributes to clear.
  if (auto attributes = files.GetAttributes(target)) {
    (void)files.SetAttributes(target, *attributes & ~uint32_t{kAttrReadOnly | kAttrHidden});
  }
  return files.CopyWholeFile(source, target).ok();
}

}  // namespace updater
