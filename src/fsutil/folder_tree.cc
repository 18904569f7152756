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

// True when `folder` is itself a link or junction (a part folder the
// customer moved to another disk), as its parent's listing marks it. A
// folder whose parent cannot be listed counts as none.
bool IsLinkedFolder(platform::FileSystem& files, const std::string& folder) {
  const platform::PathParts parts = platform::SplitPath(platform::ExcludeTrailingDelimiter(folder));
  const std::string& name = parts.name;
  // Without a delimiter the folder lies in the current one.
  const std::string parent = parts.folder.empty() ? "." : parts.folder;
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

// FileSystem::FlushToDisk, or the failure naming `path`.
void FlushOrFail(platform::FileSystem& files, const std::string& path) {
  if (platform::Status flushed = files.FlushToDisk(path); !flushed) {
    throw UpdateFailure("Не удалось записать на диск " + path + "!\r" + flushed.error().Describe());
  }
}

void FlushTree(platform::FileSystem& files, const std::string& folder) {
  const std::string base = IncludeTrailingDelimiter(folder);
  for (const FolderEntry& entry : ListExistingFolder(files, base)) {
    if (entry.name.empty() || entry.name == "." || entry.name == ".." || entry.is_link) continue;
    if ((entry.attributes & kAttrDirectory) != 0) {
      FlushTree(files, base + entry.name);
    } else {
      FlushOrFail(files, base + entry.name);
    }
  }
  // The folder's own entries last, once the files they name are written.
  FlushOrFail(files, base);
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

void FlushFolderTree(platform::Platform& platform, const std::string& folder) {
  FlushTree(platform.files, folder);
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
