// Time: the local calendar time, a monotonic counter, blocking waits and the
// system's date and time formats. Every fixed wait of the updater (after a
// service stop, after a database shutdown, service polling) runs on this
// clock, so tests replace the clock and never the code that waits.
#pragma once

#include <cstdint>
#include <string>

namespace updater::platform {

struct LocalTime {
  int year = 0;    // e.g. 2026
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
  int millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;

  // The current local date and time.
  virtual LocalTime Now() = 0;

  // Milliseconds from an arbitrary origin; never goes backwards. Bounded
  // waits measure their time with it.
  virtual uint64_t MonotonicMs() = 0;

  // Blocks the calling thread for `milliseconds`.
  virtual void Sleep(uint32_t milliseconds) = 0;

  // `time` written in the user's short date format (Windows: the locale's
  // short date; Linux: the Russian default dd.MM.yyyy).
  virtual std::string ShortDate(const LocalTime& time) = 0;

  // `time` written in the user's long time format (Windows: the locale's
  // time format; Linux: the Russian default H:mm:ss).
  virtual std::string LongTime(const LocalTime& time) = 0;
};

}  // namespace updater::platform
