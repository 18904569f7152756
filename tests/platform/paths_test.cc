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

TEST(Paths, APathSplitsAtItsLastDelimiterIntoFolderAndName) {
  const std::string d(1, PathDelimiter());
  const std::string other = d == "/" ? "\\" : "/";
  const struct {
    std::string path;
    Delimiters delimiters;
    std::string folder;
    std::string name;
  } cases[] = {
      {"C" + d + "a" + d + "b.txt", Delimiters::kPlatform, "C" + d + "a", "b.txt"},
      {"b.txt", Delimiters::kPlatform, "", "b.txt"},
      {"a" + d, Delimiters::kPlatform, "a", ""},
      {d + "b.txt", Delimiters::kPlatform, d, "b.txt"},
      // The other platform's delimiter is part of a name, unless either counts.
      {"a" + d + "b" + other + "c.sql", Delimiters::kPlatform, "a", "b" + other + "c.sql"},
      {"a" + d + "b" + other + "c.sql", Delimiters::kEither, "a" + d + "b", "c.sql"},
      {"x" + other + "y", Delimiters::kEither, "x", "y"},
      {"", Delimiters::kEither, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const PathParts parts = SplitPath(c.path, c.delimiters);
    EXPECT_EQ(parts.folder, c.folder);
    EXPECT_EQ(parts.name, c.name);
  }
}

}  // namespace
}  // namespace updater::platform
