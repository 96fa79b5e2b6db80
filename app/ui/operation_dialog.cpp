#include "app/ui/operation_dialog.h"

#include "app/ui/text.h"

namespace cfg::ui {

OperationDialog::OperationDialog(Worker& worker, const Messages& messages, Worker::Routine routine,
                                 const QString& title, const QString& buttonText, Display display, QWidget* parent)
    : GreyDialog(title, parent),
      worker_(worker),
      messages_(messages),
      routine_(std::move(routine)),
      progress_(
          this, [this](const ProgressUpdate& u) { showProgress(u); }, [this] { cancel(); }) {
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  body_ = new QVBoxLayout;
  layout->addLayout(body_);
  if (display == Display::Text) {
    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);  // the worker's text comes from the terminal
    text_->setMinimumWidth(240);
    text_->setAlignment(Qt::AlignCenter);
    body_->addWidget(text_);
  } else if (display == Display::Bar) {
    bar_ = new QProgressBar(this);
    bar_->setMinimumWidth(240);
    body_->addWidget(bar_);
  }
  button_ = new QPushButton(buttonText, this);
  button_->setAutoDefault(false);
  layout->addWidget(button_, 0, Qt::AlignHCenter);
  connect(button_, &QPushButton::clicked, this, [this] { cancel(); });
  // OK posted to itself: the worker starts once the dialog runs its loop.
  QMetaObject::invokeMethod(this, [this] { start(); }, Qt::QueuedConnection);
}

OperationDialog::~OperationDialog() { stopWorker(worker_); }

void OperationDialog::start() {
  if (stopping_ || worker_.running()) return;
  if (!worker_.start(progress_, routine_, messages_)) done(0);
}

void OperationDialog::reject() { cancel(); }

void OperationDialog::cancel() {
  if (stopping_) return;
  stopping_ = true;
  stopWorker(worker_);
  done(1);
}

void OperationDialog::showProgress(const ProgressUpdate& update) {
  if (stopping_) return;
  if (text_) text_->setText(fromCp1252(update.text));
  if (bar_) bar_->setValue(update.second);
}

}  // namespace cfg::ui
