#include "scriptengine/values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "scriptengine/errors.h"

namespace updater::scriptengine {
namespace {

// Days from 0000-03-01 (proleptic Gregorian) to 1858-11-17, Firebird's day 0.
constexpr int64_t kEpochShift = 678881;

bool Digits(std::string_view text, size_t from, size_t count, int& value) {
  if (from + count > text.size()) return false;
  value = 0;
  for (size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

Value Value::Integer(int64_t integer, int scale) {
  Value v;
  v.kind = Kind::kInteger;
  v.integer = integer;
  v.scale = scale;
  return v;
}
Value Value::Double(double real) {
  Value v;
  v.kind = Kind::kDouble;
  v.real = real;
  return v;
}
Value Value::Date(int32_t date) {
  Value v;
  v.kind = Kind::kDate;
  v.date = date;
  return v;
}
Value Value::Time(uint32_t time) {
  Value v;
  v.kind = Kind::kTime;
  v.time = time;
  return v;
}
Value Value::Timestamp(int32_t date, uint32_t time) {
  Value v;
  v.kind = Kind::kTimestamp;
  v.date = date;
  v.time = time;
  return v;
}
Value Value::Text(std::string text) {
  Value v;
  v.kind = Kind::kText;
  v.text = std::move(text);
  return v;
}
Value Value::Boolean(bool boolean) {
  Value v;
  v.kind = Kind::kBoolean;
  v.boolean = boolean;
  return v;
}
Value Value::Slice(const BlobFile& file, uint64_t offset, uint64_t length) {
  Value v;
  v.kind = Kind::kBlobSlice;
  v.blob_file = &file;
  v.offset = offset;
  v.length = length;
  return v;
}

void AppendIntegerText(std::string& out, int64_t integer, int scale) {
  // The magnitude as unsigned, so that the least int64 has one too.
  const bool negative = integer < 0;
  uint64_t magnitude =
      negative ? ~static_cast<uint64_t>(integer) + 1 : static_cast<uint64_t>(integer);
  char buffer[24];
  char* const end = buffer + sizeof buffer;
  char* start = end;
  do {
    *--start = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  const size_t digits = static_cast<size_t>(end - start);
  if (negative) out += '-';
  if (scale <= 0) {
    out.append(start, digits);
  } else if (digits > static_cast<size_t>(scale)) {
    const size_t whole = digits - static_cast<size_t>(scale);
    out.append(start, whole);
    out += '.';
    out.append(start + whole, static_cast<size_t>(scale));
  } else {
    out += "0.";
    out.append(static_cast<size_t>(scale) - digits, '0');
    out.append(start, digits);
  }
}

std::string IntegerText(int64_t integer, int scale) {
  std::string text;
  AppendIntegerText(text, integer, scale);
  return text;
}

std::string DoubleText(double real) {
  if (!std::isfinite(real)) {
    throw ScriptError("a double precision value that is not a number or infinite has no text");
  }
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, real, std::chars_format::scientific);
  return std::string(buffer, result.ptr);
}

std::string DoubleLiteral(double real) {
  if (std::isfinite(real)) return DoubleText(real);
  const char* text = std::isnan(real) ? "NaN" : real > 0 ? "Infinity" : "-Infinity";
  return std::string("CAST('") + text + "' AS DOUBLE PRECISION)";
}

bool ParseNonFinite(std::string_view text, double& real) {
  if (text == "NaN") {
    real = std::numeric_limits<double>::quiet_NaN();
  } else if (text == "Infinity" || text == "-Infinity") {
    real = text[0] == '-' ? -std::numeric_limits<double>::infinity()
                          : std::numeric_limits<double>::infinity();
  } else {
    return false;
  }
  return true;
}

namespace {

// `value` as exactly `width` decimal digits (it has no more).
void AppendDigits(std::string& out, uint32_t value, int width) {
  char digits[10];
  for (int i = width - 1; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out.append(digits, static_cast<size_t>(width));
}

}  // namespace

void AppendDateText(std::string& out, int32_t date) {
  int year = 0, month = 0, day = 0;
  CalendarDate(date, year, month, day);
  if (year < 0 || year > 9999) {
    // Beyond the dates Firebird keeps: written as printf writes them.
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    out += buffer;
    return;
  }
  AppendDigits(out, static_cast<uint32_t>(year), 4);
  out += '-';
  AppendDigits(out, static_cast<uint32_t>(month), 2);
  out += '-';
  AppendDigits(out, static_cast<uint32_t>(day), 2);
}

void AppendTimeText(std::string& out, uint32_t time) {
  const uint32_t seconds = time / kTicksPerSecond;
  if (time >= kTicksPerDay) {
    // Beyond a day: the hours as printf writes them.
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u.%04u", seconds / 3600, seconds / 60 % 60,
                  seconds % 60, time % kTicksPerSecond);
    out += buffer;
    return;
  }
  AppendDigits(out, seconds / 3600, 2);
  out += ':';
  AppendDigits(out, seconds / 60 % 60, 2);
  out += ':';
  AppendDigits(out, seconds % 60, 2);
  out += '.';
  AppendDigits(out, time % kTicksPerSecond, 4);
}

std::string DateText(int32_t date) {
  std::string text;
  AppendDateText(text, date);
  return text;
}

std::string TimeText(uint32_t time) {
  std::string text;
  AppendTimeText(text, time);
  return text;
}

std::string TimestampText(int32_t date, uint32_t time) {
  std::string text;
  AppendDateText(text, date);
  text += ' ';
  AppendTimeText(text, time);
  return text;
}

std::string ValueText(const Value& value) {
  switch (value.kind) {
    case Value::Kind::kNull:
      return "";
    case Value::Kind::kInteger:
      return IntegerText(value.integer, value.scale);
    case Value::Kind::kDouble: {
      char buffer[64];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.real);
      return std::string(buffer, result.ptr);
    }
    case Value::Kind::kDate:
      return DateText(value.date);
    case Value::Kind::kTime:
      return TimeText(value.time);
    case Value::Kind::kTimestamp:
      return TimestampText(value.date, value.time);
    case Value::Kind::kText:
      return value.text;
    case Value::Kind::kBoolean:
      return value.boolean ? "TRUE" : "FALSE";
    case Value::Kind::kBlob:
    case Value::Kind::kBlobSlice:
      break;
  }
  return "";
}

bool ParseInteger(std::string_view text, int64_t& integer, int& scale) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  uint64_t magnitude = 0;
  bool any_digit = false;
  bool point = false;
  scale = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return false;
    any_digit = true;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (UINT64_MAX - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
    if (point && ++scale > 18) return false;
  }
  if (!any_digit) return false;
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (magnitude > limit) return false;
  integer = negative ? static_cast<int64_t>(~magnitude + 1) : static_cast<int64_t>(magnitude);
  return true;
}

bool ParseDouble(std::string_view text, double& real) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto result = std::from_chars(text.data(), text.data() + text.size(), real);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(real);
}

bool ParseDate(std::string_view text, int32_t& date) {
  int year = 0, month = 0, day = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  if (!Digits(text, 0, 4, year) || !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day)) {
    return false;
  }
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    return false;
  }
  date = DayNumber(year, month, day);
  return true;
}

