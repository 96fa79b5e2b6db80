// The program's command line and what start-up does with it.
//
//   cfgtool              waits for the user
//   cfgtool -d           diagnostic: the settings readers show what they read,
//                        and no batch runs at start
//   cfgtool -a           starts the scheduled activities (when there are any)
//   cfgtool PATH         runs the batch file PATH, then closes
//
// "-d" and "-a" count only as whole arguments, so that a batch path such as
// /data/daily-acq.cmd is not taken for a switch. The other arguments, joined
// with single blanks, are the batch path (a path with blanks may be given
// quoted or not).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace cfg {

struct CommandLine {
  bool diagnostic = false;
  bool autoSchedule = false;
  std::string batchPath;  // empty: none
};

// args without the program name.
CommandLine parseCommandLine(const std::vector<std::string>& args);

enum class StartUpAction { None, StartScheduling, RunBatch };

// The last step of start-up, once the settings are loaded: "-a" starts the
// scheduler when activities were loaded and otherwise nothing; "-d" runs
// nothing; else a batch path is run.
StartUpAction startUpAction(const CommandLine& line, std::size_t scheduledActivities);

// Whether start-up will run the command-line batch and close: known from the
// command line alone, before the settings are loaded, so that the loaders
// never stop on a box in an unattended run.
bool runsBatchAtStart(const CommandLine& line);

// Why the batch file cannot be read ("Errore: lettura file batch PATH non
// riuscita: REASON", Windows-1252), or nothing when it can.
std::optional<std::string> unreadableBatch(const std::string& path);

struct ProcessState;
class Messages;

// What start-up does once the settings are loaded: the commands to post
// (40072 to start the scheduler, 40034 to run the batch, 40010 to close) and
// the exit status so far. A command-line batch that cannot be read is named
// with its reason and the program closes with kExitBatchUnreadable.
struct StartUpEnd {
  std::vector<int> post;
  int exitStatus = 0;
};
StartUpEnd finishStartUp(ProcessState& state, const Messages& messages);

// Exit statuses of cfgtool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitBatchUnreadable = 2;
inline constexpr int kExitAlreadyRunning = 3;
inline constexpr int kExitNoDisplay = 4;
inline constexpr int kExitBatchNotRun = 5;  // the command-line batch could not be run

}  // namespace cfg
