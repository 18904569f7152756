// The entry points of the script engine library (IBEScript.dll) and the
// callbacks it calls, as the script runner and the engine share them. All
// use stdcall on 32-bit Windows and 32-bit integer results; every text is a
// NUL-terminated string in the system's ANSI code page (Windows-1251 on
// Windows, UTF-8 on Linux).
#pragma once

#include <cstdint>

#include "platform/calling_convention.h"

extern "C" {

// The connection failed: the text says why. The answer is not used.
typedef int32_t(UPDATER_STDCALL* ConnectErrorCallback)(const char* error);
// A statement failed: its text and the error's text. The answer is not used.
typedef int32_t(UPDATER_STDCALL* StatementErrorCallback)(const char* statement, const char* error);
// A statement is about to run (`number` counts the script's statements
// from 1), or a block reports its progress (`number` 0). The answer is not
// used.
typedef int32_t(UPDATER_STDCALL* StatementTextCallback)(int32_t number, const char* text);
// A statement has run: `value` is 1 when it succeeded, 0 when it failed. The
// answer is not used: the script always goes on.
typedef int32_t(UPDATER_STDCALL* StatementResultCallback)(int32_t number, int32_t value);

// Parses the connect string, loads the client library it names and
// attaches. 0 when attached; otherwise 1, with the reason given to
// `on_error` first.
typedef int32_t(UPDATER_STDCALL* ConnectFunction)(const char* connect_string,
                                                  ConnectErrorCallback on_error);
// Runs the whole script file (`script` is its path) or text, commits, and
// detaches (the next run attaches again). Returns the number of failed
// statements; when the script cannot be read or there is no connection,
// reports that through `on_error` with an empty statement and returns 1.
typedef int32_t(UPDATER_STDCALL* ExecScriptFunction)(const char* script,
                                                     StatementErrorCallback on_error,
                                                     StatementTextCallback on_text,
                                                     StatementResultCallback on_result);

// An entry point of our own, which the script runner uses when the library
// has it (the closed engine does not). The progress of a data load: tables
// done and rows loaded so far of all (a total is 0 when the data script has
// no manifest beside it). Reported now and then while ExecScriptFile loads
// data, and once more with the final figures; the figures only grow. The
// answer is not used.
typedef int32_t(UPDATER_STDCALL* LoadProgressCallback)(int32_t tables_done, int32_t tables_total,
                                                       int64_t rows_done, int64_t rows_total);
// Sets the callback of the following script runs (none: nullptr) until the
// library is unloaded. Returns 0.
typedef int32_t(UPDATER_STDCALL* SetProgressCallbackFunction)(LoadProgressCallback on_progress);
}
