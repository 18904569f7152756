#include "platform/posix/reg_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/name_case.h"
#include "platform/text.h"

namespace updater::platform {
namespace {

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t unit = static_cast<unsigned char>(bytes[i]) |
                    (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      const uint32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 3])) << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (unit < 0x800) {
      out += static_cast<char>(0xC0 | (unit >> 6));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit < 0x10000) {
      out += static_cast<char>(0xE0 | (unit >> 12));
      out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (unit >> 18));
      out += static_cast<char>(0x80 | ((unit >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

std::string Trim(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t\r");
  if (start == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r");
  return std::string(text.substr(start, end - start + 1));
}

std::string NormalKeyPath(std::string_view path) {
  std::string out = Trim(path);
  while (!out.empty() && out.front() == '\\') out.erase(out.begin());
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

bool IsAtOrBelow(const std::string& key, const std::string& path) {
  if (path.empty()) return true;
  if (key.size() < path.size()) return false;
  if (!NamesEqualIgnoringCase(std::string_view(key).substr(0, path.size()), path)) return false;
  return key.size() == path.size() || key[path.size()] == '\\';
}

// A quoted text at `text[*at]` (which is '"'); moves `*at` past its end.
std::optional<std::string> QuotedText(const std::string& text, size_t* at) {
  std::string out;
  for (size_t i = *at + 1; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
      out += text[++i];
    } else if (text[i] == '"') {
      *at = i + 1;
      return out;
    } else {
      out += text[i];
    }
  }
  return std::nullopt;
}

std::optional<std::string> HexBytes(const std::string& list) {
  std::string out;
  std::string digits;
  for (const char c : list + ",") {
    if (c == ' ' || c == '\t' || c == '\\') continue;
    if (c != ',') {
      digits += c;
      continue;
    }
    if (digits.empty()) continue;
    char* end = nullptr;
    const unsigned long value = std::strtoul(digits.c_str(), &end, 16);
    if (digits.size() > 2 || *end != '\0') return std::nullopt;
    out += static_cast<char>(value);
    digits.clear();
  }
  return out;
}

class Parser {
 public:
  Parser(const std::string& file_name, std::vector<RegKeyData>& keys)
      : file_name_(file_name), keys_(keys) {}

  Status Run(const std::string& text) {
    size_t start = 0;
    int line_number = 0;
    bool header_seen = false;
    std::string pending;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = Trim(std::string_view(text).substr(start, end - start));
      start = end + 1;
      ++line_number;
      // A hex list goes on after a line that ends in "\".
      if (!line.empty() && line.back() == '\\') {
        pending += line.substr(0, line.size() - 1);
        continue;
      }
      line = pending + line;
      pending.clear();
      if (line.empty() || line[0] == ';') continue;
      if (!header_seen) {
        if (line == "REGEDIT4") {
          unicode_ = false;
        } else if (line == "Windows Registry Editor Version 5.00") {
          unicode_ = true;
        } else {
          return Failure(line_number, "the file does not start with a .reg header");
        }
        header_seen = true;
        continue;
      }
      Status handled = line[0] == '[' ? Key(line) : Value(line);
      if (!handled) return Failure(line_number, handled.error().text);
    }
    if (!header_seen) return Failure(line_number, "the file is empty");
    return Status::Ok();
  }

 private:
  Status Failure(int line_number, const std::string& what) {
    return SystemError{"RegLoad", file_name_, EINVAL,
                       "line " + std::to_string(line_number) + ": " + what};
  }

  Status Key(const std::string& line) {
    if (line.back() != ']') return SystemError{"", "", 0, "a key line must end in \"]\""};
    std::string path = line.substr(1, line.size() - 2);
    const bool remove = !path.empty() && path[0] == '-';
    if (remove) path.erase(0, 1);
    const size_t slash = path.find('\\');
    const std::string root = path.substr(0, slash);
    current_ = kNone;
    if (root != "HKEY_LOCAL_MACHINE" && root != "HKLM") return Status::Ok();
    const std::string below = slash == std::string::npos ? "" : NormalKeyPath(path.substr(slash));
    if (remove) {
      std::erase_if(keys_, [&](const RegKeyData& key) { return IsAtOrBelow(key.path, below); });
      return Status::Ok();
    }
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (NamesEqualIgnoringCase(keys_[i].path, below)) current_ = i;
    }
    if (current_ == kNone) {
      keys_.push_back(RegKeyData{below, {}});
      current_ = keys_.size() - 1;
    }
    return Status::Ok();
  }

  Status Value(const std::string& line) {
    std::string name;
    size_t at = 0;
    if (line[0] == '@') {
      at = 1;
    } else if (line[0] == '"') {
      auto quoted = QuotedText(line, &at);
      if (!quoted) return SystemError{"", "", 0, "a value name is not closed"};
      name = *quoted;
    } else {
      return SystemError{"", "", 0, "neither a key nor a value"};
    }
    const std::string rest = Trim(std::string_view(line).substr(at));
    if (rest.empty() || rest[0] != '=') return SystemError{"", "", 0, "\"=\" is missing"};
    const std::string data = Trim(std::string_view(rest).substr(1));
    // Values of keys outside HKEY_LOCAL_MACHINE are read and dropped.
    auto value = ParseData(data);
    if (!value) return value.error();
    if (current_ == kNone) return Status::Ok();
    auto& values = keys_[current_].values;
    std::erase_if(values,
                  [&](const auto& entry) { return NamesEqualIgnoringCase(entry.first, name); });
    if (value->has_value()) values.emplace_back(name, **value);
    return Status::Ok();
  }

  // The value, or an empty optional for "-" (remove the value).
  Result<std::optional<RegValue>> ParseData(const std::string& data) {
    RegValue value;
    if (data == "-") return std::optional<RegValue>();
    if (data[0] == '"') {
      size_t at = 0;
      auto text = QuotedText(data, &at);
      if (!text || at != data.size()) return SystemError{"", "", 0, "a string value is not closed"};
      value.text = *text;
      return std::optional<RegValue>(value);
    }
    if (data.rfind("dword:", 0) == 0) {
      const std::string digits = data.substr(6);
      char* end = nullptr;
      const unsigned long number = std::strtoul(digits.c_str(), &end, 16);
      if (digits.empty() || digits.size() > 8 || *end != '\0') {
        return SystemError{"", "", 0, "a dword needs up to eight hexadecimal digits"};
      }
      value.kind = RegValue::Kind::kDword;
      value.dword = static_cast<uint32_t>(number);
      return std::optional<RegValue>(value);
    }
    unsigned long type = 3;  // REG_BINARY
    std::string list;
    if (data.rfind("hex:", 0) == 0) {
      list = data.substr(4);
    } else if (data.rfind("hex(", 0) == 0 && data.find("):") != std::string::npos) {
      const size_t close = data.find("):");
      type = std::strtoul(data.substr(4, close - 4).c_str(), nullptr, 16);
      list = data.substr(close + 2);
    } else {
      return SystemError{"", "", 0, "unknown value data \"" + data + "\""};
    }
    auto bytes = HexBytes(list);
    if (!bytes) return SystemError{"", "", 0, "bad hexadecimal bytes"};
    if (type == 2 || type == 7) {
      const std::string text = unicode_ ? Utf16LeToUtf8(*bytes) : Cp1251ToUtf8(*bytes);
      if (type == 2) {
        value.kind = RegValue::Kind::kExpandString;
        value.text = text.substr(0, text.find('\0'));
      } else {
        value.kind = RegValue::Kind::kMultiString;
        size_t start = 0;
        while (start < text.size()) {
          const size_t end = std::min(text.find('\0', start), text.size());
          if (end == start) break;  // the empty string that ends the list
          value.strings.push_back(text.substr(start, end - start));
          start = end + 1;
        }
      }
    } else {
      value.kind = RegValue::Kind::kBinary;
      value.bytes = *bytes;
    }
    return std::optional<RegValue>(value);
  }

  const std::string& file_name_;
  std::vector<RegKeyData>& keys_;
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t current_ = kNone;  // the index of the key values go to
  bool unicode_ = false;
};

}  // namespace

const RegValue* RegKeyData::Find(std::string_view name) const {
  for (const auto& [value_name, value] : values) {
    if (NamesEqualIgnoringCase(value_name, name)) return &value;
  }
  return nullptr;
}

Result<RegFile> RegFile::Parse(const std::string& bytes, const std::string& file_name) {
  std::string text;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    text = Utf16LeToUtf8(std::string_view(bytes).substr(2));
  } else if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
    text = bytes.substr(3);
  } else {
    text = IsValidUtf8(bytes) ? bytes : Cp1251ToUtf8(bytes);
  }
  RegFile file;
  Parser parser(file_name, file.keys_);
  Status parsed = parser.Run(text);
  if (!parsed) return parsed.error();
  return file;
}

const RegKeyData* RegFile::FindKey(std::string_view path) const {
  const std::string wanted = NormalKeyPath(path);
  for (const RegKeyData& key : keys_) {
    if (NamesEqualIgnoringCase(key.path, wanted)) return &key;
  }
  return nullptr;
}

bool RegFile::KeyExists(std::string_view path) const {
  const std::string wanted = NormalKeyPath(path);
  for (const RegKeyData& key : keys_) {
    if (IsAtOrBelow(key.path, wanted)) return true;
  }
  return false;
}

}  // namespace updater::platform
