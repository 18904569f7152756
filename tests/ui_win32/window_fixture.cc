#include "window_fixture.h"

#include "common/failures.h"
#include "fsutil/uWexrRout.h"
#include "platform/paths.h"
#include "platform/win32/win32_platform.h"
#include "ui/win32/win32_startup.h"

namespace updater::testing {

void OutcomePhases::UpdateClientPart(UpdateRun& run) {
  if (during_client_part) during_client_part(run);
  if (end != End::kSuccess) throw UpdateFailure("Не удалось заменить программу.");
}

void OutcomePhases::RollBack(UpdateRun& run, const std::string&) {
  run.RolledBack = true;
  run.ErrorText = end == End::kRestoreFailed ? "Не удалось восстановить программу из копии." : "";
}

WindowTest::WindowTest() {
  executable = temp.MakeFile("Updater\\Updater_Marlix.exe", "MZ");
  Equip(fake);
  fake.volumes.AddDrive(temp.path(), platform::DriveType::kFixed);
}

void WindowTest::Equip(FakePlatform& target) {
  // The pictures are the program's own, carried by this test executable too.
  for (const char* picture : {"logotype", "Success", "Errors"}) {
    target.resources.Add("IMAGES", picture,
                         ReadResource(platform::SystemPlatform(), "IMAGES", picture));
  }
  target.resources.Add("DLL", "fbclient", "the client library");
  target.resources.Add("DLL", "ibescript", "the script engine");
  target.processes.own_executable = executable;
  target.volumes.system_folder = "C:\\WINDOWS\\system32";
}

WindowTest::~WindowTest() { form.reset(); }

void WindowTest::Create() {
  win32::WindowServices services{window_platform != nullptr ? *window_platform : fake.platform,
                                 *phases,
                                 [this](const std::string& program, const std::string& argument) {
                                   shell_opened.emplace_back(program, argument);
                                 },
                                 false};
  form = std::make_unique<win32::TfrmMain>(GetModuleHandleW(nullptr), std::move(services));
}

void WindowTest::StartUp(std::optional<Project> project) {
  Create();
  form->FormCreate();
  form->ApplyDefaultProfileAndLock();
  if (project == Project::kRezorazera) form->mmProject_RezorazeraClick();
  if (project == Project::kTessamMini) form->mmProject_TessamMiniClick();
  if (project == Project::kTessam) form->mmProject_TessamClick();
  form->ShowCentred();
  WaitUntil([] { return false; }, 0);
}

void WindowTest::StartUpWithoutProject() {
  Create();
  form->FormCreate();
  form->ShowCentred();
}

void WindowTest::Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }

void WindowTest::Choose(int command) {
  SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void WindowTest::SetText(int id, const std::string& text) {
  SetWindowTextW(Control(id), platform::Widen(text).c_str());
}

std::unique_ptr<BoxAnswerer> WindowTest::Answer(std::vector<BoxStep> steps) {
  return BoxAnswerer::ForThread(GetCurrentThreadId(), std::move(steps));
}

std::vector<std::string> WindowTest::LogLines() const {
  const std::string text = TextOf(Control(win32::kMLog));
  // The fake clock stands still, so every entry has the same stamp.
  auto& clock = const_cast<FakeClock&>(fake.clock);
  const platform::LocalTime now = clock.Now();
  const std::string stamp = clock.ShortDate(now) + " - " + clock.LongTime(now) + ": ";
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const size_t end = text.find("\r\n", start);
    std::string line =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (line.rfind(stamp, 0) == 0) line = line.substr(stamp.size());
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

std::string WindowTest::CaptionText() const {
  std::string text = TextOf(Control(win32::kMCaptions));
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.erase(at + 1, 1);
  }
  return text;
}

bool WindowTest::MenuEnabled(HMENU popup) const {
  HMENU bar = GetMenu(Main());
  const int count = GetMenuItemCount(bar);
  for (int position = 0; position < count; ++position) {
    if (GetSubMenu(bar, position) == popup) {
      return (GetMenuState(bar, static_cast<UINT>(position), MF_BYPOSITION) &
              (MF_GRAYED | MF_DISABLED)) == 0;
    }
  }
  return false;
}

std::string WindowTest::MakeProduct(bool client_part, bool server_part) {
  const std::string folder = temp.MakeFolder("Product");
  if (client_part) temp.MakeFile("Product\\Program\\Marlix.exe", "MZ");
  if (server_part) temp.MakeFile("Product\\DB_Data\\Marlix.fdb", "database");
  return folder;
}

COLORREF BitmapPixel(HBITMAP bitmap, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const COLORREF colour = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return colour;
}

ControlColours ColoursOf(HWND control) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  // Labels and read-only fields ask their parent the same way.
  SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(control));
  const ControlColours colours{GetTextColor(dc), GetBkColor(dc)};
  DeleteDC(dc);
  return colours;
}

}  // namespace updater::testing
