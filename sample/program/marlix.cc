// Marlix.exe of the sample product: a small program that says its version
// and the settings it reads from the settings file beside it (its own name
// with ".ini": Marlix.ini), so that a test or a person can tell which
// version is installed. The build makes the old (3.1) and the new (3.2)
// program for each platform from this file.
//
//   Marlix.exe            prints "Marlix 3.2" and the language of Marlix.ini
//   Marlix.exe --version  prints "Marlix 3.2" alone
//
// Exit status 0; 1 when the settings file names a language outside 1 to 4.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#ifndef MARLIX_VERSION
#error "MARLIX_VERSION must be defined by the build"
#endif

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool SameLetters(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The value of `key` in `section` of the ini file at `path`, or "" when
// there is none; `found` tells whether the file exists.
std::string IniValue(const std::filesystem::path& path, const std::string& section,
                     const std::string& key, bool& found) {
  std::ifstream in(path, std::ios::binary);
  found = static_cast<bool>(in);
  std::string line, current;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
      current = Trim(line.substr(1, line.size() - 2));
    } else if (SameLetters(current, section)) {
      const size_t equals = line.find('=');
      if (equals != std::string::npos && SameLetters(Trim(line.substr(0, equals)), key)) {
        return Trim(line.substr(equals + 1));
      }
    }
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  std::cout << "Marlix " << MARLIX_VERSION << "\n";
  if (argc > 1 && std::string(argv[1]) == "--version") return 0;
  std::filesystem::path ini = std::filesystem::path(argc > 0 ? argv[0] : "Marlix.exe");
  ini.replace_extension(".ini");
  bool found = false;
  const std::string language = IniValue(ini, "Language", "Program_Language", found);
  if (!found) {
    std::cout << "Settings file " << ini.string() << " not found\n";
    return 0;
  }
  static const char* const kNames[] = {"Russian", "English", "German", "French"};
  if (language.empty()) {
    std::cout << "Program_Language not set (Russian)\n";
    return 0;
  }
  if (language.size() == 1 && language[0] >= '1' && language[0] <= '4') {
    std::cout << "Program_Language=" << language << " (" << kNames[language[0] - '1'] << ")\n";
    return 0;
  }
  std::cout << "Program_Language=" << language << " is not a language\n";
  return 1;
}
