// Windows-1251 conversions: from it by its table (a fixed map of single
// bytes, on the path of every statement a script runs), to it through
// glibc's iconv.
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
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

// The characters of Windows-1251's bytes 0x80 to 0xFF; the one byte
// without a character (0x98) has the replacement character.
constexpr char16_t kCp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) {
  Converter converter("CP1251", "UTF-8");
  return converter.Run(utf8, Utf8SequenceLength, "?");
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
  // Eight bytes at a time through runs of ASCII, which stays as it is:
  // whole data scripts pass here on their way to the callbacks.
  const auto ascii_run = [](const char* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return (word & 0x8080808080808080u) == 0;
  };
  const size_t count = cp1251.size();
  size_t size = 0;
  for (size_t i = 0; i < count;) {
    if (i + 8 <= count && ascii_run(cp1251.data() + i)) {
      size += 8;
      i += 8;
      continue;
    }
    const auto b = static_cast<unsigned char>(cp1251[i++]);
    size += b < 0x80 ? 1 : kCp1251High[b - 0x80] < 0x800 ? 2 : 3;
  }
  std::string out(size, '\0');
  char* to = out.data();
  for (size_t i = 0; i < count;) {
    if (i + 8 <= count && ascii_run(cp1251.data() + i)) {
      std::memcpy(to, cp1251.data() + i, 8);
      to += 8;
      i += 8;
      continue;
    }
    const char byte = cp1251[i++];
    const auto b = static_cast<unsigned char>(byte);
    if (b < 0x80) {
      *to++ = byte;
      continue;
    }
    const char16_t c = kCp1251High[b - 0x80];
    if (c < 0x800) {
      *to++ = static_cast<char>(0xC0 | (c >> 6));
    } else {
      *to++ = static_cast<char>(0xE0 | (c >> 12));
      *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *to++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) { return std::string(utf8); }

std::string AnsiToUtf8(std::string_view ansi) { return std::string(ansi); }

std::string Cp1251ToAnsi(std::string_view cp1251) { return Cp1251ToUtf8(cp1251); }

}  // namespace updater::platform
