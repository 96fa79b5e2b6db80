// The scheduled activities and their file `attivita.dat`.
//
// At most 100 activities, each with a description, a disabled flag, a
// timetable and up to three command lines. A command line containing
// "orbita" names a batch file run inside the program; any other starts an
// external program.
//
// attivita.dat, CR LF line ends, five lines per activity:
//   "%-40s %c"            description, "1" disabled / "0"          (44 bytes)
//   4 x "%-20s " "%-7s"   minutes, hours, days, months, weekdays   (93 bytes)
//   3 x "%-255s"          programs 1, 2 and 3                      (257 bytes each)
//
// The table is shared by the list dialog and the scheduler's worker: both
// work on it only while holding its mutex.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings_io.h"
#include "automation/process.h"
#include "automation/timetable.h"

namespace cfg {

inline constexpr const char* kActivityFile = "attivita.dat";
inline constexpr std::size_t kMaxActivities = 100;
inline constexpr std::size_t kDescriptionWidth = 40;
inline constexpr std::size_t kTimeTextWidth = 20;
inline constexpr std::size_t kProgramWidth = 255;
inline constexpr const char* kInternalMarker = "orbita";

// Run states of an activity while it carries out its programs.
enum RunState : int {
  kIdle = 0,
  kWaitingForLock = 1,
  kReady = 2,
  kProgram1Process = 3,
  kProgram1Batch = 4,
  kProgram1Done = 5,
  kProgram2Process = 6,
  kProgram2Batch = 7,
  kProgram2Done = 8,
  kProgram3Process = 9,
  kProgram3Batch = 10,
  kAllDone = 11,
};

struct ScheduledActivity {
  std::string description;  // Windows-1252, at most 40 bytes
  bool disabled = false;
  Timetable timetable;
  std::array<std::string, 3> programs;  // command lines, at most 255 bytes each
  LocalTime next{};                     // next activation (valid unless disabled)
  int runState = kIdle;
  bool internal = false;  // a program names a batch run inside the program
  ChildProcess process;   // the external program started last
  std::uint64_t id = 0;   // stable identity within the table (set by the table)
};

// A program line that hands a batch to the program itself.
bool isInternalCommand(std::string_view commandLine);
// The batch path of an internal command line: what follows "orbita" and one separator.
std::string internalBatchPath(std::string_view commandLine);
// Sets the internal flag from the programs.
void updateInternal(ScheduledActivity& activity);
// Computes the next activation from `now`; without one the activity turns
// disabled and the result is false.
bool computeNext(ScheduledActivity& activity, const LocalTime& now);

// The five lines of one activity as they are written.
std::string activityRecord(const ScheduledActivity& activity);

// What the reader found.
struct ActivityRead {
  std::vector<ScheduledActivity> activities;  // in file order, next activation not yet computed
  bool stoppedEarly = false;                  // a malformed record ended the reading
  std::size_t stopRecord = 0;                 // its number (1-based), when stoppedEarly
  std::string stopReason;
};
// Parses records until the end, a malformed one, an activity without
// programs, or the hundredth. The internal flags are set.
ActivityRead parseActivities(ByteSource& source);

// The list dialog's line texts: "   DISATTIVA" or "dd/mm/yy hh:mm".
std::string nextActivationText(const ScheduledActivity& activity);
// The diagnostic line of one activity.
std::string diagnosticLine(const ScheduledActivity& activity);

// The card "Scheda Attivita` Programmata": the fields as typed.
struct ActivityCard {
  std::string description;
  bool disabled = false;
  std::array<std::string, 4> times;  // minutes, hours, days, months
  std::string weekdays = "NNNNNNN";  // Monday first
  std::array<std::string, 3> programs;
};
inline constexpr const char* kTimeSyntaxError = "Errore: sintassi non corretta.";
inline constexpr const char* kNoWeekdayError = "Errore: attivare almeno un giorno.";
inline constexpr const char* kNoProgramError = "Errore: nessuna attivita` programmata.";

// The card's fields for an activity (time texts in their formatted form).
ActivityCard cardOf(const ScheduledActivity& activity);
// Which field "&Conferma" found wrong (in the order it checks them).
enum class ActivityCardError { None, Minutes, Hours, Days, Months, Weekdays, Programs };
// Checks the card (minutes, hours, days, months, a weekday, a program; the
// first fault is shown titled "Error Message"), then stores every field, the
// internal flag and the next activation from `now`.
ActivityCardError storeCard(const ActivityCard& card, ScheduledActivity& activity, const LocalTime& now,
                    const Messages& messages);

class ActivityTable {
 public:
  ActivityTable() = default;
  ActivityTable(const ActivityTable&) = delete;
  ActivityTable& operator=(const ActivityTable&) = delete;

  // Hold this while reading or changing the activities.
  std::mutex& mutex() { return mutex_; }
  // Under the mutex.
  std::vector<ScheduledActivity>& activities() { return activities_; }
  const std::vector<ScheduledActivity>& activities() const { return activities_; }
  // Appends (under the mutex), giving the activity its identity. False when full.
  bool add(ScheduledActivity activity);
  // Removes the activity at `index` (under the mutex). A program it still
  // runs is left to end by itself and is collected all the same.
  void remove(std::size_t index);
  // Replaces the table (under the mutex).
  void replace(std::vector<ScheduledActivity> activities);
  // Sorts by ascending next activation, the disabled ones last (under the mutex).
  void sortByNext();
  std::size_t indexOf(std::uint64_t id) const;  // size() when not there

 private:
  std::mutex mutex_;
  std::vector<ScheduledActivity> activities_;
  std::uint64_t nextId_ = 1;
};

// Reads attivita.dat from the working directory into the table (the next
// activations computed from `now`). Always succeeds: a missing file leaves
// the table empty; with the diagnostic switch the path, the open error and
// every activity are shown. Returns the number of activities read.
std::size_t readActivities(const FileContext& ctx, ActivityTable& table, const LocalTime& now,
                           FileReport* report = nullptr);
// Writes every activity; false (after the box) when the file cannot be written.
bool writeActivities(const FileContext& ctx, ActivityTable& table);

}  // namespace cfg
