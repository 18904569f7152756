#include "scriptengine/script_charset.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"
#include "scriptengine/errors.h"
#include "scriptengine/text_bytes.h"

namespace updater::scriptengine {
namespace {

bool IsWin1251(const std::string& charset) { return charset == "WIN1251"; }
bool IsUtf8(const std::string& charset) { return charset == "UTF8" || charset == "UNICODE_FSS"; }

// The length of the UTF-8 character whose first byte is `lead` (1 for a
// byte that cannot begin one: the check of the whole text refuses it).
size_t CharLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// The length of the longest prefix of `text` made of whole characters.
size_t WholeCharacters(std::string_view text) {
  size_t i = text.size();
  // A character is at most 4 bytes: look back for the last lead byte.
  for (size_t back = 1; back <= std::min<size_t>(4, text.size()); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) != 0x80) {
      if (CharLength(byte) > back) i = text.size() - back;
      break;
    }
  }
  return i;
}

// UTF-8 `text` in Windows-1251; false when a character has no byte there.
bool Utf8ToWin1251(std::string_view text, std::string& out) {
  out = platform::Utf8ToCp1251(text);
  return platform::Cp1251ToUtf8(out) == text;
}

// Where the first character of `text` that `convert` refuses begins.
template <typename Convert>
size_t FirstRefused(std::string_view text, Convert convert) {
  std::string ignored;
  for (size_t i = 0; i < text.size();) {
    const size_t length =
        std::min(CharLength(static_cast<unsigned char>(text[i])), text.size() - i);
    if (!IsValidUtf8(text.substr(i, length)) || !convert(text.substr(i, length), ignored)) return i;
    i += length;
  }
  return text.size();
}

class MarkedFile final : public platform::OutputFile {
 public:
  MarkedFile(std::unique_ptr<platform::OutputFile> file, bool win1251)
      : file_(std::move(file)), win1251_(win1251) {}

  platform::Status Write(std::string_view bytes) override {
    if (!win1251_) return file_->Write(bytes);
    if (bytes.find('\x98') != std::string_view::npos) {
      throw ScriptError(
          "the text cannot be written as UTF-8: it holds the byte 0x98, which is no character "
          "of WIN1251");
    }
    return file_->Write(platform::Cp1251ToUtf8(bytes));
  }
  uint64_t Position() const override { return file_->Position(); }
  platform::Status Close() override { return file_->Close(); }

 private:
  std::unique_ptr<platform::OutputFile> file_;
  bool win1251_;
};

}  // namespace

int MaxCharacterBytes(const std::string& charset) {
  if (charset == "UNICODE_FSS") return 3;
  const bool single = charset.empty() || charset == "NONE" || charset == "OCTETS" ||
                      charset == "ASCII" || charset.starts_with("WIN") ||
                      charset.starts_with("ISO8859") || charset.starts_with("DOS") ||
                      charset.starts_with("KOI8");
  return single ? 1 : 4;
}

const Win1251Utf8& Win1251Utf8Table() {
  static const Win1251Utf8 table = [] {
    Win1251Utf8 made;
    for (int b = 0; b < 256; ++b) {
      const std::string utf8 = platform::Cp1251ToUtf8(std::string(1, static_cast<char>(b)));
      made.length[b] = static_cast<uint8_t>(std::min<size_t>(utf8.size(), 4));
      std::memcpy(made.bytes[b], utf8.data(), made.length[b]);
    }
    return made;
  }();
  return table;
}

bool AppendWin1251AsUtf8(std::string_view text, std::string& out) {
  if (text.find('\x98') != std::string_view::npos) return false;
  const Win1251Utf8& table = Win1251Utf8Table();
  out.reserve(out.size() + text.size() * 2);
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out.append(table.bytes[b], table.length[b]);
    }
  }
  return true;
}

bool ConvertibleCharset(const std::string& charset) {
  return IsWin1251(charset) || IsUtf8(charset);
}

std::unique_ptr<platform::OutputFile> MarkedOutputFile(std::unique_ptr<platform::OutputFile> file,
                                                       const std::string& charset, bool has_mark) {
  if (!ConvertibleCharset(charset)) return file;
  // A failure of this write shows again at the next write or the close.
  if (!has_mark) (void)file->Write(kUtf8Mark);
  return std::make_unique<MarkedFile>(std::move(file), IsWin1251(charset));
}

bool MarkedScriptSource::Fill() {
  if (ended_) return false;
  char chunk[64 * 1024];
  const size_t read = source_.Read(chunk, sizeof chunk);
  if (read == 0) {
    ended_ = true;
    return false;
  }
  pending_.append(chunk, read);
  return true;
}

void MarkedScriptSource::Convert(bool at_end) {
  const size_t whole = at_end ? pending_.size() : WholeCharacters(pending_);
  const std::string_view text(pending_.data(), whole);
  std::string out;
  const auto refuse = [&](size_t at, const std::string& what) {
    throw ScriptError("the script is marked as UTF-8, but " + what + " at byte " +
                      std::to_string(offset_ + at + kUtf8Mark.size()) + " of the file");
  };
  if (!IsValidUtf8(text)) {
    refuse(FirstRefused(text, [](std::string_view, std::string&) { return true; }),
           "holds bytes that are not UTF-8");
  }
  if (IsWin1251(charset_)) {
    if (!Utf8ToWin1251(text, out)) {
      refuse(FirstRefused(text, Utf8ToWin1251),
             "holds a character that the connection's character set WIN1251 lacks");
    }
  } else if (IsUtf8(charset_) || charset_.empty() || charset_ == "NONE") {
    out.assign(text);
  } else {
    const auto ascii = [](std::string_view c, std::string&) {
      return static_cast<unsigned char>(c[0]) < 0x80;
    };
    const size_t at = FirstRefused(text, ascii);
    if (at < text.size()) {
      refuse(at,
             "holds a character that the engine cannot convert to the connection's "
             "character set " +
                 charset_);
    }
    out.assign(text);
  }
  converted_.erase(0, handed_);
  handed_ = 0;
  converted_ += out;
  pending_.erase(0, whole);
  offset_ += whole;
}

size_t MarkedScriptSource::Read(char* buffer, size_t size) {
  if (!started_) {
    started_ = true;
    while (pending_.size() < kUtf8Mark.size() && Fill()) {
    }
    marked_ = pending_.compare(0, kUtf8Mark.size(), kUtf8Mark) == 0;
    if (marked_) {
      pending_.erase(0, kUtf8Mark.size());
    } else {
      converted_.swap(pending_);
    }
  }
  while (handed_ == converted_.size()) {
    if (!marked_) {
      converted_.clear();
      handed_ = 0;
      return ended_ ? 0 : source_.Read(buffer, size);
    }
    const bool more = Fill();
    if (!more && pending_.empty()) return 0;
    Convert(!more);
  }
  const size_t count = std::min(size, converted_.size() - handed_);
  std::memcpy(buffer, converted_.data() + handed_, count);
  handed_ += count;
  return count;
}

}  // namespace updater::scriptengine
