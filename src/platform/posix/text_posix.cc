// Windows-1251 conversions through glibc's iconv.
#include <iconv.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace updater::platform {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in`; an input sequence iconv cannot convert is skipped
  // (`skip_bytes` tells how many bytes it spans) and `replacement` written.
  std::string Run(std::string_view in, size_t (*skip_bytes)(std::string_view),
                  std::string_view replacement) {
    std::string out;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    out.reserve(in.size() * 2);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char buffer[4096];
    while (src_left > 0) {
      char* dst = buffer;
      size_t dst_left = sizeof buffer;
      size_t rc = iconv(cd_, &src, &src_left, &dst, &dst_left);
      out.append(buffer, dst - buffer);
      if (rc != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: a sequence without a counterpart, or cut short.
      size_t skip = skip_bytes(std::string_view(src, src_left));
      src += skip;
      src_left -= skip;
      out += replacement;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence at the start of `s` (1 for a stray byte).
size_t Utf8SequenceLength(std::string_view s) {
  const auto lead = static_cast<unsigned char>(s[0]);
  size_t length = 1;
  if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  if (length > s.size()) return 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

size_t OneByte(std::string_view) { return 1; }

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) {
  Converter converter("CP1251", "UTF-8");
  return converter.Run(utf8, Utf8SequenceLength, "?");
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
  Converter converter("UTF-8", "CP1251");
  return converter.Run(cp1251, OneByte, "\xEF\xBF\xBD");
}

std::string Utf8ToAnsi(std::string_view utf8) { return std::string(utf8); }

std::string AnsiToUtf8(std::string_view ansi) { return std::string(ansi); }

}  // namespace updater::platform
