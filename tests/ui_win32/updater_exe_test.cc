// The built Updater_Marlix.exe started as an operator starts it, in folders
// of its own, and watched from outside: what it writes next to itself
// before its window shows, under which name it speaks, and what a damaged
// server registration shows first.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/win32/win32_platform.h"
#include "support/helper_process.h"
#include "support/temp_folder.h"
#include "ui/win32/control_ids.h"
#include "window_driver.h"

namespace updater::testing {
namespace {

namespace fs = std::filesystem;
using platform::Widen;
using Lines = std::vector<std::string>;

std::string BuildFolder() { return TestExecutableFolder() + "\\.."; }

// A copy of the built updater as `name` in a new folder `folder` of `temp`.
std::string CopyOfUpdater(const TempFolder& temp, const std::string& folder,
                          const std::string& name) {
  const std::string target = temp.MakeFolder(folder) + "\\" + name;
  fs::copy_file(FsPath(BuildFolder() + "\\Updater_Marlix.exe"), FsPath(target));
  return target;
}

Lines FilesIn(const std::string& folder) {
  Lines names;
  if (!fs::is_directory(FsPath(folder))) return names;
  for (const auto& entry : fs::directory_iterator(FsPath(folder))) {
    names.push_back(Utf8(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct FileState {
  uintmax_t size;
  fs::file_time_type time;
  bool operator==(const FileState&) const = default;
};
FileState StateOf(const std::string& path) {
  return {fs::file_size(FsPath(path)), fs::last_write_time(FsPath(path))};
}

// The control `id` of the updater's window, in the window itself or in one
// of its groups.
HWND ControlOf(HWND window, int id) {
  if (HWND direct = GetDlgItem(window, id)) return direct;
  for (int panel : {win32::kConnectionGroup, win32::kLogGroup, win32::kButtonStrip}) {
    if (HWND inside = GetDlgItem(GetDlgItem(window, panel), id)) return inside;
  }
  return nullptr;
}

// `text` in the Windows-1251 code page, as the log file holds it.
std::string Ansi(const std::string& text) {
  const std::wstring wide = Widen(text);
  std::string bytes(wide.size(), '\0');
  WideCharToMultiByte(1251, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                      static_cast<int>(bytes.size()), nullptr, nullptr);
  return bytes;
}

// The operator types the product folder, presses Start and answers Yes,
// twice: a program whose settings name no known language fails the client
// part update, which is rolled back; with its language set, the client part
// is updated from the payload the updater carries (the sample product's new
// version), unpacked and installed by the product's own run. A picture of
// the window after each, beside those of the window tests.
TEST(UpdaterExe, RollsBackAndThenUpdatesAClientPartFromThePayloadItCarries) {
  TempFolder temp;
  const std::string executable = CopyOfUpdater(temp, "Updater", "Updater_Marlix.exe");
  const std::string product = temp.MakeFolder("Продукт");
  const std::string program = product + "\\Program";
  temp.MakeFile("Продукт\\Program\\Marlix.exe", "the old program");
  const std::string new_version = BuildFolder() + "\\sample\\new-version";
  const std::string pictures = BuildFolder() + "\\screenshots";
  fs::create_directories(FsPath(pictures));

  RunningUpdater updater(executable);
  ASSERT_TRUE(updater.started());
  HWND window = updater.WaitForWindow();
  ASSERT_NE(window, nullptr);
  const std::wstring folder = Widen(product);
  SendMessageW(ControlOf(window, win32::kEProgramLocation), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(folder.c_str()));
  HWND captions = ControlOf(window, win32::kMCaptions);
  const std::string confirmation = "Information: В указанном каталоге: \"" + product +
                                   "\" - обнаружены КЛИЕНТСКАЯ часть программы "
                                   "\"Marlix\"\rПродолжить обновление?";
  const struct {
    const char* name;
    const char* language;
    Lines boxes;
    std::string caption;
  } runs[] = {
      {"rollback",
       "5",
       {confirmation, "Error: Невозможно определить язык программы!"},
       "Обновление прошло с ошибками!\r\nОткат изменений завершен."},
      {"success",
       "2",
       {confirmation},
       "Обновление прошло успешно.\r\nЗавершите работу с программой."},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.name);
    WriteBytes(program + "\\Marlix.ini",
               std::string("[Language]\r\nProgram_Language=") + run.language + "\r\n");
    std::vector<BoxStep> steps{{BoxAction::kClick, "&Yes"}};
    steps.resize(run.boxes.size());
    auto boxes = BoxAnswerer::ForProcess(updater.id(), steps);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(win32::kOKBtn, BN_CLICKED),
                 reinterpret_cast<LPARAM>(ControlOf(window, win32::kOKBtn)));
    ASSERT_TRUE(boxes->WaitForSteps());
    EXPECT_EQ(boxes->Transcript(), run.boxes);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(captions) == run.caption; }, 300))
        << TextOf(captions) << "\n"
        << TextOf(ControlOf(window, win32::kMLog));
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    WaitUntil([] { return false; }, 1);
    EXPECT_TRUE(SaveWindowPicture(window, pictures + "\\updater-exe-" + run.name + ".bmp"));
    if (std::string(run.name) == "rollback") {
      EXPECT_EQ(ReadBytes(program + "\\Marlix.exe"), "the old program");
    }
  }

