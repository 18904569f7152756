#include <gtest/gtest.h>

#include "platform/platform.h"

namespace updater::platform {
namespace {

// "beside.dll" is a small library of ours that the build puts next to the
// test executable; its one function answers 42.
TEST(Libraries, ABareNameIsFoundNextToTheExecutableInAnyLetterCase) {
  Result<std::unique_ptr<Library>> library = SystemPlatform().libraries.Load("BESIDE.dll");
  ASSERT_TRUE(library.ok()) << library.error().Describe();
  using Answer = int (*)();
  auto answer = reinterpret_cast<Answer>(library.value()->FindSymbol("updater_beside_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(library.value()->FindSymbol("no_such_symbol"), nullptr);
}

TEST(Libraries, AMissingLibraryFailsWithTheSystemsReason) {
  Result<std::unique_ptr<Library>> library = SystemPlatform().libraries.Load("missing-library.dll");
  ASSERT_FALSE(library.ok());
  EXPECT_EQ(library.error().path, "missing-library.dll");
  EXPECT_FALSE(library.error().text.empty());
}

}  // namespace
}  // namespace updater::platform
