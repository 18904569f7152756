// The operator's service commands: the service layer's stop and start,
// announced with a notice box.
#include "engine/service_commands.h"

#include <gtest/gtest.h>

#include "support/failure_of.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"

namespace updater {
namespace {

using Lines = std::vector<std::string>;

TEST(ServiceCommands, AnnounceTheirSuccessWithANoticeAndTheirFailureWithNone) {
  testing::FakePlatform fake;
  testing::RecordingFrontEnd ui(fake.files, fake.clock);
  fake.services.AddService("BrenvikFireXBirdServer", {}, platform::kServiceRunning);
  const TFBServParams server{"", "SUPER", "", "FBSRVMRLX.EXE", "BrenvikFireXBirdServer"};

  StopFirebirdServiceCommand(server, fake.platform, ui.front);
  StartFirebirdServiceCommand(server, fake.platform, ui.front);
  EXPECT_EQ(ui.transcript.Boxes(), (Lines{"ShowNotice: Служба FireBird остановлена.",
                                          "ShowNotice: Служба FireBird запущена."}));
  EXPECT_TRUE(ui.transcript.ScreenMessages().empty());

  // Nothing detected at start-up: the stop fails, and says so only through
  // its failure.
  ui.transcript.events.clear();
  EXPECT_EQ(testing::FailureOf([&] { StopFirebirdServiceCommand({}, fake.platform, ui.front); }),
            "Невозможно остановить службу FireBird-сервера. Попробуйте перезагрузить компьютер и "
            "снова запустить приложение.");
  EXPECT_TRUE(ui.transcript.events.empty());
}

}  // namespace
}  // namespace updater
