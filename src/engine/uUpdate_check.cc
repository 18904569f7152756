#include "engine/uUpdate_check.h"

#include <string_view>

#include "common/failures.h"
#include "common/log_view.h"
#include "engine/uUpdate_steps.h"

namespace updater {
namespace {

constexpr char kManifestName[] = "Data.manifest";
constexpr char kCheckScriptName[] = "Data_Check.sql";
constexpr std::string_view kPrefix = "data check: ";

// Reads a decimal number at the start of `text`, which it then passes.
bool ReadNumber(std::string_view& text, int64_t& number) {
  size_t digits = 0;
  number = 0;
  while (digits < text.size() && digits < 18 && text[digits] >= '0' && text[digits] <= '9') {
    number = number * 10 + (text[digits] - '0');
    ++digits;
  }
  text.remove_prefix(digits);
  return digits > 0;
}

bool ReadWord(std::string_view& text, std::string_view word) {
  if (text.substr(0, word.size()) != word) return false;
  text.remove_prefix(word.size());
  return true;
}

// A double-quoted name with its inner quotes doubled.
bool ReadQuotedName(std::string_view& text, std::string& name) {
  if (!ReadWord(text, "\"")) return false;
  name.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '"') {
      name += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '"') {
      name += '"';
      ++i;
    } else {
      text.remove_prefix(i + 1);
      return true;
    }
  }
  return false;
}

// The script engine's lines of the check, as the runner hands them to a
// log view.
class CheckLines final : public LogView {
 public:
  void AppendScreenLine(const std::string& line) override {
    if (std::optional<DataCheckLine> read = ReadDataCheckLine(line)) {
      if (read->summary) {
        summary = read;
      } else {
        differences.push_back(*read);
      }
    }
  }
  std::vector<DataCheckLine> differences;
  std::optional<DataCheckLine> summary;
};

}  // namespace

std::optional<DataCheckLine> ReadDataCheckLine(const std::string& line) {
  std::string_view text = line;
  DataCheckLine read;
  if (!ReadWord(text, kPrefix)) return std::nullopt;
  if (!text.empty() && text[0] != '"') {
    read.summary = true;
    if (ReadNumber(text, read.tables) && ReadWord(text, " tables, ") &&
        ReadNumber(text, read.exported) && text == " rows as exported") {
      return read;
    }
    return std::nullopt;
  }
  if (!ReadQuotedName(text, read.table) || !ReadWord(text, ": ") ||
      !ReadNumber(text, read.exported) || !ReadWord(text, " rows exported, ")) {
    return std::nullopt;
  }
  if (text == "not found") {
    read.found = -1;
    return read;
  }
  if (!ReadNumber(text, read.found) || !ReadWord(text, " found")) return std::nullopt;
  read.checksum_differs = text == ", checksum differs";
  if (!text.empty() && !read.checksum_differs) return std::nullopt;
  return read;
}

std::string DifferenceText(const DataCheckLine& difference) {
  std::string text = "Таблица \"" + difference.table + "\": выгружено строк " +
                     std::to_string(difference.exported) + ", ";
  if (difference.found < 0) return text + "в новой базе нет таблицы или ее столбца";
  text += "загружено " + std::to_string(difference.found);
  if (difference.checksum_differs) text += ", данные отличаются";
  return text;
}

void VerifyLoadedData(UpdateRun& run) {
  platform::FileSystem& files = run.platform.files;
  const std::string manifest = update_steps::NewFile(run, kManifestName);
  // The export writes the manifest with the data: without it, the data
  // cannot be checked, and an unchecked load is not taken for a good one.
  if (!files.FileExists(manifest)) {
    throw UpdateFailure("Не найден файл " + manifest +
                        " с числом строк и контрольными суммами выгруженных данных: проверить "
                        "перенесенные данные невозможно!");
  }
  const std::string script = update_steps::NewFile(run, kCheckScriptName);
  update_steps::WriteFileOrFail(run, script,
                                std::string("SET DATA CHECK '") + kManifestName + "';\r\n");
  CheckLines lines;
  try {
    update_steps::RunScriptFileInto(run, update_steps::DbUser::kSysdba, update_steps::kUtf8,
                                    kCheckScriptName, lines);
  } catch (const UpdateFailure&) {
    // A check that could not run fails with the runner's message as it is.
    if (lines.differences.empty()) throw;
    std::string message = "Перенесенные данные не совпадают с данными старой базы!";
    for (const DataCheckLine& difference : lines.differences) {
      message += "\r" + DifferenceText(difference);
    }
    throw UpdateFailure(message);
  }
  if (!lines.summary) {
    throw UpdateFailure(
        "Проверка перенесенных данных не выполнена: библиотека \"IBEScript.dll\" "
        "не сообщила ее результат!");
  }
  update_steps::Log(run, "Проверено таблиц: " + std::to_string(lines.summary->tables) +
                             ", строк: " + std::to_string(lines.summary->exported));
}

}  // namespace updater
