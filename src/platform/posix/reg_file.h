// The registry stand-in of the Linux build: a Windows registry export
// (.reg) file, read only. Both formats are read: "REGEDIT4" (8-bit texts,
// Windows-1251) and "Windows Registry Editor Version 5.00" (the file itself
// UTF-16LE with a byte order mark as regedit writes it, or UTF-8; binary
// texts UTF-16LE). An 8-bit file that is valid UTF-8 is read as UTF-8.
//
// Only keys under HKEY_LOCAL_MACHINE (or HKLM) count; others are skipped.
// Values: strings ("text", with \\ and \" escapes), dword:, hex(2):
// (expandable string), hex(7): (multi-string), hex: and other hex(N):
// (bytes); "name"=- removes a value and [-KEY] a key with its subkeys. A
// key's parents exist even when the file does not list them, as after an
// import.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace updater::platform {

struct RegValue {
  enum class Kind { kString, kExpandString, kDword, kMultiString, kBinary };
  Kind kind = Kind::kString;
  std::string text;                  // kString, kExpandString (UTF-8)
  uint32_t dword = 0;                // kDword
  std::vector<std::string> strings;  // kMultiString (UTF-8)
  std::string bytes;                 // kBinary
};

struct RegKeyData {
  std::string path;  // below HKEY_LOCAL_MACHINE, without leading "\"
  std::vector<std::pair<std::string, RegValue>> values;  // "" is the default value

  // The value `name`, matched without regard to case, or nullptr.
  const RegValue* Find(std::string_view name) const;
};

class RegFile {
 public:
  // Parses the bytes of a .reg file; `file_name` names it in errors.
  static Result<RegFile> Parse(const std::string& bytes, const std::string& file_name);

  // The key `path` (below HKEY_LOCAL_MACHINE, a leading "\" allowed) as the
  // file lists it, matched without regard to case, or nullptr.
  const RegKeyData* FindKey(std::string_view path) const;

  // True for a listed key and for every key above one.
  bool KeyExists(std::string_view path) const;

 private:
  std::vector<RegKeyData> keys_;
};

}  // namespace updater::platform
