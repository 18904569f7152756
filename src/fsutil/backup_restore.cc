#include "fsutil/backup_restore.h"

#include "fsutil/folder_tree.h"
#include "platform/paths.h"

namespace updater {

std::string ReplaceAll(std::string text, const std::string& old_text, const std::string& new_text) {
  if (old_text.empty()) return text;
  const bool endless = new_text.find(old_text) != std::string::npos;
  size_t position = text.find(old_text);
  while (position != std::string::npos) {
    text.replace(position, old_text.size(), new_text);
    // Searching again from the start finds nothing before this point that
    // was not there already; only an occurrence overlapping the
    // replacement can be new.
    const size_t resume =
        endless ? position + new_text.size()
                : (position >= old_text.size() - 1 ? position - (old_text.size() - 1) : 0);
    position = text.find(old_text, resume);
  }
  return text;
}

namespace {

// The characters a backup entry's name encodes, with their codes.
struct Encoded {
  const char* plain;
  const char* code;
};
constexpr Encoded kBackslash{"\\", "{5C}"};
constexpr Encoded kColon{":", "{3A}"};
constexpr Encoded kSlash{"/", "{2F}"};

bool DelimiterIsSlash() { return platform::PathDelimiter() == '/'; }

}  // namespace

std::string EncodeBackupName(const std::string& path) {
  std::string name =
      ReplaceAll(ReplaceAll(path, kBackslash.plain, kBackslash.code), kColon.plain, kColon.code);
  return DelimiterIsSlash() ? ReplaceAll(name, kSlash.plain, kSlash.code) : name;
}

std::string DecodeBackupName(const std::string& name) {
  std::string path =
      ReplaceAll(ReplaceAll(name, kBackslash.code, kBackslash.plain), kColon.code, kColon.plain);
  return DelimiterIsSlash() ? ReplaceAll(path, kSlash.code, kSlash.plain) : path;
}

std::vector<std::string> RestoreEncodedFiles(platform::Platform& platform,
                                             const std::string& folder) {
  std::vector<std::string> failures;
  auto listing = platform.files.ListFolder(folder);
  if (!listing) {
    // A backup folder that is not there holds nothing to restore; one that
    // cannot be read must not pass for a complete restore.
    if (platform.files.FolderExists(folder)) {
      failures.push_back("Не удалось восстановить файлы из папки " + folder + ": " +
                         listing.error().Describe());
    }
    return failures;
  }

  constexpr uint32_t kNotAnEntry = platform::kAttrDirectory | platform::kAttrHidden |
                                   platform::kAttrSystem | platform::kAttrVolumeLabel;
  std::vector<const platform::FolderEntry*> entries;
  for (const platform::FolderEntry& entry : *listing) {
    if ((entry.attributes & kNotAnEntry) == 0) entries.push_back(&entry);
  }

  const std::string marker = DeletionMarker;
  for (const platform::FolderEntry* entry : entries) {
    const std::string& name = entry->name;
    const std::string decoded = DecodeBackupName(name);
    if (decoded.find(marker) != std::string::npos) {
      // An added file that is already gone, or cannot go, is not a failed
      // restore.
      (void)platform.files.RemoveFile(decoded.substr(marker.size()));
      continue;
    }
    const std::string entry_path = folder + platform::PathDelimiter() + name;
    // A link is not followed: what it points to is no saved copy of ours.
    if (entry->is_link || !CopyFileOverwrite(platform, entry_path, decoded)) {
      failures.push_back("Не удалось восстановить файл: " + decoded);
    }
  }
  return failures;
}

}  // namespace updater