  EXPECT_EQ(ReadBytes(program + "\\Marlix.exe"), ReadBytes(new_version + "\\Marlix.exe"));
  EXPECT_EQ(ReadBytes(program + "\\Marlix.chm"), ReadBytes(new_version + "\\EN_Marlix.chm"));
  EXPECT_EQ(updater.Close(window), 0);
  const std::string logs_folder = executable.substr(0, executable.rfind('\\')) + "\\Logs";
  const Lines logs = FilesIn(logs_folder);
  ASSERT_EQ(logs.size(), 1u);
  const std::string log = ReadBytes(logs_folder + "\\" + logs[0]);
  EXPECT_NE(log.find(Ansi("Обновление прошло успешно. Завершите работу с программой.")),
            std::string::npos);
}

TEST(UpdaterExe, WritesItsLibrariesAndLogBeforeItsWindowAndLeavesThemOnTheNextStart) {
  TempFolder temp;
  const std::string executable = CopyOfUpdater(temp, "Первый запуск", "Updater_Marlix.exe");
  const std::string folder = executable.substr(0, executable.rfind('\\'));
  const std::string product = temp.MakeFolder("Продукт");
  temp.MakeFile("Продукт\\DB_Data\\Marlix.fdb", "database");
  Lines first_files;
  Lines first_logs;
  std::string first_log = "<none>";
  {
    RunningUpdater updater(executable);
    ASSERT_TRUE(updater.started());
    HWND window = updater.WaitForWindow();
    ASSERT_NE(window, nullptr);
    // What is there when the window first shows.
    first_files = FilesIn(folder);
    first_logs = FilesIn(folder + "\\Logs");
    if (first_logs.size() == 1) first_log = ReadBytes(folder + "\\Logs\\" + first_logs[0]);
    EXPECT_EQ(TextOf(window), "Updater_Marlix");
    // The database commands load the client library written next to the
    // program (this build's stand-in, which has no entry points).
    EXPECT_EQ(
        updater.BringDatabaseOnline(window, product)
            .rfind("Updater_Marlix: В клиентской библиотеке \"fbclient.dll\" не найдена функция",
                   0),
        0u);
    EXPECT_EQ(updater.Close(window), 0);
  }
  EXPECT_EQ(first_files, (Lines{"IBEScript.dll", "Logs", "Updater_Marlix.exe", "fbclient.dll"}));
  EXPECT_EQ(ReadBytes(folder + "\\IBEScript.dll"),
            ReadBytes(BuildFolder() + "\\src\\scriptengine\\IBEScript.dll"));
  EXPECT_EQ(ReadBytes(folder + "\\fbclient.dll").substr(0, 2), "MZ");
  EXPECT_EQ(first_logs.size(), 1u);
  EXPECT_EQ(first_log, "");

  // The next start, in a later second: the libraries stay as they are (one
  // of them replaced by another file meanwhile, which is then the one used),
  // and a second log appears.
  fs::remove(FsPath(folder + "\\fbclient.dll"));
  const std::string other_client(4096, 'c');
  std::ofstream(FsPath(folder + "\\fbclient.dll"), std::ios::binary) << other_client;
  const FileState engine = StateOf(folder + "\\IBEScript.dll");
  const FileState client = StateOf(folder + "\\fbclient.dll");
  // A second start within the same second would name its log as the first.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  {
    RunningUpdater updater(executable);
    HWND window = updater.WaitForWindow();
    ASSERT_NE(window, nullptr);
    // The library found there is the one used: this one is no library at all.
    EXPECT_EQ(
        updater.BringDatabaseOnline(window, product)
            .rfind("Updater_Marlix: Невозможно загрузить клиентскую библиотеку \"fbclient.dll\"",
                   0),
        0u);
    EXPECT_EQ(updater.Close(window), 0);
  }
  EXPECT_TRUE(StateOf(folder + "\\IBEScript.dll") == engine);
  EXPECT_TRUE(StateOf(folder + "\\fbclient.dll") == client);
  EXPECT_EQ(ReadBytes(folder + "\\fbclient.dll"), other_client);
  EXPECT_EQ(FilesIn(folder + "\\Logs").size(), 2u);
}

