#include "engine/update_fixture.h"

#include <algorithm>
#include <filesystem>

#include "platform/paths.h"

namespace updater::testing {

namespace fs = std::filesystem;

UpdateFixture::UpdateFixture(const std::string& base_folder, bool real_libraries)
    : base(base_folder),
      product(platform::JoinPath(base_folder, "Marlix")),
      payload(platform::JoinPath(base_folder, "payload")),
      server_root(platform::JoinPath(base_folder, "server")),
      platform{
          fake.files,     fake.volumes,
          fake.registry,  fake.services,
          fake.processes, real_libraries ? platform::SystemPlatform().libraries : fake.libraries,
          fake.resources, fake.clock},
      ui(fake.files, fake.clock) {
  fs::create_directories(FsPath(product));
  fs::create_directories(FsPath(payload));
  fs::create_directories(FsPath(platform::JoinPath(server_root, "udf")));
  fake.volumes.AddDrive(base, platform::DriveType::kFixed, uint64_t{1} << 40);
  ApplyDefaultProfile(fields);
  server.ServerRoot = platform::IncludeTrailingDelimiter(server_root);
  server.ServerKind = "CLASSIC";
  server.ServerExe = "fb_inet_srvmrlx.exe";
  server.ServiceName = "BrenvikFireXBirdServer";
  server.ConnectionPrefix = fields.Profile.ServerPrefix;
  FakeServiceBehaviour behaviour;
  behaviour.process_name = server.ServerExe;
  fake.services.AddService(server.ServiceName, behaviour, platform::kServiceRunning);
  fake.processes.own_pid = fake.processes.Add("engine_tests");
  request = {product, fields.SystemPassword, fields.AdmnPassword, fields.Profile.ProjectCode,
             &ui.log};
}

void UpdateFixture::InstallClientPart(const std::string& ini) {
  const fs::path program = FsPath(product) / "Program";
  fs::create_directories(program);
  WriteBytes(Utf8(program / "Marlix.exe"), "old program");
  WriteBytes(Utf8(program / "Marlix.ini"), ini);
}

std::string UpdateFixture::PayloadFile(const std::string& name, const std::string& bytes) {
  const std::string path = platform::JoinPath(payload, name);
  WriteBytes(path, bytes);
  return path;
}

void UpdateFixture::PayloadClientFiles() {
  for (const char* name :
       {"Marlix.exe", "RU_Marlix.chm", "EN_Marlix.chm", "DE_Marlix.chm", "FR_Marlix.chm"}) {
    PayloadFile(name, std::string("new ") + name);
  }
}

void UpdateFixture::RegisterPayload() {
  fake.resources.Add("EXEFILE", "FILES", "the payload archive");
  const std::string from = payload;
  // The run may take the name of one of the next seconds for its working
  // folder (when the current one holds an earlier run's backup).
  for (int second = 0; second < 4; ++second) {
    UpdateContext context = Context();
    FakeClock later;
    later.Set(fake.clock.Now());
    later.Advance(1000 * second);
    SetTimeStamp(context, later.Now());
    fake.processes.AddProgram(
        platform::JoinPath(context.NewDir, "files.exe"), 0,
        [from](const platform::ProcessLaunch& launch) {
          // Entry by entry: the Windows build's std::filesystem takes any
          // two existing folders of one drive for the same one (it has no
          // file numbers to tell them apart) and refuses to copy the payload
          // folder onto the working folder itself.
          for (const fs::directory_entry& entry : fs::directory_iterator(FsPath(from))) {
            fs::copy(entry.path(), FsPath(launch.working_folder) / entry.path().filename(),
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing);
          }
        });
  }
}

UpdateContext UpdateFixture::Context() {
  UpdateContext context;
  context.ProgramPath = product;
  context.ProgramDir = platform::JoinPath(product, "Program");
  context.DbDataDir = platform::JoinPath(product, "DB_Data");
  SetTimeStamp(context, fake.clock.Now());
  return context;
}

UpdateRun& UpdateFixture::StartRun() {
  RegisterPayload();
  run_ = std::make_unique<UpdateRun>(
      UpdateRun{request, fields.Profile, server, {}, {}, false, {}, platform, ui.front, {}});
  run_->Context = InitUpdateContext(product, fields.Profile, platform, ui.front);
  return *run_;
}

UpdateOutcome UpdateFixture::Run() {
  RegisterPayload();
  return RunUpdate(request, fields.Profile, server, platform, ui.front, phases);
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(FsPath(folder), error)) {
    names.push_back(Utf8(entry.path().filename()) +
                    (entry.is_directory() && !entry.is_symlink() ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace updater::testing
