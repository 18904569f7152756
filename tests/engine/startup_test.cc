// The start-up steps that the front ends share: the program's name and
// folder, the log opened next to it and the server detected, with failures
// reported and passed over.
#include "engine/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/paths.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using Lines = std::vector<std::string>;

const char kMakerKey[] = "SYSTEM\\CurrentControlSet\\Services\\BrenvikFireXBirdServer";

TEST(LocateProgram, TheTitleIsTheFileNameWithoutItsLastExtension) {
  const std::string d(1, platform::PathDelimiter());
  const struct {
    std::string path;
    ProgramLocation location;
  } cases[] = {
      {d + "opt" + d + "upd" + d + "Updater_Marlix.exe", {d + "opt" + d + "upd", "Updater_Marlix"}},
      {d + "opt" + d + "upd" + d + "Updater_Marlix", {d + "opt" + d + "upd", "Updater_Marlix"}},
      {d + "my.dir" + d + "Обновление.v2.exe", {d + "my.dir", "Обновление.v2"}},
  };
  for (const auto& c : cases) {
    const ProgramLocation location = LocateProgram(c.path);
    EXPECT_EQ(location.folder, c.location.folder) << c.path;
    EXPECT_EQ(location.title, c.location.title) << c.path;
  }
}

class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest() : ui(fake.files, fake.clock) {
    program = temp.MakeFolder("Программа");
    fb_root = platform::IncludeTrailingDelimiter(temp.MakeFolder("FB"));
  }

  TFBServParams Run() { return OpenLogAndDetectServer(program, fake.platform, ui.log, ui.prompt); }

  // The one file of the program's Logs folder, or "<none>".
  std::string LogFile() const {
    const std::filesystem::path logs = testing::FsPath(program) / "Logs";
    if (!std::filesystem::is_directory(logs)) return "<none>";
    std::string found = "<none>";
    for (const auto& entry : std::filesystem::directory_iterator(logs)) {
      found = testing::Utf8(entry.path());
    }
    return found;
  }

  testing::TempFolder temp;
  testing::FakePlatform fake;
  testing::RecordingFrontEnd ui;
  std::string program;
  std::string fb_root;
};

TEST_F(StartUpTest, TheLogIsOpenedAndTheServerDetected) {
  fake.registry.SetString(kMakerKey, "ImagePath",
                          fb_root + "bin" + platform::PathDelimiter() + "fbsrvmrlx.exe");
  const TFBServParams server = Run();
  EXPECT_EQ(server.ServerKind, "SUPER");
  EXPECT_EQ(server.ServiceName, "BrenvikFireXBirdServer");
  EXPECT_EQ(LogFile(), ui.log.FilePath());
  EXPECT_EQ(testing::ReadBytes(LogFile()), "");
  EXPECT_TRUE(ui.transcript.events.empty());
}

TEST_F(StartUpTest, ADetectionFailureIsReportedWithTheAdviceAndPassedOver) {
  fake.registry.SetString(kMakerKey, "ImagePath",
                          fb_root + "bin" + platform::PathDelimiter() + "firebird.exe");
  const std::string message =
      "Тип сервера FB определить не удалось.\rВозможно, сервер Firebird не отвечает, поврежден "
      "или установлен\rсторонним разработчиком. Закройте Updater, перезагрузите\rкомпьютер и "
      "повторите запуск программы.\r\rЕсли ошибка повторится - обратитесь к разработчику.";

  const TFBServParams server = Run();

  EXPECT_EQ(server.ServiceName, "");
  EXPECT_EQ(server.ServerKind, "");
  EXPECT_EQ(ui.transcript.Boxes(), Lines{"ShowFailure: " + message});
  EXPECT_EQ(ui.transcript.ScreenMessages(),
            (Lines{"Тип сервера FB определить не удалось.",
                   "\tВозможно, сервер Firebird не отвечает, поврежден или установлен",
                   "\tсторонним разработчиком. Закройте Updater, перезагрузите",
                   "\tкомпьютер и повторите запуск программы.", "\t",
                   "\tЕсли ошибка повторится - обратитесь к разработчику."}));
  // The entry is in the log file, in Windows-1251.
  EXPECT_NE(testing::ReadBytes(LogFile()).find("\xD2\xE8\xEF"), std::string::npos);
}

TEST_F(StartUpTest, ALogThatCannotBeOpenedIsReportedAndTheServerStillDetected) {
  fake.registry.SetString(kMakerKey, "ImagePath",
                          fb_root + "bin" + platform::PathDelimiter() + "fbsrvmrlx.exe");
  fake.files.failing = {"CreateFolder"};

  const TFBServParams server = Run();

  EXPECT_EQ(server.ServiceName, "BrenvikFireXBirdServer");
  const Lines boxes = ui.transcript.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("ShowFailure: Невозможно создать папку ", 0), 0u) << boxes[0];
  EXPECT_EQ(LogFile(), "<none>");
}

TEST_F(StartUpTest, ADetectionFailureIsShownAlsoWhenTheLogCannotBeOpened) {
  fake.registry.SetString(kMakerKey, "ImagePath",
                          fb_root + "bin" + platform::PathDelimiter() + "firebird.exe");
  fake.files.failing = {"CreateFolder"};

  Run();

  // The log's failure, the detection's failure with the advice, and the
  // log's failure again, since that entry could not be written either.
  const Lines boxes = ui.transcript.Boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[1].rfind("ShowFailure: Тип сервера FB определить не удалось.\rВозможно", 0), 0u)
      << boxes[1];
  EXPECT_EQ(boxes[2], boxes[0]);
  // Once the folder can be made, the entries that waited reach the file.
  fake.files.failing.clear();
  ui.log.SaveExceptionToLog("next");
  EXPECT_NE(testing::ReadBytes(LogFile()).find("\xD2\xE8\xEF"), std::string::npos);
}

}  // namespace
}  // namespace updater
