// Files and folders. Shaped after the Win32 file calls that the updater's
// algorithms are written against, so that each algorithm (attribute rules,
// enumeration order, merge copies) is written once above this interface.
//
// Paths are UTF-8 texts in the platform's own form ("C:\A\b.txt" on Windows,
// "/a/b.txt" on Linux) and are used as given: only FullPath expands a relative
// path. Names are matched as Windows matches them, without regard to case; on
// Linux an existing entry whose name differs only in case is the one used.
// The Linux build keeps Windows' attributes and refuses what Windows' locking
// rules refuse (docs/linux-stand-ins.md).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_streams.h"
#include "platform/result.h"

namespace updater::platform {

// File attribute bits as Windows defines them.
enum FileAttribute : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrVolumeLabel = 0x08,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
};

struct FolderEntry {
  std::string name;         // the entry's name, without its folder
  uint32_t attributes = 0;  // FileAttribute bits; kAttrDirectory for folders
  bool is_link = false;     // a symbolic link or junction (never followed)
};

// A call that met a file another process held for a moment (an antivirus
// scanner, the indexer), waited and tried again: one retry episode.
struct RetryEpisode {
  std::string call;        // the native call, e.g. "CopyFileW"
  std::string path;        // what it was about (the source of a copy or rename)
  int64_t code = 0;        // the native error that was retried, the last one seen
  int attempts = 0;        // calls made in all, the first one included
  uint32_t waited_ms = 0;  // time spent waiting between them
  bool succeeded = false;  // false: the holder stayed and the call failed after all
};

// Receives the retry episodes of a FileSystem (ReportRetriesTo).
class RetryObserver {
 public:
  virtual ~RetryObserver() = default;
  // Called once at the end of each episode, from inside the file call that
  // retried; must not throw.
  virtual void RetryEpisodeEnded(const RetryEpisode& episode) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // `path` expanded to a full path: a relative path is taken from the current
  // folder, "." and ".." parts are resolved by the text alone (links are not
  // followed) and a trailing delimiter is kept. Fails only when the current
  // folder cannot be read or the path is not a valid path text.
  virtual Result<std::string> FullPath(const std::string& path) = 0;

  // True when a folder exists at `path`.
  virtual bool FolderExists(const std::string& path) = 0;

  // True when a file (not a folder) exists at `path`.
  virtual bool FileExists(const std::string& path) = 0;

  // Every entry of `folder`, hidden and system entries included, in the order
  // the platform lists them; "." and ".." are left out. A folder that does not
  // exist fails.
  virtual Result<std::vector<FolderEntry>> ListFolder(const std::string& folder) = 0;

  // The FileAttribute bits of an existing file or folder.
  virtual Result<uint32_t> GetAttributes(const std::string& path) = 0;

  // Sets the read-only, hidden, system and archive bits of `path` to those of
  // `attributes`.
  virtual Status SetAttributes(const std::string& path, uint32_t attributes) = 0;

  // Deletes a file (DeleteFile semantics: fails for a read-only file and for a
  // file that another process holds open). A link is removed, not followed.
  virtual Status RemoveFile(const std::string& path) = 0;

  // Removes an empty folder (RemoveDirectory semantics: a link to a folder,
  // or a junction, is removed and what it points to stays).
  virtual Status RemoveFolder(const std::string& path) = 0;

  // Creates exactly one folder level; fails when it exists or its parent is
  // missing.
  virtual Status CreateFolder(const std::string& path) = 0;

  // Copies `source` onto `target`, replacing an existing target: contents,
  // attributes and last-write time, as CopyFile does. Fails when the target is
  // read-only or hidden, as CopyFile does.
  virtual Status CopyWholeFile(const std::string& source, const std::string& target) = 0;

  // Renames a file or folder (MoveFile semantics: fails when the target
  // exists, and for a folder while any process has a file open below it or
  // uses it as its current folder).
  virtual Status Rename(const std::string& from, const std::string& to) = 0;

  // Opens `path` for reading with no sharing (fails while any other process
  // holds the file open) and returns its size in bytes.
  virtual Result<uint64_t> ExclusiveFileSize(const std::string& path) = 0;

  // Creates `path` or empties an existing file, then writes `bytes` to it.
  virtual Status WriteFile(const std::string& path, const std::string& bytes) = 0;

  // Opens `path` for appending, creating it when it is missing (an existing
  // file is never emptied), writes `bytes` at its end and closes it again.
  // The folder must exist.
  virtual Status AppendToFile(const std::string& path, const std::string& bytes) = 0;

  // Writes what the system still holds of the file or folder at `path`
  // through to the disk, so that it survives a power loss: a file's contents
  // and size, a folder's entries (a file created, renamed or removed in it).
  // Returns when the disk has it (fsync; FlushFileBuffers, for which a
  // read-only file loses its read-only bit for a moment). Windows has no
  // call for a folder's entries: NTFS commits them in its own journal, so a
  // folder there succeeds once it is found to exist.
  virtual Status FlushToDisk(const std::string& path) = 0;

  // Reads the whole file.
  virtual Result<std::string> ReadFile(const std::string& path) = 0;

  // Opens an existing file to read it piece by piece (file_streams.h).
  // Other processes may read and write it meanwhile.
  virtual Result<std::unique_ptr<InputFile>> OpenInputFile(const std::string& path) = 0;

  // Creates the file, or empties an existing one, to write it piece by piece
  // (`append` false); or opens it to write at its end, creating it when
  // missing (`append` true). Other processes may read it meanwhile.
  virtual Result<std::unique_ptr<OutputFile>> OpenOutputFile(const std::string& path,
                                                             bool append) = 0;

  // From now on each retry episode of this file system is reported to
  // `observer` (nullptr: to nobody). Only the Windows build retries
  // (transient_retry.h); elsewhere nothing is reported.
  virtual void ReportRetriesTo(RetryObserver* observer) = 0;

  // Initialisation files (sections in square brackets, key=value lines, texts
  // in Windows-1251 on disk), read and written as the Windows private-profile
  // functions do: names match without regard to case, a write creates the
  // section or key where it is missing and goes to disk at once.

  // True when the file has a section named `section`.
  virtual Result<bool> IniSectionExists(const std::string& path, const std::string& section) = 0;

  // The value of `key` in `section`, or nullopt when the key is missing.
  virtual Result<std::optional<std::string>> IniReadString(const std::string& path,
                                                           const std::string& section,
                                                           const std::string& key) = 0;

  // Sets `key` in `section` to `value`.
  virtual Status IniWriteString(const std::string& path, const std::string& section,
                                const std::string& key, const std::string& value) = 0;
};

// Creates `folder` and every missing folder above it, from the top down. A
// folder that exists already, or that another process creates meanwhile, is
// no failure. A root ("C:", "\\server\share", "/") is never created: it
// exists, or the first folder below it fails.
Status CreateFolderWithParents(FileSystem& files, const std::string& folder);

}  // namespace updater::platform
