#include "app/ui/worker_bridge.h"

#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <thread>

namespace cfg::ui {

QtProgress::QtProgress(QObject* receiver, RefreshHandler onRefresh, CloseHandler onClose)
    : receiver_(receiver), onRefresh_(std::move(onRefresh)), onClose_(std::move(onClose)) {}

void QtProgress::refresh(ProgressUpdate update) {
  QMetaObject::invokeMethod(
      receiver_, [this, update = std::move(update)] { if (onRefresh_) onRefresh_(update); }, Qt::QueuedConnection);
}

void QtProgress::requestClose() {
  QMetaObject::invokeMethod(receiver_, [this] { if (onClose_) onClose_(); }, Qt::QueuedConnection);
}

void stopWorker(Worker& worker) {
  if (!worker.running()) return;
  // Worker::stop sleeps while it waits; it runs on a helper thread so that
  // this thread keeps serving events (a question from the worker among them).
  std::atomic<bool> stopped{false};
  std::thread helper([&] {
    worker.stop();
    stopped.store(true);
  });
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(kStopPollMs);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (stopped.load()) loop.quit();
  });
  poll.start();
  if (!stopped.load()) loop.exec();
  helper.join();
}

}  // namespace cfg::ui

