#include "firebird/uFbService.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "support/failure_of.h"
#include "support/fake_platform.h"
#include "support/fake_registry.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using testing::FailureOf;

const char kMakerKey[] = "SYSTEM\\CurrentControlSet\\Services\\BrenvikFireXBirdServer";
const char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Firebird 2.0 для ПО ГК "
    "\"Бренвик\"";
const char kStockServerKey[] = "SYSTEM\\CurrentControlSet\\Services\\FirebirdServerDefaultInstance";
const char kUnknownKind[] = "Тип сервера FB определить не удалось.";
const char kDamaged[] =
    "Сервис FireBird поврежден или не адаптирован для ПО ГК \"Бренвик\". Обновление прервано.";

// Image paths are written with the build's delimiter ("\" on Windows, "/" on
// Linux), below a real installation folder or a missing one.
class DetectFirebirdServerTest : public ::testing::Test {
 protected:
  DetectFirebirdServerTest()
      : platform{fake.files,     fake.volumes,   registry,       fake.services,
                 fake.processes, fake.libraries, fake.resources, fake.clock} {
    root = platform::IncludeTrailingDelimiter(temp.MakeFolder("FB"));
    missing_root = platform::IncludeTrailingDelimiter(temp.Path("Gone"));
  }

  // `root`, "bin", the delimiter, then `rest`.
  static std::string Image(const std::string& root, const std::string& rest) {
    return root + "bin" + platform::PathDelimiter() + rest;
  }

  TFBServParams Detect() { return DetectFirebirdServer(platform); }

  // The record's five fields, in their order.
  using Fields = std::vector<std::string>;
  static Fields Record(const TFBServParams& p) {
    return {p.ServerRoot, p.ServerKind, p.ConnectionPrefix, p.ServerExe, p.ServiceName};
  }

  testing::TempFolder temp;
  testing::FakePlatform fake;
  testing::FakeRegistry registry;
  platform::Platform platform;
  std::string root;
  std::string missing_root;
};

TEST_F(DetectFirebirdServerTest, TheMakersServiceGivesKindExecutableRootAndPort) {
  const std::string maker = "BrenvikFireXBirdServer";
  const struct {
    std::string image;
    Fields record;
  } cases[] = {
      {Image(root, "fbsrvmrlx.exe -a -p 3051"),
       {root, "SUPER", "localhost/3051:", "FBSRVMRLX.EXE", maker}},
      {Image(root, "Fb_Inet_SrvMrlx.EXE -p  \t3060 -x"),
       {root, "CLASSIC", "localhost/3060:", "FB_INET_SRVMRLX.EXE", maker}},
      // Both names: the Classic test comes last and wins.
      {Image(root, "fbsrvmrlx.exe fb_inet_srvmrlx.exe"),
       {root, "CLASSIC", "localhost/3051:", "FB_INET_SRVMRLX.EXE", maker}},
  };
  for (const auto& c : cases) {
    registry.SetString(kMakerKey, "ImagePath", c.image);
    EXPECT_EQ(Record(Detect()), c.record) << c.image;
  }
}

TEST_F(DetectFirebirdServerTest, TheMakersServiceFailsWithoutKindOrInstallationFolder) {
  const struct {
    std::string image;
    const char* failure;
  } cases[] = {
      {Image(root, "fbserver.exe -s"), kUnknownKind},
      {"", kUnknownKind},
      {Image(missing_root, "fbsrvmrlx.exe"), kDamaged},
      {root + "fbsrvmrlx.exe", kDamaged},                 // no bin folder: no root at all
      {"\"" + Image(root, "fbsrvmrlx.exe\""), kDamaged},  // the quote stays in the root
  };
  for (const auto& c : cases) {
    registry.SetString(kMakerKey, "ImagePath", c.image);
    EXPECT_EQ(FailureOf([&] { Detect(); }), c.failure) << c.image;
  }
}

TEST_F(DetectFirebirdServerTest, AMakersKeyWithoutImagePathCannotTellTheKind) {
  registry.AddKey(kMakerKey);
  EXPECT_EQ(FailureOf([&] { Detect(); }), kUnknownKind);
}

TEST_F(DetectFirebirdServerTest, TheStockInstallationIsUsedWithoutLookingAtItsFolder) {
  const std::string guardian = "FirebirdGuardianDefaultInstance";
  registry.AddKey(kUninstallKey);
  const struct {
    std::string image;
    Fields record;
  } cases[] = {
      {Image(missing_root, "fbserver.exe -s -p 3052"),
       {missing_root, "SUPER", "localhost/3052:", "FBSERVER.EXE", guardian}},
      // The text is cut, not parsed: the opening quote stays in the root.
      {"\"" + Image(missing_root, "FB_INET_SERVER.EXE\""),
       {"\"" + missing_root, "CLASSIC", "localhost/3051:", "FB_INET_SERVER.EXE", guardian}},
  };
  for (const auto& c : cases) {
    registry.SetString(kStockServerKey, "ImagePath", c.image);
    EXPECT_EQ(Record(Detect()), c.record) << c.image;
  }
  registry.SetString(kStockServerKey, "ImagePath", Image(root, "fbsrvmrlx.exe"));
  EXPECT_EQ(FailureOf([&] { Detect(); }), kUnknownKind);
}

TEST_F(DetectFirebirdServerTest, TheMakersServiceWinsOverTheStockInstallation) {
  registry.AddKey(kUninstallKey);
  registry.SetString(kStockServerKey, "ImagePath", Image(root, "fbserver.exe"));
  registry.SetString(kMakerKey, "ImagePath", Image(root, "fbsrvmrlx.exe"));
  EXPECT_EQ(Detect().ServiceName, "BrenvikFireXBirdServer");

  // A maker's key that refuses to open counts as absent.
  registry.DenyAccess(kMakerKey);
  EXPECT_EQ(Detect().ServiceName, "FirebirdGuardianDefaultInstance");
}

TEST_F(DetectFirebirdServerTest, NothingFoundIsAnEmptyRecordAndAnUnreadableEntryAFailure) {
  const Fields empty(5);
  EXPECT_EQ(Record(Detect()), empty);

  // The uninstall entry without the stock server's key.
  registry.AddKey(kUninstallKey);
  EXPECT_EQ(Record(Detect()), empty);

  registry.SetString(kStockServerKey, "ImagePath", Image(root, "fbserver.exe"));
  registry.DenyAccess(kUninstallKey);
  EXPECT_EQ(FailureOf([&] { Detect(); }), kDamaged);
}

}  // namespace
}  // namespace updater
