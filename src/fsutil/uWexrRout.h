// Small routines the update run, the service control, start-up and the
// front ends share: the payload written out of the executable and run,
// external programs, disk space, the system folder, Windows services and
// processes, number texts for file names, and the joining of the run's
// failure texts.
//
// The routines that wait (service polling) wait on the platform's clock and
// are bounded on it; those that let the window process its pending messages
// take the front end's MessagePump.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/message_pump.h"
#include "platform/platform.h"

namespace updater {

// `n` in decimal with exactly two digits: "0" put in front of one digit,
// only the last two kept of three or more (2026 gives "26").
std::string TwoDigitText(unsigned n);

// `accumulated` with `message` appended as a further entry: "Exception
// Message: " and the message, after a single CR when `accumulated` is not
// empty.
std::string AppendErrorText(const std::string& accumulated, const std::string& message);

// --- Payload and external programs -----------------------------------------

// Writes the resource of type "EXEFILE" named `name` ("files" when empty;
// names match without regard to case) to `target`, expanded to a full path,
// creating the file or replacing its whole contents. Raises UpdateFailure
// "Ошибка работы с ресурсом "<name>"!", a CR and the cause: "Resource <name>
// not found", "Cannot create file <full path>" or "Stream write error".
void ExtractPayloadResource(platform::Platform& platform, const std::string& target,
                            const std::string& name);

// The longest command line and working folder RunProgramAndWait hands over,
// in characters.
inline constexpr size_t kMaxCommandLineChars = 255;

// Starts `program` (expanded to a full path) in a new console with the
// command line "<full path><parameters>" (no separator added; the path is
// put in double quotes when it holds a blank, so that exactly this program
// is started and it reads its own path whole), working in the program's
// folder, shown as `show` (a Windows show-window value); processes pending
// messages once, waits with no time limit for the program to end, processes
// them once more and returns the program's exit code. Raises UpdateFailure
// "Невозможно запустить внешнюю программу!" when the program cannot be
// started, also (with the reason after a CR) when the command line or the
// working folder is longer than kMaxCommandLineChars.
uint32_t RunProgramAndWait(platform::Platform& platform, MessagePump& pump,
                           const std::string& program, const std::optional<std::string>& parameters,
                           int show);

// --- Disk space and the system folder --------------------------------------

// The size of the file at `path`, opened exclusively (the open fails while
// another process holds the file), shifted right by `shift` bits, as its low
// 32 bits read as a signed number; -1 when the file cannot be opened so.
int32_t FileSizeInUnits(platform::Platform& platform, const std::string& path, uint8_t shift);

// Processes pending messages once, then checks that the drive whose root is
// `drive` has at least `factor` times the size of `file` free, both counted
// in whole mebibytes. Raises UpdateFailure "Для записи файла на диск
// "<drive>"требуется не менее <need> МБ свободного места!" when it has less;
// an UpdateFailure with an empty message when `file` cannot be opened
// exclusively (the caller words that case); one with the system's text when
// the free space cannot be read.
void CheckFreeSize(platform::Platform& platform, MessagePump& pump, const std::string& file,
                   const std::string& drive, uint8_t factor);

// The system folder with a trailing delimiter. Raises UpdateFailure
// "Невозможно определить путь к системной папке!" when it cannot be had.
std::string SystemFolderPath(platform::Platform& platform);

// --- Services and processes ------------------------------------------------

// The longest time the service routines poll for a service to settle.
inline constexpr uint32_t kServiceWaitLimitMs = 3 * 60 * 1000;
// The shortest pause between two polls, whatever wait hint the service gives.
inline constexpr uint32_t kServicePollMinimumMs = 100;

// Starts the service `service` of `machine` (empty: this computer) and
// polls it, sleeping its wait hint, until it runs, stops, fails to answer,
// reports a lower check point than before, or kServiceWaitLimitMs have
// passed. Returns whether the service's last reported state is running; a
// service that already runs refuses the start and gives false.
bool StartServiceAndWait(platform::Platform& platform, const std::string& machine,
                         const std::string& service);

// Sends the stop control and polls as StartServiceAndWait does until the
// service is stopped. Returns whether its last reported state is stopped: a
// service that is already stopped gives true; one that cannot be opened, or
// reports no state, false.
bool StopServiceAndWait(platform::Platform& platform, const std::string& machine,
                        const std::string& service);

// The service's state number (1 stopped ... 7 paused); 1 when it does not
// exist or cannot be opened or queried.
uint32_t QueryServiceState(platform::Platform& platform, const std::string& machine,
                           const std::string& service);

// Ends, with exit code 0, every running process whose executable name
// matches `name` (ASCII letters compared in upper case): its file name part
// (after the last "\" or ":"), or else the whole name. Returns -1 when no
// process matched, otherwise the outcome of the last termination (1 ended,
// 0 not ended); 0 also when the running processes cannot be listed.
int TerminateProcessesByName(platform::Platform& platform, const std::string& name);

// TerminateProcessesByName's walk with its whole account: `result` is what
// TerminateProcessesByName returns, `not_ended` how many matching processes
// could not be ended, whichever attempt it was (a caller that must know that
// none is left cannot rely on the last attempt alone).
struct ProcessTermination {
  int result = -1;
  int not_ended = 0;
};
ProcessTermination TerminateProcessesByNameCounted(platform::Platform& platform,
                                                   const std::string& name);

// How long WaitUntilNoProcessNamed looks for processes to be gone, and how
// often.
inline constexpr uint32_t kProcessEndWaitMs = 2000;
inline constexpr uint32_t kProcessLookIntervalMs = 100;

// Looks at the running processes again every kProcessLookIntervalMs on the
// clock, up to kProcessEndWaitMs, until none matches `name` (as
// TerminateProcessesByName matches). Returns whether none runs; false when
// one still runs at the end or the processes cannot be listed. A process
// that exits on its own between a snapshot and its termination makes the
// termination fail; this tells whether it is gone all the same.
bool WaitUntilNoProcessNamed(platform::Platform& platform, const std::string& name);

// Enables or withdraws the debug privilege of the own process; whether that
// succeeded.
bool SetDebugPrivilege(platform::Platform& platform, bool enable);

}  // namespace updater
