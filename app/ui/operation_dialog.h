// The operation dialog: a small modal dialog that runs one worker.
//
//   on opening     posts OK to itself, so the worker starts once the dialog
//                  is on screen
//   OK             starts the worker; if it cannot start, the dialog ends with 0
//   refresh (68)   shows the progress text, or moves the progress bar to the
//                  update's second value
//   Cancel         (the button, Escape, the close box, or posted by a worker
//                  that failed or finished) stops the worker, then the dialog
//                  ends with 1. A second Cancel while stopping is ignored.
//
// Every later operation dialog is one of these: it passes its routine and
// caption, and adds its own widgets to body() or overrides showProgress().
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/grey_dialog.h"
#include "app/ui/worker_bridge.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg::ui {

class OperationDialog : public GreyDialog {
  Q_OBJECT
 public:
  enum class Display { Text, Bar, Custom };

  OperationDialog(Worker& worker, const Messages& messages, Worker::Routine routine, const QString& title,
                  const QString& buttonText = QStringLiteral("&Annulla"), Display display = Display::Text,
                  QWidget* parent = nullptr);
  // Stops the worker if it still runs.
  ~OperationDialog() override;

  QLabel* progressText() const { return text_; }
  QProgressBar* progressBar() const { return bar_; }
  QPushButton* cancelButton() const { return button_; }
  QVBoxLayout* body() const { return body_; }
  // The worker was started and is not yet stopped.
  bool workerRunning() const { return worker_.running(); }

  void reject() override;  // Cancel

 protected:
  // Refresh (68). Text: the progress text; bar: the second value.
  virtual void showProgress(const ProgressUpdate& update);

 private:
  void start();
  void cancel();

  Worker& worker_;
  const Messages& messages_;
  Worker::Routine routine_;
  QtProgress progress_;
  QVBoxLayout* body_ = nullptr;
  QLabel* text_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* button_ = nullptr;
  bool stopping_ = false;
};

}  // namespace cfg::ui
