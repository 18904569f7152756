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

}  // namespace
}  // namespace updater::testing
