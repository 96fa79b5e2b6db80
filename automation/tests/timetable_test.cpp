#include "automation/timetable.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace cfg {
namespace {

TimeField parsed(const char* text) {
  std::optional<TimeField> f = parseTimeText(text);
  EXPECT_TRUE(f.has_value()) << text;
  return f.value_or(TimeField{});
}

Timetable table(const char* minutes, const char* hours, const char* days, const char* months,
                const char* weekdays = "SSSSSSS") {
  return Timetable{parsed(minutes), parsed(hours), parsed(days), parsed(months), weekdays};
}

std::string text(const LocalTime& t) {
  char b[80];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
  return b;
}

// Successive activations, each computed from the one before.
std::vector<std::string> activations(const Timetable& t, LocalTime from, int count) {
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    std::optional<LocalTime> next = nextActivation(t, from);
    if (!next) break;
    out.push_back(text(*next));
    from = *next;
  }
  return out;
}

TEST(TimeText, TypedTextsAreReadAndWrittenInTheirFormattedForm) {
  EXPECT_EQ(formatTimeField(parsed("0, 30")), "00,30");
  EXPECT_EQ(formatTimeField(parsed(" 0-30/15 ")), "00-30/15");
  EXPECT_EQ(formatTimeField(parsed("5-9")), "05-09/01");
  EXPECT_EQ(formatTimeField(parsed("9,1,5")), "09,01,05");  // the order typed
  EXPECT_EQ(formatTimeField(parsed("1,2,3,4,5,6,7")), "01,02,03,04,05,06,07");
  EXPECT_EQ(formatTimeField(parsed("")), "*");
  EXPECT_EQ(formatTimeField(parsed(" * ")), "*");
  // Read back from its formatted text, a field is the same field.
  for (const char* t : {"00,30", "00-30/15", "*", "99", "07-07/99"})
    EXPECT_EQ(parseTimeText(formatTimeField(parsed(t))), parseTimeText(t)) << t;

  for (const char* bad : {"1,2,3,4,5,6,7,8", "100", "30-10", "5-", "-5", "1-5/0", "1-5/100", "1-5/", "1,,2", ",1",
                          "1,", "**", "1-2-3", "1/2", "a", "1;2", "1-5/2/3"})
    EXPECT_FALSE(parseTimeText(bad).has_value()) << bad;
}

TEST(NextActivation, RangeWithStepRunsAtTheQuarterHoursOfEveryHour) {
  Timetable t = table("0-30/15", "*", "*", "*");
  EXPECT_EQ(activations(t, {2026, 12, 31, 22, 40, 17}, 7),
            (std::vector<std::string>{"2026-12-31 23:00", "2026-12-31 23:15", "2026-12-31 23:30", "2027-01-01 00:00",
                                      "2027-01-01 00:15", "2027-01-01 00:30", "2027-01-01 01:00"}));
  // Strictly after the current minute: at 23:15 the next one is 23:30.
  EXPECT_EQ(text(*nextActivation(t, {2026, 12, 31, 23, 15, 59})), "2026-12-31 23:30");
}

TEST(NextActivation, WeekendOnlyTimetableWaitsForTheComingWeekend) {
  Timetable t = table("5", "8,20", "*", "*", "NNNNNSS");
  // Wednesday 9 December 2026.
  EXPECT_EQ(activations(t, {2026, 12, 9, 12, 30, 0}, 5),
            (std::vector<std::string>{"2026-12-12 08:05", "2026-12-12 20:05", "2026-12-13 08:05", "2026-12-13 20:05",
                                      "2026-12-19 08:05"}));
  // Saturday morning after 08:05: the same evening.
  EXPECT_EQ(text(*nextActivation(t, {2026, 12, 12, 8, 5, 0})), "2026-12-12 20:05");
}

TEST(NextActivation, DatesThatNeverComeFindNothing) {
  LocalTime now{2026, 12, 9, 12, 30, 0};
  EXPECT_FALSE(nextActivation(table("0", "0", "31", "4"), now));
  EXPECT_FALSE(nextActivation(table("75", "*", "*", "*"), now));  // outside the minute's range
  EXPECT_FALSE(nextActivation(table("*", "*", "0", "*"), now));
  EXPECT_FALSE(nextActivation(table("*", "*", "*", "*", "NNNNNNN"), now));
  // 29 February comes every fourth year, the last one before 2100 in 2096.
  EXPECT_EQ(text(*nextActivation(table("0", "0", "29", "2"), now)), "2028-02-29 00:00");
  EXPECT_FALSE(nextActivation(table("0", "0", "29", "2"), {2096, 3, 1, 0, 0, 0}));
  EXPECT_FALSE(nextActivation(table("*", "*", "*", "*"), {2099, 12, 31, 23, 59, 0}));
}

