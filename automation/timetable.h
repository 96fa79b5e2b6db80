// The timetable of a scheduled activity: cron-like columns of minutes, hours,
// days of the month and months, plus seven weekday flags.
//
// A column is a TimeField: the wildcard "*", a range "a-b/s", or a list of 1
// to 7 values in the order typed. Every value is 0-99; a value outside the
// column's natural range (minute 75, day 0) never matches.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cfg {

struct TimeField {
  enum class Kind : std::uint8_t { Wildcard, Range, List };
  Kind kind = Kind::Wildcard;
  // Range: first, last, step (1-99).
  int first = 0;
  int last = 0;
  int step = 1;
  // List: values[0 .. count).
  std::array<std::uint8_t, 7> values{};
  int count = 0;

  bool operator==(const TimeField&) const = default;
};

inline constexpr int kMaxTimeValue = 99;
inline constexpr std::size_t kMaxListValues = 7;

// Reads a typed time text: blanks are ignored; "" and "*" are the wildcard;
// digits and commas a list; digits, "-" and "/" a range. Nothing on a syntax error.
std::optional<TimeField> parseTimeText(std::string_view text);
// "*", "%02d-%02d/%02d", or "%02d" with ",%02d" for each further value.
std::string formatTimeField(const TimeField& field);

bool matches(const TimeField& field, int value);
// The smallest matching value greater than `value`, if any (not bounded by a
// column's natural range: the caller checks that).
std::optional<int> nextValue(const TimeField& field, int value);

// A local time to the minute (seconds kept for the log line).
struct LocalTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;    // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;

  // Ordered by year, month, day, hour and minute; seconds do not count.
  auto key() const { return ((((static_cast<long long>(year) * 13 + month) * 32 + day) * 24 + hour) * 60 + minute); }
};

bool isLeapYear(int year);  // every year divisible by 4 (the calendar runs until 2099)
int daysInMonth(int year, int month);
// 0 = Monday ... 6 = Sunday, for dates from 2001.
int weekdayOf(int year, int month, int day);

struct Timetable {
  TimeField minutes;
  TimeField hours;
  TimeField days;
  TimeField months;
  std::string weekdays = "SSSSSSS";  // Monday first, "S" or "N"
};

inline constexpr int kLastScheduledYear = 2099;

// The earliest minute strictly after `now` that matches every column and
// whose weekday flag is "S", before the year 2100; nothing when none exists.
std::optional<LocalTime> nextActivation(const Timetable& timetable, const LocalTime& now);

}  // namespace cfg