// The maker's service key of the registry, damaged for one test: its image
// path names a server folder that does not exist. What was there before
// comes back afterwards.
class DamagedServerRegistration {
 public:
  DamagedServerRegistration() {
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                    &disposition_);
    if (disposition_ == REG_OPENED_EXISTING_KEY) {
      wchar_t old[1024] = {};
      DWORD size = sizeof old;
      DWORD type = 0;
      had_value_ = RegQueryValueExW(key_, L"ImagePath", nullptr, &type,
                                    reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
      if (had_value_) old_value_.assign(old, size / sizeof(wchar_t));
      old_type_ = type;
    }
    const std::wstring damaged = L"C:\\Нет такого сервера\\bin\\fbsrvmrlx.exe -a";
    RegSetValueExW(key_, L"ImagePath", 0, REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(damaged.c_str()),
                   static_cast<DWORD>((damaged.size() + 1) * sizeof(wchar_t)));
  }
  ~DamagedServerRegistration() {
    if (had_value_) {
      RegSetValueExW(key_, L"ImagePath", 0, old_type_,
                     reinterpret_cast<const BYTE*>(old_value_.data()),
                     static_cast<DWORD>(old_value_.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key_);
    if (disposition_ == REG_CREATED_NEW_KEY) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
  }
  DamagedServerRegistration(const DamagedServerRegistration&) = delete;
  DamagedServerRegistration& operator=(const DamagedServerRegistration&) = delete;

 private:
  static constexpr wchar_t kKey[] = L"SYSTEM\\CurrentControlSet\\Services\\BrenvikFireXBirdServer";
  HKEY key_ = nullptr;
  DWORD disposition_ = 0;
  bool had_value_ = false;
  std::wstring old_value_;
  DWORD old_type_ = REG_SZ;
};

TEST(UpdaterExe, ADamagedServerRegistrationIsShownBeforeTheWindowUnderTheProgramsOwnName) {
  TempFolder temp;
  const DamagedServerRegistration damaged;
  for (const std::string name : {"Updater_Marlix", "Обновление Марликс"}) {
    SCOPED_TRACE(name);
    const std::string executable = CopyOfUpdater(temp, name, name + ".exe");
    RunningUpdater updater(executable);
    ASSERT_TRUE(updater.started());
    bool window_shown_meanwhile = true;
    auto boxes = BoxAnswerer::ForProcess(
        updater.id(), {{BoxAction::kEnter, "", [&](const SeenBox&) {
                          window_shown_meanwhile =
                              !WindowsOfProcess(updater.id(), win32::kMainWindowClass).empty();
                        }}});
    ASSERT_TRUE(boxes->WaitForSteps());
    const Lines seen = boxes->Transcript();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].rfind(name + ": Сервис FireBird поврежден или не адаптирован для ПО ГК "
                                   "\"Бренвик\". Обновление прервано.\rВозможно, сервер Firebird "
                                   "не отвечает",
                            0),
              0u)
        << seen[0];
    EXPECT_FALSE(window_shown_meanwhile);
    HWND window = updater.WaitForWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TextOf(window), name);
    boxes.reset();
    EXPECT_EQ(updater.Close(window), 0);
  }
}

}  // namespace
}  // namespace updater::testing
