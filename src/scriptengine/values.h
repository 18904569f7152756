// Values as the script engine moves them between the database, the block
// language and the scripts it writes: NULL or one typed value, kept exactly
// as Firebird holds it (scaled integers, day numbers and time ticks).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace updater::scriptengine {

class BlobFile;

// Firebird's day number of 1858-11-17 is 0; a time tick is 1/10000 s.
constexpr uint32_t kTicksPerSecond = 10000;
constexpr uint32_t kTicksPerDay = 86400u * kTicksPerSecond;

struct Value {
  enum class Kind {
    kNull,
    kInteger,    // integer * 10^-scale: SMALLINT, INTEGER, BIGINT, NUMERIC, DECIMAL
    kDouble,     // FLOAT, DOUBLE PRECISION
    kDate,       // date (day number)
    kTime,       // time (ticks)
    kTimestamp,  // date and time
    kText,       // CHAR, VARCHAR (bytes in the connection's character set)
    kBoolean,
    kBlob,       // a blob of the database (blob_id); read through the cursor
    kBlobSlice,  // a parameter only: `length` bytes at `offset` of a blob file
  };

  Kind kind = Kind::kNull;
  int64_t integer = 0;
  int scale = 0;  // digits after the point, 0 to 18
  double real = 0;
  int32_t date = 0;
  uint32_t time = 0;
  bool boolean = false;
  std::string text;
  uint64_t blob_id = 0;
  const BlobFile* blob_file = nullptr;
  uint64_t offset = 0;
  uint64_t length = 0;
  // kText as a parameter: the bytes are UTF-8, whatever the connection's
  // character set.
  bool utf8 = false;

  static Value Null() { return Value{}; }
  static Value Integer(int64_t integer, int scale = 0);
  static Value Double(double real);
  static Value Date(int32_t date);
  static Value Time(uint32_t time);
  static Value Timestamp(int32_t date, uint32_t time);
  static Value Text(std::string text);
  static Value Boolean(bool boolean);
  static Value Slice(const BlobFile& file, uint64_t offset, uint64_t length);

  bool IsNull() const { return kind == Kind::kNull; }
};

// Exact texts of values, as the engine writes them into scripts and the
// block language shows them.

// "-12.3400" for Integer(-123400, 4); "-9223372036854775808" for the least.
std::string IntegerText(int64_t integer, int scale);
// The same text appended to `out`, for writers that build long texts.
void AppendIntegerText(std::string& out, int64_t integer, int scale);
// The shortest text that reads back as the same double, always with an
// exponent ("1.5e+00") so that Firebird reads it as a double and not as
// an exact numeric. Infinities and NaN have no text and throw ScriptError.
std::string DoubleText(double real);
// The literal of a double in a data script: DoubleText for a finite value;
// SQL has no literal for NaN and the infinities, so they are written as
// CAST('NaN' AS DOUBLE PRECISION), CAST('Infinity' ...), CAST('-Infinity'
// ...), which the engine's bulk load binds as the value itself (the server
// itself refuses to convert these texts).
std::string DoubleLiteral(double real);
// "NaN", "Infinity", "-Infinity" read back; false for any other text.
bool ParseNonFinite(std::string_view text, double& real);
// "YYYY-MM-DD", "HH:MM:SS.FFFF", "YYYY-MM-DD HH:MM:SS.FFFF".
std::string DateText(int32_t date);
std::string TimeText(uint32_t time);
std::string TimestampText(int32_t date, uint32_t time);
// The same texts appended to `out`.
void AppendDateText(std::string& out, int32_t date);
void AppendTimeText(std::string& out, uint32_t time);

// The text of any value, as the block language shows it: NULL and blobs as
// nothing, numbers exactly (doubles as their shortest exact text), dates and
// times as above, texts as they are, TRUE and FALSE.
std::string ValueText(const Value& value);

// The reverse of the texts above, for literals read from scripts. Each
// returns false when `text` is not in that exact form or out of range.
bool ParseInteger(std::string_view text, int64_t& integer, int& scale);
bool ParseDouble(std::string_view text, double& real);
bool ParseDate(std::string_view text, int32_t& date);
bool ParseTime(std::string_view text, uint32_t& time);
bool ParseTimestamp(std::string_view text, int32_t& date, uint32_t& time);

// The day number of a calendar date and back (proleptic Gregorian).
int32_t DayNumber(int year, int month, int day);
void CalendarDate(int32_t day_number, int& year, int& month, int& day);

}  // namespace updater::scriptengine
