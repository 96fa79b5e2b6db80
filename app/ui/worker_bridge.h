// The worker side meets the GUI thread here.
//
// QtProgress implements the Progress port by posting to a receiver on the
// GUI thread: refresh (message 68) and the close request (Cancel) arrive
// there as queued calls, never waited for.
//
// stopWorker is the owner's stop: it sets the stop request and waits until
// the worker has cleared it. The wait runs a local event loop (looking every
// 20 ms) instead of sleeping, so a worker that is asking a question at that
// moment gets its box shown and answered, and can then stop.
#pragma once

#include <QObject>
#include <functional>

#include "link/progress.h"
#include "link/worker.h"

namespace cfg::ui {

class QtProgress : public Progress {
 public:
  using RefreshHandler = std::function<void(const ProgressUpdate&)>;
  using CloseHandler = std::function<void()>;
  // The handlers run on `receiver`'s thread. The receiver must outlive the
  // worker: its owner stops the worker before it goes.
  QtProgress(QObject* receiver, RefreshHandler onRefresh, CloseHandler onClose);

  void refresh(ProgressUpdate update) override;
  void requestClose() override;

 private:
  QObject* receiver_;
  RefreshHandler onRefresh_;
  CloseHandler onClose_;
};

// Stops a running worker from the GUI thread; returns at once when none runs.
void stopWorker(Worker& worker);

}  // namespace cfg::ui
