#include "automation/activities.h"

#include <algorithm>
#include <cstdio>

namespace cfg {

namespace {

constexpr std::size_t kHeaderLength = 44;
constexpr std::size_t kTimetableLength = 93;
constexpr std::size_t kProgramLength = 257;
constexpr std::size_t kWeekdayColumn = 84;

bool validWeekdays(std::string_view flags) {
  if (flags.size() != 7) return false;
  return std::all_of(flags.begin(), flags.end(), [](char c) { return c == 'S' || c == 'N'; });
}

}  // namespace

bool isInternalCommand(std::string_view commandLine) {
  return commandLine.find(kInternalMarker) != std::string_view::npos;
}

std::string internalBatchPath(std::string_view commandLine) {
  std::size_t at = commandLine.find(kInternalMarker);
  if (at == std::string_view::npos) return {};
  std::size_t start = at + std::string_view(kInternalMarker).size() + 1;
  if (start >= commandLine.size()) return {};
  return std::string(commandLine.substr(start));
}

void updateInternal(ScheduledActivity& activity) {
  activity.internal = std::any_of(activity.programs.begin(), activity.programs.end(),
                                  [](const std::string& p) { return isInternalCommand(p); });
}

bool computeNext(ScheduledActivity& activity, const LocalTime& now) {
  std::optional<LocalTime> next = nextActivation(activity.timetable, now);
  if (!next) {
    activity.disabled = true;
    return false;
  }
  activity.next = *next;
  return true;
}

std::string activityRecord(const ScheduledActivity& a) {
  std::string bytes = padded(a.description, kDescriptionWidth);
  bytes += ' ';
  bytes += a.disabled ? '1' : '0';
  bytes += "\r\n";
  for (const TimeField* field : {&a.timetable.minutes, &a.timetable.hours, &a.timetable.days, &a.timetable.months}) {
    bytes += padded(formatTimeField(*field), kTimeTextWidth);
    bytes += ' ';
  }
  bytes += padded(a.timetable.weekdays, 7);
  bytes += "\r\n";
  for (const std::string& program : a.programs) {
    bytes += padded(program, kProgramWidth);
    bytes += "\r\n";
  }
  return bytes;
}

ActivityRead parseActivities(ByteSource& source) {
  ActivityRead read;
  auto stop = [&read](std::string reason) {
    read.stoppedEarly = true;
    read.stopRecord = read.activities.size() + 1;
    read.stopReason = std::move(reason);
  };
  while (read.activities.size() < kMaxActivities) {
    std::string header = source.take(kHeaderLength);
    if (header.empty()) break;  // the end of the file
    if (header.size() < kHeaderLength || !crlfAt(header, kHeaderLength - 2)) {
      stop("riga della descrizione incompleta");
      break;
    }
    ScheduledActivity a;
    a.description = textField(header, 0, kDescriptionWidth);
    a.disabled = header[kDescriptionWidth + 1] != '0';

    std::string times = source.take(kTimetableLength);
    if (times.size() < kTimetableLength || !crlfAt(times, kTimetableLength - 2)) {
      stop("riga dell'orario incompleta");
      break;
    }
    TimeField* fields[4] = {&a.timetable.minutes, &a.timetable.hours, &a.timetable.days, &a.timetable.months};
    bool syntax = true;
    for (std::size_t i = 0; i < 4 && syntax; ++i) {
      std::optional<TimeField> f = parseTimeText(textField(times, i * (kTimeTextWidth + 1), kTimeTextWidth, false));
      if (f) *fields[i] = *f;
      syntax = f.has_value();
    }
    if (!syntax) {
      stop("sintassi dell'orario non corretta");
      break;
    }
    a.timetable.weekdays = times.substr(kWeekdayColumn, 7);
    if (!validWeekdays(a.timetable.weekdays)) {
      stop("giorni della settimana non validi");
      break;
    }
    bool complete = true;
    for (std::string& program : a.programs) {
      std::string line = source.take(kProgramLength);
      if (line.size() < kProgramLength || !crlfAt(line, kProgramLength - 2)) {
        complete = false;
        break;
      }
      program = textField(line, 0, kProgramWidth);
    }
    if (!complete) {
      stop("riga di un programma incompleta");
      break;
    }
    if (std::all_of(a.programs.begin(), a.programs.end(), [](const std::string& p) { return p.empty(); })) {
      stop("nessun programma");
      break;
    }
    updateInternal(a);
    read.activities.push_back(std::move(a));
  }
  return read;
}

std::string nextActivationText(const ScheduledActivity& a) {
  if (a.disabled) return "   DISATTIVA";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d %02d:%02d", a.next.day % 100, a.next.month % 100,
                a.next.year % 100, a.next.hour % 100, a.next.minute % 100);
  return buffer;
}

std::string diagnosticLine(const ScheduledActivity& a) {
  std::string line = padded(a.description, kDescriptionWidth) + ' ' + (a.disabled ? '1' : '0') + ' ';
  for (const TimeField* field : {&a.timetable.minutes, &a.timetable.hours, &a.timetable.days, &a.timetable.months})
    line += padded(formatTimeField(*field), kTimeTextWidth) + ' ';
  return line + padded(a.timetable.weekdays, 7);
}

