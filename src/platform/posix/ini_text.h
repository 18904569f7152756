// Initialisation file texts read and changed as the Windows private-profile
// functions do, for the Linux build. The texts here are UTF-8; the file on
// disk is Windows-1251 (the caller converts).
//
// A section starts with a line "[name]"; a key line is "name=value", the
// name and the value taken without surrounding blanks and the value without
// one pair of enclosing quotes (" or '). Names match without regard to case;
// the first section and the first key of a name count. Lines starting with
// ";" are comments.
#pragma once

#include <optional>
#include <string>

namespace updater::platform {

bool IniTextHasSection(const std::string& text, const std::string& section);

// The value of `key` in `section`, or nullopt when either is missing.
std::optional<std::string> IniTextValue(const std::string& text, const std::string& section,
                                        const std::string& key);

// `text` with `key` in `section` set to `value`: the key's line replaced in
// place, a missing key added after the section's last line, a missing
// section added at the end. Lines end in CR LF.
std::string IniTextWithValue(const std::string& text, const std::string& section,
                             const std::string& key, const std::string& value);

}  // namespace updater::platform
