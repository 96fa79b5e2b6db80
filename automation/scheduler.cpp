#include "automation/scheduler.h"

#include <thread>

#include <ctime>

#include "automation/batch_log.h"
#include "link/worker.h"

namespace cfg {

LocalTime localTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string executionLogLine(const LocalTime& at, std::string_view commandLine) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "****: %02d/%02d/%04d %02d:%02d:%02d esecuzione ", at.day % 100, at.month % 100,
                at.year % 10000, at.hour % 100, at.minute % 100, at.second % 100);
  return stamp + std::string(commandLine);
}

Scheduler::Scheduler(ActivityTable& table, SchedulerEnvironment environment)
    : table_(table), env_(std::move(environment)) {}

bool Scheduler::execute(ScheduledActivity& activity, int index) {
  const std::string& line = activity.programs[static_cast<std::size_t>(index)];
  LocalTime now = env_.clock();
  appendLogLine(env_.logDirectory, executionLogLine(now, line));
  if (isInternalCommand(line)) {
    // The flag goes up before the batch is handed over, so that the activity
    // can never see it clear before the batch has even started.
    if (env_.batchRunning) env_.batchRunning->store(true);
    if (env_.runBatch) {
      env_.runBatch(internalBatchPath(line));
    } else if (env_.batchRunning) {
      env_.batchRunning->store(false);  // nobody to run it
    }
    return false;
  }
  std::string why;
  if (!activity.process.start(line, &why)) {
    // Counts as a program that has already ended; the log says why.
    appendLogLine(env_.logDirectory, "****: avvio di " + line + " non riuscito: " + why);
  }
  return true;
}

int Scheduler::startFrom(ScheduledActivity& activity, int index) {
  static constexpr int kProcessState[3] = {kProgram1Process, kProgram2Process, kProgram3Process};
  static constexpr int kBatchState[3] = {kProgram1Batch, kProgram2Batch, kProgram3Batch};
  for (int i = index; i < 3; ++i) {
    if (activity.programs[static_cast<std::size_t>(i)].empty()) continue;
    return execute(activity, i) ? kProcessState[i] : kBatchState[i];
  }
  return kAllDone;
}

bool Scheduler::lockFreeFor(const ScheduledActivity& activity) const {
  if (!lockHolder_ || *lockHolder_ == activity.id) return true;
  // A holder deleted from the table keeps the lock until its batch has ended.
  bool holderGone = table_.indexOf(*lockHolder_) == table_.activities().size();
  return holderGone && !(env_.batchRunning && env_.batchRunning->load());
}

void Scheduler::advance(ScheduledActivity& a) {
  const bool batchRunning = env_.batchRunning && env_.batchRunning->load();
  switch (a.runState) {
    case kWaitingForLock:
      if (lockFreeFor(a)) {
        lockHolder_ = a.id;
        a.runState = kReady;
      }
      break;
    case kReady:
      a.runState = a.programs[0].empty() ? kProgram1Done : startFrom(a, 0);
      break;
    case kProgram1Process:
    case kProgram2Process:
    case kProgram3Process:
      if (a.process.ended()) a.runState += 2;
      break;
    case kProgram1Batch:
    case kProgram2Batch:
    case kProgram3Batch:
      if (!batchRunning) a.runState += 1;
      break;
    case kProgram1Done:
      a.runState = a.programs[1].empty() ? kProgram2Done : startFrom(a, 1);
      break;
    case kProgram2Done:
      a.runState = a.programs[2].empty() ? kAllDone : startFrom(a, 2);
      break;
    case kAllDone:
      if (lockHolder_ == a.id) lockHolder_.reset();
      a.runState = kIdle;
      computeNext(a, env_.clock());
      break;
    default:
      break;
  }
}

bool Scheduler::pass(bool stopping) {
  collectOrphanedChildren();
  std::lock_guard<std::mutex> guard(table_.mutex());
  std::vector<ScheduledActivity>& activities = table_.activities();
  if (stopping) {
    bool busy = false;
    for (const ScheduledActivity& a : activities) busy |= a.runState != kIdle;
    if (!busy) return true;
  } else {
    LocalTime now = env_.clock();
    now.second = 0;
    if (now.key() != lastMinute_) {
      lastMinute_ = now.key();
      for (ScheduledActivity& a : activities) {
        if (a.disabled || a.runState != kIdle || a.next.key() > now.key()) continue;
        if (a.internal && !lockFreeFor(a)) {
          a.runState = kWaitingForLock;
          continue;
        }
        if (a.internal) lockHolder_ = a.id;
        a.runState = startFrom(a, 0);
      }
    }
  }
  // A running activity goes on to its end even when it was disabled meanwhile.
  for (ScheduledActivity& a : activities)
    if (a.runState != kIdle) advance(a);
  return false;
}

void Scheduler::run(Worker& worker) {
  for (;;) {
    if (pass(worker.stopRequested())) return;
    if (worker.stopRequested()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kSchedulerPassMs));  // draining: the stop request is already set
    } else {
      worker.pause(kSchedulerPassMs);
    }
  }
}

}  // namespace cfg
