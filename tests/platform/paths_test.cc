#include "platform/paths.h"

#include <gtest/gtest.h>

namespace updater::platform {
namespace {

TEST(Paths, TrailingDelimiterIsAddedAndRemovedOnce) {
  const std::string d(1, PathDelimiter());
  EXPECT_EQ(IncludeTrailingDelimiter("a"), "a" + d);
  EXPECT_EQ(IncludeTrailingDelimiter("a" + d), "a" + d);
  EXPECT_EQ(IncludeTrailingDelimiter(""), d);
  EXPECT_EQ(ExcludeTrailingDelimiter("a" + d), "a");
  EXPECT_EQ(ExcludeTrailingDelimiter("a"), "a");
  EXPECT_EQ(JoinPath("a" + d, "b"), "a" + d + "b");
  EXPECT_EQ(JoinPath("a", "b"), "a" + d + "b");
}

}  // namespace
}  // namespace updater::platform
