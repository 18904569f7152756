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

void ApplyDefaultProfile(ProfileFields& fields) {
  const ProfileDefinition& marlix = kProjectProfiles[static_cast<size_t>(Project::kMarlix)];
  ProjectProfile& profile = fields.Profile;
  profile.ProjectCode = marlix.ProjectCode;
  profile.Caption = ProfileCaption(marlix);
  profile.DatabaseFile = marlix.DatabaseFile;
  profile.ExeFile = marlix.ExeFile;
  profile.DefaultFolder = marlix.DefaultFolder;
  profile.DefaultSystemPassword = marlix.DefaultSystemPassword;
  profile.DefaultAdmnPassword = *marlix.DefaultAdmnPassword;
  profile.ClientLibrary = *marlix.ClientLibrary;
  profile.ServerPrefix = *marlix.ServerPrefix;
  profile.FreeSpaceFactor = marlix.FreeSpaceFactor;
  fields.ProductFolder = profile.DefaultFolder;
  fields.SystemPassword = profile.DefaultSystemPassword;
  fields.AdmnPassword = profile.DefaultAdmnPassword;
  fields.WindowCaption = profile.Caption;
}

void ApplyProjectProfile(ProfileFields& fields, Project project) {
  const ProfileDefinition& chosen = kProjectProfiles[static_cast<size_t>(project)];
  ProjectProfile& profile = fields.Profile;
  profile.DatabaseFile = chosen.DatabaseFile;
  profile.ExeFile = chosen.ExeFile;
  profile.FreeSpaceFactor = chosen.FreeSpaceFactor;
  profile.ProjectCode = chosen.ProjectCode;
  profile.Caption = ProfileCaption(chosen);
  profile.DefaultFolder = chosen.DefaultFolder;
  profile.DefaultSystemPassword = chosen.DefaultSystemPassword;
  fields.SystemPassword = profile.DefaultSystemPassword;
  fields.ProductFolder = profile.DefaultFolder;
  fields.WindowCaption = profile.Caption;
}

}  // namespace updater
