// Worker records: long operations on a thread of their own.
//
// A dialog that talks to a terminal for more than one exchange starts one
// worker and waits for it. The two sides meet only through the record's stop
// request (an atomic flag) and the Progress port:
//
//   owner (dialog)                         worker
//   start(owner, routine)  ───────────►    routine runs step by step; before
//                                          each step it looks at the stop
//                                          request (stopRequested(), pause())
//   Cancel pressed: stop()
//     sets the stop request, then looks
//     every 20 ms until the worker has     the routine sees the request and
//     cleared it                  ◄─────   returns; the request is cleared
//
//   a routine that returns without a stop request (it failed or finished)
//   posts the close request (Cancel) to its owner and waits, in 20 ms steps,
//   until the owner's stop() sets the request; then clears it and ends.
//
// So the dialog never ends while the worker still uses the Link, and the
// worker never ends while its dialog waits for it. A transaction in progress
// is never cut short: Cancel takes effect between two exchanges.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "link/progress.h"
#include "link/prompt.h"

namespace cfg {

inline constexpr const char* kThreadStartFailed = "Error: CreateThread failed.";
// The owner looks at the stop request, and a closing worker at its owner, this often.
inline constexpr int kStopPollMs = 20;

class Worker {
 public:
  // The operation. It returns when it is finished, has failed, or has seen
  // the stop request; the record does the rest of the handshake.
  using Routine = std::function<void(Worker&)>;
  // Creates `thread` running `body`; false when no thread can be created
  // (the thread is then left empty). Tests inject one that fails.
  using ThreadStarter = std::function<bool(std::thread& thread, std::function<void()> body)>;
  static bool startStdThread(std::thread& thread, std::function<void()> body);

  Worker();
  explicit Worker(ThreadStarter starter);
  // Stops a worker still running.
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Stores the owner, clears the stop request and the spare flag and starts
  // the thread. False when the thread cannot be created ("Error: CreateThread
  // failed.", shown only while showLinkErrors is set) or when this record
  // already runs a worker (one at a time per record; nothing is shown then).
  bool start(Progress& owner, Routine routine, const Messages& messages);
  // Sets the stop request and waits, in 20 ms steps, until the worker has
  // cleared it; then the thread is joined and forgotten. Returns at once
  // when no worker runs. Call it from the owner's thread only.
  void stop();
  // A thread is held (started and not yet stopped). Owner's thread only.
  bool running() const { return thread_.joinable(); }

  // --- for the routine, on the worker's thread ---
  bool stopRequested() const { return stopRequest_.load(); }
  // Sleeps `ms` in steps of at most 20 ms; true as soon as the stop request
  // is set (the routine should then return).
  bool pause(int ms) const;
  // Message 68 to the owner, with the progress text by value.
  void refresh(int first, int second, std::string text) const;
  void refresh(std::string text) const { refresh(0, 0, std::move(text)); }

  // Cleared at every start; free for the operation's own use.
  std::atomic<int> spare{0};

 private:
  void body(const Routine& routine);

  std::atomic<bool> stopRequest_{false};
  std::atomic<bool> alive_{false};  // the thread has not yet finished its handshake
  Progress* owner_ = nullptr;       // written before the thread starts
  std::thread thread_;
  ThreadStarter starter_;
};

// The worker records of the program, side by side: general operation
// dialogs, the modem dialogs, the handheld scans of a background batch, the
// batch runner and the scheduler.
struct WorkerRecords {
  Worker general;
  Worker modem;
  Worker handheldScan;
  Worker batch;
  Worker scheduler;
};

// The dialog side without a dialog, for unattended runs and tests: starts
// the worker, hands each refresh to `onRefresh`, and stops the worker when it
// asks to close or when `limitMs` has passed.
enum class HeadlessEnd { NotStarted, Closed, TimedOut };
HeadlessEnd runHeadless(Worker& worker, const Messages& messages, Worker::Routine routine, int limitMs,
                        const std::function<void(const ProgressUpdate&)>& onRefresh = {});

}  // namespace cfg
