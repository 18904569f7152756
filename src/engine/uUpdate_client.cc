// The client part update: the new program and the help file of the
// program's language, which its settings file next to it names.
#include <charconv>

#include "common/failures.h"
#include "engine/uUpdate.h"
#include "engine/uUpdate_steps.h"
#include "platform/paths.h"

namespace updater {
namespace {

using update_steps::Log;

constexpr char kLanguageSection[] = "Language";
constexpr char kLanguageKey[] = "Program_Language";
constexpr char kNewProgram[] = "Marlix.exe";
constexpr char kHelpFile[] = "Marlix.chm";
// The payload's help file of each language, 1 to 4.
constexpr const char* kHelpFiles[] = {"RU_Marlix.chm", "EN_Marlix.chm", "DE_Marlix.chm",
                                      "FR_Marlix.chm"};

// `exe_file` with its extension replaced by ".ini".
std::string SettingsFileName(const std::string& exe_file) {
  const size_t dot = exe_file.rfind('.');
  return (dot == std::string::npos ? exe_file : exe_file.substr(0, dot)) + ".ini";
}

// An integer value of an initialisation file as the product reads it: a
// decimal number with an optional sign, or a hexadecimal one after "$" or
// "0x"; 0 for anything else.
int IniInteger(const std::string& text) {
  std::string digits = text;
  int base = 10;
  if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) {
    digits.erase(0, 2);
    base = 16;
  } else if (digits.rfind('$', 0) == 0) {
    digits.erase(0, 1);
    base = 16;
  }
  if (base == 10 && digits.rfind('+', 0) == 0) digits.erase(0, 1);
  int value = 0;
  const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || parsed.ec != std::errc() || parsed.ptr != digits.data() + digits.size()) {
    return 0;
  }
  return value;
}

// The program's language from its settings file; a file without the
// section gets it, set to Russian.
int ProgramLanguage(UpdateRun& run, const std::string& settings) {
  platform::FileSystem& files = run.platform.files;
  const auto unreadable = [&](const platform::SystemError& error) {
    return UpdateFailure("Невозможно прочитать файл " + settings + "!\r" + error.Describe());
  };
  auto has_section = files.IniSectionExists(settings, kLanguageSection);
  if (!has_section) throw unreadable(has_section.error());
  if (!*has_section) {
    if (platform::Status written =
            files.IniWriteString(settings, kLanguageSection, kLanguageKey, "1");
        !written) {
      throw UpdateFailure("Невозможно записать в файл " + settings + "!\r" +
                          written.error().Describe());
    }
    return 1;
  }
  auto value = files.IniReadString(settings, kLanguageSection, kLanguageKey);
  if (!value) throw unreadable(value.error());
  const int language = value->has_value() ? IniInteger(**value) : 0;
  if (language < 1 || language > static_cast<int>(std::size(kHelpFiles))) {
    throw UpdateFailure("Невозможно определить язык программы!");
  }
  return language;
}

}  // namespace

void ProductUpdatePhases::UpdateClientPart(UpdateRun& run) {
  const UpdateContext& context = run.Context;
  platform::FileSystem& files = run.platform.files;
  Log(run, "Обновление клиентской части");
  const std::string settings =
      platform::JoinPath(context.ProgramDir, SettingsFileName(run.Profile.ExeFile));
  if (!files.FileExists(settings)) throw UpdateFailure("Не найден файл [" + settings + "]!");
  const int language = ProgramLanguage(run, settings);

  const std::string storage = platform::JoinPath(context.ProgramDir, "storage.ini");
  if (files.FileExists(storage) && !files.RemoveFile(storage)) {
    throw UpdateFailure("Невозможно удалить файл " + storage + "!");
  }
  // A program or help file that could not be installed is a failed update,
  // not a success with the old files left in place.
  update_steps::CopyFileOrFail(run, update_steps::NewFile(run, kNewProgram),
                               platform::JoinPath(context.ProgramDir, kNewProgram));
  update_steps::CopyFileOrFail(run, update_steps::NewFile(run, kHelpFiles[language - 1]),
                               platform::JoinPath(context.ProgramDir, kHelpFile));
}

}  // namespace updater