// An independent search: day by day through the C library's calendar, then
// the first matching hour and minute of the first matching day.
std::optional<std::string> bruteForce(const Timetable& t, const LocalTime& now) {
  std::tm start{};
  start.tm_year = now.year - 1900;
  start.tm_mon = now.month - 1;
  start.tm_mday = now.day;
  std::time_t day = timegm(&start);
  for (;; day += 86400) {
    std::tm d{};
    gmtime_r(&day, &d);
    if (d.tm_year + 1900 > 2099) return std::nullopt;
    if (!matches(t.months, d.tm_mon + 1) || !matches(t.days, d.tm_mday)) continue;
    int monday0 = (d.tm_wday + 6) % 7;
    if (t.weekdays[static_cast<std::size_t>(monday0)] != 'S') continue;
    bool today = d.tm_year + 1900 == now.year && d.tm_mon + 1 == now.month && d.tm_mday == now.day;
    for (int h = 0; h < 24; ++h) {
      if (!matches(t.hours, h) || (today && h < now.hour)) continue;
      for (int m = 0; m < 60; ++m) {
        if (!matches(t.minutes, m) || (today && h == now.hour && m <= now.minute)) continue;
        char b[80];
        std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d", d.tm_year + 1900, d.tm_mon + 1, d.tm_mday, h, m);
        return std::string(b);
      }
    }
  }
}

TimeField randomField(std::mt19937& rng, int low, int high) {
  auto value = [&] {
    // Mostly within the column's range, sometimes beyond it (never matches).
    return std::uniform_int_distribution<int>(0, 9)(rng) == 0 ? std::uniform_int_distribution<int>(0, 99)(rng)
                                                              : std::uniform_int_distribution<int>(low, high)(rng);
  };
  TimeField f;
  switch (std::uniform_int_distribution<int>(0, 2)(rng)) {
    case 0:
      break;
    case 1: {
      f.kind = TimeField::Kind::Range;
      int a = value(), b = value();
      f.first = std::min(a, b);
      f.last = std::max(a, b);
      f.step = std::uniform_int_distribution<int>(1, 20)(rng);
      break;
    }
    default:
      f.kind = TimeField::Kind::List;
      f.count = std::uniform_int_distribution<int>(1, 7)(rng);
      for (int i = 0; i < f.count; ++i) f.values[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value());
  }
  return f;
}

TEST(NextActivation, AgreesWithTheCLibraryCalendar) {
  std::mt19937 rng(20261209);
  int found = 0;
  for (int i = 0; i < 400; ++i) {
    Timetable t{randomField(rng, 0, 59), randomField(rng, 0, 23), randomField(rng, 1, 31), randomField(rng, 1, 12),
                ""};
    for (int d = 0; d < 7; ++d) t.weekdays += std::uniform_int_distribution<int>(0, 2)(rng) ? 'S' : 'N';
    LocalTime now{std::uniform_int_distribution<int>(2001, 2099)(rng), std::uniform_int_distribution<int>(1, 12)(rng),
                  0, std::uniform_int_distribution<int>(0, 23)(rng), std::uniform_int_distribution<int>(0, 59)(rng), 0};
    now.day = std::uniform_int_distribution<int>(1, daysInMonth(now.year, now.month))(rng);
    std::optional<LocalTime> ours = nextActivation(t, now);
    std::optional<std::string> theirs = bruteForce(t, now);
    ASSERT_EQ(ours.has_value(), theirs.has_value())
        << "from " << text(now) << " minutes " << formatTimeField(t.minutes) << " hours " << formatTimeField(t.hours)
        << " days " << formatTimeField(t.days) << " months " << formatTimeField(t.months) << " " << t.weekdays;
    if (ours) {
      ++found;
      ASSERT_EQ(text(*ours), *theirs) << "from " << text(now) << " minutes " << formatTimeField(t.minutes)
                                      << " hours " << formatTimeField(t.hours) << " days " << formatTimeField(t.days)
                                      << " months " << formatTimeField(t.months) << " " << t.weekdays;
    }
  }
  EXPECT_GT(found, 100);  // the sample is not all dead timetables
}

}  // namespace
}  // namespace cfg
