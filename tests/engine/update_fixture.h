// An installed old version of the product in a real folder, the files of
// the new version's payload, and the inputs of an update run over the fake
// platform, for the tests of the run's phases.
#pragma once

#include <memory>
#include <string>

#include "engine/profiles.h"
#include "engine/uUpdate.h"
#include "support/fake_platform.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace updater::testing {

class UpdateFixture {
 public:
  // The product folder is `<base>/Marlix`, on a fixed drive with plenty of
  // free space; the payload's files are gathered in `<base>/payload`. The
  // server is a Classic one whose service runs "fb_inet_srvmrlx.exe", with
  // its root folder (and "udf" in it) in `<base>/server`.
  // With `real_libraries`, libraries are loaded from the system (the
  // Firebird client and the script engine beside the test program);
  // otherwise none can be loaded.
  explicit UpdateFixture(const std::string& base, bool real_libraries = false);

  // Program\Marlix.exe with `ini` as its settings file Marlix.ini.
  void InstallClientPart(const std::string& ini = "[Language]\r\nProgram_Language=2\r\n");
  // A file of the new version's payload.
  std::string PayloadFile(const std::string& name, const std::string& bytes = "");
  // The payload's files of the client part: the new program and the four
  // help files, each holding its own name.
  void PayloadClientFiles();

  // The payload resource "FILES" and the program it is written out as: run
  // in a run's NewDir, it copies the payload's files there. Registered for
  // the run that starts at the fake clock's current second.
  void RegisterPayload();

  // The context of a run started now, without its log lines.
  UpdateContext Context();
  // A run of the product folder with the fixture's inputs, its context
  // initialised (RegisterPayload included); the phases are then called on it.
  UpdateRun& StartRun();

  // The whole run through RunUpdate with the product's phases.
  UpdateOutcome Run();

  std::string base;
  std::string product;
  std::string payload;
  std::string server_root;
  FakePlatform fake;
  platform::Platform platform;
  RecordingFrontEnd ui;
  ProfileFields fields;
  TFBServParams server;
  UpdateRequest request;
  ProductUpdatePhases phases;

 private:
  std::unique_ptr<UpdateRun> run_;
};

// The names in `folder`, sorted; folders end in "/".
std::vector<std::string> FolderNames(const std::string& folder);

}  // namespace updater::testing
