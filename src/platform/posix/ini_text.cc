#include "platform/posix/ini_text.h"

#include <vector>

#include "platform/name_case.h"

namespace updater::platform {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t");
  return text.substr(start, end - start + 1);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The section name of a section line, or nullopt.
std::optional<std::string> SectionName(const std::string& line) {
  const std::string trimmed = Trimmed(line);
  if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
  const size_t close = trimmed.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trimmed(trimmed.substr(1, close - 1));
}

// The key name of a key line, or nullopt for blank and comment lines.
std::optional<std::string> KeyName(const std::string& line) {
  const std::string trimmed = Trimmed(line);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  return Trimmed(trimmed.substr(0, trimmed.find('=')));
}

struct Location {
  size_t section_line = std::string::npos;  // the "[name]" line
  size_t section_end = 0;                   // one past its last non-blank line
  size_t key_line = std::string::npos;
};

Location Locate(const std::vector<std::string>& lines, const std::string& section,
                const std::string& key) {
  Location at;
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto name = SectionName(lines[i]);
    if (name) {
      if (at.section_line != std::string::npos) break;
      if (NamesEqualIgnoringCase(*name, section)) {
        at.section_line = i;
        at.section_end = i + 1;
      }
      continue;
    }
    if (at.section_line == std::string::npos) continue;
    if (!Trimmed(lines[i]).empty()) at.section_end = i + 1;
    const auto key_name = KeyName(lines[i]);
    if (key_name && at.key_line == std::string::npos && NamesEqualIgnoringCase(*key_name, key)) {
      at.key_line = i;
    }
  }
  return at;
}

}  // namespace

bool IniTextHasSection(const std::string& text, const std::string& section) {
  return Locate(Lines(text), section, "").section_line != std::string::npos;
}

std::optional<std::string> IniTextValue(const std::string& text, const std::string& section,
                                        const std::string& key) {
  const std::vector<std::string> lines = Lines(text);
  const Location at = Locate(lines, section, key);
  if (at.key_line == std::string::npos) return std::nullopt;
  const std::string& line = lines[at.key_line];
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return std::string();
  std::string value = Trimmed(line.substr(equals + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

std::string IniTextWithValue(const std::string& text, const std::string& section,
                             const std::string& key, const std::string& value) {
  std::vector<std::string> lines = Lines(text);
  const Location at = Locate(lines, section, key);
  if (at.key_line != std::string::npos) {
    const std::string& line = lines[at.key_line];
    lines[at.key_line] = Trimmed(line.substr(0, line.find('='))) + "=" + value;
  } else if (at.section_line != std::string::npos) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at.section_end), key + "=" + value);
  } else {
    if (!lines.empty() && !Trimmed(lines.back()).empty()) lines.push_back("");
    lines.push_back("[" + section + "]");
    lines.push_back(key + "=" + value);
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

}  // namespace updater::platform
