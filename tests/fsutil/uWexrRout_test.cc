#include "fsutil/uWexrRout.h"

#include <gtest/gtest.h>

namespace updater {
namespace {

TEST(TwoDigitText, PadsOneDigitAndKeepsTheLastTwoOfLongerNumbers) {
  EXPECT_EQ(TwoDigitText(7), "07");
  EXPECT_EQ(TwoDigitText(0), "00");
  EXPECT_EQ(TwoDigitText(12), "12");
  EXPECT_EQ(TwoDigitText(2026), "26");
  EXPECT_EQ(TwoDigitText(100), "00");
}

TEST(AppendErrorText, StartsTheTextThenJoinsEntriesWithALoneCarriageReturn) {
  const std::string first = AppendErrorText("", "x");
  EXPECT_EQ(first, "Exception Message: x");
  EXPECT_EQ(AppendErrorText(first, "y"), "Exception Message: x\rException Message: y");
  EXPECT_EQ(AppendErrorText("a", ""), "a\rException Message: ");
}

}  // namespace
}  // namespace updater
