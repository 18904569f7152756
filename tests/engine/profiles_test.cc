#include "engine/profiles.h"

#include <gtest/gtest.h>

namespace updater {
namespace {

const char kCaptionStart[] = "Updater ПО КЕЛЬМ ГК \"Бренвик\": обновление проекта ";

TEST(ProjectProfiles, StartUpAppliesTheMarlixDefaults) {
  ProfileFields fields;
  EXPECT_EQ(fields.Profile.ProjectCode, "");  // no project before start-up applies one

  ApplyDefaultProfile(fields);

  const ProjectProfile& p = fields.Profile;
  EXPECT_EQ(p.ProjectCode, "Marlix");
  EXPECT_EQ(p.Caption, std::string(kCaptionStart) + "Marlix");
  EXPECT_EQ(p.DatabaseFile, "Marlix.fdb");
  EXPECT_EQ(p.ExeFile, "Marlix.exe");
  EXPECT_EQ(p.ClientLibrary, "fbclient.dll");
  EXPECT_EQ(p.ServerPrefix, "localhost/3051:");
  EXPECT_EQ(p.FreeSpaceFactor, 2);
  EXPECT_EQ(fields.ProductFolder, "C:\\WEXR\\Marlix");
  EXPECT_EQ(fields.SystemPassword, "vormelduka");
  EXPECT_EQ(fields.AdmnPassword.size(), 1u);
  EXPECT_EQ(fields.WindowCaption, p.Caption);
}

struct OtherProfileCase {
  Project project;
  const char* code;
  const char* menu_caption;
  const char* database;
  const char* exe;
  const char* folder;
};

void PrintTo(const OtherProfileCase& c, std::ostream* out) { *out << c.code; }

class OtherProfiles : public ::testing::TestWithParam<OtherProfileCase> {};

TEST_P(OtherProfiles, ReplaceFolderAndSystemPasswordButKeepAdmnLibraryAndPrefix) {
  const OtherProfileCase& c = GetParam();
  ProfileFields fields;
  ApplyDefaultProfile(fields);
  fields.ProductFolder = "D:\\edited by the operator";
  fields.SystemPassword = "edited";
  fields.AdmnPassword = "admn edited";

  ApplyProjectProfile(fields, c.project);

  const ProjectProfile& p = fields.Profile;
  EXPECT_EQ(p.ProjectCode, c.code);
  EXPECT_EQ(p.DatabaseFile, c.database);
  EXPECT_EQ(p.ExeFile, c.exe);
  EXPECT_EQ(p.FreeSpaceFactor, 2);
  EXPECT_EQ(p.Caption, std::string(kCaptionStart) + c.menu_caption);
  EXPECT_EQ(fields.WindowCaption, p.Caption);
  EXPECT_EQ(fields.ProductFolder, c.folder);
  EXPECT_EQ(fields.SystemPassword, "vormelduka");
  // Not part of these profiles: what start-up put there stays.
  EXPECT_EQ(fields.AdmnPassword, "admn edited");
  EXPECT_EQ(p.ClientLibrary, "fbclient.dll");
  EXPECT_EQ(p.ServerPrefix, "localhost/3051:");
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, OtherProfiles,
    ::testing::Values(
        OtherProfileCase{Project::kRezorazera, "REZORAZERA", "Rezorazera", "Rezorazera.fdb",
                         "Rezorazera.exe", "C:\\Program files\\BrenvikSoft\\REZORAZERA_RU"},
        OtherProfileCase{Project::kTessamMini, "TESSAM_MINI", "Tessam_Mini", "Tessam_Mini.fdb",
                         "Tessam_Mini.exe", "C:\\Program files\\BrenvikSoft\\TESSAM_MINI_RU"},
        OtherProfileCase{Project::kTessam, "TESSAM", "Tessam", "Tessam.fdb", "Tessam.exe",
                         "C:\\Program files\\BrenvikSoft\\TESSAM_RU"}),
    [](const ::testing::TestParamInfo<OtherProfileCase>& info) { return info.param.code; });

TEST(ProjectProfiles, MenuOrderStartsWithTheDefault) {
  EXPECT_STREQ(kProjectProfiles[0].MenuCaption, "Marlix");
  EXPECT_STREQ(kProjectProfiles[1].MenuCaption, "Rezorazera");
  EXPECT_STREQ(kProjectProfiles[2].MenuCaption, "Tessam_Mini");
  EXPECT_STREQ(kProjectProfiles[3].MenuCaption, "Tessam");
}

}  // namespace
}  // namespace updater
