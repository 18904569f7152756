#include "engine/profiles.h"

namespace updater {

// The ADMN password's factory default is one character; the profile table is
// where the product's builds fix it.
const std::array<ProfileDefinition, 4> kProjectProfiles = {{
    {"Marlix", "Marlix", "Marlix.fdb", "Marlix.exe", "C:\\WEXR\\Marlix", "vormelduka", "1",
     "fbclient.dll", "localhost/3051:", 2},
    {"Rezorazera", "REZORAZERA", "Rezorazera.fdb", "Rezorazera.exe",
     "C:\\Program files\\BrenvikSoft\\REZORAZERA_RU", "vormelduka", std::nullopt, std::nullopt,
     std::nullopt, 2},
    {"Tessam_Mini", "TESSAM_MINI", "Tessam_Mini.fdb", "Tessam_Mini.exe",
     "C:\\Program files\\BrenvikSoft\\TESSAM_MINI_RU", "vormelduka", std::nullopt, std::nullopt,
     std::nullopt, 2},
    {"Tessam", "TESSAM", "Tessam.fdb", "Tessam.exe", "C:\\Program files\\BrenvikSoft\\TESSAM_RU",
     "vormelduka", std::nullopt, std::nullopt, std::nullopt, 2},
}};

std::string ProfileCaption(const ProfileDefinition& definition) {
  return std::string("Updater ПО КЕЛЬМ ГК \"Бренвик\": обновление проекта ") +
         definition.MenuCaption;
}

namespace {

// The fields `definition` carries become the current profile's; those it
// does not carry keep their value.
void CopyProfileFields(const ProfileDefinition& definition, ProjectProfile& profile) {
  profile.ProjectCode = definition.ProjectCode;
  profile.Caption = ProfileCaption(definition);
  profile.DatabaseFile = definition.DatabaseFile;
  profile.ExeFile = definition.ExeFile;
  profile.DefaultFolder = definition.DefaultFolder;
  profile.DefaultSystemPassword = definition.DefaultSystemPassword;
  if (definition.DefaultAdmnPassword) profile.DefaultAdmnPassword = *definition.DefaultAdmnPassword;
  if (definition.ClientLibrary) profile.ClientLibrary = *definition.ClientLibrary;
  if (definition.ServerPrefix) profile.ServerPrefix = *definition.ServerPrefix;
  profile.FreeSpaceFactor = definition.FreeSpaceFactor;
}

// The window's folder, system password and caption, as a profile's apply
// fills them.
void FillWindowFields(ProfileFields& fields) {
  fields.ProductFolder = fields.Profile.DefaultFolder;
  fields.SystemPassword = fields.Profile.DefaultSystemPassword;
  fields.WindowCaption = fields.Profile.Caption;
}

}  // namespace

void ApplyDefaultProfile(ProfileFields& fields) {
  CopyProfileFields(kProjectProfiles[static_cast<size_t>(Project::kMarlix)], fields.Profile);
  FillWindowFields(fields);
  fields.AdmnPassword = fields.Profile.DefaultAdmnPassword;
}

void ApplyProjectProfile(ProfileFields& fields, Project project) {
  CopyProfileFields(kProjectProfiles[static_cast<size_t>(project)], fields.Profile);
  FillWindowFields(fields);
}

}  // namespace updater
