// The record the service stand-in keeps of the process it started for a
// service: <state folder>/<name>.state, a few "key value" lines. The pid
// and the process's start time together name the process, so that a pid
// reused by another process is not taken for it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/result.h"

namespace updater::platform {

struct ServiceRecord {
  pid_t pid = 0;
  uint64_t start_ticks = 0;
  uint64_t started_ms = 0;  // monotonic milliseconds of the start
  uint64_t stop_ms = 0;     // when the stop control came; 0: none
  bool killed = false;      // SIGKILL sent after a stop that was not obeyed
  bool running = false;     // reported running once: it stays so

  // True while the recorded process lives (and is not a zombie).
  bool Alive() const;
};

// The record in `path`, or nullopt when there is none (or it cannot be read).
std::optional<ServiceRecord> LoadServiceRecord(const std::string& path);

// Writes `record` to `path`, replacing what was there.
Status SaveServiceRecord(const std::string& path, const ServiceRecord& record);

}  // namespace updater::platform
