// The character set of the script files the engine writes and reads.
//
// A block writes its files over one connection and the update may run them
// over another with a different character set (a file written over WIN1251
// and run over UTF8). So a file that a block writes carries its character
// set: it begins with the UTF-8 byte order mark and holds UTF-8, converted
// from the connection's bytes. A script file that begins with the mark is
// read as UTF-8 and converted to the character set of the connection that
// runs it. Files without the mark are the connection's bytes, as before.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_streams.h"
#include "scriptengine/script_splitter.h"

namespace updater::scriptengine {

// The byte order mark of UTF-8 that marks a script as UTF-8.
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// True when the engine converts texts of connection character set
// `charset` (upper case, empty for NONE) to and from UTF-8: WIN1251, UTF8
// and UNICODE_FSS.
bool ConvertibleCharset(const std::string& charset);

// The most bytes one character of `charset` (upper case) takes: 1 for
// NONE, OCTETS and the single-byte sets, 3 for UNICODE_FSS, 4 for UTF8 and
// any set not known here.
int MaxCharacterBytes(const std::string& charset);

// The UTF-8 of every Windows-1251 byte, as the platform converts it: for
// converting and hashing texts value by value without a call per text.
struct Win1251Utf8 {
  char bytes[256][4] = {};
  uint8_t length[256] = {};
};
const Win1251Utf8& Win1251Utf8Table();

// Appends Windows-1251 `text` as UTF-8 to `out`. False, with `out` as it
// was, when `text` holds 0x98, the one byte that is no character (the
// server refuses it).
bool AppendWin1251AsUtf8(std::string_view text, std::string& out);

// `file` for texts in `charset`: when the character set is convertible,
// the file gets the mark (unless `has_mark` says that it already begins
// with it) and every text is written as UTF-8; a text that has no UTF-8
// form (the byte 0x98 of WIN1251) throws ScriptError. Otherwise `file`
// itself, written byte for byte.
std::unique_ptr<platform::OutputFile> MarkedOutputFile(std::unique_ptr<platform::OutputFile> file,
                                                       const std::string& charset, bool has_mark);

// Reads `source`; when it begins with the mark, drops the mark and converts
// the UTF-8 that follows to `charset`. A character that `charset` lacks, or
// bytes that are not UTF-8, throw ScriptError naming the byte's place.
// Into a character set the engine cannot convert, ASCII passes unchanged
// and anything else is refused.
class MarkedScriptSource final : public ByteSource {
 public:
  MarkedScriptSource(ByteSource& source, std::string charset)
      : source_(source), charset_(std::move(charset)) {}
  size_t Read(char* buffer, size_t size) override;

  // Whether the script began with the mark (known after the first Read).
  bool Marked() const { return marked_; }

 private:
  // Reads from the source behind pending_; false at its end.
  bool Fill();
  // Converts the complete UTF-8 characters of pending_ into converted_.
  void Convert(bool at_end);

  ByteSource& source_;
  std::string charset_;
  bool started_ = false;
  bool marked_ = false;
  bool ended_ = false;
  std::string pending_;    // bytes read and not yet converted
  std::string converted_;  // converted bytes not yet handed out
  size_t handed_ = 0;      // of converted_
  uint64_t offset_ = 0;    // in the file, of pending_'s first byte
};

}  // namespace updater::scriptengine
