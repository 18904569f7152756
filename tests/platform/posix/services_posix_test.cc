// The service control manager stand-in, driven by the routines the updater
// uses, with the test helper as the service program.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <utility>

#include "fsutil/uWexrRout.h"
#include "platform/command_line.h"
#include "platform/posix/posix_platform.h"
#include "support/helper_process.h"
#include "support/temp_folder.h"

namespace updater::platform {
namespace {

namespace fs = std::filesystem;
using testing::FsPath;
using testing::ReadBytes;
using testing::TempFolder;

std::string HexBytes(const std::string& text) {
  std::string out;
  char byte[4];
  for (const char c : text) {
    std::snprintf(byte, sizeof byte, "%02x,", static_cast<unsigned char>(c));
    out += byte;
  }
  return out + "00,00";
}

std::string RegText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

class ServiceStandInTest : public ::testing::Test {
 protected:
  ServiceStandInTest()
      : registry(temp.Path("registry.reg")),
        services(registry, temp.Path("state")),
        platform{real.files,     real.volumes,   registry,       services,
                 real.processes, real.libraries, real.resources, real.clock} {
    // The server is started through a link of the name Windows would list.
    fs::create_directories(FsPath(temp.Path("fb root/bin")));
    fs::create_symlink(FsPath(testing::TestHelperPath()), FsPath(server));
  }

  void Install(const std::string& name, const std::string& mode) {
    registry_text +=
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\" + name + "]\n" +
        "\"ImagePath\"=\"" +
        RegText(testing::CommandLineOf({server, mode, temp.Path(name + ".ready")})) +
        "\"\n\"Environment\"=hex(7):" + HexBytes(std::string("UPDATER_TEST_VALUE=from ") + name) +
        "\n";
    temp.MakeFile("registry.reg", registry_text);
  }

  uint32_t State(const std::string& name) { return QueryServiceState(platform, "", name); }

  TempFolder temp;
  Platform& real = SystemPlatform();
  PosixRegistry registry;
  PosixServiceControl services;
  Platform platform;
  std::string server = temp.Path("fb root/bin/fbsrvmrlx.exe");
  std::string registry_text = "REGEDIT4\n";
};

TEST_F(ServiceStandInTest, StartsQueriesAndStopsTheImagePathAsAService) {
  Install("BrenvikFireXBirdServer", "listen");
  EXPECT_EQ(State("BrenvikFireXBirdServer"), kServiceStopped);
  ASSERT_TRUE(StartServiceAndWait(platform, "", "brenvikfirexbirdserver"));
  EXPECT_EQ(State("BrenvikFireXBirdServer"), kServiceRunning);
  EXPECT_FALSE(StartServiceAndWait(platform, "", "BrenvikFireXBirdServer"));

  // Started detached, in the root folder, with the key's environment, under
  // the name of the link.
  const std::string report = ReadBytes(server + ".report");
  EXPECT_NE(report.find("\ncwd=/\nenv=from BrenvikFireXBirdServer\n"), std::string::npos) << report;
  EXPECT_EQ(report.rfind(server + "\nlisten\n", 0), 0u) << report;
  bool listed = false;
  for (const ProcessEntry& process : real.processes.Snapshot().value()) {
    listed = listed || process.exe_name == "fbsrvmrlx.exe";
  }
  EXPECT_TRUE(listed);

  EXPECT_TRUE(StopServiceAndWait(platform, "", "BrenvikFireXBirdServer"));
  EXPECT_EQ(State("BrenvikFireXBirdServer"), kServiceStopped);
  EXPECT_FALSE(fs::exists(FsPath(temp.Path("state/BrenvikFireXBirdServer.state"))));
  EXPECT_TRUE(StopServiceAndWait(platform, "", "BrenvikFireXBirdServer"));
}

TEST_F(ServiceStandInTest, AServerThatIgnoresTheStopSignalIsKilled) {
  Install("Stubborn", "ignore-term");
  ASSERT_TRUE(StartServiceAndWait(platform, "", "Stubborn"));
  EXPECT_TRUE(StopServiceAndWait(platform, "", "Stubborn"));
  EXPECT_EQ(State("Stubborn"), kServiceStopped);
}

TEST_F(ServiceStandInTest, FailsAsWindowsFailsForWhatIsNotThere) {
  Install("Broken", "listen");
  fs::remove(FsPath(server));
  EXPECT_FALSE(StartServiceAndWait(platform, "", "Broken"));
  EXPECT_EQ(State("Broken"), kServiceStopped);
  EXPECT_FALSE(StartServiceAndWait(platform, "", "NoSuchService"));
  EXPECT_FALSE(StopServiceAndWait(platform, "", "NoSuchService"));
  EXPECT_FALSE(StartServiceAndWait(platform, "OTHER-PC", "Broken"));
  auto manager = services.OpenManager("", kScManagerConnect);
  auto missing = manager.value()->OpenNamedService("NoSuchService", kServiceQueryStatus);
  EXPECT_EQ(missing.error().code, 1060);
  auto query_only = manager.value()->OpenNamedService("Broken", kServiceQueryStatus);
  EXPECT_EQ(query_only.value()->Start().error().code, 5);
}

TEST_F(ServiceStandInTest, UpdaterScDrivesTheSameServices) {
  Install("ScDriven", "listen");
  // updater-sc takes its registry and state folder from the environment it
  // inherits; the harness's own are put back afterwards.
  const auto saved = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
  };
  const auto registry_before = saved("UPDATER_REGISTRY_FILE");
  const auto state_before = saved("UPDATER_SERVICE_STATE_DIR");
  setenv("UPDATER_REGISTRY_FILE", temp.Path("registry.reg").c_str(), 1);
  setenv("UPDATER_SERVICE_STATE_DIR", temp.Path("state").c_str(), 1);
  const auto run = [&](const std::string& command) {
    ProcessLaunch launch;
    launch.application = UPDATER_SC_PATH;
    launch.command_line = testing::CommandLineOf({UPDATER_SC_PATH, command, "ScDriven"});
    auto child = real.processes.Start(launch);
    return child ? child.value()->WaitForExit().value() : 99u;
  };
  EXPECT_EQ(run("start"), 0u);
  EXPECT_EQ(State("ScDriven"), kServiceRunning);
  EXPECT_EQ(run("query"), 0u);
  EXPECT_EQ(run("start"), 1u);
  EXPECT_EQ(run("stop"), 0u);
  EXPECT_EQ(State("ScDriven"), kServiceStopped);
  for (const auto& [name, value] : {std::pair{"UPDATER_REGISTRY_FILE", registry_before},
                                    std::pair{"UPDATER_SERVICE_STATE_DIR", state_before}}) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
}

}  // namespace
}  // namespace updater::platform
