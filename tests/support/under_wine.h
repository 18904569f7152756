// Whether the test runs as a Windows program under Wine. Wine differs from
// Windows in a few things a test must leave out there rather than fail on:
// it lets a folder be renamed while a process works in it, and it makes no
// symbolic links.
#pragma once

namespace updater::testing {

bool UnderWine();

}  // namespace updater::testing
