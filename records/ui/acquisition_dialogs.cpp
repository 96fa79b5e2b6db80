#include "records/ui/acquisition_dialogs.h"

#include <QDate>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/text.h"
#include "records/archive_choice.h"
#include "records/ui/archive_dialogs.h"

namespace cfg::ui {

namespace {

QLineEdit* readOnlyField(QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setReadOnly(true);
  field->setFocusPolicy(Qt::NoFocus);
  return field;
}

// Runs one loop in the acquisition dialog. The job holds its own copy of the
// live settings, taken before the worker starts.
void runRecords(ProcessState& state, const Messages& messages, bool retrieval, QWidget* parent,
                const std::function<void(Worker&, const RecordJob&, RecordRun&)>& loop) {
  RecordJob job{state.link, messages, state.workingDirectory, state.live, state.formats};
  RecordRun run;
  AcquisitionDialog dialog(
      state.workers.general, messages, [&job, &run, &loop](Worker& w) { loop(w, job, run); },
      state.link.config.number, run, retrieval, parent);
  dialog.exec();
}

}  // namespace

// --- "Acquisizione Registrazioni" ---

AcquisitionDialog::AcquisitionDialog(Worker& worker, const Messages& messages, Worker::Routine routine,
                                     unsigned terminalNumber, const RecordRun& run, bool retrieval, QWidget* parent)
    : OperationDialog(worker, messages, std::move(routine), QStringLiteral("Acquisizione Registrazioni"),
                      QStringLiteral("&Annulla"), Display::Custom, parent),
      messages_(messages),
      run_(run),
      retrieval_(retrieval) {
  terminal_ = readOnlyField(this);
  records_ = readOnlyField(this);
  terminal_->setText(QString::asprintf("%04u", terminalNumber));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Terminale:"), terminal_);
  form->addRow(QStringLiteral("Registrazioni:"), records_);
  body()->addLayout(form);
}

void AcquisitionDialog::showProgress(const ProgressUpdate& update) {
  if (ended_) return;
  records_->setText(fromCp1252(update.text));
}

void AcquisitionDialog::done(int result) {
  // 1: the worker ran and has stopped, so the count is final. 0: it never started.
  if (result == 1 && !ended_) {
    ended_ = true;
    showRunEnd(messages_, run_.acquired.load(), retrieval_, run_.failure);
  }
  OperationDialog::done(result);
}

// --- the flow ---

bool chooseArchivesForRun(ProcessState& state, const Messages& messages, RecordKind kind, QWidget* parent) {
  return chooseArchivesBeforeRun(state, messages, [&] {
    ArchiveChoiceDialog choice(state, messages, kind, ArchiveChoiceDialog::Mode::Choice, parent);
    return choice.exec() == QDialog::Accepted;
  });
}

void runAcquisition(ProcessState& state, const Messages& messages, RecordKind kind, QWidget* parent) {
  if (!chooseArchivesForRun(state, messages, kind, parent)) return;
  runRecords(state, messages, false, parent,
             [kind](Worker& w, const RecordJob& job, RecordRun& run) { acquire(w, job, kind, run); });
}

// --- "Recupero Registrazioni" ---

RetrievalDialog::RetrievalDialog(ProcessState& state, const Messages& messages, RecordKind kind, QWidget* parent)
    : GreyDialog(QStringLiteral("Recupero Registrazioni"), parent), state_(state), messages_(messages), kind_(kind) {
  date_ = new QDateEdit(QDate::currentDate(), this);
  date_->setCalendarPopup(true);
  date_->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Recupero registrazioni dal ..."), this));
  row->addWidget(date_);
  auto* buttons = new QHBoxLayout;
  retrieve_ = new QPushButton(QStringLiteral("&Recupera"), this);
  retrieve_->setAutoDefault(false);
  auto* cancel = new QPushButton(QStringLiteral("&Annulla"), this);
  cancel->setAutoDefault(false);
  buttons->addWidget(retrieve_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);
  connect(retrieve_, &QPushButton::clicked, this, [this] { retrieveRecords(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void RetrievalDialog::retrieveRecords() {
  QDate day = date_->date();
  std::string reference = referenceDate(day.year(), day.month(), day.day());
  if (!chooseArchivesForRun(state_, messages_, kind_, this)) return;
  RecordKind kind = kind_;
  runRecords(state_, messages_, true, this, [kind, reference](Worker& w, const RecordJob& job, RecordRun& run) {
    retrieve(w, job, kind, reference, run);
  });
}

}  // namespace cfg::ui
