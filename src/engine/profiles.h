// The four project profiles and what applying one does to the window's
// fields. The fields are kept here, apart from any window, so that the rules
// hold for every front end and are tested without one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace updater {

// The settings of the current project.
struct ProjectProfile {
  std::string ProjectCode;  // empty: no project chosen
  std::string Caption;
  std::string DatabaseFile;
  std::string ExeFile;
  std::string DefaultFolder;
  std::string DefaultSystemPassword;
  std::string DefaultAdmnPassword;
  std::string ClientLibrary;
  std::string ServerPrefix;
  int32_t FreeSpaceFactor = 0;  // the free-space check uses its low byte
};

// One row of the profile table. Fields that are not part of a profile are
// nullopt; applying that profile leaves the current value alone.
struct ProfileDefinition {
  const char* MenuCaption;
  const char* ProjectCode;
  const char* DatabaseFile;
  const char* ExeFile;
  const char* DefaultFolder;
  const char* DefaultSystemPassword;
  std::optional<const char*> DefaultAdmnPassword;
  std::optional<const char*> ClientLibrary;
  std::optional<const char*> ServerPrefix;
  int32_t FreeSpaceFactor;
};

enum class Project { kMarlix = 0, kRezorazera = 1, kTessamMini = 2, kTessam = 3 };

// The profiles in the order of the Project menu; Marlix is the default.
extern const std::array<ProfileDefinition, 4> kProjectProfiles;

// "Updater ПО КЕЛЬМ ГК "Бренвик": обновление проекта " and the menu caption.
std::string ProfileCaption(const ProfileDefinition& definition);

// What the window shows and holds that profiles touch.
struct ProfileFields {
  ProjectProfile Profile;      // the current profile; empty before the first apply
  std::string ProductFolder;   // the product folder field
  std::string SystemPassword;  // the system (SYSDBA) password field
  std::string AdmnPassword;    // the ADMN password field
  std::string WindowCaption;
};

// Start-up's apply: every field of the Marlix profile becomes current, and the
// folder, both passwords and the caption are filled from it.
void ApplyDefaultProfile(ProfileFields& fields);

// A Project menu entry's apply: the fields `project` carries become current
// (for the three other projects: DatabaseFile, ExeFile, FreeSpaceFactor,
// ProjectCode, Caption and the two defaults); the folder and the system
// password are replaced by its defaults and the window caption by its
// caption. The ADMN password field stays as it is, and so do the fields the
// profile does not carry (ClientLibrary, ServerPrefix).
void ApplyProjectProfile(ProfileFields& fields, Project project);

}  // namespace updater
