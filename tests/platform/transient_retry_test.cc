// The retries of a file held for a moment, over real files whose calls fail
// on demand with the errors of a hold, on the fake clock.
#include "platform/transient_retry.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/platform.h"
#include "support/fake_platform.h"
#include "support/temp_folder.h"

namespace updater::platform {
namespace {

using testing::FakeClock;
using testing::Fault;
using testing::FaultyFileSystem;
using testing::FileCall;
using testing::kEveryTime;
using testing::ReadBytes;
using testing::TempFolder;

// The codes of this test's platform: 32 a sharing violation, 5 access
// denied.
constexpr int64_t kHeld = 32;
constexpr int64_t kDenied = 5;

SystemError Held(int64_t code) { return SystemError{"", "", code, "injected"}; }

class Episodes final : public RetryObserver {
 public:
  void RetryEpisodeEnded(const RetryEpisode& episode) override { seen.push_back(episode); }
  std::vector<RetryEpisode> seen;
};

class TransientRetryTest : public ::testing::Test {
 protected:
  TransientRetryTest()
      : faulty(SystemPlatform().files),
        files(faulty, clock, TransientErrors{{kHeld, 33}, kDenied}) {
    files.ReportRetriesTo(&episodes);
    source = temp.MakeFile("source.txt", "new");
    target = temp.MakeFile("target.txt", "old");
  }

  TempFolder temp;
  FakeClock clock;
  FaultyFileSystem faulty;
  RetryingFileSystem files;
  Episodes episodes;
  std::string source;
  std::string target;
};

TEST_F(TransientRetryTest, AHoldThatPassesIsWaitedForAndReportedOnce) {
  const struct {
    const char* name;
    FileCall call;
    std::function<bool()> run;
    std::function<bool()> done;
  } cases[] = {
      {"copy", FileCall::kCopyWholeFile,
       [this] { return files.CopyWholeFile(source, target).ok(); },
       [this] { return ReadBytes(target) == "new"; }},
      {"rename", FileCall::kRename,
       [this] { return files.Rename(source, temp.Path("moved.txt")).ok(); },
       [this] { return ReadBytes(temp.Path("moved.txt")) == "new"; }},
      {"delete", FileCall::kRemoveFile, [this] { return files.RemoveFile(source).ok(); },
       [this] { return !faulty.FileExists(source); }},
      {"exclusive open", FileCall::kExclusiveFileSize,
       [this] {
         const Result<uint64_t> size = files.ExclusiveFileSize(source);
         return size.ok() && *size == 3;
       },
       [] { return true; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    source = temp.MakeFile("source.txt", "new");
    episodes.seen.clear();
    const size_t sleeps_before = clock.sleeps().size();
    // Held for the first three attempts; the lock violation on the last.
    faulty.Inject(Fault(c.call).Times(2).Error(Held(kHeld)));
    faulty.Inject(Fault(c.call).Nth(3).Error(Held(33)));

    EXPECT_TRUE(c.run());
    EXPECT_TRUE(c.done());
    EXPECT_EQ(std::vector<uint32_t>(clock.sleeps().begin() + sleeps_before, clock.sleeps().end()),
              (std::vector<uint32_t>{25, 50, 75}));
    ASSERT_EQ(episodes.seen.size(), 1u);
    EXPECT_TRUE(episodes.seen[0].succeeded);
    EXPECT_EQ(episodes.seen[0].attempts, 4);
    EXPECT_EQ(episodes.seen[0].waited_ms, 150u);
    EXPECT_EQ(episodes.seen[0].code, 33);
    EXPECT_EQ(episodes.seen[0].path, source);
    faulty.Heal();
  }
}

TEST_F(TransientRetryTest, AHolderThatStaysStillFailsAfterTheRetries) {
  faulty.Inject(Fault(FileCall::kCopyWholeFile).Times(kEveryTime).Error(Held(kHeld)));

  const Status copied = files.CopyWholeFile(source, target);

  ASSERT_FALSE(copied.ok());
  EXPECT_EQ(copied.error().code, kHeld);
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_EQ(faulty.Calls(FileCall::kCopyWholeFile), 11);
  EXPECT_EQ(clock.sleeps(), (std::vector<uint32_t>{25, 50, 75, 100, 125, 150, 175, 200, 225, 250}));
  ASSERT_EQ(episodes.seen.size(), 1u);
  EXPECT_FALSE(episodes.seen[0].succeeded);
  EXPECT_EQ(episodes.seen[0].attempts, 11);
  EXPECT_EQ(episodes.seen[0].waited_ms, 1375u);
}

TEST_F(TransientRetryTest, LastingFailuresAndOtherCallsFailAtOnce) {
  ASSERT_TRUE(faulty.SetAttributes(target, kAttrReadOnly).ok());
  const struct {
    const char* name;
    FileCall call;
    int64_t code;
    std::function<bool()> run;
  } cases[] = {
      {"a missing file", FileCall::kRemoveFile, 2, [&] { return files.RemoveFile(source).ok(); }},
      {"denied for a read-only target", FileCall::kCopyWholeFile, kDenied,
       [&] { return files.CopyWholeFile(source, target).ok(); }},
      {"denied for a read-only file", FileCall::kRemoveFile, kDenied,
       [&] { return files.RemoveFile(target).ok(); }},
      {"a call that is not retried", FileCall::kWriteFile, kHeld,
       [&] { return files.WriteFile(source, "x").ok(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    faulty.Inject(Fault(c.call).Times(kEveryTime).Error(Held(c.code)));
    EXPECT_FALSE(c.run());
    faulty.Heal();
  }
  EXPECT_TRUE(clock.sleeps().empty());
  EXPECT_TRUE(episodes.seen.empty());

  // Denied where the attributes do not explain it: a scanner's hold.
  faulty.Inject(Fault(FileCall::kRemoveFile).Times(2).Error(Held(kDenied)));
  EXPECT_TRUE(files.RemoveFile(source).ok());
  EXPECT_EQ(clock.sleeps(), (std::vector<uint32_t>{25, 50}));
}

}  // namespace
}  // namespace updater::platform
