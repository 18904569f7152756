#include "platform/files.h"

#include "platform/paths.h"

namespace updater::platform {

Status CreateFolderWithParents(FileSystem& files, const std::string& folder) {
  const std::string path = ExcludeTrailingDelimiter(folder);
  if (path.empty() || files.FolderExists(path)) return Status::Ok();
  const std::string parent = SplitPath(path).folder;
  if (!parent.empty() && parent != path) {
    Status made = CreateFolderWithParents(files, parent);
    if (!made) return made;
  }
  Status created = files.CreateFolder(path);
  if (!created && files.FolderExists(path)) return Status::Ok();
  return created;
}

}  // namespace updater::platform
