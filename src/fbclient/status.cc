#include "fbclient/status.h"

#include <algorithm>
#include <cstring>

#include "platform/strings.h"

namespace updater::fbclient {

const FbError* FbStatus::Find(ISC_STATUS code) const {
  for (const FbError& error : errors) {
    if (error.code == code) return &error;
  }
  return nullptr;
}

std::string FbStatus::Text() const {
  std::string text;
  for (const std::string& line : texts) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

namespace {

// The bytes at the end of `text` that begin a UTF-8 character without
// finishing it: a lead byte and fewer continuation bytes than it needs.
size_t UnfinishedCharacter(std::string_view text) {
  size_t continuations = 0;
  while (continuations < 3 && continuations < text.size() &&
         (static_cast<unsigned char>(text[text.size() - 1 - continuations]) & 0xC0) == 0x80) {
    ++continuations;
  }
  if (continuations == text.size()) return 0;
  const unsigned char lead = static_cast<unsigned char>(text[text.size() - 1 - continuations]);
  const size_t needs = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
  return continuations < needs ? continuations + 1 : 0;
}

}  // namespace

std::string InterpretedText(const char* buffer, size_t capacity) {
  std::string text(buffer, strnlen(buffer, capacity));
  if (platform::IsValidUtf8(text)) return text;
  // The server cuts a long argument (an exception's message) at its limit
  // in bytes; the client cuts a text at the buffer's end and marks the cut
  // with "...". Either may leave the first bytes of a character.
  const size_t end = text.ends_with("...") ? text.size() - 3 : text.size();
  const size_t unfinished = UnfinishedCharacter(std::string_view(text).substr(0, end));
  if (unfinished == 0) return text;
  std::string whole = text.substr(0, end - unfinished) + text.substr(end);
  // Only a text with other UTF-8 characters in it is taken for UTF-8: the
  // bytes of a Windows-1251 letter at the end of an ASCII text stay.
  const bool multibyte = std::any_of(whole.begin(), whole.end(),
                                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  return multibyte && platform::IsValidUtf8(whole) ? whole : text;
}

std::vector<FbError> StatusErrors(const ISC_STATUS* vector) {
  std::vector<FbError> errors;
  const ISC_STATUS* const end = vector + ISC_STATUS_LENGTH;
  const ISC_STATUS* at = vector;
  // Arguments that follow a warning belong to no error of ours.
  bool in_error = false;
  while (at + 1 < end && *at != isc_arg_end) {
    const ISC_STATUS kind = *at++;
    switch (kind) {
      case isc_arg_gds:
        in_error = *at != 0;
        if (in_error) errors.push_back(FbError{*at, {}});
        ++at;
        break;
      case isc_arg_warning:
        in_error = false;
        ++at;
        break;
      case isc_arg_string:
      case isc_arg_interpreted:
        if (in_error && *at != 0) {
          errors.back().arguments.emplace_back(reinterpret_cast<const char*>(*at));
        }
        ++at;
        break;
      case isc_arg_cstring:
        if (at + 1 >= end) return errors;
        if (in_error && at[1] != 0) {
          errors.back().arguments.emplace_back(reinterpret_cast<const char*>(at[1]),
                                               static_cast<size_t>(at[0]));
        }
        at += 2;
        break;
      default:
        ++at;  // a number, an operating system's code, an SQL state
        break;
    }
  }
  return errors;
}

}  // namespace updater::fbclient
