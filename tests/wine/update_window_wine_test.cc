// Whole update runs of the windowed Updater_Marlix.exe under Wine, as an
// operator does them: the old sample product on its own drive, the updater
// started beside the real server, its fields filled, Start clicked, the
// boxes answered, and the outcome awaited with the real clock (every fixed
// pause of the run included). The stage is set by tests/wine/update_window_run
// inside tests/wine/with_wine_server; the checks on disk and in the
// database are those of the Linux build's whole runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "engine/product_fixture.h"
#include "support/firebird_server.h"
#include "support/helper_process.h"
#include "support/server_names.h"
#include "support/temp_folder.h"
#include "ui/win32/control_ids.h"
#include "window_driver.h"

namespace updater::testing {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The build tree: this program lies in its tests\wine folder.
std::string BuildFolder() { return TestExecutableFolder() + "\\..\\.."; }

std::string Stage(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) {
    throw std::runtime_error(std::string(name) +
                             " is not set: tests/wine/update_window_run sets "
                             "the stage of these tests");
  }
  return value;
}

class UpdateWindowTest : public ::testing::Test {
 protected:
  // The product installed in `folder` of the stage's drive, reached by the
  // server under the name the updater gives it.
  void Installed(const std::string& folder) {
    product = Stage("UPDATER_WINDOW_RUN_DRIVE") + "\\" + folder;
    const std::string file = "\\DB_Data\\MARLIX.FDB";
    LetTheServerOpen(
        product + file,
        Stage("UPDATER_WINDOW_RUN_DRIVE_ON_SERVER") + "/" + folder + "/DB_Data/MARLIX.FDB",
        server.root);
    database = server.prefix + product + file;
    before = ContentOf(database);
    library_before = ReadBytes(Library());
  }

  // Starts the updater of the stage's folder `folder`, fills the fields,
  // clicks Start and answers the boxes by `steps`; waits for the outcome,
  // takes the picture `picture` of the window, and closes it.
  void Run(const std::string& folder, std::vector<BoxStep> steps, const std::string& picture) {
    RunningUpdater updater(Stage("UPDATER_WINDOW_RUN_DRIVE") + "\\" + folder +
                           "\\Updater_Marlix.exe");
    ASSERT_TRUE(updater.started());
    HWND window = updater.WaitForWindow();
    ASSERT_NE(window, nullptr);
    updater.Fill(window, win32::kEProgramLocation, product);
    updater.Fill(window, win32::kEAdmnPassword, server.admn_password);
    updater.Fill(window, win32::kEPassword, server.sysdba_password);
    auto boxes = BoxAnswerer::ForProcess(updater.id(), std::move(steps));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(win32::kOKBtn, BN_CLICKED), 0);

    const HWND strip = GetDlgItem(window, win32::kButtonStrip);
    const HWND captions = GetDlgItem(strip, win32::kMCaptions);
    // The run is over when the Start button is enabled again.
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(strip, win32::kOKBtn)); }, 60));
    EXPECT_TRUE(
        WaitUntil([&] { return IsWindowEnabled(GetDlgItem(strip, win32::kOKBtn)) != FALSE; }, 900));
    EXPECT_TRUE(boxes->WaitForSteps(60));
    boxes_seen = boxes->Transcript();
    boxes.reset();
    outcome = TextOf(captions);

    const std::string pictures = BuildFolder() + "\\screenshots";
    fs::create_directories(FsPath(pictures));
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    WaitUntil([] { return false; }, 1);
    EXPECT_TRUE(SaveWindowPicture(window, pictures + "\\" + picture + ".bmp"));
    EXPECT_EQ(updater.Close(window), 0);
  }

  std::string Program(const std::string& name) const { return product + "\\Program\\" + name; }
  std::string Library() const { return server.root + "\\UDF\\wexr_udf_u8.dll"; }
  std::string Sample(const std::string& name) const {
    return ReadBytes(BuildFolder() + "\\sample\\" + name);
  }

  const TestServer& server = RequireTestServer();
  std::string product;
  std::string database;
  DatabaseContent before;
  std::string library_before;  // "<missing>" when there was none
  Lines boxes_seen;
  std::string outcome;
};

std::string Confirmation(const std::string& folder) {
  return "Information: В указанном каталоге: \"" + folder +
         "\" - обнаружены КЛИЕНТСКАЯ и СЕРВЕРНАЯ части программы \"Marlix\"\rПродолжить "
         "обновление?";
}

TEST_F(UpdateWindowTest, TheOldVersionIsUpdatedWithEveryValueCarriedOver) {
  Installed("Marlix");
  Run("Updater", {{BoxAction::kClick, "&Yes"}}, "update-window-success");
  EXPECT_EQ(boxes_seen, Lines{Confirmation(product)});
  EXPECT_EQ(outcome, "Обновление прошло успешно.\r\nЗавершите работу с программой.");
  EXPECT_TRUE(ReadBytes(Program("Marlix.exe")) == Sample("new-version\\Marlix.exe"))
      << "Marlix.exe is not the new version's";
  EXPECT_EQ(ReadBytes(Program("storage.ini")), "<missing>");
  EXPECT_TRUE(fs::exists(FsPath(Program("Marlix.chm"))));
  EXPECT_TRUE(fs::exists(FsPath(Library())));
  EXPECT_FALSE(fs::exists(FsPath(product + "\\Updater.lock")));
  ExpectEveryValueCarriedOver(before, database, "UTF8");
}

TEST_F(UpdateWindowTest, AFailingScriptLeavesTheOldVersionBackOnline) {
  Installed("Marlix rollback");
  Run("Updater failing", {{BoxAction::kClick, "&Yes"}, {BoxAction::kEnter}},
      "update-window-rollback");
  ASSERT_EQ(boxes_seen.size(), 2u) << ::testing::PrintToString(boxes_seen);
  EXPECT_EQ(boxes_seen[0], Confirmation(product));
  EXPECT_NE(boxes_seen[1].find("Ошибка применения скрипта!"), std::string::npos) << boxes_seen[1];
  EXPECT_EQ(outcome, "Обновление прошло с ошибками!\r\nОткат изменений завершен.");
  EXPECT_TRUE(ReadBytes(Program("Marlix.exe")) == Sample("old\\Marlix.exe"))
      << "Marlix.exe is not the old version's";
  EXPECT_NE(ReadBytes(Program("storage.ini")), "<missing>");
  // The server's library is again the one it had before the run.
  EXPECT_EQ(ReadBytes(Library()), library_before);
  const DatabaseContent after = ContentOf(database);
  EXPECT_EQ(after.rows, before.rows);
  EXPECT_EQ(after.privileges, before.privileges);
  ExpectEveryValueCarriedOver(before, database, "WIN1251");
}

}  // namespace
}  // namespace updater::testing
