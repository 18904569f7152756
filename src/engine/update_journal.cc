#include "engine/update_journal.h"

#include <array>
#include <map>

#include "platform/paths.h"

namespace updater {
namespace {

constexpr char kHeader[] = "Updater_Marlix update journal";
constexpr char kEnd[] = "end";
constexpr char kNewSuffix[] = ".new";

constexpr std::array<std::pair<JournalPhase, const char*>, 6> kPhaseNames{{
    {JournalPhase::kStaging, "staging"},
    {JournalPhase::kBackup, "backup"},
    {JournalPhase::kDatabase, "database"},
    {JournalPhase::kServerPart, "server"},
    {JournalPhase::kClientPart, "client"},
    {JournalPhase::kRollback, "rollback"},
}};

const char* PhaseName(JournalPhase phase) {
  for (const auto& [value, name] : kPhaseNames) {
    if (value == phase) return name;
  }
  return "";
}

const char* Flag(bool value) { return value ? "1" : "0"; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

JournalReading Unreadable(const std::string& why) {
  JournalReading reading;
  reading.found = true;
  reading.error = why;
  return reading;
}

}  // namespace

std::string JournalText(const JournalRecord& r) {
  std::string text = std::string(kHeader) + "\r\n";
  const auto line = [&text](const char* key, const std::string& value) {
    text += std::string(key) + "=" + value + "\r\n";
  };
  line("stamp", r.TimeStamp);
  line("folder", r.ProgramPath);
  line("client", Flag(r.HasClientPart));
  line("server", Flag(r.HasServerPart));
  line("database", r.DatabasePath);
  line("backup", r.BackupDir);
  line("backup_complete", Flag(r.BackupComplete));
  line("phase", PhaseName(r.Phase));
  line("finished", Flag(r.Finished));
  return text + kEnd + "\r\n";
}

JournalReading ParseJournal(const std::string& text) {
  if (text.empty()) return Unreadable("файл журнала пуст");
  const std::vector<std::string> lines = Lines(text);
  // A journal cut short by a power loss lacks its last line.
  if (lines.size() < 2 || lines.front() != kHeader || lines.back() != kEnd || text.size() < 2 ||
      text.compare(text.size() - 2, 2, "\r\n") != 0) {
    return Unreadable("файл журнала поврежден или записан не полностью");
  }
  std::map<std::string, std::string> values;
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    const size_t equals = lines[i].find('=');
    if (equals == std::string::npos) return Unreadable("строка журнала без значения: " + lines[i]);
    values[lines[i].substr(0, equals)] = lines[i].substr(equals + 1);
  }
  const auto text_of = [&values](const char* key) -> std::optional<std::string> {
    auto found = values.find(key);
    if (found == values.end()) return std::nullopt;
    return found->second;
  };
  const auto flag_of = [&](const char* key) -> std::optional<bool> {
    std::optional<std::string> value = text_of(key);
    if (value == "1") return true;
    if (value == "0") return false;
    return std::nullopt;
  };
  JournalRecord r;
  std::optional<std::string> stamp = text_of("stamp");
  std::optional<std::string> folder = text_of("folder");
  std::optional<std::string> database = text_of("database");
  std::optional<std::string> backup = text_of("backup");
  std::optional<bool> client = flag_of("client");
  std::optional<bool> server = flag_of("server");
  std::optional<bool> complete = flag_of("backup_complete");
  std::optional<bool> finished = flag_of("finished");
  std::optional<std::string> phase = text_of("phase");
  std::optional<JournalPhase> phase_value;
  for (const auto& [value, name] : kPhaseNames) {
    if (phase == name) phase_value = value;
  }
  if (!stamp || !folder || !database || !backup || !client || !server || !complete || !finished ||
      !phase_value) {
    return Unreadable("в журнале нет нужных значений");
  }
  r.TimeStamp = *stamp;
  r.ProgramPath = *folder;
  r.HasClientPart = *client;
  r.HasServerPart = *server;
  r.DatabasePath = *database;
  r.BackupDir = *backup;
  r.BackupComplete = *complete;
  r.Phase = *phase_value;
  r.Finished = *finished;
  JournalReading reading;
  reading.found = true;
  reading.record = r;
  return reading;
}

platform::Status WriteJournal(platform::FileSystem& files, const std::string& tmp_dir,
                              const JournalRecord& record) {
  const std::string path = platform::JoinPath(tmp_dir, kJournalFileName);
  const std::string fresh = path + kNewSuffix;
  if (platform::Status written = files.WriteFile(fresh, JournalText(record)); !written) {
    return written;
  }
  if (platform::Status flushed = files.FlushToDisk(fresh); !flushed) return flushed;
  // The new journal is whole on the disk before the old one goes: the
  // reader takes the twin when the journal itself is missing.
  if (files.FileExists(path)) {
    if (platform::Status removed = files.RemoveFile(path); !removed) return removed;
  }
  if (platform::Status renamed = files.Rename(fresh, path); !renamed) return renamed;
  return files.FlushToDisk(tmp_dir);
}

JournalReading ReadJournal(platform::FileSystem& files, const std::string& tmp_dir) {
  std::string path = platform::JoinPath(tmp_dir, kJournalFileName);
  const bool twin = !files.FileExists(path);
  if (twin) {
    path += kNewSuffix;
    if (!files.FileExists(path)) return {};
  }
  platform::Result<std::string> text = files.ReadFile(path);
  if (!text) return Unreadable(text.error().Describe());
  JournalReading reading = ParseJournal(*text);
  reading.first_write_cut = twin && !reading.record;
  return reading;
}

std::string StampText(const std::string& s) {
  if (s.size() != 12) return s;
  return s.substr(0, 2) + "." + s.substr(2, 2) + "." + s.substr(4, 2) + " " + s.substr(6, 2) + ":" +
         s.substr(8, 2) + ":" + s.substr(10, 2);
}

}  // namespace updater
