#include "helper_process.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/paths.h"
#include "temp_folder.h"

namespace updater::testing {

std::string TestExecutableFolder() {
#ifdef _WIN32
  wchar_t path[4096];
  GetModuleFileNameW(nullptr, path, 4096);
  return Utf8(std::filesystem::path(path).parent_path());
#else
  return Utf8(std::filesystem::read_symlink("/proc/self/exe").parent_path());
#endif
}

std::string TestHelperPath() {
  return platform::JoinPath(TestExecutableFolder(), "test_helper.exe");
}

std::string CommandLineOf(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += argument.find(' ') == std::string::npos ? argument : "\"" + argument + "\"";
  }
  return line;
}

HelperProcess::HelperProcess(const std::string& program, std::vector<std::string> arguments,
                             const std::string& marker_folder) {
  static int counter = 0;
  const std::string id = std::to_string(++counter);
  const std::string ready = platform::JoinPath(marker_folder, "ready-" + id);
  release_ = platform::JoinPath(marker_folder, "release-" + id);
  arguments.insert(arguments.begin(), program);
  arguments.push_back(ready);
  arguments.push_back(release_);
  platform::ProcessLaunch launch;
  launch.application = program;
  launch.command_line = CommandLineOf(arguments);
  launch.working_folder = marker_folder;
  auto started = platform::SystemPlatform().processes.Start(launch);
  if (!started) return;
  child_ = std::move(started).value();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!std::filesystem::exists(FsPath(ready)) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ready_ = std::filesystem::exists(FsPath(ready));
}

HelperProcess::~HelperProcess() {
  if (!ended_) Release();
}

uint32_t HelperProcess::Release() {
  std::ofstream(FsPath(release_)) << "release\n";
  return WaitForExit();
}

bool HelperProcess::EndedOnItsOwn() const {
  return std::filesystem::exists(FsPath(release_ + ".ended"));
}

uint32_t HelperProcess::WaitForExit() {
  ended_ = true;
  if (!child_) return 0xFFFFFFFF;
  auto code = child_->WaitForExit();
  return code ? *code : 0xFFFFFFFF;
}

}  // namespace updater::testing