namespace {

std::string withoutTrailingBlanks(std::string text, std::size_t width) {
  if (text.size() > width) text.resize(width);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

ActivityCard cardOf(const ScheduledActivity& a) {
  ActivityCard card;
  card.description = a.description;
  card.disabled = a.disabled;
  card.times = {formatTimeField(a.timetable.minutes), formatTimeField(a.timetable.hours),
                formatTimeField(a.timetable.days), formatTimeField(a.timetable.months)};
  card.weekdays = a.timetable.weekdays;
  card.programs = a.programs;
  return card;
}

ActivityCardError storeCard(const ActivityCard& card, ScheduledActivity& activity, const LocalTime& now,
                    const Messages& messages) {
  static constexpr ActivityCardError kTimeErrors[4] = {ActivityCardError::Minutes, ActivityCardError::Hours, ActivityCardError::Days,
                                               ActivityCardError::Months};
  std::array<TimeField, 4> fields;
  for (std::size_t i = 0; i < 4; ++i) {
    std::optional<TimeField> f = parseTimeText(card.times[i]);
    if (!f) {
      messages.error(kTimeSyntaxError);
      return kTimeErrors[i];
    }
    fields[i] = *f;
  }
  if (card.weekdays.size() != 7 || card.weekdays.find('S') == std::string::npos) {
    messages.error(kNoWeekdayError);
    return ActivityCardError::Weekdays;
  }
  std::array<std::string, 3> programs;
  for (std::size_t i = 0; i < 3; ++i) programs[i] = withoutTrailingBlanks(card.programs[i], kProgramWidth);
  if (std::all_of(programs.begin(), programs.end(), [](const std::string& p) { return p.empty(); })) {
    messages.error(kNoProgramError);
    return ActivityCardError::Programs;
  }
  activity.description = withoutTrailingBlanks(card.description, kDescriptionWidth);
  activity.disabled = card.disabled;
  activity.timetable = Timetable{fields[0], fields[1], fields[2], fields[3], card.weekdays};
  activity.programs = std::move(programs);
  updateInternal(activity);
  computeNext(activity, now);
  return ActivityCardError::None;
}

bool ActivityTable::add(ScheduledActivity activity) {
  if (activities_.size() >= kMaxActivities) return false;
  activity.id = nextId_++;
  activities_.push_back(std::move(activity));
  return true;
}

void ActivityTable::remove(std::size_t index) {
  if (index >= activities_.size()) return;
  // The ChildProcess leaves a still running program to be collected later.
  activities_.erase(activities_.begin() + static_cast<std::ptrdiff_t>(index));
}

void ActivityTable::replace(std::vector<ScheduledActivity> activities) {
  activities_.clear();
  for (ScheduledActivity& a : activities) add(std::move(a));
}

void ActivityTable::sortByNext() {
  std::stable_sort(activities_.begin(), activities_.end(),
                   [](const ScheduledActivity& a, const ScheduledActivity& b) {
                     // A disabled activity has no next activation: it goes after the others.
                     if (a.disabled != b.disabled) return b.disabled;
                     return a.next.key() < b.next.key();
                   });
}

std::size_t ActivityTable::indexOf(std::uint64_t id) const {
  for (std::size_t i = 0; i < activities_.size(); ++i)
    if (activities_[i].id == id) return i;
  return activities_.size();
}

std::size_t readActivities(const FileContext& ctx, ActivityTable& table, const LocalTime& now, FileReport* report) {
  showReadingPath(ctx, kActivityFile);
  FileReport local;
  FileReport& r = report ? *report : local;
  r.path = shownPath(ctx.directory, kActivityFile);
  FileSource file;
  std::vector<ScheduledActivity> activities;
  if (!file.open(ctx.directory / kActivityFile)) {
    r.failed(file.error());
    // This reader's box is titled "Error Message" (unlike some older readers').
    if (ctx.diagnostic) ctx.messages.error("Errore: opening file " + r.path);
  } else {
    ActivityRead read = parseActivities(file);
    if (file.error() != 0) r.failed(file.error());
    if (read.stoppedEarly)
      r.badLines.push_back("riga " + std::to_string((read.stopRecord - 1) * 5 + 1) + ": " + read.stopReason);
    activities = std::move(read.activities);
    for (ScheduledActivity& a : activities) {
      a.runState = kIdle;
      computeNext(a, now);
      if (ctx.diagnostic) ctx.messages.info(diagnosticLine(a));
    }
    showReport(ctx, r);
  }
  std::lock_guard<std::mutex> guard(table.mutex());
  table.replace(std::move(activities));
  return table.activities().size();
}

bool writeActivities(const FileContext& ctx, ActivityTable& table) {
  std::string bytes;
  {
    std::lock_guard<std::mutex> guard(table.mutex());
    for (const ScheduledActivity& a : table.activities()) bytes += activityRecord(a);
  }
  return saveFileAtomically(ctx, kActivityFile, bytes);
}

}  // namespace cfg
