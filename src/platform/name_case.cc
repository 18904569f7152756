#include "platform/name_case.h"

#include <cstdint>

namespace updater::platform {
namespace {

// Decodes the UTF-8 character at `*pos` and moves past it; a stray byte is
// returned as itself.
char32_t NextCodePoint(std::string_view s, size_t* pos) {
  const auto lead = static_cast<unsigned char>(s[*pos]);
  size_t length = 1;
  char32_t value = lead;
  if (lead >= 0xF0) {
    length = 4;
    value = lead & 0x07;
  } else if (lead >= 0xE0) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xC0) {
    length = 2;
    value = lead & 0x1F;
  }
  if (length == 1 || *pos + length > s.size()) {
    ++*pos;
    return lead;
  }
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(s[*pos + i]);
    if ((next & 0xC0) != 0x80) {
      ++*pos;
      return lead;
    }
    value = (value << 6) | (next & 0x3F);
  }
  *pos += length;
  return value;
}

char32_t FoldCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c >= 0x0410 && c <= 0x042F) return c + 0x20;  // А..Я
  if (c >= 0x0400 && c <= 0x040F) return c + 0x50;  // Ѐ..Џ, Ё among them
  return c;
}

}  // namespace

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (FoldCase(NextCodePoint(a, &i)) != FoldCase(NextCodePoint(b, &j))) return false;
  }
  return i == a.size() && j == b.size();
}

}  // namespace updater::platform
