// The batch dialogs: the editor "Imposta per Tutti", the progress dialog
// "Esecuzione Batch-File", and the menu commands that run a batch.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "app/ui/operation_dialog.h"
#include "automation/batch_executor.h"
#include "automation/batch_file.h"

namespace cfg::ui {

class MainWindow;

inline constexpr const char* kBatchFilter = "Batch File (*.cmd)";
inline constexpr const char* kOpenBatchTitle = "Open Batch File";
inline constexpr const char* kSaveBatchTitle = "Save Batch File";

// The system's file dialog for a batch file: open or save, title and filter
// in, the chosen path out (empty on Cancel). Tests put their own in its place.
using BatchFileChooser = std::function<QString(QWidget* parent, bool save, const QString& title, const QString& filter)>;
QString chooseBatchFile(QWidget* parent, bool save, const QString& title, const QString& filter);

// "Imposta per Tutti": edits BatchSettings and writes them as a batch file.
class BatchEditorDialog : public GreyDialog {
  Q_OBJECT
 public:
  BatchEditorDialog(BatchSettings& settings, const Messages& messages, BatchFileChooser choose,
                    QWidget* parent = nullptr);

  QRadioButton* btSystemButton() const { return btSystem_; }
  QRadioButton* btVendorButton() const { return btVendor_; }
  QRadioButton* usbButton() const { return usb_; }
  QCheckBox* backgroundBox() const { return background_; }
  // The check box of an operations mask bit; nullptr when the editor has none.
  QCheckBox* operationBox(std::uint32_t bit) const;
  QPushButton* readButton() const { return read_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* closeButton() const { return close_; }

  // What the controls say now.
  BatchSettings fromControls() const;

 private:
  void show(const BatchSettings& settings);
  void readFile();
  void saveFile();

  BatchSettings& settings_;
  const Messages& messages_;
  BatchFileChooser choose_;
  QRadioButton* btSystem_;
  QRadioButton* btVendor_;
  QRadioButton* usb_;
  QCheckBox* background_;
  std::vector<std::pair<std::uint32_t, QCheckBox*>> operations_;
  QPushButton* read_;
  QPushButton* save_;
  QPushButton* close_;
};

// "Esecuzione Batch-File": runs the executor and shows, for the handheld in
// hand, its number, its name and what is being done.
class BatchProgressDialog : public OperationDialog {
  Q_OBJECT
 public:
  BatchProgressDialog(Worker& worker, const Messages& messages, Worker::Routine executor, std::string batchDirectory,
                      QWidget* parent = nullptr);
  QLabel* terminalField() const { return terminal_; }
  QLabel* referenceField() const { return reference_; }
  QLabel* statusField() const { return status_; }

 protected:
  void showProgress(const ProgressUpdate& update) override;

 private:
  std::string directory_;
  QLabel* terminal_;
  QLabel* reference_;
  QLabel* status_;
};

// 40042 (the editor), 40043 (choose a batch file and run it) and the frame's
// runBatch hook, which 40034 calls: a run from the menu, the scheduler or the
// command line, with its search and progress dialogs or, in background
// mode, with no window.
void registerBatchCommands(MainWindow& window, ProcessState& state, Messages& messages,
                           BatchFileChooser choose = chooseBatchFile);

}  // namespace cfg::ui
