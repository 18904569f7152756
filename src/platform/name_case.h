// Name comparison without regard to letter case, as Windows compares file
// names: ASCII and Cyrillic letters fold to lower case, everything else is
// compared as it stands.
#pragma once

#include <string_view>

namespace updater::platform {

// True when the UTF-8 names `a` and `b` differ at most in letter case.
bool NamesEqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace updater::platform
