// A piece of a test run in a child process that may be killed on the spot,
// as a crash, a kill from the task manager or a power loss ends the updater:
// no destructor, no flush, no exit handler runs. POSIX only (fork).
#pragma once

#include <functional>
#include <string>

namespace updater::testing {

// Runs `body` in a forked copy of this process and waits for it. Returns
// "killed" when the child ended by KillThisProcess, "exited <code>" when it
// returned or exited, "signal <n>" for another signal. The child shares
// nothing with the parent afterwards: what it wrote to disk or to the
// database server is what is left.
std::string RunInChild(const std::function<void()>& body);

// Ends this process at once with SIGKILL.
[[noreturn]] void KillThisProcess();

}  // namespace updater::testing
