// The failures on demand that the other tests rely on: a rule fails exactly
// the calls it names, and every call is counted.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/fake_processes.h"
#include "support/faulty_platform.h"
#include "support/temp_folder.h"

namespace updater::testing {
namespace {

TEST(FaultRules, FailTheNthCallOfAKindAndEveryCallBelowAPath) {
  TempFolder temp;
  FaultyFileSystem files(platform::SystemPlatform().files);
  const std::string source = temp.MakeFile("a.txt", "a");
  const std::string kept = temp.MakeFile("keep/x.txt", "x");
  const std::string near = temp.MakeFile("keeper/y.txt", "y");
  files.FailNth(FileCall::kCopyWholeFile, 2);
  files.FailEvery(FileCall::kRemoveFile, temp.Path("keep"));

  EXPECT_TRUE(files.CopyWholeFile(source, temp.Path("b.txt")).ok());
  const platform::Status second = files.CopyWholeFile(source, temp.Path("c.txt"));
  EXPECT_TRUE(files.CopyWholeFile(source, temp.Path("d.txt")).ok());
  EXPECT_FALSE(files.RemoveFile(kept).ok());
  EXPECT_FALSE(files.RemoveFile(kept).ok());
  EXPECT_TRUE(files.RemoveFile(near).ok());

  ASSERT_FALSE(second.ok());
  EXPECT_EQ(second.error().Describe(),
            "CopyFileW(" + source + "): Access is denied (injected). (5)");
  EXPECT_FALSE(files.FileExists(temp.Path("c.txt")));
  EXPECT_TRUE(files.FileExists(kept));
  EXPECT_EQ(files.Calls(FileCall::kCopyWholeFile), 3);
  EXPECT_EQ(files.Calls(FileCall::kAny), 6);
  EXPECT_EQ(files.Injected(), 3);

  files.Heal();
  EXPECT_TRUE(files.RemoveFile(kept).ok());
}

TEST(FaultRules, ARuleOfAnyKindWithItsOwnErrorFailsAsManyCallsAsItSays) {
  FakeProcesses table;
  const uint32_t first = table.Add("fbserver.exe");
  const uint32_t second = table.Add("fbserver.exe");
  FaultyProcesses processes(table);
  processes.Inject(
      Fault(ProcessCall::kAny)
          .Times(2)
          .Error(platform::SystemError{"", "", 31, "A device attached is not working."}));

  const auto snapshot = processes.Snapshot();
  const platform::Status ended = processes.Terminate(first, 0);

  ASSERT_FALSE(snapshot.ok());
  EXPECT_EQ(snapshot.error().call, "CreateToolhelp32Snapshot");
  ASSERT_FALSE(ended.ok());
  EXPECT_EQ(ended.error().path, std::to_string(first));
  EXPECT_EQ(ended.error().code, 31);
  EXPECT_TRUE(processes.Terminate(second, 0).ok());
  EXPECT_EQ(table.RunningNames(), std::vector<std::string>{"fbserver.exe"});
}

}  // namespace
}  // namespace updater::testing
