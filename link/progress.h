// The Progress port: how a worker reports to the dialog that waits for it.
//
// A worker never touches a widget. It reports through two calls, both
// posted and never waited for: refresh (message 68), carrying its two values
// and the progress text by value, and the close request (the Cancel command)
// with which a worker that failed or finished asks its dialog to close.
//
// The GUI implements the port by posting to its own thread. ProgressQueue is
// the headless implementation: an event queue that tests and unattended runs
// read from.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace cfg {

// One refresh. Dialogs with a progress bar take `second` as the position
// (`first` is 0); dialogs with a text field show `text`; status displays
// decode `text`.
struct ProgressUpdate {
  int first = 0;
  int second = 0;
  std::string text;
};

class Progress {
 public:
  virtual ~Progress() = default;
  // Message 68. Called on the worker's thread; must not block on the owner.
  virtual void refresh(ProgressUpdate update) = 0;
  // The Cancel command posted to the owner. Called on the worker's thread.
  virtual void requestClose() = 0;
};

// Events in the order the worker posted them; thread-safe.
class ProgressQueue : public Progress {
 public:
  struct Event {
    bool close = false;       // the close request; otherwise a refresh
    ProgressUpdate update;    // the refresh's values and text
  };

  void refresh(ProgressUpdate update) override;
  void requestClose() override;

  // Waits up to timeoutMs for the next event and takes it off the queue.
  std::optional<Event> next(int timeoutMs);
  // Takes every queued event without waiting.
  std::vector<Event> takeAll();

  // Counters over the queue's whole life (taken events included).
  std::size_t refreshCount() const;
  std::size_t closeCount() const;
  // The newest refresh posted, if any.
  std::optional<ProgressUpdate> latest() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Event> events_;
  std::size_t refreshes_ = 0;
  std::size_t closes_ = 0;
  std::optional<ProgressUpdate> latest_;
};

}  // namespace cfg
