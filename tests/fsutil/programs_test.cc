#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "fsutil/uWexrRout.h"
#include "platform/paths.h"
#include "support/failure_of.h"
#include "support/fake_platform.h"
#include "support/helper_process.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using platform::JoinPath;
using testing::CountingPump;
using ::testing::ElementsAre;
using testing::FailureOf;
using testing::FsPath;
using testing::ReadBytes;
using testing::TempFolder;

// A copy of the helper program at `path`; its report lands in
// "<path>.report".
std::string HelperAt(const std::string& path) {
  fs::create_directories(FsPath(path).parent_path());
  fs::copy_file(FsPath(testing::TestHelperPath()), FsPath(path));
  return path;
}

std::vector<std::string> ReportLines(const std::string& program) {
  std::vector<std::string> lines;
  std::string text = ReadBytes(program + ".report");
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

TEST(RunProgramAndWait, StartsExactlyTheProgramOfAPathWithBlanks) {
  TempFolder temp;
  const std::string folder = temp.Path("with blank");
  const std::string program = HelperAt(JoinPath(folder, "files.exe"));
  // What a start at the first blank would run instead.
  const std::string decoy = HelperAt(temp.Path("with"));
  HelperAt(temp.Path("with.exe"));
  CountingPump pump;

  EXPECT_EQ(RunProgramAndWait(platform::SystemPlatform(), pump, program, " exit 42", 1), 42u);
  EXPECT_THAT(ReportLines(program), ElementsAre(program, "exit", "42", "cwd=" + folder, "env="));
  EXPECT_EQ(ReadBytes(decoy + ".report"), "<missing>");
  EXPECT_EQ(pump.count, 2);
}

TEST(RunProgramAndWait, AppendsTheParametersWithoutASeparator) {
  TempFolder temp;
  const std::string program = HelperAt(temp.Path("prog.exe"));
  CountingPump pump;
  // The program finds no mode in its arguments and ends with code 2.
  EXPECT_EQ(RunProgramAndWait(platform::SystemPlatform(), pump, program, "abc", 1), 2u);
  EXPECT_THAT(ReportLines(program), ElementsAre(program + "abc", "cwd=" + temp.path(), "env="));
}

TEST(RunProgramAndWait, ExpandsARelativeProgramPath) {
  TempFolder temp;
  const std::string program = HelperAt(temp.Path("sub/prog.exe"));
  const fs::path before = fs::current_path();
  fs::current_path(FsPath(temp.path()));
  CountingPump pump;
  const uint32_t code = RunProgramAndWait(platform::SystemPlatform(), pump,
                                          JoinPath("sub", "prog.exe"), " exit 0", 1);
  fs::current_path(before);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(ReportLines(program).front(), program);
}

TEST(RunProgramAndWait, RefusesWhatCannotStartOrDoesNotFit) {
  TempFolder temp;
  CountingPump pump;
  platform::Platform& real = platform::SystemPlatform();
  EXPECT_EQ(FailureOf([&] { RunProgramAndWait(real, pump, temp.Path("none.exe"), {}, 1); }),
            "Невозможно запустить внешнюю программу!");

  const std::string program = HelperAt(temp.Path("prog.exe"));
  const std::string parameters(256 - program.size(), 'x');
  const std::string failure =
      FailureOf([&] { RunProgramAndWait(real, pump, program, parameters, 1); });
  EXPECT_EQ(
      failure.rfind(
          "Невозможно запустить внешнюю программу!\rКомандная строка длиннее 255 символов: ", 0),
      0u);
  EXPECT_EQ(ReadBytes(program + ".report"), "<missing>");
  EXPECT_EQ(pump.count, 0);
}

TEST(RunProgramAndWait, HandsTheLaunchToThePlatformAsSpecified) {
  TempFolder temp;
  testing::FakePlatform fake;
  CountingPump pump;
  const std::string program = temp.Path("Program Files/Марликс/files.exe");
  fake.processes.AddProgram(program, 7);
  EXPECT_EQ(RunProgramAndWait(fake.platform, pump, program, {}, 1), 7u);
  ASSERT_EQ(fake.processes.launches.size(), 1u);
  const platform::ProcessLaunch& launch = fake.processes.launches[0];
  EXPECT_EQ(launch.application, program);
  EXPECT_EQ(launch.command_line, "\"" + program + "\"");
  EXPECT_EQ(launch.working_folder, temp.Path("Program Files/Марликс"));
  EXPECT_EQ(launch.show_command, 1);
}

}  // namespace
}  // namespace updater
