// The scheduler: carries out the scheduled activities on a worker of its own.
//
// Every 500 ms a pass looks at the clock; at each new minute every enabled,
// idle activity whose next activation has come starts its first program.
// The programs of an activity run one after another: an external program is
// started as a process and its end polled; a batch ("orbita PATH") is handed
// to the main window, which runs it, and the activity waits until the
// batch-running flag is clear again. Only one activity at a time may run
// batches: it holds the internal-run lock, by identity, so that sorting or
// deleting rows in the list dialog never moves it. When the last program has
// ended the activity computes its next activation from that moment.
//
// Stopping: once the stop request is set nothing new starts, and the worker
// leaves when no activity is running any more.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "automation/activities.h"
#include "automation/timetable.h"

namespace cfg {

class Worker;

inline constexpr int kSchedulerPassMs = 500;

using LocalClock = std::function<LocalTime()>;
// The local time of this machine.
LocalTime localTimeNow();

// "****: %02d/%02d/%04d %02d:%02d:%02d esecuzione %s"
std::string executionLogLine(const LocalTime& at, std::string_view commandLine);

struct SchedulerEnvironment {
  LocalClock clock = localTimeNow;
  std::filesystem::path logDirectory;  // where file_log.txt is
  // Hands a batch path to the main window (posts its batch command). It must
  // not wait for the batch: it is called with the activity table locked.
  std::function<void(const std::string& batchPath)> runBatch;
  // Set by the scheduler before it hands a batch over, cleared by the batch
  // run when it has ended.
  std::atomic<bool>* batchRunning = nullptr;
};

class Scheduler {
 public:
  Scheduler(ActivityTable& table, SchedulerEnvironment environment);

  // One pass. `stopping` is the stop request. True when the worker may
  // leave: stopping, and no activity runs.
  bool pass(bool stopping);
  // The worker routine: passes every 500 ms until stopped and idle.
  void run(Worker& worker);

  // Which activity holds the internal-run lock (its identity), if any.
  std::optional<std::uint64_t> lockHolder() const { return lockHolder_; }

 private:
  // Starts program `index` (0-2) of the activity: true when it is a process
  // (started, or failed and so already ended), false when a batch was handed over.
  bool execute(ScheduledActivity& activity, int index);
  // Runs the first non-empty program from `index` on: the state it leads to.
  int startFrom(ScheduledActivity& activity, int index);
  void advance(ScheduledActivity& activity);
  bool lockFreeFor(const ScheduledActivity& activity) const;

  ActivityTable& table_;
  SchedulerEnvironment env_;
  long long lastMinute_ = -1;
  std::optional<std::uint64_t> lockHolder_;
};

}  // namespace cfg
