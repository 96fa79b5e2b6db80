#include "cfgctl/activity_commands.h"

#include <cstdio>
#include <ostream>

#include "automation/activities.h"
#include "automation/scheduler.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"

namespace cfg::cli {

namespace {

const char* const kActivitiesHelp =
    "cfgctl [-C DIR] activities [--now \"YYYY-MM-DD HH:MM\"]\n"
    "Lists the scheduled activities of DIR/attivita.dat as the program reads them, in file order,\n"
    "one a line, fields separated by a tab:\n"
    "  NUMBER NEXT MINUTES HOURS DAYS MONTHS WEEKDAYS DESCRIPTION\n"
    "NEXT is the next activation after now (or after --now) as DD/MM/YYYY HH:MM, or DISATTIVA for\n"
    "an activity that is disabled or can never run before 2100. The time columns are shown in\n"
    "their formatted form (\"00,30\", \"00-30/15\", \"*\"); WEEKDAYS are seven S/N flags, Monday first.\n"
    "Reading stops at the first malformed activity; the ones before it are listed and the rest is\n"
    "reported on stderr.\n";

// "YYYY-MM-DD HH:MM" (also with a "T" between date and time).
std::optional<LocalTime> parseNow(const std::string& text) {
  LocalTime t;
  char separator = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%n", &t.year, &t.month, &t.day, &separator, &t.hour, &t.minute,
                  &used) != 6 ||
      static_cast<std::size_t>(used) != text.size() || (separator != ' ' && separator != 'T'))
    return std::nullopt;
  if (t.year < 2001 || t.year > kLastScheduledYear || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > daysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59)
    return std::nullopt;
  return t;
}

std::string nextText(const ScheduledActivity& a) {
  if (a.disabled) return "DISATTIVA";
  char b[48];
  std::snprintf(b, sizeof b, "%02d/%02d/%04d %02d:%02d", a.next.day % 100, a.next.month % 100, a.next.year % 10000,
                a.next.hour % 100, a.next.minute % 100);
  return b;
}

}  // namespace

bool isActivitiesCommand(const std::string& name) { return name == "activities"; }

std::string activitiesHelp() { return kActivitiesHelp; }

int runActivities(const std::vector<std::string>& words, const std::string& directory, std::ostream& out,
                  std::ostream& err) {
  LocalTime now = localTimeNow();
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (words[i] == "--now" && i + 1 < words.size()) {
      std::optional<LocalTime> given = parseNow(words[++i]);
      if (!given) {
        err << "cfgctl: --now vuole una data e un'ora \"YYYY-MM-DD HH:MM\" tra il 2001 e il 2099\n"
            << kActivitiesHelp;
        return kUsage;
      }
      now = *given;
    } else {
      err << "cfgctl: argomento non previsto \"" << printable(shownArg(words[i]), false) << "\"\n" << kActivitiesHelp;
      return kUsage;
    }
  }
  std::optional<std::filesystem::path> dir = workingDirectory(directory, err);
  if (!dir) return kSetup;

  CliPrompt prompt(out, err, false);
  Messages messages(prompt);
  FileContext ctx{*dir, messages, false};
  ActivityTable table;
  FileReport report;
  readActivities(ctx, table, now, &report);
  if (report.outcome == FileReport::Outcome::Missing) {
    err << "cfgctl: " << printable(report.problem()) << ": nessuna attivita` programmata.\n";
    return kOk;
  }
  reportFile(report, err);
  if (!report.read()) return kSetup;

  std::lock_guard<std::mutex> guard(table.mutex());
  std::size_t number = 0;
  for (const ScheduledActivity& a : table.activities()) {
    const Timetable& t = a.timetable;
    out << ++number << '\t' << nextText(a) << '\t' << formatTimeField(t.minutes) << '\t' << formatTimeField(t.hours)
        << '\t' << formatTimeField(t.days) << '\t' << formatTimeField(t.months) << '\t' << t.weekdays << '\t'
        << printable(a.description, false) << '\n';
  }
  return kOk;
}

}  // namespace cfg::cli
