// The real clock on Linux.
#include <time.h>

#include <cstdio>

#include "platform/posix/posix_platform.h"

namespace updater::platform {

LocalTime PosixClock::Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  localtime_r(&now.tv_sec, &parts);
  LocalTime out;
  out.year = parts.tm_year + 1900;
  out.month = parts.tm_mon + 1;
  out.day = parts.tm_mday;
  out.hour = parts.tm_hour;
  out.minute = parts.tm_min;
  out.second = parts.tm_sec;
  out.millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return out;
}

uint64_t PosixClock::MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

void PosixClock::Sleep(uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  // A signal cuts nanosleep short; sleep on for what is left.
  while (nanosleep(&left, &left) != 0) {
  }
}

// Linux has no user setting that corresponds to Windows' short date and long
// time formats; the Russian defaults of Windows are used, which is what the
// product's operators see on their own machines.
std::string PosixClock::ShortDate(const LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", time.day, time.month, time.year);
  return text;
}

std::string PosixClock::LongTime(const LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d:%02d", time.hour, time.minute, time.second);
  return text;
}

}  // namespace updater::platform
