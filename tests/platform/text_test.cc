#include "platform/text.h"

#include <gtest/gtest.h>

namespace updater::platform {
namespace {

TEST(Cp1251, CyrillicTextMapsToItsSingleBytes) {
  EXPECT_EQ(Utf8ToCp1251("Привет, Ёё №1"), "\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xB8 \xB9\x31");
  EXPECT_EQ(Cp1251ToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xB8 \xB9\x31"), "Привет, Ёё №1");
  EXPECT_EQ(Cp1251ToUtf8(std::string("\0\x80", 2)), std::string("\0Ђ", 3));  // NUL is no end
}

TEST(Cp1251, EveryDefinedByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) {
    if (b != 0x98) all += static_cast<char>(b);
  }
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
}

TEST(Cp1251, CharactersItLacksBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a日é b"), "a?? b");
  EXPECT_EQ(Utf8ToCp1251(""), "");
}

// The client library's 8-bit text is Windows-1251 on Windows and the file
// system's UTF-8 on Linux; either way a name survives the trip.
TEST(AnsiText, CyrillicNamesSurviveTheTripThroughTheClientsText) {
  EXPECT_EQ(AnsiToUtf8(Utf8ToAnsi("C:\\Программы\\Марликс.fdb")), "C:\\Программы\\Марликс.fdb");
  EXPECT_EQ(AnsiToUtf8(Cp1251ToAnsi("\xCC\xE0\xF0\xEB\xE8\xEA\xF1 \xB9\x31")), "Марликс №1");
}

}  // namespace
}  // namespace updater::platform
