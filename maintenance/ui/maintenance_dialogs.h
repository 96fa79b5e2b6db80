// "Aggiornamento Terminale" (firmware download) and "Download logo", with
// the menu commands that open them.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <functional>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "app/ui/operation_dialog.h"
#include "maintenance/firmware.h"
#include "maintenance/logo.h"

namespace cfg::ui {

class MainWindow;

// The system's Open-file dialog: title and filter in, the chosen path out
// (empty on Cancel). Tests put their own in its place.
using FileChooser = std::function<QString(QWidget* parent, const QString& title, const QString& filter)>;
QString chooseFileToOpen(QWidget* parent, const QString& title, const QString& filter);

// The progress bar runs 0 .. the blocks of the transfer; "&Annulla" stops
// the download after the current exchange.
class FirmwareDialog : public OperationDialog {
  Q_OBJECT
 public:
  FirmwareDialog(Worker& worker, const Messages& messages, const FirmwareJob& job, FirmwareRun& run,
                 QWidget* parent = nullptr);
};

// Chooses a "Download File (*.bin)", checks it for the connected model
// ("Errore: dati non corretti." when it is bad) and runs the download.
void runFirmwareDownload(ProcessState& state, const Messages& messages, FirmwareTarget target, QWidget* parent,
                         const FileChooser& choose);

class LogoDialog : public GreyDialog {
  Q_OBJECT
 public:
  LogoDialog(ProcessState& state, const Messages& messages, LogoModel model, FileChooser choose,
             QWidget* parent = nullptr);

  QPushButton* readButton() const { return read_; }
  QPushButton* sendButton() const { return send_; }
  QRadioButton* slot2Button() const { return slot2_; }
  QLabel* picture() const { return picture_; }
  const LogoFile& file() const { return file_; }

 private:
  void readFile();
  void sendLogo();

  ProcessState& state_;
  const Messages& messages_;
  LogoModel model_;
  FileChooser choose_;
  LogoFile file_;  // the logo's own buffer, apart from any firmware image
  QLabel* picture_;
  QRadioButton* slot1_;
  QRadioButton* slot2_;
  QPushButton* read_;
  QPushButton* send_;
};

// 40014, 40075, 40076 (firmware of the terminal and of its reader modules)
// and 40081 (logo), on a connected terminal.
void registerMaintenanceCommands(MainWindow& window, ProcessState& state, Messages& messages,
                                 FileChooser choose = chooseFileToOpen);

}  // namespace cfg::ui
