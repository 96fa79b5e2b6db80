#include "automation/timetable.h"

#include <cstdio>

namespace cfg {

namespace {

bool onlyOf(std::string_view text, std::string_view allowed) {
  return text.find_first_not_of(allowed) == std::string_view::npos;
}

// Reads a decimal number of at most two significant digits' worth (0-99) at
// text[pos...]; advances pos. Nothing when there is no digit or it is above 99.
std::optional<int> readNumber(std::string_view text, std::size_t& pos) {
  if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return std::nullopt;
  int value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    if (value > kMaxTimeValue) return std::nullopt;
    ++pos;
  }
  return value;
}

std::optional<TimeField> parseList(std::string_view text) {
  TimeField field;
  field.kind = TimeField::Kind::List;
  std::size_t pos = 0;
  for (;;) {
    std::optional<int> value = readNumber(text, pos);
    if (!value || field.count == static_cast<int>(kMaxListValues)) return std::nullopt;
    field.values[field.count++] = static_cast<std::uint8_t>(*value);
    if (pos == text.size()) return field;
    if (text[pos] != ',') return std::nullopt;
    ++pos;
  }
}

std::optional<TimeField> parseRange(std::string_view text) {
  TimeField field;
  field.kind = TimeField::Kind::Range;
  std::size_t pos = 0;
  std::optional<int> first = readNumber(text, pos);
  if (!first || pos >= text.size() || text[pos] != '-') return std::nullopt;
  ++pos;
  std::optional<int> last = readNumber(text, pos);
  if (!last || *first > *last) return std::nullopt;
  int step = 1;
  if (pos < text.size()) {
    if (text[pos] != '/') return std::nullopt;
    ++pos;
    std::optional<int> s = readNumber(text, pos);
    if (!s || *s < 1 || pos != text.size()) return std::nullopt;
    step = *s;
  }
  field.first = *first;
  field.last = *last;
  field.step = step;
  return field;
}

// The days of the months before `month` in a year of 365 days.
int daysBefore(int month) {
  static constexpr int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return kBefore[month - 1];
}

// The matching values of a column within [low, high], as a bit set.
std::uint64_t matchingSet(const TimeField& field, int low, int high) {
  std::uint64_t set = 0;
  for (int v = low; v <= high; ++v)
    if (matches(field, v)) set |= std::uint64_t{1} << v;
  return set;
}

bool inSet(std::uint64_t set, int v) { return (set >> v) & 1u; }

}  // namespace

std::optional<TimeField> parseTimeText(std::string_view typed) {
  std::string text;
  for (char c : typed)
    if (c != ' ' && c != '\t') text += c;
  if (text.empty() || text == "*") return TimeField{};
  if (onlyOf(text, "0123456789,")) return parseList(text);
  if (onlyOf(text, "0123456789-/")) return parseRange(text);
  return std::nullopt;
}

std::string formatTimeField(const TimeField& field) {
  char buffer[16];
  switch (field.kind) {
    case TimeField::Kind::Wildcard:
      return "*";
    case TimeField::Kind::Range:
      std::snprintf(buffer, sizeof buffer, "%02d-%02d/%02d", field.first % 100, field.last % 100, field.step % 100);
      return buffer;
    case TimeField::Kind::List: {
      std::string text;
      for (int i = 0; i < field.count && i < static_cast<int>(kMaxListValues); ++i) {
        std::snprintf(buffer, sizeof buffer, i == 0 ? "%02d" : ",%02d", field.values[i] % 100);
        text += buffer;
      }
      return text;
    }
  }
  return "*";
}

bool matches(const TimeField& field, int value) {
  switch (field.kind) {
    case TimeField::Kind::Wildcard:
      return true;
    case TimeField::Kind::Range:
      return value >= field.first && value <= field.last && field.step > 0 && (value - field.first) % field.step == 0;
    case TimeField::Kind::List:
      for (int i = 0; i < field.count; ++i)
        if (field.values[i] == value) return true;
      return false;
  }
  return false;
}

std::optional<int> nextValue(const TimeField& field, int value) {
  switch (field.kind) {
    case TimeField::Kind::Wildcard:
      return value + 1;
    case TimeField::Kind::Range: {
      if (field.step <= 0) return std::nullopt;
      int v = field.first;
      if (value >= field.first) v = field.first + ((value - field.first) / field.step + 1) * field.step;
      if (v > field.last) return std::nullopt;
      return v;
    }
    case TimeField::Kind::List: {
      std::optional<int> best;
      for (int i = 0; i < field.count; ++i)
        if (field.values[i] > value && (!best || field.values[i] < *best)) best = field.values[i];
      return best;
    }
  }
  return std::nullopt;
}

bool isLeapYear(int year) { return year % 4 == 0; }

int daysInMonth(int year, int month) {
  static constexpr int kLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return kLength[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
}

int weekdayOf(int year, int month, int day) {
  int years = year - 2001;
  int leapDay = isLeapYear(year) && month > 2 ? 1 : 0;
  return (years / 4 + day + 6 + daysBefore(month) + leapDay + years) % 7;
}

std::optional<LocalTime> nextActivation(const Timetable& t, const LocalTime& now) {
  // Only values within each column's natural range can ever match; a column
  // with none means the timetable never comes due.
  const std::uint64_t minutes = matchingSet(t.minutes, 0, 59);
  const std::uint64_t hours = matchingSet(t.hours, 0, 23);
  const std::uint64_t days = matchingSet(t.days, 1, 31);
  const std::uint64_t months = matchingSet(t.months, 1, 12);
  bool anyWeekday = false;
  for (std::size_t i = 0; i < 7 && i < t.weekdays.size(); ++i) anyWeekday |= t.weekdays[i] == 'S';
  if (!minutes || !hours || !days || !months || !anyWeekday) return std::nullopt;

  const long long after = now.key();
  for (int year = now.year; year <= kLastScheduledYear; ++year) {
    for (int month = 1; month <= 12; ++month) {
      if (!inSet(months, month) || (year == now.year && month < now.month)) continue;
      const int length = daysInMonth(year, month);
      for (int day = 1; day <= length; ++day) {
        if (!inSet(days, day)) continue;
        if (year == now.year && month == now.month && day < now.day) continue;
        const int weekday = weekdayOf(year, month, day);
        if (static_cast<std::size_t>(weekday) >= t.weekdays.size() || t.weekdays[weekday] != 'S') continue;
        for (int hour = 0; hour < 24; ++hour) {
          if (!inSet(hours, hour)) continue;
          for (int minute = 0; minute < 60; ++minute) {
            if (!inSet(minutes, minute)) continue;
            LocalTime candidate{year, month, day, hour, minute, 0};
            if (candidate.key() > after) return candidate;
          }
        }
      }
    }
  }
  return std::nullopt;
}

}  // namespace cfg