bool ParseTime(std::string_view text, uint32_t& time) {
  int hours = 0, minutes = 0, seconds = 0, fraction = 0;
  if (text.size() != 13 || text[2] != ':' || text[5] != ':' || text[8] != '.') return false;
  if (!Digits(text, 0, 2, hours) || !Digits(text, 3, 2, minutes) || !Digits(text, 6, 2, seconds) ||
      !Digits(text, 9, 4, fraction)) {
    return false;
  }
  if (hours > 23 || minutes > 59 || seconds > 59) return false;
  time = static_cast<uint32_t>((hours * 3600 + minutes * 60 + seconds)) * kTicksPerSecond +
         static_cast<uint32_t>(fraction);
  return true;
}

bool ParseTimestamp(std::string_view text, int32_t& date, uint32_t& time) {
  return text.size() == 24 && text[10] == ' ' && ParseDate(text.substr(0, 10), date) &&
         ParseTime(text.substr(11), time);
}

int32_t DayNumber(int year, int month, int day) {
  // Days since 0000-03-01, counting March as the first month of the year.
  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t m = month <= 2 ? month + 9 : month - 3;
  const int64_t days = y * 365 + y / 4 - y / 100 + y / 400 + (m * 153 + 2) / 5 + day - 1;
  return static_cast<int32_t>(days - kEpochShift);
}

void CalendarDate(int32_t day_number, int& year, int& month, int& day) {
  int64_t days = static_cast<int64_t>(day_number) + kEpochShift;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t m = (5 * day_of_year + 2) / 153;
  day = static_cast<int>(day_of_year - (153 * m + 2) / 5 + 1);
  month = static_cast<int>(m < 10 ? m + 3 : m - 9);
  year = static_cast<int>(year_of_era + era * 400 + (m >= 10 ? 1 : 0));
}

}  // namespace updater::scriptengine
