// The calling convention and export marking of the C entry points that a
// library shares with its loader (the script engine library's exports and
// the callbacks the script runner hands it). On 32-bit Windows they use
// stdcall, as the engine's contract demands; elsewhere the platform's only
// convention applies.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define UPDATER_STDCALL __stdcall
#else
#define UPDATER_STDCALL
#endif

#if defined(_WIN32)
#define UPDATER_EXPORT __declspec(dllexport)
#else
#define UPDATER_EXPORT __attribute__((visibility("default")))
#endif
