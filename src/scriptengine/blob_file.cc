#include "scriptengine/blob_file.h"

#include <algorithm>
#include <cstdio>

#include "scriptengine/errors.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {
namespace {

// Eight or sixteen hexadecimal digits: other lengths are no reference (a
// PSQL variable may look like one).
bool ParseHex(std::string_view digits, uint64_t& value) {
  if (digits.size() != 8 && digits.size() != 16) return false;
  value = 0;
  for (char c : digits) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return true;
}

std::string Hex(uint64_t value) {
  char buffer[24];
  if (value > 0xFFFFFFFFu) {
    std::snprintf(buffer, sizeof buffer, "%016llX", static_cast<unsigned long long>(value));
  } else {
    std::snprintf(buffer, sizeof buffer, "%08llX", static_cast<unsigned long long>(value));
  }
  return buffer;
}

}  // namespace

BlobFile::BlobFile(platform::FileSystem& files, std::string path) : path_(std::move(path)) {
  platform::Result<std::unique_ptr<platform::InputFile>> opened = files.OpenInputFile(path_);
  if (!opened.ok()) {
    throw ScriptError("the blob file cannot be opened: " + opened.error().Describe());
  }
  file_ = std::move(opened).value();
  platform::Result<uint64_t> size = file_->Size();
  if (!size.ok()) throw ScriptError("the blob file cannot be read: " + size.error().Describe());
  size_ = size.value();
}

void BlobFile::Read(uint64_t offset, uint64_t length, size_t piece,
                    const std::function<void(std::string_view)>& sink) const {
  if (offset > size_ || length > size_ - offset) {
    throw ScriptError("the blob file reference " + BlobReferenceText(offset, length) +
                      " lies outside the blob file \"" + path_ + "\" (" + std::to_string(size_) +
                      " bytes)");
  }
  std::string buffer(static_cast<size_t>(std::min<uint64_t>(length, piece)), '\0');
  uint64_t done = 0;
  while (done < length) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length - done, piece));
    platform::Result<size_t> read = [&] {
      // The data load reads values for two attachments at once; a
      // positioned read on Windows moves the handle's file pointer.
      std::lock_guard lock(reading_);
      return file_->ReadAt(offset + done, buffer.data(), want);
    }();
    if (!read.ok()) throw ScriptError("the blob file cannot be read: " + read.error().Describe());
    if (read.value() != want) {
      throw ScriptError("the blob file \"" + path_ + "\" ended early (it changed while in use)");
    }
    sink(std::string_view(buffer.data(), want));
    done += want;
  }
}

std::string BlobFile::ReadAll(uint64_t offset, uint64_t length) const {
  std::string bytes;
  Read(offset, length, 1 << 20, [&](std::string_view piece) { bytes.append(piece); });
  return bytes;
}

ParameterizedStatement ReplaceBlobReferences(std::string_view sql) {
  return ReplaceBlobReferences(sql, Tokenize(sql).tokens);
}

ParameterizedStatement ReplaceBlobReferences(std::string_view sql,
                                             const std::vector<Token>& tokens) {
  ParameterizedStatement result;
  size_t copied = 0;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    const Token& colon = tokens[i];
    const Token& word = tokens[i + 1];
    BlobReference reference{};
    if (colon.text != ":" || word.kind != TokenKind::kWord || word.offset != colon.offset + 1 ||
        !ParseBlobReference(word.text, reference)) {
      continue;
    }
    result.sql.append(sql.substr(copied, colon.offset - copied));
    result.sql += '?';
    copied = word.offset + word.text.size();
    result.references.push_back(reference);
    ++i;
  }
  if (result.references.empty()) {
    result.sql.assign(sql);
    return result;
  }
  result.sql.append(sql.substr(copied));
  return result;
}

std::string BlobReferenceText(uint64_t offset, uint64_t length) {
  return ":h" + Hex(offset) + "_" + Hex(length);
}

bool ParseBlobReference(std::string_view word, BlobReference& reference) {
  if (word.size() < 4 || (word[0] != 'h' && word[0] != 'H')) return false;
  const size_t separator = word.find('_');
  if (separator == std::string_view::npos) return false;
  return ParseHex(word.substr(1, separator - 1), reference.offset) &&
         ParseHex(word.substr(separator + 1), reference.length);
}

}  // namespace updater::scriptengine
