// Values kept outside the script, in a blob file beside it (SET BLOBFILE).
// A statement refers to one by its place in the file: ":h" followed by the
// offset, "_", and the length, both in hexadecimal with 8 or 16 digits
// (":h0000001A_00000100" is 256 bytes from byte 26). Such a reference stands where a "?" parameter
// could stand and is bound as one: as a blob when the statement expects a
// blob there, as a string otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {

class BlobFile {
 public:
  // Opens `path` (UTF-8) through `files`. Throws ScriptError when it cannot
  // be opened.
  BlobFile(platform::FileSystem& files, std::string path);

  const std::string& Path() const { return path_; }
  uint64_t Size() const { return size_; }

  // Passes the `length` bytes at `offset` to `sink` in pieces of at most
  // `piece` bytes. Throws ScriptError when they lie outside the file or
  // cannot be read.
  void Read(uint64_t offset, uint64_t length, size_t piece,
            const std::function<void(std::string_view)>& sink) const;
  // The same bytes in one string.
  std::string ReadAll(uint64_t offset, uint64_t length) const;

 private:
  std::string path_;
  std::unique_ptr<platform::InputFile> file_;
  mutable std::mutex reading_;
  uint64_t size_ = 0;
};

struct BlobReference {
  uint64_t offset;
  uint64_t length;
};

struct ParameterizedStatement {
  std::string sql;                        // references replaced by "?"
  std::vector<BlobReference> references;  // in the order they stand
};

// Finds the references of `sql` outside literals, quoted names and
// comments. `sql` must tokenize cleanly; `tokens` are its tokens.
ParameterizedStatement ReplaceBlobReferences(std::string_view sql,
                                             const std::vector<Token>& tokens);
ParameterizedStatement ReplaceBlobReferences(std::string_view sql);

// The reference text for `offset` and `length`: eight hexadecimal digits
// each, sixteen when a number needs more.
std::string BlobReferenceText(uint64_t offset, uint64_t length);

// Reads the reference word after ":" ("h0000001A_00000100"); false when
// `word` is no reference.
bool ParseBlobReference(std::string_view word, BlobReference& reference);

}  // namespace updater::scriptengine
