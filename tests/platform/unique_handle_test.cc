#include "platform/unique_handle.h"

#include <gtest/gtest.h>

#include <vector>

namespace updater::platform {
namespace {

// Handles are numbers; closing 13 fails. Every close is recorded.
struct CountingTraits {
  using Handle = int;
  static Handle Invalid() { return -1; }
  static bool Valid(Handle handle) { return handle >= 0; }
  static bool Close(Handle handle, SystemError* error, std::string_view path) {
    closed.push_back(handle);
    if (handle != 13) return true;
    if (error != nullptr) *error = SystemError{"close", std::string(path), 5, "refused"};
    return false;
  }
  static std::vector<int> closed;
};
std::vector<int> CountingTraits::closed;

using Owned = UniqueHandle<CountingTraits>;

TEST(UniqueHandle, ClosesEachHandleOnceWhoeverOwnsItLast) {
  CountingTraits::closed.clear();
  {
    Owned first(1);
    Owned second(std::move(first));
    EXPECT_FALSE(first.valid());
    Owned third(3);
    third = std::move(second);  // 3 closes here, 1 moves on
    Owned given_up(4);
    EXPECT_EQ(given_up.Release(), 4);
    EXPECT_EQ(CountingTraits::closed, std::vector<int>{3});
  }
  EXPECT_EQ(CountingTraits::closed, (std::vector<int>{3, 1}));
}

TEST(UniqueHandle, CloseReportsTheFailureAndLeavesTheOwnerEmpty) {
  CountingTraits::closed.clear();
  Owned failing(13);
  const Status closed = failing.Close("C:\\held.txt");
  ASSERT_FALSE(closed.ok());
  EXPECT_EQ(closed.error().Describe(), "close(C:\\held.txt): refused (5)");
  EXPECT_FALSE(failing.valid());
  EXPECT_TRUE(failing.Close("again").ok());  // nothing left to close
  EXPECT_EQ(CountingTraits::closed, std::vector<int>{13});
}

}  // namespace
}  // namespace updater::platform
