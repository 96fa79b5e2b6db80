// "Acquisizione Registrazioni" (the run of an acquisition or a retrieval,
// every record kind) and "Recupero Registrazioni" (the day to retrieve from),
// with the flow that puts the archive choice in front of every run.
#pragma once

#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "app/process_state.h"
#include "app/ui/operation_dialog.h"
#include "records/acquisition.h"

namespace cfg::ui {

// Runs one record loop on the general worker. "Terminale:" shows the terminal
// number, "Registrazioni:" the worker's countdown (or index). When the run
// ends, by itself or by "&Annulla", the worker is stopped and the end message
// ("Acquisite %d registrazioni." / "Recuperate %d registrazioni.") is shown
// before the dialog closes.
class AcquisitionDialog : public OperationDialog {
  Q_OBJECT
 public:
  AcquisitionDialog(Worker& worker, const Messages& messages, Worker::Routine routine, unsigned terminalNumber,
                    const RecordRun& run, bool retrieval, QWidget* parent = nullptr);
  QLineEdit* terminalField() const { return terminal_; }
  QLineEdit* recordsField() const { return records_; }

  void done(int result) override;

 protected:
  void showProgress(const ProgressUpdate& update) override;

 private:
  const Messages& messages_;
  const RecordRun& run_;
  bool retrieval_;
  bool ended_ = false;
  QLineEdit* terminal_;
  QLineEdit* records_;
};

// The archive choice of the kind before a run: recent.dat is written
// whatever the answer; on confirmation the choice becomes the live settings.
// True when confirmed.
bool chooseArchivesForRun(ProcessState& state, const Messages& messages, RecordKind kind, QWidget* parent);

// Acquisition from the menu: the archive choice, then the run.
void runAcquisition(ProcessState& state, const Messages& messages, RecordKind kind, QWidget* parent);

class RetrievalDialog : public GreyDialog {
  Q_OBJECT
 public:
  // Stays open after each run; "&Annulla" closes it.
  RetrievalDialog(ProcessState& state, const Messages& messages, RecordKind kind, QWidget* parent = nullptr);
  QDateEdit* datePicker() const { return date_; }
  QPushButton* retrieveButton() const { return retrieve_; }

 private:
  void retrieveRecords();

  ProcessState& state_;
  const Messages& messages_;
  RecordKind kind_;
  QDateEdit* date_;
  QPushButton* retrieve_;
};

}  // namespace cfg::ui
