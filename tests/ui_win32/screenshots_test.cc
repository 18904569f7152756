// Pictures of the window in both looks after a successful update and after
// one that was rolled back, saved under the build's "screenshots" folder for
// a person to look at (the test command turns them into PNG files).
#include <filesystem>

#include "support/helper_process.h"
#include "window_fixture.h"

namespace updater::testing {
namespace {

using namespace win32;  // NOLINT: the controls' names

TEST_F(WindowTest, PicturesOfBothLooksAfterASuccessAndAfterARollback) {
  const std::string folder = TestExecutableFolder() + "\\..\\screenshots";
  std::filesystem::create_directories(FsPath(folder));
  phases = &outcome_phases;
  const struct {
    const char* name;
    std::optional<Project> project;
    OutcomePhases::End end;
    int boxes_after_confirmation;
  } shots[] = {
      {"plain-success", std::nullopt, OutcomePhases::End::kSuccess, 0},
      {"plain-rollback", std::nullopt, OutcomePhases::End::kRolledBack, 1},
      {"coloured-success", Project::kTessam, OutcomePhases::End::kSuccess, 0},
      {"coloured-rollback", Project::kTessam, OutcomePhases::End::kRolledBack, 1},
  };
  const std::string product = MakeProduct(true, false);
  temp.MakeFile("Product\\Program\\Tessam.exe", "MZ");
  for (const auto& shot : shots) {
    SCOPED_TRACE(shot.name);
    StartUp(shot.project);
    outcome_phases.end = shot.end;
    SetText(kEProgramLocation, product);
    std::vector<BoxStep> steps{{BoxAction::kClick, "&Yes"}};
    steps.resize(1 + static_cast<size_t>(shot.boxes_after_confirmation));
    auto boxes = Answer(steps);
    Click(kOKBtn);
    ASSERT_TRUE(boxes->WaitForSteps());
    boxes.reset();
    RedrawWindow(Main(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    WaitUntil([] { return false; }, 1);
    const std::string path = folder + "\\" + shot.name + ".bmp";
    EXPECT_TRUE(SaveWindowPicture(Main(), path));
    EXPECT_GT(std::filesystem::file_size(FsPath(path)), 476u * 473u * 3u);
    form.reset();
  }
}

// The data load's progress is the caption area's second line, below
// "Идет обновление...", one line wide, while the busy animation goes on;
// when the load ends, the caption stands alone again.
TEST_F(WindowTest, PictureOfTheDataLoadInTheCaptionAreasSecondLine) {
  const std::string folder = TestExecutableFolder() + "\\..\\screenshots";
  std::filesystem::create_directories(FsPath(folder));
  phases = &outcome_phases;
  const std::string path = folder + "\\plain-loading.bmp";
  // With the manifest's totals, and without them at their widest.
  const LoadProgress figures[] = {{3, 12, 400000, 1200000}, {127, 0, 123456789, 0}};
  std::vector<std::string> during;
  std::vector<LRESULT> lines;
  bool animated = false;
  outcome_phases.during_client_part = [&](UpdateRun& run) {
    for (const LoadProgress& shown : figures) {
      run.front.captions.ShowLoadProgress(shown);
      RedrawWindow(Main(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
      during.push_back(CaptionText());
      lines.push_back(SendMessageW(Control(kMCaptions), EM_GETLINECOUNT, 0, 0));
      if (during.size() == 1) {
        EXPECT_TRUE(SaveWindowPicture(Main(), path));
      }
    }
    animated = IsWindowVisible(Control(kAProgress)) != FALSE;
    run.front.captions.EndLoadProgress();
    during.push_back(CaptionText());
  };
  StartUp();
  SetText(kEProgramLocation, MakeProduct(true, false));
  auto boxes = Answer({{BoxAction::kClick, "&Yes"}});
  Click(kOKBtn);
  ASSERT_TRUE(boxes->WaitForSteps());
  EXPECT_EQ(during, (std::vector<std::string>{"Идет обновление...\rЗагрузка: 33%, таблиц 3 из 12",
                                              "Идет обновление...\rЗагружено строк: 123 456 789",
                                              "Идет обновление..."}));
  EXPECT_EQ(lines, (std::vector<LRESULT>{2, 2}));  // the figures fit the area's width
  EXPECT_TRUE(animated);
  EXPECT_GT(std::filesystem::file_size(FsPath(path)), 476u * 473u * 3u);
}

}  // namespace
}  // namespace updater::testing
