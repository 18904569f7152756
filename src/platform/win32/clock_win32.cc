// The real clock on Windows, with the user's date and time formats.
#include <cstdio>

#include "platform/win32/win32_platform.h"

namespace updater::platform {
namespace {

SYSTEMTIME ToSystemTime(const LocalTime& time) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(time.year);
  st.wMonth = static_cast<WORD>(time.month);
  st.wDay = static_cast<WORD>(time.day);
  st.wHour = static_cast<WORD>(time.hour);
  st.wMinute = static_cast<WORD>(time.minute);
  st.wSecond = static_cast<WORD>(time.second);
  st.wMilliseconds = static_cast<WORD>(time.millisecond);
  return st;
}

}  // namespace

LocalTime Win32Clock::Now() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  LocalTime out;
  out.year = st.wYear;
  out.month = st.wMonth;
  out.day = st.wDay;
  out.hour = st.wHour;
  out.minute = st.wMinute;
  out.second = st.wSecond;
  out.millisecond = st.wMilliseconds;
  return out;
}

uint64_t Win32Clock::MonotonicMs() { return GetTickCount64(); }

void Win32Clock::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

std::string Win32Clock::ShortDate(const LocalTime& time) {
  const SYSTEMTIME st = ToSystemTime(time);
  wchar_t text[128];
  if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, text, 128,
                      nullptr) != 0) {
    return Narrow(text);
  }
  // No usable locale: the Russian default, as on Linux.
  char fallback[32];
  std::snprintf(fallback, sizeof fallback, "%02d.%02d.%04d", time.day, time.month, time.year);
  return fallback;
}

std::string Win32Clock::LongTime(const LocalTime& time) {
  const SYSTEMTIME st = ToSystemTime(time);
  wchar_t text[128];
  if (GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, text, 128) != 0) {
    return Narrow(text);
  }
  char fallback[32];
  std::snprintf(fallback, sizeof fallback, "%d:%02d:%02d", time.hour, time.minute, time.second);
  return fallback;
}

}  // namespace updater::platform
